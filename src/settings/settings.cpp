#include "settings/settings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "core/errors.h"
#include "settings/ini_file.h"

namespace corvane {

namespace {

constexpr std::int64_t kMegabyte = 1048576;

std::mutex g_overrideMutex;
std::string g_programDirectoryOverride;

std::string WithTrailingSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

std::string RangeText(int value) { return std::to_string(value); }

// The tick of the "Stack using" box of one bit (bool& or const bool&).
template <class Boxes>
auto& BoxOf(Boxes& boxes, std::uint8_t bit) {
  switch (bit) {
    case StackUsing::Center: return boxes.Center;
    case StackUsing::Move: return boxes.Move;
    case StackUsing::Rotate: return boxes.Rotate;
    case StackUsing::Resize: return boxes.Resize;
    case StackUsing::Max: return boxes.Max;
    case StackUsing::Min: return boxes.Min;
    case StackUsing::Last: return boxes.Last;
    default: throw RangeError("Stack using: " + RangeText(bit) + " is not a Stack using bit");
  }
}

}  // namespace

std::string UserHomeFolder() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0') {
    home = env;
  } else {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
      home = found->pw_dir;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

std::string ProgramDirectory() {
  {
    std::lock_guard lock(g_overrideMutex);
    if (!g_programDirectoryOverride.empty()) return g_programDirectoryOverride;
  }
  std::string home = UserHomeFolder();
  if (home.empty()) {
    std::error_code ec;
    home = std::filesystem::current_path(ec).string();
    if (ec || home.empty()) home = std::string(1, '.');
  }
  if (home != "/") home.push_back('/');
  return home + "Corvane2/";
}

void SetProgramDirectoryOverride(std::string directory) {
  std::lock_guard lock(g_overrideMutex);
  g_programDirectoryOverride = directory.empty() ? std::string() : WithTrailingSlash(std::move(directory));
}

std::int32_t SpinEditValueFromText(const std::string& text, const SpinRange& range) {
  return ParseIniInteger(text).value_or(range.Min);
}

std::string DirectoryOfChosenFile(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

void FillGeneralFromControls(TGeneralSettings& general, const GeneralControls& controls) {
  general.PictureDirectory = controls.PictureDirectoryEdit;
  general.VideoDirectory = controls.VideoDirectoryEdit;
  general.PSFDirectory = controls.PSFDirectoryEdit;
  general.ResultDirectory = controls.ResultDirectoryEdit;
  general.MemoFontColor = controls.MemoFontCheckBox;
  general.SaveSettings = controls.SaveSettingsCheckBox;
  general.ShowHints = controls.ShowHintsCheckBox;
  general.SaveAsButton = controls.SaveAsCheckBox;
  general.AutoSelectTabSheet = controls.AutoSelectTabSheetCheckBox;
  general.AutoChannelIncrement = controls.AutoChannelIncrCheckBox;
  general.ShowRGBcolor = controls.ShowRGBcolorCheckBox;
}

// ---------------------------------------------------------------------------

std::uint8_t StackUsingFromBoxes(const StackUsingBoxes& boxes) noexcept {
  if (boxes.Last) return StackUsing::Last;
  std::uint8_t sum = 0;
  if (boxes.Min) sum |= StackUsing::Min;
  if (boxes.Max) sum |= StackUsing::Max;
  if (boxes.Center) sum |= StackUsing::Center;
  if (boxes.Move) sum |= StackUsing::Move;
  if (boxes.Rotate) sum |= StackUsing::Rotate;
  if (boxes.Resize) sum |= StackUsing::Resize;
  return sum;
}

bool StackUsingBoxEnabled(const StackUsingBoxes& boxes, std::uint8_t bit) {
  switch (bit) {
    case StackUsing::Last: return true;
    case StackUsing::Min:
    case StackUsing::Max:
    case StackUsing::Center:
    case StackUsing::Move: return !boxes.Last;
    case StackUsing::Rotate:
    case StackUsing::Resize: return false;
    default: throw RangeError("StackUsingBoxEnabled: " + RangeText(bit) + " is not a Stack using bit");
  }
}

ColourPositions ColourPresetPositions(ColourPreset preset) noexcept {
  if (preset == ColourPreset::OneOneOne) return {33, 33, 33};
  return {30, 59, 11};
}

ColourWeights ColourWeightsFromPositions(ColourPositions p) noexcept {
  // (position / 100) / (sum / 100) is position / sum, taken from the whole
  // numbers: dividing the rounded hundredths would make 30 / 100 a hair above
  // 0.3 and its byte weight 77 instead of 76.
  const std::int64_t sum = std::int64_t{p.R} + p.G + p.B;
  const double divisor = sum > 0 ? static_cast<double>(sum) : 100.0;  // a sum of 0 or less counts as 1
  return {p.R / divisor, p.G / divisor, p.B / divisor};
}

ShowGroupEnables ShowGroupsFor(std::uint8_t showAs) noexcept {
  //                           B&C group  B&C buttons  colour  "Normal"
  static constexpr ShowGroupEnables kTable[6] = {
      {true, true, false, false},    // L
      {false, false, false, false},  // R
      {false, false, false, false},  // G
      {false, false, false, false},  // B
      {true, true, true, true},      // LRGB
      {false, true, true, true},     // RGB
  };
  if (showAs >= 6) return {false, false, false, false};
  return kTable[showAs];
}

std::string FrameBudgetMessage(std::int64_t maxMem, std::int32_t width, std::int32_t height) {
  const int frames = MaxFramesFor(maxMem, width, height);
  return "Maximum nr of frames possible: " + std::to_string(frames) + ", with a size of " + std::to_string(width) +
         " x " + std::to_string(height) + " pixels and internal memory set to " + std::to_string(maxMem / kMegabyte) +
         " Mb";
}

std::string MemoryBudgetNote(std::int64_t budgetBytes, std::int64_t availableBytes) {
  if (availableBytes < 0 || budgetBytes <= availableBytes) return {};
  return "more than the " + std::to_string(availableBytes / kMegabyte) + " Mb of memory available";
}

std::string UpdateFrameBudget(FrameList& frames, std::int32_t width, std::int32_t height) {
  frames.RecomputeMaxFrames(width, height);
  return "Maximum nr of frames possible: " + std::to_string(frames.MaxFrames()) + ", with a size of " +
         std::to_string(width) + " x " + std::to_string(height) + " pixels and internal memory set to " +
         std::to_string(frames.MaxMem() / kMegabyte) + " Mb";
}

// ---------------------------------------------------------------------------
// Settings

void Settings::Notify(const std::vector<Listener>& listeners) {
  // By index and by copy: a listener may register further listeners, which
  // reallocates the list.
  const std::size_t count = listeners.size();
  for (std::size_t i = 0; i < count; ++i) {
    const Listener listener = listeners[i];
    if (listener) listener();
  }
}

void Settings::DialogCreated(const GeneralControls& controls) {
  FillGeneralFromControls(General, controls);
  PictureDirectoryEdit = controls.PictureDirectoryEdit;
  MemoryMb = MemoryRange.Clamp(controls.MemorySpinEdit);
  if (m_frames != nullptr) {
    m_frames->SetMaxMem(MemoryMb * kMegabyte);
    // Keep the frame budget in step with the memory it is computed from.
    m_frames->RecomputeMaxFrames(LoadFrames.OutputWidth, LoadFrames.OutputHeight);
  }
  ColourTrackBars = ColourPresetPositions(ColourPreset::TV);
  UserColourTrackBars = ColourTrackBars;
  m_dialogCreated = true;
  NotifyGeneral();
}

GeneralControls Settings::CurrentGeneralControls() const {
  GeneralControls c;
  c.PictureDirectoryEdit = PictureDirectoryEdit;
  c.VideoDirectoryEdit = General.VideoDirectory;
  c.PSFDirectoryEdit = General.PSFDirectory;
  c.ResultDirectoryEdit = General.ResultDirectory;
  c.MemoFontCheckBox = General.MemoFontColor;
  c.SaveAsCheckBox = General.SaveAsButton;
  c.AutoSelectTabSheetCheckBox = General.AutoSelectTabSheet;
  c.AutoChannelIncrCheckBox = General.AutoChannelIncrement;
  c.ShowRGBcolorCheckBox = General.ShowRGBcolor;
  c.ShowHintsCheckBox = General.ShowHints;
  c.SaveSettingsCheckBox = General.SaveSettings;
  c.MemorySpinEdit = MemoryMb;
  return c;
}

// ---- General tab

void Settings::SetMemoryMb(std::int32_t mb) {
  MemoryMb = MemoryRange.Clamp(mb);
  if (m_frames != nullptr) m_frames->SetMaxMem(MemoryMb * kMegabyte);
  ShowFrameBudget(MemoryBudgetNote(MemoryMb * kMegabyte, AvailableMemoryBytes()));
}

std::string Settings::ShowFrameBudget(const std::string& note) {
  std::string text = m_frames != nullptr
                         ? UpdateFrameBudget(*m_frames, LoadFrames.OutputWidth, LoadFrames.OutputHeight)
                         : FrameBudgetMessage(MemoryMb * kMegabyte, LoadFrames.OutputWidth, LoadFrames.OutputHeight);
  if (!note.empty()) text += " (" + note + ")";
  m_services->ShowStatus(text);
  return text;
}

// ---- Preview frames tab

void Settings::SetAVIStart(std::int32_t value) {
  std::int32_t v = std::max(value, 0);
  if (v > LoadFrames.AVIEnd) v = LoadFrames.AVIEnd;
  LoadFrames.AVIStart = v;
  NotifyLoadFrames();
}

void Settings::SetAVIEnd(std::int32_t value) {
  const std::int32_t v = std::clamp(value, LoadFrames.AVIStart, std::max(LoadFrames.AVIStart, AVIEndMaximum));
  LoadFrames.AVIEnd = v;
  AVIStartMaximum = v;
  NotifyLoadFrames();
}

void Settings::SetVideoFrameRange(std::int32_t lastFrame) {
  // The maxima first: set after the values, a longer video than the one
  // before would have its end frame cut to the old maximum.
  const std::int32_t last = std::max(lastFrame, 0);
  const bool changed = LoadFrames.AVIStart != 0 || LoadFrames.AVIEnd != last;
  AVIEndMaximum = last;
  LoadFrames.AVIStart = 0;
  LoadFrames.AVIEnd = last;
  AVIStartMaximum = last;
  if (changed) NotifyLoadFrames();
}

void Settings::SetAVISkipFrames(std::int32_t value) { LoadFrames.AVISkipFrames = SkipFramesRange.Clamp(value); }

bool Settings::StoreChannel(int index) {
  const auto channel = static_cast<std::uint8_t>(index >= 0 && index <= 3 ? index : 0);
  LoadFrames.Channel = channel;
  const bool showChanged = EditSave.ShowAs != channel;
  EditSave.ShowAs = channel;
  return showChanged;
}

void Settings::SetLoadFramesChannel(int index) {
  if (StoreChannel(index)) NotifyEditSave();
  NotifyLoadFrames();
}

void Settings::IncrementLoadFramesChannel() {
  const std::uint8_t from = LoadFrames.Channel;
  std::uint8_t to = 0;
  switch (from) {
    case 0: to = 1; break;
    case 1: to = 2; break;
    case 2:
    case 3: to = 3; break;
    default: to = 0; break;
  }
  const bool stepped = to != from;
  const bool tickLast = from == 0 && General.AutoChannelIncrement && !StackUsingTicks.Last;
  bool showChanged = false;
  if (stepped) showChanged = StoreChannel(to);
  if (tickLast) {
    StackUsingTicks.Last = true;
    StackFrames.StackUsing = StackUsingFromBoxes(StackUsingTicks);
  }
  if (stepped) {
    if (showChanged) NotifyEditSave();
    NotifyLoadFrames();
  }
  if (tickLast) NotifyStackFrames();
}

void Settings::SetBackgroundPercent(std::int32_t percent) {
  LoadFrames.Background = PercentRange.Clamp(percent) / 100.0;
  NotifyLoadFrames();
}

void Settings::SetFrameBiasPercent(std::int32_t percent) {
  LoadFrames.FrameBias = PercentRange.Clamp(percent) / 100.0;
  NotifyLoadFrames();
}

void Settings::SetFrameGainPercent(std::int32_t percent) {
  LoadFrames.FrameGain = PercentRange.Clamp(percent) / 100.0;
  NotifyLoadFrames();
}

void Settings::LFBiasGainDefault() {
  const double half = ((PercentRange.Max - PercentRange.Min) / 2) / 100.0;
  const bool changed = LoadFrames.FrameBias != half || LoadFrames.FrameGain != half;
  LoadFrames.FrameBias = half;
  LoadFrames.FrameGain = half;
  if (changed) NotifyLoadFrames();
}

void Settings::ChooseCorrectionFile(std::string TLoadFramesSettings::*file, const std::string& chosen) {
  if (!chosen.empty()) LoadFrames.*file = chosen;
  NotifyLoadFrames();
}

void Settings::StoreOutputWidth(std::int64_t value, ValueOrigin origin) {
  const auto v = origin == ValueOrigin::Program ? OutputWidthRange.Clamp(value) : static_cast<std::int32_t>(value);
  LoadFrames.OutputWidth = v;
  if (OutputSizeEnabled()) LoadFrames.UserWidth = v;
}

void Settings::StoreOutputHeight(std::int64_t value, ValueOrigin origin) {
  const auto v = origin == ValueOrigin::Program ? OutputHeightRange.Clamp(value) : static_cast<std::int32_t>(value);
  LoadFrames.OutputHeight = v;
  if (OutputSizeEnabled()) LoadFrames.UserHeight = v;
}

void Settings::StoreSizeBoxes() {
  const TLoadFramesSettings& lf = LoadFrames;
  switch (lf.SizeMode) {
    case 0:
      // "Same as input" follows the input whatever its size (the readers
      // limit it); the boxes keep their ranges for the user's own size.
      StoreOutputWidth(lf.InputWidth, ValueOrigin::Typed);
      StoreOutputHeight(lf.InputHeight, ValueOrigin::Typed);
      break;
    case 1:
      StoreOutputWidth(std::int64_t{lf.Resize} * lf.InputWidth, ValueOrigin::Program);
      StoreOutputHeight(std::int64_t{lf.Resize} * lf.InputHeight, ValueOrigin::Program);
      break;
    default:
      StoreOutputWidth(lf.UserWidth, ValueOrigin::Program);
      StoreOutputHeight(lf.UserHeight, ValueOrigin::Program);
      break;
  }
}

void Settings::SetResize(std::int32_t value) {
  LoadFrames.Resize = ResizeRange.Clamp(value);
  if (LoadFrames.SizeMode == 1) {
    StoreSizeBoxes();
    ShowFrameBudget();
  }
  NotifyLoadFrames();
}

void Settings::SetSizeMode(int mode) {
  if (mode < 0 || mode > 2) throw RangeError("SetSizeMode: size mode " + RangeText(mode) + " is not 0, 1 or 2");
  LoadFrames.SizeMode = static_cast<std::uint8_t>(mode);
  StoreSizeBoxes();
  ShowFrameBudget();
  NotifyLoadFrames();
}

void Settings::SetInputSize(std::int32_t width, std::int32_t height) {
  if (width > 0) LoadFrames.InputWidth = width;
  if (height > 0) LoadFrames.InputHeight = height;
  if (LoadFrames.SizeMode == 0 || LoadFrames.SizeMode == 1) SetSizeMode(LoadFrames.SizeMode);
}

void Settings::SetOutputWidth(std::int32_t value, ValueOrigin origin) {
  StoreOutputWidth(value, origin);
  ShowFrameBudget();
  if (OutputWidthRange.Contains(LoadFrames.OutputWidth)) NotifyLoadFrames();
}

void Settings::SetOutputHeight(std::int32_t value, ValueOrigin origin) {
  StoreOutputHeight(value, origin);
  ShowFrameBudget();
  if (OutputHeightRange.Contains(LoadFrames.OutputHeight)) NotifyLoadFrames();
}

// ---- Stack frames tab

void Settings::SetStackUsingBox(std::uint8_t bit, bool ticked) {
  BoxOf(StackUsingTicks, bit) = ticked;
  RebuildStackUsing();
}

bool Settings::StackUsingTicked(std::uint8_t bit) const { return BoxOf(StackUsingTicks, bit); }

void Settings::RebuildStackUsing() {
  StackFrames.StackUsing = StackUsingFromBoxes(StackUsingTicks);
  NotifyStackFrames();
}

void Settings::SetKeepBest(bool ticked) {
  if (ticked) {
    StackFrames.KeepBest = KeepBestPercent;
  } else {
    if (StackFrames.KeepBest > 0) KeepBestPercent = KeepBestRange.Clamp(StackFrames.KeepBest);
    StackFrames.KeepBest = 0;
  }
  NotifyStackFrames();
}

void Settings::SetKeepBestPercent(std::int32_t percent) {
  KeepBestPercent = KeepBestRange.Clamp(percent);
  if (StackFrames.KeepBest > 0) StackFrames.KeepBest = KeepBestPercent;
  NotifyStackFrames();
}

// ---- Edit / Save picture tab

void Settings::SetBiasTrackBar(std::int32_t position) {
  const double v = PercentRange.Clamp(position) / 100.0;
  if (CoupleBGCheckBox) EditSave.Gain = v;
  EditSave.Bias = v;
  NotifyEditSave();
}

void Settings::SetGainTrackBar(std::int32_t position) {
  const double v = PercentRange.Clamp(position) / 100.0;
  if (CoupleBGCheckBox) EditSave.Bias = v;
  EditSave.Gain = v;
  NotifyEditSave();
}

void Settings::BiasGainDefault() {
  const bool changed = EditSave.Bias != 0.5 || EditSave.Gain != 0.5;
  EditSave.Bias = 0.5;
  EditSave.Gain = 0.5;
  if (changed) NotifyEditSave();
}

void Settings::Map0595() {
  const double bias = 55 / 100.0;
  const double gain = 45 / 100.0;
  const bool changed = EditSave.Bias != bias || EditSave.Gain != gain;
  EditSave.Bias = bias;
  EditSave.Gain = gain;
  if (changed) NotifyEditSave();
}

void Settings::SetSaturationTrackBar(std::int32_t position) {
  EditSave.Saturation = 2.0 * PercentRange.Clamp(position) / 100.0;
  NotifyEditSave();
}

void Settings::SaturationDefault() {
  const bool changed = EditSave.Saturation != 1.0;
  EditSave.Saturation = 1.0;
  if (changed) NotifyEditSave();
}

void Settings::StoreColourWeights() {
  const ColourWeights w = ColourWeightsFromPositions(ColourTrackBars);
  EditSave.RWeight = w.R;
  EditSave.GWeight = w.G;
  EditSave.BWeight = w.B;
}

void Settings::SetColourTrackBar(ColourBar bar, std::int32_t position) {
  const std::int32_t n = PercentRange.Clamp(position);
  std::int32_t* bars[3] = {&ColourTrackBars.R, &ColourTrackBars.G, &ColourTrackBars.B};
  std::int32_t* remembered[3] = {&UserColourTrackBars.R, &UserColourTrackBars.G, &UserColourTrackBars.B};
  const auto moved = static_cast<int>(bar);
  const std::int32_t d = (*remembered[moved] - n) / 2;  // rounds toward zero
  for (int i = 0; i < 3; ++i)
    if (i != moved) *bars[i] = PercentRange.Clamp(std::int64_t{*bars[i]} + d);
  *bars[moved] = n;
  *remembered[moved] = n;
  StoreColourWeights();
  NotifyEditSave();
}

void Settings::ChooseColourPreset(ColourPreset preset) {
  if (preset == ColourPreset::User) {
    if (ColourChoice != ColourPreset::User) ColourTrackBars = ColourPresetPositions(ColourChoice);
    UserColourTrackBars = ColourTrackBars;
  } else {
    ColourTrackBars = ColourPresetPositions(preset);
  }
  ColourChoice = preset;
  StoreColourWeights();
  NotifyEditSave();
}

void Settings::SetShowAs(int index) {
  if (index < 0 || index > 5) throw RangeError("SetShowAs: show choice " + RangeText(index) + " is not 0..5");
  EditSave.ShowAs = static_cast<std::uint8_t>(index);
  NotifyEditSave();
}

void Settings::SetNameControl(bool Settings::*box, bool ticked) {
  this->*box = ticked;
  NotifyEditSave();
}

void Settings::SetSaveNamePrefix(std::string text) {
  SaveNamePrefixEdit = std::move(text);
  NotifyEditSave();
}

}  // namespace corvane
