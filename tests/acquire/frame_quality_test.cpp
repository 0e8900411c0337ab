#include "acquire/frame_quality.h"

#include <gtest/gtest.h>

#include "support/recording_services.h"

using namespace corvane;

namespace {

FrameList ThreeFrames() {
  FrameList l;
  l.SetMaxFrames(10);
  for (int q : {1000, 850, 900}) {
    auto f = std::make_unique<TImageListItem>(8, 6);
    f->Quality = q;
    f->FileName = "/pics/moon.avi";
    f->Number = static_cast<int>(l.Count());
    l.Add(std::move(f));
  }
  return l;
}

}  // namespace

TEST(FrameQualityPanel, PassCountFollowsTheFilter) {
  FrameList l = ThreeFrames();
  FrameQualityPanel p;
  p.FrameInfoFilterChange(l);
  EXPECT_EQ(p.Memo[6], "QualityImages: 2");
  p.FilterChecked = false;
  p.FrameInfoFilterChange(l);
  EXPECT_EQ(p.Threshold, 0);
  EXPECT_EQ(p.Memo[6], "QualityImages: 3");
}

TEST(FrameQualityPanel, BrowserShowsTheFrameAndSnapsBack) {
  FrameList l = ThreeFrames();
  l[1].Shift = {3, -2};
  l[1].Center = {4, 3};
  l[1].Resize = 0.5;
  test::RecordingServices services;
  services.InputPane = true;
  FrameQualityPanel p;
  p.Nr.Maximum = 3;
  p.Nr.Value = 2;
  p.FrameInfoNrSpinEditChange(l, true, services);
  EXPECT_EQ(l.CurrentFrame, 1);
  EXPECT_EQ(p.InputLabel, "Input frame [2of3]");
  EXPECT_EQ(p.Memo[0], "moon.avi:1");
  EXPECT_EQ(p.Memo[1], "Size: 8x6");
  EXPECT_EQ(p.Memo[2], "Shift: 3,-2");
  EXPECT_EQ(p.Memo[3], "Center: 4,3");
  EXPECT_EQ(p.Memo[4], "Rotate: 0\u00B0");
  EXPECT_EQ(p.Memo[5], "Resize: 0.5x");
  EXPECT_EQ(p.QualityEdit.Value, 850);
  EXPECT_EQ(services.InputShows, 1);
  EXPECT_EQ(services.LastInput.Width(), 8);

  p.Nr.Value = 7;  // typed beyond the last frame
  p.FrameInfoNrSpinEditChange(l, true, services);
  EXPECT_EQ(p.Nr.Value, 3);
  EXPECT_EQ(p.InputLabel, "Input frame [3of3]");
  p.StepFrame(+1, l, true, services);  // Page Up on the last frame
  EXPECT_EQ(p.Nr.Value, 3);
  EXPECT_EQ(services.InputShows, 3);

  FrameQualityPanel idle;
  idle.Nr.Maximum = 3;
  idle.Nr.Value = 2;
  idle.FrameInfoNrSpinEditChange(l, false, services);  // nothing loaded yet
  EXPECT_EQ(idle.InputLabel, "Input frame");
}

TEST(FrameQualityPanel, KeysRateTheShownFrame) {
  FrameList l = ThreeFrames();
  test::RecordingServices services;
  FrameQualityPanel p;
  p.Nr.Maximum = 3;
  p.Nr.Value = 1;
  p.FrameInfoNrSpinEditChange(l, true, services);
  p.PresetQuality(3, l);  // Ctrl+F3
  EXPECT_EQ(l[0].Quality, 600);
  p.StepQuality(+1, l);  // keypad +
  EXPECT_EQ(l[0].Quality, 601);
  p.PresetQuality(5, l);
  p.StepQuality(+1, l);  // stays inside 0..1000
  EXPECT_EQ(l[0].Quality, 1000);
  EXPECT_EQ(p.Memo[6], "QualityImages: 2");
}

TEST(FrameQualityPanel, Texts) {
  EXPECT_EQ(FrameQualityPanel::InputFrameLabel(12, 12), "Input frame [12of12]");
  EXPECT_EQ(FrameQualityPanel::General7(1.0), "1");
  EXPECT_EQ(FrameQualityPanel::General7(1.23456789), "1.234568");
}
