// The settings dialog's "Preview frames" tab: which frames of a video, which
// channel, the byte order of SER videos, what to cut out and how large, the
// corrections and the brightness of the frames. Every change re-runs the
// loader's listener, so the panes show the effect while the dialog stays open.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "gui/dialog_form.h"
#include "gui/spin_edit.h"

namespace corvane::gui {

namespace {

int Percent(double fraction) { return static_cast<int>(std::lround(fraction * 100.0)); }

ValueOrigin OriginOf(bool typed) { return typed ? ValueOrigin::Typed : ValueOrigin::Program; }

}  // namespace

QWidget* TDialogForm::BuildPreviewFramesTab() {
  auto* page = new QWidget;
  page->setObjectName("PreviewFramesTabSheet");
  TLoadFramesSettings& lf = m_cfg.LoadFrames;
  auto loadFlag = [this, &lf](const char* name, const char* caption, const char* hint, bool TLoadFramesSettings::*f) {
    return Check(
        name, caption, hint, [&lf, f] { return lf.*f; }, [this, f](bool on) { m_cfg.SetLoadFrames(f, on); });
  };

  // " AVI frames "
  auto* avi = new QGroupBox(" AVI frames ");
  avi->setObjectName("AVIFramesGroupBox");
  TSpinEdit* start = Spin(
      "AVIstartSpinEdit", "AVI start", nullptr, AVIFrameRange, true, [&lf] { return lf.AVIStart; },
      [this](int v, bool) { m_cfg.SetAVIStart(v); });
  TSpinEdit* end = Spin(
      "AVIendSpinEdit", "AVI end", "End frame", AVIFrameRange, true, [&lf] { return lf.AVIEnd; },
      [this](int v, bool) { m_cfg.SetAVIEnd(v); });
  Follow([this, start, end, &lf] {
    start->SetRange(AVIFrameRange.Min, m_cfg.AVIStartMaximum);
    end->SetRange(lf.AVIStart, m_cfg.AVIEndMaximum);
  });
  TSpinEdit* skip = Spin(
      "AVISkipFramesSpinEdit", "Skip every", nullptr, SkipFramesRange, false, [&lf] { return lf.AVISkipFrames; },
      [this](int v, bool) { m_cfg.SetAVISkipFrames(v); });
  auto* aviLayout = new QGridLayout(avi);
  auto* range = new QHBoxLayout;
  range->addWidget(start);
  range->addWidget(new QLabel("-"));
  range->addWidget(end);
  range->addStretch();
  aviLayout->addLayout(range, 0, 0, 1, 3);
  auto* skipLabel = new QLabel("Skip every");
  skipLabel->setBuddy(skip);
  aviLayout->addWidget(skipLabel, 1, 0);
  aviLayout->addWidget(skip, 1, 1);
  aviLayout->addWidget(new QLabel("frames"), 1, 2);
  aviLayout->addWidget(loadFlag("AVIsemiframesCheckBox", "Semi frames", nullptr, &TLoadFramesSettings::AVISemiFrames),
                       2, 0, 1, 3);
  aviLayout->addWidget(loadFlag("AVIcorrectionCheckBox", "Correction", "Correction of shifted 8 bit AVI videos",
                                &TLoadFramesSettings::AVICorrection),
                       3, 0, 1, 3);
  aviLayout->setColumnStretch(2, 1);

  // "Channel" and " When loading "
  QGroupBox* channel = RadioGroup(
      "LoadFramesChannelRadioGroup", "Channel", "Which channel of 24 bit frames to use", {"L", "R", "G", "B"},
      [&lf] { return lf.Channel <= 3 ? int{lf.Channel} : 0; }, [this](int i) { m_cfg.SetLoadFramesChannel(i); }, false);
  QGroupBox* when = RadioGroup(
      "LoadFramesWhenRadioGroup", " When loading ", nullptr, {"Replace ", "Add "}, [&lf] { return int{lf.LoadWhen}; },
      [this](int i) { m_cfg.SetLoadFrames(&TLoadFramesSettings::LoadWhen, static_cast<std::uint8_t>(i)); }, false);

  // " SER byte order ": 16-bit SER samples, whose header flag is often wrong.
  QGroupBox* serOrder = RadioGroup(
      "SERByteOrderRadioGroup", " SER byte order ",
      "Byte order of 16-bit SER videos. Auto reads the first frame both ways and takes the plainly right reading "
      "(the smooth one, or the one within the bits per sample); when neither is plain, the file's header decides",
      {"Auto", "Little-endian", "Big-endian"}, [&lf] { return lf.SERByteOrder <= 2 ? int{lf.SERByteOrder} : 0; },
      [this](int i) { m_cfg.SetLoadFrames(&TLoadFramesSettings::SERByteOrder, static_cast<std::uint8_t>(i)); }, false);

  // " What to load "
  auto* what = new QGroupBox(" What to load ");
  what->setObjectName("LoadWhatGroupBox");
  auto chooseWhat = [this](std::uint8_t v) {
    return [this, v] { m_cfg.SetLoadFrames(&TLoadFramesSettings::LoadWhat, v); };
  };
  QRadioButton* whole = Radio(
      "LoadWholeImageRadioButton", "Whole Image", [&lf] { return lf.LoadWhat == 0; }, chooseWhat(0));
  QRadioButton* single = Radio(
      "LoadSingleObjectRadioButton", "Single object", [&lf] { return lf.LoadWhat == 1; }, chooseWhat(1));
  TSpinEdit* background = Spin(
      "BackGroundSpinEdit", "Background", "Increase when object is not properly centered in the result window",
      PercentRange, false, [&lf] { return Percent(lf.Background); },
      [this](int v, bool) { m_cfg.SetBackgroundPercent(v); });
  auto* backgroundLabel = new QLabel("Background");
  backgroundLabel->setBuddy(background);
  auto* percentLabel = new QLabel("%");
  for (QWidget* w :
       {static_cast<QWidget*>(background), static_cast<QWidget*>(backgroundLabel), static_cast<QWidget*>(percentLabel)})
    EnableWhen(w, [this] { return m_cfg.BackgroundEnabled(); });
  TSpinEdit* resize = Spin(
      "ResizeSpinEdit", "Resize", nullptr, ResizeRange, false, [&lf] { return lf.Resize; },
      [this](int v, bool) { m_cfg.SetResize(v); });
  auto* resizeLabel = new QLabel("Resize:");
  resizeLabel->setBuddy(resize);
  auto* whatLayout = new QGridLayout(what);
  whatLayout->addWidget(whole, 0, 0, 1, 3);
  whatLayout->addWidget(single, 1, 0, 1, 3);
  whatLayout->addWidget(backgroundLabel, 2, 0);
  whatLayout->addWidget(background, 2, 1);
  whatLayout->addWidget(percentLabel, 2, 2);
  whatLayout->addWidget(resizeLabel, 3, 0);
  whatLayout->addWidget(resize, 3, 1);
  whatLayout->addWidget(new QLabel("x"), 3, 2);
  whatLayout->setColumnStretch(2, 1);

  // " Output size "
  auto* size = new QGroupBox(" Output size ");
  size->setObjectName("OutputSizeGroupBox");
  auto chooseSize = [this](int mode) { return [this, mode] { m_cfg.SetSizeMode(mode); }; };
  QRadioButton* asInput = Radio(
      "SizeAsInputRadioButton", "Same as input", [&lf] { return lf.SizeMode == 0; }, chooseSize(0));
  QRadioButton* inputResize = Radio(
      "SizeInputResizeRadioButton", "Input x Resize", [&lf] { return lf.SizeMode == 1; }, chooseSize(1));
  QRadioButton* user = Radio(
      "SizeUserRadioButton", "User", [&lf] { return lf.SizeMode == 2; }, chooseSize(2));
  TSpinEdit* width = Spin(
      "WidthSpinEdit", "Width", nullptr, OutputWidthRange, true, [&lf] { return lf.OutputWidth; },
      [this](int v, bool typed) { m_cfg.SetOutputWidth(v, OriginOf(typed)); });
  TSpinEdit* height = Spin(
      "HeightSpinEdit", "Height", nullptr, OutputHeightRange, true, [&lf] { return lf.OutputHeight; },
      [this](int v, bool typed) { m_cfg.SetOutputHeight(v, OriginOf(typed)); });
  auto* widthLabel = new QLabel("Width:");
  widthLabel->setBuddy(width);
  auto* heightLabel = new QLabel("Height:");
  heightLabel->setBuddy(height);
  for (QWidget* w : {static_cast<QWidget*>(width), static_cast<QWidget*>(height), static_cast<QWidget*>(widthLabel),
                     static_cast<QWidget*>(heightLabel)})
    EnableWhen(w, [this] { return m_cfg.OutputSizeEnabled(); });
  auto* sizeLayout = new QGridLayout(size);
  sizeLayout->addWidget(asInput, 0, 0, 1, 2);
  sizeLayout->addWidget(inputResize, 1, 0, 1, 2);
  sizeLayout->addWidget(user, 2, 0, 1, 2);
  sizeLayout->addWidget(widthLabel, 3, 0);
  sizeLayout->addWidget(width, 3, 1);
  sizeLayout->addWidget(heightLabel, 4, 0);
  sizeLayout->addWidget(height, 4, 1);
  sizeLayout->setColumnStretch(2, 1);

  // " Corrections "
  auto* corrections = new QGroupBox(" Corrections ");
  corrections->setObjectName("CorrectionsGroupBox");
  auto* correctionsLayout = new QGridLayout(corrections);
  correctionsLayout->addWidget(loadFlag("DarkFrameCheckBox", "DarkFrame", nullptr, &TLoadFramesSettings::DarkFrame), 0,
                               0);
  correctionsLayout->addWidget(
      Button("DarkFrameButton", "Load DarkFrame", nullptr, [this] { PickCorrectionPicture(true); }), 0, 1);
  correctionsLayout->addWidget(loadFlag("FlatFieldCheckBox", "FlatField", nullptr, &TLoadFramesSettings::FlatField), 1,
                               0);
  correctionsLayout->addWidget(
      Button("FlatFieldButton", "Load FlatField", nullptr, [this] { PickCorrectionPicture(false); }), 1, 1);

  // " Processing "
  auto* processing = new QGroupBox(" Processing ");
  processing->setObjectName("ProcessingGroupBox");
  TSpinEdit* bias = Spin(
      "FrameBiasSpinEdit", "Frame brightness", "Change brightness (50% = No change)", PercentRange, false,
      [&lf] { return Percent(lf.FrameBias); }, [this](int v, bool) { m_cfg.SetFrameBiasPercent(v); });
  TSpinEdit* gain = Spin(
      "FrameGainSpinEdit", "Frame contrast", "Change contrast (50% = No change)", PercentRange, false,
      [&lf] { return Percent(lf.FrameGain); }, [this](int v, bool) { m_cfg.SetFrameGainPercent(v); });
  auto* processingLayout = new QGridLayout(processing);
  processingLayout->addWidget(
      loadFlag("MedianCheckBox", "Median noise filter", "Remove spurious noise", &TLoadFramesSettings::Median), 0, 0, 1,
      4);
  auto* biasGainLabel = new QLabel("Brightness / Contrast :");
  biasGainLabel->setBuddy(bias);
  processingLayout->addWidget(biasGainLabel, 1, 0, 1, 4);
  processingLayout->addWidget(bias, 2, 0);
  processingLayout->addWidget(gain, 2, 1);
  processingLayout->addWidget(
      Button("LFBiasGainDefaultButton", "Default", "Set brightness and contrast to normal (50%)",
             [this] { m_cfg.LFBiasGainDefault(); }),
      2, 2);
  processingLayout->setColumnStretch(3, 1);

  auto* left = new QVBoxLayout;
  left->addWidget(avi);
  left->addWidget(channel);
  left->addWidget(when);
  left->addWidget(serOrder);
  left->addWidget(corrections);
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addWidget(what);
  right->addWidget(size);
  right->addWidget(processing);
  right->addStretch();
  auto* layout = new QHBoxLayout(page);
  layout->addLayout(left);
  layout->addLayout(right);
  return page;
}

}  // namespace corvane::gui
