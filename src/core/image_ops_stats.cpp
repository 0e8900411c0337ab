// Statistics over a rectangle: mean, centre of light, brightest and darkest
// position, histogram and the difference score of two planes.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "core/image_ops.h"
#include "core/image_ops_detail.h"

namespace corvane {

namespace {

// Sum of a w x h block starting at p. A row of at most MaxImageWidth (65 536)
// samples sums within 32 bits (65 536 x 65 535 < 2^32), so each row is added in 32 bits (which vectorises well) and
// the rows in 64.
CORVANE_AVX2_CLONES
std::uint64_t SumBlock(const std::uint16_t* p, std::ptrdiff_t stride, std::int32_t w, std::int32_t h) noexcept {
  std::uint64_t total = 0;
  for (std::int32_t j = 0; j < h; ++j, p += stride) {
    std::uint32_t row = 0;
    for (std::int32_t i = 0; i < w; ++i) row += p[i];
    total += row;
  }
  return total;
}

// Sum of |a - b| over a w x h block; rows in 32 bits as above.
CORVANE_AVX2_CLONES
std::uint64_t AbsDiffBlock(const std::uint16_t* a, std::ptrdiff_t strideA, const std::uint16_t* b,
                           std::ptrdiff_t strideB, std::int32_t w, std::int32_t h) noexcept {
  std::uint64_t total = 0;
  for (std::int32_t j = 0; j < h; ++j, a += strideA, b += strideB) {
    std::uint32_t row = 0;
    for (std::int32_t i = 0; i < w; ++i) {
      const std::uint16_t x = a[i], y = b[i];
      row += static_cast<std::uint16_t>(x > y ? x - y : y - x);
    }
    total += row;
  }
  return total;
}

std::uint64_t AbsDiffTotal(const TImage16& a, std::int32_t ax, std::int32_t ay, const TImage16& b, std::int32_t bx,
                           std::int32_t by, std::int32_t w, std::int32_t h) noexcept {
  Image16ClipPair(a, ax, ay, b, bx, by, w, h);
  if (w <= 0 || h <= 0) return 0;
  return AbsDiffBlock(a.Row(ay) + ax, a.Width, b.Row(by) + bx, b.Width, w, h);
}

}  // namespace

std::int32_t Image16Mean(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  if (w <= 0 || h <= 0) return 0;
  const std::uint64_t sum = SumBlock(plane.Row(y) + x, plane.Width, w, h);
  return static_cast<std::int32_t>(sum / (static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h)));
}

TPosition Image16Centroid(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                          double threshold) {
  // NaN counts as 0 like any threshold below the range.
  const double t = threshold >= 0.0 ? std::min(threshold, 1.0) : 0.0;
  const auto limit = static_cast<std::uint32_t>(std::nearbyint(t * 65535.0));  // ties to even
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  if (w <= 0 || h <= 0) return {0, 0};
  std::uint64_t s = 1, sx = 0, sy = 0;
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint16_t* p = plane.Row(y + j) + x;
    std::uint64_t rowSum = 0, rowMoment = 0;
    for (std::int32_t i = 0; i < w; ++i) {
      const std::uint64_t v = p[i] > limit ? p[i] : 0;
      rowSum += v;
      rowMoment += v * static_cast<std::uint64_t>(i + 1);
    }
    s += rowSum;
    sx += rowMoment;
    sy += rowSum * static_cast<std::uint64_t>(j);
  }
  return {static_cast<std::int32_t>(sx / s), static_cast<std::int32_t>(sy / s)};
}

TPosition Image16MaxPos(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  TPosition best{w / 2, h / 2};
  if (w <= 0 || h <= 0) return best;
  std::uint32_t bestValue = 0;
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint16_t* p = plane.Row(y + j) + x;
    std::uint16_t rowMax = 0;
    for (std::int32_t i = 0; i < w; ++i) rowMax = std::max(rowMax, p[i]);
    if (rowMax > bestValue) {  // the first sample of this row that reaches it wins
      bestValue = rowMax;
      best = {static_cast<std::int32_t>(std::find(p, p + w, rowMax) - p), j};
    }
  }
  return best;
}

TPosition Image16MinPos(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  TPosition best{w / 2, h / 2};
  if (w <= 0 || h <= 0) return best;
  std::uint32_t bestValue = 65536;
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint16_t* p = plane.Row(y + j) + x;
    std::uint16_t rowMin = 65535;
    for (std::int32_t i = 0; i < w; ++i) rowMin = std::min(rowMin, p[i]);
    if (rowMin < bestValue) {
      bestValue = rowMin;
      best = {static_cast<std::int32_t>(std::find(p, p + w, rowMin) - p), j};
    }
  }
  return best;
}

void Image16Histogram(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                      Lut16& histogram) {
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  if (w <= 0 || h <= 0) return;
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint16_t* p = plane.Row(y + j) + x;
    for (std::int32_t i = 0; i < w; ++i) {
      std::uint16_t& count = histogram[p[i]];
      if (count != 65535) ++count;
    }
  }
}

std::uint32_t Image16AbsDiffSum(const TImage16& a, std::int32_t ax, std::int32_t ay, const TImage16& b, std::int32_t bx,
                                std::int32_t by, std::int32_t w, std::int32_t h) {
  // Every term is non-negative, so holding the running sum at the top equals
  // holding the total there.
  const std::uint64_t total = AbsDiffTotal(a, ax, ay, b, bx, by, w, h);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
}

std::uint64_t Image16AbsDiffSum64(const TImage16& a, std::int32_t ax, std::int32_t ay, const TImage16& b,
                                  std::int32_t bx, std::int32_t by, std::int32_t w, std::int32_t h) {
  return AbsDiffTotal(a, ax, ay, b, bx, by, w, h);
}

}  // namespace corvane
