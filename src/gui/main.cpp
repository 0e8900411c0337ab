// corvane: the desktop program.
#include <QApplication>

#include "core/services.h"
#include "gui/dialog_form.h"
#include "gui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  corvane::NullServices services;
  corvane::Workbench workbench(services);
  corvane::gui::TMainForm window(workbench);
  corvane::gui::TDialogForm dialog(workbench, &window);
  window.AttachDialog(&dialog);
  window.show();
  return QApplication::exec();
}
