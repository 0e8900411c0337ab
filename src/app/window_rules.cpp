#include "app/window_rules.h"

namespace corvane {

std::string MainWindowCaption(const std::string& version) {
  return "Corvane 2      Version " + (version.empty() ? std::string("2") : version.substr(0, 5));
}

std::string SaveButtonCaption(bool saveAs) { return saveAs ? "Save As" : "Save"; }

GeneralAppearance ApplyGeneralSettings(const TGeneralSettings& general, bool& dialogClosedReport, bool dialogVisible) {
  GeneralAppearance a;
  a.ShowHints = general.ShowHints;
  if (dialogClosedReport) {
    a.SettingsButtonDown = false;
    dialogClosedReport = false;
  } else {
    a.SettingsButtonDown = dialogVisible;
  }
  a.MemoText = general.MemoFontColor ? MemoColour::Black : MemoColour::InactiveCaption;
  a.SaveCaption = SaveButtonCaption(general.SaveAsButton);
  return a;
}

KeyCommand MapWindowKey(WindowKey key, bool keypad, bool ctrl) noexcept {
  switch (key) {
    case WindowKey::Escape: return {KeyAction::Abort, 0};
    case WindowKey::PageUp: return {KeyAction::NextFrame, 0};
    case WindowKey::PageDown: return {KeyAction::PreviousFrame, 0};
    case WindowKey::Digit9: return keypad ? KeyCommand{KeyAction::NextFrame, 0} : KeyCommand{};
    case WindowKey::Digit3: return keypad ? KeyCommand{KeyAction::PreviousFrame, 0} : KeyCommand{};
    case WindowKey::Plus: return keypad ? KeyCommand{KeyAction::QualityUp, 0} : KeyCommand{};
    case WindowKey::Minus: return keypad ? KeyCommand{KeyAction::QualityDown, 0} : KeyCommand{};
    case WindowKey::F1:
    case WindowKey::F2:
    case WindowKey::F3:
    case WindowKey::F4:
    case WindowKey::F5:
      if (!ctrl) return {};
      return {KeyAction::QualityPreset, static_cast<int>(key) - static_cast<int>(WindowKey::F1) + 1};
    case WindowKey::Other: break;
  }
  return {};
}

}  // namespace corvane
