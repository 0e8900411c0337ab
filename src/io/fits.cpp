// FITS through cfitsio. Files are opened as plain disk files, so a name is
// never read as cfitsio's extended syntax ("x.fits[1]", "mem://").
#include "io/fits.h"

#include <fitsio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"
#include "io/picture_input.h"

namespace corvane {
namespace {

/// cfitsio's message for a status, and the first message of its stack.
std::string StatusText(int status) {
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  std::string message = text;
  char detail[FLEN_ERRMSG] = {};
  if (fits_read_errmsg(detail) != 0 && detail[0] != '\0' && message.find(detail) == std::string::npos)
    message += std::string(" (") + detail + ")";
  fits_clear_errmsg();
  return message;
}

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
  throw ReadError("FITS picture \"" + path + "\": " + problem);
}

struct FitsClose {
  void operator()(fitsfile* f) const noexcept {
    int status = 0;
    fits_close_file(f, &status);
  }
};
using FitsPtr = std::unique_ptr<fitsfile, FitsClose>;

/// How physical values become 16-bit samples.
enum class Scale { Byte, Word, TopOfLong, Float, NormalisedFloat };

std::uint16_t ToSample(double v, Scale scale) noexcept {
  if (!(v == v)) return 0;  // NaN
  switch (scale) {
    case Scale::Byte: return static_cast<std::uint16_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
    case Scale::Word:
    case Scale::Float: return static_cast<std::uint16_t>(std::clamp(std::nearbyint(v), 0.0, 65535.0));
    case Scale::TopOfLong: return static_cast<std::uint16_t>(std::clamp(std::floor(v / 65536.0), 0.0, 65535.0));
    case Scale::NormalisedFloat:
      return static_cast<std::uint16_t>(std::clamp(std::nearbyint(v * 65535.0), 0.0, 65535.0));
  }
  return 0;
}

}  // namespace

void ReadFitsFile(const std::string& path, SourceFrame& frame) {
  std::uint64_t size = 0;
  ::close(OpenRegularFile(path, size));  // refuses pipes and devices before cfitsio opens the name
  fitsfile* raw = nullptr;
  int status = 0;
  if (fits_open_diskfile(&raw, path.c_str(), READONLY, &status) != 0) {
    if (raw != nullptr) FitsClose{}(raw);
    Fail(path, StatusText(status));
  }
  const FitsPtr file(raw);
  int hdus = 0;
  if (fits_get_num_hdus(raw, &hdus, &status) != 0) Fail(path, StatusText(status));
  int bitpix = 0, naxis = 0;
  LONGLONG axes[3] = {0, 0, 0};
  bool found = false;
  for (int hdu = 1; hdu <= hdus && !found; ++hdu) {
    int type = 0;
    if (fits_movabs_hdu(raw, hdu, &type, &status) != 0) Fail(path, StatusText(status));
    if (type != IMAGE_HDU && !fits_is_compressed_image(raw, &status)) continue;
    LONGLONG all[9] = {};
    if (fits_get_img_paramll(raw, 9, &bitpix, &naxis, all, &status) != 0) Fail(path, StatusText(status));
    if (naxis < 2) continue;
    bool extra = false;
    for (int i = 3; i < std::min(naxis, 9); ++i) extra = extra || all[i] != 1;
    if (naxis > 9 || extra || (naxis >= 3 && all[2] != 1 && all[2] != 3))
      Fail(path, "the image has " + std::to_string(naxis) + " axes; a picture needs 2, or 3 with 1 or 3 planes");
    std::copy_n(all, 3, axes);
    found = true;
  }
  if (!found) Fail(path, "no image in the file");
  const LONGLONG width = axes[0], height = axes[1];
  const int planes = naxis >= 3 && axes[2] == 3 ? 3 : 1;
  if (!PictureSizeAllowed(width, height))
    Fail(path, "the size " + std::to_string(width) + " x " + std::to_string(height) +
                   " is 0 or beyond the reader limits (" + std::to_string(PictureMaxSide) + " per side, " +
                   std::to_string(PictureMaxPixels) + " pixels)");
  int equivalent = 0;
  if (fits_get_img_equivtype(raw, &equivalent, &status) != 0) Fail(path, StatusText(status));

  bool topDown = false;
  char order[FLEN_VALUE] = {};
  int missing = 0;
  if (fits_read_key(raw, TSTRING, "ROWORDER", order, nullptr, &missing) == 0) {
    std::string o = order;
    o.erase(std::remove(o.begin(), o.end(), ' '), o.end());
    for (char& c : o) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    topDown = o == "TOP-DOWN";
  }
  fits_clear_errmsg();

  const int w = static_cast<int>(width), h = static_cast<int>(height);
  std::vector<double> row(static_cast<std::size_t>(w));
  // Reads FITS row `fitsRow` (1-based) of a plane (1-based) into `row`.
  auto readRow = [&](int fitsRow, int plane) {
    LONGLONG first[3] = {1, fitsRow, plane};
    double blank = 0;  // NaN and blank values read as 0
    int anyBlank = 0;
    if (fits_read_pixll(raw, TDOUBLE, first, w, &blank, row.data(), &anyBlank, &status) != 0)
      Fail(path, StatusText(status));
  };
  auto pictureRow = [&](int fitsRow) { return topDown ? fitsRow - 1 : h - fitsRow; };

  Scale scale = Scale::Word;
  switch (equivalent) {
    case BYTE_IMG:
    case SBYTE_IMG: scale = Scale::Byte; break;
    case SHORT_IMG:
    case USHORT_IMG: scale = Scale::Word; break;
    case LONG_IMG:
    case ULONG_IMG: scale = Scale::TopOfLong; break;
    case FLOAT_IMG:
    case DOUBLE_IMG: {
      // Normalised data (all finite values within 0..1) is found by a first pass.
      bool normalised = true;
      for (int plane = 1; plane <= planes && normalised; ++plane)
        for (int r = 1; r <= h && normalised; ++r) {
          readRow(r, plane);
          for (double v : row)
            if (std::isfinite(v) && (v < 0.0 || v > 1.0)) {
              normalised = false;
              break;
            }
        }
      scale = normalised ? Scale::NormalisedFloat : Scale::Float;
      break;
    }
    default: Fail(path, "BITPIX " + std::to_string(bitpix) + " data (64-bit integers) is not read");
  }

  if (scale == Scale::Byte) {
    Bitmap& b = frame.UseBitmap24(w, h);
    for (int plane = 1; plane <= planes; ++plane) {
      for (int r = 1; r <= h; ++r) {
        readRow(r, plane);
        std::uint8_t* dst = b.Row(pictureRow(r));
        for (int x = 0; x < w; ++x) {
          const auto v = static_cast<std::uint8_t>(ToSample(row[static_cast<std::size_t>(x)], scale));
          if (planes == 1)
            dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = v;
          else
            dst[3 * x + 3 - plane] = v;  // plane 1 red -> byte 2, 2 green -> 1, 3 blue -> 0
        }
      }
    }
    return;
  }
  Picture16& p = frame.UseDeep();
  p.Reshape(w, h, planes);
  for (int plane = 1; plane <= planes; ++plane) {
    for (int r = 1; r <= h; ++r) {
      readRow(r, plane);
      std::uint16_t* dst = p.Row(pictureRow(r)) + (plane - 1);
      for (int x = 0; x < w; ++x)
        dst[static_cast<std::size_t>(x) * planes] = ToSample(row[static_cast<std::size_t>(x)], scale);
    }
  }
}

bool WriteFits16File(const std::string& path, const Picture16& picture, ExistingFile existing) {
  auto fail = [&path](int status) -> void {
    throw WriteError("cannot write the FITS file \"" + path + "\": " + StatusText(status));
  };
  // The file is built in memory and written through the atomic writer.
  std::size_t size = 2880 * 4;
  void* buffer = std::malloc(size);
  if (buffer == nullptr) throw std::bad_alloc();
  struct BufferFree {
    void** Block;
    ~BufferFree() { std::free(*Block); }
  } release{&buffer};
  fitsfile* f = nullptr;
  int status = 0;
  if (fits_create_memfile(&f, &buffer, &size, 2880 * 64, std::realloc, &status) != 0) fail(status);
  const int planes = picture.Channels();
  long axes[3] = {picture.Width(), picture.Height(), planes};
  const int naxis = planes == 3 ? 3 : 2;
  fits_create_img(f, USHORT_IMG, naxis, axes, &status);
  fits_write_key(f, TSTRING, "ROWORDER", const_cast<char*>("BOTTOM-UP"), "first row is the bottom of the picture",
                 &status);
  fits_write_key(f, TSTRING, "PROGRAM", const_cast<char*>("Corvane"), "the program that wrote the file", &status);
  if (status != 0) {
    FitsClose{}(f);
    fail(status);
  }
  std::vector<std::uint16_t> row(static_cast<std::size_t>(picture.Width()));
  for (int plane = 1; plane <= planes && status == 0; ++plane) {
    for (int y = 0; y < picture.Height() && status == 0; ++y) {
      const std::uint16_t* src = picture.Row(picture.Height() - 1 - y) + (plane - 1);
      for (int x = 0; x < picture.Width(); ++x)
        row[static_cast<std::size_t>(x)] = src[static_cast<std::size_t>(x) * planes];
      LONGLONG first[3] = {1, y + 1, plane};
      fits_write_pixll(f, TUSHORT, first, picture.Width(), row.data(), &status);
    }
  }
  int closing = 0;
  fits_close_file(f, &closing);
  if (status == 0) status = closing;
  if (status != 0) fail(status);
  // The memory file's size: the header and data units written, in 2880-byte blocks.
  std::size_t used = 0;
  {
    // cfitsio leaves `size` as the allocated size; the file length is the
    // header (whole blocks) plus the padded data.
    const std::size_t samples = static_cast<std::size_t>(picture.Width()) * static_cast<std::size_t>(picture.Height()) *
                                static_cast<std::size_t>(planes);
    const std::size_t data = (samples * 2 + 2879) / 2880 * 2880;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::size_t header = 0;
    while (header + 2880 <= size) {
      bool end = false;
      for (std::size_t card = 0; card < 36 && !end; ++card)
        end = std::memcmp(bytes + header + 80 * card, "END     ", 8) == 0;
      header += 2880;
      if (end) break;
    }
    used = std::min(size, header + data);
  }
  return WriteFileAtomically(path, {static_cast<const std::uint8_t*>(buffer), used}, existing);
}

}  // namespace corvane
