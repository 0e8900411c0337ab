#include "stack/combine.h"

#include <algorithm>
#include <string>

#include "core/errors.h"
#include "core/image_ops.h"
#include "output/bitmap_ops.h"
#include "stack/combine_median.h"

namespace corvane {

namespace {

constexpr std::int32_t MaxAccumulationWidth = MaxImageWidth / 2;

void RefuseWide(const char* what, std::int32_t width) {
  if (width > MaxAccumulationWidth)
    throw RangeError(std::string("CombineFrames: ") + what + " width " + std::to_string(width) +
                     " is above the " + std::to_string(MaxAccumulationWidth) + " samples a sum row holds");
}

bool IsGood(const TImageListItem& f, std::int32_t threshold) { return f.Quality >= threshold; }

// Adds a frame placed at a fractional shift into the accumulation plane.
void AccumulatePlaced(TImage16& acc, PlacedFrame& placed) {
  for (std::int32_t y = placed.Y0(); y < placed.Y1(); ++y) {
    const std::uint16_t* s = placed.Row(y);
    for (std::int32_t x = placed.X0(); x < placed.X1(); ++x) AccSet(acc, x, y, AccGet(acc, x, y) + s[x - placed.X0()]);
  }
}

// Sums the good frames into `acc` (result-sized), each centred and moved by its shift.
int AccumulateGood(const FrameList& frames, const TImageListItem& result, std::int32_t threshold, Resampling placement,
                   TImage16& acc) {
  const std::int32_t rw = result.Image.Width, rh = result.Image.Height;
  Image16Create(acc, 2 * rw, rh);
  int n = 0;
  for (int i = 0; i < frames.Count(); ++i) {
    const TImageListItem& f = frames[i];
    if (!IsGood(f, threshold)) continue;
    PlacedFrame placed(f, rw, rh, placement);
    if (!placed.Whole()) {
      AccumulatePlaced(acc, placed);
      ++n;
      continue;
    }
    const std::int32_t fw = f.Image.Width, fh = f.Image.Height;
    const TFrameWindow win = FrameWindow(1, rw, rh, fw, fh, fw / 2, fh / 2);
    Image16Accumulate(acc, win.X0, win.Y0, f.Image, win.X1 + f.Shift.x, win.Y1 + f.Shift.y, win.W, win.H);
    ++n;
  }
  return n;
}

}  // namespace

void CombineFrames(const FrameList& frames, TImageListItem& result, const CombineOptions& options) {
  if (frames.Empty()) return;
  RefuseWide("result", result.Image.Width);
  for (int i = 0; i < frames.Count(); ++i) RefuseWide("frame", frames[i].Image.Width);
  const TImage16& last = frames[frames.Count() - 1].Image;
  const std::int32_t rw = result.Image.Width, rh = result.Image.Height;
  TImage16 acc;
  switch (options.Method) {
    case CombineMean: {
      const int n = AccumulateGood(frames, result, options.Threshold, options.Placement, acc);
      Image16DivideConst(result.Image, 0, 0, acc, 0, 0, std::min(last.Width, rw), std::min(last.Height, rh), n);
      break;
    }
    case CombineMedian: CombineMedianFrames(frames, result.Image, options.Threshold, options.Placement); break;
    case CombineMultiply: {
      if (options.P1 < 1 || options.P1 > frames.Count())
        throw RangeError("CombineFrames: Multiply frame " + std::to_string(options.P1) + " outside 1.." +
                         std::to_string(frames.Count()));
      const int current = std::clamp(options.CurrentFrame, 0, frames.Count() - 1);
      const TImageListItem& a = frames[options.P1 - 1];
      const TImageListItem& b = frames[current];
      Image16Copy(result.Image, 0, 0, a.Image, a.Shift.x, a.Shift.y, a.Image.Width, a.Image.Height);
      Image16Create(acc, 2 * b.Image.Width, b.Image.Height);
      Image16MultiplyPlanes(acc, 0, 0, result.Image, 0, 0, b.Image, b.Shift.x, b.Shift.y, b.Image.Width,
                            b.Image.Height);
      Image16DivideConst(result.Image, 0, 0, acc, 0, 0, b.Image.Width, b.Image.Height,
                         static_cast<std::int64_t>(options.P2) * 655);
      break;
    }
    case CombineAdd: {
      AccumulateGood(frames, result, options.Threshold, options.Placement, acc);
      Image16Stretch(result.Image, 0, 0, acc, 0, 0, std::min(last.Width, rw), std::min(last.Height, rh), options.P1,
                     options.P2);
      break;
    }
    default: break;
  }
}

CombinePanel CombinePanelFor(int method, int frameCount) {
  CombinePanel p;
  switch (method) {
    case CombineMedian:
      p.Memo = {"----------- Median -----------", "", "Take the median  ", "value of all frames"};
      p.KeepValues = true;
      break;
    case CombineMultiply:
      p.Memo = {"---------- Multiply ----------", "Multiply two frames", "Frame 1 = frame nr ", "under frame quality "};
      p.Label1 = "Frame 2:";
      p.Label2 = "Divide by";
      p.Spin1 = {true, 1, std::max(1, frameCount), 1, 1};
      p.Spin2 = {true, 1, 100, 100, 1};
      break;
    case CombineAdd:
      p.Memo = {"------------ Add -------------", "Add frames together", "#1 : e.g. 10%", "#2 : e.g. 20%"};
      p.Label1 = "% 1";
      p.Label2 = "% 2";
      p.Spin1 = {true, 0, 100, 10, 1};
      p.Spin2 = {true, 1, 100, 20, 1};
      break;
    default:
      p.Memo = {"------------ Mean ------------", "", "Take the average  ", "value of all frames"};
      p.KeepValues = true;
      break;
  }
  return p;
}

}  // namespace corvane
