#include "settings/settings_file.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "core/errors.h"
#include "core/file_io.h"
#include "settings/ini_file.h"

namespace corvane {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSection = "GENERAL";

bool ReadBool(const IniDocument& ini, std::string_view key, bool fallback) {
  const std::optional<std::string> text = ini.Value(kSection, key);
  if (!text) return fallback;
  const std::optional<std::int32_t> value = ParseIniInteger(*text);
  return value ? *value != 0 : fallback;
}

std::int32_t ReadInteger(const IniDocument& ini, std::string_view key, std::int32_t fallback) {
  const std::optional<std::string> text = ini.Value(kSection, key);
  if (!text) return fallback;
  return ParseIniInteger(*text).value_or(fallback);
}

std::string ReadText(const IniDocument& ini, std::string_view key, const std::string& fallback) {
  return ini.Value(kSection, key).value_or(fallback);
}

const char* BoolText(bool value) { return value ? "1" : "0"; }

// The path a write should replace: a symbolic link is followed so that the
// link itself stays.
std::string WriteTarget(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  const fs::path resolved = fs::weakly_canonical(path, ec);
  return ec ? path : resolved.string();
}

}  // namespace

std::string SettingsFilePath() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    std::string dir = xdg;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return (dir == "/" ? dir : dir + "/") + "Corvane2.ini";
  }
  std::string base = UserHomeFolder();
  if (base.empty()) {
    std::error_code ec;
    base = fs::current_path(ec).string();
    if (ec || base.empty()) base = std::string(1, '.');
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return (base == "/" ? base : base + "/") + ".config/Corvane2.ini";
}

void ReadSettings(const std::string& path, GeneralControls& controls, const std::string& programDirectory) {
  const std::string pictures = programDirectory + "Pictures/";
  const std::string videos = programDirectory + "Videos/";
  const std::string psf = programDirectory + "PSF/";
  const std::string result = programDirectory + "Result/";
  controls.PictureDirectoryEdit = pictures;
  controls.VideoDirectoryEdit = videos;
  controls.PSFDirectoryEdit = psf;
  controls.ResultDirectoryEdit = result;

  IniDocument ini;
  try {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path, SettingsFileMaxBytes);
    ini = IniDocument::Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  } catch (const ReadError&) {
    // A missing or unreadable file reads as an empty one: every default. So
    // does a FIFO or device, which is not even opened for reading, and a file
    // larger than any settings file.
  }

  controls.SaveSettingsCheckBox = ReadBool(ini, "SaveSettings", true);
  if (!controls.SaveSettingsCheckBox) return;
  controls.PictureDirectoryEdit = ReadText(ini, "PictureDirectory", pictures);
  controls.VideoDirectoryEdit = ReadText(ini, "VideoDirectory", videos);
  controls.PSFDirectoryEdit = ReadText(ini, "PSFDirectory", psf);
  controls.ResultDirectoryEdit = ReadText(ini, "ResultDirectory", result);
  controls.MemoFontCheckBox = ReadBool(ini, "MemoFontColor", false);
  controls.ShowHintsCheckBox = ReadBool(ini, "ShowHints", true);
  controls.SaveAsCheckBox = ReadBool(ini, "SaveAsButton", false);
  controls.AutoSelectTabSheetCheckBox = ReadBool(ini, "AutoSelectTabSheet", true);
  controls.AutoChannelIncrCheckBox = ReadBool(ini, "AutoChannelIncrement", false);
  controls.ShowRGBcolorCheckBox = ReadBool(ini, "ShowRGBcolor", true);
  controls.MemorySpinEdit = MemoryRange.Clamp(ReadInteger(ini, "MaxMem", 64));
}

SettingsWriteResult WriteSettings(const std::string& path, const GeneralControls& controls) {
  std::error_code ec;
  const std::string target = WriteTarget(path);
  const bool exists = fs::exists(target, ec);
  std::string before;
  if (exists) {
    try {
      const std::vector<std::uint8_t> bytes = ReadWholeFile(target, SettingsFileMaxBytes);
      before.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    } catch (const ReadError& e) {
      return {false, std::string(e.what()) + "; not overwritten"};
    }
  }

  IniDocument ini = IniDocument::Parse(before);
  ini.SetValue(kSection, "SaveSettings", BoolText(controls.SaveSettingsCheckBox));
  if (controls.SaveSettingsCheckBox) {
    // A folder name holding a control character (a line break, say) cannot be
    // stored; its key keeps the value it had.
    ini.SetValue(kSection, "PictureDirectory", controls.PictureDirectoryEdit);
    ini.SetValue(kSection, "VideoDirectory", controls.VideoDirectoryEdit);
    ini.SetValue(kSection, "PSFDirectory", controls.PSFDirectoryEdit);
    ini.SetValue(kSection, "ResultDirectory", controls.ResultDirectoryEdit);
    ini.SetValue(kSection, "MemoFontColor", BoolText(controls.MemoFontCheckBox));
    ini.SetValue(kSection, "ShowHints", BoolText(controls.ShowHintsCheckBox));
    ini.SetValue(kSection, "SaveAsButton", BoolText(controls.SaveAsCheckBox));
    ini.SetValue(kSection, "AutoSelectTabSheet", BoolText(controls.AutoSelectTabSheetCheckBox));
    ini.SetValue(kSection, "AutoChannelIncrement", BoolText(controls.AutoChannelIncrCheckBox));
    ini.SetValue(kSection, "ShowRGBcolor", BoolText(controls.ShowRGBcolorCheckBox));
    ini.SetValue(kSection, "MaxMem", std::to_string(controls.MemorySpinEdit));
  }
  const std::string text = ini.Text();
  if (exists && text == before) return {};

  const fs::path folder = fs::path(target).parent_path();
  if (!folder.empty()) {
    fs::create_directories(folder, ec);
    if (ec) return {false, "cannot make the folder \"" + folder.string() + "\": " + ec.message()};
  }
  try {
    WriteFileAtomically(target, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  } catch (const WriteError& e) {
    return {false, e.what()};
  }
  return {};
}

bool SettingsFile::WriteSettings(const GeneralControls& controls, Services& services) {
  const SettingsWriteResult result = corvane::WriteSettings(m_path, controls);
  if (result.Ok) {
    m_failureShown = false;
    return true;
  }
  if (!m_failureShown) {
    m_failureShown = true;
    services.ShowStatus("Settings not saved: " + result.Message);
  }
  return false;
}

}  // namespace corvane
