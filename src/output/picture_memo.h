#pragma once
// The picture memo of the edit-and-save panel and the file-name caption above
// the result pane, rebuilt after every calculation and whenever an Edit/Save
// setting changes.
#include <array>
#include <ctime>
#include <string>

#include "core/frame_list.h"
#include "settings/settings.h"

namespace corvane {

/// The picture memo's seven lines (design text at start) and the caption above
/// the result pane (ResultPictureLabel, empty at start).
struct PictureInfo {
  std::array<std::string, 7> Memo{"  ", " ", "  ", "               Info", " ", "  ", ""};
  std::string ResultLabel;
};

/// The base of the result name: the FileNameStem of the first frame's
/// FileName, "Result" when the list is empty.
std::string ResultBaseName(const FrameList& frames);

/// Rebuilds the memo and the label of the result picture:
/// - the result name is BuildSaveName(ResultBaseName(frames), false, now)
///   (which writes the autonumber memory);
/// - ResultLabel: File name "name";
/// - line 0 "-- name --"; 1 "Size: W x H" of the plane ShowAs selects (R, G,
///   B for 1, 2, 3, the mono plane otherwise); 2 "LUT: " + the LUT file's
///   name part with "Use LUT" ticked, else "No LUT"; 3 "Bias: N%, ";
///   4 "Gain: N%, "; 5 "Saturation: N%, "; 6 "RGB: R%, G%, B%, ", each N the
///   fraction x 100 rounded to nearest, ties to even.
void BuildPictureInfo(PictureInfo& info, const TResultPicture& result, Settings& settings, const FrameList& frames,
                      const std::tm& now);

}  // namespace corvane
