#pragma once
// The main window's rules that need no toolkit: its caption, what the General
// settings change on it, and which key does what. The desktop program turns
// its events into these values and shows what they answer.
#include <cstdint>
#include <string>

#include "settings/settings.h"

namespace corvane {

/// "Corvane 2      Version " (six blanks) + the first five characters of
/// `version`; an empty version counts as "2".
std::string MainWindowCaption(const std::string& version);

/// "Save As" when the "Save As" button setting is on, else "Save".
std::string SaveButtonCaption(bool saveAs);

/// The text colour of the six memos.
enum class MemoColour : std::uint8_t { Black, InactiveCaption };

/// What the General settings change on the main window.
struct GeneralAppearance {
  bool ShowHints = true;            ///< tool tips shown
  bool SettingsButtonDown = false;  ///< the "Display settings dialog" toggle
  MemoColour MemoText = MemoColour::InactiveCaption;
  std::string SaveCaption = "Save";  ///< PictureSaveBitBtn
};

/// ApplyGeneralSettings, the General listener of the main window (also run
/// when the settings dialog reports that the user closed it):
/// 1. hints shown per ShowHints;
/// 2. when the dialog reported that it was closed, the toggle pops up and the
///    report is consumed (`dialogClosedReport` := false); otherwise the toggle
///    shows whether the dialog is on screen (so it never stands down with no
///    dialog to show);
/// 3. memo text black with MemoFontColor, else the inactive-caption colour;
/// 4. the save button's caption by SaveAsButton.
GeneralAppearance ApplyGeneralSettings(const TGeneralSettings& general, bool& dialogClosedReport, bool dialogVisible);

/// The keys the main window acts on; everything else is Other.
enum class WindowKey : std::uint8_t {
  Escape,
  PageUp,
  PageDown,
  Digit3,
  Digit9,
  Plus,
  Minus,
  F1,
  F2,
  F3,
  F4,
  F5,
  Other
};

enum class KeyAction : std::uint8_t {
  None,           ///< the key goes on to the control that has the focus
  Abort,          ///< raise the stop request
  NextFrame,      ///< frame number + 1 (within its range), then the frame browser
  PreviousFrame,  ///< frame number - 1, then the frame browser
  QualityUp,      ///< the shown frame's quality + 1
  QualityDown,    ///< the shown frame's quality - 1
  QualityPreset,  ///< the shown frame's quality := 200 x Preset
};

struct KeyCommand {
  KeyAction Action = KeyAction::None;
  int Preset = 0;  ///< 1..5 for QualityPreset
  friend bool operator==(const KeyCommand&, const KeyCommand&) = default;
};

/// The window's key table. `keypad` tells the numeric keypad's keys from the
/// main row's: Esc stops; Page Up or keypad 9 steps the frame up, Page Down
/// or keypad 3 down (a keypad 9 or 3 without NumLock arrives as Page Up/Down);
/// keypad + and - step the quality; Ctrl+F1..Ctrl+F5 set it to 200..1000.
/// The main row's digits, + and -, F1..F5 without Ctrl and all other keys do
/// nothing here.
KeyCommand MapWindowKey(WindowKey key, bool keypad, bool ctrl) noexcept;

}  // namespace corvane
