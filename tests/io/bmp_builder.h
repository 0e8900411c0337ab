#pragma once
// Builds BMP files byte by byte for the reader tests, including malformed ones.
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace corvane::test {

inline void Put(std::vector<std::uint8_t>& b, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

/// Rows packed as a BMP stores them: `bits` per pixel, most significant bits
/// first below 8 bits, little-endian above, each row padded to 4 bytes, file
/// rows bottom-up unless topDown. pixel(x, y) gives the value of picture row y
/// (0 on top); 24-bit values are B | G << 8 | R << 16.
inline std::vector<std::uint8_t> PackRows(int width, int height, int bits, bool topDown,
                                          const std::function<std::uint32_t(int, int)>& pixel) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  std::vector<std::uint8_t> out;
  for (int i = 0; i < height; ++i) {
    const int y = topDown ? i : height - 1 - i;
    std::vector<std::uint8_t> row(rowBytes, 0);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t v = pixel(x, y);
      if (bits < 8) {
        const int bit = x * bits;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
      } else {
        for (int k = 0; k < bits / 8; ++k) row[x * bits / 8 + k] = static_cast<std::uint8_t>(v >> (8 * k));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

struct BmpFile {
  std::uint32_t infoSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t coloursUsed = 0;
  std::vector<std::uint32_t> masks;  // after a 40-byte header, inside a larger one
  std::vector<PaletteEntry> palette;
  std::vector<std::uint8_t> pixels;          // as stored
  std::optional<std::uint32_t> pixelOffset;  // default: right after the palette

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> info;
    Put(info, infoSize, 4);
    if (infoSize == 12) {
      Put(info, static_cast<std::uint32_t>(width), 2);
      Put(info, static_cast<std::uint32_t>(height), 2);
      Put(info, 1, 2);
      Put(info, bits, 2);
    } else {
      Put(info, static_cast<std::uint32_t>(width), 4);
      Put(info, static_cast<std::uint32_t>(height), 4);
      Put(info, 1, 2);
      Put(info, bits, 2);
      Put(info, compression, 4);
      Put(info, pixels.size(), 4);
      Put(info, 2835, 4);
      Put(info, 2835, 4);
      Put(info, coloursUsed, 4);
      Put(info, 0, 4);
      if (infoSize >= 52)
        for (std::uint32_t m : masks) Put(info, m, 4);
      info.resize(infoSize, 0);
      if (infoSize == 40)
        for (std::uint32_t m : masks) Put(info, m, 4);
    }
    for (const PaletteEntry& e : palette) {
      info.push_back(e.Blue);
      info.push_back(e.Green);
      info.push_back(e.Red);
      if (infoSize != 12) info.push_back(0);
    }
    const std::uint32_t offset = pixelOffset.value_or(static_cast<std::uint32_t>(14 + info.size()));
    std::vector<std::uint8_t> b{'B', 'M'};
    Put(b, 14 + info.size() + pixels.size(), 4);
    Put(b, 0, 4);
    Put(b, offset, 4);
    b.insert(b.end(), info.begin(), info.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
  }
};

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace corvane::test
