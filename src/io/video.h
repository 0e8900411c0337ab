#pragma once
// Frames of AVI videos: the number of frames of a video and any one frame as a
// 24-bit bitmap. Only the first stream of a file (stream index 0) is used, and
// only when it is a video stream. Frame numbers count from 0.
//
// Decoded through FFmpeg: uncompressed 8-bit (any palette), 24-bit BGR, Y800 /
// GREY, YUY2, I420 / YV12, MJPEG and whatever else the library decodes. Frames
// beyond the reader limits (32 768 per side, 2^26 pixels) are refused. Nothing here throws for a bad
// file: every failure is a count of -1 or a `false`.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/bitmap.h"

namespace corvane {

/// Keeps one video open (the file last asked for; reopened when another file is
/// asked for, or when the file changed on disk) and reads sequential frames
/// without seeking again. Uncompressed videos are read straight from the file
/// by their index into one reused buffer. Compressed videos decode on every
/// core: the decoder's own frame or slice threads, and, while frames are asked
/// for in steady steps, the next frames decoded ahead and converted to bitmaps
/// on threads of their own. The results never depend on what was read before
/// or on the threads: a reader gives exactly what a fresh single-threaded
/// reader gives. Not for use from several threads at once.
class VideoReader {
 public:
  /// A reader that uses every core.
  VideoReader();
  /// A reader with `threads` threads: 0 every core, 1 only the caller's.
  explicit VideoReader(int threads);
  ~VideoReader();
  VideoReader(VideoReader&&) noexcept;
  VideoReader& operator=(VideoReader&&) noexcept;
  VideoReader(const VideoReader&) = delete;
  VideoReader& operator=(const VideoReader&) = delete;

  /// Frames of stream 0 when it is a video stream, from the container's stream
  /// header (not by decoding all frames). -1 when the file cannot be opened or
  /// is not an AVI file, has no stream, stream 0 is not video, the length is
  /// negative, or its frames cannot be decoded at all (no decoder for its
  /// codec, a frame size of 0 or beyond the reader limits).
  int FrameCount(const std::string& path);

  /// Frame n of stream 0 as a 24-bit bitmap (PixelFormat::Bgr24, no palette)
  /// of the stream's size, rows from the top. False on any failure (the bitmap
  /// is then unchanged): n outside 0 .. FrameCount - 1, a missing, truncated or
  /// undecodable frame, a frame of another size than the stream's. A frame the
  /// recorder dropped (an empty chunk between two recorded frames) repeats the
  /// frame before it, as AVI players show it. Exact frame numbers whatever was
  /// read before, in any order (seek by the index, then decode forward to n).
  /// Decoding of an inter-frame codec starts only at a frame the decoder marks
  /// as a key frame: when the index calls frames key frames that are not (a
  /// recording cut off before its index), the reader starts from the last key
  /// frame it has seen or from frame 0, and refuses the frame when even that
  /// gives no key frame.
  bool ReadFrame(const std::string& path, int n, Bitmap& out);

  /// Takes the video from `bytes` instead of a file, under the name `name`:
  /// FrameCount(name) and ReadFrame(name, n) then decode it through the
  /// library's I/O context over the buffer, with no file in between (tests,
  /// fuzzing). The bytes must stay unchanged until Close or a request for
  /// another name, which ends it.
  void OpenMemory(std::span<const std::uint8_t> bytes, const std::string& name);

  /// Closes the video (the next call opens it again).
  void Close();

  /// Closes the video and sets the threads for the next one (as the constructor).
  void SetThreads(int threads);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

/// The reader's FrameCount.
int AVIFrameCount(VideoReader& reader, const std::string& path);
/// The reader's ReadFrame of frame n into `target`.
bool AVIReadFrame(VideoReader& reader, const std::string& path, Bitmap& target, int n);
/// False without reading unless the file's upper-cased extension is ".AVI";
/// otherwise AVIReadFrame.
bool AVILoadFrame(VideoReader& reader, const std::string& path, int n, Bitmap& target);

}  // namespace corvane
