// Geometric operations: linear shift, 2 x enlargement and the factor resize.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/image_ops.h"

namespace corvane {

namespace {

std::int32_t Round32(double v) noexcept {
  // Sizes here are at most a few ten thousand; the clamp only keeps odd inputs defined.
  return static_cast<std::int32_t>(std::clamp(std::nearbyint(v), -2147483648.0, 2147483647.0));
}

}  // namespace

void Image16LinearShiftCopy(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source,
                            std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int32_t n) {
  // The row count drops by ceil(n / W) of the W given. An empty or negative
  // width copies nothing (and would divide by zero here).
  if (w <= 0) return;
  const std::int64_t fewer = (static_cast<std::int64_t>(n) + w - 1) / w;
  const std::int64_t rows = static_cast<std::int64_t>(h) - fewer;
  if (rows <= 0) return;
  h = static_cast<std::int32_t>(std::min<std::int64_t>(rows, std::numeric_limits<std::int32_t>::max()));
  Image16ClipPair(destination, dx, dy, source, sx, sy, w, h);
  if (w <= 0 || h <= 0) return;
  // Reads stay inside the source's samples: a destination sample whose
  // source index falls outside them (a large shift near the end of the plane,
  // a negative shift at its start) is left as it is.
  const std::int64_t count = static_cast<std::int64_t>(source.SampleCount());
  const std::uint16_t* s = source.Data.get();
  std::uint16_t* d = destination.Row(dy) + dx;
  std::int64_t start = static_cast<std::int64_t>(sy) * source.Width + sx + n;
  for (std::int32_t j = 0; j < h; ++j, d += destination.Width, start += source.Width) {
    const std::int64_t first = std::max<std::int64_t>(0, -start);
    const std::int64_t last = std::min<std::int64_t>(w, count - start);  // one past
    for (std::int64_t i = first; i < last; ++i) d[i] = s[start + i];
  }
}

void Image16Zoom2(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                  std::int32_t sy, std::int32_t w, std::int32_t h) {
  Image16ClipRect(source.Width, source.Height, sx, sy, w, h);
  std::int32_t w2 = 2 * w, h2 = 2 * h;  // w, h are clipped to a plane: no overflow
  Image16ClipRect(destination.Width, destination.Height, dx, dy, w2, h2);
  w = w2 / 2;
  h = h2 / 2;
  if (w <= 0 || h <= 0) return;
  const std::ptrdiff_t dw = destination.Width;
  if (&destination == &source) {
    // One plane as both: keep the reading order, each sample read just
    // before its four copies are written.
    for (std::int32_t j = 0; j < h; ++j)
      for (std::int32_t i = 0; i < w; ++i) {
        const std::uint16_t v = Image16GetPixel(source, sx + i, sy + j);
        std::uint16_t* d = destination.Row(dy + 2 * j) + dx + 2 * i;
        d[0] = v;
        d[1] = v;
        d[dw] = v;
        d[dw + 1] = v;
      }
    return;
  }
  const std::uint16_t* s = source.Row(sy) + sx;
  std::uint16_t* d = destination.Row(dy) + dx;
  for (std::int32_t j = 0; j < h; ++j, s += source.Width, d += 2 * dw) {
    for (std::int32_t i = 0; i < w; ++i) {
      d[2 * i] = s[i];
      d[2 * i + 1] = s[i];
    }
    std::memcpy(d + dw, d, 2 * static_cast<std::size_t>(w) * sizeof(std::uint16_t));
  }
}

namespace {

constexpr std::int32_t ResizeUnit = 720;
constexpr std::int32_t ResizeLineLimit = MaxImageWidth + 1;

}  // namespace

void Image16Resize(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                   std::int32_t sy, std::int32_t w, std::int32_t h, double factor) {
  if (std::isnan(factor)) throw RangeError("Image16Resize: factor nan is not a number");
  const double f = factor <= 0.1 ? 0.1 : (factor >= 10.0 ? 10.0 : factor);
  const std::int32_t step = Round32(ResizeUnit / f);
  Image16ClipRect(source.Width, source.Height, sx, sy, w, h);
  std::int32_t wd = Round32(w * f), hd = Round32(h * f);
  Image16ClipRect(destination.Width, destination.Height, dx, dy, wd, hd);
  w = Round32(wd / f);
  h = Round32(hd / f);
  if (w <= 0 || h <= 0) return;

  // Every output line is built by the same column stepping, so the source
  // column of each output sample is worked out once: columns[m] = c.
  const std::int32_t dw = destination.Width;
  std::vector<std::int32_t> columns;
  {
    std::int64_t u = 0;
    std::int64_t m = 0;
    for (std::int32_t c = 0; c < w; ++c) {
      u -= ResizeUnit;
      for (; u < 0 && m < dw; ++m, u += step)
        if (m < ResizeLineLimit) columns.push_back(c);
    }
    if (m > ResizeLineLimit)
      throw RangeError("Image16Resize: an output line of " + std::to_string(m) + " samples passes the limit of " +
                       std::to_string(ResizeLineLimit) + " samples (width " + std::to_string(w) + ", factor " +
                       std::to_string(f) + ")");
  }
  // Destination rows are written at (DY + k) x width + DX only before the
  // start of the last row; a line never runs on into the next row, so only
  // its first `m` samples are ever used.
  const std::int32_t m = std::min(static_cast<std::int32_t>(columns.size()), dw - dx);
  const std::int64_t lastDestRow = static_cast<std::int64_t>(destination.Height - 1) * dw;
  // Source lines start at (SY + r) x width + SX, but never beyond the start of
  // the last row; a read never passes the last sample.
  const std::int64_t lastSourceRow = static_cast<std::int64_t>(source.Height - 1) * source.Width;
  const std::int64_t lastSample = static_cast<std::int64_t>(source.SampleCount()) - 1;
  const bool onePlane = &destination == &source;
  std::vector<std::uint16_t> line(onePlane ? m : 0);

  std::int64_t rowAcc = 0, k = 0;
  for (std::int32_t r = 0; r < h; ++r) {
    rowAcc -= ResizeUnit;
    if (rowAcc >= 0) continue;  // this source row makes no destination row
    const std::int64_t firstAt = (static_cast<std::int64_t>(dy) + k) * dw + dx;
    if (firstAt >= lastDestRow) break;  // every later row lies further down
    const std::int64_t start = std::min((static_cast<std::int64_t>(sy) + r) * source.Width + sx, lastSourceRow);
    const std::uint16_t* s = source.Data.get() + start;
    const std::int32_t room = static_cast<std::int32_t>(std::min<std::int64_t>(lastSample - start, w - 1));
    std::uint16_t* first = onePlane ? line.data() : destination.Data.get() + firstAt;
    if (room == w - 1) {
      for (std::int32_t q = 0; q < m; ++q) first[q] = s[columns[q]];
    } else {
      for (std::int32_t q = 0; q < m; ++q) first[q] = s[std::min(columns[q], room)];
    }
    for (; rowAcc < 0; ++k, rowAcc += step) {
      const std::int64_t at = (static_cast<std::int64_t>(dy) + k) * dw + dx;
      if (at >= lastDestRow || (!onePlane && at == firstAt)) continue;
      std::memcpy(destination.Data.get() + at, first, static_cast<std::size_t>(m) * sizeof(std::uint16_t));
    }
  }
}

}  // namespace corvane
