#include "stack/combine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/errors.h"
#include "core/image_ops.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::ConstantPlane;

namespace {

std::unique_ptr<TImageListItem> Frame(int w, int h, std::uint16_t v, int quality = 1000, TPoint32 shift = {}) {
  auto f = std::make_unique<TImageListItem>(w, h);
  f->Image = ConstantPlane(w, h, v);
  f->Quality = quality;
  f->Shift = shift;
  return f;
}

FrameList List() {
  FrameList l;
  l.SetMaxFrames(4096);
  return l;
}

}  // namespace

TEST(CombineMean, TruncatesTheSumOverGoodFrames) {
  FrameList l = List();
  l.Add(Frame(4, 4, 100));
  l.Add(Frame(4, 4, 200));
  l.Add(Frame(4, 4, 301));
  TImageListItem r(4, 4);
  CombineFrames(l, r, CombineOptions{});
  EXPECT_EQ(Image16GetPixel(r.Image, 2, 2), 200);  // 601 div 3
}

TEST(CombineMean, ShiftedFrameDarkensTheBorderByTheMissingShare) {
  FrameList l = List();
  l.Add(Frame(640, 480, 1000, 1000, {5, 0}));
  l.Add(Frame(640, 480, 1000));
  TImageListItem r(640, 480);
  CombineFrames(l, r, CombineOptions{});
  EXPECT_EQ(Image16GetPixel(r.Image, 0, 10), 1000);
  EXPECT_EQ(Image16GetPixel(r.Image, 634, 10), 1000);
  EXPECT_EQ(Image16GetPixel(r.Image, 635, 10), 500);
  EXPECT_EQ(Image16GetPixel(r.Image, 639, 479), 500);
}

TEST(CombineMean, ThresholdDecidesWhichFramesCount) {
  FrameList l = List();
  l.Add(Frame(8, 8, 1000, 900));
  l.Add(Frame(8, 8, 3000, 899));
  TImageListItem r(8, 8);
  CombineOptions o;
  o.Threshold = 900;  // equal quality takes part
  CombineFrames(l, r, o);
  EXPECT_EQ(Image16GetPixel(r.Image, 3, 3), 1000);
  o.Threshold = 901;  // no good frame: the division by 0 saturates
  TImageListItem r2(8, 8);
  CombineFrames(l, r2, o);
  EXPECT_EQ(Image16GetPixel(r2.Image, 3, 3), 65535);
}

TEST(CombineMean, SmallFrameIsCentredAndOnlyTheLastFramesRectangleIsWritten) {
  FrameList l = List();
  l.Add(Frame(4, 2, 800));
  TImageListItem r(8, 6);
  CombineFrames(l, r, CombineOptions{});
  // the 4 x 2 frame lands at (2, 2); the final division covers (0, 0, 4, 2)
  EXPECT_EQ(Image16GetPixel(r.Image, 0, 0), 0);
  EXPECT_EQ(Image16GetPixel(r.Image, 2, 0), 0);
  EXPECT_EQ(Image16GetPixel(r.Image, 5, 2), 0);
  TImageListItem r2(4, 2);
  CombineFrames(l, r2, CombineOptions{});
  EXPECT_EQ(Image16GetPixel(r2.Image, 3, 1), 800);
}

// The median of the samples a list of frames places at (x, y) of a result of
// rw x rh, written out plainly: each frame centred and moved by its shift,
// sorted, the middle one or the two middle ones' mean, ties to even. -1 when
// no good frame covers the pixel.
int ReferenceMedian(const FrameList& l, int rw, int rh, int x, int y, int threshold) {
  std::vector<int> v;
  for (int i = 0; i < l.Count(); ++i) {
    const TImageListItem& f = l[i];
    if (f.Quality < threshold) continue;
    const int fw = f.Image.Width, fh = f.Image.Height;
    const int ow = std::min(fw, rw), oh = std::min(fh, rh);
    const int dx = std::max(0, rw / 2 - ow / 2), dy = std::max(0, rh / 2 - oh / 2);
    const int sx = std::max(0, fw / 2 - ow / 2), sy = std::max(0, fh / 2 - oh / 2);
    const int fx = x - dx + sx + f.Shift.x, fy = y - dy + sy + f.Shift.y;
    if (x < dx || x >= dx + ow || y < dy || y >= dy + oh || fx < 0 || fy < 0 || fx >= fw || fy >= fh) continue;
    v.push_back(Image16GetPixel(f.Image, fx, fy));
  }
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  const int sum = v[(n - 1) / 2] + v[n / 2];
  return sum / 2 + ((sum % 2 != 0 && (sum / 2) % 2 != 0) ? 1 : 0);
}

TEST(CombineMedian, OutliersAndShiftsAndEvenCounts) {
  // Five frames, one holding an outlier, the third shifted by (2, 1): the
  // outlier never wins, and the shifted frame's samples land where Mean puts them.
  FrameList l = List();
  for (std::uint16_t v : {10, 20, 30, 40, 65000}) l.Add(Frame(6, 5, v));
  Image16SetPixel(l[2].Image, 5, 4, 9);  // read for result (3, 3) by the shifted frame
  l[2].Shift = {2, 1};
  TImageListItem r(6, 5);
  CombineOptions o;
  o.Method = CombineMedian;
  CombineFrames(l, r, o);
  EXPECT_EQ(Image16GetPixel(r.Image, 0, 0), 30);
  EXPECT_EQ(Image16GetPixel(r.Image, 3, 3), 20);  // 9, 10, 20, 40, 65000
  // Columns 4, 5 and row 4 lack the shifted frame: four samples 10, 20, 40, 65000 -> (20 + 40) / 2.
  EXPECT_EQ(Image16GetPixel(r.Image, 5, 2), 30);
  EXPECT_EQ(Image16GetPixel(r.Image, 1, 4), 30);
  // Two middle values whose mean is a half: ties go to the even neighbour.
  FrameList two = List();
  two.Add(Frame(2, 2, 10));
  two.Add(Frame(2, 2, 21));  // 15.5 -> 16
  two.Add(Frame(2, 2, 300, 0));
  TImageListItem r2(2, 2);
  o.Threshold = 1;
  CombineFrames(two, r2, o);
  EXPECT_EQ(Image16GetPixel(r2.Image, 0, 0), 16);
  two[1].Image = ConstantPlane(2, 2, 23);  // 16.5 -> 16
  CombineFrames(two, r2, o);
  EXPECT_EQ(Image16GetPixel(r2.Image, 1, 1), 16);
  two[0].Image = ConstantPlane(2, 2, 65534);
  two[1].Image = ConstantPlane(2, 2, 65535);  // 65534.5 -> 65534, no overflow
  CombineFrames(two, r2, o);
  EXPECT_EQ(Image16GetPixel(r2.Image, 1, 0), 65534);
  // No good frame: the result keeps its samples.
  o.Threshold = 2000;
  TImageListItem none(6, 6);
  CombineFrames(l, none, o);
  EXPECT_EQ(Image16GetPixel(none.Image, 0, 0), 0);
}

TEST(CombineMedian, MatchesASortedReferenceForRandomFramesShiftsAndSizes) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> shift(-6, 6), quality(0, 1000), count(1, 12);
  for (int round = 0; round < 24; ++round) {
    // Wide sample ranges put the two middle values in different high-byte
    // bins; narrow ones put many samples in one bin.
    const bool wide = round % 2 == 0;
    const int rw = 17 + round % 5, rh = 11 + round % 3;
    FrameList l = List();
    const int n = count(rng);
    for (int i = 0; i < n; ++i) {
      const int fw = rw + (round % 3) * 4 - 4, fh = rh + (round % 4) * 2 - 3;
      auto f = std::make_unique<TImageListItem>(fw, fh);
      f->Image = wide ? test::RandomPlane(rng, fw, fh) : test::RandomPlane(rng, fw, fh, 1000, 1300);
      f->Shift = {shift(rng), shift(rng)};
      f->Quality = quality(rng);
      l.Add(std::move(f));
    }
    TImageListItem r(rw, rh);
    Image16FillRect(r.Image, 0, 0, rw, rh, 77);
    CombineOptions o;
    o.Method = CombineMedian;
    o.Threshold = round % 4 == 0 ? 300 : 0;
    CombineFrames(l, r, o);
    for (int y = 0; y < rh; ++y)
      for (int x = 0; x < rw; ++x) {
        const int expected = ReferenceMedian(l, rw, rh, x, y, o.Threshold);
        ASSERT_EQ(Image16GetPixel(r.Image, x, y), expected < 0 ? 77 : expected)
            << "round " << round << " at " << x << "," << y;
      }
  }
}

// A frame of the result's size resampled at (x + shift, y + shift), written
// out plainly in double precision: -1 where the position lies outside it.
double ReferencePlaced(const TImage16& f, double sx, double sy, int x, int y, bool cubic) {
  const double px = x + sx, py = y + sy;
  if (px < 0 || py < 0 || px > f.Width - 1 || py > f.Height - 1) return -1;
  auto at = [&](int i, int j) {
    return static_cast<double>(Image16GetPixel(f, std::clamp(i, 0, f.Width - 1), std::clamp(j, 0, f.Height - 1)));
  };
  auto keys = [](double d) {
    d = std::abs(d);
    return d <= 1 ? 1.5 * d * d * d - 2.5 * d * d + 1 : d < 2 ? -0.5 * d * d * d + 2.5 * d * d - 4 * d + 2 : 0.0;
  };
  const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
  const double tx = px - x0, ty = py - y0;
  double v = 0;
  if (!cubic) {
    v = (1 - tx) * (1 - ty) * at(x0, y0) + tx * (1 - ty) * at(x0 + 1, y0) + (1 - tx) * ty * at(x0, y0 + 1) +
        tx * ty * at(x0 + 1, y0 + 1);
  } else {
    for (int j = -1; j <= 2; ++j)
      for (int i = -1; i <= 2; ++i) v += keys(i - tx) * keys(j - ty) * at(x0 + i, y0 + j);
  }
  return std::clamp(v, 0.0, 65535.0);
}

TEST(CombinePlacement, FractionalShiftsResampleTheFrame) {
  std::mt19937 rng(3);
  for (const bool cubic : {false, true})
    for (const TPointF sub : {TPointF{0.25, -0.5}, TPointF{-0.4, 0.0}, TPointF{0.0, 0.125}}) {
      FrameList l = List();
      auto f = Frame(23, 17, 0, 1000, {2, -1});
      f->Image = test::RandomPlane(rng, 23, 17);
      f->SubShift = sub;
      l.Add(std::move(f));
      TImageListItem r(23, 17);
      CombineOptions o;
      o.Placement = cubic ? Resampling::Bicubic : Resampling::Bilinear;
      CombineFrames(l, r, o);  // one frame: the mean is the placed frame
      for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x) {
          const double expected = ReferencePlaced(l[0].Image, 2 + sub.x, -1 + sub.y, x, y, cubic);
          if (expected < 0)
            ASSERT_EQ(Image16GetPixel(r.Image, x, y), 0) << x << "," << y;
          else
            ASSERT_NEAR(Image16GetPixel(r.Image, x, y), expected, 0.51) << x << "," << y << " cubic " << cubic;
        }
      // The median of two copies is the same placed frame.
      l.Add(std::make_unique<TImageListItem>(23, 17));
      l[1].Image = test::ClonePlane(l[0].Image);
      l[1].Shift = l[0].Shift;
      l[1].SubShift = sub;
      TImageListItem m(23, 17);
      o.Method = CombineMedian;
      CombineFrames(l, m, o);
      EXPECT_TRUE(test::SamePlane(m.Image, r.Image));
      // Whole samples ignore the fraction.
      o.Placement = Resampling::WholeSamples;
      o.Method = CombineMean;
      TImageListItem whole(23, 17);
      CombineFrames(l, whole, o);
      EXPECT_EQ(Image16GetPixel(whole.Image, 5, 5), Image16GetPixel(l[0].Image, 7, 4));
    }
}

TEST(CombineMultiply, ProductDividedByP2Times655) {
  FrameList l = List();
  l.Add(Frame(4, 4, 65280));
  TImageListItem r(4, 4);
  CombineOptions o;
  o.Method = CombineMultiply;
  o.P1 = 1;
  o.P2 = 100;
  o.CurrentFrame = 0;
  CombineFrames(l, r, o);
  EXPECT_EQ(Image16GetPixel(r.Image, 1, 1), 65060);  // 65280 * 65280 div 65500

  FrameList l2 = List();
  l2.Add(Frame(4, 4, 32768));
  TImageListItem r2(4, 4);
  CombineFrames(l2, r2, o);
  EXPECT_EQ(Image16GetPixel(r2.Image, 0, 0), 16393);
  o.P2 = 1;  // divisor 655: 655 x 65536 and more saturate
  TImageListItem r3(4, 4);
  CombineFrames(l2, r3, o);
  EXPECT_EQ(Image16GetPixel(r3.Image, 0, 0), 65535);
  o.P1 = 2;
  EXPECT_THROW(CombineFrames(l2, r3, o), RangeError);
}

TEST(CombineAdd, StretchOfTheSum) {
  FrameList l = List();
  l.Add(Frame(4, 4, 2000));
  l.Add(Frame(4, 4, 2000));
  l.Add(Frame(4, 4, 2000));
  TImageListItem r(4, 4);
  CombineOptions o;
  o.Method = CombineAdd;
  o.P1 = 10;
  o.P2 = 20;
  CombineFrames(l, r, o);
  EXPECT_EQ(Image16GetPixel(r.Image, 0, 0), 6000);  // below Lo = 6553: kept
  o.P1 = 0;
  o.P2 = 100;
  TImageListItem r2(4, 4);
  CombineFrames(l, r2, o);
  EXPECT_EQ(Image16GetPixel(r2.Image, 0, 0), 6000LL * 65536 / 20971200);
  o.Threshold = 5000;  // no good frame: all sums 0, below Lo
  TImageListItem r3(4, 4);
  CombineFrames(l, r3, o);
  EXPECT_EQ(Image16GetPixel(r3.Image, 0, 0), 0);
}

TEST(CombineFrames, EmptyListAndWideFrames) {
  FrameList l = List();
  TImageListItem r(8, 8);
  CombineFrames(l, r, CombineOptions{});
  EXPECT_EQ(Image16GetPixel(r.Image, 4, 4), 0);
  l.Add(Frame(4608, 2, 10));  // wider than the old 3600-sample sum rows: combined
  TImageListItem r2(4608, 2);
  CombineFrames(l, r2, CombineOptions{});
  EXPECT_EQ(Image16GetPixel(r2.Image, 4607, 1), 10);
  l.Add(Frame(40000, 1, 10));  // wider than any picture a reader gives
  EXPECT_THROW(CombineFrames(l, r2, CombineOptions{}), RangeError);
}

TEST(CombinePanelFor, MethodsResetTheirValues) {
  CombinePanel mean = CombinePanelFor(CombineMean, 5);
  EXPECT_EQ(mean.Memo[0], "------------ Mean ------------");
  EXPECT_EQ(mean.Memo[2], "Take the average  ");
  EXPECT_FALSE(mean.Spin1.Shown);
  EXPECT_EQ(mean.Label1, "");
  CombinePanel median = CombinePanelFor(CombineMedian, 5);
  EXPECT_EQ(median.Memo[2], "Take the median  ");
  EXPECT_EQ(median.Memo[3], "value of all frames");
  EXPECT_FALSE(median.Spin2.Shown);
  CombinePanel mul = CombinePanelFor(CombineMultiply, 5);
  EXPECT_EQ(mul.Label2, "Divide by");
  EXPECT_EQ(mul.Spin1.Maximum, 5);
  EXPECT_EQ(mul.Spin2.Value, 100);
  EXPECT_EQ(mul.Memo[2], "Frame 1 = frame nr ");
  CombinePanel add = CombinePanelFor(CombineAdd, 5);
  EXPECT_EQ(add.Spin1.Value, 10);
  EXPECT_EQ(add.Spin2.Minimum, 1);
  EXPECT_EQ(add.Label1, "% 1");
}
