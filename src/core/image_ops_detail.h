#pragma once
// Helpers shared by the image operation sources; not part of the public API.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/image16.h"

// Runtime dispatch for the hottest kernels: GCC builds an AVX2 and a baseline
// body and picks one when the program starts. The rest of the program stays
// on the baseline instruction set. Defining CORVANE_NO_DISPATCH builds the
// baseline bodies only (to test them on a machine that has AVX2).
#if !defined(CORVANE_NO_DISPATCH) && defined(__GNUC__) && !defined(__clang__) && \
    (defined(__x86_64__) || defined(__i386__))
#define CORVANE_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define CORVANE_AVX2_CLONES
#endif

namespace corvane::detail {

/// A storage-less stand-in that carries an accumulation plane's pixel size
/// (Width / 2 x Height), so that it can be clipped by Image16ClipRect and
/// Image16ClipPair like any plane. Being a separate object it always takes
/// the two-plane rule.
inline TImage16 PixelShape(const TImage16& accumulation) noexcept {
  TImage16 shape;
  shape.Width = accumulation.Width / 2;
  shape.Height = accumulation.Height;
  return shape;
}

/// The 32-bit pixel stored at p (two samples, low half first).
inline std::uint32_t LoadPixel(const std::uint16_t* p) noexcept {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StorePixel(std::uint16_t* p, std::uint32_t v) noexcept { std::memcpy(p, &v, sizeof v); }

/// Start of pixel (x, y) of an accumulation plane, in samples.
inline std::uint16_t* PixelAddress(TImage16& accumulation, std::int32_t x, std::int32_t y) noexcept {
  return accumulation.Row(y) + 2 * static_cast<std::ptrdiff_t>(x);
}
inline const std::uint16_t* PixelAddress(const TImage16& accumulation, std::int32_t x, std::int32_t y) noexcept {
  return accumulation.Row(y) + 2 * static_cast<std::ptrdiff_t>(x);
}

/// `value` as a 16-bit factor or divisor; RangeError naming the operation,
/// the parameter and the value when it lies outside 0..65535.
/// n samples as grey 24-bit pixels: each sample's high byte three times.
CORVANE_AVX2_CLONES void GreyRowOut(std::uint8_t* dst, const std::uint16_t* src, std::int32_t n);

std::uint32_t CheckedWord(const char* operation, const char* parameter, std::int64_t value);

}  // namespace corvane::detail
