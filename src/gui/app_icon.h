#pragma once
// The program's icon and the settings button's glyph, drawn in code (the same
// picture as data/corvane.svg, which the desktop uses once installed).
#include <QIcon>

namespace corvane::gui {

/// The program icon: three frames of one planet, stacked.
QIcon ProgramIcon();
/// The settings toggle's glyph: three sliders.
QIcon SettingsIcon();

}  // namespace corvane::gui
