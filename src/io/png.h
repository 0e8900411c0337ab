#pragma once
// PNG pictures through libpng: reading frames, darks and flats of 1 to 16 bits
// (grey, grey with alpha, palette, RGB, RGBA; alpha and transparency are
// ignored), and writing 16-bit results.
#include <string>

#include "core/file_io.h"
#include "core/picture16.h"
#include "io/frame_source.h"

namespace corvane {

/// Reads a PNG picture into the frame: pictures of up to 8 bits as a 24-bit
/// bitmap (palette colours expanded, grey as grey pixels), 16-bit pictures as
/// a 16-bit picture (grey or red, green, blue). Throws ReadError naming the
/// file: not a PNG file, a size beyond the reader limits, damaged or
/// truncated data. The frame holds no usable picture then.
void ReadPngFile(const std::string& path, SourceFrame& frame);

/// Writes the picture as a 16-bit PNG (grey, or RGB for a colour picture),
/// atomically (WriteFileAtomically: with ExistingFile::Keep a taken name is
/// left alone and the answer is false). Throws WriteError naming the file.
bool WritePng16File(const std::string& path, const Picture16& picture,
                     ExistingFile existing = ExistingFile::Replace);

}  // namespace corvane
