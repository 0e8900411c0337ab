#include "gui/command_line.h"

#include <gtest/gtest.h>

namespace corvane::gui {
namespace {

TEST(CommandLine, FilesOptionsAndMistakes) {
  CommandLine c = ParseCommandLine({"moon.avi", "--screenshot", "w.png", "-", "--", "--odd.bmp"});
  EXPECT_TRUE(c.Error.empty());
  EXPECT_EQ(c.Files, (std::vector<std::string>{"moon.avi", "-", "--odd.bmp"}));
  EXPECT_EQ(c.Screenshot, "w.png");
  EXPECT_EQ(ParseCommandLine({"--screenshot=a.png"}).Screenshot, "a.png");
  EXPECT_FALSE(ParseCommandLine({"--screenshot"}).Error.empty());
  EXPECT_EQ(ParseCommandLine({"--frobnicate", "x.bmp"}).Error, "unknown option --frobnicate (see --help)");
  EXPECT_TRUE(AsksHelpOrVersion({"a.bmp", "-V"}));
  EXPECT_FALSE(AsksHelpOrVersion({"--", "--help"}));  // a file of that name
  EXPECT_TRUE(ParseCommandLine({"-h"}).Help);
  EXPECT_EQ(ParseCommandLine({"--screenshot-settings", "d.png"}).SettingsScreenshot, "d.png");
  EXPECT_EQ(NumberedFileName("shots.v1/d.png", 2), "shots.v1/d-2.png");
  EXPECT_EQ(NumberedFileName("shots.v1/d", 5), "shots.v1/d-5");
}

}  // namespace
}  // namespace corvane::gui
