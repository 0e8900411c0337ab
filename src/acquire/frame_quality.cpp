#include "acquire/frame_quality.h"

#include <algorithm>
#include <cstdio>

#include "output/save_names.h"

namespace corvane {

bool SpinValue::Set(std::int32_t v) noexcept {
  const std::int32_t c = std::clamp(v, Minimum, std::max(Minimum, Maximum));
  const bool changed = c != Value;
  Value = c;
  return changed;
}

FrameQualityPanel::FrameQualityPanel() { Memo = {"  ", " ", "  ", "               Info", " ", "  ", ""}; }

std::string FrameQualityPanel::InputFrameLabel(std::int32_t value, std::int32_t maximum) {
  return "Input frame [" + std::to_string(value) + "of" + std::to_string(maximum) + "]";
}

std::string FrameQualityPanel::General7(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.7g", v);
  return buffer;
}

int FrameQualityPanel::PassCount(const FrameList& frames, std::int32_t threshold) {
  int n = 0;
  for (int i = 0; i < frames.Count(); ++i) n += frames[i].Quality >= threshold ? 1 : 0;
  return n;
}

void FrameQualityPanel::ShowPassCount(const FrameList& frames) {
  Memo[6] = "QualityImages: " + std::to_string(PassCount(frames, Threshold));
}

void FrameQualityPanel::FrameInfoNrSpinEditChange(FrameList& frames, bool framesLoaded, Services& services) {
  frames.CurrentFrame = std::max(0, Nr.Value - 1);
  if (!framesLoaded) return;
  if (Nr.Value > Nr.Maximum) {
    Nr.Value = Nr.Maximum;
    FrameInfoNrSpinEditChange(frames, framesLoaded, services);
    return;
  }
  if (frames.CurrentFrame >= frames.Count()) return;
  TImageListItem& f = frames[frames.CurrentFrame];
  if (services.HasInputPane()) {
    Bitmap view(f.Image.Width, f.Image.Height);
    Image16ToBitmap(view, f.Image, 0, 0, f.Image.Width, f.Image.Height, ChannelL);
    services.ShowInInputPane(view);
  }
  InputLabel = InputFrameLabel(Nr.Value, Nr.Maximum);
  Memo[0] = FileNamePart(f.FileName) + ":" + std::to_string(f.Number);
  Memo[1] = "Size: " + std::to_string(f.Image.Width) + "x" + std::to_string(f.Image.Height);
  if (f.SubShift.x != 0.0 || f.SubShift.y != 0.0) {
    char shift[64];
    std::snprintf(shift, sizeof shift, "Shift: %.2f,%.2f", f.Shift.x + f.SubShift.x, f.Shift.y + f.SubShift.y);
    Memo[2] = shift;
  } else {
    Memo[2] = "Shift: " + std::to_string(f.Shift.x) + "," + std::to_string(f.Shift.y);
  }
  Memo[3] = "Center: " + std::to_string(f.Center.x) + "," + std::to_string(f.Center.y);
  Memo[4] = "Rotate: " + General7(f.Rotate) + "\u00B0";
  if (ShowSharpness) {
    char sharpness[48];
    std::snprintf(sharpness, sizeof sharpness, "Sharpness: %.4g", f.Sharpness);
    Memo[5] = sharpness;
  } else {
    Memo[5] = "Resize: " + General7(f.Resize) + "x";
  }
  SetQualityEdit(f.Quality, frames);
}

void FrameQualityPanel::SetQualityEdit(std::int32_t v, FrameList& frames) {
  if (QualityEdit.Set(v)) FrameInfoQualitySpinEditChange(frames);
}

void FrameQualityPanel::FrameInfoQualitySpinEditChange(FrameList& frames) {
  const int index = Nr.Value - 1;
  if (!frames.Empty() && index >= 0 && index < frames.Count()) frames[index].Quality = QualityEdit.Value;
  ShowPassCount(frames);
}

void FrameQualityPanel::FrameInfoFilterChange(const FrameList& frames) {
  Threshold = FilterChecked ? Filter.Value : 0;
  ShowPassCount(frames);
}

void FrameQualityPanel::StepFrame(int delta, FrameList& frames, bool framesLoaded, Services& services) {
  Nr.Set(Nr.Value + delta);
  FrameInfoNrSpinEditChange(frames, framesLoaded, services);
}

void FrameQualityPanel::StepQuality(int delta, FrameList& frames) { SetQualityEdit(QualityEdit.Value + delta, frames); }

void FrameQualityPanel::PresetQuality(int k, FrameList& frames) {
  if (k >= 1 && k <= 5) SetQualityEdit(200 * k, frames);
}

}  // namespace corvane
