#pragma once
// Rating frames by sharpness, and keeping the best part of them.
//
// The sharpness of a frame is the mean squared Sobel gradient over an area of
// it, divided by the square of the area's mean brightness: blur lowers it,
// a brighter or darker exposure of the same view does not change it.
// Measured on generated frames of eight known blur levels, it ranks them by
// blur as well as the levels allow, also with noise added where one-sample
// differences and the Laplacian no longer do.
#include <cstdint>
#include <vector>

#include "core/frame_list.h"

namespace corvane {

/// The sharpness of the rectangle (X, Y, W, H) of the plane, clipped to the
/// plane: the mean of Gx^2 + Gy^2 (3 x 3 Sobel kernels) over the rectangle's
/// inner samples (those whose eight neighbours lie in the rectangle), divided
/// by the square of the rectangle's mean sample. 0 when the clipped rectangle
/// is smaller than 3 x 3 or black.
double FrameSharpness(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

/// The quality a sharpness rating gives: 1000 x sharpness / best, rounded to
/// the nearest integer (ties to even), 0 when best is not above 0.
std::int32_t SharpnessQuality(double sharpness, double best);

/// How many of `frames` frames "keep the best `percent` %" keeps:
/// frames x percent / 100 rounded to the nearest whole frame (ties to even),
/// at least 1 when there is a frame. percent outside 1..100 throws RangeError.
int KeepBestCount(int frames, std::int32_t percent);

/// Keeps the best `percent` % of the frames at the list positions `positions`
/// (KeepBestCount of them), ranked by `keys` (one per position, higher is
/// better; equal keys go to the earlier list position): the kept frames get
/// Quality 1000, the others 0, so that every quality threshold from 1 to
/// 1000 lets exactly the kept ones pass. Frames at other positions are not
/// changed. Answers the number kept. RangeError for a percent outside 1..100
/// or positions and keys of different lengths.
int KeepBestFrames(FrameList& frames, const std::vector<int>& positions, const std::vector<double>& keys,
                   std::int32_t percent);

}  // namespace corvane
