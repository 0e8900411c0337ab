#include "stack/align.h"

#include <gtest/gtest.h>

#include <random>

#include "core/errors.h"
#include "core/image_ops.h"
#include "output/save_names.h"
#include "support/recording_services.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::RecordingServices;

namespace {

// A frame whose content is `basis` moved by (mx, my): frame(x + mx, y + my) = basis(x, y).
std::unique_ptr<TImageListItem> Moved(const TImage16& basis, int mx, int my) {
  auto f = std::make_unique<TImageListItem>(basis.Width, basis.Height);
  for (int y = 0; y < basis.Height; ++y)
    for (int x = 0; x < basis.Width; ++x) {
      const int sx = std::clamp(x - mx, 0, basis.Width - 1), sy = std::clamp(y - my, 0, basis.Height - 1);
      Image16SetPixel(f->Image, x, y, Image16GetPixel(basis, sx, sy));
    }
  f->FileName = "/data/jupiter.avi";
  f->Number = 3;
  return f;
}

TImage16 Scene() {
  std::mt19937 rng(7);
  return test::PlanetPlane(320, 240, 160, 120, 70, 1, 0, rng);
}

}  // namespace

TEST(AlignFrame, IdenticalFrameTakesSevenIterations) {
  TImage16 basis = Scene();
  auto frame = Moved(basis, 0, 0);
  AlignmentMemory memory;
  RecordingServices services;
  AlignOptions options;
  options.Show = true;
  AlignFrame(*frame, 64, 48, 0, 192, 144, 64, 48, AlignBasis(basis), options, memory, services);
  EXPECT_EQ(frame->Shift, (TPoint32{0, 0}));
  EXPECT_EQ(frame->Correlation, 0);
  ASSERT_FALSE(services.Status.empty());
  EXPECT_EQ(services.Status.back(), "jupiter.avi:3 << X: 0, Y: 0, Angle: 0, Resize: 1 >>  Correlation: 0, in 7 steps");
  EXPECT_EQ(services.Starts.back().Caption, "Move NrOfSteps");
  EXPECT_EQ(services.Steps.size(), 7u);
  EXPECT_EQ(frame->Quality, 1000);
  EXPECT_DOUBLE_EQ(frame->QualityCorrelation, 1.0);
  EXPECT_DOUBLE_EQ(frame->QualityLuminance, 1.0);
  EXPECT_DOUBLE_EQ(frame->QualityContrast, 1.0);
  EXPECT_EQ(memory.LastCalculations[0].Score, 0);
}

TEST(AlignFrame, FindsAFrameMovedRightAndUp) {
  TImage16 basis = Scene();
  auto frame = Moved(basis, 5, -3);
  AlignmentMemory memory;
  RecordingServices services;
  AlignFrame(*frame, 64, 48, 1, 192, 144, 64, 48, AlignBasis(basis), AlignOptions{}, memory, services);
  EXPECT_EQ(frame->Shift, (TPoint32{5, -3}));
  EXPECT_EQ(frame->Correlation, 0);
  EXPECT_EQ(memory.LastCalculations[1].X, 5);
  EXPECT_EQ(memory.LastCalculations[1].Y, -3);
  ASSERT_FALSE(services.Status.empty());
  EXPECT_EQ(services.Status.back(), "");  // show flag off: the status line is cleared
}

TEST(AlignFrame, CenterAloneThenLastCalculations) {
  TImage16 basis = Scene();
  auto frame = Moved(basis, 4, 2);
  AlignmentMemory memory;
  RecordingServices services;
  AlignOptions center;
  center.StackUsing = UsingCenter;
  center.SetQuality = false;
  frame->Correlation = 99;
  AlignFrame(*frame, 64, 48, 2, 192, 144, 64, 48, AlignBasis(basis), center, memory, services);
  const TPosition pf = Image16Centroid(frame->Image, 64, 48, 192, 144, 0.1);
  const TPosition pb = Image16Centroid(basis, 64, 48, 192, 144, 0.1);
  EXPECT_EQ(frame->Shift, (TPoint32{pf.x - pb.x, pf.y - pb.y}));
  EXPECT_EQ(frame->Correlation, 0);
  EXPECT_EQ(memory.LastCalculations[2], (TSearchState{pf.x - pb.x, pf.y - pb.y, 0.0, 0.0, 0}));
  EXPECT_EQ(frame->Resize, 1.0);  // the frame's own Resize is not changed by an estimate

  AlignOptions last;
  last.StackUsing = UsingLast;
  last.SetQuality = false;
  auto again = Moved(basis, 0, 0);
  AlignFrame(*again, 64, 48, 2, 192, 144, 64, 48, AlignBasis(basis), last, memory, services);
  EXPECT_EQ(again->Shift, frame->Shift);
  EXPECT_EQ(again->Resize, 0.0);  // the table's Scale 0.0 is copied

  auto fresh = Moved(basis, 0, 0);
  fresh->Shift = {7, 7};
  AlignFrame(*fresh, 64, 48, 4096, 192, 144, 64, 48, AlignBasis(basis), last, memory, services);
  EXPECT_EQ(fresh->Shift, (TPoint32{0, 0}));
  EXPECT_EQ(fresh->Rotate, 0.0);
  EXPECT_EQ(fresh->Resize, 0.0);
  EXPECT_EQ(fresh->Correlation, 0);
  EXPECT_THROW(AlignFrame(*fresh, 64, 48, 4097, 192, 144, 64, 48, AlignBasis(basis), last, memory, services),
               RangeError);
}

TEST(AlignFrame, CenterThenMoveStartsFromTheEstimate) {
  TImage16 basis = Scene();
  auto frame = Moved(basis, 11, -9);
  AlignmentMemory memory;
  RecordingServices services;
  AlignOptions options;
  options.StackUsing = UsingCenter | UsingMove;
  options.Show = true;
  AlignFrame(*frame, 64, 48, 0, 192, 144, 64, 48, AlignBasis(basis), options, memory, services);
  EXPECT_EQ(frame->Shift, (TPoint32{11, -9}));
  // one step for the estimate plus the Move iterations
  const std::string& s = services.Status.back();
  const int steps = std::stoi(s.substr(s.rfind("in ") + 3));
  EXPECT_EQ(steps, 1 + static_cast<int>(services.Steps.size()));
}

TEST(AlignFrame, QualityWithoutAnyStepAndUndefinedIndex) {
  TImage16 basis = Scene();
  auto frame = Moved(basis, 0, 0);
  frame->Quality = 123;
  AlignmentMemory memory;
  RecordingServices services;
  AlignOptions none;
  none.StackUsing = 0;
  none.Show = true;
  AlignFrame(*frame, 64, 48, 0, 192, 144, 64, 48, AlignBasis(basis), none, memory, services);
  EXPECT_EQ(frame->Quality, 1000);
  EXPECT_TRUE(services.Status.empty());  // no step: no status line

  TImage16 flat = test::ConstantPlane(320, 240, 100);
  auto flatFrame = Moved(flat, 0, 0);
  AlignFrame(*flatFrame, 64, 48, 0, 192, 144, 64, 48, AlignBasis(flat), none, memory, services);
  EXPECT_EQ(flatFrame->Quality, 0);  // zero variance: undefined index
  EXPECT_EQ(flatFrame->QualityContrast, 0.0);
}

TEST(AlignFrame, LiveDisplayOnlyWithAPane) {
  TImage16 basis = Scene();
  auto frame = Moved(basis, 2, 1);
  AlignmentMemory memory;
  RecordingServices services;
  AlignOptions options;
  options.Show = true;
  AlignFrame(*frame, 64, 48, 0, 192, 144, 64, 48, AlignBasis(basis), options, memory, services);
  EXPECT_EQ(services.ResultShows, 0);
  services.ResultPane = true;
  auto frame2 = Moved(basis, 2, 1);
  // Panes repaint when input is taken: the last comparison is drawn once, and
  // stands in the pane when the status line takes input.
  int shownAtStatus = -1;
  services.OnPump = [&](RecordingServices& s) {
    if (!s.Status.empty()) shownAtStatus = s.ResultShows;
  };
  AlignFrame(*frame2, 64, 48, 0, 192, 144, 64, 48, AlignBasis(basis), options, memory, services);
  EXPECT_EQ(shownAtStatus, 1);
  EXPECT_EQ(services.ResultShows, 1);
  EXPECT_EQ(services.LastResult.Width(), 192);
  EXPECT_EQ(frame2->Shift, frame->Shift);
}

TEST(AlignFrame, RecoversKnownShiftsOfANoisyBlurredPlanet) {
  std::mt19937 rng(2024);
  TImage16 basis = test::PlanetPlane(400, 300, 200, 150, 80, 2, 300, rng);
  std::uniform_int_distribution<int> shift(-20, 20);
  AlignmentMemory memory;
  RecordingServices services;
  const AlignBasis b(basis);
  for (int i = 0; i < 24; ++i) {
    const int sx = shift(rng), sy = shift(rng);
    TImageListItem frame(400, 300);
    frame.Image = test::PlanetPlane(400, 300, 200 + sx, 150 + sy, 80, 1 + i % 3, 300, rng);
    AlignFrame(frame, 104, 78, i, 192, 144, 104, 78, b, AlignOptions{}, memory, services);
    EXPECT_EQ(frame.Shift, (TPoint32{sx, sy})) << "frame " << i;
    EXPECT_GT(frame.Quality, 500);
  }
}

TEST(AlignHelpers, RoundingAndTexts) {
  EXPECT_EQ(RoundHalfEven(999.5), 1000);
  EXPECT_EQ(RoundHalfEven(998.5), 998);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(FileNamePart("c:\\pics\\moon.bmp"), "moon.bmp");
  EXPECT_EQ(FileNamePart("/data/x/saturn.avi"), "saturn.avi");
  EXPECT_EQ(GeneralDecimal(0.0), "0");
  EXPECT_EQ(GeneralDecimal(1.0), "1");
  EXPECT_EQ(GeneralDecimal(0.5), "0.5");
}
