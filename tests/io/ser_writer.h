#pragma once
// Writes SER videos byte by byte for the tests and benchmarks: the 178-byte
// header as given, then the frames' samples in the byte order asked for.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "io/bmp_builder.h"  // WriteBytes

namespace corvane::test {

struct SerLayout {
  std::int32_t Colour = 0;
  std::int32_t LittleEndianFlag = 0;  ///< what the header says
  std::int32_t Width = 4;
  std::int32_t Height = 3;
  std::int32_t Depth = 8;
  std::int32_t HeaderFrames = -1;  ///< -1: the number of frames written
  bool SamplesLittle = true;       ///< how 16-bit samples are really stored
  bool Trailer = true;             ///< 8 bytes of time stamp per frame after the frames
};

inline void PutLe32(std::vector<std::uint8_t>& b, std::size_t at, std::int64_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i));
}

/// The file's bytes. `frames` holds each frame's samples (width x height x
/// samples per pixel, in file order).
inline std::vector<std::uint8_t> SerBytes(const SerLayout& s, const std::vector<std::vector<std::uint16_t>>& frames) {
  std::vector<std::uint8_t> b(178, 0);
  std::memcpy(b.data(), "LUCAM-RECORDER", 14);
  PutLe32(b, 18, s.Colour);
  PutLe32(b, 22, s.LittleEndianFlag);
  PutLe32(b, 26, s.Width);
  PutLe32(b, 30, s.Height);
  PutLe32(b, 34, s.Depth);
  PutLe32(b, 38, s.HeaderFrames >= 0 ? s.HeaderFrames : static_cast<std::int64_t>(frames.size()));
  std::memcpy(b.data() + 42, "observer", 8);
  for (const auto& frame : frames)
    for (std::uint16_t v : frame) {
      if (s.Depth <= 8) {
        b.push_back(static_cast<std::uint8_t>(v));
      } else if (s.SamplesLittle) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
      } else {
        b.push_back(static_cast<std::uint8_t>(v >> 8));
        b.push_back(static_cast<std::uint8_t>(v));
      }
    }
  if (s.Trailer) b.resize(b.size() + 8 * frames.size(), 0x11);
  return b;
}

inline void WriteSer(const std::string& path, const SerLayout& s, const std::vector<std::vector<std::uint16_t>>& frames) {
  WriteBytes(path, SerBytes(s, frames));
}

}  // namespace corvane::test
