#include "cli/report.h"

#include <nlohmann/json.hpp>

namespace corvane::cli {

void RunRecord::TakeFrames(const FrameList& frames) {
  Frames.clear();
  Frames.reserve(static_cast<std::size_t>(frames.Count()));
  for (int i = 0; i < frames.Count(); ++i) {
    const TImageListItem& f = frames[i];
    Frame r;
    r.Index = i;
    r.File = f.FileName;
    r.Number = f.Number;
    r.Width = f.Image.Width;
    r.Height = f.Image.Height;
    r.Center = f.Center;
    r.Shift = f.Shift;
    r.SubShift = f.SubShift;
    r.Sharpness = f.Sharpness;
    r.Mean = f.Mean;
    r.Rotate = f.Rotate;
    r.Resize = f.Resize;
    r.Correlation = f.Correlation;
    r.Quality = f.Quality;
    r.QualityCorrelation = f.QualityCorrelation;
    r.QualityLuminance = f.QualityLuminance;
    r.QualityContrast = f.QualityContrast;
    Frames.push_back(std::move(r));
  }
}

std::string Report::ToJson(const std::string& version) const {
  using Json = nlohmann::ordered_json;
  Json runs = Json::array();
  for (const RunRecord& run : Runs) {
    Json frames = Json::array();
    for (const RunRecord::Frame& f : run.Frames) {
      const Json shift =
          run.DecimalShifts ? Json{f.Shift.x + f.SubShift.x, f.Shift.y + f.SubShift.y} : Json{f.Shift.x, f.Shift.y};
      frames.push_back(Json{{"index", f.Index},
                            {"file", f.File},
                            {"number", f.Number},
                            {"width", f.Width},
                            {"height", f.Height},
                            {"center", {f.Center.x, f.Center.y}},
                            {"mean", f.Mean},
                            {"shift", shift},
                            {"rotate", f.Rotate},
                            {"resize", f.Resize},
                            {"correlation", f.Correlation},
                            {"quality", f.Quality},
                            {"quality_correlation", f.QualityCorrelation},
                            {"quality_luminance", f.QualityLuminance},
                            {"quality_contrast", f.QualityContrast}});
      if (run.Sharpness) frames.back()["sharpness"] = f.Sharpness;
    }
    runs.push_back(
        Json{{"channel", run.Channel},
             {"frames", std::move(frames)},
             {"good_frames", run.GoodFrames},
             {"timings_ms", {{"load", run.LoadMs}, {"stack", run.StackMs}, {"calculate", run.CalculateMs}}}});
  }
  const Json report{{"program", "corvane-cli"}, {"version", version},        {"files", Files},
                    {"input_size", InputSize},  {"output_size", OutputSize}, {"max_frames", MaxFrames},
                    {"runs", std::move(runs)},  {"output", Output},          {"raw_output", RawOutput}};
  // Replace malformed UTF-8 in file names rather than refusing to write the report.
  return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace corvane::cli
