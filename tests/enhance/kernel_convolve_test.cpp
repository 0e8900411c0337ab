#include "enhance/kernel_convolve.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/errors.h"
#include "enhance/parallel_rows.h"
#include "enhance/reference.h"

using namespace corvane;
using corvane::detail::ConvolvePath;
using namespace corvane::test;

namespace {

// The default local PSF: the 15 x 15 picture the main window starts with.
TConvKernel DefaultLocalPsf() {
  const int half[8][15] = {{24, 24, 36, 48, 60, 60, 72, 72, 72, 60, 60, 48, 36, 24, 24},
                           {24, 36, 48, 60, 84, 84, 96, 96, 96, 84, 84, 60, 48, 36, 24},
                           {36, 48, 72, 84, 108, 120, 120, 132, 120, 120, 108, 84, 72, 48, 36},
                           {48, 60, 84, 108, 132, 144, 156, 156, 156, 144, 132, 108, 84, 60, 48},
                           {60, 84, 108, 120, 156, 168, 180, 192, 180, 168, 156, 120, 108, 84, 60},
                           {60, 84, 120, 144, 168, 192, 204, 216, 204, 192, 168, 144, 120, 84, 60},
                           {72, 96, 120, 156, 180, 204, 228, 228, 228, 204, 180, 156, 120, 96, 72},
                           {72, 96, 132, 156, 192, 216, 228, 240, 228, 216, 192, 156, 132, 96, 72}};
  TConvKernel k;
  k[0] = 15;
  for (int r = 0; r < 15; ++r)
    for (int c = 0; c < 15; ++c)
      k[static_cast<std::size_t>(1 + r * 15 + c)] = static_cast<std::uint8_t>(half[r < 8 ? r : 14 - r][c]);
  return k;
}

std::vector<ConvolvePath> AvailablePaths() {
  std::vector<ConvolvePath> paths;
  for (ConvolvePath p : {ConvolvePath::Auto, ConvolvePath::Plain, ConvolvePath::Sse2, ConvolvePath::Avx2})
    if (detail::ConvolvePathAvailable(p)) paths.push_back(p);
  return paths;
}

std::string Describe(ConvolvePath path, int threads, int width, int w, int h) {
  return "path " + std::to_string(static_cast<int>(path)) + ", threads " + std::to_string(threads) + ", kernel width " +
         std::to_string(width) + ", plane " + std::to_string(w) + " x " + std::to_string(h);
}

// Convolves on every available path and thread count and compares with the
// plain definition; the destination starts random so untouched samples show.
void ExpectSameAsReference(std::mt19937& rng, const TImage16& source, const TConvKernel& k, std::int32_t dw,
                           std::int32_t dh, bool include = true) {
  const TImage16 start = RandomPlane(rng, dw, dh);
  TImage16 expected = ClonePlane(start);
  RefConvolve(expected, source, k, include);
  for (ConvolvePath path : AvailablePaths())
    for (int threads : {1, 2, 3, 0}) {
      TImage16 d = ClonePlane(start);
      detail::KernelConvolveOn(path, d, source, k, include, threads);
      ASSERT_TRUE(SamePlane(d, expected)) << Describe(path, threads, k[0], source.Width, source.Height);
    }
}

}  // namespace

TEST(KernelValue, IndexesWithTheStoredWidth) {
  TConvKernel k;
  for (std::size_t i = 0; i < 256; ++i) k[i] = static_cast<std::uint8_t>(i);
  k[0] = 5;
  EXPECT_EQ(KernelValue(0, 0, k), 1);
  EXPECT_EQ(KernelValue(4, 0, k), 5);
  EXPECT_EQ(KernelValue(0, 1, k), 6);  // byte 1 x 5 + 0 + 1
  EXPECT_EQ(KernelValue(4, 4, k), 25);
  k[0] = 40;  // 17 or more: stride 17
  EXPECT_EQ(KernelValue(16, 14, k), 255);
  EXPECT_EQ(KernelValue(0, 1, k), 18);
  k[0] = 0;
  EXPECT_EQ(KernelValue(0, 0, k), 1);
}

TEST(KernelValue, OutsideTheRecordIsARangeError) {
  TConvKernel k;
  k[0] = 17;
  EXPECT_THROW(KernelValue(0, 15, k), RangeError);  // byte 256
  EXPECT_THROW(KernelValue(-2, 0, k), RangeError);  // byte -1
  EXPECT_EQ(KernelValue(-1, 0, k), 17);             // byte 0 itself
  k[0] = 0;
  EXPECT_THROW(KernelValue(255, 0, k), RangeError);
}

TEST(KernelSum, SumsTheWeightsTheConvolutionUses) {
  EXPECT_EQ(KernelSum(DefaultLocalPsf(), true), 24528);
  EXPECT_EQ(KernelSum(DefaultLocalPsf(), false), 0);
  EXPECT_EQ(KernelSum(FlatKernel(17, 255), true), 17 * 15 * 255);
  EXPECT_EQ(KernelSum(FlatKernel(200, 255), true), 17 * 15 * 255);
  EXPECT_EQ(KernelSum(FlatKernel(16, 1), true), 16 * 15);  // a 16-wide record holds 15 rows
  EXPECT_EQ(KernelSum(FlatKernel(4, 1), true), 16);
  EXPECT_EQ(KernelSum(FlatKernel(1, 7), true), 7);
  EXPECT_EQ(KernelSum(FlatKernel(0, 7), true), 0);
}

TEST(KernelConvolve, MatchesThePlainLoopForEveryWidthPathAndThreadCount) {
  std::mt19937 rng(7);
  // Sizes below the kernel, interiors narrower than one vector, odd tails, and
  // rows long enough for the widest blocks (64 outputs).
  const int sizes[][2] = {{40, 33}, {17, 15}, {18, 16}, {16, 30}, {30, 14},  {61, 23},
                          {9, 9},   {3, 50},  {1, 1},   {25, 2},  {150, 19}, {83, 17}};
  for (int width = 1; width <= 18; ++width)
    for (const auto& size : sizes) {
      const TImage16 source = RandomPlane(rng, size[0], size[1]);
      ExpectSameAsReference(rng, source, RandomKernel(rng, width), size[0], size[1]);
    }
}

TEST(KernelConvolve, WidthsAbove17ReadAs17By15) {
  std::mt19937 rng(11);
  const TImage16 source = RandomPlane(rng, 45, 37);
  for (int width : {18, 99, 255}) ExpectSameAsReference(rng, source, RandomKernel(rng, width), 45, 37);
  TImage16 a = ClonePlane(source), b = ClonePlane(source);
  TConvKernel k = RandomKernel(rng, 255);
  KernelConvolve(a, source, k);
  k[0] = 17;
  KernelConvolve(b, source, k);
  EXPECT_TRUE(SamePlane(a, b));
}

TEST(KernelConvolve, EvenWidthsBlurAsTheNextOddWidthWithAZeroColumnAndRow) {
  std::mt19937 rng(3);
  const TImage16 source = RandomPlane(rng, 50, 40);
  for (int width : {2, 4, 8, 14, 16}) {
    const TConvKernel even = RandomKernel(rng, width);
    const int cols = std::min(width, 17), rows = std::min(width, 15);
    TConvKernel odd;  // the same weights padded to the next odd width
    odd[0] = static_cast<std::uint8_t>(width + 1);
    const int oddRows = std::min(width + 1, 15);
    for (int r = 0; r < oddRows; ++r)
      for (int c = 0; c < width + 1; ++c)
        odd[static_cast<std::size_t>(1 + r * (width + 1) + c)] =
            r < rows && c < cols ? even[static_cast<std::size_t>(1 + r * width + c)] : 0;
    TImage16 a = ConstantPlane(50, 40, 1), b = ConstantPlane(50, 40, 1);
    KernelConvolve(a, source, even);
    KernelConvolve(b, source, odd);
    EXPECT_TRUE(SamePlane(a, b)) << "width " << width;
  }
}

TEST(KernelConvolve, ExtremeSumsStayExact) {
  std::mt19937 rng(5);
  // Full weights on white: the largest sum (255 x 255 x 65535) gives white again.
  TImage16 d = ConstantPlane(30, 20, 0);
  KernelConvolve(d, ConstantPlane(30, 20, 65535), FlatKernel(17, 255));
  EXPECT_EQ(Image16GetPixel(d, 8, 7), 65535);
  EXPECT_EQ(Image16GetPixel(d, 21, 12), 65535);
  EXPECT_EQ(Image16GetPixel(d, 7, 7), 0);   // left border not written
  EXPECT_EQ(Image16GetPixel(d, 8, 13), 0);  // bottom border not written
  // Black and white samples only, heavy weights: both ends of the offset range.
  for (int width : {17, 15, 9}) {
    TImage16 source = RandomPlane(rng, 48, 31);
    for (std::size_t i = 0; i < source.SampleCount(); ++i) source.Data[i] = source.Data[i] & 1 ? 65535 : 0;
    ExpectSameAsReference(rng, source, RandomKernel(rng, width), 48, 31);
    TConvKernel heavy = FlatKernel(width, 255);
    heavy[5] = 254;
    ExpectSameAsReference(rng, source, heavy, 48, 31);
  }
  // All weights 0: the norm is 1 and the interior turns black.
  d = ConstantPlane(20, 20, 9);
  KernelConvolve(d, RandomPlane(rng, 20, 20), FlatKernel(5, 0));
  EXPECT_EQ(Image16GetPixel(d, 2, 2), 0);
  EXPECT_EQ(Image16GetPixel(d, 1, 2), 9);
}

TEST(KernelConvolve, FlatPictureStaysFlat) {
  // Every sum is then an exact multiple of the norm: the quotient must not
  // come out one too low.
  std::mt19937 rng(23);
  for (int round = 0; round < 40; ++round) {
    const auto value = static_cast<std::uint16_t>(round < 2 ? 65535 * round : rng() % 65536);
    const TConvKernel k = RandomKernel(rng, 1 + static_cast<int>(rng() % 17), round % 3 == 0 ? 3 : 255);
    for (ConvolvePath path : AvailablePaths()) {
      TImage16 d = ConstantPlane(36, 20, 0);
      detail::KernelConvolveOn(path, d, ConstantPlane(36, 20, value), k, true, 1);
      const int rX = std::min<int>(k[0], 17) / 2, rY = std::min<int>(k[0], 15) / 2;
      const bool anyWeight = KernelSum(k, true) > 0;
      ASSERT_EQ(Image16GetPixel(d, rX, rY), anyWeight ? value : 0) << round;
      ASSERT_EQ(Image16GetPixel(d, 35 - rX, 19 - rY), anyWeight ? value : 0) << round;
    }
  }
}

TEST(KernelConvolve, WithoutNormalisingTheSumIsHeldAtWhite) {
  std::mt19937 rng(9);
  TConvKernel k = FlatKernel(1, 3);
  TImage16 d = ConstantPlane(4, 4, 0);
  KernelConvolve(d, ConstantPlane(4, 4, 100), k, false);
  EXPECT_EQ(Image16GetPixel(d, 3, 3), 300);
  KernelConvolve(d, ConstantPlane(4, 4, 30000), k, false);
  EXPECT_EQ(Image16GetPixel(d, 0, 0), 65535);
  for (int width : {1, 3, 17}) {
    ExpectSameAsReference(rng, RandomPlane(rng, 33, 21, 0, 40), RandomKernel(rng, width, 3), 33, 21, false);
    ExpectSameAsReference(rng, RandomPlane(rng, 33, 21), RandomKernel(rng, width), 33, 21, false);
  }
}

TEST(KernelConvolve, DestinationOfAnotherSizeIsWrittenWhereItOverlaps) {
  std::mt19937 rng(13);
  const TImage16 source = RandomPlane(rng, 40, 30);
  for (int width : {1, 5, 17}) {
    const TConvKernel k = RandomKernel(rng, width);
    ExpectSameAsReference(rng, source, k, 20, 12);
    ExpectSameAsReference(rng, source, k, 60, 50);
    ExpectSameAsReference(rng, source, k, 11, 45);
  }
}

TEST(KernelConvolve, InPlaceReadsTheSourceAsItWas) {
  std::mt19937 rng(17);
  for (int threads : {1, 2, 3}) {
    TImage16 plane = RandomPlane(rng, 37, 29);
    const TConvKernel k = RandomKernel(rng, 7);
    TImage16 expected = ClonePlane(plane);
    RefConvolve(expected, plane, k);
    KernelConvolve(plane, plane, k, true, threads);
    EXPECT_TRUE(SamePlane(plane, expected)) << threads;
  }
}

TEST(KernelConvolve, EmptyKernelOrPlaneWritesNothing) {
  std::mt19937 rng(19);
  const TImage16 source = RandomPlane(rng, 20, 20);
  TImage16 d = RandomPlane(rng, 20, 20);
  const TImage16 before = ClonePlane(d);
  KernelConvolve(d, source, RandomKernel(rng, 0));
  EXPECT_TRUE(SamePlane(d, before));
  TImage16 none;  // no storage
  KernelConvolve(d, none, RandomKernel(rng, 3));
  KernelConvolve(none, source, RandomKernel(rng, 3));
  TImage16 freed = ClonePlane(source);
  Image16Free(freed);  // keeps its size, holds no samples
  KernelConvolve(d, freed, RandomKernel(rng, 3));
  KernelConvolve(freed, source, RandomKernel(rng, 3));
  EXPECT_TRUE(SamePlane(d, before));
}

TEST(KernelConvolve, UnavailablePathIsARangeError) {
  TImage16 d = ConstantPlane(4, 4, 0);
  for (ConvolvePath p : {ConvolvePath::Sse2, ConvolvePath::Avx2}) {
    if (!detail::ConvolvePathAvailable(p)) {
      EXPECT_THROW(detail::KernelConvolveOn(p, d, d, FlatKernel(1, 1), true, 1), RangeError);
    }
  }
}

TEST(ParallelRows, CoversEveryRowOnceAndCarriesErrorsBack) {
  for (int workers : {1, 2, 3, 7}) {
    std::vector<int> seen(50, 0);
    detail::ParallelRows(3, 53, workers, [&](std::int32_t y0, std::int32_t y1) {
      for (std::int32_t y = y0; y < y1; ++y) ++seen[static_cast<std::size_t>(y - 3)];
    });
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 50) << workers;
  }
  EXPECT_THROW(detail::ParallelRows(0, 10, 3,
                                    [](std::int32_t y0, std::int32_t) {
                                      if (y0 > 0) throw std::runtime_error("band failed");
                                    }),
               std::runtime_error);
  EXPECT_EQ(detail::WorkerCount(3, 2, 100), 2);
  EXPECT_EQ(detail::WorkerCount(0, 1, 1), 1);
  EXPECT_EQ(detail::WorkerCount(5, 0, 100), 0);
}
