#include "core/image16.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/errors.h"
#include "support/plane_reference.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::ConstantPlane;
using corvane::test::MakePlane;

TEST(Image16Create, CutsToLimitsAndFillsBlack) {
  TImage16 p;
  Image16Create(p, 4608, 3456);  // a camera picture: beyond the old 7200 x 2700 limit
  EXPECT_EQ(p.Width, 4608);
  EXPECT_EQ(p.Height, 3456);
  EXPECT_EQ(p.Data[0], 0);
  EXPECT_EQ(p.Data[p.SampleCount() - 1], 0);
  Image16Create(p, 70000, 0);  // cut to the limits (an accumulation plane's width, a picture's height)
  EXPECT_EQ(p.Width, MaxImageWidth);
  Image16Create(p, 0, 40000);
  EXPECT_EQ(p.Height, MaxPictureSide);
  Image16Create(p, 640, 480);  // re-creating releases the old block (leak checked under ASan)
  EXPECT_EQ(p.Width, 640);
  EXPECT_EQ(p.Height, 480);
  Image16Create(p, 0, 5);
  EXPECT_TRUE(p.HasStorage());
  EXPECT_EQ(p.SampleCount(), 0u);
}

TEST(Image16Free, KeepsSizeAndIsHarmlessTwice) {
  TImage16 p;
  Image16Free(p);  // no storage: nothing happens
  Image16Create(p, 4, 3);
  Image16Free(p);
  EXPECT_FALSE(p.HasStorage());
  EXPECT_EQ(p.Width, 4);
  EXPECT_EQ(p.Height, 3);
  Image16Free(p);
}

TEST(Image16Index, OverflowIsAnError) {
  EXPECT_EQ(Image16Index(3, 2, 10), 23);
  EXPECT_EQ(Image16ByteOffset(3, 2, 10), 46);
  EXPECT_THROW(Image16Index(0, 70000, 70000), OverflowError);
  EXPECT_THROW(Image16ByteOffset(0, 40000, 40000), OverflowError);
}

TEST(Image16ClipRect, FollowsTheFiveSteps) {
  struct Case {
    int x, y, w, h, ex, ey, ew, eh;
  };
  const Case cases[] = {
      {-3, 0, 10, 5, 0, 0, 10, 5},    // negative origin keeps the width
      {-3, 0, 98, 5, 0, 0, 97, 5},    // |X| + W past the edge: W = 100 - 3
      {100, 0, 10, 5, 100, 0, 0, 5},  // origin at the far edge: empty
      {150, 0, 10, 5, 100, 0, 0, 5},  // beyond: pulled back, empty
      {-250, 0, 10, 5, 0, 0, 0, 5},   // more than a plane size before 0: empty
      {5, 5, -4, 300, 5, 5, 0, 45},   // negative size, over-tall size
      {0, 0, 1000, 1000, 0, 0, 100, 50},
  };
  for (const Case& c : cases) {
    int x = c.x, y = c.y, w = c.w, h = c.h;
    Image16ClipRect(100, 50, x, y, w, h);
    EXPECT_EQ(x, c.ex) << c.x;
    EXPECT_EQ(y, c.ey) << c.x;
    EXPECT_EQ(w, c.ew) << c.x;
    EXPECT_EQ(h, c.eh) << c.x;
  }
}

TEST(Image16ClipPair, NegativeSourceOriginMovesTheDestination) {
  TImage16 d = ConstantPlane(100, 100, 0), s = ConstantPlane(100, 100, 0);
  int dx = 0, dy = 0, sx = -3, sy = 0, w = 10, h = 10;
  Image16ClipPair(d, dx, dy, s, sx, sy, w, h);
  EXPECT_EQ(dx, 3);
  EXPECT_EQ(sx, 0);
  EXPECT_EQ(w, 10);  // source columns 0..9 to destination columns 3..12
  dx = -4, dy = 0, sx = 0, sy = 0, w = 10, h = 10;
  Image16ClipPair(d, dx, dy, s, sx, sy, w, h);
  EXPECT_EQ(dx, 0);  // a negative destination origin does not move the source
  EXPECT_EQ(sx, 0);
  EXPECT_EQ(w, 10);
}

TEST(Image16ClipPair, OnePlaneNeverReadsOutsideIt) {
  TImage16 p = ConstantPlane(100, 10, 1);
  int dx = 0, dy = 0, sx = 50, sy = 0, w = 100, h = 10;
  Image16ClipPair(p, dx, dy, p, sx, sy, w, h);
  EXPECT_LE(sx + w, 100);
  dx = 10, dy = 0, sx = 20, sy = 0, w = 30, h = 10;  // inside: only the destination is clipped
  Image16ClipPair(p, dx, dy, p, sx, sy, w, h);
  EXPECT_EQ(w, 30);
}

TEST(Image16FillRect, OddPlaneAndEdges) {
  TImage16 p = ConstantPlane(3, 3, 0);
  Image16FillRect(p, 0, 0, 3, 3, 65535);
  for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(p.Data[i], 65535);
  TImage16 q = ConstantPlane(100, 2, 0);
  Image16FillRect(q, -3, 0, 10, 1, 7);
  for (int x = 0; x < 100; ++x) EXPECT_EQ(Image16GetPixel(q, x, 0), x <= 9 ? 7 : 0) << x;
  Image16FillRect(q, -3, 1, 98, 1, 9);
  for (int x = 0; x < 100; ++x) EXPECT_EQ(Image16GetPixel(q, x, 1), x <= 96 ? 9 : 0) << x;
  Image16FillRect(q, 100, 0, 10, 2, 1);
  EXPECT_EQ(Image16GetPixel(q, 99, 0), 0);
}

TEST(Image16Copy, ChangesOnlyTheRectangle) {
  TImage16 s = ConstantPlane(100, 100, 5), d = ConstantPlane(100, 100, 1);
  Image16Copy(d, 5, 5, s, 5, 5, 10, 10);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(Image16GetPixel(d, x, y), (x >= 5 && x < 15 && y >= 5 && y < 15) ? 5 : 1) << x << "," << y;
}

TEST(Image16Copy, SamePlaneCopiesRowsTopDownAndEachRowBackwards) {
  TImage16 p = MakePlane(4, 1, {1, 2, 3, 4});
  Image16Copy(p, 0, 0, p, 1, 0, 3, 1);  // last sample first: the row smears
  EXPECT_EQ(Image16GetPixel(p, 0, 0), 4);
  EXPECT_EQ(Image16GetPixel(p, 1, 0), 4);
  EXPECT_EQ(Image16GetPixel(p, 2, 0), 4);
  EXPECT_EQ(Image16GetPixel(p, 3, 0), 4);
  TImage16 q = MakePlane(4, 1, {1, 2, 3, 4});
  Image16Copy(q, 1, 0, q, 0, 0, 3, 1);
  EXPECT_EQ(Image16GetPixel(q, 1, 0), 1);
  EXPECT_EQ(Image16GetPixel(q, 2, 0), 2);
  EXPECT_EQ(Image16GetPixel(q, 3, 0), 3);
}

TEST(Image16Bitmap, ChannelCodesOf24BitPixels) {
  Bitmap b(2, 1);
  b.Row(0)[0] = 0, b.Row(0)[1] = 0, b.Row(0)[2] = 255;  // pure red (B, G, R)
  b.Row(0)[3] = 10, b.Row(0)[4] = 20, b.Row(0)[5] = 30;
  TImage16 p = ConstantPlane(2, 1, 0);
  Image16FromBitmap(p, b, 0, 0, 2, 1, ChannelL);
  EXPECT_EQ(Image16GetPixel(p, 0, 0), 76 * 256);
  Image16FromBitmap(p, b, 0, 0, 2, 1, ChannelR);
  EXPECT_EQ(Image16GetPixel(p, 0, 0), 65280);
  EXPECT_EQ(Image16GetPixel(p, 1, 0), 30 * 256);
  Image16FromBitmap(p, b, 0, 0, 2, 1, ChannelB);
  EXPECT_EQ(Image16GetPixel(p, 1, 0), 10 * 256);
  TImage16 unchanged = ConstantPlane(2, 1, 77);
  Image16FromBitmap(unchanged, b, 0, 0, 2, 1, 3);  // not a code: writes nothing
  EXPECT_EQ(Image16GetPixel(unchanged, 0, 0), 77);

  TImage16 white = ConstantPlane(2, 1, 65535);
  Bitmap out(2, 1);
  Image16ToBitmap(out, white, 0, 0, 2, 1, ChannelG);
  EXPECT_EQ(out.Row(0)[0], 0);
  EXPECT_EQ(out.Row(0)[1], 255);
  EXPECT_EQ(out.Row(0)[2], 0);
}

TEST(Image16Bitmap, IndexedIgnoresThePaletteAndWordsPassUnchanged) {
  Bitmap b(3, 1, PixelFormat::Indexed8);
  b.Palette().assign(256, PaletteEntry{1, 2, 3, 0});
  b.Row(0)[0] = 0, b.Row(0)[1] = 7, b.Row(0)[2] = 255;
  TImage16 p = ConstantPlane(3, 1, 0);
  Image16FromBitmap(p, b, 0, 0, 3, 1, ChannelR);
  EXPECT_EQ(Image16GetPixel(p, 1, 0), 7 * 256);
  EXPECT_EQ(Image16GetPixel(p, 2, 0), 255 * 256);

  Bitmap w(1, 1, PixelFormat::Word16);
  w.Row(0)[0] = 0x34, w.Row(0)[1] = 0x12;
  TImage16 q = ConstantPlane(1, 1, 0);
  Image16FromBitmap(q, w, 0, 0, 1, 1, ChannelL);
  EXPECT_EQ(Image16GetPixel(q, 0, 0), 0x1234);
}

TEST(Image16Bitmap, RowLimitIsARangeErrorAfterTheColumnsThatFit) {
  // Rows are as wide as the widest picture: a bitmap wider than that (no
  // reader makes one) is converted up to the limit.
  const int wide = MaxPictureSide + 100;
  TImage16 p = ConstantPlane(wide, 2, 256);
  Bitmap b(wide, 2);
  EXPECT_THROW(Image16ToBitmap(b, p, 0, 0, wide, 2, ChannelL), RangeError);
  EXPECT_EQ(b.Row(0)[3 * (MaxPictureSide - 1)], 1);  // the last column that fits was written
  EXPECT_EQ(b.Row(0)[3 * MaxPictureSide], 0);
  EXPECT_EQ(b.Row(1)[0], 0);  // no later row
  // A 24-bit row of 4608 columns, beyond the old limit of 3600, converts whole.
  TImage16 camera = ConstantPlane(4608, 1, 0x1200);
  Bitmap row(4608, 1);
  Image16ToBitmap(row, camera, 0, 0, 4608, 1, ChannelL);
  EXPECT_EQ(row.Row(0)[3 * 4607], 0x12);
}

TEST(Image16Bitmap, ToBitmapWritesOnlyTheOverlap) {
  TImage16 p = ConstantPlane(10, 10, 0x4000);
  Bitmap small(4, 3);
  Image16ToBitmap(small, p, 0, 0, 10, 10, ChannelL);
  EXPECT_EQ(small.Row(2)[3 * 3], 0x40);
  Bitmap big(12, 12);
  Image16ToBitmap(big, p, 0, 0, 10, 10, ChannelL);
  EXPECT_EQ(big.Row(9)[3 * 9], 0x40);
  EXPECT_EQ(big.Row(10)[0], 0);
  EXPECT_EQ(big.Row(0)[3 * 10], 0);
}

// ---- rectangle operations against plain per-sample loops -------------------

namespace {

using corvane::test::RandomOrigin;
using corvane::test::RandomPlane;
using corvane::test::RandomRect;
using corvane::test::Rect;
using corvane::test::RefClipPair;
using corvane::test::RefClipRect;

class Image16Rectangles : public ::testing::Test {
 protected:
  std::mt19937 rng{77};
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
  TImage16 Plane() { return RandomPlane(rng, Pick(0, 9) ? Pick(1, 40) : 0, Pick(0, 9) ? Pick(1, 30) : 0); }
  Bitmap RandomBitmap() {
    static constexpr PixelFormat formats[] = {PixelFormat::Indexed8, PixelFormat::Word16, PixelFormat::Bgr24,
                                              PixelFormat::Bgrx32};
    Bitmap b(Pick(0, 40), Pick(0, 30), formats[Pick(0, 3)]);
    for (int y = 0; y < b.Height(); ++y)
      for (std::size_t i = 0; i < b.RowBytes(); ++i) b.Row(y)[i] = static_cast<std::uint8_t>(rng());
    return b;
  }
  int RandomCode() {
    static constexpr int codes[] = {ChannelR, ChannelG, ChannelB, ChannelL, 0, 3};
    return codes[Pick(0, 5)];
  }
};

constexpr int Rounds = 400;

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (!std::equal(a.Row(y), a.Row(y) + a.RowBytes(), b.Row(y))) return false;
  return true;
}

}  // namespace

TEST_F(Image16Rectangles, FillRectAndCopyMatchPlainLoops) {
  for (int round = 0; round < Rounds; ++round) {
    TImage16 p = Plane(), expected = corvane::test::ClonePlane(p);
    Rect r = RandomRect(rng, p.Width, p.Height);
    const auto value = static_cast<std::uint16_t>(rng());
    Image16FillRect(p, r.X, r.Y, r.W, r.H, value);
    RefClipRect(p.Width, p.Height, r.X, r.Y, r.W, r.H);
    for (int j = 0; j < r.H; ++j)
      for (int i = 0; i < r.W; ++i) Image16SetPixel(expected, r.X + i, r.Y + j, value);
    ASSERT_TRUE(corvane::test::SamePlane(p, expected));

    // Two planes, then one plane as both (rows top to bottom, each row from
    // its last sample to its first).
    for (const bool onePlane : {false, true}) {
      TImage16 s = Plane();
      const TImage16& src = onePlane ? p : s;
      const TImage16& ref = onePlane ? expected : s;
      const Rect d = RandomRect(rng, p.Width, p.Height);
      std::int32_t dx = d.X, dy = d.Y, w = d.W, h = d.H, sx, sy;
      RandomOrigin(rng, src.Width, src.Height, sx, sy);
      Image16Copy(p, dx, dy, src, sx, sy, w, h);
      RefClipPair(p.Width, p.Height, dx, dy, src.Width, src.Height, sx, sy, w, h, onePlane);
      for (int j = 0; j < h; ++j)
        for (int i = w - 1; i >= 0; --i)
          Image16SetPixel(expected, dx + i, dy + j, Image16GetPixel(ref, sx + i, sy + j));
      ASSERT_TRUE(corvane::test::SamePlane(p, expected)) << round << (onePlane ? " one plane" : "");
    }
  }
}

TEST_F(Image16Rectangles, BitmapConversionsMatchPlainLoops) {
  for (int round = 0; round < Rounds; ++round) {
    // Bitmap to plane.
    Bitmap b = RandomBitmap(), rb = b;
    TImage16 p = Plane(), expected = corvane::test::ClonePlane(p);
    Rect r = RandomRect(rng, b.Width(), b.Height());
    int code = RandomCode();
    Image16FromBitmap(p, b, r.X, r.Y, r.W, r.H, code);
    RefClipRect(rb.Width(), rb.Height(), r.X, r.Y, r.W, r.H);
    std::int32_t px = 0, py = 0;
    RefClipRect(p.Width, p.Height, px, py, r.W, r.H);
    if (r.W > 0 && r.H > 0 && rb.Format() == PixelFormat::Bgrx32) rb.ConvertTo24();
    for (int j = 0; j < r.H; ++j)
      for (int i = 0; i < r.W; ++i) {
        const std::uint8_t* q = rb.Row(r.Y + j);
        const int x = r.X + i;
        int v = -1;
        if (rb.Format() == PixelFormat::Indexed8) v = q[x] * 256;
        if (rb.Format() == PixelFormat::Word16) v = q[2 * x] + 256 * q[2 * x + 1];
        if (rb.Format() == PixelFormat::Bgr24) {
          const int blue = q[3 * x], green = q[3 * x + 1], red = q[3 * x + 2];
          if (code == ChannelR) v = red * 256;
          if (code == ChannelG) v = green * 256;
          if (code == ChannelB) v = blue * 256;
          if (code == ChannelL) v = ((77 * red + 151 * green + 28 * blue) >> 8) * 256;
        }
        if (v >= 0) Image16SetPixel(expected, i, j, static_cast<std::uint16_t>(v));
      }
    ASSERT_TRUE(corvane::test::SamePlane(p, expected)) << round;
    ASSERT_TRUE(SamePixels(b, rb)) << round;  // the bitmap changes only by its conversion to 24 bits

    // Plane to bitmap.
    Bitmap out = RandomBitmap(), ro = out;
    r = RandomRect(rng, p.Width, p.Height);
    code = RandomCode();
    Image16ToBitmap(out, p, r.X, r.Y, r.W, r.H, code);
    RefClipRect(p.Width, p.Height, r.X, r.Y, r.W, r.H);
    std::int32_t bx = 0, by = 0;
    RefClipRect(ro.Width(), ro.Height(), bx, by, r.W, r.H);
    if (r.W > 0 && r.H > 0 && ro.Format() == PixelFormat::Bgrx32) ro.ConvertTo24();
    for (int j = 0; j < r.H; ++j)
      for (int i = 0; i < r.W; ++i) {
        const std::uint16_t v = Image16GetPixel(p, r.X + i, r.Y + j);
        std::uint8_t* q = ro.Row(j);
        const auto high = static_cast<std::uint8_t>(v >> 8);
        if (ro.Format() == PixelFormat::Indexed8) q[i] = high;
        if (ro.Format() == PixelFormat::Word16) q[2 * i] = static_cast<std::uint8_t>(v), q[2 * i + 1] = high;
        if (ro.Format() == PixelFormat::Bgr24) {
          if (code == ChannelB || code == ChannelL) q[3 * i] = high;
          if (code == ChannelG || code == ChannelL) q[3 * i + 1] = high;
          if (code == ChannelR || code == ChannelL) q[3 * i + 2] = high;
        }
      }
    ASSERT_TRUE(SamePixels(out, ro)) << round;
  }
}
