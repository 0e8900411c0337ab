#pragma once
// A small toolkit-free in-memory picture: width, height, a pixel format, a
// palette for the indexed format, and rows from the top. The conversions to and
// from planes, the picture files and the panes all work on it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

enum class PixelFormat : std::uint8_t {
  Indexed8,  ///< one palette index byte per pixel
  Word16,    ///< one 16-bit word per pixel (read as 5-6-5 when made 24-bit)
  Bgr24,     ///< three bytes per pixel: blue, green, red
  Bgrx32,    ///< four bytes per pixel: blue, green, red, unused
};

struct PaletteEntry {
  std::uint8_t Blue = 0;
  std::uint8_t Green = 0;
  std::uint8_t Red = 0;
  std::uint8_t Reserved = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

/// Bytes one pixel takes in the given format.
int BytesPerPixel(PixelFormat format) noexcept;

class Bitmap {
 public:
  /// An empty 24-bit bitmap (0 x 0).
  Bitmap() = default;
  /// A black bitmap of the given size and format; negative sizes count as 0.
  Bitmap(int width, int height, PixelFormat format = PixelFormat::Bgr24);

  int Width() const noexcept { return m_width; }
  int Height() const noexcept { return m_height; }
  PixelFormat Format() const noexcept { return m_format; }
  bool Empty() const noexcept { return m_width == 0 || m_height == 0; }
  /// Bytes of one row; rows are packed without padding.
  std::size_t RowBytes() const noexcept { return static_cast<std::size_t>(m_width) * BytesPerPixel(m_format); }

  std::uint8_t* Row(int y) noexcept { return m_pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
  const std::uint8_t* Row(int y) const noexcept {
    return m_pixels.data() + static_cast<std::size_t>(y) * RowBytes();
  }
  std::uint8_t* Bits() noexcept { return m_pixels.data(); }
  const std::uint8_t* Bits() const noexcept { return m_pixels.data(); }

  /// Resizes to width x height, keeping the format; all pixels become 0.
  void SetSize(int width, int height);
  /// Changes the format; the pixels become 0 (use ConvertTo24 to keep them).
  void SetFormat(PixelFormat format);
  /// Converts the pixels of any format to 24-bit in place (indexed through the
  /// palette, 16-bit words as 5-6-5, 32-bit dropping the unused byte).
  void ConvertTo24();

  /// The palette of the indexed format (256 entries at most; a missing entry
  /// reads as black).
  std::vector<PaletteEntry>& Palette() noexcept { return m_palette; }
  const std::vector<PaletteEntry>& Palette() const noexcept { return m_palette; }
  /// Sets a 256-entry grey palette (entry i = (i, i, i)).
  void SetGreyPalette();

  friend bool operator==(const Bitmap& a, const Bitmap& b) = default;

 private:
  int m_width = 0;
  int m_height = 0;
  PixelFormat m_format = PixelFormat::Bgr24;
  std::vector<std::uint8_t> m_pixels;
  std::vector<PaletteEntry> m_palette;
};

}  // namespace corvane
