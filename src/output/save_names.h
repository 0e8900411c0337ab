#pragma once
// The rules that name saved pictures: the result picture, the stacked frames
// and the file-name caption above the result pane all build their names here.
#include <ctime>
#include <string>

#include "settings/settings.h"

namespace corvane {

/// The text after the last '/' or '\\' of a file name (a ':' is an ordinary
/// character of Linux file names, as in "saturn 21:30.avi").
std::string FileNamePart(const std::string& fileName);

/// The name part after the last path delimiter ('/' or '\\'), cut before
/// its first '.' (the whole name part when it has none); d:\x\moon.1.bmp gives
/// "moon".
std::string FileNameStem(const std::string& fileName);

/// The letters of a "Show" choice: "L", "R", "G", "B", "LRGB", "RGB"; "" for
/// any other value.
std::string ShowAsLetters(std::uint8_t showAs);

/// The time stamp as "yyyymmdd_hhnn" (four-digit year, month, day, "_", hour
/// 00..23, minutes), e.g. 20031105_2317.
std::string SaveNameStamp(const std::tm& stamp);

/// The save name, without folder and extension, from the name controls of the
/// "Edit / Save picture" tab:
/// - base: with "Prefix :" ticked the FileNameStem of `source` ("Original
///   name" ticked) or of SaveNamePrefixEdit; otherwise "CV";
/// - with "Postfix :" ticked: "_", then "_" and the stamp with "Date", "_"
///   and the ShowAs letters with "Channel", and with "Autonumber" "_" and the
///   number. The number comes from the memory EditSave.LastSaveName /
///   SaveNumber: a base equal to LastSaveName keeps its number, raised by 1
///   when `countUp` is true; a different base becomes LastSaveName with
///   number 0. So c:\pics\jupiter.bmp gives jupiter__0 with the defaults, and
///   jupiter__20031105_2317_LRGB_0 with "Date" and "Channel" at 23:17 on
///   5 November 2003 showing LRGB.
/// The names never hold a path delimiter. Writes EditSave.LastSaveName and
/// SaveNumber; notifies nobody. Throws OverflowError, changing nothing, when
/// the number would pass 2 147 483 647.
std::string BuildSaveName(Settings& settings, const std::string& source, bool countUp, const std::tm& stamp);

/// Whether BuildSaveName ends in a number ("Postfix :" and "Autonumber" ticked).
bool SaveNameIsNumbered(const Settings& settings) noexcept;

}  // namespace corvane
