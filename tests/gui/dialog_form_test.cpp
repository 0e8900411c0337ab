// The settings dialog through its real widgets on the offscreen platform: the
// settings file, the rules of every tab as a user meets them, one notification
// per change, the live panes, the file dialogs and the PSF pictures.
#include "gui/dialog_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <array>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquire/avi_writer.h"
#include "app/version.h"
#include "gui/spin_edit.h"
#include "output/picture_files.h"
#include "support/recording_services.h"
#include "support/test_support.h"

namespace corvane::gui {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

/// A grey picture whose pixel (x, y) is (x + y) & 255.
std::string WritePicture(const test::TempDir& dir, const std::string& name, int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.Row(y) + 3 * x;
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>((x + y) & 255);
    }
  const std::string path = dir.File(name);
  SaveBitmapFile(b, path);
  return path;
}

/// The program around one dialog: panes that record what they show, a
/// settings file and a program folder of its own, file dialogs answered from
/// a list, and a count of every settings notification.
struct Program {
  test::TempDir dir;
  std::string ini;
  test::RecordingServices services;
  std::unique_ptr<Workbench> wb;
  std::unique_ptr<TDialogForm> dialog;
  std::deque<QString> answers;  ///< files the open dialogs confirm ("" cancels)
  std::vector<FileRequest> requests;
  std::vector<QString> messages, errors;
  int general = 0, loadFrames = 0, stackFrames = 0, enhance = 0, editSave = 0;

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
    dialog = std::make_unique<TDialogForm>(*wb, nullptr, ini);
    DialogPrompts& p = dialog->Prompts();
    p.OpenFile = [this](QWidget*, const FileRequest& r) {
      requests.push_back(r);
      const QString answer = answers.empty() ? QString() : answers.front();
      if (!answers.empty()) answers.pop_front();
      return answer;
    };
    p.Message = [this](QWidget*, const QString& text) { messages.push_back(text); };
    p.Error = [this](QWidget*, const QString& text) { errors.push_back(text); };
    Settings& c = wb->Config;
    c.RegisterGeneralListener([this] { ++general; });
    c.RegisterLoadFramesListener([this] { ++loadFrames; });
    c.RegisterStackFramesListener([this] { ++stackFrames; });
    c.RegisterEnhanceListener([this] { ++enhance; });
    c.RegisterEditSaveListener([this] { ++editSave; });
    dialog->show();
  }
  void ResetCounts() { general = loadFrames = stackFrames = enhance = editSave = 0; }
  std::array<int, 5> Counts() const { return {general, loadFrames, stackFrames, enhance, editSave}; }

  template <class T>
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
  bool Enabled(const QString& name) { return Get<QWidget>(name)->isEnabled(); }
  /// Replaces a box's text by typing.
  void Type(const QString& name, const QString& text) {
    auto* edit = Get<QWidget>(name)->findChild<QLineEdit*>();
    if (edit == nullptr) edit = Get<QLineEdit>(name);
    edit->selectAll();
    if (text.isEmpty())
      QTest::keyClick(edit, Qt::Key_Backspace);
    else
      QTest::keyClicks(edit, text);  // the first key replaces the selection
  }
  void Key(const QString& name, Qt::Key key, int times = 1) {
    for (int i = 0; i < times; ++i) QTest::keyClick(Get<QWidget>(name), key);
  }
  int SpinValue(const QString& name) { return Get<TSpinEdit>(name)->Value(); }
  QString SpinText(const QString& name) { return Get<TSpinEdit>(name)->text(); }
  int Track(const QString& name) { return Get<QSlider>(name)->value(); }
  int StatusCount(const std::string& start) const {
    return static_cast<int>(std::count_if(services.Status.begin(), services.Status.end(),
                                          [&](const std::string& s) { return s.rfind(start, 0) == 0; }));
  }
};

// ---------------------------------------------------------------------------
// The dialog and its settings file

TEST(DialogForm, AFreshStartShowsTheDefaultsAndWritesEveryKeyOnClose) {
  Program p;
  TDialogForm& d = *p.dialog;
  EXPECT_EQ(d.windowTitle(), "Settings");
  EXPECT_TRUE(d.windowFlags().testFlag(Qt::Tool));
  EXPECT_FALSE(d.isModal());
  QTabWidget* tabs = p.Tabs();
  ASSERT_EQ(tabs->count(), 5);
  const char* captions[] = {"General", "Preview frames", "Stack frames", "Enhancement", "Edit / Save picture"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(tabs->tabText(i), captions[i]);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_FALSE(tabs->isTabEnabled(1));  // enabled only while previewing

  const std::string prog = p.dir.File("prog") + "/";
  EXPECT_EQ(p.Get<QLineEdit>("PictureDirectoryEdit")->text().toStdString(), prog + "Pictures/");
  EXPECT_EQ(p.Get<QLineEdit>("ResultDirectoryEdit")->text().toStdString(), prog + "Result/");
  EXPECT_EQ(p.SpinValue("MemorySpinEdit"), 64);
  EXPECT_EQ(p.wb->Frames.MaxMem(), 64 * 1048576);
  for (const char* ticked :
       {"AutoSelectTabSheetCheckBox", "ShowRGBcolorCheckBox", "ShowHintsCheckBox", "SaveSettingsCheckBox",
        "StackFramesUsingMoveCheckBox", "UMApostPSFCheckBox", "NameOriginalCheckBox", "NameAutonumberCheckBox",
        "LoadFramesChannelRadioGroup_0", "StackFramesBasisRadioGroup_1", "StackFramesSizeRadioGroup_1",
        "RGBuserRadioButton", "SavePictureFormatGroupBox_0", "ShowAsRadioGroup_0", "DECcittertRadioButton"})
    EXPECT_TRUE(p.Checked(ticked)) << ticked;
  for (const char* clear : {"MemoFontCheckBox", "SaveAsCheckBox", "AutoChannelIncrCheckBox", "CoupleBGCheckBox"})
    EXPECT_FALSE(p.Checked(clear)) << clear;
  for (const char* disabled :
       {"BackGroundSpinEdit", "WidthSpinEdit", "StackFramesUsingRotateCheckBox", "StackFramesMiscInvertCheckBox",
        "StackFramesMethodRadioGroup", "StackFramesZoomRadioGroup", "SavePictureColorControlGroupBox",
        "SavePictureFormatGroupBox", "SaveNamePrefixEdit", "UMApreSpinEdit", "HistogramGroupBox"})
    EXPECT_FALSE(p.Enabled(disabled)) << disabled;
  EXPECT_FALSE(p.Get<QWidget>("UMAprePSFButton")->isVisibleTo(&d));
  EXPECT_EQ(p.Get<QLabel>("VersionLabel")->text().toStdString(), "Version " + ProgramVersion());
  EXPECT_EQ(p.SpinText("AVIendSpinEdit"), "9999");
  EXPECT_EQ(p.Track("GTrackBar"), 59);
  EXPECT_EQ(p.Get<QLineEdit>("SaveNamePrefixEdit")->text(), "Result_");

  // Names for assistive tools and tests, hints as tool tips and descriptions.
  auto* width = p.Get<TSpinEdit>("WidthSpinEdit");
  EXPECT_EQ(width->accessibleName(), "Width");
  EXPECT_EQ(std::make_tuple(width->Minimum(), width->Maximum(), width->Step()), std::make_tuple(64, 3600, 64));
  auto* median = p.Get<QCheckBox>("MedianCheckBox");
  EXPECT_EQ(median->text(), "Median noise filter");
  EXPECT_EQ(median->toolTip(), "Remove spurious noise");
  EXPECT_EQ(median->accessibleDescription(), "Remove spurious noise");
  EXPECT_EQ(p.Get<QWidget>("RTrackBar")->accessibleName(), "Red");

  ASSERT_FALSE(fs::exists(p.ini));
  QSignalSpy closed(&d, &TDialogForm::Closed);
  p.ResetCounts();
  QTest::keyClick(&d, Qt::Key_Escape);
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(p.general, 1);
  EXPECT_EQ(ReadText(p.ini), "[GENERAL]\nSaveSettings=1\nPictureDirectory=" + prog + "Pictures/\nVideoDirectory=" +
                                 prog + "Videos/\nPSFDirectory=" + prog + "PSF/\nResultDirectory=" + prog +
                                 "Result/\nMemoFontColor=0\nShowHints=1\nSaveAsButton=0\nAutoSelectTabSheet=1\n"
                                 "AutoChannelIncrement=0\nShowRGBcolor=1\nMaxMem=64\n");
}

TEST(DialogForm, ASettingsFileWithEveryKeyChangedIsShownBack) {
  test::TempDir dir;
  const std::string ini = dir.File("Corvane2.ini");
  std::ofstream(ini) << "[GENERAL]\nSaveSettings=1\nPictureDirectory=/p/\nVideoDirectory=/v/\nPSFDirectory=/s/\n"
                        "ResultDirectory=/r/\nMemoFontColor=1\nShowHints=2\nSaveAsButton=1\nAutoSelectTabSheet=0\n"
                        "AutoChannelIncrement=1\nShowRGBcolor=0\nMaxMem=128\n";
  Program p(ini);
  for (auto [name, text] : {std::pair{"PictureDirectoryEdit", "/p/"},
                            {"VideoDirectoryEdit", "/v/"},
                            {"PSFDirectoryEdit", "/s/"},
                            {"ResultDirectoryEdit", "/r/"}})
    EXPECT_EQ(p.Get<QLineEdit>(name)->text(), text);
  for (auto [name, on] : {std::pair{"MemoFontCheckBox", true},
                          {"ShowHintsCheckBox", true},
                          {"SaveAsCheckBox", true},
                          {"AutoSelectTabSheetCheckBox", false},
                          {"AutoChannelIncrCheckBox", true},
                          {"ShowRGBcolorCheckBox", false}})
    EXPECT_EQ(p.Checked(name), on) << name;
  EXPECT_EQ(p.SpinValue("MemorySpinEdit"), 128);
  EXPECT_EQ(p.wb->Frames.MaxMem(), 134217728);
  EXPECT_EQ(p.wb->Config.General.ResultDirectory, "/r/");

  // The main window moving the record's picture folder does not reach the box
  // or the file.
  p.wb->Config.General.PictureDirectory = "/elsewhere/";
  p.dialog->close();
  EXPECT_NE(ReadText(ini).find("PictureDirectory=/p/\n"), std::string::npos);
  EXPECT_NE(ReadText(ini).find("ShowHints=1\n"), std::string::npos);
}

TEST(DialogForm, UntickingSaveSettingsFreezesTheFile) {
  Program p;
  p.Click("MemoFontCheckBox");
  p.dialog->close();  // MemoFontColor=1 is written
  p.dialog->show();
  p.Click("SaveSettingsCheckBox");
  p.Click("MemoFontCheckBox");
  p.Click("ShowHintsCheckBox");
  p.dialog->hide();
  const std::string frozen = ReadText(p.ini);
  EXPECT_NE(frozen.find("SaveSettings=0\n"), std::string::npos);
  EXPECT_NE(frozen.find("MemoFontColor=1\n"), std::string::npos);
  EXPECT_NE(frozen.find("ShowHints=1\n"), std::string::npos);

  // The next run reads only "SaveSettings": the rest keep the form's start
  // states, among them the ticked "Save As" box.
  p.Start();
  EXPECT_FALSE(p.Checked("SaveSettingsCheckBox"));
  EXPECT_FALSE(p.Checked("MemoFontCheckBox"));
  EXPECT_TRUE(p.Checked("SaveAsCheckBox"));
  EXPECT_TRUE(p.wb->Config.General.SaveAsButton);
  p.dialog->close();
  EXPECT_EQ(ReadText(p.ini), frozen);
}

TEST(DialogForm, LosingTheFocusWritesTheFileAndHintsFollowShowHints) {
  Program p;
  QWidget other;
  other.show();
  QApplication::setActiveWindow(p.dialog.get());
  p.Click("ShowHintsCheckBox");
  ASSERT_FALSE(fs::exists(p.ini));
  QApplication::setActiveWindow(&other);
  EXPECT_NE(ReadText(p.ini).find("ShowHints=0\n"), std::string::npos);

  auto tip = [&](bool showHints) {
    p.wb->Config.General.ShowHints = showHints;
    QWidget* median = p.Get<QWidget>("MedianCheckBox");
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), median->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(median, &help);
    const bool shown = QToolTip::isVisible() && QToolTip::text() == "Remove spurious noise";
    QToolTip::hideText();
    return shown;
  };
  p.ShowTab(SettingsTab::PreviewFrames);
  EXPECT_FALSE(tip(false));
  EXPECT_TRUE(tip(true));
}

TEST(DialogForm, AnUnwritableSettingsFolderGivesOneStatusLine) {
  test::TempDir dir;
  std::ofstream(dir.File("file")) << "a file where the folder should be";
  Program p(dir.File("file") + "/Corvane2.ini");
  for (int i = 0; i < 3; ++i) {
    p.Click("MemoFontCheckBox");
    p.dialog->hide();
    p.dialog->show();
    p.dialog->close();
    p.dialog->show();
  }
  EXPECT_EQ(p.StatusCount("Settings not saved: "), 1);
  EXPECT_TRUE(p.errors.empty());
}

TEST(DialogForm, BrowseTakesTheFolderOfTheChosenFile) {
  Program p;
  p.answers = {"/data/moon/any.bmp", ""};
  p.ResetCounts();
  p.Click("BrowseVideoDirectoryButton");
  ASSERT_EQ(p.requests.size(), 1u);
  EXPECT_EQ(p.requests[0].Title, "Set a new directory by choosing any filename");
  EXPECT_EQ(p.requests[0].Folder.toStdString(), p.dir.File("prog") + "/Videos/");
  EXPECT_EQ(p.Get<QLineEdit>("VideoDirectoryEdit")->text(), "/data/moon/");
  EXPECT_EQ(p.wb->Config.General.VideoDirectory, "/data/moon/");
  EXPECT_EQ(p.general, 1);
  p.Click("BrowseVideoDirectoryButton");  // cancelled
  EXPECT_EQ(p.wb->Config.General.VideoDirectory, "/data/moon/");
  EXPECT_EQ(p.general, 1);

  // Typing into a folder box stores every change.
  p.Type("ResultDirectoryEdit", "/out/");
  EXPECT_EQ(p.wb->Config.General.ResultDirectory, "/out/");
}

// ---------------------------------------------------------------------------
// The rules of the tabs as the user meets them

TEST(DialogForm, PreviewFramesSizesFollowTheInputAndTheUsersChoice) {
  Program p;
  const std::string picture = WritePicture(p.dir, "moon.bmp", 640, 480);
  ASSERT_TRUE(p.wb->PreviewAction({picture}));
  EXPECT_TRUE(p.Tabs()->isTabEnabled(1));
  EXPECT_EQ(p.Tabs()->currentIndex(), 1);  // "Auto select Settings"
  EXPECT_EQ(p.SpinValue("WidthSpinEdit"), 640);

  p.Click("SizeInputResizeRadioButton");
  p.Key("ResizeSpinEdit", Qt::Key_Up);
  EXPECT_EQ(p.SpinValue("ResizeSpinEdit"), 2);
  EXPECT_EQ(p.SpinValue("WidthSpinEdit"), 1280);
  EXPECT_EQ(p.SpinValue("HeightSpinEdit"), 960);
  EXPECT_FALSE(p.Enabled("WidthSpinEdit"));
  EXPECT_EQ(p.services.Status.back(),
            "Maximum nr of frames possible: 22, with a size of 1280 x 960 pixels and internal memory set to 64 Mb");

  // User: the boxes open with the last User size; typed sizes are kept.
  p.Click("SizeUserRadioButton");
  EXPECT_TRUE(p.Enabled("WidthSpinEdit"));
  EXPECT_EQ(p.SpinValue("WidthSpinEdit"), 384);
  p.Type("WidthSpinEdit", "512");
  p.Click("SizeAsInputRadioButton");
  EXPECT_EQ(p.SpinValue("WidthSpinEdit"), 640);
  p.Click("SizeUserRadioButton");
  EXPECT_EQ(p.SpinValue("WidthSpinEdit"), 512);

  // A typed size outside the range is kept as typed and does not notify; an
  // emptied box counts as its minimum; the text is left as the user typed it.
  p.ResetCounts();
  p.Type("WidthSpinEdit", "5000");
  EXPECT_EQ(p.wb->Config.LoadFrames.OutputWidth, 5000);
  EXPECT_EQ(p.SpinText("WidthSpinEdit"), "5000");
  QTest::keyClick(p.Get<QWidget>("WidthSpinEdit"), Qt::Key_Return);  // finishing keeps the text
  QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(p.Get<QWidget>("WidthSpinEdit"), &focusOut);
  EXPECT_EQ(p.SpinText("WidthSpinEdit"), "5000");
  EXPECT_EQ(p.loadFrames, 1);  // "500" only: 5, 50 and 5000 lie outside
  p.Type("WidthSpinEdit", "");
  EXPECT_EQ(p.wb->Config.LoadFrames.OutputWidth, 64);
  EXPECT_EQ(p.SpinText("WidthSpinEdit"), "");
  QTest::keyClick(p.Get<QWidget>("WidthSpinEdit"), Qt::Key_Up);
  EXPECT_EQ(p.SpinText("WidthSpinEdit"), "128");
  QTest::keyClicks(p.Get<QWidget>("WidthSpinEdit")->findChild<QLineEdit*>(), "abc");  // no letters
  EXPECT_EQ(p.SpinText("WidthSpinEdit"), "128");

  // "Single object" opens the background box; a box that is not typed takes
  // only the arrows.
  p.Click("LoadSingleObjectRadioButton");
  EXPECT_TRUE(p.Enabled("BackGroundSpinEdit"));
  QTest::keyClicks(p.Get<QWidget>("BackGroundSpinEdit")->findChild<QLineEdit*>(), "9");
  EXPECT_EQ(p.SpinValue("BackGroundSpinEdit"), 20);
  p.Key("BackGroundSpinEdit", Qt::Key_Down, 2);
  EXPECT_DOUBLE_EQ(p.wb->Config.LoadFrames.Background, 0.18);

  // Loading ends the preview: the tab is disabled until the next one.
  p.wb->LoadAction();
  p.dialog->Refresh();
  EXPECT_FALSE(p.Tabs()->isTabEnabled(1));
}

TEST(DialogForm, FrameRangeChannelAndMemoryRules) {
  Program p;
  p.wb->Fsm.EventPreview();
  p.dialog->Refresh();
  p.ShowTab(SettingsTab::PreviewFrames);
  p.Type("AVIendSpinEdit", "100");
  p.Type("AVIstartSpinEdit", "150");
  EXPECT_EQ(p.wb->Config.LoadFrames.AVIStart, 100);
  EXPECT_EQ(p.SpinValue("AVIstartSpinEdit"), 100);
  EXPECT_EQ(p.Get<TSpinEdit>("AVIendSpinEdit")->Minimum(), 100);
  EXPECT_EQ(p.Get<TSpinEdit>("AVIstartSpinEdit")->Maximum(), 100);

  p.ResetCounts();
  p.Click("LoadFramesChannelRadioGroup_2");
  EXPECT_EQ(p.wb->Config.LoadFrames.Channel, 2);
  EXPECT_TRUE(p.Checked("ShowAsRadioGroup_2"));
  EXPECT_FALSE(p.Enabled("SavePictureBWControlGroupBox"));
  EXPECT_EQ(p.Counts(), (std::array{0, 1, 0, 0, 1}));

  p.ShowTab(SettingsTab::General);
  p.ResetCounts();
  p.Key("MemorySpinEdit", Qt::Key_Up);
  EXPECT_EQ(p.SpinValue("MemorySpinEdit"), 80);
  EXPECT_EQ(p.wb->Frames.MaxMem(), 80 * 1048576);
  EXPECT_EQ(p.services.Status.back(),
            "Maximum nr of frames possible: 374, with a size of 384 x 288 pixels and internal memory set to 80 Mb");
  EXPECT_EQ(p.Counts(), (std::array{0, 0, 0, 0, 0}));
}

TEST(DialogForm, EveryChangeNotifiesItsListenersOnceAndTheWidgetsFollowTheModel) {
  Program p;
  p.wb->Fsm.EventPreview();
  p.dialog->Refresh();
  struct Step {
    SettingsTab Tab;
    std::function<void()> Do;
    std::array<int, 5> Expected;  // General, Preview frames, Stack frames, Enhancement, Edit / Save
  };
  const std::vector<Step> steps = {
      {SettingsTab::General, [&] { p.Click("ShowHintsCheckBox"); }, {1, 0, 0, 0, 0}},
      {SettingsTab::General, [&] { p.Click("ShowRGBcolorCheckBox"); }, {1, 0, 0, 0, 1}},
      {SettingsTab::PreviewFrames, [&] { p.Key("FrameBiasSpinEdit", Qt::Key_Up); }, {0, 1, 0, 0, 0}},
      {SettingsTab::PreviewFrames, [&] { p.Click("LFBiasGainDefaultButton"); }, {0, 1, 0, 0, 0}},
      {SettingsTab::PreviewFrames, [&] { p.Click("LoadFramesWhenRadioGroup_1"); }, {0, 1, 0, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesUsingLastCheckBox"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::StackFrames, [&] { p.Click("StackFramesBasisRadioGroup_2"); }, {0, 0, 1, 0, 0}},
      {SettingsTab::Enhancement, [&] { p.Key("UMApostSpinEdit", Qt::Key_Up); }, {0, 0, 0, 1, 0}},
      {SettingsTab::Enhancement, [&] { p.Click("DEClrRadioButton"); }, {0, 0, 0, 1, 0}},
      {SettingsTab::EditSave, [&] { p.Click("ShowAsRadioGroup_4"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Key("RTrackBar", Qt::Key_PageUp); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Click("RGB111RadioButton"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Click("CoupleBGCheckBox"); }, {0, 0, 0, 0, 0}},
      {SettingsTab::EditSave, [&] { p.Click("Map0595Button"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Key("BiasTrackBar", Qt::Key_Right); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Click("NameOriginalCheckBox"); }, {0, 0, 0, 0, 1}},
      {SettingsTab::EditSave, [&] { p.Type("SaveNamePrefixEdit", "M"); }, {0, 0, 0, 0, 1}},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    p.ShowTab(steps[i].Tab);
    p.ResetCounts();
    steps[i].Do();
    EXPECT_EQ(p.Counts(), steps[i].Expected) << "step " << i;
  }
  const Settings& c = p.wb->Config;
  EXPECT_FALSE(c.General.ShowHints);
  EXPECT_DOUBLE_EQ(c.LoadFrames.FrameBias, 0.5);
  EXPECT_EQ(c.StackFrames.StackUsing, StackUsing::Last);
  EXPECT_EQ(c.StackFrames.Basis, 2);
  EXPECT_EQ(c.Enhance.UMAPost, 5);
  EXPECT_EQ(c.Enhance.DECMethod, 1);
  EXPECT_EQ(c.SaveNamePrefixEdit, "M");

  // "Last calculations" disables the other boxes, which keep their ticks.
  EXPECT_FALSE(p.Enabled("StackFramesUsingMoveCheckBox"));
  EXPECT_TRUE(p.Checked("StackFramesUsingMoveCheckBox"));
  // LRGB opened the colour group; the red bar from 30 to 40 took 5 from green
  // and blue (54 and 6); "1:1:1" then set 33 each.
  EXPECT_TRUE(p.Enabled("SavePictureColorControlGroupBox"));
  EXPECT_EQ(std::make_tuple(p.Track("RTrackBar"), p.Track("GTrackBar"), p.Track("BTrackBar")),
            std::make_tuple(33, 33, 33));
  // "5 - 95" with "Couple" set 55 / 45 as they stand; the next move of the
  // brightness took the contrast along.
  EXPECT_EQ(p.Track("BiasTrackBar"), 56);
  EXPECT_EQ(p.Track("GainTrackBar"), 56);
  EXPECT_DOUBLE_EQ(c.EditSave.Gain, 0.56);
  EXPECT_TRUE(p.Enabled("SaveNamePrefixEdit"));
}

TEST(DialogForm, TheColourBarsAreCoupled) {
  Program p;
  p.ShowTab(SettingsTab::EditSave);
  p.Click("ShowAsRadioGroup_5");  // RGB: colour group, brightness buttons only
  EXPECT_FALSE(p.Enabled("BiasTrackBar"));
  EXPECT_TRUE(p.Enabled("Map0595Button"));
  p.Key("RTrackBar", Qt::Key_PageUp);
  EXPECT_EQ(std::make_tuple(p.Track("RTrackBar"), p.Track("GTrackBar"), p.Track("BTrackBar")),
            std::make_tuple(40, 54, 6));
  EXPECT_NEAR(p.wb->Config.EditSave.RWeight, 0.4, 1e-12);
}

// ---------------------------------------------------------------------------
// Live panes, the workflow and the files the buttons pick

TEST(DialogForm, PreviewFramesChangesShowTheirEffectInThePanes) {
  Program p;
  // A video of five frames, frame i all grey 40 i.
  const std::string video = p.dir.File("v.avi");
  {
    AviWriter writer(video, 64, 48, AviPixelFormat::Grey8);
    for (int i = 0; i < 5; ++i) {
      const std::vector<std::uint8_t> frame(64 * 48, static_cast<std::uint8_t>(40 * i));
      writer.AddFrame(frame.data());
    }
    writer.Finish();
  }
  ASSERT_TRUE(p.wb->PreviewAction({video}));
  EXPECT_EQ(p.Get<TSpinEdit>("AVIendSpinEdit")->Maximum(), 4);  // the video's last frame
  EXPECT_EQ(p.SpinValue("AVIendSpinEdit"), 4);
  p.Type("AVIstartSpinEdit", "3");
  EXPECT_EQ(p.services.LastInput.Row(10)[0], 120);  // frame 3 in the input pane
  p.Type("AVIendSpinEdit", "2");
  EXPECT_EQ(p.SpinValue("AVIendSpinEdit"), 3);  // not below the start
  EXPECT_EQ(p.services.LastResult.Row(10)[0], 120);

  // Any other change processes the input picture again into the result pane.
  const int shows = p.services.ResultShows;
  p.Key("FrameBiasSpinEdit", Qt::Key_Up, 10);
  EXPECT_EQ(p.services.ResultShows, shows + 10);
  EXPECT_GT(p.services.LastResult.Row(10)[0], 120);
}

TEST(DialogForm, EditSaveChangesRenderTheResultAgain) {
  Program p;
  const std::string picture = WritePicture(p.dir, "jupiter.bmp", 64, 48);
  ASSERT_TRUE(p.wb->PreviewAction({picture}));
  p.wb->LoadAction();
  p.wb->CalculateRun();
  EXPECT_EQ(p.Tabs()->currentIndex(), static_cast<int>(SettingsTab::EditSave));
  const Bitmap before = p.services.LastResult;
  const int shows = p.services.ResultShows;
  p.Key("BiasTrackBar", Qt::Key_PageUp);
  EXPECT_EQ(p.services.ResultShows, shows + 1);
  EXPECT_NE(p.services.LastResult, before);
  EXPECT_EQ(p.wb->Picture.Memo[3], "Bias: 60%, ");
  p.Click("NameChannelCheckBox");
  EXPECT_EQ(p.wb->Picture.ResultLabel, "File name \"jupiter__L_0\"");

  // "Auto Channel Increment": the next preview steps to R, shows R and stacks
  // with the shifts found for L.
  p.ShowTab(SettingsTab::General);
  p.Click("AutoChannelIncrCheckBox");
  ASSERT_TRUE(p.wb->PreviewAction({picture}));
  EXPECT_TRUE(p.Checked("LoadFramesChannelRadioGroup_1"));
  EXPECT_TRUE(p.Checked("ShowAsRadioGroup_1"));
  EXPECT_TRUE(p.Checked("StackFramesUsingLastCheckBox"));
  EXPECT_FALSE(p.Enabled("StackFramesUsingMoveCheckBox"));
}

TEST(DialogForm, PickedPicturesAndTables) {
  Program p;
  p.wb->Fsm.EventPreview();
  p.dialog->Refresh();
  const std::string small = WritePicture(p.dir, "small.bmp", 17, 15);
  const std::string large = WritePicture(p.dir, "large.bmp", 18, 15);
  p.ShowTab(SettingsTab::Enhancement);
  p.answers = {QString::fromStdString(small), QString::fromStdString(large), ""};
  p.ResetCounts();
  p.Click("UMApostPSFButton");
  ASSERT_EQ(p.requests.size(), 1u);
  EXPECT_EQ(p.requests[0].Title, "Pick a PSF for unsharp masking of picture");
  EXPECT_EQ(p.requests[0].Filter, "PointSpreadFunction picture (*.bmp)");
  EXPECT_EQ(p.requests[0].Folder.toStdString(), p.wb->Config.General.PSFDirectory);
  EXPECT_EQ(p.Get<QLabel>("UMApostPSFImage")->pixmap().size(), QSize(34, 30));
  EXPECT_TRUE(p.messages.empty());
  p.Click("DECpostPSFButton");
  EXPECT_EQ(p.messages, std::vector<QString>{"The PSF picture is larger than 17 x 15 pixels"});
  EXPECT_TRUE(p.Get<QLabel>("DECpostPSFImage")->pixmap().isNull());
  EXPECT_EQ(p.wb->Config.Enhance.DECPostPSF.Width(), 18);
  EXPECT_EQ(p.enhance, 2);
  p.Click("DECpostPSFButton");  // cancelled: nothing changes
  EXPECT_EQ(p.enhance, 2);

  // A file that cannot be read ends in the error box; the dialog goes on.
  std::ofstream(p.dir.File("broken.bmp")) << "no picture";
  p.answers = {QString::fromStdString(p.dir.File("broken.bmp"))};
  p.Click("UMApostPSFButton");
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_TRUE(p.errors[0].contains("broken.bmp"));
  EXPECT_EQ(p.Get<QLabel>("UMApostPSFImage")->pixmap().size(), QSize(34, 30));

  // Load LUT takes a table only.
  p.ShowTab(SettingsTab::EditSave);
  p.answers = {QString::fromStdString(small)};
  p.Click("LUTButton");
  EXPECT_EQ(p.requests.back().Title, "Pick a LUT for result picture");
  EXPECT_EQ(p.errors.size(), 2u);
  EXPECT_EQ(p.wb->Config.EditSave.LUTFile, "");

  // The dark frame: a cancelled dialog still refreshes the preview.
  p.ShowTab(SettingsTab::PreviewFrames);
  p.answers = {QString::fromStdString(small), ""};
  p.Click("DarkFrameButton");
  EXPECT_EQ(p.requests.back().Title, "Pick a DarkFrame with the same size as frames");
  EXPECT_EQ(p.wb->Config.LoadFrames.DarkFrameFile, small);
  p.ResetCounts();
  p.Click("DarkFrameButton");
  EXPECT_EQ(p.requests.back().Folder.toStdString(), p.dir.Path().string() + "/");
  EXPECT_EQ(p.wb->Config.LoadFrames.DarkFrameFile, small);
  EXPECT_EQ(p.loadFrames, 1);
}

}  // namespace
}  // namespace corvane::gui
