// The JPEG decoder: frame pictures, dark frames and flat fields. One decoder
// serves every input, as one serves a whole load run.
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "io/picture_files.h"
#include "io/picture_input.h"

using namespace corvane;

namespace {

/// A small picture as JPEG: `components` 1 (grey), 3 (colour) or 4 (CMYK).
std::vector<std::uint8_t> Encode(int components, bool progressive, int restart) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = 21;
  c.image_height = 13;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 80, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  c.restart_interval = static_cast<unsigned>(restart);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(c.image_width) * components);
  while (c.next_scanline < c.image_height) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<unsigned char>(i * 9 + c.next_scanline * 17);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return bytes;
}

}  // namespace

CORVANE_FUZZ_SEEDS(jpeg) {
  seeds.Add("grey.jpg", Encode(1, false, 0));
  seeds.Add("colour.jpg", Encode(3, false, 0));
  seeds.Add("progressive.jpg", Encode(3, true, 0));
  seeds.Add("restart.jpg", Encode(3, false, 2));
  seeds.Add("cmyk.jpg", Encode(4, false, 0));
}

CORVANE_FUZZ_TARGET(data, size) {
  static fuzz::MemoryFile file;
  static JpegDecoder decoder;
  Bitmap picture;
  try {
    decoder.Decode(file.Hold(data, size), picture);
  } catch (const ReadError&) {
    return 0;
  }
  if (!PictureSizeAllowed(picture.Width(), picture.Height())) fuzz::Broken("a picture beyond the reader limits");
  if (picture.Format() != PixelFormat::Bgr24) fuzz::Broken("a JPEG picture that is not 24-bit");
  return 0;
}
