// The batch tool's command line, through the built program: usage errors end
// with status 1 and one line naming the option and its range; --help lists
// every option with its range and default.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using test::RunCli;

/// The one error line of a failed run ("corvane-cli: error: ..."); other
/// message lines may stand before it.
std::string ErrorLine(const test::ProcessResult& r) {
  std::istringstream in(r.Err);
  std::vector<std::string> errors;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("corvane-cli: error: ", 0) == 0) errors.push_back(line);
  EXPECT_EQ(errors.size(), 1u) << r.Err;
  return errors.empty() ? std::string() : errors.front();
}

struct UsageCase {
  std::vector<std::string> Args;
  std::string Message;  // the whole error line
};

TEST(CliOptions, UsageErrorsExitWithOneLineNamingTheOptionAndRange) {
  test::TempDir dir;
  const std::vector<UsageCase> cases{
      {{}, "corvane-cli: error: no input file (see --help)"},
      {{"--bogus", "a.avi"}, "corvane-cli: error: unknown option --bogus (see --help)"},
      {{"--avi-skip", "31", "a.avi"}, "corvane-cli: error: --avi-skip: value 31 is outside 0..30"},
      {{"--avi-start", "-1", "a.avi"}, "corvane-cli: error: --avi-start: value -1 is outside 0..9999"},
      {{"--resize", "7", "a.avi"}, "corvane-cli: error: --resize: value 7 is outside 1..6"},
      {{"--size", "user", "--width", "63", "a.avi"}, "corvane-cli: error: --width: value 63 is outside 64..3600"},
      {{"--size", "user", "--height", "2701", "a.avi"}, "corvane-cli: error: --height: value 2701 is outside 48..2700"},
      {{"--memory", "65537", "a.avi"}, "corvane-cli: error: --memory: value 65537 is outside 16..65536"},
      {{"--memory", "15", "a.avi"}, "corvane-cli: error: --memory: value 15 is outside 16..65536"},
      {{"--background", "101", "a.avi"}, "corvane-cli: error: --background: value 101 is outside 0..100"},
      {{"--threshold", "1001", "a.avi"}, "corvane-cli: error: --threshold: value 1001 is outside 0..1000"},
      {{"--unsharp", "17", "a.avi"}, "corvane-cli: error: --unsharp: value 17 is outside 0..16"},
      {{"--deconvolve", "lr", "--iterations", "0", "a.avi"},
       "corvane-cli: error: --iterations: value 0 is outside 1..16"},
      {{"--gain", "x", "a.avi"}, "corvane-cli: error: --gain: \"x\" is not a whole number (0..100)"},
      {{"--channel", "Q", "a.avi"}, "corvane-cli: error: --channel: \"Q\" is not one of L, R, G, B"},
      {{"--area", "100", "a.avi"}, "corvane-cli: error: --area: \"100\" is not one of 96, 192, 384"},
      {{"--combine", "add", "--p1", "101", "a.avi"},
       "corvane-cli: error: --p1: value 101 is outside 0..100 for --combine add"},
      {{"--combine", "add", "--p2", "0", "a.avi"},
       "corvane-cli: error: --p2: value 0 is outside 1..100 for --combine add"},
      {{"--p1", "3", "a.avi"}, "corvane-cli: error: --p1 is used only with --combine multiply or add"},
      {{"--width", "640", "a.avi"}, "corvane-cli: error: --width needs --size user"},
      {{"--iterations", "4", "a.avi"}, "corvane-cli: error: --iterations needs --deconvolve"},
      {{"--weights", "30,59", "a.avi"}, "corvane-cli: error: --weights: \"30,59\" is not R,G,B with each in 0..100"},
      {{"--weights", "30,59,101", "a.avi"},
       "corvane-cli: error: --weights: \"30,59,101\" is not R,G,B with each in 0..100"},
      {{"--stack-using", "move,spin", "a.avi"},
       "corvane-cli: error: --stack-using: \"spin\" is not one of move, center, max, min, last, none"},
      {{"--stack-using", "move,last", "a.avi"},
       "corvane-cli: error: --stack-using: \"last\" stands alone, not in a list"},
      {{"--channels", "LRX", "a.avi"},
       "corvane-cli: error: --channels: \"LRX\" may hold only the letters L, R, G and B"},
      {{"--channels", "LRR", "a.avi"}, "corvane-cli: error: --channels: \"LRR\" names R twice"},
      {{"--channels", "RGB", "--channel", "R", "a.avi"}, "corvane-cli: error: --channel excludes --channels"},
      {{"--raw-output", "sum.tif", "a.avi"},
       "corvane-cli: error: --raw-output: \"sum.tif\": the extension must be .pgm, .fits, .fit or .fts"},
      {{"-o", "result.jpg", "a.avi"},
       "corvane-cli: error: --output: \"result.jpg\": the extension must be .bmp (24-bit), or .png, .tif, .tiff, "
       ".fits, .fit, .fts (16-bit)"},
      {{"--ser-byte-order", "middle", "a.ser"},
       "corvane-cli: error: --ser-byte-order: \"middle\" is not one of auto, little, big"},
      {{"--dark", "dark.ser", "a.avi"},
       "corvane-cli: error: --dark: \"dark.ser\" is not a picture (.bmp, .jpg, .jpeg, .fits, .fit, .fts, .tif, .tiff, "
       ".png)"},
      {{"--avi-start", "20", "--avi-end", "10", "a.avi"}, "corvane-cli: error: --avi-start 20 is after --avi-end 10"},
      {{"--no-stack", "--save-stacked", "s", "a.avi"},
       "corvane-cli: error: --save-stacked needs stacking (not --no-stack)"},
      {{"--mark", "10", "a.avi"}, "corvane-cli: error: --mark: \"10\" is not X,Y with X in 0..32768 and Y in 0..32768"},
      {{"-q", "-v", "a.avi"}, "corvane-cli: error: --quiet excludes --verbose"},
  };
  for (const UsageCase& c : cases) {
    const test::ProcessResult r = RunCli(c.Args, dir.Path());
    std::string args;
    for (const std::string& a : c.Args) args += a + " ";
    EXPECT_EQ(r.Code, 1) << args;
    EXPECT_EQ(ErrorLine(r), c.Message) << args;
    EXPECT_TRUE(r.Out.empty()) << args;
  }
  // Nothing was written into the working folder by any of them.
  EXPECT_TRUE(test::FilesIn(dir.Path()).empty());
}

TEST(CliOptions, HelpListsEveryOptionWithRangeAndDefault) {
  test::TempDir dir;
  const test::ProcessResult r = RunCli({"--help"}, dir.Path());
  ASSERT_EQ(r.Code, 0);
  EXPECT_TRUE(r.Err.empty());
  for (const char* option : {"--channel",
                             "--avi-start",
                             "--avi-end",
                             "--avi-skip",
                             "--semi-frames",
                             "--avi-correction",
                             "--single-object",
                             "--background",
                             "--resize",
                             "--size",
                             "--width",
                             "--height",
                             "--dark",
                             "--flat",
                             "--median-filter",
                             "--frame-bias",
                             "--frame-gain",
                             "--memory",
                             "--stack-using",
                             "--no-stack",
                             "--basis",
                             "--frame",
                             "--area",
                             "--mark",
                             "--no-set-quality",
                             "--threshold",
                             "--combine",
                             "--p1",
                             "--p2",
                             "--unsharp",
                             "--deconvolve",
                             "--iterations",
                             "--unsharp-psf",
                             "--deconvolve-psf",
                             "--show",
                             "--bias",
                             "--gain",
                             "--saturation",
                             "--weights",
                             "--lut",
                             "--no-rgb-color",
                             "--output",
                             "--result-dir",
                             "--name-prefix",
                             "--no-name-prefix",
                             "--no-postfix",
                             "--name-date",
                             "--name-channel",
                             "--no-autonumber",
                             "--raw-output",
                             "--export-frames",
                             "--save-stacked",
                             "--report",
                             "--channels",
                             "--progress",
                             "--quiet",
                             "--verbose",
                             "--version"})
    EXPECT_NE(r.Out.find(std::string(option) + " "), std::string::npos) << option;
  // Ranges and defaults come with the numbers.
  for (const char* text :
       {"(0..9999, default 0)", "(0..9999, default 9999)", "(0..30, default 0)", "(1..6, default 1)",
        "(64..3600, default 384)", "(48..2700, default 288)", "(16..65536, default 512)", "(0..1000, default 0)",
        "(0..16, default off)", "(1..16, default 1)", "(0..100, default 50)", "(0..100, default 20)"})
    EXPECT_NE(r.Out.find(text), std::string::npos) << text;
}

TEST(CliOptions, VersionPrintsTheProgramAndVersion) {
  test::TempDir dir;
  const test::ProcessResult r = RunCli({"--version"}, dir.Path());
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out.rfind("corvane-cli ", 0), 0u) << r.Out;
}

}  // namespace
}  // namespace corvane
