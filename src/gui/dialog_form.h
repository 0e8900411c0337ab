#pragma once
// The settings dialog: a non-modal tool window with five tabs, created once
// (hidden) right after the main window and never destroyed. Every control
// writes the settings model through its rule functions; the widgets then show
// what the model holds.
//
// Each control is made together with its binding: the one model function a
// user action calls, and how the control follows the model. Refresh sets every
// control from the model with their signals blocked, so the program's changes
// never come back as user actions: no change loops or notifies twice. The
// dialog refreshes after each of its own actions and whenever any settings
// listener runs, so it follows what the workbench changes too (the input size
// and AVI range of a preview, the channel step).
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "gui/prompts.h"
#include "settings/settings_file.h"

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;

namespace corvane {
enum class PsfButton;
}

namespace corvane::gui {

class TSpinEdit;

class TDialogForm : public QDialog {
  Q_OBJECT
 public:
  /// Creation: builds the tabs, reads the settings file into the General tab
  /// and hands the controls to the model (which notifies the General
  /// listeners); takes the workbench's "Auto select Settings" call.
  /// `prompts` answers the file dialogs and message boxes.
  TDialogForm(Workbench& workbench, Prompts& prompts, QWidget* parent, std::string settingsPath = SettingsFilePath());
  ~TDialogForm() override;

  /// Brings a tab forward ("Auto select Settings").
  void SelectTab(SettingsTab tab);
  /// Sets every control from the model, and the Preview frames tab's enabled
  /// state from the workflow (call it after the workflow state changed).
  void Refresh();

  const SettingsFile& File() const noexcept { return m_file; }

 signals:
  /// The user closed the dialog (the main window pops its toggle button up).
  /// Emitted after the settings file is written and before the General
  /// listeners run.
  void Closed();

 public slots:
  /// Esc closes the dialog as the window's close button does.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  template <class T>
  using Get = std::function<T()>;
  template <class T>
  using Set = std::function<void(T)>;

  // ---- The tabs (one source file each).
  QWidget* BuildGeneralTab();
  QWidget* BuildPreviewFramesTab();
  QWidget* BuildStackFramesTab();
  QGroupBox* BuildRatingGroup();  ///< the Stack frames tab's "Rating and refinement"
  QWidget* BuildEnhancementTab();
  QWidget* BuildEditSaveTab();

  // ---- Controls with their bindings. `name` is the objectName, `hint` the
  // tool tip and accessible description, `accessibleName` the name of a
  // control without its own caption.
  QCheckBox* Check(const char* name, const char* caption, const char* hint, Get<bool> get, Set<bool> set);
  QRadioButton* Radio(const char* name, const char* caption, Get<bool> chosen, std::function<void()> choose);
  /// A group box of radio buttons named name + "_" + index.
  QGroupBox* RadioGroup(const char* name, const char* title, const char* hint, const std::vector<const char*>& items,
                        Get<int> chosen, Set<int> choose, bool vertical = true);
  TSpinEdit* Spin(const char* name, const char* accessibleName, const char* hint, const SpinRange& range, bool typed,
                  Get<int> get, std::function<void(int, bool)> set);
  QSlider* Track(const char* name, const char* accessibleName, const char* hint, Get<int> get, Set<int> set);
  QLineEdit* Edit(const char* name, const char* accessibleName, const char* hint, Get<std::string> get,
                  Set<std::string> set);
  QPushButton* Button(const char* name, const char* caption, const char* hint, std::function<void()> click);
  /// The control's enabled state follows the model.
  void EnableWhen(QWidget* widget, Get<bool> enabled);
  /// Anything else that follows the model (ranges, pictures).
  void Follow(std::function<void()> follow);
  /// Names a control and blocks its signals while refreshing.
  void Register(QWidget* widget, const char* name, const char* hint, const char* accessibleName);

  // ---- Actions.
  /// The action boundary: runs one change of the model, shows an error that
  /// ends it in the error box, then shows what the model holds.
  void Act(const std::function<void()>& change);
  /// An open dialog starting in `folder`; an empty filter takes any name
  /// (Browse). Answers the file, empty when cancelled.
  std::string ChooseFile(const QString& title, const std::string& folder, const QString& filter, const QString& suffix);
  void BrowseDirectory(std::string TGeneralSettings::*field, const std::string& folder);
  void PickCorrectionPicture(bool darkFrame);
  void PickPsfPicture(PsfButton button);
  void PickLut();
  void WriteSettingsFile();

  Workbench& m_wb;
  Settings& m_cfg;
  SettingsFile m_file;
  Prompts& m_prompts;
  QTabWidget* m_tabs = nullptr;
  QLabel* m_versionLabel = nullptr;
  std::vector<QObject*> m_controls;
  std::vector<std::function<void()>> m_followers;
  bool m_refreshing = false;
};

}  // namespace corvane::gui
