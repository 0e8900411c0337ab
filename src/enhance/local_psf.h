#pragma once
// The local point-spread function: the kernel the enhancement uses when "Local
// PSF" is ticked. It starts as a soft 15 x 15 spot and is replaced by every
// pick with the mouse on the result pane.
#include <cstdint>

#include "core/bitmap.h"
#include "core/conv_kernel.h"

namespace corvane {

/// The start-up local PSF: a 15 x 15 kernel (byte 0 = 15) whose samples add up
/// to 24 528, peaking at 240 in the centre.
TConvKernel StartupLocalPSF();

/// The pick on the result pane. (mx, my) is the pointer in pane pixels; the
/// pane of paneWidth x paneHeight shows `shown` stretched (wholeImage) or at
/// its own size, centred. The 17 x 15 window's corner:
/// - stretched: X := width x (mx - 8) div paneWidth, Y := height x (my - 7) div
///   paneHeight;
/// - centred: X := mx - (paneWidth - width + 17) div 2, Y := my - (paneHeight -
///   height + 15) div 2;
/// then BitmapToKernel(psf, shown, X, Y), which pushes the window inside the
/// picture. Returns the picture KernelToBitmap draws of the new psf (for the
/// local PSF image). An empty `shown` returns an empty bitmap and leaves psf
/// unchanged. Throws RangeError, leaving psf unchanged, for a stretched pane of
/// width or height 0 or less.
Bitmap PickLocalPSF(TConvKernel& psf, const Bitmap& shown, std::int32_t mx, std::int32_t my, bool wholeImage,
                    std::int32_t paneWidth, std::int32_t paneHeight);

}  // namespace corvane
