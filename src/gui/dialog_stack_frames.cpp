// The settings dialog's "Stack frames" tab: the steps of the alignment
// search, the basis, the compare area, and the groups kept for the record
// but always disabled (method, zoom, invert, rotate, resize).
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "gui/dialog_form.h"

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
  layout->setRowStretch(3, 1);
  return page;
}

}  // namespace corvane::gui
