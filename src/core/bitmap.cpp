#include "core/bitmap.h"

#include <algorithm>

namespace corvane {

int BytesPerPixel(PixelFormat format) noexcept {
  switch (format) {
    case PixelFormat::Indexed8: return 1;
    case PixelFormat::Word16: return 2;
    case PixelFormat::Bgr24: return 3;
    case PixelFormat::Bgrx32: return 4;
  }
  return 3;
}

Bitmap::Bitmap(int width, int height, PixelFormat format) : m_format(format) { SetSize(width, height); }

void Bitmap::SetSize(int width, int height) {
  m_width = std::max(0, width);
  m_height = std::max(0, height);
  m_pixels.assign(RowBytes() * static_cast<std::size_t>(m_height), 0);
}

void Bitmap::SetFormat(PixelFormat format) {
  m_format = format;
  m_pixels.assign(RowBytes() * static_cast<std::size_t>(m_height), 0);
}

void Bitmap::SetGreyPalette() {
  m_palette.resize(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    m_palette[i] = PaletteEntry{v, v, v, 0};
  }
}

void Bitmap::ConvertTo24() {
  if (m_format == PixelFormat::Bgr24) return;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(m_width) * 3 * static_cast<std::size_t>(m_height));
  const std::size_t n = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height);
  const std::uint8_t* src = m_pixels.data();
  std::uint8_t* dst = out.data();
  switch (m_format) {
    case PixelFormat::Indexed8: {
      PaletteEntry lut[256] = {};
      std::copy_n(m_palette.begin(), std::min<std::size_t>(256, m_palette.size()), lut);
      for (std::size_t i = 0; i < n; ++i) {
        const PaletteEntry& e = lut[src[i]];
        dst[3 * i] = e.Blue;
        dst[3 * i + 1] = e.Green;
        dst[3 * i + 2] = e.Red;
      }
      break;
    }
    case PixelFormat::Word16:
      for (std::size_t i = 0; i < n; ++i) {
        const unsigned w = src[2 * i] | (src[2 * i + 1] << 8);
        const unsigned r = (w >> 11) & 31, g = (w >> 5) & 63, b = w & 31;
        dst[3 * i] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
        dst[3 * i + 1] = static_cast<std::uint8_t>((g << 2) | (g >> 4));
        dst[3 * i + 2] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
      }
      break;
    case PixelFormat::Bgrx32:
      for (std::size_t i = 0; i < n; ++i) {
        dst[3 * i] = src[4 * i];
        dst[3 * i + 1] = src[4 * i + 1];
        dst[3 * i + 2] = src[4 * i + 2];
      }
      break;
    case PixelFormat::Bgr24: break;
  }
  m_pixels.swap(out);
  m_format = PixelFormat::Bgr24;
  m_palette.clear();
}

}  // namespace corvane
