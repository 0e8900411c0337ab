#include "app/workbench.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "core/errors.h"
#include "io/avi_writer.h"
#include "io/picture_files.h"
#include "support/recording_services.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::RecordingServices;
using corvane::test::TempDir;

namespace {

std::tm FixedNow() {
  std::tm t{};
  t.tm_year = 2003 - 1900;
  t.tm_mon = 10;
  t.tm_mday = 5;
  t.tm_hour = 23;
  t.tm_min = 17;
  return t;
}

// Grey pictures of a planet moved by known offsets; frame i is written as "fNN.bmp".
std::vector<std::string> PlanetPictures(const TempDir& dir, const std::vector<TPoint32>& moves, int w = 320,
                                        int h = 240) {
  std::vector<std::string> files;
  std::mt19937 rng(5);
  for (std::size_t i = 0; i < moves.size(); ++i) {
    TImage16 p = test::PlanetPlane(w, h, w / 2.0 + moves[i].x, h / 2.0 + moves[i].y, 60, 1, 0, rng);
    Bitmap b(w, h);
    Image16ToBitmap(b, p, 0, 0, w, h, ChannelL);
    char name[32];
    std::snprintf(name, sizeof name, "f%02zu.bmp", i);
    files.push_back(dir.File(name));
    SaveBitmapFile(b, files.back());
  }
  return files;
}

struct Bench {
  RecordingServices services;
  Workbench wb{services};
  std::vector<SettingsTab> tabs;
  Bench() {
    wb.Now = &FixedNow;
    wb.OnSelectTab = [this](SettingsTab t) { tabs.push_back(t); };
    wb.Frames.SetMaxFrames(4096);
    wb.Fsm.EventDone();
  }
};

}  // namespace

TEST(Memos, LoadAndStackLines) {
  Memo7 memo = DesignMemo();
  TLoadFramesSettings s;
  s.Channel = 2;
  s.OutputWidth = 384;
  s.OutputHeight = 288;
  BuildLoadMemo(memo, s);
  EXPECT_EQ(memo[0], " -- AVI --");
  EXPECT_EQ(memo[1], "Channel:     G");
  EXPECT_EQ(memo[2], "No AVI Correction");
  EXPECT_EQ(memo[3], "         ");
  EXPECT_EQ(memo[4], "Resize       1x");
  EXPECT_EQ(memo[5], "Whole image   ");
  EXPECT_EQ(memo[6], "Output size: 384x288");
  s.DarkFrame = s.FlatField = true;
  s.SourceType = 7;  // not a kind: line 0 stays
  BuildLoadMemo(memo, s);
  EXPECT_EQ(memo[0], " -- AVI --");
  EXPECT_EQ(memo[3], "DarkFrame+FlatField");

  TStackFramesSettings st;
  st.StackUsing = UsingMove | UsingResize;
  Memo7 stack = DesignMemo();
  BuildStackMemo(stack, st);
  EXPECT_EQ(stack[0], "Auto Stack");
  EXPECT_EQ(stack[1], "Shift: YES");
  EXPECT_EQ(stack[2], "Rotate: NO");
  EXPECT_EQ(stack[3], "Resize: YES");
  EXPECT_EQ(stack[4], "1st Frame");
  EXPECT_EQ(stack[5], "192 x 144");
  EXPECT_EQ(stack[6], "1 x ");
}

TEST(Workbench, PreviewLoadStackCalculateSave) {
  TempDir dir;
  const std::vector<TPoint32> moves{{0, 0}, {5, -3}, {-7, 4}, {2, 9}};
  const auto files = PlanetPictures(dir, moves);
  Bench b;
  b.wb.Config.General.ResultDirectory = dir.File("out") + "/";
  std::filesystem::create_directories(dir.File("out"));
  ASSERT_TRUE(b.wb.PreviewAction(files));
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "PREVIEW");
  EXPECT_EQ(b.wb.ChosenFileName, "f00.bmp");
  EXPECT_EQ(b.wb.ChosenFileExt, ".BMP");
  EXPECT_EQ(b.wb.Config.General.PictureDirectory, dir.Path().string() + "/");
  EXPECT_TRUE(b.wb.Buttons.Load);
  EXPECT_FALSE(b.wb.Buttons.Go);

  b.wb.LoadAction();
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "LOADED");
  EXPECT_TRUE(b.wb.FramesLoaded);
  EXPECT_EQ(b.wb.Quality.Nr.Value, 4);
  EXPECT_EQ(b.wb.Quality.InputLabel, "Input frame [4of4]");
  EXPECT_TRUE(b.wb.Buttons.Go && b.wb.Buttons.Calculate);
  EXPECT_EQ(b.tabs.back(), SettingsTab::StackFrames);

  ASSERT_TRUE(b.wb.StackFramesRun());
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "STACKED");
  for (std::size_t i = 0; i < moves.size(); ++i) EXPECT_EQ(b.wb.Frames[static_cast<int>(i)].Shift, moves[i]) << i;
  EXPECT_TRUE(b.wb.Buttons.Reset && b.wb.Buttons.SaveStacked);

  b.wb.Quality.FilterChecked = false;
  b.wb.Quality.FrameInfoFilterChange(b.wb.Frames);
  b.wb.CalculateRun();
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "CALCULATED");
  EXPECT_TRUE(b.wb.Calculated(0));
  EXPECT_EQ(b.wb.Result.Mono.Width, 320);
  EXPECT_TRUE(b.wb.Buttons.Save);
  EXPECT_TRUE(b.wb.PictureCalculated);

  const std::string saved = b.wb.SaveAction();
  EXPECT_EQ(saved, dir.File("out") + "/f00__1.bmp");
  EXPECT_TRUE(std::filesystem::exists(saved));
  EXPECT_EQ(b.wb.Picture.ResultLabel, "File name \"f00__1\"");
}

TEST(Workbench, StackRefusalsLeaveEverythingAsItWas) {
  TempDir dir;
  Bench b;
  EXPECT_FALSE(b.wb.StackFramesRun());
  EXPECT_EQ(b.services.Status.back(), "Nothing to stack: no frames are loaded");
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "IDLE");
  const auto files = PlanetPictures(dir, {{0, 0}, {3, 1}});
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  b.wb.Config.SetStackFrames(&TStackFramesSettings::Basis, std::uint8_t{0});
  b.wb.Frames[1].Shift = {9, 9};
  EXPECT_FALSE(b.wb.StackFramesRun());
  EXPECT_EQ(b.wb.Frames[1].Shift, (TPoint32{9, 9}));
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "LOADED");
}

TEST(Workbench, EscDuringFrameFourAndReset) {
  TempDir dir;
  std::vector<TPoint32> moves(10, TPoint32{2, 1});
  moves[0] = {0, 0};
  const auto files = PlanetPictures(dir, moves, 200, 160);
  Bench b;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  for (int i = 0; i < 10; ++i) b.wb.Frames[i].Correlation = -1;
  int aligned = 0;
  b.services.OnPump = [&](RecordingServices& s) {
    // Count the pump after each frame's alignment: Esc arrives during frame 4.
    if (b.wb.Fsm.GetState() != StageStack) return;
    for (aligned = 0; aligned < 10 && b.wb.Frames[aligned].Correlation != -1; ++aligned) {
    }
    if (aligned == 4) s.RaiseAbort();
  };
  ASSERT_TRUE(b.wb.StackFramesRun());
  EXPECT_EQ(b.wb.Frames[3].Shift, (TPoint32{2, 1}));
  EXPECT_EQ(b.wb.Frames[4].Shift, (TPoint32{0, 0}));
  EXPECT_EQ(b.wb.Frames[9].Correlation, -1);
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "STACKED");
  EXPECT_EQ(b.services.Status.back(), "Stacking stopped at frame 4 of 10: frames 5 to 10 keep their earlier shifts");
  EXPECT_EQ(b.wb.LastStack.Aligned, 4);
  EXPECT_EQ(b.wb.LastStack.Frames, 10);
  EXPECT_TRUE(b.wb.LastStack.Stopped);

  const std::int64_t correlation = b.wb.Frames[3].Correlation;
  const std::int32_t quality = b.wb.Frames[3].Quality;
  b.wb.StackFramesReset();
  EXPECT_EQ(b.wb.Frames[3].Shift, (TPoint32{0, 0}));
  EXPECT_EQ(b.wb.Frames[3].Correlation, correlation);
  EXPECT_EQ(b.wb.Frames[3].Quality, quality);
  EXPECT_FALSE(b.wb.Buttons.SaveStacked);
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "STACKED");
}

TEST(Workbench, SaveStackedFramesMovesEachFrameByItsShift) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}}, 64, 48);
  Bench b;
  b.wb.Config.General.ResultDirectory = dir.Path().string() + "/";
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  b.wb.Frames[0].Shift = {3, 0};
  const auto written = b.wb.StackFramesSave();
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0], dir.Path().string() + "/STACK_f00__0.bmp");
  Bitmap out;
  ReadBmpFile(written[0], out);
  const TImage16& f = b.wb.Frames[0].Image;
  for (int y : {0, 20, 47}) {
    for (int x : {0, 30, 60}) EXPECT_EQ(out.Row(y)[3 * x], Image16GetPixel(f, x + 3, y) >> 8) << x;
    for (int x : {61, 62, 63}) EXPECT_EQ(out.Row(y)[3 * x], Image16GetPixel(f, x, y) >> 8) << x;
  }
}

TEST(Workbench, CalculateStoresTheCombinedPlaneOfTheLoadChannel) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}, {0, 0}}, 96, 80);
  Bench b;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  b.wb.Quality.FilterChecked = false;
  b.wb.Quality.FrameInfoFilterChange(b.wb.Frames);
  b.wb.CalculateRun();
  EXPECT_TRUE(test::SamePlane(b.wb.Result.Mono, b.wb.Frames[0].Image));  // neither enhancement: M exactly

  // Unsharp masking 4 with the local PSF: the interior is M, the border M quantised to 8 bits.
  b.wb.Frames[0].Image.Data[30 * 96 + 40] = 0x1234;
  b.wb.Frames[1].Image.Data[30 * 96 + 40] = 0x1234;
  b.wb.Frames[0].Image.Data[1 * 96 + 1] = 0x5678;
  b.wb.Frames[1].Image.Data[1 * 96 + 1] = 0x5678;
  b.wb.Enhancement.PostUnsharpMask = true;
  b.wb.CalculateRun();
  EXPECT_EQ(Image16GetPixel(b.wb.Result.Mono, 40, 30), 0x1234);
  EXPECT_EQ(Image16GetPixel(b.wb.Result.Mono, 1, 1), 0x5600);

  // Channel R changes only the R plane.
  TImage16 monoBefore = test::ClonePlane(b.wb.Result.Mono);
  b.wb.Config.SetLoadFramesChannel(1);
  b.wb.CalculateRun();
  EXPECT_TRUE(test::SamePlane(b.wb.Result.Mono, monoBefore));
  EXPECT_EQ(b.wb.Result.R.Width, b.wb.Config.LoadFrames.OutputWidth);
  EXPECT_TRUE(b.wb.Calculated(1));
  EXPECT_EQ(b.wb.Result.G.Width, 192);  // untouched since start
}

TEST(Workbench, AutoChannelIncrementOncePerCalculation) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}}, 64, 48);
  Bench b;
  b.wb.Config.General.AutoChannelIncrement = true;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  b.wb.CalculateRun();
  ASSERT_TRUE(b.wb.PreviewAction(files));
  EXPECT_EQ(b.wb.Config.LoadFrames.Channel, 1);
  EXPECT_EQ(b.wb.Config.StackFrames.StackUsing, UsingLast);  // L to R ticks "Last calculations"
  ASSERT_TRUE(b.wb.PreviewAction(files));
  EXPECT_EQ(b.wb.Config.LoadFrames.Channel, 1);  // no calculation in between: no second step
}

TEST(Workbench, ALoadThatAddsNoFrameStillEndsLoaded) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}}, 64, 48);
  Bench b;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.Frames.SetMaxFrames(0);
  b.wb.LoadAction();
  EXPECT_FALSE(b.wb.FramesLoaded);
  EXPECT_EQ(b.wb.Quality.Nr.Maximum, 0);
  EXPECT_EQ(b.wb.Fsm.DisplayText(), "LOADED");
}

TEST(Workbench, ActionsStartedWhileAnotherRunsAreRefused) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}, {1, 1}, {2, 2}});
  TempDir otherDir;
  const auto others = PlanetPictures(otherDir, {{4, 4}}, 64, 48);
  Bench b;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  int tries = 0;
  b.services.OnPump = [&](RecordingServices&) {
    if (!b.wb.Busy()) return;
    ++tries;
    EXPECT_FALSE(b.wb.PreviewAction(others));
    b.wb.LoadAction();
    EXPECT_FALSE(b.wb.StackFramesRun());
    b.wb.CalculateRun();
  };
  b.wb.LoadAction();
  EXPECT_GT(tries, 0);
  EXPECT_EQ(b.wb.Frames.Count(), 3);
  EXPECT_EQ(b.wb.Frames[2].Image.Width, 320);
  ASSERT_TRUE(b.wb.StackFramesRun());
  EXPECT_EQ(b.wb.Frames.Count(), 3);  // a Load pressed during Go did not clear the frames
  EXPECT_EQ(b.wb.Frames[2].Shift, (TPoint32{2, 2}));
  EXPECT_FALSE(b.wb.Busy());
}

TEST(Workbench, GoUsesTheManualMarkInBothPlanes) {
  TempDir dir;
  // Two planets: the mark covers the left one only, which moves by (3, 2); the right one moves by (-6, 0).
  std::mt19937 rng(3);
  std::vector<std::string> files;
  for (int i = 0; i < 2; ++i) {
    TImage16 a = test::PlanetPlane(400, 200, 100 + 3 * i, 100 + 2 * i, 40, 1, 0, rng);
    TImage16 c = test::PlanetPlane(400, 200, 300 - 6 * i, 100, 40, 1, 0, rng);
    for (std::size_t k = 0; k < a.SampleCount(); ++k) a.Data[k] = std::max(a.Data[k], c.Data[k]);
    Bitmap bmp(400, 200);
    Image16ToBitmap(bmp, a, 0, 0, 400, 200, ChannelL);
    files.push_back(dir.File("two" + std::to_string(i) + ".bmp"));
    SaveBitmapFile(bmp, files.back());
  }
  Bench b;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  b.wb.Config.SetStackFrames(&TStackFramesSettings::AreaSize, std::uint8_t{0});  // 96 x 72
  b.wb.Mark.ManualMarkSet = true;
  b.wb.Mark.MarkX = 52;
  b.wb.Mark.MarkY = 64;
  ASSERT_TRUE(b.wb.StackFramesRun());
  EXPECT_EQ(b.wb.Frames[1].Shift, (TPoint32{3, 2}));
  b.wb.Mark.MarkX = 252;
  ASSERT_TRUE(b.wb.StackFramesRun());
  EXPECT_EQ(b.wb.Frames[1].Shift, (TPoint32{-6, 0}));
}

TEST(Workbench, KeysStepTheBrowserAndRateTheShownFrame) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}, {1, 0}, {2, 0}}, 64, 48);
  Bench b;
  b.services.InputPane = true;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  ASSERT_EQ(b.wb.Quality.Nr.Value, 3);
  // Page Up on the last frame keeps the number and still runs the browser.
  const int shows = b.services.InputShows;
  EXPECT_TRUE(b.wb.KeyCommandAction(MapWindowKey(WindowKey::PageUp, false, false)));
  EXPECT_EQ(b.wb.Quality.Nr.Value, 3);
  EXPECT_EQ(b.services.InputShows, shows + 1);
  EXPECT_TRUE(b.wb.KeyCommandAction(MapWindowKey(WindowKey::Digit3, true, false)));
  EXPECT_EQ(b.wb.Quality.Nr.Value, 2);
  EXPECT_EQ(b.wb.Quality.InputLabel, "Input frame [2of3]");
  // Ctrl+F3 gives the shown frame 600, keypad + then 601; F3 alone does nothing.
  EXPECT_TRUE(b.wb.KeyCommandAction(MapWindowKey(WindowKey::F3, false, true)));
  EXPECT_TRUE(b.wb.KeyCommandAction(MapWindowKey(WindowKey::Plus, true, false)));
  EXPECT_FALSE(b.wb.KeyCommandAction(MapWindowKey(WindowKey::F3, false, false)));
  EXPECT_EQ(b.wb.Frames[1].Quality, 601);
  EXPECT_EQ(b.wb.Frames[2].Quality, 1000);
  EXPECT_TRUE(b.wb.KeyCommandAction(MapWindowKey(WindowKey::Escape, false, false)));
  EXPECT_TRUE(b.services.TakeAbort());
}

TEST(Workbench, SaveAsProposesWritesAndNamesThePicture) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}}, 64, 48);
  Bench b;
  b.services.ResultPane = true;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  b.wb.CalculateRun();
  EXPECT_EQ(b.wb.Picture.ResultLabel, "File name \"f00__0\"");
  std::vector<std::string> proposed;
  std::optional<std::string> answer;
  auto chooser = [&](const std::string& name) {
    proposed.push_back(name);
    return answer;
  };
  // Cancelled: nothing written, the number has advanced all the same.
  b.wb.Config.General.SaveAsButton = true;
  EXPECT_EQ(b.wb.SavePictureAction(chooser), "");
  // An extension of no result format writes nothing either.
  answer = dir.File("picture.jpg");
  EXPECT_EQ(b.wb.SaveAsAction(chooser), "");
  answer = dir.File("picture");
  EXPECT_EQ(b.wb.SaveAsAction(chooser), dir.File("picture.bmp"));
  EXPECT_EQ(proposed, (std::vector<std::string>{"f00__1", "f00__2", "f00__3"}));
  EXPECT_EQ(b.wb.Picture.ResultLabel, "File name \"f00__3\"");
  Bitmap saved;
  ReadBmpFile(dir.File("picture.bmp"), saved);
  EXPECT_EQ(saved, b.services.LastResult);
  EXPECT_FALSE(std::filesystem::exists(dir.File("picture.jpg")));

  // Without "Save As" the button saves under the naming rules, asking nobody.
  b.wb.Config.General.SaveAsButton = false;
  b.wb.Config.General.ResultDirectory = dir.Path().string() + "/";
  EXPECT_EQ(b.wb.SavePictureAction(chooser), dir.File("f00__4.bmp"));
  EXPECT_EQ(proposed.size(), 3u);
}

TEST(Workbench, StateChangesReachTheWindowAndAColourRunKeepsTheFramesSize) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}, {1, 1}}, 96, 80);
  Bench b;
  b.services.ResultPane = true;
  std::vector<WindowButtons> seen;
  b.wb.OnStateChanged = [&] { seen.push_back(b.wb.Buttons); };
  ASSERT_TRUE(b.wb.PreviewAction(files));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen.back().Load);
  b.wb.LoadAction();  // PREVIEWED, LOAD, LOADED
  EXPECT_EQ(seen.size(), 4u);
  EXPECT_TRUE(seen.back().Go && seen.back().Calculate);
  ASSERT_TRUE(b.wb.StackFramesRun());
  EXPECT_TRUE(seen.back().SaveStacked);
  b.wb.StackFramesReset();
  EXPECT_FALSE(seen.back().SaveStacked);

  // Only a red plane calculated: the picture has the frames' size, not 192 x 144.
  b.wb.Config.SetLoadFramesChannel(1);
  b.wb.CalculateRun();
  EXPECT_EQ(b.wb.Result.Mono.Width, 96);
  EXPECT_EQ(b.wb.Result.Mono.Height, 80);
  EXPECT_EQ(b.services.LastResult.Width(), 96);
  EXPECT_EQ(b.wb.Picture.Memo[1], "Size: 96 x 80");
  EXPECT_EQ(Image16GetPixel(b.wb.Result.Mono, 48, 40), 0);
}

TEST(Workbench, GoSkipsOverlaysNoRepaintWouldShowButTheLast) {
  TempDir dir;
  const auto files = PlanetPictures(dir, {{0, 0}, {1, 0}, {2, 0}}, 96, 80);
  Bench b;
  b.services.InputPane = true;
  ASSERT_TRUE(b.wb.PreviewAction(files));
  b.wb.LoadAction();
  b.services.LiveView = false;
  const int before = b.services.InputShows;
  ASSERT_TRUE(b.wb.StackFramesRun());
  // The overlay of the last frame, then the frame browser's picture.
  EXPECT_EQ(b.services.InputShows, before + 2);
  b.services.LiveView = true;
  ASSERT_TRUE(b.wb.StackFramesRun());
  EXPECT_EQ(b.services.InputShows, before + 2 + 4);
}
