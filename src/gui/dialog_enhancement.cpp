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
    return Button(name, "PSF", nullptr, [this, button] { PickPsfPicture(button); });
  };

  // The two sharpening groups are built alike: the number with the "PSF"
  // button, the PSF picture beside it and "Local PSF", for the picture; the
  // same for frames ("pre") with "Same pre / post", hidden and disabled. The
  // controls are named after the group's prefix.
  struct Sharpening {
    const char* Prefix;   // "UMA" or "DEC"
    const char* Caption;  // the number's label and accessible name
    const char* PsfName;  // the PSF picture's accessible name
    SpinRange Range;
    std::int32_t TEnhanceSettings::*Post;
    std::int32_t TEnhanceSettings::*Pre;
    Bitmap TEnhanceSettings::*PostPsf;
    bool TEnhanceSettings::*PostLocal;
    bool TEnhanceSettings::*PreLocal;
    bool TEnhanceSettings::*PrePost;
    PsfButton PostButton;
    PsfButton PreButton;
  };
  auto sharpening = [&](const char* title, const char* groupName, const Sharpening& s) {
    auto* group = new QGroupBox(QString::fromUtf8(title));
    group->setObjectName(groupName);
    auto name = [&s](const char* part) { return std::string(s.Prefix) + part; };
    auto [postGet, postSet] = number(s.Post);
    TSpinEdit* post = Spin(name("postSpinEdit").c_str(), s.Caption, nullptr, s.Range, true, postGet, postSet);
    auto* label = new QLabel(QString::fromUtf8(s.Caption) + ":");
    label->setBuddy(post);
    auto [preGet, preSet] = number(s.Pre);
    TSpinEdit* pre = Spin(name("preSpinEdit").c_str(), (std::string(s.Caption) + " for frames").c_str(), nullptr,
                          s.Range, true, preGet, preSet);
    QPushButton* prePsf = psfButton(name("prePSFButton").c_str(), s.PreButton);
    QCheckBox* preLocal = flag(name("prePSFCheckBox").c_str(), "Local PSF", s.PreLocal);
    QCheckBox* prePost = flag(name("prepostCheckBox").c_str(), "Same pre / post", s.PrePost);
    auto* layout = new QGridLayout(group);
    layout->addWidget(label, 0, 0);
    layout->addWidget(post, 0, 1);
    layout->addWidget(psfButton(name("postPSFButton").c_str(), s.PostButton), 0, 2);
    layout->addWidget(psfImage(name("postPSFImage").c_str(), s.PsfName, s.PostPsf), 0, 3);
    layout->addWidget(flag(name("postPSFCheckBox").c_str(), "Local PSF", s.PostLocal), 0, 4);
    layout->addWidget(pre, 1, 1);
    layout->addWidget(prePsf, 1, 2);
    layout->addWidget(preLocal, 1, 4);
    layout->addWidget(prePost, 2, 0, 1, 5);
    layout->setColumnStretch(5, 1);
    Hide({pre, prePsf, preLocal, prePost});
    return group;
  };
  using E = TEnhanceSettings;
  QGroupBox* uma = sharpening(" Unsharp Masking ", "UnsharpMaskingGroupBox",
                              {"UMA", "Strength", "Unsharp masking PSF", UMAStrengthRange, &E::UMAPost, &E::UMAPre,
                               &E::UMAPostPSF, &E::UMAPostLocalPSF, &E::UMAPreLocalPSF, &E::UMAPrePost,
                               PsfButton::UnsharpMaskPicture, PsfButton::UnsharpMaskFrames});
  QGroupBox* dec = sharpening(" van Cittert / Lucy-Richardson deconvolution ", "DeconvolutionGroupBox",
                              {"DEC", "Iterations", "Deconvolution PSF", DECIterationsRange, &E::DECPost, &E::DECPre,
                               &E::DECPostPSF, &E::DECPostLocalPSF, &E::DECPreLocalPSF, &E::DECPrePost,
                               PsfButton::DeconvolutionPicture, PsfButton::DeconvolutionFrames});
  auto chooseMethod = [this](std::uint8_t m) {
    return [this, m] { m_cfg.SetEnhance(&TEnhanceSettings::DECMethod, m); };
  };
  auto* methods = new QHBoxLayout;
  methods->addWidget(Radio(
      "DECcittertRadioButton", "Cittert", [&en] { return en.DECMethod == 0; }, chooseMethod(0)));
  methods->addWidget(Radio(
      "DEClrRadioButton", "LR", [&en] { return en.DECMethod == 1; }, chooseMethod(1)));
  methods->addStretch();
  static_cast<QGridLayout*>(dec->layout())->addLayout(methods, 3, 0, 1, 5);  // "Cittert" or "LR"

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
