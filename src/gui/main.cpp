// corvane: the desktop program.
#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "app/version.h"
#include "gui/app_icon.h"
#include "gui/command_line.h"
#include "gui/dialog_form.h"
#include "gui/gui_services.h"
#include "gui/main_window.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) { return {argv + (argc > 0 ? 1 : 0), argv + argc}; }

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane;
  // --help and --version need no display.
  if (gui::AsksHelpOrVersion(Arguments(argc, argv))) {
    const gui::CommandLine early = gui::ParseCommandLine(Arguments(argc, argv));
    if (early.Help) {
      std::fputs(gui::HelpText().c_str(), stdout);
    } else {
      std::printf("corvane %s\n", ProgramVersion().c_str());
    }
    return 0;
  }

  // Start-up: the settings, the frame list and the workflow machine (the
  // workbench), the main window (FormCreate), then the settings dialog, which
  // reads the settings file; the window is shown (FormShow) and the loop runs.
  QApplication app(argc, argv);  // takes the toolkit's own options out of argv
  const gui::CommandLine line = gui::ParseCommandLine(Arguments(argc, argv));
  if (!line.Error.empty()) {
    std::fprintf(stderr, "corvane: %s\n", line.Error.c_str());
    return 1;
  }
  QApplication::setApplicationName("corvane");
  QApplication::setApplicationVersion(QString::fromStdString(ProgramVersion()));
  QGuiApplication::setDesktopFileName("corvane");
  QApplication::setWindowIcon(gui::ProgramIcon());

  gui::GuiServices services;
  Workbench workbench(services);
  gui::TMainForm window(workbench);
  gui::TDialogForm dialog(workbench, &window);
  window.AttachDialog(&dialog);
  window.show();

  QStringList files;
  for (const std::string& f : line.Files) files.push_back(QString::fromLocal8Bit(f.c_str()));
  window.PreviewFiles(files);

  if (!line.Screenshot.empty()) {
    int status = 0;
    QTimer::singleShot(0, &window, [&] {
      services.Flush();
      if (!window.grab().save(QString::fromLocal8Bit(line.Screenshot.c_str()), "PNG")) {
        std::fprintf(stderr, "corvane: cannot write the screenshot %s\n", line.Screenshot.c_str());
        status = 1;
      }
      QApplication::exit(status);
    });
    return QApplication::exec();
  }
  return QApplication::exec();
}
