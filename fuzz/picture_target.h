#pragma once
// The body shared by the targets of picture readers that fill a SourceFrame
// from a file name (PNG, TIFF, FITS).
#include <string>

#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "io/frame_source.h"
#include "io/picture_input.h"

namespace corvane::fuzz {

/// Reads the input with `read`; a ReadError is the one answer bad bytes may
/// get, and what is read must be a picture within the reader limits, grey or
/// colour.
inline int ReadPictureInput(void (*read)(const std::string&, SourceFrame&), const std::uint8_t* data,
                            std::size_t size) {
  static MemoryFile file;
  SourceFrame frame;
  try {
    read(file.Hold(data, size), frame);
  } catch (const ReadError&) {
    return 0;
  }
  if (!PictureSizeAllowed(frame.Width(), frame.Height())) Broken("a picture beyond the reader limits");
  if (frame.IsDeep && frame.Deep.Channels() != 1 && frame.Deep.Channels() != 3)
    Broken("a deep picture that is neither grey nor colour");
  return 0;
}

}  // namespace corvane::fuzz
