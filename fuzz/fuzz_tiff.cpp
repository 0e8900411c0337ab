// The TIFF reader: 8 and 16 bits, grey and colour, strips and tiles, planes
// together and apart.
#include "fuzz/fuzz_support.h"
#include "fuzz/picture_target.h"
#include "io/tiff.h"
#include "io/tiff_builder.h"

using namespace corvane;

CORVANE_FUZZ_SEEDS(tiff) {
  fuzz::ScratchFolder folder;
  const std::string path = folder.File("seed.tif");
  auto add = [&](const char* name, test::TiffLayout s) {
    s.Width = 18;  // more than one tile across
    s.Height = 3;
    std::vector<std::uint16_t> samples;
    for (int i = 0; i < s.Width * s.Height * s.Samples; ++i)
      samples.push_back(static_cast<std::uint16_t>((i * 31) % (1 << s.Bits)));
    test::WriteTiff(path, s, samples);
    seeds.Add(name, fuzz::ReadFileBytes(path));
  };
  add("grey16.tif", {});
  add("grey8.tif", {.Bits = 8});
  add("rgb16.tif", {.Samples = 3, .Photometric = PHOTOMETRIC_RGB});
  add("rgb8-planes.tif", {.Bits = 8, .Samples = 3, .Photometric = PHOTOMETRIC_RGB, .Planar = PLANARCONFIG_SEPARATE});
  add("rgba16-tiles.tif", {.Samples = 4, .Photometric = PHOTOMETRIC_RGB, .Tiled = true});
  add("miniswhite8.tif", {.Bits = 8, .Photometric = PHOTOMETRIC_MINISWHITE});
}

CORVANE_FUZZ_TARGET(data, size) { return fuzz::ReadPictureInput(&ReadTiffFile, data, size); }
