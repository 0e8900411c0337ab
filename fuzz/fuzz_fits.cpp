// The FITS reader: every BITPIX, BZERO/BSCALE, colour planes, row order.
#include "fuzz/fuzz_support.h"
#include "fuzz/picture_target.h"
#include "io/fits.h"
#include "io/fits_builder.h"

using namespace corvane;

CORVANE_FUZZ_SEEDS(fits) {
  fuzz::ScratchFolder folder;
  const std::string path = folder.File("seed.fits");
  auto add = [&](const char* name, int bitpix, int planes, double bzero = 0, double bscale = 1,
                 const char* rowOrder = nullptr) {
    std::vector<double> values;
    for (int i = 0; i < 5 * 3 * planes; ++i) values.push_back(bitpix < 0 ? i / 45.0 : (i * 7) % 200);
    test::WriteFits(path, bitpix, 5, 3, planes, values, bzero, bscale, rowOrder);
    seeds.Add(name, fuzz::ReadFileBytes(path));
  };
  add("byte.fits", 8, 1);
  add("short-bzero.fits", 16, 1, 32768);
  add("long.fits", 32, 1);
  add("float.fits", -32, 1);
  add("double-topdown.fits", -64, 1, 0, 1, "TOP-DOWN");
  add("rgb16.fits", 16, 3, 0, 2);
}

CORVANE_FUZZ_TARGET(data, size) { return fuzz::ReadPictureInput(&ReadFitsFile, data, size); }
