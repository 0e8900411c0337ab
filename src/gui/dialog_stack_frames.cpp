// The settings dialog's "Stack frames" tab: the steps of the alignment
// search, the basis, the compare area, the groups kept for the record but
// always disabled (method, zoom, invert, rotate, resize), and the rating and
// refinement choices, all off by default.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>
#include <initializer_list>

#include "gui/dialog_form.h"
#include "gui/spin_edit.h"

namespace corvane::gui {

QWidget* TDialogForm::BuildStackFramesTab() {
  auto* page = new QWidget;
  page->setObjectName("StackFramesTabSheet");
  TStackFramesSettings& sf = m_cfg.StackFrames;

  // " Stack using : " keeps the boxes' ticks while "Last calculations"
  // disables them, so unticking it brings the earlier choice back.
  auto* usingGroup = new QGroupBox(" Stack using : ");
  usingGroup->setObjectName("StackFramesUsingGroupBox");
  auto* usingLayout = new QVBoxLayout(usingGroup);
  struct UsingBox {
    const char* Name;
    const char* Caption;
    std::uint8_t Bit;
  };
  static const UsingBox kUsing[] = {
      {"StackFramesUsingMoveCheckBox", "Move", StackUsing::Move},
      {"StackFramesUsingRotateCheckBox", "Rotate", StackUsing::Rotate},
      {"StackFramesUsingResizeCheckBox", "Resize", StackUsing::Resize},
      {"StackFramesUsingCenterCheckBox", "Center", StackUsing::Center},
      {"StackFramesUsingMinCheckBox", "Min", StackUsing::Min},
      {"StackFramesUsingMaxCheckBox", "Max", StackUsing::Max},
      {"StackFramesUsingLastCheckBox", "Last calculations", StackUsing::Last},
  };
  for (const UsingBox& u : kUsing) {
    const std::uint8_t bit = u.Bit;
    QCheckBox* box = Check(
        u.Name, u.Caption, nullptr, [this, bit] { return m_cfg.StackUsingTicked(bit); },
        [this, bit](bool on) { m_cfg.SetStackUsingBox(bit, on); });
    EnableWhen(box, [this, bit] { return StackUsingBoxEnabled(m_cfg.StackUsingTicks, bit); });
    usingLayout->addWidget(box);
  }
  usingLayout->addStretch();

  auto* misc = new QGroupBox(" Miscellaneous : ");
  misc->setObjectName("StackFramesMiscGroupBox");
  auto* miscLayout = new QVBoxLayout(misc);
  auto flag = [this, &sf](const char* name, const char* caption, bool TStackFramesSettings::*f) {
    return Check(
        name, caption, nullptr, [&sf, f] { return sf.*f; }, [this, f](bool on) { m_cfg.SetStackFrames(f, on); });
  };
  QCheckBox* invert = flag("StackFramesMiscInvertCheckBox", "Invert", &TStackFramesSettings::Invert);
  invert->setEnabled(false);
  miscLayout->addWidget(invert);
  miscLayout->addWidget(
      flag("StackFramesMiscSetQualityCheckBox", "Automatically set quality", &TStackFramesSettings::SetQuality));
  miscLayout->addWidget(
      flag("StackFramesMiscShowCheckBox", "Show stacking process", &TStackFramesSettings::ShowProcess));
  miscLayout->addStretch();

  auto choice = [this, &sf](std::uint8_t TStackFramesSettings::*f) {
    return std::make_pair([&sf, f] { return int{sf.*f}; },
                          [this, f](int i) { m_cfg.SetStackFrames(f, static_cast<std::uint8_t>(i)); });
  };
  auto [basisGet, basisSet] = choice(&TStackFramesSettings::Basis);
  QGroupBox* basis = RadioGroup("StackFramesBasisRadioGroup", " Use as basis : ", nullptr,
                                {"Result", "1st frame", "Users choice"}, basisGet, basisSet);
  QGroupBox* method = RadioGroup(
      "StackFramesMethodRadioGroup", " Method : ", nullptr, {"Automatic", "Manual"},
      [&sf] { return sf.Automatic ? 0 : 1; },
      [this](int i) { m_cfg.SetStackFrames(&TStackFramesSettings::Automatic, i == 0); });
  method->setEnabled(false);
  auto [areaGet, areaSet] = choice(&TStackFramesSettings::AreaSize);
  QGroupBox* area = RadioGroup("StackFramesSizeRadioGroup", " Area size : ", nullptr,
                               {" 96  x   72", "192 x 144", "384 x 288"}, areaGet, areaSet);
  auto [zoomGet, zoomSet] = choice(&TStackFramesSettings::Zoom);
  QGroupBox* zoom =
      RadioGroup("StackFramesZoomRadioGroup", " Zoom : ", nullptr, {"Actual size", "x2", "x4"}, zoomGet, zoomSet);
  zoom->setEnabled(false);

  auto* layout = new QGridLayout(page);
  layout->addWidget(usingGroup, 0, 0, 2, 1);
  layout->addWidget(misc, 0, 1);
  layout->addWidget(basis, 1, 1);
  layout->addWidget(method, 0, 2);
  layout->addWidget(area, 1, 2);
  layout->addWidget(zoom, 2, 2);
  layout->addWidget(BuildRatingGroup(), 2, 0, 1, 2);
  layout->setRowStretch(3, 1);
  return page;
}

QGroupBox* TDialogForm::BuildRatingGroup() {
  TStackFramesSettings& sf = m_cfg.StackFrames;
  auto* group = new QGroupBox(" Rating and refinement : ");
  group->setObjectName("StackFramesRatingGroupBox");
  auto* layout = new QGridLayout(group);
  // A row of radio buttons of their own (they exclude only each other), with
  // the hint on each.
  auto choices = [this](std::initializer_list<QRadioButton*> radios, const char* hint) {
    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    for (QRadioButton* radio : radios) {
      radio->setToolTip(QString::fromUtf8(hint));
      radio->setAccessibleDescription(QString::fromUtf8(hint));
      rowLayout->addWidget(radio);
    }
    rowLayout->addStretch();
    return row;
  };
  auto flag = [this, &sf](const char* name, const char* caption, const char* hint, bool TStackFramesSettings::*f) {
    return Check(
        name, caption, hint, [&sf, f] { return sf.*f; }, [this, f](bool on) { m_cfg.SetStackFrames(f, on); });
  };

  // "Rate by :" what "Automatically set quality" measures.
  auto rating = [this, &sf](const char* name, const char* caption, std::uint8_t value) {
    return Radio(
        name, caption, [&sf, value] { return sf.Rating == value; },
        [this, value] { m_cfg.SetStackFrames(&TStackFramesSettings::Rating, value); });
  };
  QWidget* rateBy = choices({rating("StackFramesRateIndexRadioButton", "Quality index", FrameRating::QualityIndex),
                             rating("StackFramesRateSharpnessRadioButton", "Sharpness", FrameRating::Sharpness)},
                            "What \"Automatically set quality\" rates each frame by: its likeness to the basis "
                            "(quality index), or its sharpness in the compare area (1000 for the sharpest frame)");
  auto* rateByLabel = new QLabel("Rate by :");
  rateByLabel->setBuddy(rateBy);
  for (QWidget* w : {static_cast<QWidget*>(rateBy), static_cast<QWidget*>(rateByLabel)})
    EnableWhen(w, [this] { return m_cfg.RatingEnabled(); });
  layout->addWidget(rateByLabel, 0, 0);
  layout->addWidget(rateBy, 0, 1, 1, 3);

  // "Keep the best" N %: the box remembers its percent while unticked.
  const char* keepHint =
      "After Go!, the best frames by their rating get quality 1000 and the others 0, so that only they are combined";
  QCheckBox* keep = Check(
      "StackFramesKeepBestCheckBox", "Keep the best", keepHint, [&sf] { return sf.KeepBest > 0; },
      [this](bool on) { m_cfg.SetKeepBest(on); });
  TSpinEdit* percent = Spin(
      "StackFramesKeepBestSpinEdit", "Keep the best percent", keepHint, KeepBestRange, true,
      [this] { return m_cfg.KeepBestShown(); }, [this](int v, bool) { m_cfg.SetKeepBestPercent(v); });
  auto* percentLabel = new QLabel("% of the frames");
  percentLabel->setBuddy(percent);
  for (QWidget* w : {static_cast<QWidget*>(percent), static_cast<QWidget*>(percentLabel)})
    EnableWhen(w, [this] { return m_cfg.KeepBestPercentEnabled(); });
  layout->addWidget(keep, 1, 0);
  layout->addWidget(percent, 1, 1);
  layout->addWidget(percentLabel, 1, 2, 1, 2);

  layout->addWidget(flag("StackFramesNormaliseCheckBox", "Normalise brightness",
                         "Compare the areas after taking out their mean brightness and contrast, so that frames of "
                         "another exposure align too",
                         &TStackFramesSettings::NormaliseBrightness),
                    2, 0, 1, 4);
  QCheckBox* coarse = flag("StackFramesCoarseCheckBox", "Coarse whole-frame alignment",
                           "Find each frame's offset over the whole frame first, then refine it with Move: for an "
                           "object that drifts further than the search reaches",
                           &TStackFramesSettings::CoarseAlign);
  EnableWhen(coarse, [this] { return m_cfg.CoarseAlignEnabled(); });
  layout->addWidget(coarse, 3, 0, 1, 4);

  // "Sub-pixel shifts", placed by bilinear or bicubic interpolation.
  QCheckBox* subPixel = flag("StackFramesSubPixelCheckBox", "Sub-pixel shifts",
                             "Refine each shift to fractions of a sample and place the frames by interpolation when "
                             "they are combined",
                             &TStackFramesSettings::SubPixel);
  auto interpolation = [this, &sf](const char* name, const char* caption, std::uint8_t value) {
    return Radio(
        name, caption, [&sf, value] { return sf.Interpolation == value; },
        [this, value] { m_cfg.SetStackFrames(&TStackFramesSettings::Interpolation, value); });
  };
  QWidget* placing =
      choices({interpolation("StackFramesBilinearRadioButton", "Bilinear", FrameInterpolation::Bilinear),
               interpolation("StackFramesBicubicRadioButton", "Bicubic", FrameInterpolation::Bicubic)},
              "How frames are placed at shifts between samples: bicubic keeps more detail, bilinear smooths a little");
  EnableWhen(placing, [this] { return m_cfg.InterpolationEnabled(); });
  layout->addWidget(subPixel, 4, 0);
  layout->addWidget(placing, 4, 1, 1, 3);
  layout->setColumnStretch(3, 1);
  return group;
}

}  // namespace corvane::gui
