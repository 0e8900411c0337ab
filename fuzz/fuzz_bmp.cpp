// The BMP reader: frame pictures, dark frames and flat fields.
#include <algorithm>

#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "io/bmp_builder.h"
#include "io/picture_files.h"
#include "io/picture_input.h"

using namespace corvane;

CORVANE_FUZZ_SEEDS(bmp) {
  using test::BmpFile;
  using test::PackRows;
  const auto pattern = [](int x, int y) { return static_cast<std::uint32_t>(x * 37 + y * 11); };
  const std::vector<PaletteEntry> grey = [] {
    std::vector<PaletteEntry> p;
    for (int i = 0; i < 256; ++i) p.push_back({std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    return p;
  }();
  for (int bits : {1, 4, 8, 24, 32}) {
    BmpFile f;
    f.width = 7;
    f.height = 5;
    f.bits = static_cast<std::uint16_t>(bits);
    if (bits <= 8) f.palette.assign(grey.begin(), grey.begin() + (1 << bits));
    const std::uint32_t mask = bits >= 32 ? ~0u : (1u << std::min(bits, 24)) - 1;
    f.pixels = PackRows(7, 5, bits, false, [&](int x, int y) { return pattern(x, y) & mask; });
    seeds.Add("plain" + std::to_string(bits) + ".bmp", f.Bytes());
  }
  {
    BmpFile f;  // top-down 24-bit
    f.width = 6;
    f.height = -3;
    f.pixels = PackRows(6, 3, 24, true, pattern);
    seeds.Add("topdown24.bmp", f.Bytes());
  }
  {
    BmpFile f;  // 16-bit 5-5-5 and 5-6-5 bit fields
    f.width = 5;
    f.height = 4;
    f.bits = 16;
    f.pixels = PackRows(5, 4, 16, false, pattern);
    seeds.Add("rgb555.bmp", f.Bytes());
    f.compression = 3;
    f.masks = {0xF800, 0x07E0, 0x001F};
    seeds.Add("rgb565.bmp", f.Bytes());
    f.infoSize = 108;
    seeds.Add("rgb565v4.bmp", f.Bytes());
  }
  {
    BmpFile f;  // RLE8 and RLE4: runs, a literal, a move, end of line and picture
    f.width = 8;
    f.height = 3;
    f.bits = 8;
    f.compression = 1;
    f.palette.assign(grey.begin(), grey.begin() + 16);
    f.pixels = {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 4, 9, 0, 0, 0, 1};
    seeds.Add("rle8.bmp", f.Bytes());
    f.bits = 4;
    f.compression = 2;
    f.pixels = {4, 0x12, 0, 4, 0x34, 0x56, 0, 0, 0, 2, 1, 1, 3, 0x77, 0, 1};
    seeds.Add("rle4.bmp", f.Bytes());
  }
  {
    BmpFile f;  // the 12-byte header of old writers
    f.infoSize = 12;
    f.width = 4;
    f.height = 2;
    f.bits = 8;
    f.palette.assign(grey.begin(), grey.begin() + 4);
    f.pixels = PackRows(4, 2, 8, false, [](int x, int y) { return std::uint32_t((x + y) % 4); });
    seeds.Add("os2.bmp", f.Bytes());
  }
}

CORVANE_FUZZ_TARGET(data, size) {
  static fuzz::MemoryFile file;
  Bitmap picture;
  try {
    ReadBmpFile(file.Hold(data, size), picture);
  } catch (const ReadError&) {
    return 0;  // refused: the one answer bad bytes may get
  }
  if (!PictureSizeAllowed(picture.Width(), picture.Height())) fuzz::Broken("a picture beyond the reader limits");
  if (picture.Format() == PixelFormat::Indexed8 && picture.Palette().empty()) fuzz::Broken("indexed without palette");
  picture.ConvertTo24();
  if (picture.Format() != PixelFormat::Bgr24) fuzz::Broken("not 24-bit after ConvertTo24");
  return 0;
}
