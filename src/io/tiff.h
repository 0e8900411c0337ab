#pragma once
// TIFF pictures through libtiff: reading frames, darks and flats, and writing
// 16-bit results.
//
// Read: pictures of up to 8 bits a sample of any kind libtiff converts to
// colour (grey, palette, RGB, YCbCr, CMYK, any compression), and unsigned
// 16-bit grey (min-is-black or min-is-white) and RGB pictures, in strips or
// tiles, samples together or in planes; extra samples (alpha) are ignored.
// The first picture (directory) of the file is read, rows from the top
// (16-bit pictures stored from the bottom are turned the right way up).
#include <string>

#include "core/file_io.h"
#include "core/picture16.h"
#include "io/frame_source.h"

namespace corvane {

/// Reads a TIFF picture into the frame (up to 8 bits: a 24-bit bitmap; 16
/// bits: a 16-bit picture). Throws ReadError naming the file: not a TIFF
/// file, a size beyond the reader limits, a sample kind other than those
/// above (floating point, 32 bits), damaged data. The frame holds no usable
/// picture then.
void ReadTiffFile(const std::string& path, SourceFrame& frame);

/// Writes the picture as an uncompressed 16-bit TIFF (grey min-is-black, or
/// RGB), atomically (WriteFileAtomically: with ExistingFile::Keep a taken name is
/// left alone and the answer is false). Throws WriteError naming the file.
bool WriteTiff16File(const std::string& path, const Picture16& picture,
                     ExistingFile existing = ExistingFile::Replace);

}  // namespace corvane
