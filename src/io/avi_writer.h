#pragma once
// A minimal writer of uncompressed AVI videos (one video stream of DIB frames,
// with an idx1 index), for tests, benchmarks and the sample-video tool.
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

enum class AviPixelFormat {
  Grey8,  ///< 8 bits per pixel with a 256-entry grey palette (entry i = i, i, i)
  Bgr24,  ///< 24 bits per pixel: blue, green, red
};

/// Writes an AVI file frame by frame. The file is built under a temporary name
/// in the target's folder and renamed to the target only by Finish, so an
/// unfinished writer never leaves a partial video behind (its destructor
/// removes the temporary file).
class AviWriter {
 public:
  /// Starts a video of width x height pixels (both at least 1) at `fps` frames
  /// per second (at least 1). Throws WriteError naming the file when the sizes
  /// are out of range or the temporary file cannot be made.
  AviWriter(const std::string& path, int width, int height, AviPixelFormat format, int fps = 25);
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  /// Appends one frame: width x height pixels, rows from the top, packed
  /// (1 byte per pixel for Grey8, 3 bytes blue-green-red for Bgr24). Stored
  /// bottom-up with rows padded to 4 bytes, as DIBs are. Throws WriteError when
  /// the file cannot be written, grows past 2 GiB, or Finish was called.
  void AddFrame(const std::uint8_t* topDownPixels);

  /// Writes the index (idx1), fixes the sizes in the headers, flushes the file
  /// and renames it to the target. Throws WriteError on failure (the temporary
  /// file is then removed) or when called twice.
  void Finish();

  int FrameCount() const noexcept { return static_cast<int>(m_index.size()); }

 private:
  struct IndexEntry {
    std::uint32_t Offset;  // of the chunk header, counted from the 'movi' four-character code
    std::uint32_t Size;    // of the chunk data
  };

  void WriteAll(const std::uint8_t* bytes, std::size_t count);
  void WriteAt(std::uint64_t position, const std::uint8_t* bytes, std::size_t count);
  [[noreturn]] void Fail(const std::string& reason);
  void Discard() noexcept;

  std::string m_path;
  std::string m_tempPath;
  int m_fd = -1;
  int m_width = 0;
  int m_height = 0;
  int m_bytesPerPixel = 1;
  std::size_t m_stride = 0;      // bytes of one stored row, padded to 4
  std::uint64_t m_position = 0;  // bytes written so far
  std::uint64_t m_moviFourcc = 0;
  std::vector<std::uint8_t> m_chunk;  // one frame chunk, reused
  std::vector<IndexEntry> m_index;
};

}  // namespace corvane
