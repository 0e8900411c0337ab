// PSF pictures: a BMP read as the point-spread function of the sharpening
// (the PSF buttons, --unsharp-psf, --deconvolve-psf), then used on a small
// picture as the calculate run uses it.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/errors.h"
#include "core/frame_list.h"
#include "core/services.h"
#include "enhance/kernel_convolve.h"
#include "enhance/sharpen.h"
#include "fuzz/fuzz_support.h"
#include "io/bmp_builder.h"
#include "io/picture_files.h"
#include "output/bitmap_ops.h"

using namespace corvane;

CORVANE_FUZZ_SEEDS(psf) {
  using test::BmpFile;
  using test::PackRows;
  // Grey spots of the sizes a PSF picture has: up to 17 x 15 and beyond.
  for (const auto& size : {std::pair{17, 15}, {15, 15}, {5, 5}, {1, 1}, {16, 16}, {20, 18}}) {
    const int w = size.first, h = size.second;
    BmpFile f;
    f.width = w;
    f.height = h;
    f.pixels = PackRows(w, h, 24, false, [w, h](int x, int y) {
      const int d = std::abs(2 * x - w + 1) + std::abs(2 * y - h + 1);
      const std::uint32_t v = static_cast<std::uint32_t>(std::max(0, 255 - 18 * d));
      return v | v << 8 | v << 16;
    });
    seeds.Add("spot" + std::to_string(w) + "x" + std::to_string(h) + ".bmp", f.Bytes());
  }
}

CORVANE_FUZZ_TARGET(data, size) {
  static fuzz::MemoryFile file;
  Bitmap picture;
  try {
    ReadBmpFile(file.Hold(data, size), picture);
  } catch (const ReadError&) {
    return 0;
  }
  TConvKernel kernel;
  if (!BitmapToKernel(kernel, picture, 0, 0)) fuzz::Broken("BitmapToKernel refused a picture");
  if (kernel[0] > 17) fuzz::Broken("a kernel wider than 17");
  if (kernel[0] == 0) return 0;
  // A small picture made of the input bytes, sharpened with the kernel.
  constexpr std::int32_t W = 40, H = 34;
  TImageListItem g(W, H), x(W, H);
  for (std::int32_t i = 0; i < W * H; ++i)
    g.Image.Data[i] = static_cast<std::uint16_t>(data[static_cast<std::size_t>(i) % size] * 257);
  Image16Copy(x.Image, 0, 0, g.Image, 0, 0, W, H);
  NullServices services;
  UnsharpMask(x, g, W, H, kernel, 6);
  LucyRichardson(x, g, W, H, kernel, 1, services);
  VanCittert(x, g, W, H, kernel, 1, services);
  return 0;
}
