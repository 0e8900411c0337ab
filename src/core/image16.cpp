#include "core/image16.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "core/errors.h"
#include "core/image_ops_detail.h"

namespace corvane {

void PlaneFree::operator()(std::uint16_t* samples) const noexcept {
  if (Release != nullptr)
    Release(Context, samples);
  else
    std::free(samples);
}

void Image16Create(TImage16& plane, std::int32_t width, std::int32_t height) {
  plane.Data.reset();  // a plane re-created never keeps its old block
  plane.Width = std::clamp<std::int32_t>(width, 0, MaxImageWidth);
  plane.Height = std::clamp<std::int32_t>(height, 0, MaxImageHeight);
  const std::size_t bytes = plane.SampleCount() * sizeof(std::uint16_t) + 4;
  void* block = std::calloc(1, bytes);
  if (block == nullptr) throw std::bad_alloc();
  plane.Data = PlaneData(static_cast<std::uint16_t*>(block));
}

void Image16Free(TImage16& plane) noexcept { plane.Data.reset(); }

std::int32_t Image16Index(std::int32_t x, std::int32_t y, std::int32_t width) {
  const long long v = static_cast<long long>(y) * width + x;
  if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min())
    throw OverflowError("Image16Index: " + std::to_string(y) + " x " + std::to_string(width) + " + " +
                        std::to_string(x) + " overflows 32-bit integers");
  return static_cast<std::int32_t>(v);
}

std::int32_t Image16ByteOffset(std::int32_t x, std::int32_t y, std::int32_t width) {
  const long long v = 2LL * Image16Index(x, y, width);
  if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min())
    throw OverflowError("Image16ByteOffset: offset of (" + std::to_string(x) + ", " + std::to_string(y) +
                        ") in rows of " + std::to_string(width) + " overflows 32-bit integers");
  return static_cast<std::int32_t>(v);
}

namespace {

std::int32_t Saturate32(long long v) noexcept {
  return static_cast<std::int32_t>(
      std::clamp<long long>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void Image16ClipRect(std::int32_t planeWidth, std::int32_t planeHeight, std::int32_t& x, std::int32_t& y,
                     std::int32_t& w, std::int32_t& h) noexcept {
  long long X = x, Y = y, W = w, H = h;
  const long long PW = planeWidth, PH = planeHeight;
  if (X > PW) X = PW;
  if (Y > PH) Y = PH;
  if (W < 0) W = 0;
  if (H < 0) H = 0;
  if (W > PW) W = PW;
  if (H > PH) H = PH;
  if (std::llabs(X) + W > PW) W = PW - std::llabs(X);
  if (std::llabs(Y) + H > PH) H = PH - std::llabs(Y);
  if (X < 0) X = 0;
  if (Y < 0) Y = 0;
  // A size that comes out negative (an origin more than a plane size before 0) is empty.
  x = static_cast<std::int32_t>(X);
  y = static_cast<std::int32_t>(Y);
  w = static_cast<std::int32_t>(std::max(0LL, W));
  h = static_cast<std::int32_t>(std::max(0LL, H));
}

namespace {

void ClipTwoPlanes(const TImage16& d, std::int32_t& dx, std::int32_t& dy, const TImage16& s, std::int32_t& sx,
                   std::int32_t& sy, std::int32_t& w, std::int32_t& h) noexcept {
  if (sx < 0) dx = Saturate32(static_cast<long long>(dx) - sx);
  if (sy < 0) dy = Saturate32(static_cast<long long>(dy) - sy);
  std::int32_t dw = w, dh = h, sw = w, sh = h;
  Image16ClipRect(d.Width, d.Height, dx, dy, dw, dh);
  Image16ClipRect(s.Width, s.Height, sx, sy, sw, sh);
  w = std::min(dw, sw);
  h = std::min(dh, sh);
}

}  // namespace

void Image16ClipPair(const TImage16& destination, std::int32_t& dx, std::int32_t& dy, const TImage16& source,
                     std::int32_t& sx, std::int32_t& sy, std::int32_t& w, std::int32_t& h) noexcept {
  if (&destination != &source) {
    ClipTwoPlanes(destination, dx, dy, source, sx, sy, w, h);
    return;
  }
  const std::int32_t dx0 = dx, dy0 = dy, sx0 = sx, sy0 = sy, w0 = w, h0 = h;
  Image16ClipRect(destination.Width, destination.Height, dx, dy, w, h);
  const bool sourceInside = w <= 0 || h <= 0 ||
                            (sx >= 0 && sy >= 0 && static_cast<long long>(sx) + w <= source.Width &&
                             static_cast<long long>(sy) + h <= source.Height);
  if (sourceInside) return;
  dx = dx0, dy = dy0, sx = sx0, sy = sy0, w = w0, h = h0;
  ClipTwoPlanes(destination, dx, dy, source, sx, sy, w, h);
}

void Image16FillRect(TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     std::uint16_t value) noexcept {
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  if (w <= 0 || h <= 0) return;
  if (w == plane.Width && h == plane.Height) {
    std::fill_n(plane.Data.get(), plane.SampleCount(), value);
    return;
  }
  for (std::int32_t j = 0; j < h; ++j) std::fill_n(plane.Row(y + j) + x, w, value);
}

void Image16Copy(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                 std::int32_t sy, std::int32_t w, std::int32_t h) noexcept {
  Image16ClipPair(destination, dx, dy, source, sx, sy, w, h);
  if (w <= 0 || h <= 0) return;
  if (&destination == &source) {
    for (std::int32_t j = 0; j < h; ++j) {
      std::uint16_t* d = destination.Row(dy + j) + dx;
      const std::uint16_t* s = source.Row(sy + j) + sx;
      for (std::int32_t i = w - 1; i >= 0; --i) d[i] = s[i];
    }
    return;
  }
  if (w == destination.Width && w == source.Width && h == destination.Height && h == source.Height) {
    std::copy_n(source.Data.get(), source.SampleCount(), destination.Data.get());
    return;
  }
  for (std::int32_t j = 0; j < h; ++j) std::copy_n(source.Row(sy + j) + sx, w, destination.Row(dy + j) + dx);
}

namespace {

// Bitmap rows are converted through range-checked rows as wide as the widest
// picture the readers give.
int RowLimit(PixelFormat) noexcept { return MaxPictureSide; }

// Columns of a bitmap row starting at `x` that the range-checked row accepts.
std::int32_t ColumnsWithinLimit(const char* op, PixelFormat f, std::int32_t x, std::int32_t w, bool& overrun) {
  const long long room = static_cast<long long>(RowLimit(f)) - x;
  overrun = room < w;
  (void)op;
  return static_cast<std::int32_t>(std::clamp<long long>(room, 0, w));
}

// Row kernels of the 24-bit conversions, written so GCC vectorises the
// interleaved pixels (an AVX2 body is picked at run time).
CORVANE_AVX2_CLONES void LuminanceRow(std::uint16_t* dst, const std::uint8_t* p, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) {
    // 77 R + 151 G + 28 B is at most 65 280: it fits 16 bits, and its high byte is the luminance.
    const std::uint16_t sum = static_cast<std::uint16_t>(p[3 * i + 2] * 77 + p[3 * i + 1] * 151 + p[3 * i] * 28);
    dst[i] = static_cast<std::uint16_t>(sum & 0xFF00);
  }
}

CORVANE_AVX2_CLONES void ByteChannelRow(std::uint16_t* dst, const std::uint8_t* p, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint16_t>(p[3 * i] << 8);
}

CORVANE_AVX2_CLONES void ByteChannelRowOut(std::uint8_t* dst, const std::uint16_t* src, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) dst[3 * i] = static_cast<std::uint8_t>(src[i] >> 8);
}

[[noreturn]] void ThrowColumnRange(const char* op, PixelFormat f, std::int32_t x, std::int32_t w) {
  throw RangeError(std::string(op) + ": bitmap columns " + std::to_string(x) + ".." + std::to_string(x + w - 1) +
                   " pass the row limit of " + std::to_string(RowLimit(f)) + " columns of a " +
                   std::to_string(8 * BytesPerPixel(f)) + "-bit row");
}

}  // namespace

void Image16FromBitmap(TImage16& plane, Bitmap& bitmap, std::int32_t x, std::int32_t y, std::int32_t w,
                       std::int32_t h, int channelCode) {
  Image16ClipRect(bitmap.Width(), bitmap.Height(), x, y, w, h);
  std::int32_t px = 0, py = 0;
  Image16ClipRect(plane.Width, plane.Height, px, py, w, h);
  if (w <= 0 || h <= 0) return;
  if (bitmap.Format() == PixelFormat::Bgrx32) bitmap.ConvertTo24();
  const PixelFormat f = bitmap.Format();
  bool overrun = false;
  const std::int32_t n = ColumnsWithinLimit("Image16FromBitmap", f, x, w, overrun);
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint8_t* src = bitmap.Row(y + j);
    std::uint16_t* dst = plane.Row(j);
    switch (f) {
      case PixelFormat::Indexed8:
        for (std::int32_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint16_t>(src[x + i] << 8);
        break;
      case PixelFormat::Word16:
        for (std::int32_t i = 0; i < n; ++i)
          dst[i] = static_cast<std::uint16_t>(src[2 * (x + i)] | (src[2 * (x + i) + 1] << 8));
        break;
      default: {
        const std::uint8_t* p = src + 3 * static_cast<std::ptrdiff_t>(x);
        switch (channelCode) {
          case ChannelR: ByteChannelRow(dst, p + 2, n); break;
          case ChannelG: ByteChannelRow(dst, p + 1, n); break;
          case ChannelB: ByteChannelRow(dst, p, n); break;
          case ChannelL: LuminanceRow(dst, p, n); break;
          default: break;
        }
      }
    }
    if (overrun) ThrowColumnRange("Image16FromBitmap", f, x, w);
  }
}

void Image16ToBitmap(Bitmap& bitmap, const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w,
                     std::int32_t h, int channelCode) {
  if (!plane.HasStorage()) return;
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  std::int32_t bx = 0, by = 0;
  Image16ClipRect(bitmap.Width(), bitmap.Height(), bx, by, w, h);
  if (w <= 0 || h <= 0) return;
  if (bitmap.Format() == PixelFormat::Bgrx32) bitmap.ConvertTo24();
  const PixelFormat f = bitmap.Format();
  bool overrun = false;
  const std::int32_t n = ColumnsWithinLimit("Image16ToBitmap", f, 0, w, overrun);
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint16_t* src = plane.Row(y + j) + x;
    std::uint8_t* dst = bitmap.Row(j);
    switch (f) {
      case PixelFormat::Indexed8:
        for (std::int32_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint8_t>(src[i] >> 8);
        break;
      case PixelFormat::Word16:
        for (std::int32_t i = 0; i < n; ++i) {
          dst[2 * i] = static_cast<std::uint8_t>(src[i]);
          dst[2 * i + 1] = static_cast<std::uint8_t>(src[i] >> 8);
        }
        break;
      default:
        switch (channelCode) {
          case ChannelR: ByteChannelRowOut(dst + 2, src, n); break;
          case ChannelG: ByteChannelRowOut(dst + 1, src, n); break;
          case ChannelB: ByteChannelRowOut(dst, src, n); break;
          case ChannelL: detail::GreyRowOut(dst, src, n); break;
          default: break;
        }
    }
    if (overrun) ThrowColumnRange("Image16ToBitmap", f, 0, w);
  }
}

namespace detail {

CORVANE_AVX2_CLONES void GreyRowOut(std::uint8_t* dst, const std::uint16_t* src, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) {
    const auto v = static_cast<std::uint8_t>(src[i] >> 8);
    dst[3 * i] = v;
    dst[3 * i + 1] = v;
    dst[3 * i + 2] = v;
  }
}

}  // namespace detail

}  // namespace corvane
