#pragma once
// The desktop program's command line: corvane [OPTION...] [FILE...].
#include <string>
#include <vector>

namespace corvane::gui {

struct CommandLine {
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Files;  ///< previewed at start, as if picked with "Preview"
  std::string Screenshot;          ///< a PNG of the window after start-up, then exit
  std::string SettingsScreenshot;  ///< PNGs of the settings dialog's tabs after start-up, then exit
  std::string Error;               ///< a usage error, when not empty
};

/// Parses the arguments after the program name (the toolkit's own options
/// already taken out). "--" ends the options; a lone "-" and every other
/// argument not starting with "-" is a file.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

/// Whether the arguments ask for --help or --version (answered before any
/// window system is needed).
bool AsksHelpOrVersion(const std::vector<std::string>& args);

/// `path` with "-" + `number` before its extension: "shots/d.png", 2 gives
/// "shots/d-2.png"; a name without extension gets it at its end.
std::string NumberedFileName(const std::string& path, int number);

/// The text of --help.
std::string HelpText();

}  // namespace corvane::gui
