#include "stack/frame_placement.h"

#include <algorithm>
#include <cmath>

#include "output/bitmap_ops.h"

namespace corvane {

namespace {

// Keys' cubic convolution kernel with a = -0.5, at distance d >= 0.
double Cubic(double d) {
  constexpr double a = -0.5;
  if (d <= 1.0) return ((a + 2.0) * d - (a + 3.0)) * d * d + 1.0;
  if (d < 2.0) return ((a * d - 5.0 * a) * d + 8.0 * a) * d - 4.0 * a;
  return 0.0;
}

// The taps of one axis for the fraction t (0 <= t < 1). A fraction of 0 gives
// the single weight 1 on the sample itself, so that axis reads samples as they are.
void Weights(Resampling resampling, double t, float* w) {
  if (resampling == Resampling::Bilinear) {
    w[0] = static_cast<float>(1.0 - t);
    w[1] = static_cast<float>(t);
    if (t == 0.0) w[0] = 1.0f, w[1] = 0.0f;
    return;
  }
  if (t == 0.0) {
    w[0] = 0.0f, w[1] = 1.0f, w[2] = 0.0f, w[3] = 0.0f;
    return;
  }
  w[0] = static_cast<float>(Cubic(1.0 + t));
  w[1] = static_cast<float>(Cubic(t));
  w[2] = static_cast<float>(Cubic(1.0 - t));
  w[3] = static_cast<float>(Cubic(2.0 - t));
}

// The result range [lo, hi) along one axis whose positions X + k + t lie inside
// 0 .. size - 1 and inside the window [w0, w0 + wn) of a result of rsize.
void CoveredRange(std::int64_t k, double t, std::int32_t size, std::int32_t w0, std::int32_t wn, std::int32_t rsize,
                  std::int32_t& lo, std::int32_t& hi) {
  const std::int64_t last = static_cast<std::int64_t>(size) - 1 - (t > 0.0 ? 1 : 0);
  const std::int64_t a = std::max<std::int64_t>({w0, -k, 0});
  const std::int64_t b = std::min<std::int64_t>({static_cast<std::int64_t>(w0) + wn, last - k + 1, rsize});
  lo = static_cast<std::int32_t>(a);
  hi = static_cast<std::int32_t>(std::max(a, b));
}

}  // namespace

PlacedFrame::PlacedFrame(const TImageListItem& frame, std::int32_t rw, std::int32_t rh, Resampling resampling)
    : m_plane(frame.Image) {
  const std::int32_t fw = m_plane.Width, fh = m_plane.Height;
  const TFrameWindow win = FrameWindow(1, rw, rh, fw, fh, fw / 2, fh / 2);
  m_whole = resampling == Resampling::WholeSamples || (frame.SubShift.x == 0.0 && frame.SubShift.y == 0.0);
  if (m_whole) {
    // The rectangle Image16Accumulate adds, clipped the same way.
    TImage16 shape;
    shape.Width = rw;
    shape.Height = rh;
    std::int32_t dx = win.X0, dy = win.Y0, sx = win.X1 + frame.Shift.x, sy = win.Y1 + frame.Shift.y;
    std::int32_t w = win.W, h = win.H;
    Image16ClipPair(shape, dx, dy, m_plane, sx, sy, w, h);
    if (w <= 0 || h <= 0) return;
    m_x0 = dx, m_x1 = dx + w, m_y0 = dy, m_y1 = dy + h;
    m_ox = sx - dx, m_oy = sy - dy;
    return;
  }
  // Result column X reads the plane at X + bx + SubShift.x = X + kx + tx.
  const std::int64_t bx = static_cast<std::int64_t>(win.X1) + frame.Shift.x - win.X0;
  const std::int64_t by = static_cast<std::int64_t>(win.Y1) + frame.Shift.y - win.Y0;
  const double fx = std::floor(frame.SubShift.x), fy = std::floor(frame.SubShift.y);
  const std::int64_t kx = bx + static_cast<std::int64_t>(fx), ky = by + static_cast<std::int64_t>(fy);
  const double tx = frame.SubShift.x - fx, ty = frame.SubShift.y - fy;
  CoveredRange(kx, tx, fw, win.X0, win.W, rw, m_x0, m_x1);
  CoveredRange(ky, ty, fh, win.Y0, win.H, rh, m_y0, m_y1);
  if (m_x0 >= m_x1 || m_y0 >= m_y1) {
    m_x0 = m_x1 = m_y0 = m_y1 = 0;
    return;
  }
  m_ox = static_cast<std::int32_t>(kx);
  m_oy = static_cast<std::int32_t>(ky);
  m_taps = resampling == Resampling::Bilinear ? 2 : 4;
  m_before = resampling == Resampling::Bilinear ? 0 : 1;
  Weights(resampling, tx, m_wx);
  Weights(resampling, ty, m_wy);
  m_column.resize(static_cast<std::size_t>(m_x1 - m_x0 + m_taps - 1));
  m_out.resize(static_cast<std::size_t>(m_x1 - m_x0));
}

namespace {

// The vertical pass: col[i] = sum over j of wy[j] x rows[j][c0 + i], for i < n.
template <int Taps>
void VerticalPass(const std::uint16_t* const* rows, const float* wy, std::int32_t c0, std::int32_t n, float* col) {
  for (std::int32_t i = 0; i < n; ++i) {
    float v = 0.0f;
    for (int j = 0; j < Taps; ++j) v += wy[j] * static_cast<float>(rows[j][c0 + i]);
    col[i] = v;
  }
}

// The horizontal pass, rounded to the nearest sample (ties to even: adding
// and taking away 1.5 x 2^23 leaves the nearest integer under the default
// rounding) and held in 0..65535.
template <int Taps>
void HorizontalPass(const float* col, const float* wx, std::int32_t w, std::uint16_t* out) {
  constexpr float Round = 12582912.0f;
  for (std::int32_t i = 0; i < w; ++i) {
    float v = 0.0f;
    for (int k = 0; k < Taps; ++k) v += wx[k] * col[i + k];
    std::int32_t r = static_cast<std::int32_t>((v + Round) - Round);
    r = r < 0 ? 0 : r;
    r = r > 65535 ? 65535 : r;
    out[i] = static_cast<std::uint16_t>(r);
  }
}

}  // namespace

const std::uint16_t* PlacedFrame::Row(std::int32_t y) {
  if (m_whole) return m_plane.Row(y + m_oy) + (m_x0 + m_ox);
  const std::int32_t fw = m_plane.Width, fh = m_plane.Height;
  // Vertical pass over the plane columns c0 .. c0 + n - 1; columns beyond the
  // plane repeat its edge.
  const std::int32_t c0 = m_x0 + m_ox - m_before;
  const std::int32_t n = static_cast<std::int32_t>(m_column.size());
  const std::int32_t lo = std::max(c0, 0), hi = std::min(c0 + n, fw);
  float* col = m_column.data();
  const std::uint16_t* rows[4];
  for (int j = 0; j < m_taps; ++j) rows[j] = m_plane.Row(std::clamp(y + m_oy - m_before + j, 0, fh - 1));
  if (m_taps == 2)
    VerticalPass<2>(rows, m_wy, lo, hi - lo, col + (lo - c0));
  else
    VerticalPass<4>(rows, m_wy, lo, hi - lo, col + (lo - c0));
  for (std::int32_t c = c0; c < lo; ++c) col[c - c0] = col[lo - c0];
  for (std::int32_t c = hi; c < c0 + n; ++c) col[c - c0] = col[hi - 1 - c0];
  const std::int32_t w = m_x1 - m_x0;
  if (m_taps == 2)
    HorizontalPass<2>(col, m_wx, w, m_out.data());
  else
    HorizontalPass<4>(col, m_wx, w, m_out.data());
  return m_out.data();
}

}  // namespace corvane
