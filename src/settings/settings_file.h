#pragma once
// The settings file: the General tab's controls kept between runs in
// Corvane2.ini, section "GENERAL", twelve keys:
//   SaveSettings, PictureDirectory, VideoDirectory, PSFDirectory,
//   ResultDirectory, MemoFontColor, ShowHints, SaveAsButton,
//   AutoSelectTabSheet, AutoChannelIncrement, ShowRGBcolor, MaxMem.
// Booleans are written "1" or "0" and read as true for any integer other than
// 0 (a missing key or a value that is not a number gives the default);
// "MaxMem" is in megabytes; directory texts are stored as they are. Other
// sections and keys in the file are kept when it is written.
//
// Use: at dialog creation `file.ReadSettings(controls)` then
// `settings.DialogCreated(controls)`; on close, hide and deactivation
// `file.WriteSettings(settings.CurrentGeneralControls(), services)`, and on
// close `settings.NotifyGeneral()` after it.
#include <cstddef>
#include <string>

#include "core/services.h"
#include "settings/settings.h"

namespace corvane {

/// The most a settings file may hold (1 MiB); a larger one counts as
/// unreadable: it gives the defaults and is not overwritten.
constexpr std::size_t SettingsFileMaxBytes = std::size_t{1} << 20;

/// Where the settings file lives: $XDG_CONFIG_HOME/Corvane2.ini when that
/// variable holds an absolute path, otherwise ~/.config/Corvane2.ini.
std::string SettingsFilePath();

/// Reads the file into the General-tab controls. The four directory edits
/// first get `programDirectory` + "Pictures/", "Videos/", "PSF/", "Result/";
/// "SaveSettings" (default true) sets its box; only when it is ticked are the
/// other keys read (the four directories with those defaults, MemoFontColor
/// false, ShowHints true, SaveAsButton false, AutoSelectTabSheet true,
/// AutoChannelIncrement false, ShowRGBcolor true, MaxMem 64, clamped to
/// 16..512). Otherwise the other controls keep the values they hold. Never
/// fails: a missing, unreadable or garbled file gives the defaults for what
/// cannot be read, and so does a file that is not a regular file (a FIFO or a
/// device is never waited on) or that holds more than SettingsFileMaxBytes.
void ReadSettings(const std::string& path, GeneralControls& controls,
                  const std::string& programDirectory = ProgramDirectory());

struct SettingsWriteResult {
  bool Ok = true;
  std::string Message;  ///< why the file was not written, when !Ok
};

/// Writes "SaveSettings" always and, only while it is ticked, the other
/// eleven keys in their order, keeping the rest of the file. The file is
/// written under a temporary name and renamed into place (its folder is made
/// when missing; a symbolic link is followed, not replaced); it is not
/// rewritten when nothing would change. An existing file that cannot be read
/// is not overwritten. Never throws for a file problem: the result says so.
SettingsWriteResult WriteSettings(const std::string& path, const GeneralControls& controls);

/// The settings file of a run: opened by name at start and kept. A failed
/// write is no error for the user: it is reported on the status line once,
/// and again only after a later write has succeeded.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path = SettingsFilePath()) : m_path(std::move(path)) {}

  const std::string& Path() const noexcept { return m_path; }
  void ReadSettings(GeneralControls& controls, const std::string& programDirectory = ProgramDirectory()) const {
    corvane::ReadSettings(m_path, controls, programDirectory);
  }
  /// Answers whether the file now holds the controls' values.
  bool WriteSettings(const GeneralControls& controls, Services& services);

 private:
  std::string m_path;
  bool m_failureShown = false;
};

}  // namespace corvane
