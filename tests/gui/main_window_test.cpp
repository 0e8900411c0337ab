// The main window through its real widgets on the offscreen platform: the
// start-up state, a whole run against the batch tool's picture, the keys, Esc
// during a load, the mouse on the panes, the save dialogs and the error box.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "app/version.h"
#include "cli/cli_process.h"
#include "enhance/local_psf.h"
#include "gui/dialog_form.h"
#include "gui/picture_pane.h"
#include "gui/scripted_prompts.h"
#include "io/avi_writer.h"
#include "io/frame_source.h"
#include "io/picture_files.h"
#include "io/ser_writer.h"
#include "output/bitmap_ops.h"
#include "support/test_support.h"

namespace corvane::gui {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

/// The settings file and the default folders in a folder of the test's own;
/// `settings` is the settings file's text (none: no file).
struct Home {
  TempDir Dir;
  explicit Home(const std::string& settings = {}) {
    ::setenv("XDG_CONFIG_HOME", Dir.File("config").c_str(), 1);
    SetProgramDirectoryOverride(Dir.File("Corvane2"));
    if (!settings.empty()) {
      fs::create_directories(Dir.File("config"));
      std::ofstream(Ini()) << settings;
    }
  }
  std::string Ini() const { return Dir.File("config/Corvane2.ini"); }
  ~Home() {
    SetProgramDirectoryOverride("");
    ::unsetenv("XDG_CONFIG_HOME");
  }
};

/// The program as main() starts it, with scripted dialogs.
struct Program {
  Home home;
  GuiServices services;
  Workbench wb{services};
  test::ScriptedPrompts prompts;
  TMainForm form{wb, prompts};
  TDialogForm dialog{wb, prompts, &form};

  explicit Program(const std::string& settings = {}) : home(settings) {
    form.AttachDialog(&dialog);
    form.show();
    services.SetRepaintInterval(0);  // every change shows at the next pump
  }
  template <class T = QWidget>
  T* Find(const char* name) {
    T* w = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void Click(const char* name) {
    QAbstractButton* b = Find<QAbstractButton>(name);
    ASSERT_TRUE(b->isEnabled()) << name;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  /// Clicks a check box on its box.
  void Tick(const char* name) {
    QCheckBox* box = Find<QCheckBox>(name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  }
  void Preview(const std::vector<std::string>& files) {
    QStringList list;
    for (const std::string& f : files) list.push_back(QString::fromStdString(f));
    prompts.Answers.push_back(list);
    Click("LoadFramesChooseBitBtn");
  }
  QString State() { return Find<QLabel>("StatusBarPanel1")->text(); }
  QStringList Memo(const char* name) { return Find<QPlainTextEdit>(name)->toPlainText().split(u'\n'); }
  /// The enabled ones among the step buttons.
  std::vector<std::string> Enabled() {
    std::vector<std::string> on;
    for (const char* name :
         {"LoadFramesChooseBitBtn", "LoadFramesLoadBitBtn", "StackFramesGoBitBtn", "StackFramesResetBitBtn",
          "StackFramesSaveBitBtn", "PictureCalculateBitBtn", "PictureSaveBitBtn"})
      if (Find(name)->isEnabled()) on.emplace_back(name);
    return on;
  }
};

using Names = std::vector<std::string>;

/// Grey BMP pictures of planets; `second` adds a second planet moving by its own offsets.
std::vector<std::string> Pictures(const TempDir& dir, const std::vector<TPoint32>& moves, int w, int h,
                                  const std::vector<TPoint32>& second = {}) {
  std::vector<std::string> files;
  std::mt19937 rng(9);
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const bool two = !second.empty();
    TImage16 p = test::PlanetPlane(w, h, (two ? w / 4.0 : w / 2.0) + moves[i].x, h / 2.0 + moves[i].y,
                                   two ? 40 : h / 4.0, 1, 0, rng);
    if (two) {
      const TImage16 q = test::PlanetPlane(w, h, 3 * w / 4.0 + second[i].x, h / 2.0 + second[i].y, 40, 1, 0, rng);
      for (std::size_t k = 0; k < p.SampleCount(); ++k) p.Data[k] = std::max(p.Data[k], q.Data[k]);
    }
    Bitmap b(w, h);
    Image16ToBitmap(b, p, 0, 0, w, h, ChannelL);
    char name[32];
    std::snprintf(name, sizeof name, "f%zu.bmp", i);
    files.push_back(dir.File(name));
    SaveBitmapFile(b, files.back());
  }
  return files;
}

std::string Bytes(const std::string& path) { return test::ReadText(path); }

/// Whether a widget shows a hint when the pointer rests on it.
bool ShowsHint(QWidget* widget) {
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(widget, &help);
  const bool shown = QToolTip::isVisible() && !QToolTip::text().isEmpty();
  QToolTip::hideText();
  return shown;
}

/// The buttons, boxes and labels shown on `page` whose caption is cut: the
/// text is wider than the room the style gives it.
std::vector<std::string> Clipped(QWidget* page) {
  std::vector<std::string> clipped;
  for (QWidget* w : page->findChildren<QWidget*>()) {
    QString text;
    QRect room;
    if (auto* b = qobject_cast<QAbstractButton*>(w); b != nullptr && qobject_cast<QToolButton*>(w) == nullptr) {
      QStyleOptionButton option;
      option.initFrom(b);
      text = b->text();
      const QStyle::SubElement contents = qobject_cast<QCheckBox*>(w)      ? QStyle::SE_CheckBoxContents
                                          : qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents
                                                                           : QStyle::SE_PushButtonContents;
      room = w->style()->subElementRect(contents, &option, w);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      text = l->text();
      room = l->contentsRect();
    }
    if (text.isEmpty() || !w->isVisibleTo(page)) continue;
    if (w->fontMetrics().horizontalAdvance(text) > room.width() || w->fontMetrics().height() > room.height())
      clipped.push_back(w->objectName().toStdString() + " " + text.toStdString());
  }
  return clipped;
}

TEST(MainWindow, StartsIdleWithItsControlsNamedAndDescribed) {
  Program p;
  EXPECT_EQ(p.form.windowTitle().toStdString(), "Corvane 2      Version " + ProgramVersion().substr(0, 5));
  EXPECT_EQ(p.form.size(), QSize(791, 595));
  EXPECT_EQ(p.form.minimumSize(), p.form.maximumSize());
  EXPECT_EQ(p.State(), "IDLE");
  EXPECT_EQ(p.Enabled(), Names{"LoadFramesChooseBitBtn"});
  EXPECT_EQ(p.Find<QLabel>("StatusBarPanel0")->text(), "Memory used: 0 Mb");
  EXPECT_EQ(p.Find<QLabel>("StatusBarPanel2")->text(),
            "Preview ---> Load ---> Calculate ---> Go! ---> Calculate ---> Save ---> Ready!");
  const QStringList design{"  ", " ", "  ", "               Info", " ", "  ", ""};
  for (const char* memo : {"LoadFramesMemo", "FrameInfoMemo", "StackFramesMemo", "PictureMemo"})
    EXPECT_EQ(p.Memo(memo), design) << memo;
  EXPECT_EQ(p.Memo("EnhancementMemo"), design.mid(0, 6));
  EXPECT_EQ(p.Memo("CombineFramesMemo"),
            (QStringList{"------------ Mean ------------", "", "Take the average  ", "value of all frames"}));
  EXPECT_FALSE(p.Find("CombineFramesSpinEdit1")->isVisibleTo(&p.form));
  EXPECT_EQ(p.Find<QSpinBox>("FrameInfoQualitySpinEdit")->value(), 900);
  EXPECT_EQ(p.Find<QSpinBox>("FrameInfoFilterSpinEdit")->value(), 900);
  EXPECT_TRUE(p.Find<QCheckBox>("FrameInfoFilterCheckBox")->isChecked());
  EXPECT_EQ(p.Find<QSpinBox>("FrameInfoNrSpinEdit")->maximum(), 1);
  EXPECT_EQ(p.Find<PicturePane>("LocalPSFImage")->Picture().Width(), 15);
  // Every caption fits its control, on the window and on each tab of the dialog.
  EXPECT_EQ(Clipped(&p.form), Names{});
  p.dialog.show();
  auto* tabs = p.dialog.findChild<QTabWidget*>("PageControl");
  for (int tab = 0; tab < tabs->count(); ++tab) {
    tabs->setCurrentIndex(tab);
    QApplication::processEvents();
    EXPECT_EQ(Clipped(tabs->widget(tab)), Names{}) << tab;
  }
  p.dialog.hide();
  // The panel caption shows one ampersand.
  QAccessibleInterface* editSave = QAccessible::queryAccessibleInterface(p.Find("PictureGroupBox"));
  EXPECT_EQ(editSave->text(QAccessible::Name), "Edit & Save picture");

  // Accessible names of the controls without a caption, hints as descriptions and tool tips.
  const std::pair<const char*, const char*> names[] = {{"InputFrameImage", "Input picture"},
                                                       {"ResultPictureImage", "Result picture"},
                                                       {"LocalPSFImage", "Local PSF"},
                                                       {"LoadFramesMemo", "Load frames memo"},
                                                       {"FrameInfoMemo", "Frame quality memo"},
                                                       {"StackFramesMemo", "Stack frames memo"},
                                                       {"CombineFramesMemo", "Combine memo"},
                                                       {"EnhancementMemo", "Enhancement memo"},
                                                       {"PictureMemo", "Picture memo"},
                                                       {"FrameInfoNrSpinEdit", "Frame nr"},
                                                       {"FrameInfoQualitySpinEdit", "Quality"},
                                                       {"FrameInfoFilterSpinEdit", "Filter threshold"},
                                                       {"CombineFramesSpinEdit1", "Combine value 1"},
                                                       {"CombineFramesSpinEdit2", "Combine value 2"},
                                                       {"InputFrameProgressBar", "Input progress"},
                                                       {"ResultPictureProgressBar", "Calculate progress"},
                                                       {"StatusBarPanel0", "Memory used"},
                                                       {"StatusBarPanel1", "State"},
                                                       {"StatusBarPanel2", "Status"},
                                                       {"SettingsSpeedButton", "Settings"}};
  for (const auto& [name, accessible] : names) EXPECT_EQ(p.Find(name)->accessibleName(), accessible) << name;
  EXPECT_EQ(p.Find("LoadFramesChooseBitBtn")->accessibleDescription(),
            "Choose and preview  files, always use prior to Load");
  EXPECT_EQ(p.Find("InputFrameProgressBar")->toolTip(), "Progress ");
  for (const char* hidden : {"EnhancementPreUMACheckBox", "EnhancementPreDECCheckBox", "EnhancementPreHISCheckBox",
                             "EnhancementPostHISCheckBox"})
    EXPECT_FALSE(p.Find(hidden)->isVisibleTo(&p.form)) << hidden;

  // The General settings on the window: hints, memo colour, the save caption.
  p.wb.Config.General.ShowHints = false;
  p.wb.Config.General.MemoFontColor = true;
  p.wb.Config.SetGeneral(&TGeneralSettings::SaveAsButton, true);
  EXPECT_FALSE(ShowsHint(p.Find("PictureCalculateBitBtn")));
  EXPECT_EQ(p.Find<QPushButton>("PictureSaveBitBtn")->text(), "Save As");
  for (const char* memo :
       {"LoadFramesMemo", "FrameInfoMemo", "StackFramesMemo", "CombineFramesMemo", "EnhancementMemo", "PictureMemo"})
    EXPECT_EQ(p.Find(memo)->palette().color(QPalette::Text), QColor(Qt::black)) << memo;

  // The toggle shows and hides the settings dialog; closing the dialog pops it up.
  auto* toggle = p.Find<QToolButton>("SettingsSpeedButton");
  EXPECT_FALSE(toggle->isChecked());
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_TRUE(p.dialog.isVisible());
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_FALSE(p.dialog.isVisible());
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_TRUE(toggle->isChecked());
  p.dialog.close();  // its close box
  EXPECT_FALSE(toggle->isChecked());
}

TEST(MainWindow, StartsFromTheSettingsFileAndShowsTheDialogOnItsToggle) {
  TempDir dir;
  Program p("[GENERAL]\nSaveSettings=1\nMemoFontColor=1\nShowHints=0\nSaveAsButton=1\nMaxMem=128\n");
  const char* const memos[] = {"LoadFramesMemo",    "FrameInfoMemo",   "StackFramesMemo",
                               "CombineFramesMemo", "EnhancementMemo", "PictureMemo"};
  auto memoColour = [&](const char* memo) { return p.Find(memo)->palette().color(QPalette::Text); };
  // The dialog read the file at start, and the window shows it.
  EXPECT_EQ(p.Find<QPushButton>("PictureSaveBitBtn")->text(), "Save As");
  QWidget* median = p.dialog.findChild<QWidget*>("MedianCheckBox");  // the dialog's hints as well
  EXPECT_FALSE(ShowsHint(p.Find("LoadFramesChooseBitBtn")) || ShowsHint(median));
  for (const char* memo : memos) EXPECT_EQ(memoColour(memo), QColor(Qt::black)) << memo;
  EXPECT_EQ(p.wb.Frames.MaxMem(), 128 << 20);
  auto* toggle = p.Find<QToolButton>("SettingsSpeedButton");
  EXPECT_FALSE(toggle->isChecked() || p.dialog.isVisible());

  // Down shows the dialog, whose changes reach the window at once; up hides
  // it and writes the file.
  auto dialogBox = [&](const char* name) {
    auto* box = p.dialog.findChild<QCheckBox*>(QString::fromLatin1(name));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  };
  QTest::mouseClick(toggle, Qt::LeftButton);
  ASSERT_TRUE(p.dialog.isVisible());
  dialogBox("ShowHintsCheckBox");
  dialogBox("MemoFontCheckBox");
  dialogBox("SaveAsCheckBox");
  EXPECT_TRUE(ShowsHint(p.Find("LoadFramesChooseBitBtn")) && ShowsHint(median));
  for (const char* memo : memos) EXPECT_NE(memoColour(memo), QColor(Qt::black)) << memo;
  EXPECT_EQ(p.Find<QPushButton>("PictureSaveBitBtn")->text(), "Save");
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_FALSE(p.dialog.isVisible());
  EXPECT_NE(Bytes(p.home.Ini()).find("MemoFontColor=0\nShowHints=1\nSaveAsButton=0\n"), std::string::npos);
  // Closing the dialog itself (Esc) pops the toggle up.
  QTest::mouseClick(toggle, Qt::LeftButton);
  QTest::keyClick(&p.dialog, Qt::Key_Escape);
  EXPECT_FALSE(toggle->isChecked() || p.dialog.isVisible());

  // "Auto select Settings": each step brings the tab of the next forward;
  // the Preview frames tab can be used only while previewing.
  QTest::mouseClick(toggle, Qt::LeftButton);
  auto* tabs = p.dialog.findChild<QTabWidget*>("PageControl");
  auto step = [&](const char* button) {
    if (std::string(button) == "LoadFramesChooseBitBtn")
      p.Preview(Pictures(dir, {{0, 0}, {1, 1}}, 64, 48));
    else
      p.Click(button);
    return std::make_pair(tabs->currentIndex(), tabs->isTabEnabled(1));
  };
  EXPECT_EQ(step("LoadFramesChooseBitBtn"), std::make_pair(1, true));
  EXPECT_EQ(step("LoadFramesLoadBitBtn"), std::make_pair(2, false));
  EXPECT_EQ(step("StackFramesGoBitBtn"), std::make_pair(3, false));
  EXPECT_EQ(step("PictureCalculateBitBtn"), std::make_pair(4, false));
  EXPECT_EQ(step("LoadFramesChooseBitBtn"), std::make_pair(1, true));
  EXPECT_TRUE(p.prompts.Errors.empty());

  // Closing the program with the dialog open keeps its last change.
  dialogBox("MemoFontCheckBox");
  p.form.close();
  EXPECT_NE(Bytes(p.home.Ini()).find("MemoFontColor=1\n"), std::string::npos);
}

/// A 12-frame 160 x 120 sample video "planet.avi" in the folder.
bool MakePlanetVideo(const TempDir& dir, int seed) {
  return test::RunProcess(test::MakeSampleBinary(),
                          {"-W", "160", "-H", "120", "-n", "12", "--seed", std::to_string(seed), "-o", "planet.avi"},
                          dir.Path())
             .Code == 0;
}

/// Makes the folder the program's result folder.
void SaveInto(Program& p, const std::string& folder) {
  p.wb.Config.SetGeneral(&TGeneralSettings::ResultDirectory, folder + "/");
  fs::create_directories(folder);
}

TEST(MainWindow, AWholeRunSavesThePictureTheBatchToolSaves) {
  TempDir dir;
  ASSERT_TRUE(MakePlanetVideo(dir, 7));
  Program p;
  SaveInto(p, dir.File("window"));

  p.Preview({dir.File("planet.avi")});
  const FileRequest& open = p.prompts.Requests.back();
  EXPECT_EQ(open.Title, "Choose which frames to load");
  EXPECT_EQ(open.Filters.mid(1), (QStringList{"JPEG Image File (*.jpg)", "JPEG Image File (*.jpeg)", "Bitmaps (*.bmp)",
                                              "AVI (*.avi)", SerFilter, FitsFilter, TiffFilter, PngFilter}));
  // "All" names every kind frame loading reads, and nothing else.
  std::set<SourceKind> kinds;
  for (const QString& pattern : FilterPatterns(open.Filters.value(0)))
    kinds.insert(SourceKindOfPath("frames" + pattern.mid(1).toStdString()));
  EXPECT_EQ(kinds, (std::set<SourceKind>{SourceKind::Avi, SourceKind::Bmp, SourceKind::Jpeg, SourceKind::Fits,
                                         SourceKind::Ser, SourceKind::Tiff, SourceKind::Png}));
  EXPECT_EQ(open.DefaultSuffix, "bmp");
  EXPECT_TRUE(open.MultipleFiles);
  EXPECT_EQ(open.Folder.toStdString(), p.home.Dir.File("Corvane2") + "/Pictures/");
  EXPECT_EQ(p.State(), "PREVIEW");
  EXPECT_EQ(p.Enabled(), (Names{"LoadFramesChooseBitBtn", "LoadFramesLoadBitBtn"}));
  EXPECT_EQ(p.Memo("LoadFramesMemo")[0], " -- AVI --");
  EXPECT_EQ(p.Memo("LoadFramesMemo")[6], "Output size: 160x120");

  p.Click("LoadFramesLoadBitBtn");
  EXPECT_EQ(p.State(), "LOADED");
  // Load stays enabled: the frames can be loaded again with other settings.
  EXPECT_EQ(p.Enabled(),
            (Names{"LoadFramesChooseBitBtn", "LoadFramesLoadBitBtn", "StackFramesGoBitBtn", "PictureCalculateBitBtn"}));
  EXPECT_EQ(p.Find<QLabel>("InputFrameLabel")->text(), "Input frame [12of12]");
  EXPECT_EQ(p.Find<QSpinBox>("FrameInfoNrSpinEdit")->value(), 12);
  EXPECT_EQ(p.Find<QLabel>("InputFrameProgressLabel")->text(), "planet.avi");
  EXPECT_EQ(p.Find<QProgressBar>("InputFrameProgressBar")->value(), 11);
  EXPECT_EQ(p.Find<PicturePane>("InputFrameImage")->Picture().Width(), 160);

  p.Click("PictureCalculateBitBtn");
  EXPECT_EQ(p.State(), "CALCULATED");
  EXPECT_EQ(p.Enabled(), (Names{"LoadFramesChooseBitBtn", "LoadFramesLoadBitBtn", "StackFramesGoBitBtn",
                                "PictureCalculateBitBtn", "PictureSaveBitBtn"}));
  EXPECT_EQ(p.Memo("PictureMemo")[0], "-- planet__0 --");

  p.Tick("EnhancementPostUMACheckBox");
  p.Tick("EnhancementPostDECCheckBox");
  ASSERT_TRUE(p.wb.Enhancement.PostUnsharpMask && p.wb.Enhancement.PostDeconvolution);
  p.wb.Config.SetEnhance(&TEnhanceSettings::UMAPost, 8);  // strength 4 would leave the picture as it is
  p.Click("StackFramesGoBitBtn");
  EXPECT_EQ(p.State(), "STACKED");
  EXPECT_EQ(p.Enabled(), (Names{"LoadFramesChooseBitBtn", "LoadFramesLoadBitBtn", "StackFramesGoBitBtn",
                                "StackFramesResetBitBtn", "StackFramesSaveBitBtn", "PictureCalculateBitBtn"}));
  EXPECT_TRUE(p.Memo("FrameInfoMemo")[2].startsWith("Shift: "));

  p.Click("PictureCalculateBitBtn");
  auto* iterations = p.Find<QProgressBar>("ResultPictureProgressBar");
  EXPECT_EQ(p.Find<QLabel>("ResultPictureProgressLabel")->text(), "Iteration:");
  EXPECT_EQ(iterations->value(), iterations->maximum());  // the one iteration is done
  p.Click("PictureSaveBitBtn");
  const std::string saved = dir.File("window/planet__1.bmp");
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(p.Find<QLabel>("ResultPictureLabel")->text(), "File name \"planet__1\"");
  EXPECT_TRUE(p.prompts.Errors.empty());

  // The batch tool with the same settings (the window's filter stands at 900).
  const test::ProcessResult cli = test::RunCli(
      {"--threshold", "900", "--unsharp", "8", "--deconvolve", "cittert", "--result-dir", "cli", "-q", "planet.avi"},
      dir.Path());
  ASSERT_EQ(cli.Code, 0) << cli.Err;
  EXPECT_EQ(Bytes(saved), Bytes(dir.File("cli/planet__1.bmp")));
}

TEST(MainWindow, ASharpnessRunOfTheBestFramesWithSubPixelShiftsSavesTheBatchToolsPng) {
  TempDir dir;
  ASSERT_TRUE(MakePlanetVideo(dir, 5));
  Program p;
  SaveInto(p, dir.File("window"));
  p.Preview({dir.File("planet.avi")});
  p.Click("LoadFramesLoadBitBtn");

  // The choices as a user makes them in the dialog.
  p.dialog.show();
  auto dialogClick = [&](SettingsTab tab, const char* name) {
    p.dialog.SelectTab(tab);
    auto* b = p.dialog.findChild<QAbstractButton*>(QString::fromLatin1(name));
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
  };
  dialogClick(SettingsTab::StackFrames, "StackFramesRateSharpnessRadioButton");
  dialogClick(SettingsTab::StackFrames, "StackFramesKeepBestCheckBox");
  auto* percent = p.dialog.findChild<QWidget*>("StackFramesKeepBestSpinEdit")->findChild<QLineEdit*>();
  percent->selectAll();
  QTest::keyClicks(percent, "25");
  dialogClick(SettingsTab::StackFrames, "StackFramesSubPixelCheckBox");
  dialogClick(SettingsTab::StackFrames, "StackFramesBilinearRadioButton");
  dialogClick(SettingsTab::EditSave, "SavePictureFormatGroupBox_2");

  p.Click("StackFramesGoBitBtn");
  // The frame memo gives the sharpness and the shift to a fraction of a sample;
  // the best 3 of the 12 frames pass the filter.
  const QStringList memo = p.Memo("FrameInfoMemo");
  EXPECT_TRUE(memo[2].contains(u'.') && memo[5].startsWith("Sharpness: ")) << memo.join(" | ").toStdString();
  EXPECT_EQ(memo[6], "QualityImages: 3");
  p.Click("PictureCalculateBitBtn");
  p.Click("PictureSaveBitBtn");
  const std::string saved = dir.File("window/planet__1.png");
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(Bytes(saved)[24], 16);  // the PNG's bit depth
  EXPECT_TRUE(p.prompts.Errors.empty());

  const test::ProcessResult cli =
      test::RunCli({"--rate", "sharpness", "--keep-best", "25", "--subpixel", "--interpolation", "bilinear",
                    "--threshold", "900", "-o", "cli.png", "-q", "planet.avi"},
                   dir.Path());
  ASSERT_EQ(cli.Code, 0) << cli.Err;
  EXPECT_EQ(Bytes(saved), Bytes(dir.File("cli.png")));
}

TEST(MainWindow, ASerVideoIsPreviewedAndLoadedInTheChosenByteOrder) {
  // 16-bit samples stored little-endian under a header that says big-endian,
  // as widespread capture programs write them; smooth ramps, frame i brighter by 50 i.
  TempDir dir;
  test::SerLayout layout;
  layout.Width = 64;
  layout.Height = 48;
  layout.Depth = 16;
  layout.LittleEndianFlag = 0;
  std::vector<std::vector<std::uint16_t>> frames(3);
  for (int i = 0; i < 3; ++i)
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) frames[i].push_back(static_cast<std::uint16_t>(1000 + 300 * x + 200 * y + 50 * i));
  test::WriteSer(dir.File("moon.ser"), layout, frames);

  Program p;
  p.Preview({dir.File("moon.ser")});
  EXPECT_EQ(p.State(), "PREVIEW");
  EXPECT_EQ(p.Memo("LoadFramesMemo")[0], " -- SER --");
  auto* pane = p.Find<PicturePane>("InputFrameImage");
  const Bitmap fromData = pane->Picture();
  // Forcing the order the header claims shows another picture; "Auto" the first one again.
  p.dialog.show();
  p.dialog.SelectTab(SettingsTab::PreviewFrames);
  for (const auto& [order, same] : {std::pair{"SERByteOrderRadioGroup_2", false}, {"SERByteOrderRadioGroup_0", true}}) {
    auto* radio = p.dialog.findChild<QAbstractButton*>(QString::fromLatin1(order));
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
    EXPECT_EQ(pane->Picture() == fromData, same) << order;
  }

  p.Click("LoadFramesLoadBitBtn");
  ASSERT_EQ(p.wb.Frames.Count(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(std::equal(frames[i].begin(), frames[i].end(), p.wb.Frames[i].Image.Data.get())) << i;
  EXPECT_TRUE(p.prompts.Errors.empty());
}

TEST(MainWindow, KeysStepFramesAndRateThemKeypadApartFromTheMainRow) {
  TempDir dir;
  Program p;
  p.Preview(Pictures(dir, {{0, 0}, {1, 0}, {2, 0}}, 64, 48));
  p.Click("LoadFramesLoadBitBtn");
  auto* nr = p.Find<QSpinBox>("FrameInfoNrSpinEdit");
  auto* quality = p.Find<QSpinBox>("FrameInfoQualitySpinEdit");
  ASSERT_EQ(nr->value(), 3);
  quality->setFocus();  // the window sees the keys before the focused control
  QTest::keyClick(quality, Qt::Key_PageUp);
  EXPECT_EQ(nr->value(), 3);
  QTest::keyClick(quality, Qt::Key_PageDown);
  EXPECT_EQ(nr->value(), 2);
  EXPECT_EQ(p.Find<QLabel>("InputFrameLabel")->text(), "Input frame [2of3]");
  QTest::keyClick(&p.form, Qt::Key_3, Qt::KeypadModifier);
  EXPECT_EQ(nr->value(), 1);
  QTest::keyClick(&p.form, Qt::Key_9);  // the main row's 9: nothing
  EXPECT_EQ(nr->value(), 1);
  QTest::keyClick(&p.form, Qt::Key_9, Qt::KeypadModifier);
  EXPECT_EQ(nr->value(), 2);

  QTest::keyClick(&p.form, Qt::Key_F3, Qt::ControlModifier);
  EXPECT_EQ(quality->value(), 600);
  QTest::keyClick(&p.form, Qt::Key_Plus, Qt::KeypadModifier);
  QTest::keyClick(&p.form, Qt::Key_Plus);  // main row: nothing
  QTest::keyClick(&p.form, Qt::Key_F3);    // without Ctrl: nothing
  EXPECT_EQ(quality->value(), 601);
  EXPECT_EQ(p.wb.Frames[1].Quality, 601);
  EXPECT_EQ(p.Memo("FrameInfoMemo")[6], "QualityImages: 2");
  QTest::keyClick(&p.form, Qt::Key_F5, Qt::ControlModifier);
  QTest::keyClick(&p.form, Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(p.wb.Frames[1].Quality, 999);
}

TEST(MainWindow, EscDuringALoadKeepsTheFramesRead) {
  TempDir dir;
  {
    AviWriter writer(dir.File("long.avi"), 64, 48, AviPixelFormat::Grey8);
    std::vector<std::uint8_t> frame(64 * 48);
    for (int i = 0; i < 40; ++i) {
      std::fill(frame.begin(), frame.end(), static_cast<std::uint8_t>(50 + i));
      writer.AddFrame(frame.data());
    }
    writer.Finish();
  }
  Program p;
  p.Preview({dir.File("long.avi")});
  // The user presses Esc while the fifth frame (number 4) is shown in the bar.
  QObject::connect(p.Find<QProgressBar>("InputFrameProgressBar"), &QProgressBar::valueChanged, &p.form, [&](int value) {
    if (value == 4) QTest::keyClick(&p.form, Qt::Key_Escape);
  });
  p.Click("LoadFramesLoadBitBtn");
  EXPECT_EQ(p.wb.Frames.Count(), 5);
  EXPECT_EQ(p.State(), "LOADED");
  EXPECT_EQ(p.Find<QLabel>("InputFrameLabel")->text(), "Input frame [5of5]");
  EXPECT_FALSE(p.wb.Svc.TakeAbort());  // the load took the request
}

TEST(MainWindow, AManualMarkDecidesWhichObjectIsAligned) {
  TempDir dir;
  Program p;
  // Left planet moves by (3, 2), right one by (-6, 0); 400 x 200 pictures.
  p.Preview(Pictures(dir, {{0, 0}, {3, 2}}, 400, 200, {{0, 0}, {-6, 0}}));
  p.Click("LoadFramesLoadBitBtn");
  p.wb.Config.SetStackFrames(&TStackFramesSettings::AreaSize, std::uint8_t{0});  // 96 x 72
  auto* pane = p.Find<PicturePane>("InputFrameImage");
  const Bitmap before = pane->Picture();
  // Stretched: the pane scales x by 400/320 and y by 200/240; (80, 120) is picture (100, 100).
  QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(80, 120));
  EXPECT_NE(pane->Picture(), before);  // the area shows inverted while dragging
  QTest::mouseMove(pane, QPoint(82, 120));
  QTest::mouseMove(pane, QPoint(80, 120));
  QTest::mouseRelease(pane, Qt::LeftButton, {}, QPoint(80, 120));
  EXPECT_EQ(pane->Picture(), before);  // released where the last move was: no highlight is left
  EXPECT_TRUE(p.wb.Mark.ManualMarkSet);
  EXPECT_EQ(p.wb.Mark.MarkX, 52);
  p.Click("StackFramesGoBitBtn");
  EXPECT_EQ(p.wb.Frames[1].Shift, (TPoint32{3, 2}));

  QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(240, 120));
  QTest::mouseMove(pane, QPoint(241, 120));
  QTest::mouseRelease(pane, Qt::LeftButton, {}, QPoint(240, 120));
  p.Click("StackFramesGoBitBtn");
  EXPECT_EQ(p.wb.Frames[1].Shift, (TPoint32{-6, 0}));

  // A new preview clears the mark: Go then compares the centre again.
  p.Preview({dir.File("f0.bmp"), dir.File("f1.bmp")});
  EXPECT_FALSE(p.wb.Mark.ManualMarkSet);
}

TEST(MainWindow, ALocalPSFIsPickedOnTheResultPaneAndSaved) {
  TempDir dir;
  Program p;
  p.Preview(Pictures(dir, {{0, 0}, {0, 0}}, 160, 120));
  p.Click("LoadFramesLoadBitBtn");
  p.Click("PictureCalculateBitBtn");
  auto* result = p.Find<PicturePane>("ResultPictureImage");
  auto* psf = p.Find<PicturePane>("LocalPSFImage");
  const Bitmap startPicture = psf->Picture();
  QTest::mouseMove(result, QPoint(150, 110));  // no button down: nothing
  EXPECT_EQ(psf->Picture(), startPicture);

  TConvKernel expected = p.wb.LocalPSF;
  const Bitmap expectedPicture = PickLocalPSF(expected, result->Picture(), 165, 125, true, 320, 240);
  QTest::mousePress(result, Qt::LeftButton, {}, QPoint(150, 110));
  QTest::mouseMove(result, QPoint(165, 125));
  QTest::mouseRelease(result, Qt::LeftButton, {}, QPoint(165, 125));
  EXPECT_EQ(p.wb.LocalPSF, expected);
  EXPECT_EQ(psf->Picture(), expectedPicture);
  EXPECT_EQ(psf->Picture().Width(), 17);

  p.prompts.Answers.push_back({QString::fromStdString(dir.File("spot"))});
  QTest::mouseDClick(psf, Qt::LeftButton);
  const FileRequest& save = p.prompts.Requests.back();
  EXPECT_EQ(save.Title, "Save a local PSF as bitmap");
  EXPECT_EQ(save.Filters, QStringList{"PSF (*.bmp)"});
  EXPECT_EQ(save.Folder.toStdString(), p.wb.Config.General.PSFDirectory);
  Bitmap written;
  ReadBmpFile(dir.File("spot.bmp"), written);
  EXPECT_EQ(written, expectedPicture);
}

TEST(MainWindow, SaveAsAndTheInvertingTableWithCancelledDialogs) {
  TempDir dir;
  Program p;
  p.Preview(Pictures(dir, {{0, 0}}, 64, 48));
  p.Click("LoadFramesLoadBitBtn");
  p.Click("PictureCalculateBitBtn");
  p.wb.Config.SetGeneral(&TGeneralSettings::SaveAsButton, true);
  auto* save = p.Find<QPushButton>("PictureSaveBitBtn");
  EXPECT_EQ(save->text(), "Save As");

  QTest::mouseClick(save, Qt::LeftButton);  // cancelled
  const FileRequest& asked = p.prompts.Requests.back();
  EXPECT_EQ(asked.Title, "Save result picture");
  EXPECT_EQ(asked.Filters, (QStringList{"Bitmaps (*.bmp)", FitsFilter, PngFilter, TiffFilter}));
  EXPECT_EQ(std::make_pair(asked.SelectedFilter, asked.DefaultSuffix),
            std::make_pair(QString("Bitmaps (*.bmp)"), QString("bmp")));
  EXPECT_EQ(asked.ProposedName, "f0__1");
  EXPECT_EQ(asked.Folder.toStdString(), p.wb.Config.General.ResultDirectory);
  EXPECT_EQ(test::FilesIn(dir.Path()), (std::vector<std::string>{"f0.bmp"}));
  p.prompts.Answers.push_back({QString::fromStdString(dir.File("mine"))});
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(p.prompts.Requests.back().ProposedName, "f0__2");  // the cancelled name is used up
  EXPECT_TRUE(fs::exists(dir.File("mine.bmp")));
  EXPECT_EQ(p.Find<QLabel>("ResultPictureLabel")->text(), "File name \"f0__2\"");
  // With the save format TIFF the dialog starts at TIFF; the file is of the kind its name says.
  p.wb.Config.SetEditSave(&TEditSaveSettings::SaveFormat, std::uint8_t{3});
  p.prompts.Answers.push_back({QString::fromStdString(dir.File("mine.png"))});
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(std::make_pair(p.prompts.Requests.back().SelectedFilter, p.prompts.Requests.back().DefaultSuffix),
            std::make_pair(TiffFilter, QString("tif")));
  EXPECT_EQ(Bytes(dir.File("mine.png")).substr(1, 3), "PNG");

  // A double click on the input pane makes the table inverting before its dialog, cancelled or not.
  QTest::mouseDClick(p.Find("InputFrameImage"), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(p.prompts.Requests.back().Title, "Save a look up table");
  EXPECT_EQ(p.prompts.Requests.back().DefaultSuffix, "lut");
  EXPECT_EQ((*p.wb.Render.LutTable)[0], 65535);
  EXPECT_EQ((*p.wb.Render.LutTable)[65535], 0);
  EXPECT_TRUE(p.prompts.Errors.empty());
}

TEST(MainWindow, ALutFileThatGoesMissingIsReportedOnTheStatusLineAndCanBeForgotten) {
  TempDir dir;
  Program p;
  p.Preview(Pictures(dir, {{0, 0}}, 64, 48));
  p.Click("LoadFramesLoadBitBtn");
  p.Click("PictureCalculateBitBtn");
  auto* result = p.Find<PicturePane>("ResultPictureImage");
  const Bitmap plain = result->Picture();
  // The inverting table written by a double click, then chosen in the dialog.
  const QString lut = QString::fromStdString(dir.File("negative.lut"));
  p.prompts.Answers = {{lut}, {lut}};
  QTest::mouseDClick(p.Find("InputFrameImage"), Qt::LeftButton, {}, QPoint(10, 10));
  p.dialog.show();
  auto dialogClick = [&](const char* name) {
    auto* b = p.dialog.findChild<QAbstractButton*>(QString::fromLatin1(name));
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
  };
  dialogClick("LUTButton");
  dialogClick("LUTCheckBox");
  EXPECT_NE(result->Picture(), plain);
  EXPECT_EQ(p.Memo("PictureMemo")[2], "LUT: negative.lut");

  // Gone: every change renders without it, with no error box.
  fs::remove(lut.toStdString());
  auto* bias = p.dialog.findChild<QWidget*>("BiasTrackBar");
  QTest::keyClick(bias, Qt::Key_PageUp);
  QTest::keyClick(bias, Qt::Key_PageDown);
  EXPECT_TRUE(p.prompts.Errors.empty());
  EXPECT_EQ(result->Picture(), plain);
  EXPECT_TRUE(p.Find<QLabel>("StatusBarPanel2")->text().contains("without its LUT"));
  // "No LUT" forgets it.
  dialogClick("LUTClearButton");
  EXPECT_FALSE(p.dialog.findChild<QCheckBox*>("LUTCheckBox")->isChecked());
  EXPECT_FALSE(p.dialog.findChild<QWidget*>("LUTClearButton")->isEnabled());
  EXPECT_EQ(p.Memo("PictureMemo")[2], "No LUT");
}

TEST(MainWindow, AnUnreadableFileGivesTheErrorBoxAndTheWindowGoesOn) {
  TempDir dir;
  {
    std::ofstream bad(dir.File("broken.bmp"), std::ios::binary);
    bad << "BM this is not a picture";
  }
  Program p;
  p.Preview({dir.File("broken.bmp")});
  ASSERT_EQ(p.prompts.Errors.size(), 1u);
  EXPECT_TRUE(p.prompts.Errors[0].contains("broken.bmp")) << p.prompts.Errors[0].toStdString();
  EXPECT_EQ(p.State(), "IDLE");
  EXPECT_EQ(p.Enabled(), Names{"LoadFramesChooseBitBtn"});
  EXPECT_TRUE(p.form.isVisible());

  p.Preview(Pictures(dir, {{0, 0}}, 64, 48));
  EXPECT_EQ(p.State(), "PREVIEW");
  p.Click("LoadFramesLoadBitBtn");
  EXPECT_EQ(p.wb.Frames.Count(), 1);
  // A cancelled open dialog changes nothing.
  p.Click("LoadFramesChooseBitBtn");
  EXPECT_EQ(p.State(), "LOADED");
}

TEST(MainWindow, TheCombinePanelFollowsTheMethod) {
  TempDir dir;
  Program p;
  p.Preview(Pictures(dir, {{0, 0}, {0, 0}, {0, 0}}, 64, 48));
  p.Click("LoadFramesLoadBitBtn");
  auto* spin1 = p.Find<QSpinBox>("CombineFramesSpinEdit1");
  auto* spin2 = p.Find<QSpinBox>("CombineFramesSpinEdit2");
  p.Click("CombineFramesMethodRadioGroupMultiply");
  EXPECT_EQ(p.Find<QLabel>("CombineFramesLabel1")->text(), "Frame 2:");
  EXPECT_TRUE(spin1->isVisible() && spin1->isEnabled());
  EXPECT_EQ(spin1->maximum(), 3);
  EXPECT_EQ(spin2->value(), 100);
  spin2->setValue(50);
  EXPECT_EQ(p.wb.CombinePanelState.Spin2.Value, 50);
  p.Click("CombineFramesMethodRadioGroupAdd");
  EXPECT_EQ(p.Memo("CombineFramesMemo")[0], "------------ Add -------------");
  p.Click("CombineFramesMethodRadioGroupMultiply");
  EXPECT_EQ(spin2->value(), 100);  // choosing a method applies its values again
  p.Click("CombineFramesMethodRadioGroupMedian");
  EXPECT_FALSE(spin1->isVisible() || spin2->isVisible());
  EXPECT_TRUE(p.Find<QLabel>("CombineFramesLabel2")->text().isEmpty());
  EXPECT_EQ(p.wb.CombineMethod, CombineMedian);

  // Whole image off: the picture at its own size, centred.
  p.Tick("InputFrameWholeImageCheckBox");
  EXPECT_EQ(p.Find<PicturePane>("InputFrameImage")->PictureRect(), QRect(128, 96, 64, 48));
}

}  // namespace
}  // namespace corvane::gui
