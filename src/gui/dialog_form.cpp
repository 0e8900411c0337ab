#include "gui/dialog_form.h"

namespace corvane::gui {

TDialogForm::TDialogForm(Workbench& workbench, QWidget* parent) : QDialog(parent), m_wb(workbench) {
  setObjectName("DialogForm");
  setWindowTitle("Settings");
}

void TDialogForm::SelectTab(SettingsTab /*tab*/) {}

void TDialogForm::Refresh() {}

}  // namespace corvane::gui
