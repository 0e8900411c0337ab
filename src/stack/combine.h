#pragma once
// Combining the frame list into one plane: Mean, Median (per pixel), Multiply
// and Add, each frame placed by its shift.
#include <array>
#include <cstdint>
#include <string>

#include "core/frame_list.h"
#include "stack/frame_placement.h"

namespace corvane {

enum CombineMethod : int { CombineMean = 0, CombineMedian = 1, CombineMultiply = 2, CombineAdd = 3 };

/// Inputs of one combine besides the frames.
struct CombineOptions {
  int Method = CombineMean;
  std::int32_t P1 = 1;            ///< CombineFramesSpinEdit1
  std::int32_t P2 = 100;          ///< CombineFramesSpinEdit2
  std::int32_t Threshold = 0;     ///< frames with Quality >= it are good
  std::int32_t CurrentFrame = 0;  ///< the frame the browser shows ("Frame 1" of Multiply)
  /// How Mean, Median and Add place frames with a fractional shift (SubShift).
  /// Whole samples ignore the fraction; Multiply always does.
  Resampling Placement = Resampling::WholeSamples;
};

/// Computes the result frame's plane in place. The result starts black with
/// Shift (0, 0). An empty list leaves it black. Median: the per-pixel median
/// of the good frames (CombineMedianFrames); pixels no good frame covers stay
/// as they are. Widths above 32 768 samples (the accumulation plane's row
/// limit, the widest picture) are refused with a RangeError before
/// anything is combined.
void CombineFrames(const FrameList& frames, TImageListItem& result, const CombineOptions& options);

/// One spin edit of the combine panel.
struct CombineSpin {
  bool Shown = false;  ///< shown and enabled, or hidden and disabled
  std::int32_t Minimum = 0;
  std::int32_t Maximum = 0;
  std::int32_t Value = 0;
  std::int32_t Increment = 1;
};

/// What the panel shows for a method: memo lines 0..3, the two labels and
/// spin edits. Choosing a method applies its row again (values reset).
struct CombinePanel {
  std::array<std::string, 4> Memo;
  std::string Label1, Label2;
  CombineSpin Spin1, Spin2;
  /// Set when the spin edit keeps its old value (Mean and Median hide them).
  bool KeepValues = false;
};

/// The panel set-up for a method; `frameCount` bounds Multiply's "Frame 2:".
CombinePanel CombinePanelFor(int method, int frameCount);

}  // namespace corvane
