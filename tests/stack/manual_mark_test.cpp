#include "stack/manual_mark.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(ManualMark, PressPositionsInBothPaneModes) {
  const TPoint32 area = AreaSizeOf(1);
  struct Case {
    int px, py;
    bool whole;
    int ex, ey;
  };
  for (const Case& c : {Case{160, 120, true, 224, 168}, Case{0, 0, true, 0, 0}, Case{319, 239, true, 448, 336},
                        Case{160, 120, false, 224, 168}}) {
    ManualMark m;
    const auto inv = m.MouseDown(c.px, c.py, c.whole, 640, 480, area);
    EXPECT_EQ(m.MarkX, c.ex);
    EXPECT_EQ(m.MarkY, c.ey);
    ASSERT_EQ(inv.size(), 1u);
    EXPECT_EQ(inv[0], (TRect32{c.ex, c.ey, 192, 144}));
    EXPECT_FALSE(m.ManualMarkSet);  // a click alone does not set the mark
  }
}

TEST(ManualMark, DragSetsTheMarkAndRestoresThePicture) {
  ManualMark m;
  m.MouseDown(160, 120, true, 640, 480, AreaSizeOf(1));
  const auto move = m.MouseMove(170, 120, true, 640, 480);
  ASSERT_EQ(move.size(), 2u);
  EXPECT_EQ(move[0], (TRect32{224, 168, 192, 144}));  // the old highlight, inverted back
  EXPECT_EQ(move[1], (TRect32{244, 168, 192, 144}));
  EXPECT_TRUE(m.ManualMarkSet);
  EXPECT_EQ(m.MarkX, 224);  // a move does not change the mark itself
  const auto up = m.MouseUp(170, 120, true, 640, 480);
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0], move[1]);  // same place: inverting it again leaves no highlight
  EXPECT_EQ(m.MarkX, 244);
  EXPECT_FALSE(m.Dragging);
  m.Clear();
  EXPECT_FALSE(m.ManualMarkSet);
}

TEST(ManualMark, APictureNoLargerThanTheAreaTakesNoMark) {
  ManualMark m;
  m.MarkX = 5;
  EXPECT_TRUE(m.MouseDown(10, 10, true, 96, 72, AreaSizeOf(0)).empty());
  EXPECT_EQ(m.MarkX, 0);
  EXPECT_TRUE(m.MouseMove(20, 20, true, 96, 72).empty());
  EXPECT_FALSE(m.ManualMarkSet);
}

TEST(ManualMark, InvertedRectanglesStayInsideThePicture) {
  ManualMark m;
  const auto inv = m.MouseDown(160, 120, true, 640, 100, AreaSizeOf(1));  // wider than the area only
  ASSERT_EQ(inv.size(), 1u);
  EXPECT_EQ(inv[0], (TRect32{224, 0, 192, 100}));
  EXPECT_EQ(m.MarkY, 0);
}

TEST(ManualMark, InvertingARectangleTwiceRestoresThePicture) {
  Bitmap picture(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int i = 0; i < 15; ++i) picture.Row(y)[i] = static_cast<std::uint8_t>(16 * y + i);
  const Bitmap before = picture;
  InvertRectangle(picture, {3, 2, 10, 10});  // reaches past the picture: cut
  for (int y = 0; y < 4; ++y)
    for (int i = 0; i < 15; ++i) {
      const bool inside = y >= 2 && i >= 9;
      EXPECT_EQ(picture.Row(y)[i], inside ? 255 - before.Row(y)[i] : before.Row(y)[i]) << y << "," << i;
    }
  InvertRectangle(picture, {3, 2, 10, 10});
  EXPECT_EQ(picture, before);
  InvertRectangle(picture, {-3, -3, 2, 2});  // wholly outside: nothing
  EXPECT_EQ(picture, before);

  Bitmap grey(2, 1, PixelFormat::Indexed8);
  grey.SetGreyPalette();
  grey.Row(0)[1] = 200;
  InvertRectangle(grey, {1, 0, 1, 1});
  EXPECT_EQ(grey.Format(), PixelFormat::Bgr24);
  EXPECT_EQ(grey.Row(0)[3], 55);
  EXPECT_EQ(grey.Row(0)[0], 0);
}

TEST(ManualMark, ASmallerPictureCentredInThePaneIsMarkedUnderThePointer) {
  // A 200 x 160 picture stands at (60, 40) in the pane: the pane's centre is the picture's.
  EXPECT_EQ(PaneToPicture(160, 120, false, 200, 160), (TPoint32{100, 80}));
  EXPECT_EQ(PaneToPicture(60, 40, false, 200, 160), (TPoint32{0, 0}));
  ManualMark m;
  const auto inv = m.MouseDown(160, 120, false, 200, 160, AreaSizeOf(0));
  ASSERT_EQ(inv.size(), 1u);
  EXPECT_EQ(inv[0], (TRect32{52, 44, 96, 72}));
}
