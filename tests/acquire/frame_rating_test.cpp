#include "acquire/frame_rating.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "acquire/frame_quality.h"
#include "core/errors.h"
#include "support/test_support.h"

using namespace corvane;

namespace {

// Ranks 1..n, ties sharing their mean rank.
std::vector<double> Ranks(const std::vector<double>& v) {
  std::vector<std::size_t> order(v.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return v[a] < v[b]; });
  std::vector<double> r(v.size());
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i;
    while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
    for (std::size_t k = i; k <= j; ++k) r[order[k]] = (i + j) / 2.0 + 1.0;
    i = j + 1;
  }
  return r;
}

double RankCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
  const std::vector<double> ra = Ranks(a), rb = Ranks(b);
  const double n = static_cast<double>(a.size()), mean = (n + 1.0) / 2.0;
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < ra.size(); ++i) {
    ab += (ra[i] - mean) * (rb[i] - mean);
    aa += (ra[i] - mean) * (ra[i] - mean);
    bb += (rb[i] - mean) * (rb[i] - mean);
  }
  return ab / std::sqrt(aa * bb);
}

}  // namespace

TEST(FrameSharpness, FollowsTheBlurOfGeneratedFramesWhateverTheExposure) {
  // Eight blur levels, four frames each, each with its own exposure and noise:
  // the sharper the frame, the higher its rating.
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> offset(-4.0, 4.0);
  std::vector<double> blur, sharpness;
  for (int level = 0; level < 8; ++level)
    for (int k = 0; k < 4; ++k) {
      TImage16 p = test::PlanetPlane(256, 192, 128 + offset(rng), 96 + offset(rng), 90, level, 600, rng);
      blur.push_back(-level);
      sharpness.push_back(FrameSharpness(p, 32, 24, 192, 144));
    }
  EXPECT_GE(RankCorrelation(sharpness, blur), 0.9);

  // Twice the exposure, the same rating; edges and flat areas.
  std::mt19937 rng2(9);
  TImage16 p = test::PlanetPlane(64, 48, 32, 24, 20, 1, 0, rng2);
  TImage16 twice = test::ClonePlane(p);
  for (std::size_t i = 0; i < twice.SampleCount(); ++i) twice.Data[i] = static_cast<std::uint16_t>(p.Data[i] / 2 * 2);
  TImage16 half = test::ClonePlane(twice);
  for (std::size_t i = 0; i < half.SampleCount(); ++i) half.Data[i] = static_cast<std::uint16_t>(twice.Data[i] / 2);
  EXPECT_DOUBLE_EQ(FrameSharpness(twice, 0, 0, 64, 48), FrameSharpness(half, 0, 0, 64, 48));
  EXPECT_DOUBLE_EQ(FrameSharpness(p, 60, 40, 100, 100), FrameSharpness(p, 60, 40, 4, 8));  // clipped to the plane
  EXPECT_EQ(FrameSharpness(p, 62, 0, 10, 10), 0.0);                                        // 2 columns: no inner sample
  EXPECT_EQ(FrameSharpness(test::ConstantPlane(8, 8, 0), 0, 0, 8, 8), 0.0);
  EXPECT_EQ(FrameSharpness(test::ConstantPlane(8, 8, 500), 0, 0, 8, 8), 0.0);
  EXPECT_EQ(SharpnessQuality(0.25, 0.5), 500);
  EXPECT_EQ(SharpnessQuality(0.5, 0.5), 1000);
  EXPECT_EQ(SharpnessQuality(0.3, 0.0), 0);
}

TEST(KeepBest, KeepsExactlyTheRoundedShareRankedByRating) {
  // frames x percent / 100, to the nearest frame, halves to even, at least one.
  EXPECT_EQ(KeepBestCount(101, 10), 10);  // 10.1
  EXPECT_EQ(KeepBestCount(25, 10), 2);    // 2.5
  EXPECT_EQ(KeepBestCount(35, 10), 4);    // 3.5
  EXPECT_EQ(KeepBestCount(19, 10), 2);    // 1.9
  EXPECT_EQ(KeepBestCount(5, 1), 1);      // 0.05, but one frame at least
  EXPECT_EQ(KeepBestCount(7, 100), 7);
  EXPECT_EQ(KeepBestCount(0, 50), 0);
  EXPECT_THROW(KeepBestCount(10, 0), RangeError);
  EXPECT_THROW(KeepBestCount(10, 101), RangeError);

  FrameList frames;
  frames.SetMaxFrames(100);
  const std::vector<double> ratings{0.3, 0.9, 0.1, 0.9, 0.5, 0.7, 0.2, 0.8, 0.6, 0.4, 0.05, 0.95};
  std::vector<int> positions;
  for (std::size_t i = 0; i < ratings.size(); ++i) {
    frames.Add(std::make_unique<TImageListItem>(4, 4));
    positions.push_back(static_cast<int>(i));
  }
  frames.Add(std::make_unique<TImageListItem>(4, 4));  // not rated: left as it is
  frames[12].Quality = 321;
  // 25 % of 12 is 3: 0.95, then the two 0.9 (the earlier first).
  EXPECT_EQ(KeepBestFrames(frames, positions, ratings, 25), 3);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(frames[i].Quality, (i == 11 || i == 1 || i == 3) ? 1000 : 0) << i;
  EXPECT_EQ(frames[12].Quality, 321);
  EXPECT_EQ(FrameQualityPanel::PassCount(frames, 1) - 1, 3);  // the unrated frame passes too
  EXPECT_EQ(FrameQualityPanel::PassCount(frames, 1000), 3);
  // 10 % of 12 is 1.2: one frame; equal ratings go to the earlier position.
  EXPECT_EQ(KeepBestFrames(frames, {1, 3}, {0.9, 0.9}, 10), 1);
  EXPECT_EQ(frames[1].Quality, 1000);
  EXPECT_EQ(frames[3].Quality, 0);
  EXPECT_THROW(KeepBestFrames(frames, {1, 3}, {0.9}, 10), RangeError);
}
