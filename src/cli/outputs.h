#pragma once
// The batch tool's own output files: 16-bit PGM pictures of planes, names of
// per-channel files, and output folders made when missing. Every file goes
// through the atomic writer, so none is ever left half-written.
#include <cstdint>
#include <string>
#include <vector>

#include "core/image16.h"

namespace corvane::cli {

/// The plane as a binary PGM: "P5", width, height, maxval 65535, then the
/// samples as big-endian 16-bit words, top row first.
std::vector<std::uint8_t> EncodePgm16(const TImage16& plane);

/// Writes EncodePgm16(plane) to `path` (temporary name, then rename). Throws
/// WriteError naming the file.
void WritePgm16(const std::string& path, const TImage16& plane);

/// `path` with "_" + suffix put before its extension: ("out/sum.pgm", "R")
/// gives "out/sum_R.pgm".
std::string WithSuffix(const std::string& path, const std::string& suffix);

/// Makes the folder and its parents when missing. Throws WriteError naming the
/// folder when it cannot be made or a file of that name is in the way.
void EnsureFolder(const std::string& folder);

/// Makes the folder that holds `path` when missing (nothing for a bare name).
void EnsureParentFolder(const std::string& path);

/// Makes the folder when missing (EnsureFolder; "" is the current folder) and
/// checks that files can be made in it. Throws WriteError naming the folder
/// and the reason, so that a run does not end in an output error after all
/// of its work is done.
void EnsureWritableFolder(const std::string& folder);

/// The folder as a prefix for file names: empty stays empty ("the current
/// folder"), otherwise a '/' is appended when it has none.
std::string FolderPrefix(const std::string& folder);

}  // namespace corvane::cli
