#include "gui/dialog_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/version.h"
#include "enhance/psf_picture.h"
#include "gui/spin_edit.h"
#include "output/render.h"

namespace corvane::gui {

namespace {

QString VersionText() { return QStringLiteral("Version ") + QString::fromStdString(ProgramVersion()); }

QString Text(const char* text) { return QString::fromUtf8(text); }

}  // namespace

TDialogForm::TDialogForm(Workbench& workbench, Prompts& prompts, QWidget* parent, std::string settingsPath)
    : QDialog(parent), m_wb(workbench), m_cfg(workbench.Config), m_file(std::move(settingsPath)), m_prompts(prompts) {
  setObjectName("DialogForm");
  setWindowTitle("Settings");
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(false);

  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName("PageControl");
  m_tabs->addTab(BuildGeneralTab(), "General");
  m_tabs->addTab(BuildPreviewFramesTab(), "Preview frames");
  m_tabs->addTab(BuildStackFramesTab(), "Stack frames");
  m_tabs->addTab(BuildEnhancementTab(), "Enhancement");
  m_tabs->addTab(BuildEditSaveTab(), "Edit / Save picture");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs);

  // The dialog follows every change of the settings, whoever made it. The
  // lists keep their listeners for the whole run, so they hold the dialog
  // weakly.
  const QPointer<TDialogForm> self(this);
  const auto follow = [self] {
    if (self) self->Refresh();
  };
  m_cfg.RegisterGeneralListener(follow);
  m_cfg.RegisterLoadFramesListener(follow);
  m_cfg.RegisterStackFramesListener(follow);
  m_cfg.RegisterEnhanceListener(follow);
  m_cfg.RegisterEditSaveListener(follow);
  m_wb.OnSelectTab = [self](SettingsTab tab) {
    if (self) self->SelectTab(tab);
  };

  // Creation: the settings file into the General controls, the records from
  // the controls, the General tab in front, the version, then the General
  // listeners (inside DialogCreated).
  GeneralControls controls;
  m_file.ReadSettings(controls);
  m_tabs->setCurrentIndex(0);
  m_versionLabel->setText(VersionText());
  Act([&] { m_cfg.DialogCreated(controls); });
}

TDialogForm::~TDialogForm() = default;

void TDialogForm::SelectTab(SettingsTab tab) {
  Refresh();  // the Preview frames tab may just have been enabled
  m_tabs->setCurrentIndex(static_cast<int>(tab));
}

void TDialogForm::Refresh() {
  if (m_refreshing) return;
  m_refreshing = true;
  {
    std::vector<QSignalBlocker> blockers;
    blockers.reserve(m_controls.size());
    for (QObject* control : m_controls) blockers.emplace_back(control);
    for (const auto& follow : m_followers) follow();
    m_tabs->setTabEnabled(static_cast<int>(SettingsTab::PreviewFrames), m_wb.Buttons.PreviewTabEnabled);
  }
  m_refreshing = false;
}

// ---------------------------------------------------------------------------
// Window events

void TDialogForm::reject() { close(); }

void TDialogForm::showEvent(QShowEvent* event) {
  m_versionLabel->setText(VersionText());
  QDialog::showEvent(event);
}

void TDialogForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  WriteSettingsFile();
}

void TDialogForm::closeEvent(QCloseEvent* event) {
  WriteSettingsFile();
  event->accept();
  emit Closed();  // before the General listeners, which show the toggle button up
  Act([this] { m_cfg.NotifyGeneral(); });
}

void TDialogForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) WriteSettingsFile();
}

void TDialogForm::WriteSettingsFile() { m_file.WriteSettings(m_cfg.CurrentGeneralControls(), m_wb.Svc); }

// ---------------------------------------------------------------------------
// Actions

void TDialogForm::Act(const std::function<void()>& change) {
  if (m_refreshing) return;  // the program set a control: no user action
  const QString error = ActionError(change);
  Refresh();
  if (!error.isEmpty()) m_prompts.Error(this, error);
}

std::string TDialogForm::ChooseFile(const QString& title, const std::string& folder, const QString& filter,
                                    const QString& suffix) {
  FileRequest request = FileRequestFor(title, folder, filter.isEmpty() ? QStringList() : QStringList{filter}, suffix);
  request.MustExist = !filter.isEmpty();  // Browse: any name, the folder is what counts
  return PathOf(m_prompts.OpenFile(this, request));
}

void TDialogForm::BrowseDirectory(std::string TGeneralSettings::*field, const std::string& folder) {
  const std::string file = ChooseFile("Set a new directory by choosing any filename", folder, {}, {});
  if (!file.empty()) m_cfg.SetGeneral(field, DirectoryOfChosenFile(file));
}

void TDialogForm::PickCorrectionPicture(bool darkFrame) {
  std::string TLoadFramesSettings::*field =
      darkFrame ? &TLoadFramesSettings::DarkFrameFile : &TLoadFramesSettings::FlatFieldFile;
  std::string folder = DirectoryOfChosenFile(m_cfg.LoadFrames.*field);
  if (folder.empty()) folder = m_cfg.General.PictureDirectory;
  // Every picture kind frame loading reads for them, deeper ones at full precision.
  const QString kinds = QStringLiteral(" picture (*.bmp *.jpg *.jpeg *.fits *.fit *.fts *.tif *.tiff *.png)");
  const std::string chosen =
      darkFrame ? ChooseFile("Pick a DarkFrame with the same size as frames", folder, "DarkFrame" + kinds, "bmp")
                : ChooseFile("Pick a FlatField with the same size as frames", folder, "FlatField" + kinds, "bmp");
  m_cfg.ChooseCorrectionFile(field, chosen);
}

void TDialogForm::PickPsfPicture(PsfButton which) {
  const std::string file = ChooseFile(QString::fromStdString(PsfDialogTitle(which)), m_cfg.General.PSFDirectory,
                                      PsfDialogFilter, PsfDialogExtension);
  if (file.empty()) return;
  const PsfPictureLoad load = LoadPsfPicture(m_cfg, which, file);
  if (!load.Message.empty()) m_prompts.Message(this, QString::fromStdString(load.Message));
}

void TDialogForm::PickLut() {
  const std::string file =
      ChooseFile("Pick a LUT for result picture", m_cfg.General.PSFDirectory, "LookUpTable (*.lut)", "lut");
  if (!file.empty()) ChooseLutFile(m_cfg, file);
}

// ---------------------------------------------------------------------------
// Controls and their bindings

void TDialogForm::Register(QWidget* widget, const char* name, const char* hint, const char* accessibleName) {
  widget->setObjectName(Text(name));
  if (hint != nullptr) {
    widget->setToolTip(Text(hint));
    widget->setAccessibleDescription(Text(hint));
  }
  if (accessibleName != nullptr) widget->setAccessibleName(Text(accessibleName));
  m_controls.push_back(widget);
}

void TDialogForm::Follow(std::function<void()> follow) { m_followers.push_back(std::move(follow)); }

void TDialogForm::EnableWhen(QWidget* widget, Get<bool> enabled) {
  Follow([widget, enabled = std::move(enabled)] { widget->setEnabled(enabled()); });
}

QCheckBox* TDialogForm::Check(const char* name, const char* caption, const char* hint, Get<bool> get, Set<bool> set) {
  auto* box = new QCheckBox(Text(caption));
  Register(box, name, hint, nullptr);
  connect(box, &QCheckBox::toggled, this, [this, set = std::move(set)](bool on) { Act([&] { set(on); }); });
  Follow([box, get = std::move(get)] { box->setChecked(get()); });
  return box;
}

QRadioButton* TDialogForm::Radio(const char* name, const char* caption, Get<bool> chosen,
                                 std::function<void()> choose) {
  auto* radio = new QRadioButton(Text(caption));
  Register(radio, name, nullptr, nullptr);
  connect(radio, &QRadioButton::toggled, this, [this, choose = std::move(choose)](bool on) {
    if (on) Act(choose);
  });
  // A chosen radio button is unchecked only by choosing another one.
  Follow([radio, chosen = std::move(chosen)] {
    if (chosen()) radio->setChecked(true);
  });
  return radio;
}

QGroupBox* TDialogForm::RadioGroup(const char* name, const char* title, const char* hint,
                                   const std::vector<const char*>& items, Get<int> chosen, Set<int> choose,
                                   bool vertical) {
  auto* group = new QGroupBox(Text(title));
  Register(group, name, hint, nullptr);
  QBoxLayout* layout = vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(group)) : new QHBoxLayout(group);
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    const std::string itemName = std::string(name) + "_" + std::to_string(i);
    QRadioButton* radio = Radio(
        itemName.c_str(), items[static_cast<std::size_t>(i)], [chosen, i] { return chosen() == i; },
        [choose, i] { choose(i); });
    if (hint != nullptr) {
      radio->setToolTip(Text(hint));
      radio->setAccessibleDescription(Text(hint));
    }
    layout->addWidget(radio);
  }
  layout->addStretch();  // the buttons close together, whatever room the group gets
  return group;
}

TSpinEdit* TDialogForm::Spin(const char* name, const char* accessibleName, const char* hint, const SpinRange& range,
                             bool typed, Get<int> get, std::function<void(int, bool)> set) {
  auto* spin = new TSpinEdit(range, typed);
  Register(spin, name, hint, accessibleName);
  connect(spin, &TSpinEdit::ValueEdited, this,
          [this, set = std::move(set)](int value, bool byTyping) { Act([&] { set(value, byTyping); }); });
  Follow([spin, get = std::move(get)] { spin->SetValue(get()); });
  return spin;
}

QSlider* TDialogForm::Track(const char* name, const char* accessibleName, const char* hint, Get<int> get,
                            Set<int> set) {
  auto* track = new QSlider(Qt::Horizontal);
  track->setRange(PercentRange.Min, PercentRange.Max);
  track->setPageStep(10);
  track->setTickPosition(QSlider::TicksBelow);
  track->setTickInterval(10);
  Register(track, name, hint, accessibleName);
  connect(track, &QSlider::valueChanged, this, [this, set = std::move(set)](int value) { Act([&] { set(value); }); });
  Follow([track, get = std::move(get)] { track->setValue(get()); });
  return track;
}

QLineEdit* TDialogForm::Edit(const char* name, const char* accessibleName, const char* hint, Get<std::string> get,
                             Set<std::string> set) {
  auto* edit = new QLineEdit;
  Register(edit, name, hint, accessibleName);
  connect(edit, &QLineEdit::textEdited, this,
          [this, set = std::move(set)](const QString& text) { Act([&] { set(text.toStdString()); }); });
  Follow([edit, get = std::move(get)] {
    const QString text = QString::fromStdString(get());
    if (edit->text() != text) edit->setText(text);
  });
  return edit;
}

QPushButton* TDialogForm::Button(const char* name, const char* caption, const char* hint, std::function<void()> click) {
  auto* button = new QPushButton(Text(caption));
  button->setAutoDefault(false);  // Enter in a box must not press a button
  Register(button, name, hint, nullptr);
  connect(button, &QPushButton::clicked, this, [this, click = std::move(click)] { Act(click); });
  return button;
}

}  // namespace corvane::gui
