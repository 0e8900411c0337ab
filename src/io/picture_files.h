#pragma once
// Picture files: reading BMP and JPEG pictures into a Bitmap and writing
// 24-bit BMP files.
//
// Readers refuse bad input with a ReadError naming the file and the problem and
// never allocate more than a picture of the size limit below needs: each side
// at most PictureMaxSide pixels and at most PictureMaxPixels pixels in all.
// Readers leave the destination bitmap unchanged when they throw.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace corvane {

/// Largest width or height a picture reader accepts.
constexpr std::int32_t PictureMaxSide = 32768;
/// Largest pixel count (width x height) a picture reader accepts: 64 Mi pixels,
/// 192 MiB as a 24-bit bitmap.
constexpr std::int64_t PictureMaxPixels = std::int64_t{1} << 26;
/// Columns a 24-bit row is read or written through (0 .. 32767), the widest
/// picture the readers give; the kernel window, the field operations and the
/// BMP writer refuse to go further.
constexpr std::int32_t BitmapRowLimit24 = PictureMaxSide;

enum class PictureKind { Bmp, Jpeg };

/// Upper-cased extension with the dot, taken from the last '.' after the last
/// path delimiter ('/' or '\\'); "" when none. "a/b.c/name" gives "", "x." gives ".".
std::string UpperExtension(const std::string& path);

/// Reusable JPEG decoder (libjpeg-turbo). It keeps the codec's state and its
/// buffers between files, so one decoder serves a whole load run. Decodes to a
/// 24-bit Bitmap; a greyscale JPEG gives grey pixels, a CMYK one is converted
/// to RGB. Throws ReadError naming the file on any corrupt or truncated input
/// (the codec's warnings about corrupt data count as errors) and on pictures
/// beyond the reader limits; `out` is then left as it was.
class JpegDecoder {
 public:
  JpegDecoder();
  ~JpegDecoder();
  JpegDecoder(JpegDecoder&&) noexcept;
  JpegDecoder& operator=(JpegDecoder&&) noexcept;
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  void Decode(const std::string& path, Bitmap& out);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

/// Reads a BMP file into the bitmap. Accepts uncompressed 1-, 4- and 8-bit
/// pictures with a palette (given as an Indexed8 bitmap that keeps the
/// palette), RLE8 and RLE4 (Indexed8 too), 16-bit (5-5-5, or bit fields) and
/// 32-bit bit-field pictures (both given as Bgr24), 24-bit (Bgr24) and plain
/// 32-bit (Bgrx32); rows bottom-up or top-down. Throws ReadError naming the
/// file and the problem (wrong signature, truncated headers, palette or pixel
/// data, sizes that are zero, negative or beyond the limits, an offset beyond
/// the file, a palette index beyond the palette, an unsupported kind); the
/// bitmap is then left as it was.
void ReadBmpFile(const std::string& path, Bitmap& out);

/// The picture reader of the 8-bit kinds, chosen by UpperExtension: ".BMP" is
/// read with ReadBmpFile (in whatever format it has; the caller makes it
/// 24-bit); ".JPG" and ".JPEG" are decoded as frames are; ".FTS", ".FITS" and
/// any other extension read nothing and leave the bitmap as it was. (Frame
/// loading reads dark frames and flat fields of every picture kind, FITS too,
/// at full precision through ReadPictureFrame in io/frame_source.h.) Throws
/// what the readers throw.
void LoadPictureFile(Bitmap& bitmap, const std::string& path);

/// The frame loader's reader: a BMP straight into the bitmap, a JPEG through the
/// decoder; then the bitmap is made 24-bit. Throws what the readers throw.
void ReadFramePicture(Bitmap& bitmap, JpegDecoder& decoder, const std::string& path, PictureKind kind);

/// The name SaveBitmapFile writes: the name with ".bmp" appended when it has no
/// extension, the name itself when its extension is ".BMP" in any case, and ""
/// (nothing is written) for any other extension.
std::string BitmapSavePath(const std::string& path);

/// The bytes of the BMP file SaveBitmapFile writes for the bitmap (made 24-bit
/// first); `target` names the file in messages. Throws RangeError and
/// OverflowError as SaveBitmapFile does.
std::vector<std::uint8_t> EncodeBitmapFile(Bitmap& bitmap, const std::string& target);

/// Writes the bitmap as an uncompressed 24-bit BMP file (54-byte header, rows
/// bottom-up, each padded with zero bytes to a multiple of four), under the
/// name BitmapSavePath gives. A bitmap of another format is made 24-bit first
/// (the bitmap changes). Returns false, writing nothing, when the extension
/// forbids it; true when written. The file goes through WriteFileAtomically, so
/// a failed write leaves any earlier file of that name intact and no partial
/// file behind. Throws WriteError naming the file and the reason, RangeError
/// when the bitmap is wider than BitmapRowLimit24, OverflowError when the file
/// would not fit the 32-bit size field.
bool SaveBitmapFile(Bitmap& bitmap, const std::string& path);

}  // namespace corvane
