#pragma once
// The settings dialog: a non-modal tool window with five tabs, created once
// (hidden) right after the main window and never destroyed. Every control
// writes the settings model through its rule functions; the widgets then show
// what the model holds.
#include <QDialog>

#include "app/workbench.h"

namespace corvane::gui {

class TDialogForm : public QDialog {
  Q_OBJECT
 public:
  /// Creation: builds the tabs, reads the settings file into the General tab
  /// and hands the controls to the model (which notifies the General listeners).
  TDialogForm(Workbench& workbench, QWidget* parent);

  /// Brings a tab forward ("Auto select Settings").
  void SelectTab(SettingsTab tab);
  /// Sets every control from the model (after the program changed settings).
  void Refresh();

 signals:
  /// The user closed the dialog (the main window pops its toggle button up).
  void Closed();

 private:
  Workbench& m_wb;
};

}  // namespace corvane::gui
