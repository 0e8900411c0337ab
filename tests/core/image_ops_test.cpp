#include "core/image_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/errors.h"
#include "support/plane_reference.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::ClonePlane;
using corvane::test::ConstantPlane;
using corvane::test::MakePlane;
using corvane::test::RandomOrigin;
using corvane::test::RandomPlane;
using corvane::test::RandomRect;
using corvane::test::Rect;
using corvane::test::RefClipPair;
using corvane::test::RefClipRect;
using corvane::test::SamePlane;

namespace {

// ---- plain references: one sample at a time, straight from the rules ------

std::int64_t PixelWidth(const TImage16& acc) { return acc.Width / 2; }

std::int32_t RefMean(const TImage16& p, Rect r) {
  RefClipRect(p.Width, p.Height, r.X, r.Y, r.W, r.H);
  if (r.W == 0 || r.H == 0) return 0;
  std::uint64_t sum = 0;
  for (int j = 0; j < r.H; ++j)
    for (int i = 0; i < r.W; ++i) sum += Image16GetPixel(p, r.X + i, r.Y + j);
  return static_cast<std::int32_t>(sum / (std::uint64_t(r.W) * r.H));
}

TPosition RefCentroid(const TImage16& p, Rect r, double threshold) {
  const double t = std::isnan(threshold) ? 0.0 : std::clamp(threshold, 0.0, 1.0);
  const auto limit = static_cast<std::uint32_t>(std::nearbyint(t * 65535.0));
  RefClipRect(p.Width, p.Height, r.X, r.Y, r.W, r.H);
  std::uint64_t s = 1, sx = 0, sy = 0;
  for (int j = 0; j < r.H; ++j)
    for (int i = 0; i < r.W; ++i) {
      const std::uint64_t v = Image16GetPixel(p, r.X + i, r.Y + j);
      if (v <= limit) continue;
      s += v;
      sx += v * (i + 1);
      sy += v * j;
    }
  return {static_cast<std::int32_t>(sx / s), static_cast<std::int32_t>(sy / s)};
}

TPosition RefExtremePos(const TImage16& p, Rect r, bool brightest) {
  RefClipRect(p.Width, p.Height, r.X, r.Y, r.W, r.H);
  TPosition pos{r.W / 2, r.H / 2};
  std::int64_t best = brightest ? 0 : 65536;
  for (int j = 0; j < r.H; ++j)
    for (int i = 0; i < r.W; ++i) {
      const std::int64_t v = Image16GetPixel(p, r.X + i, r.Y + j);
      if (brightest ? v > best : v < best) best = v, pos = {i, j};
    }
  return pos;
}

std::uint64_t RefAbsDiff(const TImage16& a, std::int32_t ax, std::int32_t ay, const TImage16& b, std::int32_t bx,
                         std::int32_t by, std::int32_t w, std::int32_t h, bool held) {
  RefClipPair(a.Width, a.Height, ax, ay, b.Width, b.Height, bx, by, w, h, &a == &b);
  std::uint64_t sum = 0;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const int d = std::abs(int(Image16GetPixel(a, ax + i, ay + j)) - int(Image16GetPixel(b, bx + i, by + j)));
      sum = held ? std::min<std::uint64_t>(sum + d, 4294967295u) : sum + d;
    }
  return sum;
}

// Two-plane point operation with a 16-bit destination and a 16-bit source.
template <class F>
void RefPair16(TImage16& d, std::int32_t dx, std::int32_t dy, const TImage16& s, std::int32_t sx, std::int32_t sy,
               std::int32_t w, std::int32_t h, F f) {
  RefClipPair(d.Width, d.Height, dx, dy, s.Width, s.Height, sx, sy, w, h, &d == &s);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      Image16SetPixel(d, dx + i, dy + j, f(Image16GetPixel(d, dx + i, dy + j), Image16GetPixel(s, sx + i, sy + j)));
}

void RefLinearShiftCopy(TImage16& d, std::int32_t dx, std::int32_t dy, const TImage16& s, std::int32_t sx,
                        std::int32_t sy, std::int32_t w, std::int32_t h, std::int32_t n) {
  if (w <= 0) return;
  const std::int64_t rows = std::int64_t{h} - (std::int64_t{n} + w - 1) / w;
  if (rows <= 0) return;
  h = static_cast<std::int32_t>(std::min<std::int64_t>(rows, INT32_MAX));
  RefClipPair(d.Width, d.Height, dx, dy, s.Width, s.Height, sx, sy, w, h, &d == &s);
  const std::int64_t count = std::int64_t{s.Width} * s.Height;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const std::int64_t at = (std::int64_t{sy} + j) * s.Width + sx + n + i;
      if (at >= 0 && at < count) Image16SetPixel(d, dx + i, dy + j, s.Data[at]);
    }
}

void RefZoom2(TImage16& d, std::int32_t dx, std::int32_t dy, const TImage16& s, std::int32_t sx, std::int32_t sy,
              std::int32_t w, std::int32_t h) {
  RefClipRect(s.Width, s.Height, sx, sy, w, h);
  std::int32_t w2 = 2 * w, h2 = 2 * h;
  RefClipRect(d.Width, d.Height, dx, dy, w2, h2);
  for (int j = 0; j < h2 / 2; ++j)
    for (int i = 0; i < w2 / 2; ++i) {
      const std::uint16_t v = Image16GetPixel(s, sx + i, sy + j);
      Image16SetPixel(d, dx + 2 * i, dy + 2 * j, v);
      Image16SetPixel(d, dx + 2 * i + 1, dy + 2 * j, v);
      Image16SetPixel(d, dx + 2 * i, dy + 2 * j + 1, v);
      Image16SetPixel(d, dx + 2 * i + 1, dy + 2 * j + 1, v);
    }
}

// The resize as its rules read: a line built by stepping, copied to the
// destination rows by stepping. Reads are held at the last source sample and
// a line is cut at the end of its destination row.
void RefResize(TImage16& d, std::int32_t dx, std::int32_t dy, const TImage16& s, std::int32_t sx, std::int32_t sy,
               std::int32_t w, std::int32_t h, double factor) {
  if (std::isnan(factor)) throw RangeError("nan");
  const double f = factor <= 0.1 ? 0.1 : (factor >= 10.0 ? 10.0 : factor);
  const auto step = static_cast<std::int64_t>(std::nearbyint(720.0 / f));
  RefClipRect(s.Width, s.Height, sx, sy, w, h);
  auto wd = static_cast<std::int32_t>(std::nearbyint(w * f)), hd = static_cast<std::int32_t>(std::nearbyint(h * f));
  RefClipRect(d.Width, d.Height, dx, dy, wd, hd);
  w = static_cast<std::int32_t>(std::nearbyint(wd / f));
  h = static_cast<std::int32_t>(std::nearbyint(hd / f));
  const std::int64_t count = std::int64_t{s.Width} * s.Height;
  std::vector<std::uint16_t> line;
  std::int64_t rowAcc = 0, k = 0;
  for (int r = 0; r < h; ++r) {
    rowAcc -= 720;
    line.clear();
    const std::int64_t start = std::min((std::int64_t{sy} + r) * s.Width + sx, (std::int64_t{s.Height} - 1) * s.Width);
    std::int64_t u = 0;
    for (int c = 0; c < w; ++c) {
      u -= 720;
      while (u < 0 && std::int64_t(line.size()) < d.Width) {
        if (line.size() >= MaxImageWidth + 1u) throw RangeError("line");
        line.push_back(s.Data[std::min(start + c, count - 1)]);
        u += step;
      }
    }
    while (rowAcc < 0) {
      const std::int64_t at = (std::int64_t{dy} + k) * d.Width + dx;
      if (at < (std::int64_t{d.Height} - 1) * d.Width)
        for (std::int64_t q = 0; q < std::min<std::int64_t>(std::ssize(line), d.Width - dx); ++q)
          d.Data[at + q] = line[q];
      ++k;
      rowAcc += step;
    }
  }
}

void RefConvolve(TImage16& d, std::int32_t dx, std::int32_t dy, const TImage16& s, std::int32_t sx, std::int32_t sy,
                 std::int32_t w, std::int32_t h, const TConvKernel& k) {
  int kw = 17, kh = 15;
  if (k[0] >= 2 && k[0] < 17) kw = kh = k[0] | 1;
  if (kw * kh > 255) throw RangeError("kernel");
  std::uint32_t sum = 0;
  for (int i = 0; i < kw * kh; ++i) sum += k[1 + i];
  if (sum == 0) sum = 1;
  RefClipPair(d.Width, d.Height, dx, dy, s.Width, s.Height, sx, sy, w, h, &d == &s);
  for (int j = 0; j < h - 15; ++j)
    for (int i = 0; i < w - 17; ++i) {
      const int x = sx + 8 + i, y = sy + 7 + j;
      std::uint32_t acc = 0;
      for (int r = 0; r < kh; ++r)
        for (int c = 0; c < kw; ++c)
          acc += k[1 + r * kw + c] * std::uint32_t{Image16GetPixel(s, x - kw / 2 + c, y - kh / 2 + r)};
      Image16SetPixel(d, dx + 8 + i, dy + 7 + j, static_cast<std::uint16_t>(acc / sum));
    }
}

void RefMedian3(TImage16& d, std::int32_t dx, std::int32_t dy, const TImage16& s, std::int32_t sx, std::int32_t sy,
                std::int32_t w, std::int32_t h) {
  RefClipPair(d.Width, d.Height, dx, dy, s.Width, s.Height, sx, sy, w, h, &d == &s);
  for (int j = 1; j <= h - 2; ++j)
    for (int i = 1; i <= w - 2; ++i) {
      std::array<std::uint16_t, 9> v;
      for (int b = -1, n = 0; b <= 1; ++b)
        for (int a = -1; a <= 1; ++a) v[n++] = Image16GetPixel(s, sx + i + a, sy + j + b);
      std::nth_element(v.begin(), v.begin() + 4, v.end());
      Image16SetPixel(d, dx + i, dy + j, v[4]);
    }
}

// ---- random inputs ------------------------------------------------------------

class RandomPlanes : public ::testing::Test {
 protected:
  std::mt19937 rng{20240611};
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
  // Mostly small planes, sometimes empty, sometimes wider than a vector block.
  TImage16 Plane(int maxW = 40, int maxH = 30) {
    const int w = Pick(0, 9) == 0 ? 0 : Pick(1, maxW), h = Pick(0, 9) == 0 ? 0 : Pick(1, maxH);
    const int kind = Pick(0, 3);  // some planes with few values, so that ties and thresholds occur
    return kind == 0 ? RandomPlane(rng, w, h, 0, 3) : RandomPlane(rng, w, h);
  }
  // An accumulation plane of random 32-bit pixels, sometimes with an odd
  // sample width (its last sample per row is not a pixel).
  TImage16 Accumulation(int pixelsW, int pixelsH, std::uint32_t maxValue = 0xFFFFFFFFu) {
    TImage16 acc;
    Image16Create(acc, 2 * pixelsW + Pick(0, 1), pixelsH);
    std::uniform_int_distribution<std::uint32_t> v(0, maxValue);
    for (int y = 0; y < acc.Height; ++y)
      for (int x = 0; x < acc.Width / 2; ++x) AccSet(acc, x, y, v(rng));
    return acc;
  }
  // (DX, DY, SX, SY, W, H) for a pair; `pixels…`: that side is an
  // accumulation plane, drawn against its pixel width.
  std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t> Pair(
      const TImage16& d, const TImage16& s, bool pixelsD = false, bool pixelsS = false) {
    const Rect r = RandomRect(rng, pixelsD ? d.Width / 2 : d.Width, d.Height);
    std::int32_t sx, sy;
    RandomOrigin(rng, pixelsS ? s.Width / 2 : s.Width, s.Height, sx, sy);
    return {r.X, r.Y, sx, sy, r.W, r.H};
  }
};

constexpr int Rounds = 400;

// A table on the heap (128 KiB is too much for a test's stack).
struct Table {
  Lut16 Entries;
};

}  // namespace

// ---- statistics ----------------------------------------------------------------

TEST(Image16Mean, TwoByTwoAndEmpty) {
  TImage16 p = MakePlane(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(Image16Mean(p, 0, 0, 2, 2), 2);           // 10 div 4
  EXPECT_EQ(Image16Mean(p, 5, 0, 2, 2), 0);           // wholly outside: empty
  TImage16 white = ConstantPlane(7200, 2700, 65535);  // the largest sum fits
  EXPECT_EQ(Image16Mean(white, 0, 0, 7200, 2700), 65535);
}

TEST(Image16Centroid, SingleSampleAndThresholdRounding) {
  TImage16 p = ConstantPlane(10, 10, 0);
  Image16SetPixel(p, 4, 7, 1000);
  EXPECT_EQ(Image16Centroid(p, 0, 0, 10, 10, 0.0), (TPosition{4, 6}));  // 5000 div 1001, 7000 div 1001
  // 0.5 x 65535 = 32767.5 rounds (ties to even) to 32768; only samples above it count.
  TImage16 q = ConstantPlane(4, 1, 0);
  Image16SetPixel(q, 3, 0, 32768);
  EXPECT_EQ(Image16Centroid(q, 0, 0, 4, 1, 0.5), (TPosition{0, 0}));
  Image16SetPixel(q, 3, 0, 32769);
  EXPECT_EQ(Image16Centroid(q, 0, 0, 4, 1, 0.5), (TPosition{3, 0}));  // 32769 x 4 div 32770
  // Out-of-range thresholds are clamped; NaN counts as 0.
  EXPECT_EQ(Image16Centroid(q, 0, 0, 4, 1, 7.0), (TPosition{0, 0}));
  EXPECT_EQ(Image16Centroid(q, 0, 0, 4, 1, -1.0), (TPosition{3, 0}));
  EXPECT_EQ(Image16Centroid(q, 0, 0, 4, 1, std::nan("")), (TPosition{3, 0}));
}

TEST(Image16MaxPos, FirstInReadingOrderAndCentreDefault) {
  TImage16 p = MakePlane(4, 3,
                         {0, 0, 0, 0,  //
                          0, 0, 9, 0,  //
                          9, 0, 0, 9});
  EXPECT_EQ(Image16MaxPos(p, 0, 0, 4, 3), (TPosition{2, 1}));
  EXPECT_EQ(Image16MaxPos(p, 1, 1, 3, 2), (TPosition{1, 0}));  // relative to the rectangle
  TImage16 zero = ConstantPlane(7, 5, 0);
  EXPECT_EQ(Image16MaxPos(zero, 0, 0, 7, 5), (TPosition{3, 2}));
  EXPECT_EQ(Image16MaxPos(zero, -2, 0, 100, 100), (TPosition{2, 2}));  // the centre of the clipped 5 x 5
  TImage16 q = MakePlane(3, 2,
                         {5, 1, 7,  //
                          1, 9, 1});
  EXPECT_EQ(Image16MinPos(q, 0, 0, 3, 2), (TPosition{1, 0}));
  TImage16 white = ConstantPlane(3, 3, 65535);
  EXPECT_EQ(Image16MinPos(white, 0, 0, 3, 3), (TPosition{0, 0}));  // the best starts above every sample
}

TEST(Image16Histogram, HeldAt65535AndNotCleared) {
  auto table = std::make_unique<Table>();
  TImage16 p = ConstantPlane(350, 200, 1234);  // 70 000 samples
  Image16SetPixel(p, 0, 0, 7);
  Image16Histogram(p, 0, 0, 350, 200, table->Entries);
  EXPECT_EQ(table->Entries[1234], 65535);
  EXPECT_EQ(table->Entries[7], 1);
  Image16Histogram(p, 0, 0, 1, 1, table->Entries);
  EXPECT_EQ(table->Entries[7], 2);
}

TEST(Image16AbsDiffSum, FullRangeTermsAndHeldTotal) {
  TImage16 a = ConstantPlane(1, 1, 51200), b = ConstantPlane(1, 1, 0);
  EXPECT_EQ(Image16AbsDiffSum(a, 0, 0, b, 0, 0, 1, 1), 51200u);
  EXPECT_EQ(Image16AbsDiffSum(b, 0, 0, a, 0, 0, 1, 1), 51200u);
  // 300 x 300 x 65535 = 5 898 150 000 passes 32 bits.
  TImage16 white = ConstantPlane(300, 300, 65535), black = ConstantPlane(300, 300, 0);
  EXPECT_EQ(Image16AbsDiffSum(white, 0, 0, black, 0, 0, 300, 300), 4294967295u);
  EXPECT_EQ(Image16AbsDiffSum64(white, 0, 0, black, 0, 0, 300, 300), 5898150000u);
}

TEST_F(RandomPlanes, StatisticsMatchPlainLoops) {
  for (int round = 0; round < Rounds; ++round) {
    const TImage16 p = Plane();
    const Rect r = RandomRect(rng, p.Width, p.Height);
    ASSERT_EQ(Image16Mean(p, r.X, r.Y, r.W, r.H), RefMean(p, r));
    const double t = Pick(0, 4) == 0 ? 0.5 : Pick(0, 100) / 80.0 - 0.1;
    ASSERT_EQ(Image16Centroid(p, r.X, r.Y, r.W, r.H, t), RefCentroid(p, r, t));
    ASSERT_EQ(Image16MaxPos(p, r.X, r.Y, r.W, r.H), RefExtremePos(p, r, true));
    ASSERT_EQ(Image16MinPos(p, r.X, r.Y, r.W, r.H), RefExtremePos(p, r, false));

    auto table = std::make_unique<Table>(), expected = std::make_unique<Table>();
    std::fill_n(table->Entries, 65536, std::uint16_t{65534});
    std::copy_n(table->Entries, 65536, expected->Entries);
    Image16Histogram(p, r.X, r.Y, r.W, r.H, table->Entries);
    Rect c = r;
    RefClipRect(p.Width, p.Height, c.X, c.Y, c.W, c.H);
    for (int j = 0; j < c.H; ++j)
      for (int i = 0; i < c.W; ++i) {
        std::uint16_t& n = expected->Entries[Image16GetPixel(p, c.X + i, c.Y + j)];
        n = static_cast<std::uint16_t>(std::min(65535, n + 1));
      }
    ASSERT_TRUE(std::equal(table->Entries, table->Entries + 65536, expected->Entries));

    const TImage16 q = Plane();
    const auto [ax, ay, bx, by, w, h] = Pair(p, q);
    ASSERT_EQ(Image16AbsDiffSum(p, ax, ay, q, bx, by, w, h), RefAbsDiff(p, ax, ay, q, bx, by, w, h, true));
    ASSERT_EQ(Image16AbsDiffSum64(p, ax, ay, q, bx, by, w, h), RefAbsDiff(p, ax, ay, q, bx, by, w, h, false));
    ASSERT_EQ(Image16AbsDiffSum(p, ax, ay, p, bx, by, w, h), RefAbsDiff(p, ax, ay, p, bx, by, w, h, true));
  }
}

// ---- point operations ----------------------------------------------------------

TEST(Image16Factors, OutsideSixteenBitsIsARangeErrorNamingOperationAndValue) {
  TImage16 acc = ConstantPlane(4, 1, 0), p = ConstantPlane(2, 1, 3);
  try {
    Image16MultiplyConst(acc, 0, 0, p, 0, 0, 2, 1, 65536);
    FAIL() << "no error";
  } catch (const RangeError& e) {
    EXPECT_NE(std::string(e.what()).find("Image16MultiplyConst"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("65536"), std::string::npos);
  }
  EXPECT_THROW(Image16MultiplyConst(acc, 0, 0, p, 0, 0, 2, 1, -1), RangeError);
  try {
    Image16DivideConst(p, 0, 0, acc, 0, 0, 2, 1, 70000);
    FAIL() << "no error";
  } catch (const RangeError& e) {
    EXPECT_NE(std::string(e.what()).find("Image16DivideConst"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("70000"), std::string::npos);
  }
  EXPECT_EQ(Image16GetPixel(p, 0, 0), 3);  // nothing written
  Image16MultiplyConst(acc, 0, 0, p, 0, 0, 2, 1, 65535);
  EXPECT_EQ(AccGet(acc, 1, 0), 3u * 65535u);
}

TEST(Image16Accumulate, WrapsModulo32BitsAndClipsAgainstPixelWidth) {
  TImage16 acc;
  Image16Create(acc, 7, 1);  // three pixels; the seventh sample is not one
  AccSet(acc, 0, 0, 0xFFFFFFF0u);
  TImage16 s = ConstantPlane(5, 1, 0x20);
  Image16Accumulate(acc, 0, 0, s, 0, 0, 5, 1);
  EXPECT_EQ(AccGet(acc, 0, 0), 0x10u);
  EXPECT_EQ(AccGet(acc, 2, 0), 0x20u);
  EXPECT_EQ(acc.Data[6], 0);
}

TEST(Image16DivideConst, SaturatesWhenTheQuotientNeedsMoreThan16Bits) {
  TImage16 acc;
  Image16Create(acc, 6, 1);
  AccSet(acc, 0, 0, 1000000);
  AccSet(acc, 1, 0, 600000);
  AccSet(acc, 2, 0, 655359);  // 65535 x 10 + 9: still fits
  TImage16 d = ConstantPlane(3, 1, 1);
  Image16DivideConst(d, 0, 0, acc, 0, 0, 3, 1, 10);
  EXPECT_EQ(Image16GetPixel(d, 0, 0), 65535);
  EXPECT_EQ(Image16GetPixel(d, 1, 0), 60000);
  EXPECT_EQ(Image16GetPixel(d, 2, 0), 65535);
  Image16DivideConst(d, 0, 0, acc, 0, 0, 3, 1, 0);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(Image16GetPixel(d, x, 0), 65535);
}

TEST(Image16DividePlane, ZeroDivisorGives65535LikeTheConstantDivision) {
  TImage16 acc;
  Image16Create(acc, 6, 1);
  AccSet(acc, 0, 0, 70000);
  AccSet(acc, 1, 0, 70000);
  AccSet(acc, 2, 0, 70000);
  TImage16 e = MakePlane(3, 1, {0, 2, 1}), d = ConstantPlane(3, 1, 0);
  Image16DividePlane(d, 0, 0, acc, 0, 0, e, 0, 0, 3, 1);
  EXPECT_EQ(Image16GetPixel(d, 0, 0), 65535);
  EXPECT_EQ(Image16GetPixel(d, 1, 0), 35000);
  EXPECT_EQ(Image16GetPixel(d, 2, 0), 65535);  // 70000 does not fit
}

TEST(Image16MultiplyPlanes, ThreePlaneClippingMovesOnlyTheSidesItClips) {
  // The second source's negative origin moves the destination, not the first
  // source: acc (2 + i) := a (i) x b (i).
  TImage16 acc;
  Image16Create(acc, 20, 1);
  TImage16 a = MakePlane(10, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  TImage16 b = MakePlane(10, 1, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100});
  Image16MultiplyPlanes(acc, 0, 0, a, 0, 0, b, -2, 0, 5, 1);
  EXPECT_EQ(AccGet(acc, 1, 0), 0u);
  EXPECT_EQ(AccGet(acc, 2, 0), 10u);
  EXPECT_EQ(AccGet(acc, 6, 0), 250u);
  EXPECT_EQ(AccGet(acc, 7, 0), 0u);
  TImage16 white = ConstantPlane(1, 1, 65535);
  Image16MultiplyPlanes(acc, 0, 0, white, 0, 0, white, 0, 0, 1, 1);
  EXPECT_EQ(AccGet(acc, 0, 0), 4294836225u);  // the full 32-bit product
}

TEST(Image16Stretch, LevelsOfTenAndTwentyPercent) {
  TImage16 acc;
  Image16Create(acc, 16, 1);
  const std::uint32_t v[] = {5000, 6552, 6553, 4194000, 4194239, 4194240, 4294967295u, 0};
  for (int i = 0; i < 8; ++i) AccSet(acc, i, 0, v[i]);
  TImage16 d = ConstantPlane(8, 1, 1);
  Image16Stretch(d, 0, 0, acc, 0, 0, 8, 1, 10, 20);  // lo 6553, hi 4 194 240
  const std::uint16_t expected[] = {5000, 6552, 6553, 65532, 65535, 65535, 65535, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Image16GetPixel(d, i, 0), expected[i]) << i;
}

TEST(Image16Stretch, PercentsWhoseLevelsOverflowAreErrors) {
  TImage16 acc = ConstantPlane(2, 1, 0), d = ConstantPlane(1, 1, 9);
  EXPECT_NO_THROW(Image16Stretch(d, 0, 0, acc, 0, 0, 1, 1, 0, 102));
  EXPECT_THROW(Image16Stretch(d, 0, 0, acc, 0, 0, 1, 1, 0, 103), OverflowError);
  EXPECT_THROW(Image16Stretch(d, 0, 0, acc, 0, 0, 1, 1, 40000, 20), OverflowError);
}

TEST(Image16Stretch, PercentsOutsideTheRangeNeverWrapASample) {
  // A low percent of 200 puts lo at 131070: a pixel below it is held at
  // 65535 instead of keeping its low 16 bits; a negative low percent would
  // give negative results, held at 0.
  TImage16 acc;
  Image16Create(acc, 4, 1);
  AccSet(acc, 0, 0, 100000);
  AccSet(acc, 1, 0, 0);
  TImage16 d = ConstantPlane(2, 1, 1);
  Image16Stretch(d, 0, 0, acc, 0, 0, 2, 1, 200, 50);
  EXPECT_EQ(Image16GetPixel(d, 0, 0), 65535);
  Image16Stretch(d, 0, 0, acc, 0, 0, 2, 1, -50, 50);
  EXPECT_EQ(Image16GetPixel(d, 1, 0), 0);
}

TEST_F(RandomPlanes, PointOperationsMatchPlainLoops) {
  auto holder = std::make_unique<Table>();
  Lut16& table = holder->Entries;
  for (auto& e : table) e = static_cast<std::uint16_t>(rng());
  for (int round = 0; round < Rounds; ++round) {
    {  // look-up table
      TImage16 p = Plane(), expected = ClonePlane(p);
      const Rect r = RandomRect(rng, p.Width, p.Height);
      Image16ApplyLut(p, r.X, r.Y, r.W, r.H, table);
      Rect c = r;
      RefClipRect(expected.Width, expected.Height, c.X, c.Y, c.W, c.H);
      for (int j = 0; j < c.H; ++j)
        for (int i = 0; i < c.W; ++i)
          Image16SetPixel(expected, c.X + i, c.Y + j, table[Image16GetPixel(expected, c.X + i, c.Y + j)]);
      ASSERT_TRUE(SamePlane(p, expected));
    }
    const auto sub = [](std::uint16_t d, std::uint16_t s) { return static_cast<std::uint16_t>(s <= d ? d - s : 0); };
    {  // subtraction, two planes and one plane as both
      TImage16 d = Plane(), s = Plane(), expected = ClonePlane(d);
      const auto [dx, dy, sx, sy, w, h] = Pair(d, s);
      Image16Subtract(d, dx, dy, s, sx, sy, w, h);
      RefPair16(expected, dx, dy, s, sx, sy, w, h, sub);
      ASSERT_TRUE(SamePlane(d, expected));
      const auto [ox, oy, px, py, ow, oh] = Pair(d, d);
      Image16Subtract(d, ox, oy, d, px, py, ow, oh);
      RefPair16(expected, ox, oy, expected, px, py, ow, oh, sub);
      ASSERT_TRUE(SamePlane(d, expected));
    }
    {  // accumulation and products into an accumulation plane
      TImage16 s = Plane(), b = Plane();
      TImage16 acc = Accumulation(Pick(0, 30), Pick(0, 20)), expected = ClonePlane(acc);
      auto [dx, dy, sx, sy, w, h] = Pair(acc, s, true);
      Image16Accumulate(acc, dx, dy, s, sx, sy, w, h);
      RefClipPair(PixelWidth(expected), expected.Height, dx, dy, s.Width, s.Height, sx, sy, w, h);
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
          AccSet(expected, dx + i, dy + j, AccGet(expected, dx + i, dy + j) + Image16GetPixel(s, sx + i, sy + j));
      ASSERT_TRUE(SamePlane(acc, expected));

      const std::int64_t factor = Pick(0, 65535);
      std::tie(dx, dy, sx, sy, w, h) = Pair(acc, s, true);
      Image16MultiplyConst(acc, dx, dy, s, sx, sy, w, h, factor);
      RefClipPair(PixelWidth(expected), expected.Height, dx, dy, s.Width, s.Height, sx, sy, w, h);
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
          AccSet(expected, dx + i, dy + j, static_cast<std::uint32_t>(Image16GetPixel(s, sx + i, sy + j) * factor));
      ASSERT_TRUE(SamePlane(acc, expected));

      std::tie(dx, dy, sx, sy, w, h) = Pair(acc, s, true);
      std::int32_t bx, by;
      RandomOrigin(rng, b.Width, b.Height, bx, by);
      Image16MultiplyPlanes(acc, dx, dy, s, sx, sy, b, bx, by, w, h);
      RefClipPair(PixelWidth(expected), expected.Height, dx, dy, s.Width, s.Height, sx, sy, w, h);
      RefClipPair(PixelWidth(expected), expected.Height, dx, dy, b.Width, b.Height, bx, by, w, h);
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
          AccSet(expected, dx + i, dy + j,
                 std::uint32_t{Image16GetPixel(s, sx + i, sy + j)} * Image16GetPixel(b, bx + i, by + j));
      ASSERT_TRUE(SamePlane(acc, expected));
    }
    {  // divisions and the stretch out of an accumulation plane
      TImage16 d = Plane(), e = Plane(), expected = ClonePlane(d);
      const std::uint32_t top = Pick(0, 1) ? 0xFFFFFFFFu : 1u << Pick(8, 24);
      const TImage16 acc = Accumulation(Pick(0, 30), Pick(0, 20), top);
      const auto quotient = [](std::uint32_t v, std::uint32_t q) {
        return q != 0 && q > (v >> 16) ? static_cast<std::uint16_t>(v / q) : std::uint16_t{65535};
      };
      const std::int64_t divisor = Pick(0, 3) == 0 ? Pick(0, 3) : Pick(0, 65535);
      auto [dx, dy, sx, sy, w, h] = Pair(d, acc, false, true);
      Image16DivideConst(d, dx, dy, acc, sx, sy, w, h, divisor);
      RefClipPair(expected.Width, expected.Height, dx, dy, PixelWidth(acc), acc.Height, sx, sy, w, h);
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
          Image16SetPixel(expected, dx + i, dy + j,
                          quotient(AccGet(acc, sx + i, sy + j), static_cast<std::uint32_t>(divisor)));
      ASSERT_TRUE(SamePlane(d, expected));

      std::tie(dx, dy, sx, sy, w, h) = Pair(d, acc, false, true);
      std::int32_t ex, ey;
      RandomOrigin(rng, e.Width, e.Height, ex, ey);
      Image16DividePlane(d, dx, dy, acc, sx, sy, e, ex, ey, w, h);
      RefClipPair(expected.Width, expected.Height, dx, dy, PixelWidth(acc), acc.Height, sx, sy, w, h);
      RefClipPair(expected.Width, expected.Height, dx, dy, e.Width, e.Height, ex, ey, w, h);
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
          Image16SetPixel(expected, dx + i, dy + j,
                          quotient(AccGet(acc, sx + i, sy + j), Image16GetPixel(e, ex + i, ey + j)));
      ASSERT_TRUE(SamePlane(d, expected));

      const int low = Pick(0, 100), high = Pick(0, 102);
      std::tie(dx, dy, sx, sy, w, h) = Pair(d, acc, false, true);
      Image16Stretch(d, dx, dy, acc, sx, sy, w, h, low, high);
      const std::int64_t lo = std::int64_t{low} * 65535 / 100, hi = std::int64_t{high} * 65535 * 320 / 100;
      RefClipPair(expected.Width, expected.Height, dx, dy, PixelWidth(acc), acc.Height, sx, sy, w, h);
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
          const std::int64_t v = AccGet(acc, sx + i, sy + j);
          const std::int64_t out = v < lo ? v : (v >= hi ? 65535 : lo + (v - lo) * (65536 - lo) / (hi - lo));
          Image16SetPixel(expected, dx + i, dy + j, static_cast<std::uint16_t>(out));
        }
      ASSERT_TRUE(SamePlane(d, expected));
    }
  }
}

// ---- neighbourhood and geometric operations ----------------------------------

TEST(Image16LinearShiftCopy, LoaderShiftLeavesTheLastRowsAlone) {
  // 100 x 10 with n = 255: ceil(255 / 100) = 3 rows fewer; sample i := i + 255.
  TImage16 s;
  Image16Create(s, 100, 10);
  for (int i = 0; i < 1000; ++i) s.Data[i] = static_cast<std::uint16_t>(i);
  TImage16 d = ConstantPlane(100, 10, 0);
  Image16LinearShiftCopy(d, 0, 0, s, 0, 0, 100, 10, 255);
  for (int i = 0; i < 700; ++i) ASSERT_EQ(d.Data[i], i + 255) << i;
  for (int i = 700; i < 1000; ++i) ASSERT_EQ(d.Data[i], 0) << i;
}

TEST(Image16LinearShiftCopy, NeverReadsPastTheSourceSamples) {
  // The rows dropped are counted with the W given (here 1 row for W 300),
  // but W is then clipped to the 100-wide source: the last rows would read up
  // to 255 samples past the end. Those destination samples stay as they were.
  TImage16 s = ConstantPlane(100, 4, 7), d = ConstantPlane(100, 4, 1);
  Image16LinearShiftCopy(d, 0, 0, s, 0, 0, 300, 4, 255);
  for (int i = 0; i < 145; ++i) ASSERT_EQ(d.Data[i], 7) << i;  // 145 + 255 = 400
  for (int i = 145; i < 300; ++i) ASSERT_EQ(d.Data[i], 1) << i;
  for (int i = 300; i < 400; ++i) ASSERT_EQ(d.Data[i], 1) << i;  // the row dropped
  // A negative shift at the start of the plane: no read before sample 0.
  TImage16 e = ConstantPlane(10, 2, 1);
  Image16LinearShiftCopy(e, 0, 0, s, 0, 0, 10, 2, -3);
  EXPECT_EQ(Image16GetPixel(e, 2, 0), 1);
  EXPECT_EQ(Image16GetPixel(e, 3, 0), 7);
  // A zero width copies nothing (and does not divide by zero).
  Image16LinearShiftCopy(e, 0, 0, s, 0, 0, 0, 2, 255);
}

TEST(Image16Zoom2, DoublesEachSample) {
  TImage16 s = MakePlane(2, 2, {1, 2, 3, 4}), d = ConstantPlane(5, 5, 9);
  Image16Zoom2(d, 1, 0, s, 0, 0, 2, 2);
  const std::uint16_t expected[] = {9, 1, 1, 2, 2,  //
                                    9, 1, 1, 2, 2,  //
                                    9, 3, 3, 4, 4,  //
                                    9, 3, 3, 4, 4,  //
                                    9, 9, 9, 9, 9};
  for (int i = 0; i < 25; ++i) EXPECT_EQ(d.Data[i], expected[i]) << i;
  TImage16 odd = ConstantPlane(3, 3, 9);  // clipped to 3 x 3: one whole block fits
  Image16Zoom2(odd, 0, 0, s, 0, 0, 2, 2);
  EXPECT_EQ(Image16GetPixel(odd, 1, 1), 1);
  EXPECT_EQ(Image16GetPixel(odd, 2, 0), 9);
  EXPECT_EQ(Image16GetPixel(odd, 0, 2), 9);
}

TEST(Image16Resize, FactorTwoFillsBlocksAndLeavesTheLastRow) {
  TImage16 s = MakePlane(3, 2, {1, 2, 3, 4, 5, 6}), d = ConstantPlane(6, 4, 0);
  Image16Resize(d, 0, 0, s, 0, 0, 3, 2, 2.0);
  const std::uint16_t expected[] = {1, 1, 2, 2, 3, 3,   //
                                    1, 1, 2, 2, 3, 3,   //
                                    4, 4, 5, 5, 6, 6,   //
                                    0, 0, 0, 0, 0, 0};  // the last row is never written
  for (int i = 0; i < 24; ++i) EXPECT_EQ(d.Data[i], expected[i]) << i;
}

TEST(Image16Resize, FactorOneCopiesAndSmallFactorsAreClamped) {
  std::mt19937 rng(5);
  TImage16 s = RandomPlane(rng, 20, 10), d = ConstantPlane(20, 10, 0);
  Image16Resize(d, 0, 0, s, 0, 0, 20, 10, 1.0);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(Image16GetPixel(d, x, y), y < 9 ? Image16GetPixel(s, x, y) : 0) << x << "," << y;
  TImage16 a = ConstantPlane(20, 10, 0), b = ConstantPlane(20, 10, 0);
  Image16Resize(a, 0, 0, s, 0, 0, 20, 10, 0.05);
  Image16Resize(b, 0, 0, s, 0, 0, 20, 10, 0.1);
  EXPECT_TRUE(SamePlane(a, b));
  EXPECT_THROW(Image16Resize(a, 0, 0, s, 0, 0, 20, 10, std::nan("")), RangeError);
}

TEST(Image16Resize, LinesWiderThanTheOld3600SampleBufferAreWritten) {
  TImage16 s = ConstantPlane(400, 3, 5), d = ConstantPlane(7200, 30, 0);
  Image16Resize(d, 0, 0, s, 0, 0, 400, 3, 10.0);  // 4000 samples a line
  EXPECT_EQ(Image16GetPixel(d, 3999, 0), 5);
  EXPECT_EQ(Image16GetPixel(d, 4000, 0), 0);
}

TEST(Image16Resize, ALineNeverRunsIntoTheNextRow) {
  // 7 samples wide at the right edge with factor 2: W = Round(3.5) = 4 source
  // columns make 8 samples; the eighth would land on the next row's column 0.
  TImage16 s = ConstantPlane(4, 4, 5), d = ConstantPlane(10, 8, 0);
  Image16Resize(d, 3, 0, s, 0, 0, 4, 4, 2.0);
  for (int y = 0; y < 7; ++y) {
    EXPECT_EQ(Image16GetPixel(d, 0, y), 0) << y;
    EXPECT_EQ(Image16GetPixel(d, 9, y), 5) << y;
  }
}

TEST(Image16Resize, ReadsStopAtTheLastSourceSample) {
  // One sample with factor 0.6: W' = Round(0.6) = 1, W = Round(1 / 0.6) = 2,
  // and the second output column steps onto source column 1, past the end.
  // It takes the last sample instead.
  TImage16 s = ConstantPlane(1, 1, 7), d = ConstantPlane(4, 3, 0);
  Image16Resize(d, 0, 0, s, 0, 0, 1, 1, 0.6);
  EXPECT_EQ(Image16GetPixel(d, 0, 0), 7);
  EXPECT_EQ(Image16GetPixel(d, 1, 0), 7);
  EXPECT_EQ(Image16GetPixel(d, 2, 0), 0);
}

TEST(Image16Convolve, ThreeByThreeBoxStartsAtTheFixedBorder) {
  TConvKernel k;
  k[0] = 3;
  for (int i = 1; i <= 9; ++i) k[i] = 1;
  std::mt19937 rng(9);
  TImage16 s = RandomPlane(rng, 30, 25), d = ConstantPlane(30, 25, 1);
  Image16Convolve(d, 0, 0, s, 0, 0, 30, 25, k);
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 30; ++x) {
      if (x < 8 || x >= 30 - 9 || y < 7 || y >= 25 - 8) {
        ASSERT_EQ(Image16GetPixel(d, x, y), 1) << x << "," << y;
        continue;
      }
      std::uint32_t sum = 0;
      for (int b = -1; b <= 1; ++b)
        for (int a = -1; a <= 1; ++a) sum += Image16GetPixel(s, x + a, y + b);
      ASSERT_EQ(Image16GetPixel(d, x, y), sum / 9) << x << "," << y;
    }
}

TEST(Image16Convolve, KernelSizesAndTheirErrors) {
  TImage16 s = ConstantPlane(40, 40, 1000), d = ConstantPlane(40, 40, 0);
  TConvKernel k;
  k[0] = 16;  // 17 x 17 = 289 weights do not fit
  k[1] = 1;
  try {
    Image16Convolve(d, 0, 0, s, 0, 0, 40, 40, k);
    FAIL() << "no error";
  } catch (const RangeError& e) {
    EXPECT_NE(std::string(e.what()).find("Image16Convolve"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("289"), std::string::npos);
  }
  EXPECT_EQ(std::count(d.Data.get(), d.Data.get() + d.SampleCount(), 0), 1600);
  // Nominal sizes 0, 1 and 17 up mean 17 x 15: weight 255 is the window's
  // bottom-right corner, so output (8, 7) reads source (16, 14).
  Image16SetPixel(s, 16, 14, 5000);
  for (int n : {0, 1, 17, 200}) {
    TConvKernel big;
    big[0] = static_cast<std::uint8_t>(n);
    big[255] = 3;
    Image16Convolve(d, 0, 0, s, 0, 0, 40, 40, big);
    EXPECT_EQ(Image16GetPixel(d, 8, 7), 5000) << n;
    EXPECT_EQ(Image16GetPixel(d, 9, 7), 1000) << n;
  }
  // An even size takes the next odd one; all-zero weights divide by 1.
  TConvKernel zero;
  zero[0] = 4;
  Image16Convolve(d, 0, 0, s, 0, 0, 40, 40, zero);
  EXPECT_EQ(Image16GetPixel(d, 8, 7), 0);
}

TEST(Image16Convolve, BoxOverAConstantPlaneReturnsTheConstant) {
  // Sums that are exact multiples of the weight sum (49 for a 7 x 7 box):
  // a quotient taken through a reciprocal must not come out one too small.
  TConvKernel k;
  k[0] = 7;
  for (int i = 1; i <= 49; ++i) k[i] = 1;
  for (std::uint16_t v : {1, 12345, 50000, 65535}) {
    TImage16 s = ConstantPlane(80, 20, v), d = ConstantPlane(80, 20, 0);
    Image16Convolve(d, 0, 0, s, 0, 0, 80, 20, k);
    for (int x = 8; x < 80 - 9; ++x) ASSERT_EQ(Image16GetPixel(d, x, 7), v) << x;
  }
}

TEST(Image16Median3, NineSamplesAndSmallPlanes) {
  TImage16 s = MakePlane(3, 3, {9, 1, 8, 2, 7, 3, 6, 4, 5}), d = ConstantPlane(3, 3, 0);
  Image16Median3(d, 0, 0, s, 0, 0, 3, 3);
  EXPECT_EQ(Image16GetPixel(d, 1, 1), 5);
  EXPECT_EQ(std::count(d.Data.get(), d.Data.get() + 9, 0), 8);  // the border is not written
  TImage16 small = ConstantPlane(2, 5, 7), out = ConstantPlane(2, 5, 0);
  Image16Median3(out, 0, 0, small, 0, 0, 2, 5);
  EXPECT_TRUE(SamePlane(out, ConstantPlane(2, 5, 0)));
}

TEST(Image16Median3, ExactForEveryZeroOnePattern) {
  // A network of minima and maxima selects the fifth smallest of any nine
  // values if it does so for every pattern of zeros and ones.
  TImage16 s, d;
  Image16Create(s, 3 * 512, 3);
  Image16Create(d, 3 * 512, 3);
  for (int p = 0; p < 512; ++p)
    for (int b = 0; b < 9; ++b) Image16SetPixel(s, 3 * p + b % 3, b / 3, (p >> b) & 1 ? 65535 : 0);
  for (int p = 0; p < 512; ++p) {
    Image16Median3(d, 3 * p, 0, s, 3 * p, 0, 3, 3);
    ASSERT_EQ(Image16GetPixel(d, 3 * p + 1, 1), std::popcount(unsigned(p)) >= 5 ? 65535 : 0) << p;
  }
}

TEST_F(RandomPlanes, NeighbourhoodAndGeometryMatchPlainLoops) {
  for (int round = 0; round < Rounds; ++round) {
    // Planes wide enough for full vector blocks now and then.
    TImage16 s = Plane(90, 40), d = Plane(90, 40);
    TImage16 expected = ClonePlane(d);
    const bool onePlane = Pick(0, 4) == 0;
    TImage16& src = onePlane ? d : s;
    TImage16& ref = onePlane ? expected : s;
    auto [dx, dy, sx, sy, w, h] = Pair(d, src);
    const int n = Pick(0, 3) == 0 ? Pick(-300, 300) : 255;
    Image16LinearShiftCopy(d, dx, dy, src, sx, sy, w, h, n);
    RefLinearShiftCopy(expected, dx, dy, ref, sx, sy, w, h, n);
    ASSERT_TRUE(SamePlane(d, expected)) << "shift " << round;

    std::tie(dx, dy, sx, sy, w, h) = Pair(d, src);
    Image16Zoom2(d, dx, dy, src, sx, sy, w, h);
    RefZoom2(expected, dx, dy, ref, sx, sy, w, h);
    ASSERT_TRUE(SamePlane(d, expected)) << "zoom " << round;

    std::tie(dx, dy, sx, sy, w, h) = Pair(d, src);
    const double f = Pick(0, 2) == 0 ? Pick(1, 10) : Pick(0, 1100) / 100.0;
    Image16Resize(d, dx, dy, src, sx, sy, w, h, f);
    RefResize(expected, dx, dy, ref, sx, sy, w, h, f);
    ASSERT_TRUE(SamePlane(d, expected)) << "resize " << round << " f " << f;

    TConvKernel k;
    k[0] = static_cast<std::uint8_t>(Pick(0, 1) ? Pick(0, 15) : Pick(17, 255));
    for (int i = 1; i < 256; ++i) k[i] = static_cast<std::uint8_t>(Pick(0, 3) == 0 ? 0 : Pick(0, 255));
    std::tie(dx, dy, sx, sy, w, h) = Pair(d, src);
    Image16Convolve(d, dx, dy, src, sx, sy, w, h, k);
    RefConvolve(expected, dx, dy, ref, sx, sy, w, h, k);
    ASSERT_TRUE(SamePlane(d, expected)) << "convolve " << round;

    std::tie(dx, dy, sx, sy, w, h) = Pair(d, src);
    Image16Median3(d, dx, dy, src, sx, sy, w, h);
    RefMedian3(expected, dx, dy, ref, sx, sy, w, h);
    ASSERT_TRUE(SamePlane(d, expected)) << "median " << round;
  }
}

TEST(Image16Convolve, LargeSumsDivideExactly) {
  // Full-white windows make sums near 2^32: 255 weights of 255 over 65535
  // give exactly 65535; one sample less gives 65534 (the sum is one weight
  // short of a multiple of the weight sum).
  TConvKernel k;
  for (int i = 1; i < 256; ++i) k[i] = 255;
  TImage16 s = ConstantPlane(64, 20, 65535), d = ConstantPlane(64, 20, 0);
  Image16SetPixel(s, 20, 7, 65534);  // in the window of outputs 12..28 of row 7
  Image16Convolve(d, 0, 0, s, 0, 0, 64, 20, k);
  EXPECT_EQ(Image16GetPixel(d, 8, 7), 65535);
  EXPECT_EQ(Image16GetPixel(d, 20, 7), 65534);
  EXPECT_EQ(Image16GetPixel(d, 40, 7), 65535);
}
