#include "app/window_rules.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(WindowRules, CaptionTakesTheFirstFiveCharactersOfTheVersion) {
  EXPECT_EQ(MainWindowCaption("2.0.0"), "Corvane 2      Version 2.0.0");
  EXPECT_EQ(MainWindowCaption("2.10.3-rc1"), "Corvane 2      Version 2.10.");
  EXPECT_EQ(MainWindowCaption(""), "Corvane 2      Version 2");
}

TEST(WindowRules, GeneralSettingsOnTheWindow) {
  TGeneralSettings g;
  bool closed = false;
  GeneralAppearance a = ApplyGeneralSettings(g, closed, true);
  EXPECT_TRUE(a.ShowHints);
  EXPECT_TRUE(a.SettingsButtonDown);
  EXPECT_EQ(a.MemoText, MemoColour::InactiveCaption);
  EXPECT_EQ(a.SaveCaption, "Save");

  // A closed report pops the toggle up once and is consumed.
  g.ShowHints = false;
  g.MemoFontColor = true;
  g.SaveAsButton = true;
  closed = true;
  a = ApplyGeneralSettings(g, closed, true);
  EXPECT_FALSE(closed);
  EXPECT_FALSE(a.SettingsButtonDown);
  EXPECT_FALSE(a.ShowHints);
  EXPECT_EQ(a.MemoText, MemoColour::Black);
  EXPECT_EQ(a.SaveCaption, "Save As");
  EXPECT_TRUE(ApplyGeneralSettings(g, closed, true).SettingsButtonDown);
  // A hidden dialog never leaves the toggle down (the settings file is read while it is hidden).
  EXPECT_FALSE(ApplyGeneralSettings(g, closed, false).SettingsButtonDown);
}

TEST(WindowRules, KeypadKeysAreToldFromTheMainRow) {
  struct Case {
    WindowKey Key;
    bool Keypad, Ctrl;
    KeyCommand Expected;
  };
  const Case cases[] = {
      {WindowKey::Escape, false, false, {KeyAction::Abort, 0}},
      {WindowKey::PageUp, false, false, {KeyAction::NextFrame, 0}},
      {WindowKey::PageUp, true, false, {KeyAction::NextFrame, 0}},  // keypad 9 without NumLock
      {WindowKey::Digit9, true, false, {KeyAction::NextFrame, 0}},
      {WindowKey::Digit9, false, false, {}},
      {WindowKey::PageDown, false, true, {KeyAction::PreviousFrame, 0}},
      {WindowKey::Digit3, true, false, {KeyAction::PreviousFrame, 0}},
      {WindowKey::Digit3, false, false, {}},
      {WindowKey::Plus, true, false, {KeyAction::QualityUp, 0}},
      {WindowKey::Plus, false, false, {}},
      {WindowKey::Minus, true, false, {KeyAction::QualityDown, 0}},
      {WindowKey::Minus, false, false, {}},
      {WindowKey::F1, false, true, {KeyAction::QualityPreset, 1}},
      {WindowKey::F3, false, true, {KeyAction::QualityPreset, 3}},
      {WindowKey::F5, false, true, {KeyAction::QualityPreset, 5}},
      {WindowKey::F3, false, false, {}},
      {WindowKey::Other, true, true, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MapWindowKey(c.Key, c.Keypad, c.Ctrl), c.Expected)
        << static_cast<int>(c.Key) << " keypad " << c.Keypad << " ctrl " << c.Ctrl;
}
