// The settings dialog through its real widgets on the offscreen platform: the
// settings file, the rules of the tabs as a user meets them, one notification
// per change, the live panes, and the files the buttons pick.
#include "gui/dialog_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/version.h"
#include "gui/scripted_prompts.h"
#include "gui/spin_edit.h"
#include "io/avi_writer.h"
#include "io/frame_source.h"
#include "io/picture_files.h"
#include "support/recording_services.h"
#include "support/test_support.h"

namespace corvane::gui {
namespace {

std::string ReadText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

/// A grey picture whose pixel (x, y) is (x + y) & 255.
std::string WritePicture(const test::TempDir& dir, const std::string& name, int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Row(y)[3 * x] = b.Row(y)[3 * x + 1] = b.Row(y)[3 * x + 2] = (x + y) & 255;
  SaveBitmapFile(b, dir.File(name));
  return dir.File(name);
}

/// The program around one dialog: panes that record what they show, a
/// settings file and a program folder of its own, file dialogs answered from
/// a list, and a count of every settings notification.
struct Program {
  test::TempDir dir;
  std::string ini;
  test::RecordingServices services;
  std::unique_ptr<Workbench> wb;
  test::ScriptedPrompts prompts;
  std::unique_ptr<TDialogForm> dialog;
  std::array<int, 5> counts{};  ///< General, Preview frames, Stack frames, Enhancement, Edit / Save

  explicit Program(std::string iniPath = {}) : ini(iniPath.empty() ? dir.File("config/Corvane2.ini") : iniPath) {
    SetProgramDirectoryOverride(dir.File("prog"));
    services.InputPane = services.ResultPane = true;
    Start();
  }
  ~Program() { SetProgramDirectoryOverride({}); }

  /// A fresh run of the program on the same settings file.
  void Start() {
    dialog.reset();
    wb = std::make_unique<Workbench>(services);
    wb->Fsm.EventDone();
    dialog = std::make_unique<TDialogForm>(*wb, prompts, nullptr, ini);
    Settings& c = wb->Config;
    c.RegisterGeneralListener([this] { ++counts[0]; });
    c.RegisterLoadFramesListener([this] { ++counts[1]; });
    c.RegisterStackFramesListener([this] { ++counts[2]; });
    c.RegisterEnhanceListener([this] { ++counts[3]; });
    c.RegisterEditSaveListener([this] { ++counts[4]; });
    dialog->show();
  }

  template <class T = QWidget>
  T* Get(const QString& name) {
    T* w = dialog->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  QTabWidget* Tabs() { return Get<QTabWidget>("PageControl"); }
  void ShowTab(SettingsTab tab) { Tabs()->setCurrentIndex(static_cast<int>(tab)); }
  /// A click where the user clicks: on the box of a check box or radio button.
  void Click(const QString& name) {
    auto* b = Get<QAbstractButton>(name);
    const bool box = qobject_cast<QCheckBox*>(b) != nullptr || qobject_cast<QRadioButton*>(b) != nullptr;
    QTest::mouseClick(b, Qt::LeftButton, {}, box ? QPoint(6, b->height() / 2) : b->rect().center());
  }
  bool Checked(const QString& name) { return Get<QAbstractButton>(name)->isChecked(); }
  bool Enabled(const QString& name) { return Get(name)->isEnabled(); }
  /// Replaces a box's text by typing; the first key replaces the selection.
  void Type(const QString& name, const QString& text) {
    auto* edit = Get(name)->findChild<QLineEdit*>();
    if (edit == nullptr) edit = Get<QLineEdit>(name);
    edit->selectAll();
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  void Key(const QString& name, Qt::Key key, int times = 1) {
    for (int i = 0; i < times; ++i) QTest::keyClick(Get(name), key);
  }
  int Spin(const QString& name) { return Get<TSpinEdit>(name)->Value(); }
  int Track(const QString& name) { return Get<QSlider>(name)->value(); }
};

// ---------------------------------------------------------------------------
// The dialog and its settings file

TEST(DialogForm, AFreshStartShowsTheDefaultsAndWritesEveryKeyOnClose) {
  Program p;
  TDialogForm& d = *p.dialog;
  EXPECT_EQ(d.windowTitle(), "Settings");
  EXPECT_TRUE(d.windowFlags().testFlag(Qt::Tool) && !d.isModal());
  QTabWidget* tabs = p.Tabs();
  ASSERT_EQ(tabs->count(), 5);
  EXPECT_EQ(tabs->tabText(4), "Edit / Save picture");
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_FALSE(tabs->isTabEnabled(1));  // enabled only while previewing

  const std::string prog = p.dir.File("prog") + "/";
  EXPECT_EQ(p.Get<QLineEdit>("PictureDirectoryEdit")->text().toStdString(), prog + "Pictures/");
  EXPECT_EQ(p.Spin("MemorySpinEdit"), 64);
  for (const char* ticked :
       {"AutoSelectTabSheetCheckBox", "SaveSettingsCheckBox", "StackFramesUsingMoveCheckBox",
        "StackFramesBasisRadioGroup_1", "RGBuserRadioButton", "SavePictureFormatGroupBox_0", "SERByteOrderRadioGroup_0",
        "StackFramesRateIndexRadioButton", "StackFramesBicubicRadioButton"})
    EXPECT_TRUE(p.Checked(ticked)) << ticked;
  for (const char* clear : {"SaveAsCheckBox", "AutoChannelIncrCheckBox", "CoupleBGCheckBox",
                            "StackFramesKeepBestCheckBox", "StackFramesSubPixelCheckBox"})
    EXPECT_FALSE(p.Checked(clear)) << clear;
  for (const char* disabled : {"BackGroundSpinEdit", "WidthSpinEdit", "StackFramesUsingRotateCheckBox",
                               "StackFramesZoomRadioGroup", "SavePictureColorControlGroupBox", "SaveNamePrefixEdit",
                               "UMApreSpinEdit", "StackFramesKeepBestSpinEdit", "StackFramesBicubicRadioButton"})
    EXPECT_FALSE(p.Enabled(disabled)) << disabled;
  EXPECT_TRUE(p.Enabled("SavePictureFormatGroupBox") && p.Enabled("StackFramesCoarseCheckBox"));
  EXPECT_EQ(p.Spin("StackFramesKeepBestSpinEdit"), 10);
  EXPECT_EQ(p.Get("StackFramesKeepBestSpinEdit")->accessibleName(), "Keep the best percent");
  EXPECT_TRUE(p.Get("SERByteOrderRadioGroup_0")->accessibleDescription().startsWith("Byte order of 16-bit SER"));
  EXPECT_FALSE(p.Get("UMAprePSFButton")->isVisibleTo(&d));
  EXPECT_EQ(p.Get<QLabel>("VersionLabel")->text().toStdString(), "Version " + ProgramVersion());
  EXPECT_EQ(p.Track("GTrackBar"), 59);
  auto* width = p.Get<TSpinEdit>("WidthSpinEdit");
  EXPECT_EQ(std::make_tuple(width->Minimum(), width->Maximum(), width->Step()), std::make_tuple(64, 3600, 64));
  EXPECT_EQ(width->accessibleName(), "Width");
  EXPECT_EQ(p.Get("MedianCheckBox")->accessibleDescription(), "Remove spurious noise");

  ASSERT_FALSE(std::filesystem::exists(p.ini));
  QSignalSpy closed(&d, &TDialogForm::Closed);
  p.counts = {};
  QTest::keyClick(&d, Qt::Key_Escape);
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(p.counts[0], 1);
  EXPECT_EQ(ReadText(p.ini), "[GENERAL]\nSaveSettings=1\nPictureDirectory=" + prog + "Pictures/\nVideoDirectory=" +
                                 prog + "Videos/\nPSFDirectory=" + prog + "PSF/\nResultDirectory=" + prog +
                                 "Result/\nMemoFontColor=0\nShowHints=1\nSaveAsButton=0\nAutoSelectTabSheet=1\n"
                                 "AutoChannelIncrement=0\nShowRGBcolor=1\nMaxMem=64\n");
}

TEST(DialogForm, TheFileIsShownBackAndUntickingSaveSettingsFreezesIt) {
  test::TempDir dir;
  const std::string ini = dir.File("Corvane2.ini");
  std::ofstream(ini) << "[GENERAL]\nSaveSettings=1\nPictureDirectory=/p/\nVideoDirectory=/v/\nPSFDirectory=/s/\n"
                        "ResultDirectory=/r/\nMemoFontColor=1\nShowHints=2\nSaveAsButton=1\nAutoSelectTabSheet=0\n"
                        "AutoChannelIncrement=1\nShowRGBcolor=0\nMaxMem=128\n";
  Program p(ini);
  EXPECT_EQ(p.Get<QLineEdit>("PSFDirectoryEdit")->text(), "/s/");
  EXPECT_EQ(p.wb->Config.General.ResultDirectory, "/r/");
  EXPECT_TRUE(p.Checked("MemoFontCheckBox") && p.Checked("ShowHintsCheckBox") && p.Checked("SaveAsCheckBox") &&
              p.Checked("AutoChannelIncrCheckBox"));
  EXPECT_FALSE(p.Checked("AutoSelectTabSheetCheckBox") || p.Checked("ShowRGBcolorCheckBox"));
  EXPECT_EQ(p.Spin("MemorySpinEdit"), 128);
  EXPECT_EQ(p.wb->Frames.MaxMem(), 134217728);

  // The main window moving the record's picture folder reaches neither the
  // box nor the file.
  p.wb->Config.General.PictureDirectory = "/elsewhere/";
  p.dialog->hide();
  EXPECT_NE(ReadText(ini).find("PictureDirectory=/p/\n"), std::string::npos);
  EXPECT_NE(ReadText(ini).find("MemoFontColor=1\nShowHints=1\n"), std::string::npos);
  p.dialog->show();
  p.Click("SaveSettingsCheckBox");
  p.Click("MemoFontCheckBox");
  p.dialog->close();
  const std::string frozen = ReadText(ini);
  EXPECT_NE(frozen.find("SaveSettings=0\n"), std::string::npos);
  EXPECT_NE(frozen.find("MemoFontColor=1\n"), std::string::npos);

  // The next run reads only "SaveSettings": the rest keep the form's start
  // states, among them the ticked "Save As" box.
  p.Start();
  EXPECT_FALSE(p.Checked("SaveSettingsCheckBox") || p.Checked("MemoFontCheckBox"));
  EXPECT_TRUE(p.Checked("SaveAsCheckBox"));
  p.dialog->close();
  EXPECT_EQ(ReadText(ini), frozen);
}

TEST(DialogForm, FocusLossWritesAndAFailedWriteIsReportedOnce) {
  Program p;
  QWidget other;
  other.show();
  QApplication::setActiveWindow(p.dialog.get());
  p.Click("ShowHintsCheckBox");
  ASSERT_FALSE(std::filesystem::exists(p.ini));
  QApplication::setActiveWindow(&other);
  EXPECT_NE(ReadText(p.ini).find("ShowHints=0\n"), std::string::npos);

  std::ofstream(p.dir.File("file")) << "a file where the folder should be";
  Program unwritable(p.dir.File("file") + "/Corvane2.ini");
  for (int i = 0; i < 3; ++i) {
    unwritable.Click("MemoFontCheckBox");
    unwritable.dialog->hide();
    unwritable.dialog->show();
    unwritable.dialog->close();
    unwritable.dialog->show();
  }
  const auto& status = unwritable.services.Status;
  EXPECT_EQ(
      std::count_if(status.begin(), status.end(), [](auto& s) { return s.rfind("Settings not saved: ", 0) == 0; }), 1);
}

// ---------------------------------------------------------------------------
// The rules of the tabs as the user meets them

TEST(DialogForm, PreviewFramesRulesThroughTheWidgets) {
  Program p;
  ASSERT_TRUE(p.wb->PreviewAction({WritePicture(p.dir, "moon.bmp", 640, 480)}));
  EXPECT_TRUE(p.Tabs()->isTabEnabled(1));
  EXPECT_EQ(p.Tabs()->currentIndex(), 1);  // "Auto select Settings"
  p.Click("SizeInputResizeRadioButton");
  p.Key("ResizeSpinEdit", Qt::Key_Up);
  EXPECT_EQ(std::make_pair(p.Spin("WidthSpinEdit"), p.Spin("HeightSpinEdit")), std::make_pair(1280, 960));
  EXPECT_FALSE(p.Enabled("WidthSpinEdit"));
  EXPECT_EQ(p.services.Status.back(),
            "Maximum nr of frames possible: 22, with a size of 1280 x 960 pixels and internal memory set to 64 Mb");

  // User: the boxes open with the last User size, typed sizes are kept.
  p.Click("SizeUserRadioButton");
  EXPECT_EQ(p.Spin("WidthSpinEdit"), 384);
  p.Type("WidthSpinEdit", "512");
  p.Click("SizeAsInputRadioButton");
  EXPECT_EQ(p.Spin("WidthSpinEdit"), 640);
  p.Click("SizeUserRadioButton");
  EXPECT_EQ(p.Spin("WidthSpinEdit"), 512);

  // A typed size outside the range is kept as typed and does not notify;
  // finishing the edit keeps the text; an emptied box counts as its minimum.
  p.counts = {};
  p.Type("WidthSpinEdit", "5000");
  EXPECT_EQ(p.counts[1], 1);  // "500" only: 5, 50 and 5000 lie outside
  QTest::keyClick(p.Get("WidthSpinEdit"), Qt::Key_Return);
  QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(p.Get("WidthSpinEdit"), &focusOut);
  EXPECT_EQ(p.Get<TSpinEdit>("WidthSpinEdit")->text(), "5000");
  EXPECT_EQ(p.wb->Config.LoadFrames.OutputWidth, 5000);
  p.Type("WidthSpinEdit", "4000000");  // a size no memory holds: 0 frames, no error box
  EXPECT_TRUE(p.prompts.Errors.empty());
  EXPECT_EQ(p.services.Status.back().rfind("Maximum nr of frames possible: 0, with a size of 4000000 x ", 0), 0u);
  p.Type("WidthSpinEdit", "");
  EXPECT_EQ(p.wb->Config.LoadFrames.OutputWidth, 64);
  EXPECT_EQ(p.Get<TSpinEdit>("WidthSpinEdit")->text(), "");
  p.Key("WidthSpinEdit", Qt::Key_Up);
  p.Type("WidthSpinEdit", "abc");  // no letters
  EXPECT_EQ(p.Get<TSpinEdit>("WidthSpinEdit")->text(), "128");

  // A box that is not typed takes only the arrows.
  p.Click("LoadSingleObjectRadioButton");
  p.Type("BackGroundSpinEdit", "9");
  p.Key("BackGroundSpinEdit", Qt::Key_Down, 2);
  EXPECT_DOUBLE_EQ(p.wb->Config.LoadFrames.Background, 0.18);

  // A start above the end becomes the end; channel G shows G.
  p.Type("AVIendSpinEdit", "100");
  p.Type("AVIstartSpinEdit", "150");
  EXPECT_EQ(p.Spin("AVIstartSpinEdit"), 100);
  EXPECT_EQ(p.Get<TSpinEdit>("AVIendSpinEdit")->Minimum(), 100);
  p.Click("LoadFramesChannelRadioGroup_2");
  EXPECT_TRUE(p.Checked("ShowAsRadioGroup_2"));
  EXPECT_FALSE(p.Enabled("SavePictureBWControlGroupBox"));

  // Loading ends the preview: the tab is disabled until the next one.
  p.wb->LoadAction();
  p.dialog->Refresh();
  EXPECT_FALSE(p.Tabs()->isTabEnabled(1));
}

TEST(DialogForm, EveryChangeNotifiesOnceAndTheWidgetsFollowTheModel) {
  Program p;
  p.wb->Fsm.EventPreview();
  p.dialog->Refresh();
  struct Step {
    SettingsTab Tab;
    std::function<void()> Do;
    std::array<int, 5> Expected;
  };
  const std::vector<Step> steps = {
      {SettingsTab::General, [&] { p.Click("ShowRGBcolorCheckBox"); }, {1, 0, 0, 0, 1}},
      {SettingsTab::General, [&] { p.Key("MemorySpinEdit", Qt::Key_Up); }, {0, 0, 0, 0, 0}},
      {SettingsTab::PreviewFrames, [&] { p.Key("FrameBiasSpinEdit", Qt::Key_Up); }, {0, 1, 0, 0, 0}},
      {SettingsTab::PreviewFrames, [&] { p.Click("LFBiasGainDefaultButton"); }, {0, 1, 0, 0, 0}},
      {SettingsTab::PreviewFrames, [&] { p.Click("LoadFramesChannelRadioGroup_3"); }, {0, 1, 0, 0, 1}},
      {SettingsTab::PreviewFrames, [&] { p.Click("SERByteOrderRadioGroup_2"); }, {0, 1, 0, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesRateSharpnessRadioButton"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesKeepBestCheckBox"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Type("StackFramesKeepBestSpinEdit", "2"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesKeepBestCheckBox"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesSubPixelCheckBox"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesBilinearRadioButton"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesUsingLastCheckBox"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::Enhancement, [&] { p.Key("UMApostSpinEdit", Qt::Key_Up); }, {0, 0, 0, 1, 0}},
      {SettingsTab::EditSave, [&] { p.Click("ShowAsRadioGroup_4"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Click("SavePictureFormatGroupBox_2"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Key("RTrackBar", Qt::Key_PageUp); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Click("CoupleBGCheckBox"); }, {0, 0, 0, 0, 0}},
      {SettingsTab::EditSave, [&] { p.Click("Map0595Button"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Key("BiasTrackBar", Qt::Key_Right); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Click("NameOriginalCheckBox"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Type("SaveNamePrefixEdit", "M"); }, {0, 0, 0, 0, 1}},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    p.ShowTab(steps[i].Tab);
    p.counts = {};
    steps[i].Do();
    EXPECT_EQ(p.counts, steps[i].Expected) << "step " << i;
  }
  EXPECT_EQ(p.wb->Frames.MaxMem(), 80 * 1048576);
  EXPECT_EQ(p.wb->Config.Enhance.UMAPost, 5);
  // "Last calculations" disables the other boxes, which keep their ticks, and the coarse alignment.
  EXPECT_TRUE(p.Checked("StackFramesUsingMoveCheckBox") && !p.Enabled("StackFramesUsingMoveCheckBox"));
  EXPECT_FALSE(p.Enabled("StackFramesCoarseCheckBox"));
  // "Keep the best" off keeps its percent for the next tick; sub-pixel opened the interpolation.
  const TStackFramesSettings& sf = p.wb->Config.StackFrames;
  EXPECT_EQ(std::make_tuple(sf.Rating, sf.KeepBest, sf.SubPixel, sf.Interpolation),
            std::make_tuple(FrameRating::Sharpness, 0, true, FrameInterpolation::Bilinear));
  EXPECT_EQ(p.Spin("StackFramesKeepBestSpinEdit"), 2);
  EXPECT_FALSE(p.Enabled("StackFramesKeepBestSpinEdit"));
  p.Click("StackFramesKeepBestCheckBox");
  EXPECT_EQ(sf.KeepBest, 2);
  EXPECT_TRUE(p.Enabled("StackFramesKeepBestSpinEdit") && p.Enabled("StackFramesBicubicRadioButton"));
  // Without "Automatically set quality" a Go rates nothing: "Rate by" is disabled.
  p.Click("StackFramesMiscSetQualityCheckBox");
  EXPECT_FALSE(p.Enabled("StackFramesRateSharpnessRadioButton"));
  EXPECT_EQ(std::make_pair(p.wb->Config.LoadFrames.SERByteOrder, p.wb->Config.EditSave.SaveFormat),
            std::make_pair(std::uint8_t{2}, std::uint8_t{2}));
  // LRGB opened the colour group; red from 30 to 40 took 5 from green and blue.
  EXPECT_EQ(std::make_tuple(p.Track("RTrackBar"), p.Track("GTrackBar"), p.Track("BTrackBar")),
            std::make_tuple(40, 54, 6));
  // "5 - 95" with "Couple" set 55 / 45 as they stand; the next move of the
  // brightness took the contrast along.
  EXPECT_EQ(std::make_pair(p.Track("BiasTrackBar"), p.Track("GainTrackBar")), std::make_pair(56, 56));
  EXPECT_EQ(p.wb->Config.SaveNamePrefixEdit, "M");  // the box opens without "Original name"
}

// ---------------------------------------------------------------------------
// Live panes, the workflow, and the files the buttons pick

TEST(DialogForm, ChangesShowTheirEffectInThePanesWhileTheDialogIsOpen) {
  Program p;
  const std::string video = p.dir.File("v.avi");  // frame i all grey 40 i
  AviWriter writer(video, 64, 48, AviPixelFormat::Grey8);
  for (int i = 0; i < 5; ++i) writer.AddFrame(std::vector<std::uint8_t>(64 * 48, 40 * i).data());
  writer.Finish();
  ASSERT_TRUE(p.wb->PreviewAction({video}));
  EXPECT_EQ(p.Get<TSpinEdit>("AVIendSpinEdit")->Maximum(), 4);
  p.Type("AVIstartSpinEdit", "3");
  EXPECT_EQ(p.services.LastInput.Row(10)[0], 120);  // frame 3 in the input pane
  p.Type("AVIendSpinEdit", "2");
  EXPECT_EQ(p.Spin("AVIendSpinEdit"), 3);  // not below the start
  EXPECT_EQ(p.services.LastResult.Row(10)[0], 120);
  const int shows = p.services.ResultShows;
  p.Key("FrameBiasSpinEdit", Qt::Key_Up, 10);  // the input picture processed again
  EXPECT_EQ(p.services.ResultShows, shows + 10);
  EXPECT_GT(p.services.LastResult.Row(10)[0], 120);

  const std::string picture = WritePicture(p.dir, "jupiter.bmp", 64, 48);
  ASSERT_TRUE(p.wb->PreviewAction({picture}));
  p.wb->LoadAction();
  p.wb->CalculateRun();
  EXPECT_EQ(p.Tabs()->currentIndex(), static_cast<int>(SettingsTab::EditSave));
  const Bitmap before = p.services.LastResult;
  p.Key("BiasTrackBar", Qt::Key_PageUp);
  EXPECT_NE(p.services.LastResult, before);
  EXPECT_EQ(p.wb->Picture.Memo[3], "Bias: 60%, ");
  p.Click("NameChannelCheckBox");
  EXPECT_EQ(p.wb->Picture.ResultLabel, "File name \"jupiter__L_0\"");

  // "Auto Channel Increment": the next preview steps to R, shows R and stacks
  // with the shifts found for L.
  p.ShowTab(SettingsTab::General);
  p.Click("AutoChannelIncrCheckBox");
  ASSERT_TRUE(p.wb->PreviewAction({picture}));
  EXPECT_TRUE(p.Checked("LoadFramesChannelRadioGroup_1") && p.Checked("ShowAsRadioGroup_1"));
  EXPECT_TRUE(p.Checked("StackFramesUsingLastCheckBox"));
}

TEST(DialogForm, ButtonsTakeTheFilesTheirDialogsConfirm) {
  Program p;
  p.prompts.Answers = {{"/data/moon/any.bmp"}, {}};
  p.Click("BrowseVideoDirectoryButton");
  EXPECT_EQ(p.prompts.Requests.back().Title, "Set a new directory by choosing any filename");
  EXPECT_EQ(p.prompts.Requests.back().Folder.toStdString(), p.dir.File("prog") + "/Videos/");
  EXPECT_EQ(p.Get<QLineEdit>("VideoDirectoryEdit")->text(), "/data/moon/");
  p.Click("BrowseVideoDirectoryButton");  // cancelled
  EXPECT_EQ(p.wb->Config.General.VideoDirectory, "/data/moon/");

  const std::string small = WritePicture(p.dir, "small.bmp", 17, 15);
  const std::string large = WritePicture(p.dir, "large.bmp", 18, 15);
  std::ofstream(p.dir.File("broken.bmp")) << "no picture";
  p.ShowTab(SettingsTab::Enhancement);
  p.prompts.Answers = {
      {QString::fromStdString(small)}, {QString::fromStdString(large)}, {}, {p.dir.File("broken.bmp").c_str()}};
  p.counts = {};
  p.Click("UMApostPSFButton");
  EXPECT_EQ(p.prompts.Requests.back().Title, "Pick a PSF for unsharp masking of picture");
  EXPECT_EQ(p.prompts.Requests.back().Folder.toStdString(), p.wb->Config.General.PSFDirectory);
  EXPECT_EQ(p.Get<QLabel>("UMApostPSFImage")->pixmap().size(), QSize(34, 30));
  p.Click("DECpostPSFButton");
  EXPECT_EQ(p.prompts.Messages, std::vector<QString>{"The PSF picture is larger than 17 x 15 pixels"});
  EXPECT_TRUE(p.Get<QLabel>("DECpostPSFImage")->pixmap().isNull());
  p.Click("DECpostPSFButton");  // cancelled
  EXPECT_EQ(p.counts[3], 2);
  p.Click("UMApostPSFButton");  // unreadable: the error box, and the dialog goes on
  ASSERT_EQ(p.prompts.Errors.size(), 1u);
  EXPECT_TRUE(p.prompts.Errors[0].contains("broken.bmp"));
  EXPECT_EQ(p.Get<QLabel>("UMApostPSFImage")->pixmap().size(), QSize(34, 30));

  // The dark frame: a cancelled dialog still refreshes the preview.
  p.wb->Fsm.EventPreview();
  p.dialog->Refresh();
  p.ShowTab(SettingsTab::PreviewFrames);
  p.prompts.Answers = {{QString::fromStdString(small)}, {}};
  p.Click("DarkFrameButton");
  EXPECT_EQ(p.prompts.Requests.back().Title, "Pick a DarkFrame with the same size as frames");
  // Its filter names the picture kinds frame loading reads for a dark frame, and nothing else.
  std::set<SourceKind> kinds;
  for (const QString& pattern : FilterPatterns(p.prompts.Requests.back().Filters.value(0)))
    kinds.insert(SourceKindOfPath("dark" + pattern.mid(1).toStdString()));
  EXPECT_EQ(kinds, (std::set<SourceKind>{SourceKind::Bmp, SourceKind::Jpeg, SourceKind::Fits, SourceKind::Tiff,
                                         SourceKind::Png}));
  p.counts = {};
  p.Click("DarkFrameButton");
  EXPECT_EQ(p.prompts.Requests.back().Folder.toStdString(), p.dir.Path().string() + "/");
  EXPECT_EQ(p.wb->Config.LoadFrames.DarkFrameFile, small);
  EXPECT_EQ(p.counts[1], 1);
}

}  // namespace
}  // namespace corvane::gui
