// The main window through its real widgets on the offscreen platform: the
// start-up state, a whole run against the batch tool's picture, the keys, Esc
// during a load, the mouse on the panes, the save dialogs and the error box.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/version.h"
#include "cli/cli_process.h"
#include "enhance/local_psf.h"
#include "gui/dialog_form.h"
#include "gui/picture_pane.h"
#include "io/avi_writer.h"
#include "io/picture_files.h"
#include "output/bitmap_ops.h"
#include "support/test_support.h"

namespace corvane::gui {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

/// Answers the window's dialogs in the user's place and remembers what was asked.
class ScriptedDialogs final : public WindowDialogs {
 public:
  std::vector<FileDialogRequest> Requests;
  std::deque<QStringList> Answers;  ///< one per dialog; none left: cancel
  std::vector<QString> Errors;

  QStringList OpenFiles(QWidget*, const FileDialogRequest& request) override { return Next(request); }
  QString SaveFile(QWidget*, const FileDialogRequest& request) override {
    const QStringList answer = Next(request);
    return answer.isEmpty() ? QString() : answer.front();
  }
  void ShowError(QWidget*, const QString& message) override { Errors.push_back(message); }

 private:
  QStringList Next(const FileDialogRequest& request) {
    Requests.push_back(request);
    if (Answers.empty()) return {};
    QStringList a = Answers.front();
    Answers.pop_front();
    return a;
  }
};

/// The settings file and the default folders in a folder of the test's own.
struct Home {
  TempDir Dir;
  Home() {
    ::setenv("XDG_CONFIG_HOME", Dir.File("config").c_str(), 1);
    SetProgramDirectoryOverride(Dir.File("Corvane2"));
  }
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
  ScriptedDialogs dialogs;
  TMainForm form{wb, &dialogs};
  TDialogForm dialog{wb, &form};

  Program() {
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
    dialogs.Answers.push_back(list);
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
  EXPECT_TRUE(p.Find("PictureCalculateBitBtn")->toolTip().isEmpty());
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

TEST(MainWindow, AWholeRunSavesThePictureTheBatchToolSaves) {
  TempDir dir;
  ASSERT_EQ(test::RunProcess(test::MakeSampleBinary(),
                             {"-W", "160", "-H", "120", "-n", "12", "--seed", "7", "-o", "planet.avi"}, dir.Path())
                .Code,
            0);
  Program p;
  p.wb.Config.SetGeneral(&TGeneralSettings::ResultDirectory, dir.File("window") + "/");
  fs::create_directories(dir.File("window"));

  p.Preview({dir.File("planet.avi")});
  const FileDialogRequest& open = p.dialogs.Requests.back();
  EXPECT_EQ(open.Title, "Choose which frames to load");
  EXPECT_EQ(open.Filters, (QStringList{"All (*.avi *.jpg *.jpeg *.bmp)", "JPEG Image File (*.jpg)",
                                       "JPEG Image File (*.jpeg)", "Bitmaps (*.bmp)", "AVI (*.avi)"}));
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
  p.Click("PictureSaveBitBtn");
  const std::string saved = dir.File("window/planet__1.bmp");
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(p.Find<QLabel>("ResultPictureLabel")->text(), "File name \"planet__1\"");
  EXPECT_TRUE(p.dialogs.Errors.empty());

  // The batch tool with the same settings (the window's filter stands at 900).
  const test::ProcessResult cli = test::RunCli(
      {"--threshold", "900", "--unsharp", "8", "--deconvolve", "cittert", "--result-dir", "cli", "-q", "planet.avi"},
      dir.Path());
  ASSERT_EQ(cli.Code, 0) << cli.Err;
  EXPECT_EQ(Bytes(saved), Bytes(dir.File("cli/planet__1.bmp")));
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

  p.dialogs.Answers.push_back({QString::fromStdString(dir.File("spot"))});
  QTest::mouseDClick(psf, Qt::LeftButton);
  const FileDialogRequest& save = p.dialogs.Requests.back();
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
  const FileDialogRequest& asked = p.dialogs.Requests.back();
  EXPECT_EQ(asked.Title, "Save result picture");
  EXPECT_EQ(asked.Filters, QStringList{"Bitmaps (*.bmp)"});
  EXPECT_EQ(asked.ProposedName, "f0__1");
  EXPECT_EQ(asked.Folder.toStdString(), p.wb.Config.General.ResultDirectory);
  EXPECT_EQ(test::FilesIn(dir.Path()), (std::vector<std::string>{"f0.bmp"}));
  p.dialogs.Answers.push_back({QString::fromStdString(dir.File("mine"))});
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(p.dialogs.Requests.back().ProposedName, "f0__2");  // the cancelled name is used up
  EXPECT_TRUE(fs::exists(dir.File("mine.bmp")));
  EXPECT_EQ(p.Find<QLabel>("ResultPictureLabel")->text(), "File name \"f0__2\"");

  // A double click on the input pane makes the table inverting before its dialog, cancelled or not.
  QTest::mouseDClick(p.Find("InputFrameImage"), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(p.dialogs.Requests.back().Title, "Save a look up table");
  EXPECT_EQ(p.dialogs.Requests.back().DefaultSuffix, "lut");
  EXPECT_EQ((*p.wb.Render.LutTable)[0], 65535);
  EXPECT_EQ((*p.wb.Render.LutTable)[65535], 0);
  EXPECT_TRUE(p.dialogs.Errors.empty());
}

TEST(MainWindow, AnUnreadableFileGivesTheErrorBoxAndTheWindowGoesOn) {
  TempDir dir;
  {
    std::ofstream bad(dir.File("broken.bmp"), std::ios::binary);
    bad << "BM this is not a picture";
  }
  Program p;
  p.Preview({dir.File("broken.bmp")});
  ASSERT_EQ(p.dialogs.Errors.size(), 1u);
  EXPECT_TRUE(p.dialogs.Errors[0].contains("broken.bmp")) << p.dialogs.Errors[0].toStdString();
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
