#include "core/frame_list.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(MaxFrames, BudgetFormula) {
  EXPECT_EQ(MaxFramesFor(67108864, 384, 288), 298);
  EXPECT_EQ(MaxFramesFor(16LL << 20, 1600, 1200), 0);
  EXPECT_EQ(MaxFramesFor(512LL << 20, 64, 48), 4096);
  // A size typed far beyond any memory: no overflow, no frame.
  EXPECT_EQ(MaxFramesFor(512LL << 20, 2147483647, 2147483647), 0);
  EXPECT_EQ(MaxFramesFor(512LL << 20, 4000000, 288), 0);  // 2.3e9 bytes, past 32-bit products
  FrameList list;
  EXPECT_EQ(list.MaxFrames(), 27);  // min(4096, 512 MiB div 19 440 000)
  EXPECT_EQ(list.MaxMem(), 536870912);
}

TEST(FrameList, AddRefusesBeyondTheBudgetAndKeepsCounters) {
  FrameList list;
  list.SetMaxFrames(2);
  EXPECT_TRUE(list.Add(std::make_unique<TImageListItem>(4, 4)));
  EXPECT_TRUE(list.Add(std::make_unique<TImageListItem>(4, 4)));
  list.CurrentFrame = 0;
  EXPECT_FALSE(list.Add(std::make_unique<TImageListItem>(4, 4)));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.FrameCount(), 2);
  EXPECT_EQ(list.CurrentFrame, 1);
  list.Clear();
  EXPECT_EQ(list.FrameCount(), 0);
  EXPECT_EQ(list.CurrentFrame, 0);
  list.SetMaxFrames(0);
  EXPECT_FALSE(list.Add(std::make_unique<TImageListItem>(4, 4)));
}

TEST(TImageListItem, FromBitmapTakesTheLoadChannel) {
  Bitmap b(800, 600);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) b.Row(y)[3 * x + 1] = static_cast<std::uint8_t>(x);
  auto item = TImageListItem::CreateFromBitmap(b, "c:/pics/moon.bmp", 7, 2);
  EXPECT_EQ(item->Image.Width, 800);
  EXPECT_EQ(item->Image.Height, 600);
  EXPECT_EQ(Image16GetPixel(item->Image, 100, 10), 100 * 256);
  EXPECT_EQ(item->Quality, 1000);
  EXPECT_EQ(item->Resize, 1.0);
  EXPECT_EQ(item->Rotate, 0.0);
  EXPECT_EQ(item->Number, 7);
  EXPECT_EQ(item->FileName, "c:/pics/moon.bmp");
  auto black = TImageListItem::CreateFromBitmap(b, "x", -1, 9);
  EXPECT_EQ(Image16GetPixel(black->Image, 100, 10), 0);
}

TEST(TImageListItem, ToBitmapWritesTheTopLeftPart) {
  TImageListItem item(10, 10);
  Image16SetPixel(item.Image, 1, 1, 0x8000);
  Bitmap small(2, 2);
  item.ToBitmap(small);
  EXPECT_EQ(small.Row(1)[3], 0x80);
  EXPECT_EQ(small.Width(), 2);
}

TEST(TResultPicture, FourBlackPlanes) {
  TResultPicture r;
  EXPECT_EQ(r.Mono.Width, 192);
  EXPECT_EQ(r.B.Height, 144);
  EXPECT_EQ(&r.PlaneOfChannel(2), &r.G);
  EXPECT_EQ(&r.PlaneOfChannel(0), &r.Mono);
}
