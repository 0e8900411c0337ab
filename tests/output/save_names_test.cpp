// The naming rules of saved pictures and their autonumber memory.
#include "output/save_names.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/errors.h"

using namespace corvane;

namespace {

std::tm Stamp(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return t;
}

const std::tm kNov5 = Stamp(2003, 11, 5, 23, 17);
const std::string kJupiter = "c:\\pics\\jupiter.bmp";

}  // namespace

TEST(FileNameStem, CutsFoldersAndEverythingFromTheFirstDot) {
  EXPECT_EQ(FileNameStem("d:\\x\\moon.1.bmp"), "moon");
  EXPECT_EQ(FileNameStem("/home/a.b/sun.avi"), "sun");
  EXPECT_EQ(FileNameStem("/data/saturn 21:30.avi"), "saturn 21:30");  // a colon is part of a Linux name
  EXPECT_EQ(FileNameStem("mars"), "mars");
  EXPECT_EQ(FileNameStem("folder/"), "");
  EXPECT_EQ(FileNameStem(".hidden"), "");
}

TEST(BuildSaveName, DefaultsCountFromTheCaptionBuild) {
  Settings s;
  // The caption after a calculation builds without counting: number 0.
  EXPECT_EQ(BuildSaveName(s, kJupiter, false, kNov5), "jupiter__0");
  EXPECT_EQ(s.EditSave.LastSaveName, "jupiter__");
  EXPECT_EQ(s.EditSave.SaveNumber, 0);
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter__1");
  EXPECT_EQ(BuildSaveName(s, kJupiter, false, kNov5), "jupiter__1");
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter__2");
  for (int k = 0; k < 5; ++k) EXPECT_EQ(BuildSaveName(s, kJupiter, false, kNov5), "jupiter__2");
  EXPECT_EQ(s.EditSave.SaveNumber, 2);
}

TEST(BuildSaveName, BaseChoices) {
  Settings s;
  s.NamePrefixCheckBox = false;
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "CV__0");
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "CV__1");

  Settings t;
  t.NameOriginalCheckBox = false;
  EXPECT_EQ(BuildSaveName(t, kJupiter, false, kNov5), "Result___0");
  // The prefix text is cut like a file name, so a name never leaves the folder.
  t.SaveNamePrefixEdit = "../../etc/passwd.x";
  EXPECT_EQ(BuildSaveName(t, kJupiter, false, kNov5), "passwd__0");
}

TEST(BuildSaveName, DateAndChannel) {
  Settings s;
  s.NameDateCheckBox = true;
  s.NameChannelCheckBox = true;
  s.EditSave.ShowAs = 4;
  EXPECT_EQ(BuildSaveName(s, kJupiter, false, kNov5), "jupiter__20031105_2317_LRGB_0");
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter__20031105_2317_LRGB_1");
  // A new minute is a new base: the count starts again.
  EXPECT_EQ(BuildSaveName(s, kJupiter, false, Stamp(2003, 11, 5, 23, 18)), "jupiter__20031105_2318_LRGB_0");
  EXPECT_EQ(SaveNameStamp(Stamp(987, 1, 2, 3, 4)), "09870102_0304");

  const char* letters[] = {"L", "R", "G", "B", "LRGB", "RGB"};
  s.NameDateCheckBox = false;
  for (std::uint8_t show = 0; show < 6; ++show) {
    s.EditSave.ShowAs = show;
    EXPECT_EQ(BuildSaveName(s, "m.bmp", false, kNov5), std::string("m__") + letters[show] + "_0");
  }
}

TEST(BuildSaveName, WithoutPostfixOrAutonumberTheMemoryStays) {
  Settings s;
  s.EditSave.LastSaveName = "kept";
  s.EditSave.SaveNumber = 7;
  s.NamePostfixCheckBox = false;
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter");
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter");  // a second save overwrites the first
  s.NamePostfixCheckBox = true;
  s.NameAutonumberCheckBox = false;
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter_");
  EXPECT_EQ(s.EditSave.LastSaveName, "kept");
  EXPECT_EQ(s.EditSave.SaveNumber, 7);
}

TEST(BuildSaveName, OnlyTheLastBaseIsRemembered) {
  Settings s;
  BuildSaveName(s, kJupiter, false, kNov5);
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter__1");
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter__2");
  s.NameChannelCheckBox = true;
  // Toggling a name part re-renders (caption build), then the save counts.
  EXPECT_EQ(BuildSaveName(s, kJupiter, false, kNov5), "jupiter__L_0");
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter__L_1");
  s.NameChannelCheckBox = false;
  EXPECT_EQ(BuildSaveName(s, kJupiter, true, kNov5), "jupiter__0");
  // Counting up on a new base still starts at 0.
  EXPECT_EQ(BuildSaveName(s, "saturn.avi", true, kNov5), "saturn__0");
}

TEST(BuildSaveName, TheNumberDoesNotWrap) {
  Settings s;
  s.EditSave.LastSaveName = "jupiter__";
  s.EditSave.SaveNumber = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(BuildSaveName(s, kJupiter, false, kNov5), "jupiter__2147483647");
  EXPECT_THROW(BuildSaveName(s, kJupiter, true, kNov5), OverflowError);
  EXPECT_EQ(s.EditSave.SaveNumber, std::numeric_limits<std::int32_t>::max());
}
