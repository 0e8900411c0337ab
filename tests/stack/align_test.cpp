#include "stack/align.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/errors.h"
#include "core/image_ops.h"
#include "output/save_names.h"
#include "stack/coarse_align.h"
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

namespace {

// A smooth textured scene that can be drawn at any fractional offset: a
// bright smooth disc, a brightness ramp (a lit side and a dark side) and
// Gaussian spots; drawn at (ox, oy) it shows at (x + ox, y + oy) what it shows
// at (x, y) when drawn at (0, 0). Samples are gain x value + noise.
struct Spot {
  double X, Y, Size, Amount;
};
std::vector<Spot> Spots(std::mt19937& rng, int w, int h) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<Spot> spots;
  for (int i = 0; i < 80; ++i) spots.push_back({w * u(rng), h * u(rng), 1.5 + 4.0 * u(rng), 3000.0 + 9000.0 * u(rng)});
  return spots;
}
TImage16 Surface(int w, int h, const std::vector<Spot>& spots, double ox, double oy, double gain, double noise,
                 std::mt19937& rng) {
  std::normal_distribution<double> n(0.0, noise);
  TImage16 p;
  Image16Create(p, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double u = x - ox, v = y - oy;
      double s = 3000.0 + 90.0 * u;  // the ramp
      for (const Spot& k : spots) {
        const double d2 = ((u - k.X) * (u - k.X) + (v - k.Y) * (v - k.Y)) / (2.0 * k.Size * k.Size);
        if (d2 < 25.0) s += k.Amount * std::exp(-d2);
      }
      Image16SetPixel(p, x, y, static_cast<std::uint16_t>(std::clamp(gain * s + n(rng), 0.0, 65535.0)));
    }
  return p;
}

}  // namespace

TEST(AlignOptions, BrightnessStepAlignsOnlyWithNormalisedScores) {
  // A burst of frames, the later ones at 45 % of the exposure: the plain sum of
  // absolute differences pulls those toward the lit side; taking out mean and
  // contrast finds every true shift.
  std::mt19937 rng(31);
  const std::vector<Spot> spots = Spots(rng, 480, 360);
  const TImage16 basis = Surface(480, 360, spots, 0, 0, 1.0, 200, rng);
  const AlignBasis b(basis);
  AlignmentMemory memory;
  RecordingServices services;
  std::uniform_int_distribution<int> shift(-12, 12);
  int plainWrong = 0;
  for (int i = 0; i < 8; ++i) {
    const int sx = shift(rng), sy = shift(rng);
    const double gain = i < 2 ? 1.0 : 0.45;
    TImageListItem plain(480, 360), normalised(480, 360);
    plain.Image = Surface(480, 360, spots, sx, sy, gain, 200, rng);
    normalised.Image = test::ClonePlane(plain.Image);
    AlignOptions o;
    o.SetQuality = false;
    AlignFrame(plain, 144, 108, i, 192, 144, 144, 108, b, o, memory, services);
    o.NormaliseBrightness = true;
    AlignFrame(normalised, 144, 108, i, 192, 144, 144, 108, b, o, memory, services);
    EXPECT_EQ(normalised.Shift, (TPoint32{sx, sy})) << "frame " << i;
    if (gain == 1.0) {
      EXPECT_EQ(plain.Shift, (TPoint32{sx, sy})) << "frame " << i;
    }
    plainWrong += plain.Shift != TPoint32{sx, sy} ? 1 : 0;
  }
  EXPECT_EQ(plainWrong, 6);  // every frame after the step
}

TEST(AlignOptions, SubPixelShiftsRecoverKnownFractions) {
  std::mt19937 rng(8);
  const std::vector<Spot> spots = Spots(rng, 320, 240);
  const TImage16 basis = Surface(320, 240, spots, 0, 0, 1.0, 300, rng);
  const AlignBasis b(basis);
  AlignmentMemory memory;
  RecordingServices services;
  std::uniform_real_distribution<double> offset(-6.0, 6.0);
  for (int i = 0; i < 12; ++i) {
    const double tx = offset(rng), ty = offset(rng);
    TImageListItem frame(320, 240);
    frame.Image = Surface(320, 240, spots, tx, ty, 1.0, 300, rng);
    AlignOptions o;
    o.SetQuality = false;
    AlignFrame(frame, 64, 48, i, 192, 144, 64, 48, b, o, memory, services);
    EXPECT_EQ(frame.SubShift, TPointF{});  // off: whole samples
    EXPECT_LE(std::abs(frame.Shift.x - tx), 1.0);
    o.SubPixel = true;
    AlignFrame(frame, 64, 48, i, 192, 144, 64, 48, b, o, memory, services);
    EXPECT_NEAR(frame.Shift.x + frame.SubShift.x, tx, 0.1) << "frame " << i;
    EXPECT_NEAR(frame.Shift.y + frame.SubShift.y, ty, 0.1) << "frame " << i;
    EXPECT_LE(std::abs(frame.SubShift.x), 0.5);
    // "Last calculations" hands the fraction on (the next colour channel uses it).
    TImageListItem next(320, 240);
    AlignOptions last;
    last.StackUsing = UsingLast;
    last.SetQuality = false;
    AlignFrame(next, 64, 48, i, 192, 144, 64, 48, b, last, memory, services);
    EXPECT_EQ(next.SubShift, frame.SubShift);
  }
}

TEST(AlignOptions, CoarseStepFindsADiscDriftingFarBeyondTheSearch) {
  // A 1280 x 960 recording whose disc drifts 300 samples across and 150 down:
  // the Move search alone stops on the way, the coarse estimate lets it end on
  // the disc.
  std::mt19937 rng(12);
  const TImage16 basis = test::PlanetPlane(1280, 960, 400, 380, 150, 1, 200, rng);
  const CoarseAligner coarse(basis);
  EXPECT_EQ(coarse.Factor(), 4);
  const AlignBasis b(basis);
  AlignmentMemory memory;
  RecordingServices services;
  for (const TPoint32 drift : {TPoint32{300, 150}, TPoint32{-37, 211}, TPoint32{5, -3}}) {
    TImageListItem frame(1280, 960);
    frame.Image = test::PlanetPlane(1280, 960, 400 + drift.x, 380 + drift.y, 150, 1, 200, rng);
    AlignOptions o;
    o.SetQuality = false;
    o.Coarse = &coarse;
    // A manual mark on the disc, as a user puts the compare area on detail.
    AlignFrame(frame, 304, 308, 0, 192, 144, 304, 308, b, o, memory, services);
    EXPECT_EQ(frame.Shift, drift);
    if (drift.x == 300) {
      o.Coarse = nullptr;
      frame.Shift = {};
      AlignFrame(frame, 304, 308, 0, 192, 144, 304, 308, b, o, memory, services);
      EXPECT_NE(frame.Shift, drift);
    }
  }
}
