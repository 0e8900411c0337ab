#include "stack/combine.h"

#include <gtest/gtest.h>

#include "core/errors.h"
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

TEST(CombineMedian, IsTheLastGoodFrameUnaligned) {
  FrameList l = List();
  for (int i = 1; i <= 5; ++i) l.Add(Frame(6, 6, static_cast<std::uint16_t>(i * 10), 1000, {2, 2}));
  TImageListItem r(6, 6);
  CombineOptions o;
  o.Method = CombineMedian;
  CombineFrames(l, r, o);
  EXPECT_EQ(Image16GetPixel(r.Image, 5, 5), 50);
  l[4].Quality = 10;
  o.Threshold = 500;
  TImageListItem r2(6, 6);
  CombineFrames(l, r2, o);
  EXPECT_EQ(Image16GetPixel(r2.Image, 0, 0), 40);
  TImageListItem big(8, 8);
  CombineFrames(l, big, o);
  EXPECT_EQ(Image16GetPixel(big.Image, 7, 7), 0);  // not covered by the frame: stays 0
  o.Threshold = 2000;
  TImageListItem none(6, 6);
  CombineFrames(l, none, o);
  EXPECT_EQ(Image16GetPixel(none.Image, 0, 0), 0);
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
  EXPECT_EQ(median.Memo[3], "(NOT IMPLEMENTED)");
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
