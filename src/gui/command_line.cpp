#include "gui/command_line.h"

namespace corvane::gui {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && a == "--") {
      options = false;
    } else if (options && (a == "-h" || a == "--help")) {
      c.Help = true;
    } else if (options && (a == "-V" || a == "--version")) {
      c.Version = true;
    } else if (options && (a == "--screenshot" || a.rfind("--screenshot=", 0) == 0)) {
      if (a.size() > 12) {
        c.Screenshot = a.substr(13);
      } else if (i + 1 < args.size()) {
        c.Screenshot = args[++i];
      }
      if (c.Screenshot.empty()) c.Error = "--screenshot needs a file name";
    } else if (options && a.size() > 1 && a[0] == '-') {
      c.Error = "unknown option " + a + " (see --help)";
    } else {
      c.Files.push_back(a);
    }
    if (!c.Error.empty()) break;
  }
  return c;
}

bool AsksHelpOrVersion(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "-h" || a == "--help" || a == "-V" || a == "--version") return true;
  }
  return false;
}

std::string HelpText() {
  return "Usage: corvane [OPTION...] [FILE...]\n"
         "Turns many frames of one object (a planet, the moon, a detail of the sun) into one\n"
         "better picture: preview, load, rate, stack, combine, sharpen and save.\n"
         "\n"
         "FILE      pictures (.bmp, .jpg, .jpeg) and videos (.avi), previewed at start as if\n"
         "          picked with \"Preview\"; \"Load\" then reads all of them.\n"
         "\n"
         "Options:\n"
         "  -h, --help             show this help and exit\n"
         "  -V, --version          show the version and exit\n"
         "      --screenshot PNG   write a picture of the window after start-up to PNG and exit\n"
         "\n"
         "The batch tool corvane-cli runs the same work without a window.\n";
}

}  // namespace corvane::gui
