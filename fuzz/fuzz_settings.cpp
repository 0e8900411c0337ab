// The settings file (Corvane2.ini): read into the General tab, and the INI
// document's promise that what it takes it gives back after a write and a read.
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

using namespace corvane;

CORVANE_FUZZ_SEEDS(settings) {
  const std::string keys =
      "SaveSettings=1\nPictureDirectory=/home/astro/Pictures/\nVideoDirectory=\"  /videos  \"\n"
      "PSFDirectory=/psf/\nResultDirectory=/res/\nMemoFontColor=0\nShowHints=1\nSaveAsButton=0\n"
      "AutoSelectTabSheet=1\nAutoChannelIncrement=0\nShowRGBcolor=1\nMaxMem=128\n";
  seeds.Add("plain.ini", "[GENERAL]\n" + keys);
  seeds.Add("bom-crlf.ini", "\xEF\xBB\xBF[general]\r\nSaveSettings = 1\r\nMaxMem = 256\r\n; comment\r\n");
  seeds.Add("sections.ini", "[Other]\nx=1\n[GENERAL]\n" + keys + "[Later]\nMaxMem=16\n");
  seeds.Add("off.ini", "[GENERAL]\nSaveSettings=0\nMaxMem=99999999999\n");
}

namespace {

constexpr std::string_view kKeys[] = {"SaveSettings",       "PictureDirectory",     "VideoDirectory", "PSFDirectory",
                                      "ResultDirectory",    "MemoFontColor",        "ShowHints",      "SaveAsButton",
                                      "AutoSelectTabSheet", "AutoChannelIncrement", "ShowRGBcolor",   "MaxMem"};

}  // namespace

CORVANE_FUZZ_TARGET(data, size) {
  static fuzz::MemoryFile file;
  GeneralControls controls;
  ReadSettings(file.Hold(data, size), controls, "/program/");
  if (controls.MemorySpinEdit < MemoryRange.Min || controls.MemorySpinEdit > MemoryRange.Max)
    fuzz::Broken("MaxMem outside the box's range");

  // Writing a document and reading it back keeps every value of the section.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  IniDocument ini = IniDocument::Parse(text);
  const IniDocument again = IniDocument::Parse(ini.Text());
  for (std::string_view key : kKeys)
    if (ini.Value("GENERAL", key) != again.Value("GENERAL", key)) fuzz::Broken("a value changed by a write and a read");

  // A value SetValue takes comes back after a write and a read: the last
  // bytes of the input as a folder name.
  const std::string value(text.substr(size / 2, 64));
  if (ini.SetValue("GENERAL", "PictureDirectory", value) &&
      IniDocument::Parse(ini.Text()).Value("GENERAL", "PictureDirectory") != value)
    fuzz::Broken("a value SetValue took did not come back");
  return 0;
}
