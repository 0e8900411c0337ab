#pragma once
// The program's version, as the build gives it (the project's version).
#include <string>

namespace corvane {

/// The version text, e.g. "2.0.0" ("2" when the build gave none).
std::string ProgramVersion();

}  // namespace corvane
