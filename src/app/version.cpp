#include "app/version.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "2"
#endif

namespace corvane {

std::string ProgramVersion() { return CORVANE_VERSION; }

}  // namespace corvane
