// The FITS reader: every BITPIX, BZERO/BSCALE, colour planes, row order.
#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "io/fits.h"
#include "io/fits_builder.h"
#include "io/picture_input.h"

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

CORVANE_FUZZ_TARGET(data, size) {
  static fuzz::MemoryFile file;
  SourceFrame frame;
  try {
    ReadFitsFile(file.Hold(data, size), frame);
  } catch (const ReadError&) {
    return 0;
  }
  if (!PictureSizeAllowed(frame.Width(), frame.Height())) fuzz::Broken("a picture beyond the reader limits");
  if (frame.IsDeep && frame.Deep.Channels() != 1 && frame.Deep.Channels() != 3)
    fuzz::Broken("a deep picture that is neither grey nor colour");
  return 0;
}
