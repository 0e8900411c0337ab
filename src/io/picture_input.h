#pragma once
// Helpers the picture readers share: a read-only file with positioned reads and
// the check of a picture's size against the reader limits.
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

/// A file opened for reading; closed when the object goes.
class InputFile {
 public:
  /// Opens the file without waiting on it (OpenRegularFile): a FIFO, device
  /// or folder is refused. Throws ReadError naming it and the reason.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  /// The file's size in bytes when it was opened.
  std::uint64_t Size() const noexcept { return m_size; }
  /// Reads exactly n bytes at the offset. Throws ReadError when the bytes cannot
  /// be had (an I/O error, or the file shrank since it was opened).
  void ReadAt(std::uint64_t offset, void* dst, std::size_t n) const;

 private:
  std::string m_path;
  int m_fd = -1;
  std::uint64_t m_size = 0;
};

/// True when a picture of width x height lies within the reader limits
/// (PictureMaxSide per side, PictureMaxPixels in all). Sizes below 1 are not.
bool PictureSizeAllowed(std::int64_t width, std::int64_t height) noexcept;

}  // namespace corvane

