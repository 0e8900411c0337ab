// The settings dialog's "Edit / Save picture" tab: brightness and contrast,
// the user's look-up table, the colour controls, the save format and name,
// and what "Show" renders. Every change re-renders the result picture, its
// memo and its label while the dialog stays open.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "gui/dialog_form.h"
#include "output/render.h"

namespace corvane::gui {

namespace {

int Position(double value, double scale) { return static_cast<int>(std::lround(value * scale)); }

QLabel* BuddyLabel(const char* text, QWidget* buddy) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setBuddy(buddy);
  return label;
}

}  // namespace

QWidget* TDialogForm::BuildEditSaveTab() {
  auto* page = new QWidget;
  page->setObjectName("EditSaveTabSheet");
  TEditSaveSettings& es = m_cfg.EditSave;
  auto shows = [&es] { return ShowGroupsFor(es.ShowAs); };

  // "Brightness && Contrast": under "Show" RGB only its two buttons stay
  // enabled, so the group enables its parts one by one.
  auto* bw = new QGroupBox("Brightness && Contrast");
  bw->setObjectName("SavePictureBWControlGroupBox");
  QSlider* bias = Track(
      "BiasTrackBar", "Picture brightness", "Change brightness (halfway = No change)",
      [&es] { return Position(es.Bias, 100.0); }, [this](int p) { m_cfg.SetBiasTrackBar(p); });
  QSlider* gain = Track(
      "GainTrackBar", "Picture contrast", "Change contrast (halfway = No change)",
      [&es] { return Position(es.Gain, 100.0); }, [this](int p) { m_cfg.SetGainTrackBar(p); });
  QPushButton* map0595 =
      Button("Map0595Button", "5 - 95", "Set black and white to dark gray and light gray for better printing",
             [this] { m_cfg.Map0595(); });
  QPushButton* biasGainDefault =
      Button("BiasGainDefaultButton", "Default", nullptr, [this] { m_cfg.BiasGainDefault(); });
  QCheckBox* couple = Check(
      "CoupleBGCheckBox", "Couple", nullptr, [this] { return m_cfg.CoupleBGCheckBox; },
      // A plain control value: nothing is rendered differently until a bar moves.
      [this](bool on) { m_cfg.CoupleBGCheckBox = on; });
  QLabel* biasLabel = BuddyLabel("Brightness", bias);
  QLabel* gainLabel = BuddyLabel("Contrast", gain);
  for (QWidget* w : {static_cast<QWidget*>(bias), static_cast<QWidget*>(gain), static_cast<QWidget*>(couple),
                     static_cast<QWidget*>(biasLabel), static_cast<QWidget*>(gainLabel)})
    EnableWhen(w, [shows] { return shows().BrightnessContrastGroup; });
  for (QWidget* w : {map0595, biasGainDefault}) EnableWhen(w, [shows] { return shows().BrightnessContrastButtons; });
  EnableWhen(bw, [shows] { return shows().BrightnessContrastGroup || shows().BrightnessContrastButtons; });
  auto* bwLayout = new QGridLayout(bw);
  bwLayout->addWidget(biasLabel, 0, 0);
  bwLayout->addWidget(bias, 0, 1, 1, 3);
  bwLayout->addWidget(gainLabel, 1, 0);
  bwLayout->addWidget(gain, 1, 1, 1, 3);
  bwLayout->addWidget(map0595, 2, 1);
  bwLayout->addWidget(biasGainDefault, 2, 2);
  bwLayout->addWidget(couple, 2, 3);

  // "Look-Up-Table"
  auto* lut = new QGroupBox("Look-Up-Table");
  lut->setObjectName("SavePictureLUTGroupBox");
  auto* lutLayout = new QHBoxLayout(lut);
  lutLayout->addWidget(Check(
      "LUTCheckBox", "Use LUT", nullptr, [&es] { return es.UseLUT; },
      [this](bool on) { m_cfg.SetEditSave(&TEditSaveSettings::UseLUT, on); }));
  lutLayout->addWidget(Button("LUTButton", "Load LUT", nullptr, [this] { PickLut(); }));
  QPushButton* noLut = Button("LUTClearButton", "No LUT", "Forget the LUT file and show the picture without a LUT",
                              [this] { ClearLutFile(m_cfg); });
  EnableWhen(noLut, [&es] { return !es.LUTFile.empty(); });
  lutLayout->addWidget(noLut);
  lutLayout->addStretch();

  // "Color control"
  auto* colour = new QGroupBox("Color control");
  colour->setObjectName("SavePictureColorControlGroupBox");
  EnableWhen(colour, [shows] { return shows().ColourGroup; });
  QSlider* saturation = Track(
      "STrackBar", "Saturation", "Set color saturation", [&es] { return Position(es.Saturation, 50.0); },
      [this](int p) { m_cfg.SetSaturationTrackBar(p); });
  QPushButton* normal = Button("SaturationDefaultButton", "Normal", nullptr, [this] { m_cfg.SaturationDefault(); });
  EnableWhen(normal, [shows] { return shows().SaturationNormalButton; });
  auto colourBar = [this](const char* name, const char* accessibleName, ColourBar bar, int ColourPositions::*f) {
    return Track(
        name, accessibleName, "Set brightness of R, G, B", [this, f] { return m_cfg.ColourTrackBars.*f; },
        [this, bar](int p) { m_cfg.SetColourTrackBar(bar, p); });
  };
  QSlider* red = colourBar("RTrackBar", "Red", ColourBar::R, &ColourPositions::R);
  QSlider* green = colourBar("GTrackBar", "Green", ColourBar::G, &ColourPositions::G);
  QSlider* blue = colourBar("BTrackBar", "Blue", ColourBar::B, &ColourPositions::B);
  auto preset = [this](const char* name, const char* caption, ColourPreset p) {
    return Radio(
        name, caption, [this, p] { return m_cfg.ColourChoice == p; }, [this, p] { m_cfg.ChooseColourPreset(p); });
  };
  auto* colourLayout = new QGridLayout(colour);
  colourLayout->addWidget(BuddyLabel("Saturation", saturation), 0, 0);
  colourLayout->addWidget(saturation, 0, 1);
  colourLayout->addWidget(normal, 0, 2);
  colourLayout->addWidget(BuddyLabel("R", red), 1, 0);
  colourLayout->addWidget(red, 1, 1);
  colourLayout->addWidget(BuddyLabel("G", green), 2, 0);
  colourLayout->addWidget(green, 2, 1);
  colourLayout->addWidget(BuddyLabel("B", blue), 3, 0);
  colourLayout->addWidget(blue, 3, 1);
  auto* presets = new QVBoxLayout;
  presets->addWidget(preset("RGB111RadioButton", "1:1:1", ColourPreset::OneOneOne));
  presets->addWidget(preset("RGBtvRadioButton", "T.V.", ColourPreset::TV));
  presets->addWidget(preset("RGBuserRadioButton", "User", ColourPreset::User));
  colourLayout->addLayout(presets, 1, 2, 3, 1);
  colourLayout->setColumnStretch(1, 1);

  // "Save format": what "Save" writes and the kind "Save As" offers first.
  QGroupBox* format = RadioGroup(
      "SavePictureFormatGroupBox", "Save format",
      "BMP: the picture as shown, 8 bits a colour. FITS, PNG, TIFF: the same picture with 16 bits a sample",
      {"BMP", "FITS", "PNG", "TIFF"}, [&es] { return es.SaveFormat <= 3 ? int{es.SaveFormat} : 0; },
      [this](int i) { m_cfg.SetEditSave(&TEditSaveSettings::SaveFormat, static_cast<std::uint8_t>(i)); });

  // "Save filename"
  auto* name = new QGroupBox("Save filename");
  name->setObjectName("SavePictureNameGroupBox");
  auto nameBox = [this](const char* objectName, const char* caption, const char* hint, bool Settings::*box) {
    return Check(
        objectName, caption, hint, [this, box] { return m_cfg.*box; },
        [this, box](bool on) { m_cfg.SetNameControl(box, on); });
  };
  QLineEdit* prefix = Edit(
      "SaveNamePrefixEdit", "Prefix", "Type a name you want to use as prefix for result pictures",
      [this] { return m_cfg.SaveNamePrefixEdit; }, [this](std::string text) { m_cfg.SetSaveNamePrefix(text); });
  EnableWhen(prefix, [this] { return m_cfg.SaveNamePrefixEditEnabled(); });
  auto* nameLayout = new QGridLayout(name);
  nameLayout->addWidget(nameBox("NamePrefixCheckBox", "Prefix :", "Use a prefix name", &Settings::NamePrefixCheckBox),
                        0, 0);
  nameLayout->addWidget(prefix, 0, 1);
  nameLayout->addWidget(nameBox("NameOriginalCheckBox", "Original name",
                                "Use original filename as prefix for result pictures", &Settings::NameOriginalCheckBox),
                        1, 0, 1, 2);
  nameLayout->addWidget(nameBox("NamePostfixCheckBox", "Postfix :", "Use a postfix", &Settings::NamePostfixCheckBox), 2,
                        0);
  auto* postfix = new QHBoxLayout;
  postfix->addWidget(nameBox("NameDateCheckBox", "Date", "Include date in filename", &Settings::NameDateCheckBox));
  postfix->addWidget(nameBox("NameChannelCheckBox", "Channel", "Include channel (L,R,G,B) in filename",
                             &Settings::NameChannelCheckBox));
  postfix->addWidget(nameBox("NameAutonumberCheckBox", "Autonumber", "Include an automatic numbering in the filename",
                             &Settings::NameAutonumberCheckBox));
  postfix->addStretch();
  nameLayout->addLayout(postfix, 3, 0, 1, 2);
  nameLayout->setColumnStretch(1, 1);

  // "Show"
  QGroupBox* show = RadioGroup(
      "ShowAsRadioGroup", "Show", nullptr, {"L", "R", "G", "B", "LRGB", "RGB"}, [&es] { return int{es.ShowAs}; },
      [this](int i) { m_cfg.SetShowAs(i); });

  auto* left = new QVBoxLayout;
  left->addWidget(bw);
  left->addWidget(lut);
  left->addWidget(colour);
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addWidget(name);
  auto* formatShow = new QHBoxLayout;
  formatShow->addWidget(format);
  formatShow->addWidget(show);
  right->addLayout(formatShow);
  right->addStretch();
  auto* layout = new QHBoxLayout(page);
  layout->addLayout(left, 1);
  layout->addLayout(right, 1);
  return page;
}

}  // namespace corvane::gui
