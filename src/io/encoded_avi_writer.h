#pragma once
// A writer of compressed AVI videos (MPEG-4 part 2, H.264, MJPEG) through
// FFmpeg's encoders, for tests, benchmarks and the sample-video tool: the
// recordings many cameras and capture programs make.
#include <memory>
#include <string>

#include "io/avi_writer.h"

namespace corvane {

enum class AviCodec {
  Mpeg4,  ///< MPEG-4 part 2 ("FMP4"), intra frame every `KeyInterval` frames
  H264,   ///< H.264 through libx264, no B-frames
  Mjpeg,  ///< motion JPEG: every frame a JPEG picture
};

struct EncodedAviOptions {
  AviCodec Codec = AviCodec::Mpeg4;
  int Fps = 25;
  int KeyInterval = 12;  ///< frames from one key frame to the next (MPEG-4, H.264)
  int Quality = 3;       ///< MPEG-4 / MJPEG quantiser 1 (best) .. 31; H.264 constant rate factor x 6
};

/// Writes a compressed AVI file frame by frame. As AviWriter, the file is
/// built under a temporary name in the target's folder and renamed only by
/// Finish; an unfinished writer removes its temporary file.
class EncodedAviWriter {
 public:
  /// Starts a video of width x height pixels (even sizes for MPEG-4 and H.264,
  /// both at least 2). Frames are given as `format` (grey frames are encoded
  /// with neutral colour). Throws WriteError naming the file when the sizes
  /// are out of range, the encoder is missing, or the file cannot be made.
  EncodedAviWriter(const std::string& path, int width, int height, AviPixelFormat format,
                   const EncodedAviOptions& options = {});
  ~EncodedAviWriter();
  EncodedAviWriter(const EncodedAviWriter&) = delete;
  EncodedAviWriter& operator=(const EncodedAviWriter&) = delete;

  /// Encodes one frame: width x height pixels, rows from the top, packed as
  /// AviWriter::AddFrame takes them. Throws WriteError when encoding or
  /// writing fails or Finish was called.
  void AddFrame(const std::uint8_t* topDownPixels);

  /// Drains the encoder, writes the index, closes the file and renames it to
  /// the target. Throws WriteError on failure or when called twice.
  void Finish();

  /// Whether the library has an encoder for the codec.
  static bool Available(AviCodec codec);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace corvane
