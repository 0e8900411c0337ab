#include "enhance/sharpen.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "enhance/reference.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// A frame holding a copy of the plane.
TImageListItem Frame(const TImage16& plane) {
  TImageListItem item(0, 0);
  item.Image = ClonePlane(plane);
  return item;
}

// Records the progress calls.
class ProgressLog final : public Services {
 public:
  std::vector<std::string> Calls;

 protected:
  void OnProgressStart(int bar, int minimum, int maximum, const std::string& caption) override {
    Calls.push_back("start " + std::to_string(bar) + " " + std::to_string(minimum) + " " + std::to_string(maximum) +
                    " " + caption);
  }
  void OnProgressStep(int bar, int position) override {
    Calls.push_back("step " + std::to_string(bar) + " " + std::to_string(position));
  }
};

// True when the planes agree inside [x0, x1) x [y0, y1).
bool SameInside(const TImage16& a, const TImage16& b, int x0, int y0, int x1, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (Image16GetPixel(a, x, y) != Image16GetPixel(b, x, y)) return false;
  return true;
}

}  // namespace

TEST(UnsharpMask, OneByOneKernelReturnsThePictureAtAnyStrength) {
  std::mt19937 rng(1);
  const TImage16 g = RandomPlane(rng, 23, 17);
  for (int s : {0, 1, 4, 9, 16, -3}) {
    TImageListItem x = Frame(RandomPlane(rng, 23, 17));
    UnsharpMask(x, Frame(g), 23, 17, FlatKernel(1, 255), s);
    EXPECT_TRUE(SamePlane(x.Image, g)) << s;
  }
}

TEST(UnsharpMask, StrengthFourGivesThePictureAndZeroTheBlurredOne) {
  std::mt19937 rng(2);
  const TImage16 g = RandomPlane(rng, 31, 26);
  const TImage16 start = RandomPlane(rng, 31, 26);
  const TConvKernel k = RandomKernel(rng, 5);
  TImageListItem x = Frame(start);
  UnsharpMask(x, Frame(g), 31, 26, k, 4);
  EXPECT_TRUE(SameInside(x.Image, g, 2, 2, 29, 24));
  TImage16 border = ClonePlane(x.Image);
  Image16Copy(border, 2, 2, start, 2, 2, 27, 22);  // put the old interior back: the rest never changed
  EXPECT_TRUE(SamePlane(border, start));

  TImageListItem blurred = Frame(start);
  UnsharpMask(blurred, Frame(g), 31, 26, k, 0);
  TImage16 expected = ClonePlane(start);
  RefConvolve(expected, g, k);
  EXPECT_TRUE(SamePlane(blurred.Image, expected));
}

TEST(UnsharpMask, MatchesThePlainLoop) {
  std::mt19937 rng(3);
  for (int width : {1, 3, 4, 7, 15, 16, 17, 30})
    for (std::int32_t s : {0, 4, 8, 16, 5, -7, 40000, -2000000000}) {
      const TImage16 g = RandomPlane(rng, 41, 29);
      const TImage16 start = RandomPlane(rng, 41, 29);
      const TConvKernel k = RandomKernel(rng, width);
      TImageListItem x = Frame(start);
      UnsharpMask(x, Frame(g), 41, 29, k, s);
      TImage16 expected = ClonePlane(start);
      RefUnsharp(expected, g, k, s);
      EXPECT_TRUE(SamePlane(x.Image, expected)) << "width " << width << ", strength " << s;
    }
}

TEST(UnsharpMask, SeventeenWideKeepsTheBlurredRowsSevenAndHeightMinusEight) {
  std::mt19937 rng(4);
  const TImage16 g = RandomPlane(rng, 40, 30);
  const TImage16 start = ConstantPlane(40, 30, 1234);
  const TConvKernel k = RandomKernel(rng, 17);
  TImage16 blurred = ClonePlane(start);
  RefConvolve(blurred, g, k);
  TImageListItem x = Frame(start);
  UnsharpMask(x, Frame(g), 40, 30, k, 4);
  EXPECT_TRUE(SameInside(x.Image, g, 8, 8, 32, 22));         // updated interior: r = 8 both ways
  EXPECT_TRUE(SameInside(x.Image, blurred, 8, 7, 32, 8));    // row 7: blurred only
  EXPECT_TRUE(SameInside(x.Image, blurred, 8, 22, 32, 23));  // row Height - 8: blurred only
  EXPECT_TRUE(SameInside(x.Image, start, 0, 0, 40, 7));      // rows above: untouched
  EXPECT_TRUE(SameInside(x.Image, start, 0, 23, 40, 30));
  EXPECT_TRUE(SameInside(x.Image, start, 0, 0, 8, 30));  // columns 0..7 untouched
  EXPECT_TRUE(SameInside(x.Image, start, 32, 0, 40, 30));
}

TEST(UnsharpMask, PictureNarrowerThanTheKernelIsLeftAsXHeldIt) {
  std::mt19937 rng(5);
  // 17 wide: r = 8, so a width of 16 has no interior; a height below 15 leaves
  // even the convolution nothing to write.
  for (auto [w, h] : {std::pair{16, 40}, std::pair{40, 14}, std::pair{4, 4}}) {
    const TImage16 start = RandomPlane(rng, w, h);
    TImageListItem x = Frame(start);
    UnsharpMask(x, Frame(RandomPlane(rng, w, h)), w, h, RandomKernel(rng, 17), 16);
    EXPECT_TRUE(SamePlane(x.Image, start)) << w << " x " << h;
  }
}

TEST(UnsharpMask, StrengthSixteenClampsAtBlackAndWhite) {
  // A 3 x 3 box blur across a step from 1000 to 60000 at column 4.
  TImage16 g = ConstantPlane(8, 3, 1000);
  Image16FillRect(g, 4, 0, 4, 3, 60000);
  TImageListItem x = Frame(g);
  UnsharpMask(x, Frame(g), 8, 3, FlatKernel(3, 1), 16);
  // Column 3: b = (2 x 1000 + 60000) / 3 = 20666; 20666 + (1000 - 20666) x 4 < 0.
  EXPECT_EQ(Image16GetPixel(x.Image, 3, 1), 0);
  // Column 4: b = (1000 + 2 x 60000) / 3 = 40333; 40333 + (60000 - 40333) x 4 > 65535.
  EXPECT_EQ(Image16GetPixel(x.Image, 4, 1), 65535);
  EXPECT_EQ(Image16GetPixel(x.Image, 2, 1), 1000);  // flat: b = g
  EXPECT_EQ(Image16GetPixel(x.Image, 3, 0), 1000);  // border row kept
}

TEST(UnsharpMask, EmptyKernelLeavesX) {
  std::mt19937 rng(6);
  const TImage16 start = RandomPlane(rng, 12, 12);
  TImageListItem x = Frame(start);
  UnsharpMask(x, Frame(RandomPlane(rng, 12, 12)), 12, 12, RandomKernel(rng, 0), 8);
  EXPECT_TRUE(SamePlane(x.Image, start));
}

TEST(Deconvolution, OneByOnePsfLeavesXEqualToG) {
  std::mt19937 rng(7);
  NullServices services;
  TImage16 g = RandomPlane(rng, 26, 19);
  Image16SetPixel(g, 3, 3, 0);  // a black sample: the ratio's divisor becomes 1
  Image16SetPixel(g, 4, 3, 65535);
  TImageListItem a = Frame(g), b = Frame(g);
  VanCittert(a, Frame(g), 26, 19, FlatKernel(1, 200), 5, services);
  LucyRichardson(b, Frame(g), 26, 19, FlatKernel(1, 200), 5, services);
  EXPECT_TRUE(SamePlane(a.Image, g));
  EXPECT_TRUE(SamePlane(b.Image, g));
}

TEST(Deconvolution, OneCittertStepIsTwiceGMinusTheBlurredG) {
  std::mt19937 rng(8);
  NullServices services;
  const TImage16 g = RandomPlane(rng, 30, 24);
  const TConvKernel k = RandomKernel(rng, 5);
  TImageListItem x = Frame(g);
  VanCittert(x, Frame(g), 30, 24, k, 1, services);
  TImage16 blurred = ClonePlane(g);
  RefConvolve(blurred, g, k);
  for (int y = 0; y < 24; ++y)
    for (int i = 0; i < 30; ++i) {
      const bool inside = i >= 2 && i < 28 && y >= 2 && y < 22;
      const std::int64_t v = Image16GetPixel(g, i, y);
      const std::uint16_t want = inside ? Clamp16(2 * v - Image16GetPixel(blurred, i, y)) : Image16GetPixel(g, i, y);
      ASSERT_EQ(Image16GetPixel(x.Image, i, y), want) << i << ", " << y;
    }
}

TEST(Deconvolution, LucyRichardsonOnABlackPictureGivesABlackInterior) {
  std::mt19937 rng(9);
  NullServices services;
  const TImage16 start = RandomPlane(rng, 40, 30, 1, 65535);
  TImageListItem x = Frame(start);
  LucyRichardson(x, Frame(ConstantPlane(40, 30, 0)), 40, 30, RandomKernel(rng, 17), 1, services);
  EXPECT_TRUE(SameInside(x.Image, ConstantPlane(40, 30, 0), 8, 8, 32, 22));
  EXPECT_TRUE(SameInside(x.Image, start, 0, 0, 40, 8));
  EXPECT_TRUE(SameInside(x.Image, start, 0, 0, 8, 30));
}

TEST(Deconvolution, MatchesThePlainLoops) {
  std::mt19937 rng(10);
  NullServices services;
  for (int width : {3, 6, 9, 15, 17})
    for (int n : {1, 3}) {
      const TImage16 g = RandomPlane(rng, 45, 38);
      TImage16 start = ClonePlane(g);
      for (std::size_t i = 0; i < start.SampleCount(); ++i) start.Data[i] &= 0xFF00;  // the 8-bit copy of the run
      const TConvKernel k = RandomKernel(rng, width);
      TImageListItem a = Frame(start), b = Frame(start);
      VanCittert(a, Frame(g), 45, 38, k, n, services);
      LucyRichardson(b, Frame(g), 45, 38, k, n, services);
      TImage16 ea = ClonePlane(start), eb = ClonePlane(start);
      RefCittert(ea, g, 45, 38, k, n);
      RefLucy(eb, g, 45, 38, k, n);
      EXPECT_TRUE(SamePlane(a.Image, ea)) << "van Cittert, width " << width << ", " << n << " iterations";
      EXPECT_TRUE(SamePlane(b.Image, eb)) << "Lucy-Richardson, width " << width << ", " << n << " iterations";
    }
}

TEST(Sharpening, PicturesLargeEnoughForSeveralWorkersMatchThePlainLoops) {
  // 300 x 160 is split over every core (on a machine with more than one).
  std::mt19937 rng(16);
  NullServices services;
  const TImage16 g = RandomPlane(rng, 300, 160);
  const TImage16 start = RandomPlane(rng, 300, 160);
  const TConvKernel k = RandomKernel(rng, 9);
  TImageListItem a = Frame(start), b = Frame(start), c = Frame(start);
  UnsharpMask(a, Frame(g), 300, 160, k, 12);
  VanCittert(b, Frame(g), 300, 160, k, 2, services);
  LucyRichardson(c, Frame(g), 300, 160, k, 2, services);
  TImage16 ea = ClonePlane(start), eb = ClonePlane(start), ec = ClonePlane(start);
  RefUnsharp(ea, g, k, 12);
  RefCittert(eb, g, 300, 160, k, 2);
  RefLucy(ec, g, 300, 160, k, 2);
  EXPECT_TRUE(SamePlane(a.Image, ea));
  EXPECT_TRUE(SamePlane(b.Image, eb));
  EXPECT_TRUE(SamePlane(c.Image, ec));
}

TEST(Deconvolution, RatioDivisionIsExactAtItsHardestCases) {
  // With a 1 x 1 PSF of weight 1 the blurred estimate is X itself, so each
  // sample tests one ratio (G x 256) div X. Pick them so that the ratio is a
  // whole number (G x 256 = q x X) or lies just below one (G x 256 = q x X - 1).
  constexpr std::uint32_t limit = 65535u * 256u;
  NullServices services;
  std::mt19937 rng(11);
  TImage16 x = ConstantPlane(64, 1, 0), g = ConstantPlane(64, 1, 0);
  for (int round = 0; round < 300; ++round) {
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t = 1 + rng() % (i < 48 ? 65535 : 600);
      std::uint32_t num = 0;
      std::uint32_t inverse = 0;  // t x inverse = 1 modulo 256 (odd t only)
      for (std::uint32_t v = 1; v < 256 && t % 2 == 1; v += 2)
        if ((t * v) % 256 == 1) inverse = v;
      if (i % 2 == 1 && inverse != 0 && inverse * t - 1 <= limit) {
        const std::uint32_t steps = (limit + 1 - inverse * t) / (256 * t);
        num = (inverse + 256 * (rng() % (steps + 1))) * t - 1;
      } else {
        const std::uint32_t lcm = t * 256 / std::gcd(t, 256u);
        num = lcm > limit ? 0 : lcm * (rng() % (limit / lcm + 1));
      }
      ASSERT_EQ(num % 256, 0u);
      Image16SetPixel(x, i, 0, static_cast<std::uint16_t>(t));
      Image16SetPixel(g, i, 0, static_cast<std::uint16_t>(num / 256));
    }
    TImageListItem a = Frame(x);
    LucyRichardson(a, Frame(g), 64, 1, FlatKernel(1, 1), 1, services);
    TImage16 e = ClonePlane(x);
    RefLucy(e, g, 64, 1, FlatKernel(1, 1), 1);
    ASSERT_TRUE(SamePlane(a.Image, e)) << round;
  }
}

TEST(Deconvolution, XAndGOfDifferentSizesWorkOnTheOverlap) {
  std::mt19937 rng(12);
  NullServices services;
  for (auto [xw, xh, gw, gh] : {std::tuple{20, 25, 40, 30}, std::tuple{40, 30, 22, 18}}) {
    const TImage16 g = RandomPlane(rng, gw, gh);
    const TImage16 start = RandomPlane(rng, xw, xh);
    const TConvKernel k = RandomKernel(rng, 5);
    TImageListItem a = Frame(start), b = Frame(start), c = Frame(start);
    VanCittert(a, Frame(g), gw, gh, k, 2, services);
    LucyRichardson(b, Frame(g), gw, gh, k, 2, services);
    UnsharpMask(c, Frame(g), gw, gh, k, 8);
    TImage16 ea = ClonePlane(start), eb = ClonePlane(start), ec = ClonePlane(start);
    RefCittert(ea, g, gw, gh, k, 2);
    RefLucy(eb, g, gw, gh, k, 2);
    RefUnsharp(ec, g, k, 8);
    EXPECT_TRUE(SamePlane(a.Image, ea));
    EXPECT_TRUE(SamePlane(b.Image, eb));
    EXPECT_TRUE(SamePlane(c.Image, ec));
  }
}

TEST(Deconvolution, SameFrameAsEstimateAndObservation) {
  std::mt19937 rng(13);
  NullServices services;
  const TImage16 g = RandomPlane(rng, 30, 20);
  const TConvKernel k = RandomKernel(rng, 3);
  TImageListItem x = Frame(g);
  VanCittert(x, x, 30, 20, k, 1, services);
  TImage16 expected = ClonePlane(g);
  RefCittert(expected, g, 30, 20, k, 1);
  EXPECT_TRUE(SamePlane(x.Image, expected));
}

TEST(Deconvolution, ReportsIterationsOnTheSecondBar) {
  std::mt19937 rng(14);
  const TImage16 g = RandomPlane(rng, 12, 12);
  for (bool lucy : {false, true}) {
    ProgressLog log;
    TImageListItem x = Frame(g);
    if (lucy)
      LucyRichardson(x, Frame(g), 12, 12, FlatKernel(3, 1), 3, log);
    else
      VanCittert(x, Frame(g), 12, 12, FlatKernel(3, 1), 3, log);
    EXPECT_EQ(log.Calls, (std::vector<std::string>{"start 2 1 3 Iteration:", "step 2 1", "step 2 2", "step 2 3"}));
  }
}

TEST(Deconvolution, NoIterationsOrAnEmptyPsfChangeNothing) {
  std::mt19937 rng(15);
  const TImage16 start = RandomPlane(rng, 12, 12);
  const TImage16 g = RandomPlane(rng, 12, 12);
  for (bool lucy : {false, true}) {
    ProgressLog log;
    TImageListItem x = Frame(start);
    if (lucy)
      LucyRichardson(x, Frame(g), 12, 12, FlatKernel(3, 1), 0, log);
    else
      VanCittert(x, Frame(g), 12, 12, FlatKernel(3, 1), -2, log);
    EXPECT_TRUE(SamePlane(x.Image, start));
    EXPECT_EQ(log.Calls, (std::vector<std::string>{lucy ? "start 2 1 0 Iteration:" : "start 2 1 -2 Iteration:"}));

    ProgressLog quiet;
    if (lucy)
      LucyRichardson(x, Frame(g), 12, 12, RandomKernel(rng, 0), 4, quiet);
    else
      VanCittert(x, Frame(g), 12, 12, RandomKernel(rng, 0), 4, quiet);
    EXPECT_TRUE(SamePlane(x.Image, start));
    EXPECT_TRUE(quiet.Calls.empty());
  }
}
