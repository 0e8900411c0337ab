// Neighbourhood filters: normalised convolution with a byte kernel and the
// 3 x 3 median.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/image_ops.h"
#include "core/image_ops_detail.h"

namespace corvane {

namespace {

// ---- convolution -------------------------------------------------------------

// Whatever the kernel size, outputs start 8 columns and 7 rows into the
// rectangle and leave 9 columns and 8 rows on the far sides.
constexpr std::int32_t BorderLeft = 8;
constexpr std::int32_t BorderTop = 7;
constexpr std::int32_t BorderWidth = 17;
constexpr std::int32_t BorderHeight = 15;

struct Tap {
  std::ptrdiff_t Offset;  // from the top-left sample of the kernel window
  std::uint32_t Weight;
};

struct Taps {
  std::array<Tap, 255> Items;
  std::int32_t Count = 0;
  std::uint32_t Sum = 1;  // divisor: the weight sum, 1 when that is 0
};

// Weighted sum of one window divided by the weight sum. The sum of 255
// products of a byte and a sample stays below 2^32.
inline std::uint16_t ConvolveAt(const std::uint16_t* window, const Taps& taps) noexcept {
  std::uint32_t acc = 0;
  for (std::int32_t t = 0; t < taps.Count; ++t) acc += taps.Items[t].Weight * window[taps.Items[t].Offset];
  return static_cast<std::uint16_t>(acc / taps.Sum);
}

// Outputs of one row, 32 at a time in vector registers. The quotient is
// taken in doubles: for a sum n < 2^32 and a divisor S <= 65025,
// (n + 0.5) x (1 / S) lies at least 0.5 / S from every integer while its
// rounding error is below 2^-36, so truncating it gives exactly n div S.
typedef std::uint16_t U16x8 __attribute__((vector_size(16)));
typedef std::uint32_t U32x8 __attribute__((vector_size(32)));
typedef std::int32_t I32x4 __attribute__((vector_size(16)));
typedef double F64x4 __attribute__((vector_size(32)));

CORVANE_AVX2_CLONES
void ConvolveRows(std::uint16_t* d, std::ptrdiff_t dStride, const std::uint16_t* s, std::ptrdiff_t sStride,
                  std::int32_t n, std::int32_t rows, const Taps& taps) noexcept {
  constexpr std::int32_t Block = 32;
  const double inverse = 1.0 / taps.Sum;
  for (std::int32_t j = 0; j < rows; ++j, d += dStride, s += sStride) {
    std::int32_t i = 0;
    for (; i + Block <= n; i += Block) {
      U32x8 acc[Block / 8] = {};
      for (std::int32_t t = 0; t < taps.Count; ++t) {
        const std::uint16_t* p = s + i + taps.Items[t].Offset;
        const U32x8 weight = U32x8{} + taps.Items[t].Weight;
        for (std::int32_t v = 0; v < Block / 8; ++v) {
          U16x8 samples;
          std::memcpy(&samples, p + 8 * v, sizeof samples);
          acc[v] += __builtin_convertvector(samples, U32x8) * weight;
        }
      }
      std::uint32_t sums[Block];
      std::memcpy(sums, acc, sizeof sums);
      for (std::int32_t v = 0; v < Block; v += 4) {
        I32x4 biased;  // n - 2^31 as a signed value converts directly
        for (std::int32_t l = 0; l < 4; ++l) biased[l] = static_cast<std::int32_t>(sums[v + l] ^ 0x80000000u);
        const F64x4 q = (__builtin_convertvector(biased, F64x4) + 2147483648.5) * inverse;
        const I32x4 quotient = __builtin_convertvector(q, I32x4);
        for (std::int32_t l = 0; l < 4; ++l) d[i + v + l] = static_cast<std::uint16_t>(quotient[l]);
      }
    }
    for (; i < n; ++i) d[i] = ConvolveAt(s + i, taps);
  }
}

// ---- 3 x 3 median ------------------------------------------------------------

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

void Image16Convolve(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                     std::int32_t sy, std::int32_t w, std::int32_t h, const TConvKernel& kernel) {
  const std::int32_t nominal = kernel[0];
  std::int32_t kw = 17, kh = 15;
  if (nominal >= 2 && nominal < 17) kw = kh = nominal | 1;
  if (kw * kh > 255)
    throw RangeError("Image16Convolve: kernel size " + std::to_string(nominal) + " needs " + std::to_string(kw) +
                     " x " + std::to_string(kh) + " = " + std::to_string(kw * kh) + " weights, the kernel holds 255");
  std::uint32_t sum = 0;
  for (std::int32_t i = 0; i < kw * kh; ++i) sum += kernel[1 + static_cast<std::size_t>(i)];
  if (sum > 65535)  // cannot happen with byte weights (at most 255 x 255), kept as the rule's guard
    throw RangeError("Image16Convolve: weight sum " + std::to_string(sum) + " passes 65535");

  Image16ClipPair(destination, dx, dy, source, sx, sy, w, h);
  const std::int32_t n = w - BorderWidth, rows = h - BorderHeight;
  if (n <= 0 || rows <= 0) return;

  Taps taps;
  taps.Sum = sum == 0 ? 1 : sum;
  for (std::int32_t r = 0; r < kh; ++r)
    for (std::int32_t c = 0; c < kw; ++c)
      if (const std::uint32_t weight = kernel[1 + static_cast<std::size_t>(r * kw + c)]; weight != 0)
        taps.Items[taps.Count++] = {static_cast<std::ptrdiff_t>(r) * source.Width + c, weight};

  // Output (DX + 8 + i, DY + 7 + j) reads the window whose top-left sample is
  // source (SX + 8 + i - KW div 2, SY + 7 + j - KH div 2).
  std::uint16_t* d = destination.Row(dy + BorderTop) + dx + BorderLeft;
  const std::uint16_t* s = source.Row(sy + BorderTop - kh / 2) + sx + BorderLeft - kw / 2;
  if (&destination == &source) {
    // One plane as both: outputs follow reading order and later windows see
    // the outputs already written, one sample at a time.
    for (std::int32_t j = 0; j < rows; ++j)
      for (std::int32_t i = 0; i < n; ++i) d[j * destination.Width + i] = ConvolveAt(s + j * source.Width + i, taps);
    return;
  }
  ConvolveRows(d, destination.Width, s, source.Width, n, rows, taps);
}

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
