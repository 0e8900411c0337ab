// PSF kernels, field interpolation, frame windows and the bias/gain table.
#include "output/bitmap_ops.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/errors.h"

using namespace corvane;

namespace {

Bitmap RandomBitmap(std::mt19937& rng, int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < b.RowBytes(); ++i) b.Row(y)[i] = static_cast<std::uint8_t>(rng());
  return b;
}

int Grey(const Bitmap& b, int x, int y) {
  const std::uint8_t* p = b.Row(y) + 3 * x;
  return (p[0] + p[1] + p[2]) / 3;
}

TConvKernel Filled(std::uint8_t v) {
  TConvKernel k;
  k.Bytes.fill(v);
  return k;
}

/// Checks the kernel against a w x h window at (x0, y0); other bytes must hold `rest`.
void ExpectWindow(const TConvKernel& k, const Bitmap& b, int w, int h, int x0, int y0, std::uint8_t rest) {
  ASSERT_EQ(k[0], w);
  for (int i = 1; i < 256; ++i) {
    const int r = (i - 1) / std::max(w, 1), c = (i - 1) % std::max(w, 1);
    if (w > 0 && r < h)
      ASSERT_EQ(k[i], Grey(b, x0 + c, y0 + r)) << "row " << r << " column " << c;
    else
      ASSERT_EQ(k[i], rest) << "byte " << i;
  }
}

}  // namespace

TEST(BitmapToKernel, WindowSizesAndPositions) {
  std::mt19937 rng(2);
  TConvKernel k = Filled(0xAA);
  Bitmap big = RandomBitmap(rng, 25, 25);
  ASSERT_TRUE(BitmapToKernel(k, big, 0, 0));
  ExpectWindow(k, big, 17, 15, 0, 0, 0xAA);  // the top-left 17 x 15 pixels

  k = Filled(0xAA);
  Bitmap nine = RandomBitmap(rng, 9, 9);
  ASSERT_TRUE(BitmapToKernel(k, nine, 4, 4));  // pushed back to (0, 0)
  ExpectWindow(k, nine, 9, 9, 0, 0, 0xAA);

  k = Filled(0xAA);
  Bitmap strip = RandomBitmap(rng, 20, 30);
  ASSERT_TRUE(BitmapToKernel(k, strip, 1000, 7));  // columns 3 to 19
  ExpectWindow(k, strip, 17, 15, 3, 7, 0xAA);
  k = Filled(0xAA);
  ASSERT_TRUE(BitmapToKernel(k, strip, -5, 1000));
  ExpectWindow(k, strip, 17, 15, 0, 15, 0xAA);

  // 17 wide but only 10 high: the rows the picture lacks keep their bytes.
  k = Filled(0xAA);
  Bitmap low = RandomBitmap(rng, 17, 10);
  ASSERT_TRUE(BitmapToKernel(k, low, 0, 0));
  ExpectWindow(k, low, 17, 10, 0, 0, 0xAA);

  // A narrow tall picture fills 15 rows of w, all inside the record.
  k = Filled(0xAA);
  Bitmap tall = RandomBitmap(rng, 3, 40);
  ASSERT_TRUE(BitmapToKernel(k, tall, 0, 0));
  ExpectWindow(k, tall, 3, 15, 0, 0, 0xAA);
}

TEST(BitmapToKernel, EmptyAndIndexedPictures) {
  TConvKernel k = Filled(0xAA);
  Bitmap empty;
  ASSERT_TRUE(BitmapToKernel(k, empty, 3, 3));
  ExpectWindow(k, empty, 0, 0, 0, 0, 0xAA);

  Bitmap indexed(2, 2, PixelFormat::Indexed8);
  indexed.Palette() = {{0, 0, 0, 0}, {30, 60, 90, 0}};
  indexed.Row(1)[0] = 1;
  ASSERT_TRUE(BitmapToKernel(k, indexed, 0, 0));
  EXPECT_EQ(indexed.Format(), PixelFormat::Bgr24);
  EXPECT_EQ(k[0], 2);
  EXPECT_EQ(k[3], 60);  // row 1, column 0: (30 + 60 + 90) div 3
  EXPECT_EQ(k[1], 0);
}

TEST(BitmapToKernel, RowLimitOnlyWhenTheWindowReachesIt) {
  Bitmap wide(BitmapRowLimit24 + 100, 20);
  TConvKernel k;
  EXPECT_TRUE(BitmapToKernel(k, wide, 0, 0));
  EXPECT_TRUE(BitmapToKernel(k, wide, BitmapRowLimit24 - 17, 0));  // last column 3599
  EXPECT_THROW(BitmapToKernel(k, wide, BitmapRowLimit24 - 16, 0), RangeError);
}

TEST(KernelToBitmap, DrawsGreyAndRoundTrips) {
  std::mt19937 rng(4);
  for (int w = 0; w <= 17; ++w) {
    TConvKernel k;
    for (auto& v : k.Bytes) v = static_cast<std::uint8_t>(rng());
    k[0] = static_cast<std::uint8_t>(w);
    Bitmap b(5, 5);
    ASSERT_TRUE(KernelToBitmap(b, k));
    const int h = w == 17 ? 15 : w;
    ASSERT_EQ(b.Width(), w);
    ASSERT_EQ(b.Height(), h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(y * w + x + 1);
        const std::uint8_t want = i < 256 ? k[i] : 0;  // only 16 x 16 reaches past the record
        const std::uint8_t* px = b.Row(y) + 3 * x;
        ASSERT_EQ(px[0], want);
        ASSERT_EQ(px[1], want);
        ASSERT_EQ(px[2], want);
      }
    if (w == 16) continue;  // its last sample has no byte to come back to
    TConvKernel back = k;
    for (int i = 1; i <= w * h; ++i) back[i] = 0;
    ASSERT_TRUE(BitmapToKernel(back, b, 0, 0));
    EXPECT_EQ(back, k) << "width " << w;
  }
}

TEST(KernelToBitmap, RefusesWideKernelsAndOtherFormats) {
  TConvKernel k;
  k[0] = 18;
  Bitmap b(2, 2);
  EXPECT_FALSE(KernelToBitmap(b, k));
  EXPECT_EQ(b.Width(), 2);
  k[0] = 3;
  Bitmap indexed(2, 2, PixelFormat::Indexed8);
  EXPECT_FALSE(KernelToBitmap(indexed, k));
  EXPECT_EQ(indexed.Width(), 2);
}

namespace {

/// The field rule written out: rows first, first + 2, ... that have a row
/// below become the per-byte (above + below) shr 1 of the kept rows.
Bitmap ReferenceField(const Bitmap& in, int first) {
  Bitmap out = in;
  for (int t = first; t + 1 < in.Height(); t += 2)
    for (std::size_t i = 0; i < in.RowBytes(); ++i)
      out.Row(t)[i] = static_cast<std::uint8_t>((in.Row(t - 1)[i] + in.Row(t + 1)[i]) / 2);
  return out;
}

}  // namespace

TEST(Interpolate, RebuildsOneFieldFromTheOther) {
  std::mt19937 rng(6);
  for (int h = 0; h <= 9; ++h)
    for (int w : {0, 1, 5, 64}) {
      const Bitmap original = RandomBitmap(rng, w, h);
      Bitmap odd = original, even = original;
      InterpolateOddLines(odd);
      InterpolateEvenLines(even);
      ASSERT_EQ(odd, ReferenceField(original, 1)) << w << " x " << h;
      ASSERT_EQ(even, ReferenceField(original, 2)) << w << " x " << h;
      if (w == 0) continue;
      for (int y = 0; y < h; y += 2) ASSERT_EQ(std::memcmp(odd.Row(y), original.Row(y), odd.RowBytes()), 0);
      if (h > 0) {
        ASSERT_EQ(std::memcmp(even.Row(0), original.Row(0), even.RowBytes()), 0);
      }
    }
}

TEST(Interpolate, EdgeCases) {
  std::mt19937 rng(8);
  // Two rows: nothing has a row on both sides.
  Bitmap two = RandomBitmap(rng, 4, 2);
  Bitmap copy = two;
  InterpolateOddLines(copy);
  InterpolateEvenLines(copy);
  EXPECT_EQ(copy, two);

  // Odd height: the last odd row has a row below and is rebuilt too.
  Bitmap five = RandomBitmap(rng, 1, 5);
  InterpolateOddLines(five);
  EXPECT_EQ(five.Row(3)[0], (five.Row(2)[0] + five.Row(4)[0]) >> 1);

  // 255 + 255 must not wrap.
  Bitmap white(2, 3);
  std::memset(white.Row(0), 255, 6);
  std::memset(white.Row(2), 255, 6);
  InterpolateOddLines(white);
  EXPECT_EQ(white.Row(1)[5], 255);

  // Not 24-bit: untouched.
  Bitmap indexed(3, 5, PixelFormat::Indexed8);
  indexed.Row(0)[0] = 200;
  const Bitmap before = indexed;
  InterpolateOddLines(indexed);
  InterpolateEvenLines(indexed);
  EXPECT_EQ(indexed, before);

  // Past the row limit: refused before anything changes.
  Bitmap wide = RandomBitmap(rng, BitmapRowLimit24 + 1, 3);
  const Bitmap wideBefore = wide;
  EXPECT_THROW(InterpolateOddLines(wide), RangeError);
  EXPECT_EQ(wide, wideBefore);
  Bitmap wideTwo(BitmapRowLimit24 + 1, 2);  // nothing to rebuild, nothing refused
  EXPECT_NO_THROW(InterpolateOddLines(wideTwo));
}

TEST(FrameWindow, Examples) {
  TFrameWindow f = FrameWindow(2, 384, 288, 640, 480, 320, 240);
  EXPECT_EQ(f.W, 192);
  EXPECT_EQ(f.H, 144);
  EXPECT_EQ(f.X0, 0);
  EXPECT_EQ(f.Y0, 0);
  EXPECT_EQ(f.X1, 224);
  EXPECT_EQ(f.Y1, 168);

  f = FrameWindow(1, 384, 288, 200, 100, 100, 50);
  EXPECT_EQ(f.W, 200);
  EXPECT_EQ(f.H, 100);
  EXPECT_EQ(f.X0, 92);
  EXPECT_EQ(f.Y0, 94);
  EXPECT_EQ(f.X1, 0);
  EXPECT_EQ(f.Y1, 0);

  // Odd sizes truncate: 3 x 101 = 303 -> X0 = 192 - 151 = 41, W = 101;
  // object point near the corner: X1 = max(0, 10 - 50) = 0.
  f = FrameWindow(3, 384, 288, 101, 7, 10, 200);
  EXPECT_EQ(f.W, 101);
  EXPECT_EQ(f.X0, 41);
  EXPECT_EQ(f.X1, 0);
  EXPECT_EQ(f.H, 7);
  EXPECT_EQ(f.Y0, 144 - 10);  // 21 div 2 = 10
  EXPECT_EQ(f.Y1, 197);
}

TEST(FrameWindow, BadZoomAndOverflow) {
  EXPECT_THROW(FrameWindow(0, 384, 288, 640, 480, 0, 0), RangeError);
  EXPECT_THROW(FrameWindow(-2, 384, 288, 640, 480, 0, 0), RangeError);
  EXPECT_THROW(FrameWindow(1 << 20, 384, 288, 1 << 12, 480, 0, 0), OverflowError);
}

TEST(HalfSpan, HalfTheAbsoluteDifference) {
  static_assert(HalfSpan(320, 200) == 60);
  static_assert(HalfSpan(200, 320) == 60);
  static_assert(HalfSpan(5, 0) == 2);
  static_assert(HalfSpan(-3, 4) == 3);
  static_assert(HalfSpan(INT_MIN, INT_MAX) == INT_MAX);
}

TEST(BiasGainCurves, FixedPointsAndDirection) {
  for (long double p : {0.0L, 0.1L, 0.3L, 0.5L, 0.8L, 1.0L}) {
    EXPECT_EQ(BiasCurve(p, 0.0L), 0.0L);
    EXPECT_NEAR(static_cast<double>(BiasCurve(p, 1.0L)), 1.0, 1e-15);
    EXPECT_EQ(GainCurve(p, 0.0L), 0.0L);
    EXPECT_NEAR(static_cast<double>(GainCurve(p, 0.5L)), 0.5, 1e-15);
    EXPECT_NEAR(static_cast<double>(GainCurve(p, 1.0L)), 1.0, 1e-15);
  }
  // b = 0.25: 0.5 / ((4 - 2)(1 - 0.5) + 1) = 0.25.
  EXPECT_NEAR(static_cast<double>(BiasCurve(0.25L, 0.5L)), 0.25, 1e-15);
  // g = 0.75: a = 0.25, k = 2, v = 2 (1 - 0.5) = 1; 0.25 / 2.
  EXPECT_NEAR(static_cast<double>(GainCurve(0.75L, 0.25L)), 0.125, 1e-15);
  EXPECT_GT(BiasCurve(0.8L, 0.3L), 0.3L);
  EXPECT_LT(BiasCurve(0.2L, 0.3L), 0.3L);
  EXPECT_LT(GainCurve(0.8L, 0.3L), 0.3L);  // more contrast: darker below the middle
  EXPECT_GT(GainCurve(0.8L, 0.7L), 0.7L);
  // Parameters clamp to 0.01 .. 0.99.
  EXPECT_EQ(BiasCurve(-4.0L, 0.3L), BiasCurve(0.01L, 0.3L));
  EXPECT_EQ(BiasCurve(7.0L, 0.3L), BiasCurve(0.99L, 0.3L));
  EXPECT_EQ(GainCurve(1.0L, 0.3L), GainCurve(0.99L, 0.3L));
  EXPECT_EQ(GainCurve(0.0L, 0.7L), GainCurve(0.01L, 0.7L));
}

TEST(BuildBiasGainLut, IdentityRangeAndExtent) {
  std::vector<std::uint16_t> t(65536 + 1, 7);
  BuildBiasGainLut(t.data(), 65536, 0.5, 0.5);
  for (int i = 0; i < 65536; ++i) ASSERT_EQ(t[i], i);
  EXPECT_EQ(t[65536], 7);  // entries 0 .. 65535 only

  for (double bias : {0.0, 0.2, 0.8, 1.0})
    for (double gain : {0.0, 0.3, 0.9, 1.0}) {
      BuildBiasGainLut(t.data(), 65536, bias, gain);
      EXPECT_EQ(t[0], 0);
      for (int i = 1; i < 65536; ++i) ASSERT_LE(t[i - 1], t[i]) << bias << " " << gain << " " << i;
    }
  BuildBiasGainLut(t.data(), 65536, 0.8, 0.5);
  EXPECT_GT(t[30000], 30000);  // brighter

  // A short table has n + 1 entries, the last one n.
  std::fill(t.begin(), t.end(), 7);
  BuildBiasGainLut(t.data(), 10, 0.9, 0.1);
  EXPECT_EQ(t[10], 10);
  EXPECT_EQ(t[11], 7);
}

TEST(BuildBiasGainLut, RefusesWhatCannotBeATable) {
  std::vector<std::uint16_t> t(65536, 0);
  EXPECT_THROW(BuildBiasGainLut(t.data(), 0, 0.5, 0.5), RangeError);
  EXPECT_THROW(BuildBiasGainLut(t.data(), -5, 0.5, 0.5), RangeError);
  EXPECT_THROW(BuildBiasGainLut(t.data(), 65536, std::numeric_limits<double>::quiet_NaN(), 0.5), RangeError);
  EXPECT_THROW(BuildBiasGainLut(t.data(), 1 << 20, 0.9, 0.5), RangeError);  // entries past 65535
}
