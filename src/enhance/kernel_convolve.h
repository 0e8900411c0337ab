#pragma once
// The point-spread-function kernel as the sharpening methods read it, and the
// PSF convolution that all three methods share.
//
// A PSF kernel is a TConvKernel whose byte 0 is its width w (1..17) and whose
// height is 15 when w is 17 (or more) and w otherwise; the weight of column x,
// row y is byte y x w + x + 1. A width above 17 is read as 17 x 15.
//
// Even widths: the weights occupy w columns (and, below 15, w rows) but the
// convolution spans the next odd width, centred on column w div 2 (and row
// min(w, 15) div 2); the extra last column and row weigh 0. A 16 x 16 PSF
// picture (read as 16 x 15 weights) thus blurs as a 17 x 15 kernel whose last
// column is 0. Width 0 (an empty PSF) makes the convolution do nothing.
#include <cstdint>

#include "core/conv_kernel.h"
#include "core/image16.h"

namespace corvane {

/// Byte y x w' + x + 1 of the kernel, where w' = 17 when byte 0 is 17 or more
/// and byte 0 otherwise. Throws RangeError (naming x, y and the width) when
/// that index lies outside bytes 0..255.
std::uint8_t KernelValue(std::int32_t x, std::int32_t y, const TConvKernel& kernel);

/// Sum of KernelValue over columns 0 .. min(w, 17) - 1 and rows
/// 0 .. min(w, 15) - 1 (w = byte 0): the sum of the weights the convolution
/// uses. 0 when `include` is false. At most 255 x 255.
std::int64_t KernelSum(const TConvKernel& kernel, bool include);

/// Destination interior := normalised correlation of the source with the
/// kernel (64-bit sums, division toward zero, interior only, no mirroring).
/// threads: 0 = all cores, 1 = serial; results identical for every count.
///
/// With norm = max(1, KernelSum(kernel, include)), rX = min(w, 17) div 2 and
/// rY = min(w, 15) div 2: for rY <= y < source.Height - rY and
/// rX <= x < source.Width - rX, destination(x, y) := sum over the kernel of
/// source(x - rX + c, y - rY + r) x weight(c, r), div norm, limited to 65535
/// (which only an unnormalised call, include = false, can reach). Destination
/// samples outside that interior keep their values; positions outside the
/// destination are skipped. A source smaller than the kernel writes nothing.
/// The destination may be the source: the result is then as if the source had
/// been read in full before the first sample was written (a working copy).
void KernelConvolve(TImage16& destination, const TImage16& source, const TConvKernel& kernel, bool include = true,
                    int threads = 0);

namespace detail {

/// The ways KernelConvolve can run, for tests and benchmarks: Auto picks the
/// widest the processor supports.
enum class ConvolvePath { Auto, Plain, Sse2, Avx2 };

/// Whether this build and this processor can run the path.
bool ConvolvePathAvailable(ConvolvePath path) noexcept;

/// KernelConvolve on a given path (Auto as KernelConvolve). Throws RangeError
/// when the path is not available.
void KernelConvolveOn(ConvolvePath path, TImage16& destination, const TImage16& source, const TConvKernel& kernel,
                      bool include, int threads);

}  // namespace detail

}  // namespace corvane
