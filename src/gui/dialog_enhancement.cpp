// The settings dialog's "Enhancement" tab: strength and iterations of the
// sharpening, the PSF each one uses (the local PSF or a picture), and the
// deconvolution method. The controls for single frames and the histogram
// group exist with their settings but stay hidden and disabled.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "enhance/psf_picture.h"
#include "gui/dialog_form.h"
#include "gui/spin_edit.h"

namespace corvane::gui {

namespace {

/// A PSF picture as the label beside its button shows it, twice its size.
QPixmap PsfPixmap(const Bitmap& picture) {
  Bitmap rgb = picture;
  rgb.ConvertTo24();
  const QImage image(rgb.Bits(), rgb.Width(), rgb.Height(), static_cast<qsizetype>(rgb.RowBytes()),
                     QImage::Format_BGR888);
  return QPixmap::fromImage(image.scaled(2 * rgb.Width(), 2 * rgb.Height()));
}

void Hide(std::initializer_list<QWidget*> widgets) {
  for (QWidget* w : widgets) {
    w->setEnabled(false);
    w->setVisible(false);
  }
}

}  // namespace

QWidget* TDialogForm::BuildEnhancementTab() {
  auto* page = new QWidget;
  page->setObjectName("EnhancementTabSheet");
  TEnhanceSettings& en = m_cfg.Enhance;
  auto number = [this, &en](std::int32_t TEnhanceSettings::*f) {
    return std::make_pair([&en, f] { return en.*f; }, [this, f](int v, bool) { m_cfg.SetEnhance(f, v); });
  };
  auto flag = [this, &en](const char* name, const char* caption, bool TEnhanceSettings::*f) {
    return Check(
        name, caption, nullptr, [&en, f] { return en.*f; }, [this, f](bool on) { m_cfg.SetEnhance(f, on); });
  };
  auto psfImage = [this, &en](const char* name, const char* accessibleName, Bitmap TEnhanceSettings::*f) {
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setAccessibleName(accessibleName);
    label->setFixedSize(2 * PsfPictureMaxWidth + 2, 2 * PsfPictureMaxHeight + 2);
    label->setFrameShape(QFrame::Box);
    label->setAlignment(Qt::AlignCenter);
    Follow([label, &en, f] {
      const Bitmap& picture = en.*f;
      if (PsfPictureFits(picture))
        label->setPixmap(PsfPixmap(picture));
      else
        label->clear();
    });
    return label;
  };
  auto psfButton = [this](const char* name, PsfButton button) {
    return Button(name, "PSF", nullptr, [this, button] { PickPsfPicture(static_cast<int>(button)); });
  };

  // " Unsharp Masking "
  auto* uma = new QGroupBox(" Unsharp Masking ");
  uma->setObjectName("UnsharpMaskingGroupBox");
  auto [umaGet, umaSet] = number(&TEnhanceSettings::UMAPost);
  TSpinEdit* umaPost = Spin("UMApostSpinEdit", "Strength", nullptr, UMAStrengthRange, true, umaGet, umaSet);
  auto* umaLabel = new QLabel("Strength:");
  umaLabel->setBuddy(umaPost);
  auto* umaLayout = new QGridLayout(uma);
  umaLayout->addWidget(umaLabel, 0, 0);
  umaLayout->addWidget(umaPost, 0, 1);
  umaLayout->addWidget(psfButton("UMApostPSFButton", PsfButton::UnsharpMaskPicture), 0, 2);
  umaLayout->addWidget(psfImage("UMApostPSFImage", "Unsharp masking PSF", &TEnhanceSettings::UMAPostPSF), 0, 3);
  umaLayout->addWidget(flag("UMApostPSFCheckBox", "Local PSF", &TEnhanceSettings::UMAPostLocalPSF), 0, 4);
  auto [umaPreGet, umaPreSet] = number(&TEnhanceSettings::UMAPre);
  TSpinEdit* umaPre =
      Spin("UMApreSpinEdit", "Strength for frames", nullptr, UMAStrengthRange, true, umaPreGet, umaPreSet);
  QPushButton* umaPrePsf = psfButton("UMAprePSFButton", PsfButton::UnsharpMaskFrames);
  QCheckBox* umaPreLocal = flag("UMAprePSFCheckBox", "Local PSF", &TEnhanceSettings::UMAPreLocalPSF);
  QCheckBox* umaPrePost = flag("UMAprepostCheckBox", "Same pre / post", &TEnhanceSettings::UMAPrePost);
  umaLayout->addWidget(umaPre, 1, 1);
  umaLayout->addWidget(umaPrePsf, 1, 2);
  umaLayout->addWidget(umaPreLocal, 1, 4);
  umaLayout->addWidget(umaPrePost, 2, 0, 1, 5);
  umaLayout->setColumnStretch(5, 1);
  Hide({umaPre, umaPrePsf, umaPreLocal, umaPrePost});

  // " van Cittert / Lucy-Richardson deconvolution "
  auto* dec = new QGroupBox(" van Cittert / Lucy-Richardson deconvolution ");
  dec->setObjectName("DeconvolutionGroupBox");
  auto [decGet, decSet] = number(&TEnhanceSettings::DECPost);
  TSpinEdit* decPost = Spin("DECpostSpinEdit", "Iterations", nullptr, DECIterationsRange, true, decGet, decSet);
  auto* decLabel = new QLabel("Iterations:");
  decLabel->setBuddy(decPost);
  auto chooseMethod = [this](std::uint8_t m) {
    return [this, m] { m_cfg.SetEnhance(&TEnhanceSettings::DECMethod, m); };
  };
  QRadioButton* cittert = Radio(
      "DECcittertRadioButton", "Cittert", [&en] { return en.DECMethod == 0; }, chooseMethod(0));
  QRadioButton* lr = Radio(
      "DEClrRadioButton", "LR", [&en] { return en.DECMethod == 1; }, chooseMethod(1));
  auto* decLayout = new QGridLayout(dec);
  decLayout->addWidget(decLabel, 0, 0);
  decLayout->addWidget(decPost, 0, 1);
  decLayout->addWidget(psfButton("DECpostPSFButton", PsfButton::DeconvolutionPicture), 0, 2);
  decLayout->addWidget(psfImage("DECpostPSFImage", "Deconvolution PSF", &TEnhanceSettings::DECPostPSF), 0, 3);
  decLayout->addWidget(flag("DECpostPSFCheckBox", "Local PSF", &TEnhanceSettings::DECPostLocalPSF), 0, 4);
  auto* methods = new QHBoxLayout;
  methods->addWidget(cittert);
  methods->addWidget(lr);
  methods->addStretch();
  decLayout->addLayout(methods, 1, 0, 1, 5);
  auto [decPreGet, decPreSet] = number(&TEnhanceSettings::DECPre);
  TSpinEdit* decPre =
      Spin("DECpreSpinEdit", "Iterations for frames", nullptr, DECIterationsRange, true, decPreGet, decPreSet);
  QPushButton* decPrePsf = psfButton("DECprePSFButton", PsfButton::DeconvolutionFrames);
  QCheckBox* decPreLocal = flag("DECprePSFCheckBox", "Local PSF", &TEnhanceSettings::DECPreLocalPSF);
  QCheckBox* decPrePost = flag("DECprepostCheckBox", "Same pre / post", &TEnhanceSettings::DECPrePost);
  decLayout->addWidget(decPre, 2, 1);
  decLayout->addWidget(decPrePsf, 2, 2);
  decLayout->addWidget(decPreLocal, 2, 4);
  decLayout->addWidget(decPrePost, 3, 0, 1, 5);
  decLayout->setColumnStretch(5, 1);
  Hide({decPre, decPrePsf, decPreLocal, decPrePost});

  // "Histogram": settings without a run.
  auto* histogram = new QGroupBox("Histogram");
  histogram->setObjectName("HistogramGroupBox");
  auto* hisLayout = new QHBoxLayout(histogram);
  hisLayout->addWidget(flag("HISpreCheckBox", "Pre", &TEnhanceSettings::HISPre));
  hisLayout->addWidget(flag("HISpostCheckBox", "Post", &TEnhanceSettings::HISPost));
  auto chooseHistogram = [this](std::uint8_t m) {
    return [this, m] { m_cfg.SetEnhance(&TEnhanceSettings::HISMethod, m); };
  };
  hisLayout->addWidget(Radio(
      "HISequalizeRadioButton", "Equalize", [&en] { return en.HISMethod == 0; }, chooseHistogram(0)));
  hisLayout->addWidget(Radio(
      "HISclaheRadioButton", "CLAHE", [&en] { return en.HISMethod == 1; }, chooseHistogram(1)));
  auto [claheGet, claheSet] = number(&TEnhanceSettings::HISClahe);
  hisLayout->addWidget(Spin("HISclaheSpinEdit", "CLAHE", nullptr, SpinRange{0, 0, 1}, true, claheGet, claheSet));
  Hide({histogram});

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(uma);
  layout->addWidget(dec);
  layout->addWidget(histogram);
  layout->addStretch();
  return page;
}

}  // namespace corvane::gui
