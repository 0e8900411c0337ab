#pragma once
// Plain reference pieces for rectangle tests: the clipping rules written out
// step by step in 64-bit arithmetic (independent of the library's own
// routines), and random rectangles that are inside, overlapping, or far
// outside a plane.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "core/image16.h"

namespace corvane::test {

struct Rect {
  std::int32_t X = 0, Y = 0, W = 0, H = 0;
};

/// The five clipping steps against a PW x PH plane; negative sizes out are 0.
inline void RefClipRect(std::int64_t pw, std::int64_t ph, std::int32_t& x, std::int32_t& y, std::int32_t& w,
                        std::int32_t& h) {
  std::int64_t X = x, Y = y, W = w, H = h;
  if (X > pw) X = pw;
  if (Y > ph) Y = ph;
  if (W < 0) W = 0;
  if (H < 0) H = 0;
  if (W > pw) W = pw;
  if (H > ph) H = ph;
  if (std::llabs(X) + W > pw) W = pw - std::llabs(X);
  if (std::llabs(Y) + H > ph) H = ph - std::llabs(Y);
  if (X < 0) X = 0;
  if (Y < 0) Y = 0;
  x = static_cast<std::int32_t>(X);
  y = static_cast<std::int32_t>(Y);
  w = static_cast<std::int32_t>(std::max<std::int64_t>(0, W));
  h = static_cast<std::int32_t>(std::max<std::int64_t>(0, H));
}

/// The pair rule for planes of the given sizes. `samePlane`: one plane used
/// as both, where only the destination side is clipped unless the source
/// would then leave the plane (then the two-plane rule applies).
inline void RefClipPair(std::int64_t dw, std::int64_t dh, std::int32_t& dx, std::int32_t& dy, std::int64_t sw,
                        std::int64_t sh, std::int32_t& sx, std::int32_t& sy, std::int32_t& w, std::int32_t& h,
                        bool samePlane = false) {
  if (samePlane) {
    std::int32_t x = dx, y = dy, cw = w, ch = h;
    RefClipRect(dw, dh, x, y, cw, ch);
    if (cw == 0 || ch == 0 || (sx >= 0 && sy >= 0 && std::int64_t{sx} + cw <= sw && std::int64_t{sy} + ch <= sh)) {
      dx = x, dy = y, w = cw, h = ch;
      return;
    }
  }
  const auto sat = [](std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
  };
  if (sx < 0) dx = sat(std::int64_t{dx} - sx);
  if (sy < 0) dy = sat(std::int64_t{dy} - sy);
  std::int32_t w1 = w, h1 = h, w2 = w, h2 = h;
  RefClipRect(dw, dh, dx, dy, w1, h1);
  RefClipRect(sw, sh, sx, sy, w2, h2);
  w = std::min(w1, w2);
  h = std::min(h1, h2);
}

/// A rectangle for a plane of pw x ph: a third lie inside, a third overlap an
/// edge, a third have origins before 0, beyond the far edge or several plane
/// sizes away, with sizes from negative to several plane sizes.
inline Rect RandomRect(std::mt19937& rng, std::int32_t pw, std::int32_t ph) {
  const auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return static_cast<std::int32_t>(std::uniform_int_distribution<std::int64_t>(lo, hi)(rng));
  };
  Rect r;
  switch (pick(0, 2)) {
    case 0:
      r.X = pick(0, std::max(0, pw - 1));
      r.Y = pick(0, std::max(0, ph - 1));
      r.W = pick(0, pw - r.X);
      r.H = pick(0, ph - r.Y);
      break;
    case 1:
      r.X = pick(-pw / 2 - 1, pw);
      r.Y = pick(-ph / 2 - 1, ph);
      r.W = pick(1, pw + 2);
      r.H = pick(1, ph + 2);
      break;
    default:
      r.X = pick(-3LL * pw - 3, 3LL * pw + 3);
      r.Y = pick(-3LL * ph - 3, 3LL * ph + 3);
      r.W = pick(-3, 3LL * pw + 3);
      r.H = pick(-3, 3LL * ph + 3);
      break;
  }
  return r;
}

/// An origin for the second plane of a pair, drawn like RandomRect's origins.
inline void RandomOrigin(std::mt19937& rng, std::int32_t pw, std::int32_t ph, std::int32_t& x, std::int32_t& y) {
  const Rect r = RandomRect(rng, pw, ph);
  x = r.X;
  y = r.Y;
}

}  // namespace corvane::test
