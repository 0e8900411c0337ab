// The JPEG decoder on libjpeg-turbo. The codec reports errors through a
// handler that by default ends the process; ours jumps back to the decoding
// function, which then resets the codec and the caller throws a ReadError.
// Only plain C data lives in the frame the jump returns to.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "core/bitmap.h"
#include "core/errors.h"
#include "io/picture_files.h"
#include "io/picture_input.h"

namespace corvane {
namespace {

/// The codec's own memory for whole-picture buffers (progressive pictures);
/// a picture within the size limits needs less.
constexpr long MaxCodecMemory = 1L << 30;

/// A progressive picture may hold any number of scans, each a full pass over
/// the coefficients; more than this is taken as a hostile file.
constexpr int MaxScans = 500;

struct ErrorManager {
  jpeg_error_mgr Base;  // first member: the codec hands us a pointer to it
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr codec) {
  auto* err = reinterpret_cast<ErrorManager*>(codec->err);
  (*codec->err->format_message)(codec, err->Message);
  std::longjmp(err->Jump, 1);
}

/// Warnings are the codec's word for corrupt or truncated data, which it would
/// otherwise paper over with grey; all but the harmless ones are errors here.
void OnMessage(j_common_ptr codec, int level) {
  if (level >= 0) return;  // trace messages
  switch (codec->err->msg_code) {
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC: return;
    default: OnError(codec);
  }
}

void OnOutput(j_common_ptr) {}

void OnProgress(j_common_ptr codec) {
  if (!codec->is_decompressor) return;
  const auto* d = reinterpret_cast<j_decompress_ptr>(codec);
  if (d->input_scan_number > MaxScans) {
    auto* err = reinterpret_cast<ErrorManager*>(codec->err);
    std::snprintf(err->Message, sizeof err->Message, "more than %d scans", MaxScans);
    std::longjmp(err->Jump, 1);
  }
}

struct FileClose {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

}  // namespace

struct JpegDecoder::State {
  jpeg_decompress_struct Codec{};
  ErrorManager Err{};
  jpeg_progress_mgr Progress{};
  bool Created = false;
  JDIMENSION RefusedWidth = 0, RefusedHeight = 0;  // the size of a picture beyond the limits
  Bitmap Work;                                     // the picture being decoded; swapped out on success
  std::vector<std::uint8_t> CmykRows;              // scan lines of a CMYK picture

  enum class Result { Ok, CodecError, TooLarge };

  State() {
    Codec.err = jpeg_std_error(&Err.Base);
    Err.Base.error_exit = OnError;
    Err.Base.emit_message = OnMessage;
    Err.Base.output_message = OnOutput;
    Progress.progress_monitor = OnProgress;
    if (!Create()) throw std::bad_alloc();
    Codec.mem->max_memory_to_use = MaxCodecMemory;
    Codec.progress = &Progress;
  }
  ~State() {
    if (Created) jpeg_destroy_decompress(&Codec);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  bool Create() {
    if (setjmp(Err.Jump)) return false;
    jpeg_create_decompress(&Codec);
    Created = true;
    return true;
  }

  /// Decodes the whole stream into Work. Only the codec can jump back here.
  Result Run(std::FILE* file) {
    j_decompress_ptr c = &Codec;
    if (setjmp(Err.Jump)) {
      jpeg_abort_decompress(c);
      return Result::CodecError;
    }
    jpeg_abort_decompress(c);  // forget whatever an earlier file left behind
    jpeg_stdio_src(c, file);
    jpeg_read_header(c, TRUE);
    if (!PictureSizeAllowed(c->image_width, c->image_height)) {
      RefusedWidth = c->image_width;
      RefusedHeight = c->image_height;
      jpeg_abort_decompress(c);
      return Result::TooLarge;
    }
    const bool cmyk = c->jpeg_color_space == JCS_CMYK || c->jpeg_color_space == JCS_YCCK;
    c->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    Work.Palette().clear();
    Work.SetSize(0, 0);
    Work.SetFormat(PixelFormat::Bgr24);
    Work.SetSize(static_cast<int>(c->image_width), static_cast<int>(c->image_height));
    jpeg_start_decompress(c);
    constexpr JDIMENSION Batch = 16;
    const std::size_t width = c->output_width;
    if (cmyk) CmykRows.resize(width * 4 * Batch);
    JSAMPROW rows[Batch];
    while (c->output_scanline < c->output_height) {
      const JDIMENSION first = c->output_scanline;
      const JDIMENSION n = std::min(Batch, c->output_height - first);
      for (JDIMENSION i = 0; i < n; ++i)
        rows[i] = cmyk ? CmykRows.data() + i * width * 4 : Work.Row(static_cast<int>(first + i));
      const JDIMENSION got = jpeg_read_scanlines(c, rows, n);
      if (cmyk) ConvertCmyk(first, got, c->saw_Adobe_marker != 0);
    }
    jpeg_finish_decompress(c);
    return Result::Ok;
  }

  /// CMYK to RGB. Adobe's files store the inks inverted (255 = no ink).
  void ConvertCmyk(JDIMENSION first, JDIMENSION count, bool inverted) {
    const std::size_t width = static_cast<std::size_t>(Work.Width());
    for (JDIMENSION i = 0; i < count; ++i) {
      const std::uint8_t* src = CmykRows.data() + i * width * 4;
      std::uint8_t* dst = Work.Row(static_cast<int>(first + i));
      for (std::size_t x = 0; x < width; ++x) {
        unsigned cy = src[4 * x], m = src[4 * x + 1], ye = src[4 * x + 2], k = src[4 * x + 3];
        if (!inverted) {
          cy = 255 - cy;
          m = 255 - m;
          ye = 255 - ye;
          k = 255 - k;
        }
        dst[3 * x] = static_cast<std::uint8_t>((ye * k + 127) / 255);
        dst[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        dst[3 * x + 2] = static_cast<std::uint8_t>((cy * k + 127) / 255);
      }
    }
  }
};

JpegDecoder::JpegDecoder() : m_state(std::make_unique<State>()) {}
JpegDecoder::~JpegDecoder() = default;
JpegDecoder::JpegDecoder(JpegDecoder&&) noexcept = default;
JpegDecoder& JpegDecoder::operator=(JpegDecoder&&) noexcept = default;

void JpegDecoder::Decode(const std::string& path, Bitmap& out) {
  if (!m_state) m_state = std::make_unique<State>();  // a moved-from decoder works again
  const std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
  if (!file) throw ReadError("cannot open \"" + path + "\": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode))
    throw ReadError("cannot read \"" + path + "\": not a regular file");
  switch (m_state->Run(file.get())) {
    case State::Result::Ok: break;
    case State::Result::CodecError: throw ReadError("JPEG picture \"" + path + "\": " + m_state->Err.Message);
    case State::Result::TooLarge:
      throw ReadError("JPEG picture \"" + path + "\": the size " + std::to_string(m_state->RefusedWidth) + " x " +
                      std::to_string(m_state->RefusedHeight) + " is beyond the reader limits (" +
                      std::to_string(PictureMaxSide) + " per side, " + std::to_string(PictureMaxPixels) + " pixels)");
  }
  std::swap(out, m_state->Work);  // the old picture's storage serves the next file
}

}  // namespace corvane
