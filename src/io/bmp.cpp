// The BMP reader: every check is made before the bytes it guards are read or
// any pixel storage is allocated, so a malformed file ends in a ReadError.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/errors.h"
#include "io/picture_files.h"
#include "io/picture_input.h"

namespace corvane {
namespace {

constexpr std::uint32_t CompressionRgb = 0;
constexpr std::uint32_t CompressionRle8 = 1;
constexpr std::uint32_t CompressionRle4 = 2;
constexpr std::uint32_t CompressionBitFields = 3;
constexpr std::uint32_t CompressionAlphaBitFields = 6;

constexpr std::uint64_t FileHeaderBytes = 14;

std::uint16_t U16(const std::uint8_t* p) noexcept { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t I32(const std::uint8_t* p) noexcept { return static_cast<std::int32_t>(U32(p)); }

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
  throw ReadError("BMP picture \"" + path + "\": " + problem);
}

/// One colour channel of a bit-field pixel: its bits, widened to 8 bits by
/// repeating them (5 bits abcde give abcdeabc), or cut to their top 8 bits.
struct Channel {
  unsigned Shift = 0;
  std::uint32_t Mask = 0;  // after the shift
  std::uint8_t Lut[256] = {};

  explicit Channel(std::uint32_t mask) {
    if (mask == 0) return;
    Shift = static_cast<unsigned>(std::countr_zero(mask));
    int bits = std::popcount(mask);
    if (bits > 8) {
      Shift += static_cast<unsigned>(bits - 8);
      bits = 8;
    }
    Mask = (1u << bits) - 1;
    for (std::uint32_t v = 0; v <= Mask; ++v) {
      std::uint32_t wide = 0;
      int have = 0;
      while (have < 8) {
        wide = (wide << bits) | v;
        have += bits;
      }
      Lut[v] = static_cast<std::uint8_t>(wide >> (have - 8));
    }
  }
  std::uint8_t operator()(std::uint32_t pixel) const noexcept { return Lut[(pixel >> Shift) & Mask]; }
};

bool Contiguous(std::uint32_t mask) noexcept {
  if (mask == 0) return true;
  const std::uint32_t m = mask >> std::countr_zero(mask);
  return (m & (m + 1)) == 0;
}

struct Header {
  std::uint32_t PixelOffset = 0;
  std::uint32_t InfoSize = 0;
  std::int64_t Width = 0;
  std::int64_t Height = 0;  // absolute
  bool TopDown = false;
  unsigned Bits = 0;
  std::uint32_t Compression = CompressionRgb;
  std::uint32_t ColoursUsed = 0;
  std::uint32_t Masks[3] = {0, 0, 0};  // red, green, blue
  std::uint64_t PaletteStart = 0;
  unsigned PaletteEntryBytes = 4;
};

Header ReadHeader(const InputFile& file, const std::string& path) {
  Header h;
  const std::uint64_t size = file.Size();
  if (size < FileHeaderBytes + 4)
    Fail(path, "the file is too short for a BMP header (" + std::to_string(size) + " bytes)");
  std::uint8_t fh[FileHeaderBytes + 4];
  file.ReadAt(0, fh, sizeof fh);
  if (fh[0] != 'B' || fh[1] != 'M') Fail(path, "not a BMP file (the signature is not \"BM\")");
  h.PixelOffset = U32(fh + 10);
  h.InfoSize = U32(fh + 14);
  switch (h.InfoSize) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124: break;
    default: Fail(path, "unsupported information header size " + std::to_string(h.InfoSize));
  }
  if (size < FileHeaderBytes + h.InfoSize) Fail(path, "truncated information header");
  std::uint8_t info[124];
  file.ReadAt(FileHeaderBytes, info, h.InfoSize);

  std::int64_t height = 0;
  if (h.InfoSize == 12) {
    h.Width = U16(info + 4);
    height = U16(info + 6);
    h.Bits = U16(info + 10);
    h.PaletteEntryBytes = 3;
  } else {
    h.Width = I32(info + 4);
    height = I32(info + 8);
    h.Bits = U16(info + 14);
    h.Compression = U32(info + 16);
    h.ColoursUsed = U32(info + 32);
  }
  if (h.Width <= 0) Fail(path, "the width " + std::to_string(h.Width) + " is not positive");
  if (height == 0) Fail(path, "the height is 0");
  h.TopDown = height < 0;
  h.Height = h.TopDown ? -height : height;  // 64-bit: the most negative 32-bit value negates safely
  if (!PictureSizeAllowed(h.Width, h.Height))
    Fail(path, "the size " + std::to_string(h.Width) + " x " + std::to_string(h.Height) +
                   " is beyond the reader limits (" + std::to_string(PictureMaxSide) + " per side, " +
                   std::to_string(PictureMaxPixels) + " pixels)");

  const unsigned b = h.Bits;
  if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
    Fail(path, "unsupported depth of " + std::to_string(b) + " bits per pixel");
  const std::uint32_t c = h.Compression;
  const bool bitFields = c == CompressionBitFields || c == CompressionAlphaBitFields;
  const bool ok = c == CompressionRgb || (c == CompressionRle8 && b == 8) || (c == CompressionRle4 && b == 4) ||
                  (bitFields && h.InfoSize != 64 && (b == 16 || b == 32));
  if (!ok) Fail(path, "unsupported compression " + std::to_string(c) + " at " + std::to_string(b) + " bits per pixel");
  if (h.TopDown && (c == CompressionRle8 || c == CompressionRle4))
    Fail(path, "a compressed picture cannot be stored top-down");

  std::uint64_t afterInfo = FileHeaderBytes + h.InfoSize;
  if (bitFields) {
    if (h.InfoSize >= 52) {
      h.Masks[0] = U32(info + 40);
      h.Masks[1] = U32(info + 44);
      h.Masks[2] = U32(info + 48);
    } else {
      const unsigned maskBytes = c == CompressionAlphaBitFields ? 16 : 12;
      if (size < afterInfo + maskBytes) Fail(path, "truncated colour masks");
      std::uint8_t m[12];
      file.ReadAt(afterInfo, m, sizeof m);
      h.Masks[0] = U32(m);
      h.Masks[1] = U32(m + 4);
      h.Masks[2] = U32(m + 8);
      afterInfo += maskBytes;
    }
    const std::uint32_t limit = b == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (std::uint32_t m : h.Masks)
      if (!Contiguous(m) || m > limit) Fail(path, "invalid colour mask " + std::to_string(m));
    if ((h.Masks[0] & h.Masks[1]) != 0 || (h.Masks[0] & h.Masks[2]) != 0 || (h.Masks[1] & h.Masks[2]) != 0)
      Fail(path, "overlapping colour masks");
  } else if (b == 16) {
    h.Masks[0] = 0x7C00;
    h.Masks[1] = 0x03E0;
    h.Masks[2] = 0x001F;
  } else if (b == 32) {
    h.Masks[0] = 0x00FF0000;
    h.Masks[1] = 0x0000FF00;
    h.Masks[2] = 0x000000FF;
  }
  h.PaletteStart = afterInfo;
  return h;
}

std::vector<PaletteEntry> ReadPalette(const InputFile& file, const std::string& path, const Header& h) {
  // Some writers store fewer colours than they declare; the pixel offset tells
  // how many there are room for, and pixels using a missing one are refused.
  const std::uint32_t full = 1u << h.Bits;
  const std::uint64_t room = (h.PixelOffset - h.PaletteStart) / h.PaletteEntryBytes;
  const std::uint32_t count = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(h.ColoursUsed == 0 ? full : std::min(h.ColoursUsed, full), room));
  if (count == 0) Fail(path, "the picture has no palette");
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(count) * h.PaletteEntryBytes);
  file.ReadAt(h.PaletteStart, raw.data(), raw.size());
  std::vector<PaletteEntry> palette(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = raw.data() + static_cast<std::size_t>(i) * h.PaletteEntryBytes;
    palette[i] = PaletteEntry{e[0], e[1], e[2], 0};
  }
  return palette;
}

/// Refuses an indexed picture that uses a colour its palette does not have.
void CheckIndices(const std::string& path, const Bitmap& bitmap, std::size_t paletteSize) {
  if (paletteSize >= 256) return;
  std::uint8_t highest = 0;
  const std::size_t n = bitmap.RowBytes() * static_cast<std::size_t>(bitmap.Height());
  const std::uint8_t* p = bitmap.Bits();
  for (std::size_t i = 0; i < n; ++i) highest = std::max(highest, p[i]);
  if (highest >= paletteSize)
    Fail(path, "palette index " + std::to_string(highest) + " beyond the palette of " + std::to_string(paletteSize) +
                   " colours");
}

void DecodeRows(const Header& h, const std::vector<std::uint8_t>& data, std::size_t rowBytes, Bitmap& out) {
  const int w = static_cast<int>(h.Width);
  const int height = static_cast<int>(h.Height);
  const Channel red(h.Masks[0]), green(h.Masks[1]), blue(h.Masks[2]);
  const bool plain32 = h.Bits == 32 && h.Masks[0] == 0x00FF0000 && h.Masks[1] == 0x0000FF00 && h.Masks[2] == 0xFF;
  for (int i = 0; i < height; ++i) {
    const std::uint8_t* src = data.data() + static_cast<std::size_t>(i) * rowBytes;
    std::uint8_t* dst = out.Row(h.TopDown ? i : height - 1 - i);
    switch (h.Bits) {
      case 1:
        for (int x = 0; x < w; ++x) dst[x] = static_cast<std::uint8_t>((src[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      case 4:
        for (int x = 0; x < w; ++x) dst[x] = static_cast<std::uint8_t>((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
        break;
      case 8:
      case 24: std::memcpy(dst, src, out.RowBytes()); break;
      case 16:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t px = U16(src + 2 * x);
          dst[3 * x] = blue(px);
          dst[3 * x + 1] = green(px);
          dst[3 * x + 2] = red(px);
        }
        break;
      case 32:
        if (plain32) {
          std::memcpy(dst, src, out.RowBytes());
        } else {
          for (int x = 0; x < w; ++x) {
            const std::uint32_t px = U32(src + 4 * x);
            dst[3 * x] = blue(px);
            dst[3 * x + 1] = green(px);
            dst[3 * x + 2] = red(px);
          }
        }
        break;
      default: break;
    }
  }
}

/// Decodes RLE8 or RLE4 data into an Indexed8 bitmap; pixels the data skips
/// stay index 0 and pixels beyond the row are dropped.
void DecodeRle(const std::string& path, const Header& h, const std::vector<std::uint8_t>& d, Bitmap& out) {
  const bool four = h.Compression == CompressionRle4;
  const std::int64_t w = h.Width, height = h.Height;
  std::int64_t x = 0, y = 0;  // y counts file rows from the bottom
  auto put = [&](std::uint8_t v) {
    if (x < w && y < height) out.Row(static_cast<int>(height - 1 - y))[x] = v;
    ++x;
  };
  std::size_t pos = 0;
  for (;;) {
    if (pos + 2 > d.size()) Fail(path, "truncated RLE pixel data (no end-of-picture code)");
    const unsigned n = d[pos], v = d[pos + 1];
    pos += 2;
    if (n > 0) {
      if (x >= w) continue;  // the whole run lies beyond the row
      for (unsigned i = 0; i < n; ++i) put(four ? static_cast<std::uint8_t>((i & 1) ? v & 15 : v >> 4) : v);
    } else if (v == 0) {
      x = 0;
      ++y;
    } else if (v == 1) {
      return;
    } else if (v == 2) {
      if (pos + 2 > d.size()) Fail(path, "truncated RLE pixel data (in a position move)");
      x += d[pos];
      y += d[pos + 1];
      pos += 2;
    } else {
      const std::size_t bytes = four ? (v + 1) / 2 : v;
      const std::size_t padded = bytes + (bytes & 1);
      if (pos + bytes > d.size()) Fail(path, "truncated RLE pixel data (in a literal run)");
      for (unsigned i = 0; i < v; ++i) {
        const std::uint8_t byte = d[pos + (four ? i / 2 : i)];
        put(four ? static_cast<std::uint8_t>((i & 1) ? byte & 15 : byte >> 4) : byte);
      }
      pos = std::min(d.size(), pos + padded);
    }
    if (y >= height) return;  // nothing further can land in the picture
  }
}

}  // namespace

void ReadBmpFile(const std::string& path, Bitmap& out) {
  const InputFile file(path);
  const Header h = ReadHeader(file, path);
  if (h.PixelOffset < h.PaletteStart)
    Fail(path, "the pixel data offset " + std::to_string(h.PixelOffset) + " lies inside the headers");
  if (h.PixelOffset >= file.Size())
    Fail(path, "the pixel data offset " + std::to_string(h.PixelOffset) + " lies beyond the end of the file (" +
                   std::to_string(file.Size()) + " bytes)");
  const bool indexed = h.Bits <= 8;
  std::vector<PaletteEntry> palette;
  if (indexed) palette = ReadPalette(file, path, h);
  const std::uint64_t available = file.Size() - h.PixelOffset;

  PixelFormat format = PixelFormat::Bgr24;
  if (indexed)
    format = PixelFormat::Indexed8;
  else if (h.Bits == 32 && h.Masks[0] == 0x00FF0000 && h.Masks[1] == 0x0000FF00 && h.Masks[2] == 0xFF)
    format = PixelFormat::Bgrx32;

  std::vector<std::uint8_t> data;
  Bitmap picture;
  if (h.Compression == CompressionRle8 || h.Compression == CompressionRle4) {
    // A run pair covers at least one pixel and a move at least one pixel or row,
    // so no sound encoding needs more than this; anything past it is ignored.
    const std::uint64_t most = 4 * static_cast<std::uint64_t>(h.Width * h.Height) + 4 * h.Height + 64;
    data.resize(static_cast<std::size_t>(std::min(available, most)));
    file.ReadAt(h.PixelOffset, data.data(), data.size());
    picture = Bitmap(static_cast<int>(h.Width), static_cast<int>(h.Height), format);
    DecodeRle(path, h, data, picture);
  } else {
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.Width) * h.Bits + 31) / 32 * 4;
    // The last row's padding may be missing; its pixels may not.
    const std::uint64_t needed =
        rowBytes * static_cast<std::uint64_t>(h.Height - 1) + (static_cast<std::uint64_t>(h.Width) * h.Bits + 7) / 8;
    if (needed > available)
      Fail(path, "truncated pixel data (" + std::to_string(needed) + " bytes needed, " + std::to_string(available) +
                     " present)");
    data.assign(static_cast<std::size_t>(rowBytes * static_cast<std::uint64_t>(h.Height)), 0);
    file.ReadAt(h.PixelOffset, data.data(), static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), available)));
    picture = Bitmap(static_cast<int>(h.Width), static_cast<int>(h.Height), format);
    DecodeRows(h, data, static_cast<std::size_t>(rowBytes), picture);
  }
  if (indexed) {
    CheckIndices(path, picture, palette.size());
    picture.Palette() = std::move(palette);
  }
  out = std::move(picture);
}

}  // namespace corvane
