#pragma once
// The main window: the two panes and one panel per step of the workflow, the
// status bar, the keys and the mouse actions. Every handler calls one
// Workbench action and then shows what the core holds.
#include <QMainWindow>

#include "app/workbench.h"

namespace corvane::gui {

class TDialogForm;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(Workbench& workbench);

  /// The settings dialog, created after the main window (start-up order).
  void AttachDialog(TDialogForm* dialog);

 private:
  Workbench& m_wb;
  TDialogForm* m_dialog = nullptr;
};

}  // namespace corvane::gui
