// Point operations: look-up table, subtraction, accumulation, products,
// divisions and the level stretch.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "core/errors.h"
#include "core/image_ops.h"
#include "core/image_ops_detail.h"

namespace corvane {

namespace detail {

std::uint32_t CheckedWord(const char* operation, const char* parameter, std::int64_t value) {
  if (value < 0 || value > 65535)
    throw RangeError(std::string(operation) + ": " + parameter + " " + std::to_string(value) + " outside 0..65535");
  return static_cast<std::uint32_t>(value);
}

}  // namespace detail

using detail::LoadPixel;
using detail::PixelAddress;
using detail::PixelShape;
using detail::StorePixel;

namespace {

// A 32-bit pixel divided by a 16-bit divisor, 65535 when the quotient would
// not fit in 16 bits (a divisor of 0 included).
inline std::uint16_t SaturatingQuotient(std::uint32_t v, std::uint32_t divisor) noexcept {
  return divisor > (v >> 16) ? static_cast<std::uint16_t>(v / divisor) : std::uint16_t{65535};
}

CORVANE_AVX2_CLONES
void AccumulateBlock(std::uint16_t* acc, std::ptrdiff_t accStride, const std::uint16_t* src, std::ptrdiff_t srcStride,
                     std::int32_t w, std::int32_t h) noexcept {
  for (std::int32_t j = 0; j < h; ++j, acc += accStride, src += srcStride)
    for (std::int32_t i = 0; i < w; ++i) StorePixel(acc + 2 * i, LoadPixel(acc + 2 * i) + src[i]);
}

void MultiplyConstBlock(std::uint16_t* acc, std::ptrdiff_t accStride, const std::uint16_t* src,
                        std::ptrdiff_t srcStride, std::int32_t w, std::int32_t h, std::uint32_t factor) noexcept {
  for (std::int32_t j = 0; j < h; ++j, acc += accStride, src += srcStride)
    for (std::int32_t i = 0; i < w; ++i) StorePixel(acc + 2 * i, src[i] * factor);
}

void MultiplyPlanesBlock(std::uint16_t* acc, std::ptrdiff_t accStride, const std::uint16_t* a, std::ptrdiff_t aStride,
                         const std::uint16_t* b, std::ptrdiff_t bStride, std::int32_t w, std::int32_t h) noexcept {
  for (std::int32_t j = 0; j < h; ++j, acc += accStride, a += aStride, b += bStride)
    for (std::int32_t i = 0; i < w; ++i) StorePixel(acc + 2 * i, static_cast<std::uint32_t>(a[i]) * b[i]);
}

// The destination of a three-plane operation is clipped against the first
// source, then against the second; W and H only shrink.
void ClipThree(const TImage16& d, std::int32_t& dx, std::int32_t& dy, const TImage16& a, std::int32_t& ax,
               std::int32_t& ay, const TImage16& b, std::int32_t& bx, std::int32_t& by, std::int32_t& w,
               std::int32_t& h) noexcept {
  Image16ClipPair(d, dx, dy, a, ax, ay, w, h);
  Image16ClipPair(d, dx, dy, b, bx, by, w, h);
}

}  // namespace

void Image16ApplyLut(TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     const Lut16& table) {
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  if (w <= 0 || h <= 0) return;
  std::uint16_t* p = plane.Row(y) + x;
  for (std::int32_t j = 0; j < h; ++j, p += plane.Width)
    for (std::int32_t i = 0; i < w; ++i) p[i] = table[p[i]];
}

void Image16Subtract(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                     std::int32_t sy, std::int32_t w, std::int32_t h) {
  Image16ClipPair(destination, dx, dy, source, sx, sy, w, h);
  if (w <= 0 || h <= 0) return;
  std::uint16_t* d = destination.Row(dy) + dx;
  const std::uint16_t* s = source.Row(sy) + sx;
  for (std::int32_t j = 0; j < h; ++j, d += destination.Width, s += source.Width)
    for (std::int32_t i = 0; i < w; ++i) d[i] = static_cast<std::uint16_t>(s[i] <= d[i] ? d[i] - s[i] : 0);
}

void Image16Accumulate(TImage16& accumulation, std::int32_t dx, std::int32_t dy, const TImage16& source,
                       std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h) {
  Image16ClipPair(PixelShape(accumulation), dx, dy, source, sx, sy, w, h);
  if (w <= 0 || h <= 0) return;
  AccumulateBlock(PixelAddress(accumulation, dx, dy), accumulation.Width, source.Row(sy) + sx, source.Width, w, h);
}

void Image16MultiplyConst(TImage16& accumulation, std::int32_t dx, std::int32_t dy, const TImage16& source,
                          std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int64_t factor) {
  const std::uint32_t f = detail::CheckedWord("Image16MultiplyConst", "factor", factor);
  Image16ClipPair(PixelShape(accumulation), dx, dy, source, sx, sy, w, h);
  if (w <= 0 || h <= 0) return;
  MultiplyConstBlock(PixelAddress(accumulation, dx, dy), accumulation.Width, source.Row(sy) + sx, source.Width, w, h,
                     f);
}

void Image16MultiplyPlanes(TImage16& accumulation, std::int32_t dx, std::int32_t dy, const TImage16& a, std::int32_t ax,
                           std::int32_t ay, const TImage16& b, std::int32_t bx, std::int32_t by, std::int32_t w,
                           std::int32_t h) {
  ClipThree(PixelShape(accumulation), dx, dy, a, ax, ay, b, bx, by, w, h);
  if (w <= 0 || h <= 0) return;
  MultiplyPlanesBlock(PixelAddress(accumulation, dx, dy), accumulation.Width, a.Row(ay) + ax, a.Width, b.Row(by) + bx,
                      b.Width, w, h);
}

void Image16DivideConst(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& accumulation,
                        std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int64_t divisor) {
  const std::uint32_t e = detail::CheckedWord("Image16DivideConst", "divisor", divisor);
  Image16ClipPair(destination, dx, dy, PixelShape(accumulation), sx, sy, w, h);
  if (w <= 0 || h <= 0) return;
  std::uint16_t* d = destination.Row(dy) + dx;
  const std::uint16_t* a = PixelAddress(accumulation, sx, sy);
  for (std::int32_t j = 0; j < h; ++j, d += destination.Width, a += accumulation.Width)
    for (std::int32_t i = 0; i < w; ++i) d[i] = SaturatingQuotient(LoadPixel(a + 2 * i), e);
}

void Image16DividePlane(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& accumulation,
                        std::int32_t ax, std::int32_t ay, const TImage16& divisor, std::int32_t ex, std::int32_t ey,
                        std::int32_t w, std::int32_t h) {
  ClipThree(destination, dx, dy, PixelShape(accumulation), ax, ay, divisor, ex, ey, w, h);
  if (w <= 0 || h <= 0) return;
  std::uint16_t* d = destination.Row(dy) + dx;
  const std::uint16_t* a = PixelAddress(accumulation, ax, ay);
  const std::uint16_t* e = divisor.Row(ey) + ex;
  for (std::int32_t j = 0; j < h; ++j, d += destination.Width, a += accumulation.Width, e += divisor.Width)
    for (std::int32_t i = 0; i < w; ++i) d[i] = SaturatingQuotient(LoadPixel(a + 2 * i), e[i]);
}

void Image16Stretch(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& accumulation,
                    std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int32_t lowPercent,
                    std::int32_t highPercent) {
  // Both levels are 32-bit quantities; a percent whose level does not fit is
  // an overflow (a high percent above 102, a low percent above 32767).
  constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t int32Min = std::numeric_limits<std::int32_t>::min();
  const std::int64_t lowProduct = static_cast<std::int64_t>(lowPercent) * 65535;
  if (lowProduct > int32Max || lowProduct < int32Min)
    throw OverflowError("Image16Stretch: low percent " + std::to_string(lowPercent) +
                        " x 65535 overflows 32-bit integers");
  const std::int64_t highProduct = static_cast<std::int64_t>(highPercent) * 65535 * 320;
  if (highProduct > int32Max || highProduct < int32Min)
    throw OverflowError("Image16Stretch: high percent " + std::to_string(highPercent) +
                        " x 65535 x 320 overflows 32-bit integers");
  const std::int64_t lo = lowProduct / 100, hi = highProduct / 100;

  Image16ClipPair(destination, dx, dy, PixelShape(accumulation), sx, sy, w, h);
  if (w <= 0 || h <= 0) return;
  // Within 0..100 % every result lies in 0..65535; percents outside that
  // range could give results that do not fit a sample, which are held at the
  // nearest end instead of wrapping.
  const auto fit = [](std::int64_t v) { return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 65535)); };
  std::uint16_t* d = destination.Row(dy) + dx;
  const std::uint16_t* a = PixelAddress(accumulation, sx, sy);
  for (std::int32_t j = 0; j < h; ++j, d += destination.Width, a += accumulation.Width) {
    for (std::int32_t i = 0; i < w; ++i) {
      const std::int64_t v = LoadPixel(a + 2 * i);
      if (v < lo)
        d[i] = fit(v);
      else if (v >= hi)
        d[i] = 65535;
      else
        d[i] = fit(lo + (v - lo) * (65536 - lo) / (hi - lo));
    }
  }
}

}  // namespace corvane
