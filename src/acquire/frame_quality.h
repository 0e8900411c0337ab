#pragma once
// The "Frame quality" panel without widgets: the frame browser, the quality
// of the shown frame, the quality threshold and the pass count.
#include <array>
#include <cstdint>
#include <string>

#include "core/frame_list.h"
#include "core/services.h"

namespace corvane {

/// A bounded integer the way a spin edit holds it: setting clamps into range.
struct SpinValue {
  std::int32_t Minimum = 0;
  std::int32_t Maximum = 0;
  std::int32_t Value = 0;
  /// Clamps and stores; answers whether the value changed.
  bool Set(std::int32_t v) noexcept;
};

class FrameQualityPanel {
 public:
  FrameQualityPanel();

  SpinValue Nr{1, 1, 1};                ///< FrameInfoNrSpinEdit: 1-based frame number
  SpinValue QualityEdit{0, 1000, 900};  ///< FrameInfoQualitySpinEdit
  SpinValue Filter{0, 1000, 900};       ///< FrameInfoFilterSpinEdit
  bool FilterChecked = true;            ///< FrameInfoFilterCheckBox ("Filter >=")
  /// The quality threshold: frames with Quality >= it are good. It follows
  /// the shown controls from the start (ticked at 900).
  std::int32_t Threshold = 900;
  std::array<std::string, 7> Memo;  ///< FrameInfoMemo
  /// Whether the frames were rated by sharpness (set by a Go, cleared by a
  /// load): memo line 5 then gives the shown frame's sharpness instead of
  /// its resize factor, which stacking always leaves at 1.
  bool ShowSharpness = false;
  std::string InputLabel = "Input frame";

  /// The frame browser (on a change of the frame number; also after loading and
  /// stacking). Shows the frame in the input pane, writes the label and memo
  /// lines 0..5 and takes the frame's quality into the quality edit. Reacts only
  /// when frames have been loaded. A shift refined below a sample shows as
  /// decimals ("Shift: 2.73,-1.05"), a whole one as integers ("Shift: 3,-1").
  void FrameInfoNrSpinEditChange(FrameList& frames, bool framesLoaded, Services& services);
  /// The quality edit: the shown frame gets the value, then the pass count.
  void FrameInfoQualitySpinEditChange(FrameList& frames);
  /// Threshold := the filter value while ticked, else 0; then the pass count.
  void FrameInfoFilterChange(const FrameList& frames);

  /// Sets the frame number as the keys do (Page Up/Down, keypad 9/3: +1/-1)
  /// and runs the browser even when the value did not change.
  void StepFrame(int delta, FrameList& frames, bool framesLoaded, Services& services);
  /// keypad + / -: the quality edit by +1 / -1 (within 0..1000).
  void StepQuality(int delta, FrameList& frames);
  /// Ctrl+F1..Ctrl+F5 (k = 1..5): the quality edit := 200 k.
  void PresetQuality(int k, FrameList& frames);

  /// "QualityImages: " + the number of frames with Quality >= threshold.
  void ShowPassCount(const FrameList& frames);
  static int PassCount(const FrameList& frames, std::int32_t threshold);

  /// "Input frame [" value "of" maximum "]".
  static std::string InputFrameLabel(std::int32_t value, std::int32_t maximum);
  /// Seven significant digits, general format ("1", "0.5", "1.234568").
  static std::string General7(double v);

 private:
  void SetQualityEdit(std::int32_t v, FrameList& frames);
};

}  // namespace corvane
