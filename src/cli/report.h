#pragma once
// The JSON report of a batch run: the files, the sizes, and for each channel
// run the fields of every frame item after the run.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/frame_list.h"

namespace corvane::cli {

struct RunRecord {
  std::string Channel;  ///< "L", "R", "G" or "B"
  struct Frame {
    int Index = 0;
    std::string File;
    std::int32_t Number = -1;
    std::int32_t Width = 0, Height = 0;
    TPoint32 Center, Shift;
    TPointF SubShift;
    double Sharpness = 0.0;
    std::int32_t Mean = 0;
    double Rotate = 0.0, Resize = 1.0;
    std::int64_t Correlation = 0;
    std::int32_t Quality = 0;
    double QualityCorrelation = 1.0, QualityLuminance = 1.0, QualityContrast = 1.0;
  };
  std::vector<Frame> Frames;
  bool Sharpness = false;      ///< the frames were rated by sharpness: each frame gives its "sharpness"
  bool DecimalShifts = false;  ///< shifts below a sample: "shift" in decimals (Shift + SubShift)
  int GoodFrames = 0;
  bool Stopped = false;  ///< Ctrl-C stopped the load or the stacking of this run
  double LoadMs = 0.0, StackMs = 0.0, CalculateMs = 0.0;

  /// Copies the fields of every frame of the list as they stand.
  void TakeFrames(const FrameList& frames);
};

struct Report {
  std::vector<std::string> Files;
  std::array<std::int32_t, 2> InputSize{0, 0};
  std::array<std::int32_t, 2> OutputSize{0, 0};
  int MaxFrames = 0;
  std::vector<RunRecord> Runs;
  bool Stopped = false;  ///< some run was stopped by Ctrl-C
  std::string Output;
  std::vector<std::string> RawOutput;

  /// The report as JSON text (keys in a fixed order, two-space indent). File
  /// names are written as JsonString does.
  std::string ToJson(const std::string& version) const;
};

/// The bytes as a JSON string. Well-formed UTF-8 is kept; every byte that is
/// not part of well-formed UTF-8 becomes the lone surrogate escape \udc80 ..
/// \udcff (U+DC00 + the byte), so a name in another encoding can be turned
/// back into its exact bytes (Python: os.fsencode of the decoded string).
std::string JsonString(std::string_view bytes);

}  // namespace corvane::cli
