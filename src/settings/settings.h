#pragma once
// The settings of the program: five records, one per tab of the settings
// dialog, with their defaults; the five listener lists through which changes
// reach the rest of the program; the dialog-side values that live beside the
// records; and the dialog rules that change several settings at once, so that
// the window and the command line share them.
//
// Rules of all rule functions below:
// - A rule stores every value it changes first, then notifies each record's
//   listeners it touched once, in the order the dialog does.
// - A rule function is one change of a control. It notifies even when the
//   value did not change (the user did act), except where a function says it
//   notifies "when something changed": those set controls from the program,
//   and a control set to the value it holds reports no change.
// - Numbers set from the program are clamped to the control's range (the
//   ranges below). Only the width and height boxes can also take a typed
//   value, which is stored as typed but notifies only inside the range.
// - A choice outside its list throws RangeError naming the rule and the
//   value, except the loading channel, where anything else counts as L.
// - The frame-budget message goes to the attached services' status line; a
//   frame list, when attached, takes the memory budget and its MaxFrames.
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/bitmap.h"
#include "core/frame_list.h"
#include "core/services.h"

namespace corvane {

// ---------------------------------------------------------------------------
// Program directory

/// The user's home folder without a trailing '/': $HOME when set, otherwise
/// the account's entry; empty when neither is known.
std::string UserHomeFolder();
/// The base of the four default folders, with a trailing '/':
/// "$HOME/Corvane2/". Without a usable HOME the account's home folder is
/// used, and without that the current folder. An override set with
/// SetProgramDirectoryOverride wins.
std::string ProgramDirectory();
/// Makes ProgramDirectory answer `directory` (a '/' is appended when it lacks
/// one); an empty text removes the override. For tests and portable setups.
void SetProgramDirectoryOverride(std::string directory);

// ---------------------------------------------------------------------------
// Control ranges, declared once for the dialog and the command line

struct SpinRange {
  std::int32_t Min;
  std::int32_t Max;
  std::int32_t Step;
  constexpr std::int32_t Clamp(std::int64_t value) const noexcept {
    return value < Min ? Min : value > Max ? Max : static_cast<std::int32_t>(value);
  }
  constexpr bool Contains(std::int64_t value) const noexcept { return value >= Min && value <= Max; }
};

inline constexpr SpinRange MemoryRange{16, 512, 16};         ///< MemorySpinEdit, megabytes
inline constexpr SpinRange AVIFrameRange{0, 9999, 1};        ///< AVIstartSpinEdit, AVIendSpinEdit
inline constexpr SpinRange SkipFramesRange{0, 30, 1};        ///< AVISkipFramesSpinEdit
inline constexpr SpinRange ResizeRange{1, 6, 1};             ///< ResizeSpinEdit
inline constexpr SpinRange OutputWidthRange{64, 3600, 64};   ///< WidthSpinEdit
inline constexpr SpinRange OutputHeightRange{48, 2700, 48};  ///< HeightSpinEdit
inline constexpr SpinRange PercentRange{0, 100, 1};          ///< percent spin edits and all track bars
inline constexpr SpinRange UMAStrengthRange{0, 16, 1};       ///< UMApreSpinEdit, UMApostSpinEdit
inline constexpr SpinRange DECIterationsRange{1, 16, 1};     ///< DECpreSpinEdit, DECpostSpinEdit
inline constexpr SpinRange KeepBestRange{1, 100, 1};         ///< "Keep the best" percent of the frames

/// A number box's text as a value: a decimal integer (blanks around it
/// allowed), or the box's minimum when the text is not a number. The value is
/// not clamped (a typed value may lie outside the range).
std::int32_t SpinEditValueFromText(const std::string& text, const SpinRange& range);

/// The folder of a file chosen in a Browse dialog, with its trailing '/'
/// (empty when the name holds no folder).
std::string DirectoryOfChosenFile(const std::string& file);

// ---------------------------------------------------------------------------
// The five records

/// "General" tab. Stored between runs (see settings_file.h).
struct TGeneralSettings {
  std::string PictureDirectory = ProgramDirectory() + "Pictures/";
  std::string VideoDirectory = ProgramDirectory() + "Videos/";
  std::string PSFDirectory = ProgramDirectory() + "PSF/";
  std::string ResultDirectory = ProgramDirectory() + "Result/";
  bool MemoFontColor = false;
  bool SaveSettings = true;
  bool ShowHints = true;
  bool SaveAsButton = false;  ///< the settings file's default; the check box alone starts ticked
  bool AutoSelectTabSheet = true;
  bool AutoChannelIncrement = false;
  bool ShowRGBcolor = true;
};

/// "Preview frames" tab.
struct TLoadFramesSettings {
  /// 0 AVI video, 1 BMP, 2 JPEG, 3 FITS, 4 SER video, 5 TIFF, 6 PNG (set by frame loading)
  std::uint8_t SourceType = 0;
  std::int32_t AVIStart = 0;
  std::int32_t AVIEnd = 9999;
  std::int32_t AVISkipFrames = 0;
  bool AVISemiFrames = false;
  bool AVICorrection = false;
  std::uint8_t Channel = 0;   ///< 0 L, 1 R, 2 G, 3 B
  std::uint8_t LoadWhat = 0;  ///< 0 whole image, 1 single object
  std::int32_t Resize = 1;
  std::uint8_t LoadWhen = 0;  ///< 0 replace, 1 add
  bool DarkFrame = false;
  bool FlatField = false;
  std::string DarkFrameFile;
  std::string FlatFieldFile;
  std::uint8_t SizeMode = 0;  ///< 0 same as input, 1 input x resize, 2 user
  std::int32_t InputWidth = 384;
  std::int32_t InputHeight = 288;
  std::int32_t UserWidth = 384;
  std::int32_t UserHeight = 288;
  std::int32_t OutputWidth = 384;
  std::int32_t OutputHeight = 288;
  bool Median = false;
  double Background = 0.20;
  double FrameBias = 0.5;
  double FrameGain = 0.5;
  /// Byte order of 16-bit SER samples: 0 decided from the data, 1 little-endian, 2 big-endian.
  std::uint8_t SERByteOrder = 0;
};

/// Bits of TStackFramesSettings::StackUsing.
namespace StackUsing {
inline constexpr std::uint8_t Center = 1;
inline constexpr std::uint8_t Move = 2;
inline constexpr std::uint8_t Rotate = 4;
inline constexpr std::uint8_t Resize = 8;
inline constexpr std::uint8_t Max = 16;
inline constexpr std::uint8_t Min = 32;
inline constexpr std::uint8_t Last = 64;
}  // namespace StackUsing

/// "Stack frames" tab.
struct TStackFramesSettings {
  bool Automatic = true;
  std::uint8_t StackUsing = StackUsing::Move;
  bool Invert = false;
  bool SetQuality = true;
  bool ShowProcess = true;
  std::uint8_t Basis = 1;     ///< 0 result, 1 first frame, 2 user's choice
  std::uint8_t AreaSize = 1;  ///< 0 96 x 72, 1 192 x 144, 2 384 x 288
  std::uint8_t Zoom = 0;      ///< 0 actual size, 1 x2, 2 x4

  // Rating and alignment choices of the tab's "Rating and refinement" group.
  // Every one is off by default, and then stacking does exactly what the
  // settings above say.
  std::uint8_t Rating = 0;           ///< what the automatic quality rates: 0 the quality index, 1 sharpness
  std::int32_t KeepBest = 0;         ///< keep the best N % of the frames (KeepBestRange); 0 keeps every frame
  bool NormaliseBrightness = false;  ///< compare the areas after taking out their mean and contrast
  bool CoarseAlign = false;          ///< whole-frame pre-alignment by phase correlation before the Move search
  bool SubPixel = false;             ///< shifts to fractions of a sample, frames placed by interpolation
  std::uint8_t Interpolation = 1;    ///< placing frames at fractional shifts: 0 bilinear, 1 bicubic
};

/// TStackFramesSettings::Rating values.
namespace FrameRating {
inline constexpr std::uint8_t QualityIndex = 0;
inline constexpr std::uint8_t Sharpness = 1;
}  // namespace FrameRating

/// TStackFramesSettings::Interpolation values.
namespace FrameInterpolation {
inline constexpr std::uint8_t Bilinear = 0;
inline constexpr std::uint8_t Bicubic = 1;
}  // namespace FrameInterpolation

/// "Enhancement" tab. The record owns the four PSF pictures.
struct TEnhanceSettings {
  std::int32_t UMAPre = 1;
  std::int32_t UMAPost = 4;
  Bitmap UMAPrePSF;
  Bitmap UMAPostPSF;
  std::string UMAPrePSFFile;
  std::string UMAPostPSFFile;
  bool UMAPrePost = true;
  bool UMAPreLocalPSF = true;
  bool UMAPostLocalPSF = true;
  std::int32_t DECPre = 1;
  std::int32_t DECPost = 1;
  Bitmap DECPrePSF;
  Bitmap DECPostPSF;
  std::string DECPrePSFFile;
  std::string DECPostPSFFile;
  bool DECPrePost = true;
  bool DECPreLocalPSF = true;
  bool DECPostLocalPSF = true;
  std::uint8_t DECMethod = 0;  ///< 0 van Cittert, 1 Lucy-Richardson
  bool HISPre = false;
  bool HISPost = true;
  std::uint8_t HISMethod = 0;
  std::int32_t HISClahe = 0;
};

/// "Edit / Save picture" tab.
struct TEditSaveSettings {
  std::uint8_t SaveFormat = 0;  ///< 0 BMP (24-bit), 1 FITS, 2 PNG, 3 TIFF (16-bit); see ResultFormat
  std::string LastSaveName;
  std::int32_t SaveNumber = 0;
  bool UseLUT = false;
  std::string LUTFile;
  std::uint8_t ShowAs = 0;  ///< 0 L, 1 R, 2 G, 3 B, 4 LRGB, 5 RGB
  double Bias = 0.5;
  double Gain = 0.5;
  double Saturation = 1.0;
  double RWeight = 0.30;
  double GWeight = 0.59;
  double BWeight = 0.11;
};

// ---------------------------------------------------------------------------
// Dialog-side data

/// The control values of the "General" tab that the settings file reads and
/// writes, with their start values on the form. The directory edits start
/// empty; reading the settings file always fills them.
struct GeneralControls {
  std::string PictureDirectoryEdit;
  std::string VideoDirectoryEdit;
  std::string PSFDirectoryEdit;
  std::string ResultDirectoryEdit;
  bool MemoFontCheckBox = false;
  bool SaveAsCheckBox = true;
  bool AutoSelectTabSheetCheckBox = true;
  bool AutoChannelIncrCheckBox = false;
  bool ShowRGBcolorCheckBox = true;
  bool ShowHintsCheckBox = true;
  bool SaveSettingsCheckBox = true;
  std::int32_t MemorySpinEdit = 64;
};

/// Fills the General record from the controls (every field from its control).
void FillGeneralFromControls(TGeneralSettings& general, const GeneralControls& controls);

/// The ticks of the "Stack using" check boxes. The boxes keep their ticks
/// while "Last calculations" disables them.
struct StackUsingBoxes {
  bool Center = false;
  bool Move = true;
  bool Rotate = false;
  bool Resize = false;
  bool Max = false;
  bool Min = false;
  bool Last = false;
};

/// StackUsing from the ticks: exactly Last (64) when "Last calculations" is
/// ticked, otherwise the sum of the ticked boxes' bits.
std::uint8_t StackUsingFromBoxes(const StackUsingBoxes& boxes) noexcept;
/// Whether the box of `bit` is enabled: "Last calculations" always; while it
/// is ticked no other box; otherwise "Min", "Max", "Center" and "Move"
/// ("Rotate" and "Resize" stay disabled). Throws RangeError for a value that
/// is not one of the seven bits.
bool StackUsingBoxEnabled(const StackUsingBoxes& boxes, std::uint8_t bit);

enum class ColourBar : std::uint8_t { R, G, B };
/// The choice among "1:1:1", "T.V." and "User" in the colour group.
enum class ColourPreset : std::uint8_t { OneOneOne, TV, User };

struct ColourPositions {
  std::int32_t R;
  std::int32_t G;
  std::int32_t B;
  friend bool operator==(const ColourPositions&, const ColourPositions&) = default;
};
/// Track bar positions of a preset: "1:1:1" 33, 33, 33 (round(0.33 x 100));
/// "T.V." 30, 59, 11. "User" has no positions of its own: it answers T.V.'s.
ColourPositions ColourPresetPositions(ColourPreset preset) noexcept;

struct ColourWeights {
  double R;
  double G;
  double B;
};
/// Each position / 100, divided by their sum (a sum of 0 or less counts as
/// 1), so that the weights add up to 1. Computed as position / (sum of the
/// positions) from the whole numbers, so that 30, 59, 11 give exactly the
/// weights 0.30, 0.59, 0.11 (byte weights 76, 150, 28).
ColourWeights ColourWeightsFromPositions(ColourPositions positions) noexcept;

/// Which parts of the "Edit / Save picture" tab a "Show" choice enables.
struct ShowGroupEnables {
  bool BrightnessContrastGroup;    ///< SavePictureBWControlGroupBox
  bool BrightnessContrastButtons;  ///< its "5 - 95" and "Default" buttons
  bool ColourGroup;                ///< SavePictureColorControlGroupBox ("Color control")
  bool SaturationNormalButton;     ///< "Normal" in the colour group
};
/// L: brightness and contrast with its buttons, no colour; R, G, B: neither;
/// LRGB: both; RGB: colour with "Normal", and only the two buttons of the
/// brightness and contrast group. Any other value: nothing enabled.
ShowGroupEnables ShowGroupsFor(std::uint8_t showAs) noexcept;

/// Whether a box's value comes from the program (clamped to its range) or was
/// typed by the user (stored as typed).
enum class ValueOrigin : std::uint8_t { Program, Typed };

/// "Maximum nr of frames possible: N, with a size of W x H pixels and internal
/// memory set to M Mb" for a budget of `maxMem` bytes, with N by MaxFramesFor
/// and M = maxMem div 1 048 576. Any typed size has its message (a size no
/// memory holds gives 0 frames).
std::string FrameBudgetMessage(std::int64_t maxMem, std::int32_t width, std::int32_t height);
/// "" when the frame memory budget fits the memory available, otherwise
/// "more than the N Mb of memory available" (N = available div 1 048 576). An
/// unknown amount (negative) fits.
std::string MemoryBudgetNote(std::int64_t budgetBytes, std::int64_t availableBytes);

/// Recomputes the list's MaxFrames for width x height and answers the message
/// for its MaxMem.
std::string UpdateFrameBudget(FrameList& frames, std::int32_t width, std::int32_t height);

// ---------------------------------------------------------------------------
// The settings

class Settings {
 public:
  using Listener = std::function<void()>;

  /// The records at their defaults, the dialog-side values as they are before
  /// the dialog exists, empty listener lists, null services, no frame list.
  Settings() = default;
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  TGeneralSettings General;
  TLoadFramesSettings LoadFrames;
  TStackFramesSettings StackFrames;
  TEnhanceSettings Enhance;
  TEditSaveSettings EditSave;

  // ---- Listeners: appended (duplicates allowed, no removal); a notification
  // calls them in registration order and skips empty ones. Listeners added
  // while a notification runs are called from the next one on.
  void RegisterGeneralListener(Listener listener) { m_general.push_back(std::move(listener)); }
  void RegisterLoadFramesListener(Listener listener) { m_loadFrames.push_back(std::move(listener)); }
  void RegisterStackFramesListener(Listener listener) { m_stackFrames.push_back(std::move(listener)); }
  void RegisterEnhanceListener(Listener listener) { m_enhance.push_back(std::move(listener)); }
  void RegisterEditSaveListener(Listener listener) { m_editSave.push_back(std::move(listener)); }
  void NotifyGeneral() const { Notify(m_general); }
  void NotifyLoadFrames() const { Notify(m_loadFrames); }
  void NotifyStackFrames() const { Notify(m_stackFrames); }
  void NotifyEnhance() const { Notify(m_enhance); }
  void NotifyEditSave() const { Notify(m_editSave); }

  // ---- Where messages and the memory budget go.
  /// The status line of the frame-budget message; null services until set.
  void AttachServices(Services& services) noexcept { m_services = &services; }
  /// The frame list whose MaxMem and MaxFrames the memory and size rules
  /// set; none (nullptr) until set, and then the message is only computed.
  void AttachFrameList(FrameList* frames) noexcept { m_frames = frames; }

  // ---- Dialog-side values beside the records.

  /// "Internal memory" in megabytes (MemorySpinEdit, 16..512 step 16).
  std::int32_t MemoryMb = 64;
  /// The text of PictureDirectoryEdit. It equals General.PictureDirectory
  /// except after the main window changed the record's folder; the settings
  /// file stores this text.
  std::string PictureDirectoryEdit = ProgramDirectory() + "Pictures/";
  /// Maximum of AVIstartSpinEdit (the end box's value) and of AVIendSpinEdit
  /// (the last frame of the previewed video). The end box's minimum is
  /// LoadFrames.AVIStart.
  std::int32_t AVIStartMaximum = AVIFrameRange.Max;
  std::int32_t AVIEndMaximum = AVIFrameRange.Max;
  /// The ticks of the "Stack using" boxes.
  StackUsingBoxes StackUsingTicks;
  /// The percent of StackFramesKeepBestSpinEdit (KeepBestRange): what "Keep
  /// the best" gives StackFrames.KeepBest when ticked; kept while it is clear.
  std::int32_t KeepBestPercent = 10;
  /// "Couple" (CoupleBGCheckBox): moving one of brightness and contrast moves
  /// the other to the same position.
  bool CoupleBGCheckBox = false;
  /// Positions of RTrackBar, GTrackBar, BTrackBar, and the remembered "User"
  /// copy the coupling works from. Both 33 before the dialog exists; 30, 59,
  /// 11 once it is created.
  ColourPositions ColourTrackBars{33, 33, 33};
  ColourPositions UserColourTrackBars{33, 33, 33};
  /// "1:1:1", "T.V." or "User" (the default).
  ColourPreset ColourChoice = ColourPreset::User;
  /// The save-name controls (read by the save-name builder).
  bool NamePrefixCheckBox = true;
  std::string SaveNamePrefixEdit = "Result_";
  bool NameOriginalCheckBox = true;
  bool NamePostfixCheckBox = true;
  bool NameDateCheckBox = false;
  bool NameChannelCheckBox = false;
  bool NameAutonumberCheckBox = true;
  /// SaveNamePrefixEdit is enabled only while "Original name" is not ticked.
  bool SaveNamePrefixEditEnabled() const noexcept { return !NameOriginalCheckBox; }
  /// WidthSpinEdit and HeightSpinEdit are enabled in User mode only.
  bool OutputSizeEnabled() const noexcept { return LoadFrames.SizeMode == 2; }
  /// BackGroundSpinEdit and its labels are enabled for "Single object" only.
  bool BackgroundEnabled() const noexcept { return LoadFrames.LoadWhat == 1; }
  /// "Rate by" is enabled while "Automatically set quality" is ticked (only
  /// then does a Go rate the frames).
  bool RatingEnabled() const noexcept { return StackFrames.SetQuality; }
  /// The percent box of "Keep the best" is enabled while that is ticked.
  bool KeepBestPercentEnabled() const noexcept { return StackFrames.KeepBest > 0; }
  /// The percent "Keep the best" shows: KeepBest while ticked, else KeepBestPercent.
  std::int32_t KeepBestShown() const noexcept {
    return StackFrames.KeepBest > 0 ? StackFrames.KeepBest : KeepBestPercent;
  }
  /// "Coarse whole-frame alignment" is enabled unless "Last calculations" is
  /// chosen, which takes the earlier shifts and searches nothing.
  bool CoarseAlignEnabled() const noexcept { return (StackFrames.StackUsing & StackUsing::Last) == 0; }
  /// The interpolation choice is enabled while "Sub-pixel shifts" is ticked.
  bool InterpolationEnabled() const noexcept { return StackFrames.SubPixel; }

  // ---- Dialog life.

  /// Dialog creation, after the settings file has been read into `controls`:
  /// the General record, PictureDirectoryEdit and MemoryMb from the controls;
  /// MaxMem (and MaxFrames for the output size) of the attached frame list;
  /// the colour track bars and their "User" copy to 30, 59, 11; then
  /// NotifyGeneral.
  void DialogCreated(const GeneralControls& controls);
  bool IsDialogCreated() const noexcept { return m_dialogCreated; }
  /// The General tab's controls as they stand, for writing the settings file.
  GeneralControls CurrentGeneralControls() const;

  // ---- Plain fields: store the value, then notify that record. Only for
  // fields without a rule of their own (rules below): in General every
  // field (a directory also sets its edit box; ShowRGBcolor also notifies
  // Edit/Save); in LoadFrames AVISemiFrames, AVICorrection, LoadWhen,
  // LoadWhat, DarkFrame, FlatField, DarkFrameFile, FlatFieldFile, Median,
  // SERByteOrder; in StackFrames all but StackUsing (and KeepBest, which the
  // dialog sets by its rules); in Enhance all; in EditSave SaveFormat, UseLUT,
  // LUTFile.
  template <class T>
  void SetGeneral(T TGeneralSettings::*field, std::type_identity_t<T> value);
  template <class T>
  void SetLoadFrames(T TLoadFramesSettings::*field, std::type_identity_t<T> value) {
    LoadFrames.*field = std::move(value);
    NotifyLoadFrames();
  }
  template <class T>
  void SetStackFrames(T TStackFramesSettings::*field, std::type_identity_t<T> value) {
    StackFrames.*field = std::move(value);
    NotifyStackFrames();
  }
  template <class T>
  void SetEnhance(T TEnhanceSettings::*field, std::type_identity_t<T> value) {
    Enhance.*field = std::move(value);
    NotifyEnhance();
  }
  template <class T>
  void SetEditSave(T TEditSaveSettings::*field, std::type_identity_t<T> value) {
    EditSave.*field = std::move(value);
    NotifyEditSave();
  }

  // ---- General tab.

  /// MemorySpinEdit: MemoryMb := mb (clamped to 16..512); the attached frame
  /// list's MaxMem := MemoryMb x 1 048 576; the frame-budget message is shown,
  /// followed by " (more than the N Mb of memory available)" when the budget
  /// passes the memory the machine has available (MemoryBudgetNote). No
  /// listener is notified.
  void SetMemoryMb(std::int32_t mb);
  /// Shows the frame-budget message for the output size (recomputing the
  /// attached frame list's MaxFrames), with " (note)" after it when `note` is
  /// not empty, and answers it.
  std::string ShowFrameBudget(const std::string& note = {});

  // ---- Preview frames tab. Each notifies LoadFrames unless said otherwise.

  /// AVIstartSpinEdit: below 0 becomes 0, above the end frame becomes the end
  /// frame; AVIStart := that (the end box's minimum follows).
  void SetAVIStart(std::int32_t value);
  /// AVIendSpinEdit: AVIEnd := value clamped to AVIStart..AVIEndMaximum;
  /// AVIStartMaximum := AVIEnd.
  void SetAVIEnd(std::int32_t value);
  /// Preview of a video whose last frame is `lastFrame`: both maxima := it,
  /// the start := 0 and the end := it; notifies when something changed.
  void SetVideoFrameRange(std::int32_t lastFrame);
  /// AVISkipFramesSpinEdit (0..30); no notification.
  void SetAVISkipFrames(std::int32_t value);
  /// The channel rule: Channel := index (0 L, 1 R, 2 G, 3 B; anything else
  /// counts as L); the "Show" choice and ShowAs := the same index (notifying
  /// Edit/Save first when that changed it).
  void SetLoadFramesChannel(int index);
  /// L -> R -> G -> B, B stays B, any other value -> L, each step by the
  /// channel rule. The step from L to R ticks "Last calculations" when
  /// AutoChannelIncrement is on. Notifies when something changed.
  void IncrementLoadFramesChannel();
  /// BackGroundSpinEdit, FrameBiasSpinEdit, FrameGainSpinEdit: value / 100.
  void SetBackgroundPercent(std::int32_t percent);
  void SetFrameBiasPercent(std::int32_t percent);
  void SetFrameGainPercent(std::int32_t percent);
  /// LFBiasGainDefaultButton: both boxes to 50; notifies when something
  /// changed.
  void LFBiasGainDefault();
  /// DarkFrameButton / FlatFieldButton after the picture dialog: a chosen
  /// file (`chosen` not empty) becomes `file` (DarkFrameFile or
  /// FlatFieldFile); the Preview frames listeners run in either case, also
  /// after a cancel (`chosen` empty). Ticking the check box is another step.
  void ChooseCorrectionFile(std::string TLoadFramesSettings::*file, const std::string& chosen);
  /// ResizeSpinEdit (1..6), then the "Input x Resize" rule when that size
  /// mode is chosen.
  void SetResize(std::int32_t value);
  /// The size-mode rules, then the frame-budget message: 0 "Same as input"
  /// (boxes := InputWidth x InputHeight), 1 "Input x Resize" (boxes := Resize
  /// x input), 2 "User" (boxes := UserWidth x UserHeight). Values set into the
  /// boxes are clamped to their ranges. Throws RangeError for another mode.
  void SetSizeMode(int mode);
  /// Frame loading's new input size: a positive width or height becomes
  /// InputWidth or InputHeight, then the rule of the size mode runs again when
  /// it is "Same as input" or "Input x Resize".
  void SetInputSize(std::int32_t width, std::int32_t height);
  /// WidthSpinEdit / HeightSpinEdit: OutputWidth := value (clamped when it
  /// comes from the program); in User mode also UserWidth; the frame-budget
  /// message is shown; notifies only when the value lies in the range. A
  /// typed size whose frame bytes leave 32 bits throws OverflowError from the
  /// message, after the value has been stored.
  void SetOutputWidth(std::int32_t value, ValueOrigin origin = ValueOrigin::Program);
  void SetOutputHeight(std::int32_t value, ValueOrigin origin = ValueOrigin::Program);

  // ---- Stack frames tab. Each notifies StackFrames.

  /// Ticks or clears the "Stack using" box of `bit` (a StackUsing constant),
  /// then rebuilds StackUsing. Throws RangeError for another value.
  void SetStackUsingBox(std::uint8_t bit, bool ticked);
  bool StackUsingTicked(std::uint8_t bit) const;
  /// A click on the group: StackUsing := StackUsingFromBoxes(StackUsingTicks).
  void RebuildStackUsing();
  /// "Keep the best" ticked: KeepBest := KeepBestPercent; cleared: the percent
  /// it held is remembered in KeepBestPercent, and KeepBest := 0 (off).
  void SetKeepBest(bool ticked);
  /// StackFramesKeepBestSpinEdit: KeepBestPercent := percent (clamped to
  /// 1..100); while "Keep the best" is ticked, KeepBest := the same.
  void SetKeepBestPercent(std::int32_t percent);

  // ---- Edit / Save picture tab. Each notifies EditSave.

  /// BiasTrackBar / GainTrackBar (0..100): Bias / Gain := position / 100;
  /// with "Couple" ticked the other takes the same position first.
  void SetBiasTrackBar(std::int32_t position);
  void SetGainTrackBar(std::int32_t position);
  /// "Default": both to 50. "5 - 95": brightness 55, contrast 45 (set as they
  /// stand, without the coupling). Notify when something changed.
  void BiasGainDefault();
  void Map0595();
  /// STrackBar: Saturation := 2 x position / 100; "Normal": position 50.
  void SetSaturationTrackBar(std::int32_t position);
  void SaturationDefault();
  /// The user moves a colour track bar to `position`: d := (its remembered
  /// position - position) div 2; the other two bars move by d (within
  /// 0..100); its remembered position := position; the weights are
  /// recomputed.
  void SetColourTrackBar(ColourBar bar, std::int32_t position);
  /// "1:1:1" and "T.V." set the three bars to their positions. "User" applies
  /// the preset chosen before once more (when it was one), then remembers the
  /// present positions. The weights are recomputed.
  void ChooseColourPreset(ColourPreset preset);
  /// ShowAsRadioGroup: ShowAs := index (0..5, else RangeError).
  void SetShowAs(int index);
  /// A save-name check box or the prefix text.
  void SetNameControl(bool Settings::*box, bool ticked);
  void SetSaveNamePrefix(std::string text);

 private:
  static void Notify(const std::vector<Listener>& listeners);
  /// Channel and ShowAs; true when ShowAs changed.
  bool StoreChannel(int index);
  /// The width and height boxes by the size mode (clamped), as the program
  /// sets them.
  void StoreSizeBoxes();
  void StoreOutputWidth(std::int64_t value, ValueOrigin origin);
  void StoreOutputHeight(std::int64_t value, ValueOrigin origin);
  void StoreColourWeights();

  std::vector<Listener> m_general;
  std::vector<Listener> m_loadFrames;
  std::vector<Listener> m_stackFrames;
  std::vector<Listener> m_enhance;
  std::vector<Listener> m_editSave;
  NullServices m_nullServices;
  Services* m_services = &m_nullServices;
  FrameList* m_frames = nullptr;
  bool m_dialogCreated = false;
};

template <class T>
void Settings::SetGeneral(T TGeneralSettings::*field, std::type_identity_t<T> value) {
  bool alsoEditSave = false;
  if constexpr (std::is_same_v<T, std::string>) {
    if (field == &TGeneralSettings::PictureDirectory) PictureDirectoryEdit = value;
  } else if constexpr (std::is_same_v<T, bool>) {
    alsoEditSave = field == &TGeneralSettings::ShowRGBcolor;
  }
  General.*field = std::move(value);
  NotifyGeneral();
  if (alsoEditSave) NotifyEditSave();
}

}  // namespace corvane
