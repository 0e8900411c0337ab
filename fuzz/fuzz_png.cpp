// The PNG reader: every colour type and depth, palettes, interlacing.
#include "fuzz/fuzz_support.h"
#include "fuzz/picture_target.h"
#include "io/png.h"
#include "io/png_builder.h"

using namespace corvane;

CORVANE_FUZZ_SEEDS(png) {
  fuzz::ScratchFolder folder;
  const std::string path = folder.File("seed.png");
  auto add = [&](const char* name, int depth, int type, int channels, int interlace = PNG_INTERLACE_NONE) {
    std::vector<std::uint16_t> samples;
    for (int i = 0; i < 5 * 4 * channels; ++i) samples.push_back(static_cast<std::uint16_t>((i * 29) % (1 << depth)));
    std::vector<png_color> palette;
    if (type == PNG_COLOR_TYPE_PALETTE)
      for (int i = 0; i < (1 << depth); ++i) palette.push_back({png_byte(i * 9), png_byte(i * 5), png_byte(i)});
    test::WritePng(path, 5, 4, depth, type, samples, palette, interlace);
    seeds.Add(name, fuzz::ReadFileBytes(path));
  };
  add("grey8.png", 8, PNG_COLOR_TYPE_GRAY, 1);
  add("grey16.png", 16, PNG_COLOR_TYPE_GRAY, 1);
  add("grey2.png", 2, PNG_COLOR_TYPE_GRAY, 1);
  add("rgb8.png", 8, PNG_COLOR_TYPE_RGB, 3);
  add("rgb16-interlaced.png", 16, PNG_COLOR_TYPE_RGB, 3, PNG_INTERLACE_ADAM7);
  add("rgba8.png", 8, PNG_COLOR_TYPE_RGB_ALPHA, 4);
  add("greyalpha16.png", 16, PNG_COLOR_TYPE_GRAY_ALPHA, 2);
  add("palette4.png", 4, PNG_COLOR_TYPE_PALETTE, 1);
}

CORVANE_FUZZ_TARGET(data, size) { return fuzz::ReadPictureInput(&ReadPngFile, data, size); }
