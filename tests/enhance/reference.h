#pragma once
// Plain per-sample versions of the PSF convolution and the three sharpening
// methods, written straight from their definitions, for the tests to compare
// the fast code with.
#include <algorithm>
#include <cstdint>
#include <random>

#include "core/conv_kernel.h"
#include "core/image16.h"
#include "support/test_support.h"

namespace corvane::test {

/// Weight of kernel column c, row r as the convolution reads it: byte
/// r x w + c + 1 for c < w = min(byte 0, 17) and r < min(byte 0, 15); the
/// padding column and row of an even width weigh 0.
inline std::int64_t RefWeight(const TConvKernel& k, int c, int r) {
  const int w = std::min<int>(k[0], 17);
  if (c >= w || r >= std::min<int>(k[0], 15)) return 0;
  return k[static_cast<std::size_t>(r * w + c + 1)];
}

/// The plain convolution: 64-bit sums, division toward zero, interior only.
inline void RefConvolve(TImage16& d, const TImage16& s, const TConvKernel& k, bool include = true) {
  if (k[0] == 0) return;
  const int w = std::min<int>(k[0], 17);
  const int rX = w / 2, rY = std::min<int>(k[0], 15) / 2;
  std::int64_t norm = 0;
  if (include)
    for (int r = 0; r < std::min<int>(k[0], 15); ++r)
      for (int c = 0; c < w; ++c) norm += RefWeight(k, c, r);
  norm = std::max<std::int64_t>(1, norm);
  const TImage16 src = ClonePlane(s);  // in-place calls read the source as it was
  for (int y = rY; y <= src.Height - 1 - rY && y < d.Height; ++y)
    for (int x = rX; x <= src.Width - 1 - rX && x < d.Width; ++x) {
      std::int64_t sum = 0;
      for (int j = -rY; j <= rY; ++j)
        for (int i = -rX; i <= rX; ++i) sum += Image16GetPixel(src, x + i, y + j) * RefWeight(k, i + rX, j + rY);
      Image16SetPixel(d, x, y, static_cast<std::uint16_t>(std::clamp<std::int64_t>(sum / norm, 0, 65535)));
    }
}

inline std::uint16_t Clamp16(std::int64_t v) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 65535));
}

/// Calls f(x, y) over the update interior: r = byte 0 div 2 from G's edges,
/// cut to X's plane.
template <class F>
void ForRefInterior(const TImage16& x, const TImage16& g, const TConvKernel& k, F f) {
  const int r = k[0] / 2;
  for (int y = r; y <= g.Height - 1 - r && y < x.Height; ++y)
    for (int i = r; i <= g.Width - 1 - r && i < x.Width; ++i) f(i, y);
}

inline void RefUnsharp(TImage16& x, const TImage16& g, const TConvKernel& k, std::int64_t s) {
  if (k[0] == 0) return;
  RefConvolve(x, g, k);
  ForRefInterior(x, g, k, [&](int i, int y) {
    const std::int64_t b = Image16GetPixel(x, i, y), v = Image16GetPixel(g, i, y);
    Image16SetPixel(x, i, y, Clamp16(b + ((v - b) * s) / 4));
  });
}

inline void RefCittert(TImage16& x, const TImage16& g, int width, int height, const TConvKernel& k, int n) {
  if (k[0] == 0) return;
  TImage16 t;
  Image16Create(t, x.Width, x.Height);
  Image16Copy(t, 0, 0, x, 0, 0, width, height);
  for (int it = 0; it < n; ++it) {
    RefConvolve(t, x, k);
    ForRefInterior(x, g, k, [&](int i, int y) {
      const std::int64_t e = Image16GetPixel(x, i, y), tv = Image16GetPixel(t, i, y), gv = Image16GetPixel(g, i, y);
      Image16SetPixel(x, i, y, Clamp16(e + ((gv - tv) * 256) / 256));
    });
  }
}

inline void RefLucy(TImage16& x, const TImage16& g, int width, int height, const TConvKernel& k, int n) {
  if (k[0] == 0) return;
  TImage16 t, q;
  Image16Create(t, x.Width, x.Height);
  Image16Copy(t, 0, 0, x, 0, 0, width, height);
  Image16Create(q, x.Width, x.Height);
  for (int it = 0; it < n; ++it) {
    RefConvolve(t, x, k);
    ForRefInterior(x, g, k, [&](int i, int y) {
      const std::int64_t b = std::max<std::int64_t>(1, Image16GetPixel(t, i, y));
      Image16SetPixel(q, i, y, Clamp16(Image16GetPixel(g, i, y) * 256 / b));
    });
    RefConvolve(t, q, k);
    ForRefInterior(x, g, k, [&](int i, int y) {
      const std::int64_t p = static_cast<std::int64_t>(Image16GetPixel(x, i, y)) * Image16GetPixel(t, i, y);
      Image16SetPixel(x, i, y, Clamp16(p / 256));
    });
  }
}

/// A kernel of the given width whose 255 weight bytes are all random (bytes
/// the convolution must not read are random too); `maxWeight` bounds them.
inline TConvKernel RandomKernel(std::mt19937& rng, int width, int maxWeight = 255) {
  TConvKernel k;
  std::uniform_int_distribution<int> d(0, maxWeight);
  for (std::size_t i = 1; i < k.Bytes.size(); ++i) k[i] = static_cast<std::uint8_t>(d(rng));
  k[0] = static_cast<std::uint8_t>(width);
  return k;
}

/// A kernel of the given width with every byte set to v.
inline TConvKernel FlatKernel(int width, std::uint8_t v) {
  TConvKernel k;
  k.Bytes.fill(v);
  k[0] = static_cast<std::uint8_t>(width);
  return k;
}

}  // namespace corvane::test
