#include "gui/command_line.h"

namespace corvane::gui {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  bool options = true;
  for (std::size_t i = 0; i < args.size() && c.Error.empty(); ++i) {
    const std::string& a = args[i];
    // An option with a file name: "--name FILE" or "--name=FILE".
    auto fileOption = [&](const std::string& name, std::string& file) {
      if (a == name) {
        if (i + 1 < args.size()) file = args[++i];
      } else if (a.rfind(name + "=", 0) == 0) {
        file = a.substr(name.size() + 1);
      } else {
        return false;
      }
      if (file.empty()) c.Error = name + " needs a file name";
      return true;
    };
    if (!options || a.size() < 2 || a[0] != '-') {
      c.Files.push_back(a);
    } else if (a == "--") {
      options = false;
    } else if (a == "-h" || a == "--help") {
      c.Help = true;
    } else if (a == "-V" || a == "--version") {
      c.Version = true;
    } else if (!fileOption("--screenshot", c.Screenshot) &&
               !fileOption("--screenshot-settings", c.SettingsScreenshot)) {
      c.Error = "unknown option " + a + " (see --help)";
    }
  }
  return c;
}

std::string NumberedFileName(const std::string& path, int number) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
  const std::size_t at = hasExtension ? dot : path.size();
  return path.substr(0, at) + "-" + std::to_string(number) + path.substr(at);
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
         "FILE      pictures (.bmp, .jpg, .jpeg, .png, .tif, .tiff, .fits, .fit, .fts) and\n"
         "          videos (.avi, .ser), previewed at start as if picked with \"Preview\";\n"
         "          \"Load\" then reads all of them.\n"
         "\n"
         "Options:\n"
         "  -h, --help             show this help and exit\n"
         "  -V, --version          show the version and exit\n"
         "      --screenshot PNG   write a picture of the window after start-up to PNG and exit\n"
         "      --screenshot-settings PNG\n"
         "                         write a picture of each tab of the settings dialog after\n"
         "                         start-up (PNG with -1 .. -5 before its extension) and exit\n"
         "\n"
         "The batch tool corvane-cli runs the same work without a window.\n";
}

}  // namespace corvane::gui
