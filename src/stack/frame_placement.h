#pragma once
// Where a frame lands on the result plane of a combine, row by row.
//
// A frame is centred on the result (its centre on the result's centre) and
// moved by its shift: result pixel (X, Y) shows frame sample
// (X - DX + SX + Shift.x, Y - DY + SY + Shift.y), DX, DY, SX, SY being the
// frame window of the two sizes. With whole-sample shifts this is exactly the
// rectangle Image16Accumulate adds (clipped by Image16ClipPair). With a
// fractional shift (SubShift, interpolation on) the position falls between
// samples and the frame is resampled there by bilinear or bicubic
// interpolation; a result pixel is covered when its position lies inside the
// frame (0 .. width - 1, 0 .. height - 1), taps beyond the edge repeat the edge
// sample, and values are rounded to the nearest sample (ties to even) and held
// in 0..65535. A fraction of 0 on an axis reads the samples unchanged.
#include <cstdint>
#include <vector>

#include "core/frame_list.h"

namespace corvane {

/// How frames with a fractional shift are resampled.
enum class Resampling : std::uint8_t {
  WholeSamples,  ///< the fraction is ignored: placed by Shift alone
  Bilinear,
  Bicubic,  ///< Keys' cubic convolution, a = -0.5
};

/// One frame placed on a result of rw x rh. Holds a row buffer when it
/// resamples; reads the frame, never writes it.
class PlacedFrame {
 public:
  PlacedFrame(const TImageListItem& frame, std::int32_t rw, std::int32_t rh, Resampling resampling);

  /// Whether the frame is placed by whole samples (Image16Accumulate's rectangle).
  bool Whole() const noexcept { return m_whole; }
  /// The covered rectangle of the result: columns X0 .. X1 - 1, rows Y0 .. Y1 - 1
  /// (empty when X0 >= X1 or Y0 >= Y1).
  std::int32_t X0() const noexcept { return m_x0; }
  std::int32_t X1() const noexcept { return m_x1; }
  std::int32_t Y0() const noexcept { return m_y0; }
  std::int32_t Y1() const noexcept { return m_y1; }

  /// The samples the frame gives to result row y (Y0 <= y < Y1), for the
  /// columns X0 .. X1 - 1. The pointer stays valid until the next call.
  const std::uint16_t* Row(std::int32_t y);

 private:
  const TImage16& m_plane;
  bool m_whole = true;
  std::int32_t m_x0 = 0, m_x1 = 0, m_y0 = 0, m_y1 = 0;
  // Whole samples: result (X, Y) <- plane (X + m_ox, Y + m_oy).
  std::int32_t m_ox = 0, m_oy = 0;
  // Resampling: result column X reads taps from plane column X + m_ox - m_before;
  // result row Y from plane row Y + m_oy - m_before, each with the weights below.
  int m_taps = 0;
  int m_before = 0;
  float m_wx[4] = {};
  float m_wy[4] = {};
  std::vector<float> m_column;       // the vertical pass over the needed plane columns, edges repeated
  std::vector<std::uint16_t> m_out;  // the row handed out
};

}  // namespace corvane
