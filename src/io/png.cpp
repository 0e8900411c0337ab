// PNG through libpng. libpng reports errors by a jump back to the function
// that set it up; only plain C data lives in those functions' frames between
// the jump's set-up and the jump.
#include "io/png.h"

#include <png.h>
#include <unistd.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"
#include "io/picture_input.h"

namespace corvane {
namespace {

struct ErrorState {
  char Message[256] = {};
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  auto* state = static_cast<ErrorState*>(png_get_error_ptr(png));
  std::snprintf(state->Message, sizeof state->Message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct FileClose {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

enum class ReadResult { Ok, Error, TooLarge };

/// The decoding itself. `rows` and the frame are set up by the caller's
/// objects; this function holds only C data across the jump.
ReadResult Decode(std::FILE* file, SourceFrame& frame, std::vector<png_bytep>& rows, ErrorState& err,
                  png_uint_32& width, png_uint_32& height) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &err, OnError, OnWarning);
  if (png == nullptr) {
    std::snprintf(err.Message, sizeof err.Message, "out of memory");
    return ReadResult::Error;
  }
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return ReadResult::Error;
  }
  if (info == nullptr) png_error(png, "out of memory");
  png_init_io(png, file);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  int depth = 0, colour = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
  if (!PictureSizeAllowed(width, height)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return ReadResult::TooLarge;
  }
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if ((colour & PNG_COLOR_MASK_ALPHA) != 0) png_set_strip_alpha(png);
  const bool deep = depth == 16;
  const bool grey = (colour & PNG_COLOR_MASK_COLOR) == 0;
  if (deep) {
    if constexpr (std::endian::native == std::endian::little) png_set_swap(png);
  } else {
    if (grey) png_set_gray_to_rgb(png);
    png_set_bgr(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  rows.resize(static_cast<std::size_t>(h));
  if (deep) {
    Picture16& p = frame.UseDeep();
    p.Reshape(w, h, grey ? 1 : 3);
    for (int y = 0; y < h; ++y) rows[static_cast<std::size_t>(y)] = reinterpret_cast<png_bytep>(p.Row(y));
  } else {
    Bitmap& b = frame.UseBitmap24(w, h);
    for (int y = 0; y < h; ++y) rows[static_cast<std::size_t>(y)] = b.Row(y);
  }
  if (png_get_rowbytes(png, info) != (deep ? frame.Deep.RowSamples() * 2 : frame.Bits.RowBytes()))
    png_error(png, "unexpected row layout");
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return ReadResult::Ok;
}

}  // namespace

void ReadPngFile(const std::string& path, SourceFrame& frame) {
  std::uint64_t size = 0;
  const int fd = OpenRegularFile(path, size);
  const std::unique_ptr<std::FILE, FileClose> file(::fdopen(fd, "rb"));
  if (!file) {
    ::close(fd);
    throw ReadError("cannot read \"" + path + "\": " + std::strerror(errno));
  }
  std::uint8_t signature[8] = {};
  if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0)
    throw ReadError("PNG picture \"" + path + "\": not a PNG file (no PNG signature)");
  png_uint_32 width = 0, height = 0;
  std::vector<png_bytep> rows;
  ErrorState err;
  switch (Decode(file.get(), frame, rows, err, width, height)) {
    case ReadResult::Ok: return;
    case ReadResult::Error: throw ReadError("PNG picture \"" + path + "\": " + err.Message);
    case ReadResult::TooLarge:
      throw ReadError("PNG picture \"" + path + "\": the size " + std::to_string(width) + " x " +
                      std::to_string(height) + " is beyond the reader limits (" + std::to_string(PictureMaxSide) +
                      " per side, " + std::to_string(PictureMaxPixels) + " pixels)");
  }
}

namespace {

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

bool Encode(const Picture16& picture, std::vector<std::uint8_t>& bytes, std::vector<std::uint16_t>& row,
            ErrorState& err) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &err, OnError, OnWarning);
  if (png == nullptr) {
    std::snprintf(err.Message, sizeof err.Message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  if (info == nullptr) png_error(png, "out of memory");
  png_set_write_fn(png, &bytes, AppendBytes, NoFlush);
  const bool colour = picture.Channels() == 3;
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width()), static_cast<png_uint_32>(picture.Height()), 16,
               colour ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.Height(); ++y) {
    // Big-endian words, as PNG stores them.
    const std::uint16_t* src = picture.Row(y);
    auto* dst = reinterpret_cast<std::uint8_t*>(row.data());
    for (std::size_t i = 0; i < picture.RowSamples(); ++i) {
      dst[2 * i] = static_cast<std::uint8_t>(src[i] >> 8);
      dst[2 * i + 1] = static_cast<std::uint8_t>(src[i]);
    }
    png_write_row(png, dst);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng16File(const std::string& path, const Picture16& picture, ExistingFile existing) {
  if (picture.Empty()) throw WriteError("cannot write the PNG file \"" + path + "\": the picture is empty (0 x 0)");
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint16_t> row(picture.RowSamples());
  ErrorState err;
  if (!Encode(picture, bytes, row, err)) throw WriteError("cannot write the PNG file \"" + path + "\": " + err.Message);
  return WriteFileAtomically(path, bytes, existing);
}

}  // namespace corvane
