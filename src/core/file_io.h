#pragma once
// Whole-file reading and the write-to-a-temporary-then-rename writer that every
// output of the program goes through, so that no output file is ever left
// half-written.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace corvane {

/// Reads the whole file. Throws ReadError naming the file and the reason.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

/// Writes `bytes` to a temporary file in the target's folder, flushes it and
/// renames it over `path`. On any failure the temporary file is removed, the
/// target is left as it was, and WriteError names the file and the reason.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace corvane
