#pragma once
// PNG files written with libpng for the tests and the fuzz seeds (PNG's own
// layout, big-endian samples).
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::test {

/// Writes a PNG with libpng: `samples` are the values of each row as PNG
/// holds them (one per channel), `colourType` a PNG colour type.
inline void WritePng(const std::string& path, int width, int height, int depth, int colourType,
              const std::vector<std::uint16_t>& samples, const std::vector<png_color>& palette = {},
              int interlace = PNG_INTERLACE_NONE) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, depth, colourType, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  const std::size_t perRow = samples.size() / static_cast<std::size_t>(height);
  std::vector<png_byte> row(perRow * 2);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < height; ++y) {
      for (std::size_t i = 0; i < perRow; ++i) {
        const std::uint16_t v = samples[y * perRow + i];
        if (depth == 16) {
          row[2 * i] = static_cast<png_byte>(v >> 8);
          row[2 * i + 1] = static_cast<png_byte>(v);
        } else {
          row[i] = static_cast<png_byte>(v);
        }
      }
      png_write_row(png, row.data());
    }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

}  // namespace corvane::test
