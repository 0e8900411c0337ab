#pragma once
// Rectangle operations on planes and accumulation planes.
//
// Shared rules (see also core/image16.h):
//  - destination first, then sources, then rectangle and parameters;
//  - one-plane operations clip with Image16ClipRect; two-plane operations with
//    Image16ClipPair; three-plane operations clip the destination against the
//    first source, then against the second, W and H shrinking each time;
//  - an accumulation plane is clipped against its pixel width (Width / 2);
//  - no operation allocates a plane (Image16Resize holds one line buffer);
//  - integer division truncates toward zero; round is to nearest, ties to even;
//  - factors and divisors given as 16-bit values must lie in 0..65535, a larger
//    value is a RangeError naming the operation and the value;
//  - one plane may be given as destination and source: point operations then
//    work sample by sample in reading order; the neighbourhood operations and
//    Image16Zoom2 also keep reading order, so later outputs see earlier ones
//    (give a separate destination for the plain filter).
#include <cstdint>

#include "core/conv_kernel.h"
#include "core/image16.h"

namespace corvane {

/// A position relative to a rectangle's clipped origin.
struct TPosition {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const TPosition&, const TPosition&) = default;
};

/// 65 536 entries indexed by sample value.
using Lut16 = std::uint16_t[65536];

// ---- statistics -------------------------------------------------------------

/// 64-bit sum of the clipped rectangle div W x H (0..65535); an empty
/// rectangle gives 0.
std::int32_t Image16Mean(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

/// Centre of light: T := Round(clamp(threshold, 0, 1) x 65535) (NaN counts as
/// 0); only samples v > T count; S = 1 + sum v, SX = sum v (i + 1),
/// SY = sum v j (i, j from the clipped origin); answers (SX div S, SY div S).
/// Column weights count from 1, row weights from 0.
TPosition Image16Centroid(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                          double threshold);

/// First brightest sample in reading order (strictly greater than the best,
/// which starts at 0); (W div 2, H div 2) of the clipped rectangle when all
/// samples are 0 or the rectangle is empty.
TPosition Image16MaxPos(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

/// First darkest sample in reading order (best starts at 65536); the default
/// (W div 2, H div 2) only for an empty rectangle.
TPosition Image16MinPos(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

/// Adds the counts of the rectangle into the table, each entry held at 65535.
/// The table is not cleared first.
void Image16Histogram(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                      Lut16& histogram);

/// Sum of |a - b| (each term 0..65535) over the pair clipped with A as the
/// destination side, held at 4 294 967 295.
std::uint32_t Image16AbsDiffSum(const TImage16& a, std::int32_t ax, std::int32_t ay, const TImage16& b,
                                std::int32_t bx, std::int32_t by, std::int32_t w, std::int32_t h);

/// As Image16AbsDiffSum but the full 64-bit sum, never held.
std::uint64_t Image16AbsDiffSum64(const TImage16& a, std::int32_t ax, std::int32_t ay, const TImage16& b,
                                  std::int32_t bx, std::int32_t by, std::int32_t w, std::int32_t h);

// ---- point operations -------------------------------------------------------

/// v := table[v] in place.
void Image16ApplyLut(TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     const Lut16& table);

/// d := d - s when s <= d, else 0.
void Image16Subtract(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source,
                     std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h);

/// acc := acc + s, modulo 2^32. The accumulation plane is clipped against
/// its pixel width (Width / 2).
void Image16Accumulate(TImage16& accumulation, std::int32_t dx, std::int32_t dy, const TImage16& source,
                       std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h);

/// acc := s x factor (0..65535, RangeError otherwise).
void Image16MultiplyConst(TImage16& accumulation, std::int32_t dx, std::int32_t dy, const TImage16& source,
                          std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int64_t factor);

/// acc := a x b (three-plane clipping).
void Image16MultiplyPlanes(TImage16& accumulation, std::int32_t dx, std::int32_t dy, const TImage16& a,
                           std::int32_t ax, std::int32_t ay, const TImage16& b, std::int32_t bx, std::int32_t by,
                           std::int32_t w, std::int32_t h);

/// d := v div divisor when divisor > v shr 16, else 65535 (so 0 gives 65535).
/// divisor 0..65535, RangeError otherwise.
void Image16DivideConst(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& accumulation,
                        std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int64_t divisor);

/// d := v div e when e > v shr 16; 65535 when the quotient does not fit or
/// when e is 0, as Image16DivideConst does (three-plane clipping: destination
/// against the accumulation plane, then against the divisor plane).
void Image16DividePlane(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& accumulation,
                        std::int32_t ax, std::int32_t ay, const TImage16& divisor, std::int32_t ex,
                        std::int32_t ey, std::int32_t w, std::int32_t h);

/// Levels: lo := low% x 65535 div 100, hi := high% x 65535 x 320 div 100 (32-bit;
/// a percent whose level overflows, such as a high percent above 102, is an
/// OverflowError before anything is written). v < lo: v; v >= hi: 65535; else
/// lo + (v - lo) x (65536 - lo) div (hi - lo), 64-bit. With percents in
/// 0..100 every result fits a sample; outside that range a result that would
/// not fit is held at 0 or 65535.
void Image16Stretch(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& accumulation,
                    std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int32_t lowPercent,
                    std::int32_t highPercent);

// ---- neighbourhood and geometric operations --------------------------------

/// H := H - ceil(n / W) first (with the W given; W <= 0 copies nothing); then
/// the pair is clipped and destination (DX + i, DY + j) := source sample at
/// index (SY + j) x source width + SX + n + i, running on into later rows.
/// Reads stay inside the source's samples: a destination sample whose index
/// falls outside them keeps its value.
void Image16LinearShiftCopy(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source,
                            std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, std::int32_t n);

/// 2 x enlargement by sample doubling: (SX, SY, W, H) is clipped against the
/// source, (DX, DY, 2W, 2H) against the destination, and each source sample
/// (SX + i, SY + j), i < W' = clipped width div 2, j < H', fills the 2 x 2
/// block at (DX + 2i, DY + 2j).
void Image16Zoom2(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                  std::int32_t sy, std::int32_t w, std::int32_t h);

/// Nearest-sample resize by factor f (clamped to 0.1..10) with fixed-point
/// stepping in units of 720 (step = Round(720 / f)). Source lines start at
/// (SY + r) x width + SX but never beyond the start of the source's last row;
/// the destination's last row is never written. An output line over
/// MaxImageWidth + 1 samples, or a NaN factor, is a RangeError before anything
/// is written.
/// Reads never pass the last source sample (they take it instead) and a line
/// is cut at the end of its destination row rather than run on into the next.
/// Holds a column map and, with one plane as both, a line buffer.
void Image16Resize(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source,
                   std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, double factor);

/// Normalised convolution: N < 2 or N >= 17 gives a 17 x 15 kernel, else
/// N | 1 square; outputs at (DX + 8 + i, DY + 7 + j), i < W - 17, j < H - 15,
/// whatever the kernel size, each the weighted window sum div the weight sum
/// (1 when the weights are all 0). RangeError before touching the destination
/// when the weights do not fit the record (N = 16) or their sum passes 65535.
void Image16Convolve(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source,
                     std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, const TConvKernel& kernel);

/// 3 x 3 median of the interior (1 <= i <= W - 2, 1 <= j <= H - 2) after pair
/// clipping; the border of the destination is not written, and a rectangle
/// smaller than 3 x 3 writes nothing.
void Image16Median3(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source,
                    std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h);

}  // namespace corvane
