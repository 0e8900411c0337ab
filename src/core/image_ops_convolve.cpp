// Normalised convolution with a byte kernel.
//
// The row kernel multiplies two horizontally adjacent taps at once with the
// 16 x 16 -> 32-bit multiply-add of SSE2 (8 outputs a vector) or AVX2 (16),
// picked at run time. That multiply is signed, so samples enter shifted down
// by 32768 and the shift is added back as 32768 x the weight sum; the signed
// sums stay within 32 bits (at most 65025 x 32768 < 2^31).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/errors.h"
#include "core/image_ops.h"
#include "core/image_ops_detail.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>
#define CORVANE_CONVOLVE_SIMD 1
#endif

namespace corvane {

namespace {

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

// Taps c and c + 1 of one kernel row: the weight of c in the low half of
// Weights, that of c + 1 in the high half (0 past the kernel's last column).
struct TapPair {
  std::ptrdiff_t Offset;
  std::int32_t Weights;
};

struct Kernel {
  std::array<Tap, 255> Taps;
  std::int32_t TapCount = 0;
  std::array<TapPair, 255> Pairs;
  std::int32_t PairCount = 0;
  std::uint32_t WeightSum = 0;
  std::uint32_t Divisor = 1;  // the weight sum, 1 when that is 0
};

// One output: the weighted sum of the window at `window` (below 2^32: at most
// 255 products of a byte and a sample) divided by the weight sum.
inline std::uint16_t ConvolveAt(const std::uint16_t* window, const Kernel& k) noexcept {
  std::uint32_t acc = 0;
  for (std::int32_t t = 0; t < k.TapCount; ++t) acc += k.Taps[t].Weight * window[k.Taps[t].Offset];
  return static_cast<std::uint16_t>(acc / k.Divisor);
}

#ifdef CORVANE_CONVOLVE_SIMD

// The row kernel is written once (image_ops_convolve_rows.inc) and compiled
// once per instruction set, each copy with its own target attribute on every
// function, so that no vector value crosses into code built for another set.
namespace sse2 {

#define CORVANE_SIMD_TARGET
struct Ops {
  using V = __m128i;
  static constexpr std::int32_t Lanes = 8;
  static V Load(const std::uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static V Zero() { return _mm_setzero_si128(); }
  static V Splat16(std::int16_t v) { return _mm_set1_epi16(v); }
  static V Splat32(std::int32_t v) { return _mm_set1_epi32(v); }
  static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  static V Low(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V High(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static V MulAdd(V a, V b) { return _mm_madd_epi16(a, b); }
  static V Add(V a, V b) { return _mm_add_epi32(a, b); }
  // The sums of Lanes consecutive outputs, given the products of the low and
  // the high interleave.
  static void Store(std::int32_t* out, V low, V high) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), high);
  }
};
#include "core/image_ops_convolve_rows.inc"
#undef CORVANE_SIMD_TARGET

}  // namespace sse2

#ifndef CORVANE_NO_DISPATCH
namespace avx2 {

#define CORVANE_SIMD_TARGET __attribute__((target("avx2")))
struct Ops {
  using V = __m256i;
  static constexpr std::int32_t Lanes = 16;
  CORVANE_SIMD_TARGET static V Load(const std::uint16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  CORVANE_SIMD_TARGET static V Zero() { return _mm256_setzero_si256(); }
  CORVANE_SIMD_TARGET static V Splat16(std::int16_t v) { return _mm256_set1_epi16(v); }
  CORVANE_SIMD_TARGET static V Splat32(std::int32_t v) { return _mm256_set1_epi32(v); }
  CORVANE_SIMD_TARGET static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  CORVANE_SIMD_TARGET static V Low(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  CORVANE_SIMD_TARGET static V High(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  CORVANE_SIMD_TARGET static V MulAdd(V a, V b) { return _mm256_madd_epi16(a, b); }
  CORVANE_SIMD_TARGET static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
  // The interleaves work within 128-bit halves: low holds outputs 0-3 and
  // 8-11, high 4-7 and 12-15.
  CORVANE_SIMD_TARGET static void Store(std::int32_t* out, V low, V high) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8), _mm256_permute2x128_si256(low, high, 0x31));
  }
};
#include "core/image_ops_convolve_rows.inc"
#undef CORVANE_SIMD_TARGET

}  // namespace avx2
#endif

#endif  // CORVANE_CONVOLVE_SIMD

void ConvolveRows(std::uint16_t* d, std::ptrdiff_t dStride, const std::uint16_t* s, std::ptrdiff_t sStride,
                  std::int32_t n, std::int32_t rows, const Kernel& k) {
#ifdef CORVANE_CONVOLVE_SIMD
#ifndef CORVANE_NO_DISPATCH
  static const bool hasAvx2 = __builtin_cpu_supports("avx2");
  if (hasAvx2) return avx2::ConvolveRowsSimd(d, dStride, s, sStride, n, rows, k);
#endif
  sse2::ConvolveRowsSimd(d, dStride, s, sStride, n, rows, k);
#else
  for (std::int32_t j = 0; j < rows; ++j, d += dStride, s += sStride)
    for (std::int32_t i = 0; i < n; ++i) d[i] = ConvolveAt(s + i, k);
#endif
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
  const auto weight = [&](std::int32_t r, std::int32_t c) -> std::uint32_t {
    return c < kw ? kernel[1 + static_cast<std::size_t>(r * kw + c)] : 0;
  };
  Kernel k;
  for (std::int32_t r = 0; r < kh; ++r)
    for (std::int32_t c = 0; c < kw; ++c) k.WeightSum += weight(r, c);
  if (k.WeightSum > 65535)  // cannot happen with byte weights (at most 255 x 255); kept as the rule's guard
    throw RangeError("Image16Convolve: weight sum " + std::to_string(k.WeightSum) + " passes 65535");
  k.Divisor = k.WeightSum == 0 ? 1 : k.WeightSum;

  Image16ClipPair(destination, dx, dy, source, sx, sy, w, h);
  const std::int32_t n = w - BorderWidth, rows = h - BorderHeight;
  if (n <= 0 || rows <= 0) return;

  // Taps and pairs of taps with a weight; offsets in the source's rows. The
  // second tap of a row's last pair may lie one column past the kernel with
  // weight 0: the window of the last output still lies inside the clipped
  // rectangle then (8 + KW div 2 <= 16 columns on its right).
  for (std::int32_t r = 0; r < kh; ++r) {
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(r) * source.Width;
    for (std::int32_t c = 0; c < kw; ++c)
      if (weight(r, c) != 0) k.Taps[k.TapCount++] = {row + c, weight(r, c)};
    for (std::int32_t c = 0; c < kw; c += 2)
      if (weight(r, c) != 0 || weight(r, c + 1) != 0)
        k.Pairs[k.PairCount++] = {row + c, static_cast<std::int32_t>(weight(r, c) | weight(r, c + 1) << 16)};
  }

  // Output (DX + 8 + i, DY + 7 + j) reads the window whose top-left sample is
  // source (SX + 8 + i - KW div 2, SY + 7 + j - KH div 2).
  std::uint16_t* d = destination.Row(dy + BorderTop) + dx + BorderLeft;
  const std::uint16_t* s = source.Row(sy + BorderTop - kh / 2) + sx + BorderLeft - kw / 2;
  if (&destination == &source) {
    // One plane as both: outputs follow reading order, and later windows see
    // the outputs already written.
    for (std::int32_t j = 0; j < rows; ++j)
      for (std::int32_t i = 0; i < n; ++i)
        d[static_cast<std::ptrdiff_t>(j) * destination.Width + i] =
            ConvolveAt(s + static_cast<std::ptrdiff_t>(j) * source.Width + i, k);
    return;
  }
  ConvolveRows(d, destination.Width, s, source.Width, n, rows, k);
}

}  // namespace corvane
