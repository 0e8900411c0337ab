#include "output/picture_memo.h"

#include <cmath>
#include <cstdio>

#include "output/save_names.h"
#include "output/save_names.h"

namespace corvane {

namespace {

/// Round(fraction x 100), ties to even, as a decimal integer.
std::string Percent(double fraction) {
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", std::nearbyint(fraction * 100.0) + 0.0);
  return text;
}

}  // namespace

std::string ResultBaseName(const FrameList& frames) {
  return frames.Empty() ? std::string("Result") : FileNameStem(frames[0].FileName);
}

void BuildPictureInfo(PictureInfo& info, const TResultPicture& result, Settings& settings, const FrameList& frames,
                      const std::tm& now) {
  const std::string name = BuildSaveName(settings, ResultBaseName(frames), false, now);
  const TEditSaveSettings& edit = settings.EditSave;
  info.ResultLabel = "File name \"" + name + "\"";

  const TImage16& shown = edit.ShowAs == 1   ? result.R
                          : edit.ShowAs == 2 ? result.G
                          : edit.ShowAs == 3 ? result.B
                                             : result.Mono;
  info.Memo[0] = "-- " + name + " --";
  info.Memo[1] = "Size: " + std::to_string(shown.Width) + " x " + std::to_string(shown.Height);
  info.Memo[2] = edit.UseLUT ? "LUT: " + FileNamePart(edit.LUTFile) : std::string("No LUT");
  info.Memo[3] = "Bias: " + Percent(edit.Bias) + "%, ";
  info.Memo[4] = "Gain: " + Percent(edit.Gain) + "%, ";
  info.Memo[5] = "Saturation: " + Percent(edit.Saturation) + "%, ";
  info.Memo[6] =
      "RGB: " + Percent(edit.RWeight) + "%, " + Percent(edit.GWeight) + "%, " + Percent(edit.BWeight) + "%, ";
}

}  // namespace corvane
