#pragma once
// JPEG pictures encoded with libjpeg for the tests and the fuzz seeds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace corvane::test {

/// Encodes width x height pixels of `components` bytes each (RGB, grey or
/// Adobe CMYK): at quality 100 without chroma subsampling, or with libjpeg's
/// defaults at quality 80 (`subsampled`); a restart marker every
/// `restartRows` MCU rows when not 0.
inline std::vector<std::uint8_t> Encode(int width, int height, int components, const std::vector<std::uint8_t>& pixels,
                                        bool progressive = false, bool subsampled = false, int restartRows = 0) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, subsampled ? 80 : 100, TRUE);
  if (!subsampled)
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  if (progressive) jpeg_simple_progression(&c);
  c.restart_in_rows = restartRows;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + static_cast<std::size_t>(c.next_scanline) * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

}  // namespace corvane::test
