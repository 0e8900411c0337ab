#include "gui/main_window.h"

#include "gui/dialog_form.h"

namespace corvane::gui {

TMainForm::TMainForm(Workbench& workbench) : m_wb(workbench) {
  setObjectName("MainForm");
  setWindowTitle("Corvane 2");
}

void TMainForm::AttachDialog(TDialogForm* dialog) { m_dialog = dialog; }

}  // namespace corvane::gui
