// The start-up local PSF and the pick of a local PSF on the result pane.
#include "enhance/local_psf.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "core/errors.h"
#include "output/bitmap_ops.h"

using namespace corvane;

namespace {

/// A 24-bit picture whose pixel (x, y) is grey x + 7 y (values stay below 256
/// for the sizes used), so a kernel sample tells where it was read.
Bitmap Ramp(int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto v = static_cast<std::uint8_t>((x + 7 * y) & 0xFF);
      b.Row(y)[3 * x] = b.Row(y)[3 * x + 1] = b.Row(y)[3 * x + 2] = v;
    }
  return b;
}

/// The corner (X, Y) the kernel was read from, found from its first sample.
int CornerValue(const TConvKernel& k) { return k[1]; }

}  // namespace

TEST(StartupLocalPSF, TheSoftSpot) {
  const TConvKernel psf = StartupLocalPSF();
  EXPECT_EQ(psf[0], 15);
  EXPECT_EQ(std::accumulate(psf.Bytes.begin() + 1, psf.Bytes.begin() + 226, 0), 24528);
  const int row0[15] = {24, 24, 36, 48, 60, 60, 72, 72, 72, 60, 60, 48, 36, 24, 24};
  const int row7[15] = {72, 96, 132, 156, 192, 216, 228, 240, 228, 216, 192, 156, 132, 96, 72};
  for (int c = 0; c < 15; ++c) {
    EXPECT_EQ(psf[1 + c], row0[c]);
    EXPECT_EQ(psf[1 + 14 * 15 + c], row0[c]);
    EXPECT_EQ(psf[1 + 7 * 15 + c], row7[c]);
  }
  for (int r = 0; r < 15; ++r)
    for (int c = 0; c < 15; ++c) {
      EXPECT_EQ(psf[1 + 15 * r + c], psf[1 + 15 * (14 - r) + c]);
      EXPECT_EQ(psf[1 + 15 * r + c], psf[1 + 15 * r + 14 - c]);
    }
  for (std::size_t i = 226; i < 256; ++i) EXPECT_EQ(psf[i], 0);
}

TEST(PickLocalPSF, StretchedPaneNearTheEdges) {
  const Bitmap shown = Ramp(30, 24);  // shown stretched in a 320 x 240 pane
  TConvKernel psf = StartupLocalPSF();
  // Right and bottom edge: X = 30 x 311 div 320 = 29, pushed back to 30 - 17.
  Bitmap drawn = PickLocalPSF(psf, shown, 319, 239, true, 320, 240);
  EXPECT_EQ(psf[0], 17);
  EXPECT_EQ(CornerValue(psf), 13 + 7 * 9);
  EXPECT_EQ(psf[255], 29 + 7 * 23);  // the last sample is the picture's corner pixel
  EXPECT_EQ(drawn.Width(), 17);
  EXPECT_EQ(drawn.Height(), 15);
  EXPECT_EQ(drawn.Row(14)[3 * 16], 29 + 7 * 23);

  // The left margin gives a negative position, pushed inside.
  PickLocalPSF(psf, shown, 2, 3, true, 320, 240);
  EXPECT_EQ(CornerValue(psf), 0);
  // Inside: X = 30 x (168 - 8) div 320 = 15 -> 13; Y = 24 x (47 - 7) div 240 = 4.
  PickLocalPSF(psf, shown, 168, 47, true, 320, 240);
  EXPECT_EQ(CornerValue(psf), 13 + 7 * 4);
  PickLocalPSF(psf, shown, 8 + 32, 7 + 20, true, 320, 240);  // X = 3, Y = 2
  EXPECT_EQ(CornerValue(psf), 3 + 7 * 2);
}

TEST(PickLocalPSF, CentredPane) {
  const Bitmap shown = Ramp(30, 24);
  TConvKernel psf;
  // X = mx - (320 - 30 + 17) div 2 = mx - 153; Y = my - (240 - 24 + 15) div 2 = my - 115.
  PickLocalPSF(psf, shown, 153 + 5, 115 + 6, false, 320, 240);
  EXPECT_EQ(CornerValue(psf), 5 + 7 * 6);
  PickLocalPSF(psf, shown, 0, 0, false, 320, 240);
  EXPECT_EQ(CornerValue(psf), 0);
  PickLocalPSF(psf, shown, 319, 239, false, 320, 240);
  EXPECT_EQ(CornerValue(psf), 13 + 7 * 9);
}

TEST(PickLocalPSF, SameKernelAsReadingTheWholePicture) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> side(1, 40), pos(-60, 400);
  for (int round = 0; round < 200; ++round) {
    const int w = side(rng), h = side(rng);
    const PixelFormat format = round % 4 == 0 ? PixelFormat::Indexed8 : PixelFormat::Bgr24;
    Bitmap shown(w, h, format);
    if (format == PixelFormat::Indexed8) {
      shown.Palette().resize(256);
      for (auto& e : shown.Palette())
        e = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), 0};
    }
    for (int y = 0; y < h; ++y)
      for (std::size_t i = 0; i < shown.RowBytes(); ++i) shown.Row(y)[i] = static_cast<std::uint8_t>(rng());
    const bool whole = round % 2 == 0;
    const int mx = pos(rng), my = pos(rng);
    TConvKernel start;
    for (auto& b : start.Bytes) b = static_cast<std::uint8_t>(rng());
    TConvKernel picked = start, expected = start;
    Bitmap drawn = PickLocalPSF(picked, shown, mx, my, whole, 320, 240);

    const int x = whole ? w * (mx - 8) / 320 : mx - (320 - w + 17) / 2;
    const int y = whole ? h * (my - 7) / 240 : my - (240 - h + 15) / 2;
    Bitmap copy = shown;
    ASSERT_TRUE(BitmapToKernel(expected, copy, x, y));
    ASSERT_EQ(picked, expected) << "round " << round;
    Bitmap want;
    KernelToBitmap(want, expected);
    ASSERT_EQ(drawn, want);
  }
}

TEST(PickLocalPSF, EmptyPictureOrPane) {
  TConvKernel psf = StartupLocalPSF();
  EXPECT_TRUE(PickLocalPSF(psf, Bitmap(), 100, 100, true, 320, 240).Empty());
  EXPECT_EQ(psf, StartupLocalPSF());
  EXPECT_THROW(PickLocalPSF(psf, Ramp(5, 5), 100, 100, true, 0, 240), RangeError);
  EXPECT_EQ(psf, StartupLocalPSF());

  // A small picture gives a small kernel; rows it lacks keep their bytes.
  PickLocalPSF(psf, Ramp(10, 4), 50, 50, true, 320, 240);
  EXPECT_EQ(psf[0], 10);
  EXPECT_EQ(psf[1 + 10 * 3 + 9], 9 + 21);
  EXPECT_EQ(psf[1 + 10 * 4], StartupLocalPSF()[1 + 10 * 4]);
}
