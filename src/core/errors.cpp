#include "core/errors.h"

#include <limits>
#include <string>

namespace corvane {

int CheckedMul(long long a, long long b, const char* what) {
  const long long p = a * b;  // both operands are 32-bit values: no 64-bit overflow
  if (p > std::numeric_limits<int>::max() || p < std::numeric_limits<int>::min())
    throw OverflowError(std::string(what) + ": " + std::to_string(a) + " x " + std::to_string(b) +
                        " overflows 32-bit integers");
  return static_cast<int>(p);
}

}  // namespace corvane
