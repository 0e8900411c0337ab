// Choosing a reader by extension, and the BMP writer.
#include "io/picture_files.h"

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"

namespace corvane {

std::string UpperExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos) return {};
  const std::size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos && slash > dot) return {};
  std::string ext = path.substr(dot);
  for (char& ch : ext)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return ext;
}

void LoadPictureFile(Bitmap& bitmap, const std::string& path) {
  const std::string ext = UpperExtension(path);
  if (ext == ".BMP") {
    ReadBmpFile(path, bitmap);
  } else if (ext == ".JPG" || ext == ".JPEG") {
    JpegDecoder decoder;
    decoder.Decode(path, bitmap);
  }
  // ".FTS", ".FITS" and anything else: no reader; the bitmap stays as it was.
}

void ReadFramePicture(Bitmap& bitmap, JpegDecoder& decoder, const std::string& path, PictureKind kind) {
  if (kind == PictureKind::Bmp)
    ReadBmpFile(path, bitmap);
  else
    decoder.Decode(path, bitmap);
  bitmap.ConvertTo24();
}

std::string BitmapSavePath(const std::string& path) {
  const std::string ext = UpperExtension(path);
  if (ext.empty()) return path + ".bmp";
  if (ext == ".BMP") return path;
  return {};
}

namespace {

void Put16(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) noexcept {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

}  // namespace

bool SaveBitmapFile(Bitmap& bitmap, const std::string& path) {
  bitmap.ConvertTo24();
  const std::string target = BitmapSavePath(path);
  if (target.empty()) return false;

  const int w = bitmap.Width(), h = bitmap.Height();
  if (w > BitmapRowLimit24 && h > 0)
    throw RangeError("SaveBitmapFile \"" + target + "\": width " + std::to_string(w) + " passes the row limit of " +
                     std::to_string(BitmapRowLimit24) + " columns");
  // Three bytes a pixel, the row padded to a multiple of four.
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(w) * 3 + 3) / 4 * 4;
  const std::uint64_t fileSize = 54 + rowBytes * static_cast<std::uint64_t>(h);
  if (fileSize > std::numeric_limits<std::uint32_t>::max())
    throw OverflowError("SaveBitmapFile \"" + target + "\": " + std::to_string(w) + " x " + std::to_string(h) +
                        " pixels do not fit a BMP file");

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fileSize), 0);
  std::uint8_t* p = bytes.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, static_cast<std::uint32_t>(fileSize));
  Put32(p + 10, 54);
  Put32(p + 14, 40);
  Put32(p + 18, static_cast<std::uint32_t>(w));
  Put32(p + 22, static_cast<std::uint32_t>(h));
  Put16(p + 26, 1);
  Put16(p + 28, 24);
  // Compression, image size, resolutions and colour counts stay 0.
  std::uint8_t* row = p + 54;
  if (w > 0)
    for (int y = h - 1; y >= 0; --y, row += rowBytes) std::memcpy(row, bitmap.Row(y), bitmap.RowBytes());
  WriteFileAtomically(target, bytes);
  return true;
}

}  // namespace corvane
