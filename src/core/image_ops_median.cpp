// The 3 x 3 median filter.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/image_ops.h"
#include "core/image_ops_detail.h"

namespace corvane {

namespace {

// By value (std::min and std::max hand back references, which keeps GCC from
// vectorising loads chosen through them).
inline std::uint16_t Min16(std::uint16_t a, std::uint16_t b) noexcept { return a < b ? a : b; }
inline std::uint16_t Max16(std::uint16_t a, std::uint16_t b) noexcept { return a < b ? b : a; }
inline std::uint16_t Median3Of(std::uint16_t a, std::uint16_t b, std::uint16_t c) noexcept {
  return Max16(Min16(a, b), Min16(Max16(a, b), c));
}

// With the three columns of a 3 x 3 window each sorted (lo <= mid <= hi),
// the median of the nine is the median of: the largest lo, the median of
// the mids and the smallest hi.
CORVANE_AVX2_CLONES
void MedianRows(std::uint16_t* d, std::ptrdiff_t dStride, const std::uint16_t* s, std::ptrdiff_t sStride,
                std::int32_t w, std::int32_t h) noexcept {
  constexpr std::int32_t Chunk = 512;
  std::uint16_t lo[Chunk + 2], mid[Chunk + 2], hi[Chunk + 2];
  for (std::int32_t j = 1; j + 1 < h; ++j) {
    const std::uint16_t* r0 = s + (j - 1) * sStride;
    const std::uint16_t* r1 = r0 + sStride;
    const std::uint16_t* r2 = r1 + sStride;
    std::uint16_t* out = d + j * dStride + 1;
    for (std::int32_t c0 = 0; c0 + 2 < w; c0 += Chunk) {
      const std::int32_t len = std::min(Chunk, w - 2 - c0);
      for (std::int32_t k = 0; k < len + 2; ++k) {
        const std::uint16_t a = r0[c0 + k], b = r1[c0 + k], c = r2[c0 + k];
        const std::uint16_t l = Min16(a, b), u = Max16(a, b);
        lo[k] = Min16(l, c);
        const std::uint16_t t = Max16(l, c);
        mid[k] = Min16(u, t);
        hi[k] = Max16(u, t);
      }
      for (std::int32_t k = 0; k < len; ++k) {
        const std::uint16_t maxLo = Max16(Max16(lo[k], lo[k + 1]), lo[k + 2]);
        const std::uint16_t minHi = Min16(Min16(hi[k], hi[k + 1]), hi[k + 2]);
        const std::uint16_t midMid = Median3Of(mid[k], mid[k + 1], mid[k + 2]);
        out[c0 + k] = Median3Of(maxLo, midMid, minHi);
      }
    }
  }
}

// The same median for one window whose top-left sample is at p.
std::uint16_t MedianAt(const std::uint16_t* p, std::ptrdiff_t stride) noexcept {
  std::uint16_t lo[3], mid[3], hi[3];
  for (int k = 0; k < 3; ++k) {
    const std::uint16_t a = p[k], b = p[stride + k], c = p[2 * stride + k];
    const std::uint16_t l = Min16(a, b), u = Max16(a, b);
    lo[k] = Min16(l, c);
    const std::uint16_t t = Max16(l, c);
    mid[k] = Min16(u, t);
    hi[k] = Max16(u, t);
  }
  return Median3Of(Max16(Max16(lo[0], lo[1]), lo[2]), Median3Of(mid[0], mid[1], mid[2]),
                   Min16(Min16(hi[0], hi[1]), hi[2]));
}

}  // namespace

void Image16Median3(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                    std::int32_t sy, std::int32_t w, std::int32_t h) {
  Image16ClipPair(destination, dx, dy, source, sx, sy, w, h);
  if (w < 3 || h < 3) return;
  std::uint16_t* d = destination.Row(dy) + dx;
  const std::uint16_t* s = source.Row(sy) + sx;
  if (&destination == &source) {
    // One plane as both: reading order, each window seeing the outputs
    // already written above and to its left.
    for (std::int32_t j = 1; j + 1 < h; ++j)
      for (std::int32_t i = 1; i + 1 < w; ++i)
        d[j * destination.Width + i] = MedianAt(s + (j - 1) * source.Width + (i - 1), source.Width);
    return;
  }
  MedianRows(d, destination.Width, s, source.Width, w, h);
}

}  // namespace corvane
