#pragma once
// Sharpening of the combined picture with a point-spread function (PSF):
// unsharp masking and the van Cittert and Lucy-Richardson deconvolutions.
//
// Shared rules:
//  - X is the frame whose plane is changed (the estimate), G the frame that
//    holds the observed picture and is only read; they may be the same frame;
//  - the kernel is read as a PSF (enhance/kernel_convolve.h); r := byte 0 div 2
//    is the margin of the update in both directions, and only the interior
//    r <= x < G.Width - r, r <= y < G.Height - r (cut to X's plane where X is
//    smaller) is changed; X's samples outside it keep their values;
//  - every written sample is limited to 0..65535, divisions round toward zero;
//  - an empty PSF (byte 0 = 0) leaves X as it is: nothing is convolved,
//    updated or reported;
//  - the convolutions and per-sample updates use every core; the results are
//    the same as a serial run.
#include <cstdint>

#include "core/conv_kernel.h"
#include "core/frame_list.h"
#include "core/services.h"
#include "enhance/kernel_convolve.h"

namespace corvane {

/// Unsharp masking: X's convolution interior := G blurred with the kernel
/// (KernelConvolve); then on the update interior b := X(x, y) (blurred),
/// g := G(x, y), X(x, y) := clamp(b + ((g - b) x strength) div 4). Strength 4
/// gives back G, 0 the blurred G, 8 doubles the fine detail (the setting runs
/// 0..16; any value is computed exactly in 64 bits). With a 17-wide kernel the
/// convolution starts at row 7 but the update at row 8, so rows 7 and
/// Height - 8 keep the blurred value. width and height (the picture's size) are
/// not used: the planes' own sizes count.
void UnsharpMask(TImageListItem& x, const TImageListItem& g, std::int32_t width, std::int32_t height,
                 const TConvKernel& kernel, std::int32_t strength);

/// Van Cittert deconvolution in fixed point (256 = 1.0): a work plane T of X's
/// size starts as X's top-left width x height; then for k = 1..iterations:
/// T := PSF (x) X (KernelConvolve), and on the interior
/// X := clamp(X + ((G - T) x 256) div 256). Progress: ProgressStart(2, 1,
/// iterations, "Iteration:") once, ProgressStep(2, k) as iteration k starts;
/// iterations <= 0 iterates nothing.
void VanCittert(TImageListItem& x, const TImageListItem& g, std::int32_t width, std::int32_t height,
                const TConvKernel& kernel, std::int32_t iterations, Services& services);

/// Lucy-Richardson deconvolution in fixed point (256 = 1.0), with work planes
/// T (as for VanCittert) and Q (black, X's size): for k = 1..iterations:
/// T := PSF (x) X; on the interior Q := clamp((G x 256) div max(1, T));
/// T := PSF (x) Q (Q's border stays 0); on the interior
/// X := clamp((X x T) div 256) in 64 bits. Progress as VanCittert.
void LucyRichardson(TImageListItem& x, const TImageListItem& g, std::int32_t width, std::int32_t height,
                    const TConvKernel& kernel, std::int32_t iterations, Services& services);

}  // namespace corvane
