#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/frame_list.h"
#include "settings/settings_file.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::TempDir;

namespace {

class CaptureServices : public Services {
 public:
  std::vector<std::string> Status;

 protected:
  void OnStatus(const std::string& text) override { Status.push_back(text); }
};

// Counts the notifications of every list, in the order they came.
struct NotifyLog {
  std::string Order;  // one letter per notification: G, L, S, E, D (edit/save)
  explicit NotifyLog(Settings& s) {
    s.RegisterGeneralListener([this] { Order += 'G'; });
    s.RegisterLoadFramesListener([this] { Order += 'L'; });
    s.RegisterStackFramesListener([this] { Order += 'S'; });
    s.RegisterEnhanceListener([this] { Order += 'E'; });
    s.RegisterEditSaveListener([this] { Order += 'D'; });
  }
  std::string Take() { return std::exchange(Order, {}); }
};

// Sets the program directory for one test and restores the default after.
class ProgramDirectoryGuard {
 public:
  explicit ProgramDirectoryGuard(const std::string& dir) { SetProgramDirectoryOverride(dir); }
  ~ProgramDirectoryGuard() { SetProgramDirectoryOverride({}); }
};

}  // namespace

// ---------------------------------------------------------------------------

TEST(SettingsStart, FreshStartWithoutAFileGivesExactlyTheDefaults) {
  TempDir dir;
  ProgramDirectoryGuard program(dir.Path().string());
  const std::string base = dir.Path().string() + "/";
  FrameList frames;
  Settings s;
  s.AttachFrameList(&frames);
  GeneralControls controls;
  ReadSettings(dir.File("Corvane2.ini"), controls);
  s.DialogCreated(controls);

  const TGeneralSettings& g = s.General;
  EXPECT_EQ(g.PictureDirectory, base + "Pictures/");
  EXPECT_EQ(g.VideoDirectory, base + "Videos/");
  EXPECT_EQ(g.PSFDirectory, base + "PSF/");
  EXPECT_EQ(g.ResultDirectory, base + "Result/");
  EXPECT_FALSE(g.MemoFontColor);
  EXPECT_TRUE(g.SaveSettings);
  EXPECT_TRUE(g.ShowHints);
  EXPECT_FALSE(g.SaveAsButton);
  EXPECT_TRUE(g.AutoSelectTabSheet);
  EXPECT_FALSE(g.AutoChannelIncrement);
  EXPECT_TRUE(g.ShowRGBcolor);
  EXPECT_EQ(s.PictureDirectoryEdit, g.PictureDirectory);
  EXPECT_EQ(s.MemoryMb, 64);
  EXPECT_EQ(frames.MaxMem(), 64 * 1048576);
  EXPECT_EQ(frames.MaxFrames(), 298);

  const TLoadFramesSettings& l = s.LoadFrames;
  EXPECT_EQ(l.SourceType, 0);
  EXPECT_EQ(l.AVIStart, 0);
  EXPECT_EQ(l.AVIEnd, 9999);
  EXPECT_EQ(l.AVISkipFrames, 0);
  EXPECT_FALSE(l.AVISemiFrames || l.AVICorrection || l.DarkFrame || l.FlatField || l.Median);
  EXPECT_EQ(l.Channel, 0);
  EXPECT_EQ(l.LoadWhat, 0);
  EXPECT_EQ(l.Resize, 1);
  EXPECT_EQ(l.LoadWhen, 0);
  EXPECT_EQ(l.DarkFrameFile, "");
  EXPECT_EQ(l.FlatFieldFile, "");
  EXPECT_EQ(l.SizeMode, 0);
  EXPECT_EQ(l.InputWidth, 384);
  EXPECT_EQ(l.InputHeight, 288);
  EXPECT_EQ(l.UserWidth, 384);
  EXPECT_EQ(l.UserHeight, 288);
  EXPECT_EQ(l.OutputWidth, 384);
  EXPECT_EQ(l.OutputHeight, 288);
  EXPECT_EQ(l.Background, 0.20);
  EXPECT_EQ(l.FrameBias, 0.5);
  EXPECT_EQ(l.FrameGain, 0.5);

  const TStackFramesSettings& st = s.StackFrames;
  EXPECT_TRUE(st.Automatic);
  EXPECT_EQ(st.StackUsing, StackUsing::Move);
  EXPECT_FALSE(st.Invert);
  EXPECT_TRUE(st.SetQuality);
  EXPECT_TRUE(st.ShowProcess);
  EXPECT_EQ(st.Basis, 1);
  EXPECT_EQ(st.AreaSize, 1);
  EXPECT_EQ(st.Zoom, 0);

  const TEnhanceSettings& e = s.Enhance;
  EXPECT_EQ(e.UMAPre, 1);
  EXPECT_EQ(e.UMAPost, 4);
  EXPECT_EQ(e.DECPre, 1);
  EXPECT_EQ(e.DECPost, 1);
  EXPECT_TRUE(e.UMAPrePSF.Empty() && e.UMAPostPSF.Empty() && e.DECPrePSF.Empty() && e.DECPostPSF.Empty());
  EXPECT_EQ(e.UMAPrePSFFile + e.UMAPostPSFFile + e.DECPrePSFFile + e.DECPostPSFFile, "");
  EXPECT_TRUE(e.UMAPrePost && e.UMAPreLocalPSF && e.UMAPostLocalPSF);
  EXPECT_TRUE(e.DECPrePost && e.DECPreLocalPSF && e.DECPostLocalPSF);
  EXPECT_EQ(e.DECMethod, 0);
  EXPECT_FALSE(e.HISPre);
  EXPECT_TRUE(e.HISPost);
  EXPECT_EQ(e.HISMethod, 0);
  EXPECT_EQ(e.HISClahe, 0);

  const TEditSaveSettings& es = s.EditSave;
  EXPECT_EQ(es.SaveFormat, 0);
  EXPECT_EQ(es.LastSaveName, "");
  EXPECT_EQ(es.SaveNumber, 0);
  EXPECT_FALSE(es.UseLUT);
  EXPECT_EQ(es.LUTFile, "");
  EXPECT_EQ(es.ShowAs, 0);
  EXPECT_EQ(es.Bias, 0.5);
  EXPECT_EQ(es.Gain, 0.5);
  EXPECT_EQ(es.Saturation, 1.0);
  EXPECT_EQ(es.RWeight, 0.30);
  EXPECT_EQ(es.GWeight, 0.59);
  EXPECT_EQ(es.BWeight, 0.11);

  EXPECT_TRUE(s.NamePrefixCheckBox);
  EXPECT_EQ(s.SaveNamePrefixEdit, "Result_");
  EXPECT_FALSE(s.SaveNamePrefixEditEnabled());
  EXPECT_TRUE(s.NameOriginalCheckBox && s.NamePostfixCheckBox && s.NameAutonumberCheckBox);
  EXPECT_FALSE(s.NameDateCheckBox || s.NameChannelCheckBox);
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{30, 59, 11}));
  EXPECT_EQ(s.UserColourTrackBars, (ColourPositions{30, 59, 11}));
  EXPECT_EQ(s.ColourChoice, ColourPreset::User);
}

TEST(SettingsStart, BeforeTheDialogTheColourTriplesHold33AndCreationNotifiesGeneral) {
  Settings s;
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{33, 33, 33}));
  EXPECT_EQ(s.UserColourTrackBars, (ColourPositions{33, 33, 33}));
  EXPECT_FALSE(s.IsDialogCreated());
  NotifyLog log(s);
  GeneralControls c;
  c.MemorySpinEdit = 9999;  // clamped like the box
  s.DialogCreated(c);
  EXPECT_TRUE(s.IsDialogCreated());
  EXPECT_EQ(s.MemoryMb, 512);
  EXPECT_TRUE(s.General.SaveAsButton);  // from the box, which starts ticked
  EXPECT_EQ(log.Take(), "G");
}

// ---------------------------------------------------------------------------

TEST(SettingsListeners, RunOncePerChangeAfterTheFieldHoldsTheNewValue) {
  Settings s;
  std::vector<int> seen;
  s.RegisterLoadFramesListener([&] { seen.push_back(s.LoadFrames.Resize); });
  s.RegisterLoadFramesListener(nullptr);  // empty entries are skipped
  s.RegisterLoadFramesListener([&] { seen.push_back(-s.LoadFrames.Resize); });
  s.SetResize(3);
  EXPECT_EQ(seen, (std::vector<int>{3, -3}));
  s.SetLoadFrames(&TLoadFramesSettings::Median, true);
  EXPECT_EQ(seen.size(), 4u);

  // Duplicates run as often as they were registered; a listener registered
  // during a notification runs from the next one on.
  int count = 0;
  const auto listener = [&] { ++count; };
  s.RegisterEnhanceListener(listener);
  s.RegisterEnhanceListener(listener);
  s.RegisterEnhanceListener([&] { s.RegisterEnhanceListener(listener); });
  s.SetEnhance(&TEnhanceSettings::UMAPost, 8);
  EXPECT_EQ(s.Enhance.UMAPost, 8);
  EXPECT_EQ(count, 2);
  s.NotifyEnhance();
  EXPECT_EQ(count, 5);
}

TEST(SettingsListeners, GeneralFieldsNotifyGeneralAndShowRGBcolorAlsoEditSave) {
  Settings s;
  NotifyLog log(s);
  s.SetGeneral(&TGeneralSettings::ShowHints, false);
  EXPECT_FALSE(s.General.ShowHints);
  EXPECT_EQ(log.Take(), "G");
  s.SetGeneral(&TGeneralSettings::ShowRGBcolor, false);
  EXPECT_EQ(log.Take(), "GD");
  s.SetGeneral(&TGeneralSettings::PictureDirectory, "/pics/");
  EXPECT_EQ(s.PictureDirectoryEdit, "/pics/");
  EXPECT_EQ(log.Take(), "G");
  // The main window's change of the record does not reach the file's text.
  s.General.PictureDirectory = "/last/choice/";
  EXPECT_EQ(s.CurrentGeneralControls().PictureDirectoryEdit, "/pics/");
  EXPECT_FALSE(s.CurrentGeneralControls().ShowRGBcolorCheckBox);
}

TEST(Services, TakeAbortTwiceAfterOneRaiseGivesTrueThenFalse) {
  NullServices services;
  EXPECT_FALSE(services.TakeAbort());
  services.RaiseAbort();
  EXPECT_TRUE(services.TakeAbort());
  EXPECT_FALSE(services.TakeAbort());
}

// ---------------------------------------------------------------------------

TEST(FrameBudget, SixtyFourMegabytesAt384x288Give298Frames) {
  // (67 108 864 div 221 184) - 5 = 303 - 5
  EXPECT_EQ(FrameBudgetMessage(64 * 1048576LL, 384, 288),
            "Maximum nr of frames possible: 298, with a size of 384 x 288 pixels and internal memory set to 64 Mb");
  FrameList frames;
  EXPECT_EQ(UpdateFrameBudget(frames, 384, 288),
            "Maximum nr of frames possible: 2422, with a size of 384 x 288 pixels and internal memory set to 512 Mb");
  EXPECT_EQ(frames.MaxFrames(), 2422);  // 536 870 912 div 221 184 - 5 = 2427 - 5
}

TEST(FrameBudget, MemoryRuleSetsTheListAndShowsTheMessageWithoutListeners) {
  FrameList frames;
  CaptureServices services;
  Settings s;
  s.AttachFrameList(&frames);
  s.AttachServices(services);
  NotifyLog log(s);
  s.SetMemoryMb(64);
  EXPECT_EQ(frames.MaxMem(), 67108864);
  EXPECT_EQ(frames.MaxFrames(), 298);
  ASSERT_EQ(services.Status.size(), 1u);
  EXPECT_EQ(services.Status[0],
            "Maximum nr of frames possible: 298, with a size of 384 x 288 pixels and internal memory set to 64 Mb");
  EXPECT_EQ(log.Take(), "");
  s.SetMemoryMb(8);
  EXPECT_EQ(s.MemoryMb, 16);
  EXPECT_EQ(frames.MaxMem(), 16 * 1048576);
  // A width typed far beyond any memory is stored as typed; the message copes.
  s.SetSizeMode(2);
  log.Take();
  services.Status.clear();
  s.SetOutputWidth(4000000, ValueOrigin::Typed);
  EXPECT_EQ(s.LoadFrames.OutputWidth, 4000000);
  EXPECT_EQ(frames.MaxFrames(), 0);
  EXPECT_EQ(services.Status.back(),
            "Maximum nr of frames possible: 0, with a size of 4000000 x 288 pixels and internal memory set to 16 Mb");
  EXPECT_EQ(log.Take(), "");
  // Without a frame list the message is computed from MemoryMb.
  Settings alone;
  alone.SetMemoryMb(128);
  EXPECT_EQ(alone.ShowFrameBudget(),
            "Maximum nr of frames possible: 601, with a size of 384 x 288 pixels and internal memory set to 128 Mb");
  // A budget beyond the memory available is named as such.
  EXPECT_EQ(alone.ShowFrameBudget(MemoryBudgetNote(128 * 1048576, 100 * 1048576 + 5)),
            "Maximum nr of frames possible: 601, with a size of 384 x 288 pixels and internal memory set to 128 Mb "
            "(more than the 100 Mb of memory available)");
  EXPECT_EQ(MemoryBudgetNote(128 * 1048576, 128 * 1048576), "");
  EXPECT_EQ(MemoryBudgetNote(128 * 1048576, -1), "");  // unknown
}

// ---------------------------------------------------------------------------

TEST(StackUsingRule, LastCalculationsIs64AndUntickingBringsTheEarlierChoiceBack) {
  Settings s;
  NotifyLog log(s);
  s.SetStackUsingBox(StackUsing::Min, true);
  s.SetStackUsingBox(StackUsing::Center, true);
  EXPECT_EQ(s.StackFrames.StackUsing, StackUsing::Min + StackUsing::Center + StackUsing::Move);
  EXPECT_EQ(log.Take(), "SS");
  s.SetStackUsingBox(StackUsing::Last, true);
  EXPECT_EQ(s.StackFrames.StackUsing, 64);
  s.SetStackUsingBox(StackUsing::Max, true);  // a disabled box keeps its tick
  EXPECT_EQ(s.StackFrames.StackUsing, 64);
  EXPECT_FALSE(StackUsingBoxEnabled(s.StackUsingTicks, StackUsing::Move));
  EXPECT_TRUE(StackUsingBoxEnabled(s.StackUsingTicks, StackUsing::Last));
  s.SetStackUsingBox(StackUsing::Last, false);
  EXPECT_EQ(s.StackFrames.StackUsing, StackUsing::Min + StackUsing::Max + StackUsing::Center + StackUsing::Move);
  EXPECT_TRUE(s.StackUsingTicked(StackUsing::Max));
  EXPECT_TRUE(StackUsingBoxEnabled(s.StackUsingTicks, StackUsing::Min));
  EXPECT_FALSE(StackUsingBoxEnabled(s.StackUsingTicks, StackUsing::Rotate));
  EXPECT_FALSE(StackUsingBoxEnabled(s.StackUsingTicks, StackUsing::Resize));
  EXPECT_THROW(s.SetStackUsingBox(3, true), RangeError);
  EXPECT_THROW(StackUsingBoxEnabled(s.StackUsingTicks, 128), RangeError);
}

TEST(ChannelRule, IncrementFromLTicksLastCalculationsOnlyWithAutoChannelIncrement) {
  Settings off;
  NotifyLog offLog(off);
  off.IncrementLoadFramesChannel();
  EXPECT_EQ(off.LoadFrames.Channel, 1);
  EXPECT_EQ(off.EditSave.ShowAs, 1);
  EXPECT_FALSE(off.StackUsingTicks.Last);
  EXPECT_EQ(off.StackFrames.StackUsing, StackUsing::Move);
  EXPECT_EQ(offLog.Take(), "DL");

  Settings on;
  on.General.AutoChannelIncrement = true;
  NotifyLog onLog(on);
  on.IncrementLoadFramesChannel();
  EXPECT_EQ(on.LoadFrames.Channel, 1);
  EXPECT_TRUE(on.StackUsingTicks.Last);
  EXPECT_EQ(on.StackFrames.StackUsing, 64);
  EXPECT_EQ(onLog.Take(), "DLS");
  on.IncrementLoadFramesChannel();  // R -> G: no second tick
  EXPECT_EQ(on.LoadFrames.Channel, 2);
  EXPECT_EQ(onLog.Take(), "DL");
  on.IncrementLoadFramesChannel();
  EXPECT_EQ(on.LoadFrames.Channel, 3);
  onLog.Take();
  on.SetShowAs(4);  // the user looks at LRGB after calculating B
  onLog.Take();
  on.IncrementLoadFramesChannel();  // B stays B and nothing runs
  EXPECT_EQ(on.LoadFrames.Channel, 3);
  EXPECT_EQ(on.EditSave.ShowAs, 4);
  EXPECT_EQ(onLog.Take(), "");

  on.LoadFrames.Channel = 9;  // any other value becomes L
  on.IncrementLoadFramesChannel();
  EXPECT_EQ(on.LoadFrames.Channel, 0);
  EXPECT_EQ(on.EditSave.ShowAs, 0);
}

TEST(ChannelRule, ChannelGSelectsGInShow) {
  Settings s;
  NotifyLog log(s);
  s.SetLoadFramesChannel(2);
  EXPECT_EQ(s.LoadFrames.Channel, 2);
  EXPECT_EQ(s.EditSave.ShowAs, 2);
  EXPECT_EQ(log.Take(), "DL");
  s.SetLoadFramesChannel(2);  // Show already G: only the channel's own listeners
  EXPECT_EQ(log.Take(), "L");
  s.SetLoadFramesChannel(-1);  // counts as L
  EXPECT_EQ(s.LoadFrames.Channel, 0);
  EXPECT_EQ(s.EditSave.ShowAs, 0);
  EXPECT_THROW(s.SetShowAs(6), RangeError);
}

// ---------------------------------------------------------------------------

TEST(SizeRules, InputTimesResizeOfA640x480PreviewGives1280x960) {
  CaptureServices services;
  Settings s;
  s.AttachServices(services);
  s.SetInputSize(640, 480);
  s.SetResize(2);
  s.SetSizeMode(1);
  EXPECT_EQ(s.LoadFrames.OutputWidth, 1280);
  EXPECT_EQ(s.LoadFrames.OutputHeight, 960);
  EXPECT_EQ(services.Status.back().find("with a size of 1280 x 960 pixels") != std::string::npos, true);

  // The other order: mode and factor first, then the preview.
  Settings t;
  t.SetSizeMode(1);
  t.SetResize(2);
  EXPECT_EQ(t.LoadFrames.OutputWidth, 768);
  NotifyLog log(t);
  t.SetInputSize(640, 480);
  EXPECT_EQ(t.LoadFrames.OutputWidth, 1280);
  EXPECT_EQ(t.LoadFrames.OutputHeight, 960);
  EXPECT_EQ(log.Take(), "L");
  t.SetResize(6);  // 3840 x 2880 is clamped to the boxes' ranges
  EXPECT_EQ(t.LoadFrames.OutputWidth, 3600);
  EXPECT_EQ(t.LoadFrames.OutputHeight, 2700);
}

TEST(SizeRules, UserAfterSameAsInputRestoresTheUserSize) {
  Settings s;
  s.SetSizeMode(2);
  EXPECT_TRUE(s.OutputSizeEnabled());
  s.SetOutputWidth(640, ValueOrigin::Typed);
  s.SetOutputHeight(480, ValueOrigin::Typed);
  EXPECT_EQ(s.LoadFrames.UserWidth, 640);
  s.SetInputSize(800, 600);
  EXPECT_EQ(s.LoadFrames.OutputWidth, 640);  // User mode ignores the input
  s.SetSizeMode(0);
  EXPECT_EQ(s.LoadFrames.OutputWidth, 800);
  EXPECT_EQ(s.LoadFrames.OutputHeight, 600);
  EXPECT_EQ(s.LoadFrames.UserWidth, 640);  // disabled boxes do not touch the user size
  s.SetSizeMode(2);
  EXPECT_EQ(s.LoadFrames.OutputWidth, 640);
  EXPECT_EQ(s.LoadFrames.OutputHeight, 480);
  EXPECT_THROW(s.SetSizeMode(3), RangeError);
}

TEST(SizeRules, InputBeyondTheRangeIsClampedAndTypedValuesAreStoredWithoutNotifying) {
  CaptureServices services;
  Settings s;
  s.AttachServices(services);
  s.SetInputSize(5000, 20);
  EXPECT_EQ(s.LoadFrames.InputWidth, 5000);
  EXPECT_EQ(s.LoadFrames.OutputWidth, 5000);  // "Same as input" follows the input
  EXPECT_EQ(s.LoadFrames.OutputHeight, 20);
  s.SetSizeMode(1);  // "Input x Resize" keeps the boxes' ranges
  EXPECT_EQ(s.LoadFrames.OutputWidth, 3600);
  EXPECT_EQ(s.LoadFrames.OutputHeight, 48);
  s.SetSizeMode(0);
  s.SetInputSize(0, -1);  // an empty picture keeps the last input size
  EXPECT_EQ(s.LoadFrames.InputWidth, 5000);
  EXPECT_EQ(s.LoadFrames.InputHeight, 20);

  s.SetSizeMode(2);
  NotifyLog log(s);
  const std::size_t messages = services.Status.size();
  s.SetOutputWidth(5000, ValueOrigin::Typed);
  EXPECT_EQ(s.LoadFrames.OutputWidth, 5000);
  EXPECT_EQ(s.LoadFrames.UserWidth, 5000);
  EXPECT_EQ(log.Take(), "");
  EXPECT_EQ(services.Status.size(), messages + 1);  // the message is shown all the same
  s.SetOutputHeight(10, ValueOrigin::Typed);
  EXPECT_EQ(s.LoadFrames.OutputHeight, 10);
  EXPECT_EQ(log.Take(), "");
  s.SetOutputWidth(5000);  // from the program: clamped, notifies
  EXPECT_EQ(s.LoadFrames.OutputWidth, 3600);
  EXPECT_EQ(log.Take(), "L");
}

TEST(AVIRules, StartAboveEndBecomesTheEnd) {
  Settings s;
  s.SetAVIEnd(120);
  EXPECT_EQ(s.AVIStartMaximum, 120);
  s.SetAVIStart(500);
  EXPECT_EQ(s.LoadFrames.AVIStart, 120);
  s.SetAVIStart(-4);
  EXPECT_EQ(s.LoadFrames.AVIStart, 0);
  s.SetAVIStart(40);
  s.SetAVIEnd(10);  // the end box's minimum is the start
  EXPECT_EQ(s.LoadFrames.AVIEnd, 40);
  s.SetAVIEnd(20000);
  EXPECT_EQ(s.LoadFrames.AVIEnd, 9999);
}

TEST(AVIRules, ALongerVideoAfterAShorterOneGetsItsWholeRange) {
  Settings s;
  NotifyLog log(s);
  s.SetVideoFrameRange(49);
  EXPECT_EQ(s.LoadFrames.AVIEnd, 49);
  EXPECT_EQ(log.Take(), "L");
  s.SetVideoFrameRange(99);
  EXPECT_EQ(s.LoadFrames.AVIStart, 0);
  EXPECT_EQ(s.LoadFrames.AVIEnd, 99);
  EXPECT_EQ(s.AVIStartMaximum, 99);
  EXPECT_EQ(s.AVIEndMaximum, 99);
  s.SetVideoFrameRange(99);
  EXPECT_EQ(log.Take(), "L");  // the second time nothing changed
  s.SetAVISkipFrames(45);
  EXPECT_EQ(s.LoadFrames.AVISkipFrames, 30);
  EXPECT_EQ(log.Take(), "");
}

// ---------------------------------------------------------------------------

TEST(ColourRules, RaisingRedByTenLowersGreenAndBlueByFive) {
  Settings s;
  s.DialogCreated(GeneralControls{});
  NotifyLog log(s);
  s.SetColourTrackBar(ColourBar::R, 40);
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{40, 54, 6}));
  EXPECT_EQ(s.UserColourTrackBars, (ColourPositions{40, 59, 11}));
  EXPECT_EQ(log.Take(), "D");
  EXPECT_DOUBLE_EQ(s.EditSave.RWeight, 0.40);
  EXPECT_DOUBLE_EQ(s.EditSave.GWeight, 0.54);
  EXPECT_DOUBLE_EQ(s.EditSave.BWeight, 0.06);
  // Blue from its remembered 11 to 0: d = 5 (toward zero from 5.5).
  s.SetColourTrackBar(ColourBar::B, 0);
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{45, 59, 0}));
  // Green to 100: d = (59 - 100) div 2 = -20; blue stays at 0.
  s.SetColourTrackBar(ColourBar::G, 100);
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{25, 100, 0}));
  const double sum = s.EditSave.RWeight + s.EditSave.GWeight + s.EditSave.BWeight;
  EXPECT_DOUBLE_EQ(sum, 1.0);
}

TEST(ColourRules, PresetsAndUser) {
  Settings s;
  s.DialogCreated(GeneralControls{});
  NotifyLog log(s);
  s.ChooseColourPreset(ColourPreset::OneOneOne);
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{33, 33, 33}));
  EXPECT_DOUBLE_EQ(s.EditSave.RWeight, 1.0 / 3.0);
  EXPECT_EQ(log.Take(), "D");
  s.SetColourTrackBar(ColourBar::R, 50);     // still "1:1:1" chosen
  s.ChooseColourPreset(ColourPreset::User);  // applies 1:1:1 again, then remembers it
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{33, 33, 33}));
  EXPECT_EQ(s.UserColourTrackBars, (ColourPositions{33, 33, 33}));
  s.SetColourTrackBar(ColourBar::G, 43);
  s.ChooseColourPreset(ColourPreset::User);  // User after User keeps the bars
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{28, 43, 28}));
  EXPECT_EQ(s.UserColourTrackBars, (ColourPositions{28, 43, 28}));
  s.ChooseColourPreset(ColourPreset::TV);
  EXPECT_EQ(s.ColourTrackBars, (ColourPositions{30, 59, 11}));
  EXPECT_EQ(s.ColourChoice, ColourPreset::TV);

  const ColourWeights zero = ColourWeightsFromPositions({0, 0, 0});
  EXPECT_EQ(zero.R + zero.G + zero.B, 0.0);
}

TEST(ColourRules, DefaultPositionsGiveTheByteWeights76_150_28) {
  // The colour mix uses round(255 x weight): 0.30 gives 76 (76.5, ties to
  // even), so the weight must not come out a hair above 0.30.
  const ColourWeights tv = ColourWeightsFromPositions({30, 59, 11});
  EXPECT_EQ(std::nearbyint(255 * tv.R), 76);
  EXPECT_EQ(std::nearbyint(255 * tv.G), 150);
  EXPECT_EQ(std::nearbyint(255 * tv.B), 28);
  const ColourWeights half = ColourWeightsFromPositions({10, 5, 5});
  EXPECT_EQ(half.R, 0.5);
  EXPECT_EQ(half.G, 0.25);
}

TEST(EditRules, BrightnessContrastCoupleDefaultAnd595) {
  Settings s;
  NotifyLog log(s);
  s.SetBiasTrackBar(70);
  EXPECT_EQ(s.EditSave.Bias, 0.70);
  EXPECT_EQ(s.EditSave.Gain, 0.5);
  s.CoupleBGCheckBox = true;
  s.SetGainTrackBar(20);
  EXPECT_EQ(s.EditSave.Bias, 0.20);
  EXPECT_EQ(s.EditSave.Gain, 0.20);
  EXPECT_EQ(log.Take(), "DD");
  s.Map0595();  // as set, not coupled
  EXPECT_EQ(s.EditSave.Bias, 0.55);
  EXPECT_EQ(s.EditSave.Gain, 0.45);
  s.Map0595();
  EXPECT_EQ(log.Take(), "D");
  s.SetSaturationTrackBar(75);
  EXPECT_EQ(s.EditSave.Saturation, 1.5);
}

TEST(EditRules, ShowChoiceEnablesItsGroups) {
  const auto g = [](std::uint8_t show) {
    const ShowGroupEnables e = ShowGroupsFor(show);
    return std::string{e.BrightnessContrastGroup ? 'B' : '-', e.BrightnessContrastButtons ? 'b' : '-',
                       e.ColourGroup ? 'C' : '-', e.SaturationNormalButton ? 'n' : '-'};
  };
  EXPECT_EQ(g(0), "Bb--");  // L
  EXPECT_EQ(g(1), "----");  // R
  EXPECT_EQ(g(2), "----");  // G
  EXPECT_EQ(g(3), "----");  // B
  EXPECT_EQ(g(4), "BbCn");  // LRGB
  EXPECT_EQ(g(5), "-bCn");  // RGB
  EXPECT_EQ(g(6), "----");
}

// ---------------------------------------------------------------------------

TEST(ProgramDirectory, HomeFolderWithOverrideAndFallback) {
  const char* old = std::getenv("HOME");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("HOME", "/home/astro/", 1);
  EXPECT_EQ(ProgramDirectory(), "/home/astro/Corvane2/");
  EXPECT_EQ(TGeneralSettings{}.ResultDirectory, "/home/astro/Corvane2/Result/");
  ::setenv("HOME", "", 1);
  const std::string fallback = ProgramDirectory();
  EXPECT_TRUE(fallback.ends_with("/Corvane2/")) << fallback;
  EXPECT_EQ(fallback.front(), '/');  // the account's home folder
  {
    ProgramDirectoryGuard guard("/opt/corvane");
    EXPECT_EQ(ProgramDirectory(), "/opt/corvane/");
  }
  if (old != nullptr)
    ::setenv("HOME", saved.c_str(), 1);
  else
    ::unsetenv("HOME");
}

TEST(CorrectionRules, AChosenFileIsTakenAndACancelStillRefreshesThePreview) {
  Settings s;
  NotifyLog log(s);
  s.ChooseCorrectionFile(&TLoadFramesSettings::DarkFrameFile, "/data/dark.bmp");
  s.ChooseCorrectionFile(&TLoadFramesSettings::DarkFrameFile, "");  // cancelled
  EXPECT_EQ(s.LoadFrames.DarkFrameFile, "/data/dark.bmp");
  EXPECT_FALSE(s.LoadFrames.DarkFrame);  // the file alone does not tick the box
  EXPECT_EQ(log.Take(), "LL");
}

TEST(DialogHelpers, NumberBoxTextAndBrowseFolder) {
  EXPECT_EQ(SpinEditValueFromText(" 640 ", OutputWidthRange), 640);
  EXPECT_EQ(SpinEditValueFromText("9000", OutputWidthRange), 9000);  // typed values are not clamped
  EXPECT_EQ(SpinEditValueFromText("abc", OutputWidthRange), 64);
  EXPECT_EQ(SpinEditValueFromText("", MemoryRange), 16);
  EXPECT_EQ(DirectoryOfChosenFile("/data/pics/moon.bmp"), "/data/pics/");
  EXPECT_EQ(DirectoryOfChosenFile("/moon.bmp"), "/");
  EXPECT_EQ(DirectoryOfChosenFile("moon.bmp"), "");
}
