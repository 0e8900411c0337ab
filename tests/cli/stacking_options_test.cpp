// The rating and alignment options of the batch tool, end to end on generated
// videos: usage errors, sharpness against the generator's blur levels,
// keep-best counts, decimal shifts, and a median that is a median.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/test_support.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::RunCli;
using Json = nlohmann::json;

std::string LastLine(const std::string& text) {
  std::istringstream in(text);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  return last;
}

TEST(CliStackingOptions, UsageErrors) {
  test::TempDir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--keep-best", "0", "a.avi"}, "--keep-best: value 0 is outside 1..100"},
      {{"--keep-best", "101", "a.avi"}, "--keep-best: value 101 is outside 1..100"},
      {{"--rate", "focus", "a.avi"}, "--rate: \"focus\" is not one of index, sharpness"},
      {{"--interpolation", "bilinear", "a.avi"}, "--interpolation needs --subpixel"},
      {{"--subpixel", "--interpolation", "nearest", "a.avi"},
       "--interpolation: \"nearest\" is not one of bilinear, bicubic"},
      {{"--no-stack", "--keep-best", "10", "a.avi"}, "--keep-best needs stacking (not --no-stack)"},
      {{"--no-stack", "--coarse-align", "a.avi"}, "--coarse-align needs stacking (not --no-stack)"},
      {{"--rate", "sharpness", "--no-set-quality", "a.avi"}, "--rate does not go with --no-set-quality"},
      {{"--stack-using", "last", "--coarse-align", "a.avi"}, "--coarse-align does not go with --stack-using last"},
  };
  for (const auto& [args, message] : cases) {
    const test::ProcessResult r = RunCli(args, dir.Path());
    EXPECT_EQ(r.Code, 1) << message;
    EXPECT_EQ(LastLine(r.Err), "corvane-cli: error: " + message);
  }
  const test::ProcessResult help = RunCli({"--help"}, dir.Path());
  for (const char* option : {"--rate index|sharpness", "--keep-best PCT", "--normalise-brightness", "--coarse-align",
                             "--subpixel", "--interpolation bilinear|bicubic"})
    EXPECT_NE(help.Out.find(option), std::string::npos) << option;
}

// Ranks 1..n with ties sharing their mean rank; then Spearman's coefficient.
double RankCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
  auto ranks = [](const std::vector<double>& v) {
    std::vector<std::size_t> o(v.size());
    std::iota(o.begin(), o.end(), std::size_t{0});
    std::sort(o.begin(), o.end(), [&](std::size_t x, std::size_t y) { return v[x] < v[y]; });
    std::vector<double> r(v.size());
    for (std::size_t i = 0; i < o.size();) {
      std::size_t j = i;
      while (j + 1 < o.size() && v[o[j + 1]] == v[o[i]]) ++j;
      for (std::size_t k = i; k <= j; ++k) r[o[k]] = (i + j) / 2.0;
      i = j + 1;
    }
    return r;
  };
  const std::vector<double> ra = ranks(a), rb = ranks(b);
  const double m = (static_cast<double>(a.size()) - 1.0) / 2.0;
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < ra.size(); ++i) {
    ab += (ra[i] - m) * (rb[i] - m);
    aa += (ra[i] - m) * (ra[i] - m);
    bb += (rb[i] - m) * (rb[i] - m);
  }
  return ab / std::sqrt(aa * bb);
}

TEST(CliStackingOptions, SharpestFramesKeptWithDecimalShifts) {
  test::TempDir dir;
  const test::ProcessResult made = test::RunProcess(
      test::MakeSampleBinary(),
      {"-W", "320", "-H", "240", "-n", "40", "--seed", "5", "-o", "p.avi", "--seeing", "p.seeing"}, dir.Path());
  ASSERT_EQ(made.Code, 0) << made.Err;
  std::vector<double> sigma;
  {
    std::istringstream in(test::ReadText(dir.Path() / "p.seeing"));
    int index, level;
    double s;
    while (in >> index >> level >> s) sigma.push_back(s);
  }
  std::vector<std::pair<int, int>> truth;
  {
    std::istringstream in(test::ReadText(dir.Path() / "p.shifts.txt"));
    int index, x, y;
    while (in >> index >> x >> y) truth.emplace_back(x, y);
  }
  ASSERT_EQ(sigma.size(), 40u);
  const test::ProcessResult r = RunCli({"--area", "96", "--rate", "sharpness", "--keep-best", "25", "--subpixel",
                                        "--combine", "median", "--report", "r.json", "-o", "p.bmp", "p.avi"},
                                       dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  const Json run = Json::parse(test::ReadText(dir.Path() / "r.json"))["runs"][0];
  // 25 % of 40 frames: 10 kept (quality 1000), the rest 0, and exactly those combined.
  EXPECT_EQ(run["good_frames"], 10);
  std::vector<double> sharpness, blur;
  int kept = 0;
  bool fractions = false;
  for (std::size_t i = 0; i < 40; ++i) {
    const Json& f = run["frames"][i];
    sharpness.push_back(f["sharpness"].get<double>());
    blur.push_back(-sigma[i]);
    kept += f["quality"] == 1000 ? 1 : 0;
    EXPECT_TRUE(f["quality"] == 1000 || f["quality"] == 0);
    const double sx = f["shift"][0].get<double>(), sy = f["shift"][1].get<double>();
    EXPECT_NEAR(sx, truth[i].first, 0.5) << "frame " << i;
    EXPECT_NEAR(sy, truth[i].second, 0.5) << "frame " << i;
    fractions = fractions || sx != std::round(sx) || sy != std::round(sy);
  }
  EXPECT_EQ(kept, 10);
  EXPECT_TRUE(fractions);
  EXPECT_GE(RankCorrelation(sharpness, blur), 0.9);
  // The kept frames are the sharpest ones: none is blurrier than a left-out frame is sharp.
  double keptWorst = 1e9, leftBest = 0;
  for (std::size_t i = 0; i < 40; ++i) {
    if (run["frames"][i]["quality"] == 1000)
      keptWorst = std::min(keptWorst, sharpness[i]);
    else
      leftBest = std::max(leftBest, sharpness[i]);
  }
  EXPECT_GT(keptWorst, leftBest);
  EXPECT_TRUE(fs::is_regular_file(dir.Path() / "p.bmp"));

  // Colour: every letter combines the frames the first letter kept.
  const test::ProcessResult colour = RunCli(
      {"--area", "96", "--channels", "LRG", "--rate", "sharpness", "--keep-best", "20", "--report", "c.json", "p.avi"},
      dir.Path());
  ASSERT_EQ(colour.Code, 0) << colour.Err;
  std::vector<std::vector<int>> keptByLetter;
  const Json report = Json::parse(test::ReadText(dir.Path() / "c.json"));
  for (const Json& letter : report["runs"]) {
    keptByLetter.emplace_back();
    for (const Json& f : letter["frames"])
      if (f["quality"] == 1000) keptByLetter.back().push_back(f["index"]);
    EXPECT_EQ(letter["good_frames"], 8);
    EXPECT_TRUE(letter["frames"][0].contains("sharpness"));
  }
  ASSERT_EQ(keptByLetter.size(), 3u);
  EXPECT_EQ(keptByLetter[1], keptByLetter[0]);
  EXPECT_EQ(keptByLetter[2], keptByLetter[0]);

  // Off by default: whole shifts, no sharpness field.
  const test::ProcessResult plain =
      RunCli({"--area", "96", "--report", "plain.json", "-o", "q.bmp", "p.avi"}, dir.Path());
  ASSERT_EQ(plain.Code, 0) << plain.Err;
  const Json f0 = Json::parse(test::ReadText(dir.Path() / "plain.json"))["runs"][0]["frames"][3];
  EXPECT_FALSE(f0.contains("sharpness"));
  EXPECT_TRUE(f0["shift"][0].is_number_integer());
}

}  // namespace
}  // namespace corvane
