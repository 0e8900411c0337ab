#include "output/save_names.h"

#include <cstdint>
#include <cstdio>
#include <limits>

#include "core/errors.h"

namespace corvane {

namespace {

// '/' and '\\' (names written the Windows way); a ':' is an ordinary character of
// Linux file names, as in "saturn 21:30.avi".
bool IsPathDelimiter(char c) noexcept { return c == '/' || c == '\\'; }

}  // namespace

std::string FileNamePart(const std::string& fileName) {
  std::size_t start = fileName.size();
  while (start > 0 && !IsPathDelimiter(fileName[start - 1])) --start;
  return fileName.substr(start);
}

std::string FileNameStem(const std::string& fileName) {
  std::string part = FileNamePart(fileName);
  const std::size_t dot = part.find('.');
  if (dot != std::string::npos) part.erase(dot);
  return part;
}

std::string ShowAsLetters(std::uint8_t showAs) {
  switch (showAs) {
    case 0: return "L";
    case 1: return "R";
    case 2: return "G";
    case 3: return "B";
    case 4: return "LRGB";
    case 5: return "RGB";
    default: return "";
  }
}

std::string SaveNameStamp(const std::tm& stamp) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02d_%02d%02d", stamp.tm_year + 1900, stamp.tm_mon + 1, stamp.tm_mday,
                stamp.tm_hour, stamp.tm_min);
  return text;
}

bool SaveNameIsNumbered(const Settings& settings) noexcept {
  return settings.NamePostfixCheckBox && settings.NameAutonumberCheckBox;
}

std::string BuildSaveName(Settings& settings, const std::string& source, bool countUp, const std::tm& stamp) {
  std::string base;
  if (settings.NamePrefixCheckBox) {
    base = FileNameStem(settings.NameOriginalCheckBox ? source : settings.SaveNamePrefixEdit);
  } else {
    base = "CV";
  }
  if (!settings.NamePostfixCheckBox) return base;

  base += '_';
  if (settings.NameDateCheckBox) base += '_' + SaveNameStamp(stamp);
  if (settings.NameChannelCheckBox) base += '_' + ShowAsLetters(settings.EditSave.ShowAs);
  if (!settings.NameAutonumberCheckBox) return base;

  base += '_';
  TEditSaveSettings& memory = settings.EditSave;
  if (base == memory.LastSaveName) {
    if (countUp) {
      if (memory.SaveNumber == std::numeric_limits<std::int32_t>::max()) {
        throw OverflowError("BuildSaveName: the save number of \"" + base + "\" passes " +
                            std::to_string(memory.SaveNumber));
      }
      ++memory.SaveNumber;
    }
  } else {
    memory.LastSaveName = base;
    memory.SaveNumber = 0;
  }
  return base + std::to_string(memory.SaveNumber);
}

}  // namespace corvane
