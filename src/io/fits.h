#pragma once
// FITS pictures through cfitsio: reading frames, darks and flats, and writing
// 16-bit results.
//
// Read: the first header-data unit that holds an image of two axes, or three
// axes whose third has 1 (grey) or 3 (red, green, blue planes) elements;
// tile-compressed images read like any other. Sample values are the physical
// values (BZERO and BSCALE applied), taken to 16 bits by the data type:
//  - 8-bit data: an 8-bit picture (a 24-bit bitmap), values held to 0..255;
//  - 16-bit integers: as they are, held to 0..65535 (BZERO 32768 gives the
//    usual unsigned samples);
//  - 32-bit integers: the top 16 of 32 bits (value div 65536), negative
//    values 0;
//  - 32- and 64-bit floating point: data whose finite values all lie in
//    0..1 is normalised data and is multiplied by 65535; other data is taken
//    as 16-bit values; both rounded to nearest and held to 0..65535; NaN and
//    blank values are 0.
// Rows: the first row of a FITS image is the bottom of the picture, unless
// the header says ROWORDER = 'TOP-DOWN'.
#include <string>

#include "core/file_io.h"
#include "core/picture16.h"
#include "io/frame_source.h"

namespace corvane {

/// Reads a FITS picture into the frame (8-bit data as a 24-bit bitmap, deeper
/// data as a 16-bit picture). Throws ReadError naming the file: not a FITS
/// file, no image of the shapes above, 64-bit integers, a size beyond the
/// reader limits, or damaged data. The frame holds no usable picture then.
void ReadFitsFile(const std::string& path, SourceFrame& frame);

/// Writes the picture as a 16-bit FITS file: BITPIX 16 with BZERO 32768 (so
/// 0..65535 are stored exactly), NAXIS 2 for a grey picture, NAXIS 3 with
/// three planes red, green, blue for a colour one, rows from the bottom
/// (ROWORDER 'BOTTOM-UP'). Written atomically. Throws WriteError naming the
/// file.
bool WriteFits16File(const std::string& path, const Picture16& picture,
                     ExistingFile existing = ExistingFile::Replace);

}  // namespace corvane
