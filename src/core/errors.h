#pragma once
// The one family of errors the core throws. Each message names the operation,
// the file if there is one, and the offending values. Front-ends catch them at
// the action boundary only.
#include <stdexcept>
#include <string>

namespace corvane {

/// Base of every error the core raises on purpose.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A value outside the range an operation accepts (a factor above 65535, an
/// oversized kernel, a row longer than a line buffer, a bitmap column limit).
class RangeError : public Error {
 public:
  using Error::Error;
};

/// An integer result that does not fit its type (size products, level maths).
class OverflowError : public Error {
 public:
  using Error::Error;
};

/// A file that cannot be read or decoded; the message names the file.
class ReadError : public Error {
 public:
  using Error::Error;
};

/// A file that cannot be written; the message names the file and the reason.
class WriteError : public Error {
 public:
  using Error::Error;
};

/// Multiplies two non-negative sizes, throwing OverflowError naming `what`
/// when the product leaves the 32-bit signed range.
int CheckedMul(long long a, long long b, const char* what);

}  // namespace corvane
