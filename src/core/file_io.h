#pragma once
// Opening files for reading without waiting on special files, whole-file
// reading, and the atomic writer that every output of the program goes
// through, so that no output file is ever left half-written.
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace corvane {

/// Opens `path` for reading and checks that it is a regular file before
/// anything can wait on it: the open does not block (a FIFO with no writer, a
/// terminal), and a FIFO, device, socket or folder is refused. Answers the
/// descriptor (the caller closes it; reads on it block as usual) and the
/// file's size. Throws ReadError naming the file and the reason.
int OpenRegularFile(const std::string& path, std::uint64_t& size);

/// Reads the whole regular file (OpenRegularFile). Throws ReadError naming
/// the file and the reason, also when it holds more than `maxBytes`.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path,
                                        std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

/// What WriteFileAtomically does when the target's name is taken.
enum class ExistingFile {
  Replace,  ///< the new file replaces it
  Keep,     ///< nothing is written and the answer is false
};

/// Writes `bytes` as the file `path`, all or nothing. The bytes go into an
/// unnamed file in the target's folder (O_TMPFILE), which gets its name only
/// when complete, so not even a killed process leaves a partial file behind;
/// where the file system has no unnamed files, a temporary ".name.XXXXXX" is
/// used instead and removed on failure. The file gets mode 0644 and is flushed
/// to the disk before it is named.
///
/// With ExistingFile::Replace an existing file of that name is replaced (a
/// symbolic link is replaced, not followed) and the answer is true. With Keep
/// an existing name, also one that appeared while the bytes were written, is
/// never touched: the answer is false and nothing is left behind. On any
/// failure the target is left as it was and WriteError names the file and the
/// reason.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         ExistingFile existing = ExistingFile::Replace);

}  // namespace corvane
