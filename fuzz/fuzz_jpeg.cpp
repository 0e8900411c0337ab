// The JPEG decoder: frame pictures, dark frames and flat fields. One decoder
// serves every input, as one serves a whole load run.
#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "io/jpeg_builder.h"
#include "io/picture_files.h"
#include "io/picture_input.h"

using namespace corvane;

namespace {

/// A small picture as JPEG: `components` 1 (grey), 3 (colour) or 4 (CMYK).
std::vector<std::uint8_t> Encode(int components, bool progressive, int restartRows) {
  constexpr int kWidth = 21, kHeight = 13;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * components);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 9 + i / kWidth * 17);
  return test::Encode(kWidth, kHeight, components, pixels, progressive, true, restartRows);
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
