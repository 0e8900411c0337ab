#pragma once
// Small bitmap operations: converting between a small PSF picture and a
// TConvKernel, rebuilding one field of an interlaced frame, the window
// arithmetic that places an input picture in an output frame, and the
// brightness/contrast table made of the bias and gain curves.
#include <cstdint>

#include "core/bitmap.h"
#include "core/conv_kernel.h"
#include "io/picture_files.h"

namespace corvane {

/// Reads a PSF window into the kernel: w = min(17, width), h = min(15, height),
/// the window's corner (X, Y) pushed back inside the bitmap, each sample the
/// grey value (blue + green + red) div 3 of its pixel, stored at byte
/// r x w + c + 1; byte 0 := w. The bitmap is made 24-bit first. Kernel bytes
/// the window does not reach keep their values. Returns true (an empty bitmap
/// gives byte 0 = 0 and no samples). Throws RangeError when the window reaches
/// column BitmapRowLimit24 or beyond.
bool BitmapToKernel(TConvKernel& kernel, Bitmap& bitmap, std::int32_t x, std::int32_t y);

/// Draws the kernel as a grey 24-bit picture of w = byte 0 columns and 15 rows
/// when w is 17, w rows otherwise. Returns false, changing nothing, when w is
/// above 17 or the bitmap is not 24-bit. A sample past the end of the record
/// (only the last one of a 16 x 16 kernel) is drawn black.
bool KernelToBitmap(Bitmap& bitmap, const TConvKernel& kernel);

/// Keeps the even rows of a 24-bit bitmap and rebuilds every odd row that has
/// a row below it as (above + below) shr 1 per colour byte. Other formats are
/// left alone. Throws RangeError, changing nothing, when a row to rebuild is
/// wider than BitmapRowLimit24.
void InterpolateOddLines(Bitmap& bitmap);
/// Keeps the odd rows and rebuilds the even rows from row 2 on that have a row
/// below them, as InterpolateOddLines does. Row 0 stays.
void InterpolateEvenLines(Bitmap& bitmap);

/// Where an input picture goes in an output frame. W, H: the window in input
/// pixels; (X0, Y0): its corner in the output; (X1, Y1): its corner in the input.
struct TFrameWindow {
  std::int32_t W, H, X0, Y0, X1, Y1;
};
/// W := min(Wi x Z, Wo), H := min(Hi x Z, Ho); X0 := max(0, Wo div 2 - W div 2),
/// Y0 likewise; W := W div Z, H := H div Z; X1 := max(0, Cx - W div 2), Y1
/// likewise (div truncates). Throws RangeError when Z < 1, OverflowError when
/// Wi x Z or Hi x Z leaves the 32-bit range.
TFrameWindow FrameWindow(std::int32_t zoom, std::int32_t outW, std::int32_t outH, std::int32_t inW, std::int32_t inH,
                         std::int32_t cx, std::int32_t cy);

/// Half the absolute difference of a and b: (max - min) div 2.
constexpr std::int32_t HalfSpan(std::int32_t a, std::int32_t b) noexcept {
  const std::int64_t d = a > b ? std::int64_t{a} - b : std::int64_t{b} - a;
  return static_cast<std::int32_t>(d / 2);
}

/// The brightness/contrast table: for i in 0 .. min(n, 65535), entry i :=
/// truncate(BiasCurve(bias, GainCurve(gain, i / n)) x n). The table must hold
/// min(n, 65535) + 1 entries. With n = 65536 and bias = gain = 0.5 it is the
/// identity. Throws RangeError when n < 1 or an entry leaves 0 .. 65535
/// (possible only for n > 65536).
void BuildBiasGainLut(std::uint16_t* table, std::int32_t n, double bias, double gain);

/// Bias curve t / ((1 / b - 2)(1 - t) + 1), b clamped to 0.01 .. 0.99. b above
/// 0.5 brightens, below darkens; 0 and 1 are fixed points.
long double BiasCurve(long double b, long double t);
/// Gain curve: a := 1 - g, k := 1 / a - 2, v := k (1 - 2t); t / (v + 1) for
/// t < 0.5, else (v - t) / (v - 1); g clamped to 0.01 .. 0.99. g above 0.5
/// raises the contrast about the middle; 0, 0.5 and 1 are fixed points.
long double GainCurve(long double g, long double t);

}  // namespace corvane
