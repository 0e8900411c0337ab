#pragma once
// The per-pixel median of the good frames, the Median method of the combine.
#include <cstdint>

#include "core/frame_list.h"
#include "stack/frame_placement.h"

namespace corvane {

/// Every pixel of `result` that at least one good frame (Quality >=
/// threshold) covers becomes the median of the samples the good frames place
/// there, each frame placed by its shift exactly as Mean places it
/// (PlacedFrame). With an even number of samples it is the mean of the two
/// middle ones, rounded to the nearest value with ties to even. Pixels no good
/// frame covers keep their value. Works row by row with a 256-bin histogram of
/// the high bytes, then of the low bytes in the median's bin, per pixel of the
/// row: it reads each good frame twice and holds 1 KiB per result column, never
/// a copy of the frames.
void CombineMedianFrames(const FrameList& frames, TImage16& result, std::int32_t threshold, Resampling resampling);

}  // namespace corvane
