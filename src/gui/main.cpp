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
  gui::QtPrompts prompts;
  Workbench workbench(services);
  gui::TMainForm window(workbench, prompts);
  gui::TDialogForm dialog(workbench, prompts, &window);
  window.AttachDialog(&dialog);
  window.show();

  QStringList files;
  for (const std::string& f : line.Files) files.push_back(QString::fromLocal8Bit(f.c_str()));
  window.PreviewFiles(files);

  if (!line.Screenshot.empty() || !line.SettingsScreenshot.empty()) {
    // Pictures of what start-up shows, then the program ends.
    QTimer::singleShot(0, &window, [&] {
      auto save = [](QWidget& widget, const std::string& file) {
        if (widget.grab().save(QString::fromLocal8Bit(file.c_str()), "PNG")) return true;
        std::fprintf(stderr, "corvane: cannot write the screenshot %s\n", file.c_str());
        return false;
      };
      services.Flush();
      bool ok = line.Screenshot.empty() || save(window, line.Screenshot);
      if (!line.SettingsScreenshot.empty()) {
        dialog.show();
        for (int tab = 0; tab < 5; ++tab) {
          dialog.SelectTab(static_cast<SettingsTab>(tab));
          QApplication::processEvents();
          ok = save(dialog, gui::NumberedFileName(line.SettingsScreenshot, tab + 1)) && ok;
        }
      }
      QApplication::exit(ok ? 0 : 1);
    });
  }
  return QApplication::exec();
}
