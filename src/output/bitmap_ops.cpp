// PSF pictures and kernels, field interpolation, frame window arithmetic and
// the bias/gain brightness table.
#include "output/bitmap_ops.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/errors.h"

namespace corvane {

bool BitmapToKernel(TConvKernel& kernel, Bitmap& bitmap, std::int32_t x, std::int32_t y) {
  bitmap.ConvertTo24();
  const std::int32_t width = bitmap.Width(), height = bitmap.Height();
  const std::int32_t w = std::min(17, width), h = std::min(15, height);
  x = std::max(x, 0);
  y = std::max(y, 0);
  if (x > width - w) x = width - w;
  if (y > height - h) y = height - h;
  if (w > 0 && h > 0 && x + w > BitmapRowLimit24)
    throw RangeError("BitmapToKernel: column " + std::to_string(x + w - 1) + " passes the row limit of " +
                     std::to_string(BitmapRowLimit24) + " columns");
  for (std::int32_t r = 0; r < h; ++r) {
    const std::uint8_t* px = bitmap.Row(y + r) + 3 * static_cast<std::size_t>(x);
    for (std::int32_t c = 0; c < w; ++c, px += 3)
      kernel[static_cast<std::size_t>(r * w + c + 1)] = static_cast<std::uint8_t>((px[0] + px[1] + px[2]) / 3);
  }
  kernel[0] = static_cast<std::uint8_t>(w);
  return true;
}

bool KernelToBitmap(Bitmap& bitmap, const TConvKernel& kernel) {
  const int w = kernel[0];
  if (w > 17 || bitmap.Format() != PixelFormat::Bgr24) return false;
  const int h = w == 17 ? 15 : w;
  bitmap.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* px = bitmap.Row(y);
    for (int x = 0; x < w; ++x, px += 3) {
      // A 16 x 16 kernel would need byte 256, one past the record: drawn black.
      const std::size_t i = static_cast<std::size_t>(y * w + x + 1);
      const std::uint8_t v = i < kernel.Bytes.size() ? kernel[i] : 0;
      px[0] = px[1] = px[2] = v;
    }
  }
  return true;
}

namespace {

/// Rebuilds rows first, first + 2, ... that have a row below them from the
/// rows directly above and below.
void InterpolateField(Bitmap& bitmap, int first, const char* operation) {
  if (bitmap.Format() != PixelFormat::Bgr24) return;
  const int height = bitmap.Height();
  if (first + 1 >= height) return;
  if (bitmap.Width() > BitmapRowLimit24)
    throw RangeError(std::string(operation) + ": width " + std::to_string(bitmap.Width()) +
                     " passes the row limit of " + std::to_string(BitmapRowLimit24) + " columns");
  const std::size_t n = bitmap.RowBytes();
  for (int t = first; t + 1 < height; t += 2) {
    const std::uint8_t* __restrict above = bitmap.Row(t - 1);
    const std::uint8_t* __restrict below = bitmap.Row(t + 1);
    std::uint8_t* __restrict dst = bitmap.Row(t);
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint8_t>((above[i] + below[i]) >> 1);
  }
}

}  // namespace

void InterpolateOddLines(Bitmap& bitmap) { InterpolateField(bitmap, 1, "InterpolateOddLines"); }
void InterpolateEvenLines(Bitmap& bitmap) { InterpolateField(bitmap, 2, "InterpolateEvenLines"); }

TFrameWindow FrameWindow(std::int32_t zoom, std::int32_t outW, std::int32_t outH, std::int32_t inW, std::int32_t inH,
                         std::int32_t cx, std::int32_t cy) {
  if (zoom < 1) throw RangeError("FrameWindow: zoom " + std::to_string(zoom) + " is below 1");
  TFrameWindow f{};
  f.W = std::min(CheckedMul(inW, zoom, "FrameWindow"), outW);
  f.H = std::min(CheckedMul(inH, zoom, "FrameWindow"), outH);
  f.X0 = std::max(0, outW / 2 - f.W / 2);
  f.Y0 = std::max(0, outH / 2 - f.H / 2);
  f.W /= zoom;
  f.H /= zoom;
  f.X1 = std::max(0, cx - f.W / 2);
  f.Y1 = std::max(0, cy - f.H / 2);
  return f;
}

namespace {

long double ClampCurveParameter(long double p) {
  if (p <= 0.01L) p = 0.01L;
  if (p >= 0.99L) p = 0.99L;
  return p;
}

}  // namespace

long double BiasCurve(long double b, long double t) {
  b = ClampCurveParameter(b);
  return t / ((1.0L / b - 2.0L) * (1.0L - t) + 1.0L);
}

long double GainCurve(long double g, long double t) {
  g = ClampCurveParameter(g);
  const long double a = 1.0L - g;
  const long double k = 1.0L / a - 2.0L;
  const long double v = k * (1.0L - 2.0L * t);
  if (t < 0.5L) return t / (v + 1.0L);
  return (v - t) / (v - 1.0L);
}

void BuildBiasGainLut(std::uint16_t* table, std::int32_t n, double bias, double gain) {
  if (n < 1) throw RangeError("BuildBiasGainLut: table size " + std::to_string(n) + " is below 1");
  const std::int32_t last = std::min(n, 65535);
  const long double size = n;
  for (std::int32_t i = 0; i <= last; ++i) {
    const long double t = static_cast<long double>(i) / size;
    const long double v = BiasCurve(bias, GainCurve(gain, t)) * size;
    if (!(v > -1.0L && v < 65536.0L))  // also catches a NaN bias or gain
      throw RangeError("BuildBiasGainLut: entry " + std::to_string(i) + " = " + std::to_string(v) +
                       " is outside 0..65535 (table size " + std::to_string(n) + ", bias " + std::to_string(bias) +
                       ", gain " + std::to_string(gain) + ")");
    table[i] = static_cast<std::uint16_t>(v);  // truncates toward zero
  }
}

}  // namespace corvane
