#include "enhance/local_psf.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/errors.h"
#include "output/bitmap_ops.h"

namespace corvane {

namespace {

/// Rows 0..7 of the start-up spot; rows 8..14 mirror rows 6..0.
constexpr std::uint8_t StartupRows[8][15] = {
    {24, 24, 36, 48, 60, 60, 72, 72, 72, 60, 60, 48, 36, 24, 24},
    {24, 36, 48, 60, 84, 84, 96, 96, 96, 84, 84, 60, 48, 36, 24},
    {36, 48, 72, 84, 108, 120, 120, 132, 120, 120, 108, 84, 72, 48, 36},
    {48, 60, 84, 108, 132, 144, 156, 156, 156, 144, 132, 108, 84, 60, 48},
    {60, 84, 108, 120, 156, 168, 180, 192, 180, 168, 156, 120, 108, 84, 60},
    {60, 84, 120, 144, 168, 192, 204, 216, 204, 192, 168, 144, 120, 84, 60},
    {72, 96, 120, 156, 180, 204, 228, 228, 228, 204, 180, 156, 120, 96, 72},
    {72, 96, 132, 156, 192, 216, 228, 240, 228, 216, 192, 156, 132, 96, 72},
};

constexpr std::int32_t PickWidth = 17;
constexpr std::int32_t PickHeight = 15;

}  // namespace

TConvKernel StartupLocalPSF() {
  TConvKernel psf;
  psf[0] = 15;
  for (int r = 0; r < 15; ++r) {
    const int source = r < 8 ? r : 14 - r;
    std::memcpy(&psf.Bytes[1 + 15 * r], StartupRows[source], 15);
  }
  return psf;
}

Bitmap PickLocalPSF(TConvKernel& psf, const Bitmap& shown, std::int32_t mx, std::int32_t my, bool wholeImage,
                    std::int32_t paneWidth, std::int32_t paneHeight) {
  if (shown.Empty()) return Bitmap();
  const std::int64_t width = shown.Width();
  const std::int64_t height = shown.Height();
  std::int64_t x, y;
  if (wholeImage) {
    if (paneWidth <= 0 || paneHeight <= 0) {
      throw RangeError("PickLocalPSF: a pane of " + std::to_string(paneWidth) + " x " + std::to_string(paneHeight) +
                       " pixels shows no picture");
    }
    x = width * (std::int64_t{mx} - 8) / paneWidth;
    y = height * (std::int64_t{my} - 7) / paneHeight;
  } else {
    x = std::int64_t{mx} - (std::int64_t{paneWidth} - width + PickWidth) / 2;
    y = std::int64_t{my} - (std::int64_t{paneHeight} - height + PickHeight) / 2;
  }

  // The window pushed inside the picture, as BitmapToKernel places it; only
  // that window is handed over, so a pick never copies the whole picture.
  const std::int64_t w = std::min<std::int64_t>(PickWidth, width);
  const std::int64_t h = std::min<std::int64_t>(PickHeight, height);
  x = std::clamp<std::int64_t>(x, 0, width - w);
  y = std::clamp<std::int64_t>(y, 0, height - h);
  Bitmap window(static_cast<int>(w), static_cast<int>(h), shown.Format());
  window.Palette() = shown.Palette();
  const std::size_t bytesPerPixel = static_cast<std::size_t>(BytesPerPixel(shown.Format()));
  for (std::int64_t r = 0; r < h; ++r) {
    std::memcpy(window.Row(static_cast<int>(r)), shown.Row(static_cast<int>(y + r)) + x * bytesPerPixel,
                static_cast<std::size_t>(w) * bytesPerPixel);
  }
  BitmapToKernel(psf, window, 0, 0);

  Bitmap drawn;
  KernelToBitmap(drawn, psf);
  return drawn;
}

}  // namespace corvane
