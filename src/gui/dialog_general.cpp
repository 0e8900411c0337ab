// The settings dialog's "General" tab: the four folders, the window's
// options, the memory budget and the version. These are the settings the
// settings file keeps between runs.
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialog_form.h"
#include "gui/spin_edit.h"

namespace corvane::gui {

QWidget* TDialogForm::BuildGeneralTab() {
  auto* page = new QWidget;
  page->setObjectName("GeneralTabSheet");
  auto* folders = new QGridLayout;

  struct Folder {
    const char* Caption;
    const char* EditName;
    const char* ButtonName;
    const char* AccessibleName;
    const char* Hint;
    std::string TGeneralSettings::*Field;
  };
  static const Folder kFolders[] = {
      {"Pictures", "PictureDirectoryEdit", "BrowsePictureDirectoryButton", "Pictures folder",
       "Directory where pictures (BMP) are stored", &TGeneralSettings::PictureDirectory},
      {"Video", "VideoDirectoryEdit", "BrowseVideoDirectoryButton", "Video folder",
       "Directory where videos (AVI) are stored", &TGeneralSettings::VideoDirectory},
      {"PSF, LUT", "PSFDirectoryEdit", "BrowsePSFDirectoryButton", "PSF folder",
       "Directory where PSF's and LUT's are stored", &TGeneralSettings::PSFDirectory},
      {"Result", "ResultDirectoryEdit", "BrowseResultDirectoryButton", "Result folder",
       "Directory where the result will be stored", &TGeneralSettings::ResultDirectory},
  };
  int row = 0;
  for (const Folder& f : kFolders) {
    const auto field = f.Field;
    // The picture folder's box keeps its own text when the main window moves
    // the record's folder to the pictures last chosen.
    const bool pictures = field == &TGeneralSettings::PictureDirectory;
    auto text = [this, field, pictures] { return pictures ? m_cfg.PictureDirectoryEdit : m_cfg.General.*field; };
    QLineEdit* edit =
        Edit(f.EditName, f.AccessibleName, f.Hint, text, [this, field](std::string t) { m_cfg.SetGeneral(field, t); });
    edit->setMinimumWidth(300);
    auto* label = new QLabel(QString::fromUtf8(f.Caption));
    label->setBuddy(edit);
    QPushButton* browse =
        Button(f.ButtonName, "Browse", f.Hint, [this, field, text] { BrowseDirectory(field, text()); });
    folders->addWidget(label, row, 0);
    folders->addWidget(edit, row, 1);
    folders->addWidget(browse, row, 2);
    ++row;
  }
  folders->setColumnStretch(1, 1);

  auto general = [this](bool TGeneralSettings::*field) {
    return std::make_pair([this, field] { return m_cfg.General.*field; },
                          [this, field](bool on) { m_cfg.SetGeneral(field, on); });
  };
  struct Box {
    const char* Name;
    const char* Caption;
    const char* Hint;
    bool TGeneralSettings::*Field;
  };
  static const Box kLeft[] = {
      {"MemoFontCheckBox", "Black memo text", nullptr, &TGeneralSettings::MemoFontColor},
      {"SaveAsCheckBox", "\"Save As\" button", nullptr, &TGeneralSettings::SaveAsButton},
      {"AutoSelectTabSheetCheckBox", "Auto select Settings", nullptr, &TGeneralSettings::AutoSelectTabSheet},
      {"AutoChannelIncrCheckBox", "Auto Channel Increment", nullptr, &TGeneralSettings::AutoChannelIncrement},
  };
  static const Box kRight[] = {
      {"ShowRGBcolorCheckBox", "Show R, G, B in color", nullptr, &TGeneralSettings::ShowRGBcolor},
      {"ShowHintsCheckBox", "Show Hints", nullptr, &TGeneralSettings::ShowHints},
      {"SaveSettingsCheckBox", "Save Settings", "Save all settings when exiting program",
       &TGeneralSettings::SaveSettings},
  };
  auto* boxes = new QGridLayout;
  auto addBoxes = [&](const auto& list, int column) {
    int r = 0;
    for (const Box& b : list) {
      auto [get, set] = general(b.Field);
      boxes->addWidget(Check(b.Name, b.Caption, b.Hint, get, set), r++, column);
    }
  };
  addBoxes(kLeft, 0);
  addBoxes(kRight, 1);

  auto* memory = new QHBoxLayout;
  auto* memoryLabel = new QLabel("Internal memory: ");
  TSpinEdit* memoryBox = Spin(
      "MemorySpinEdit", "Internal memory", nullptr, MemoryRange, false, [this] { return m_cfg.MemoryMb; },
      [this](int mb, bool) { m_cfg.SetMemoryMb(mb); });
  memoryLabel->setBuddy(memoryBox);
  memory->addWidget(memoryLabel);
  memory->addWidget(memoryBox);
  memory->addWidget(new QLabel("Mb"));
  memory->addStretch();
  m_versionLabel = new QLabel("Version");
  m_versionLabel->setObjectName("VersionLabel");
  memory->addWidget(m_versionLabel);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(folders);
  layout->addSpacing(8);
  layout->addLayout(boxes);
  layout->addSpacing(8);
  layout->addLayout(memory);
  layout->addStretch();
  return page;
}

}  // namespace corvane::gui
