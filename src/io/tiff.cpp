// TIFF through libtiff, with its messages collected per file instead of
// printed.
#include "io/tiff.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"
#include "io/picture_input.h"

namespace corvane {
namespace {

// A strip or tile is read whole into one buffer, whose size comes from the
// header: more than a 2^26-pixel picture of four 16-bit samples (512 MiB) is
// refused before libtiff allocates it. The limit also bounds every other
// single allocation of libtiff's.
constexpr std::uint64_t kMaxChunkBytes = static_cast<std::uint64_t>(PictureMaxPixels) * 4 * 2;
constexpr std::uint16_t kMaxSamples = 8;

struct Messages {
  std::string First;  ///< the first error libtiff reported
};

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* m = static_cast<Messages*>(user);
  if (m->First.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    m->First = (module != nullptr && module[0] != '\0' ? std::string(module) + ": " : std::string()) + text;
  }
  return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const noexcept { TIFFOpenOptionsFree(o); }
};
struct TiffClose {
  void operator()(TIFF* t) const noexcept { TIFFClose(t); }
};

std::unique_ptr<TIFFOpenOptions, OptionsFree> Options(Messages& messages) {
  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) throw std::bad_alloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &messages);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(kMaxChunkBytes));
  return options;
}

class Reader {
 public:
  Reader(const std::string& path, TIFF* tif, Messages& messages) : m_path(path), m_tif(tif), m_messages(messages) {}

  [[noreturn]] void Fail(const std::string& problem) const {
    throw ReadError("TIFF picture \"" + m_path + "\": " + problem);
  }
  [[noreturn]] void FailLibrary(const std::string& what) const {
    Fail(what + (m_messages.First.empty() ? std::string() : ": " + m_messages.First));
  }

  void Read(SourceFrame& frame) {
    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(m_tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(m_tif, TIFFTAG_IMAGELENGTH, &height))
      FailLibrary("no picture size");
    if (!PictureSizeAllowed(width, height))
      Fail("the size " + std::to_string(width) + " x " + std::to_string(height) +
           " is 0 or beyond the reader limits (" + std::to_string(PictureMaxSide) + " per side, " +
           std::to_string(PictureMaxPixels) + " pixels)");
    std::uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, photometric = 0;
    TIFFGetFieldDefaulted(m_tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(m_tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(m_tif, TIFFTAG_SAMPLEFORMAT, &format);
    const bool hasPhotometric = TIFFGetField(m_tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
    if (samples < 1 || samples > kMaxSamples)
      Fail(std::to_string(samples) + " samples a pixel are not read (1 to " + std::to_string(kMaxSamples) + ")");
    const bool tiled = TIFFIsTiled(m_tif) != 0;
    const std::uint64_t chunk = tiled ? TIFFTileSize64(m_tif) : TIFFStripSize64(m_tif);
    if (chunk > kMaxChunkBytes)
      Fail(std::string(tiled ? "a tile" : "a strip") + " of " + std::to_string(chunk) +
           " bytes is beyond the reader limits (" + std::to_string(kMaxChunkBytes) + " bytes)");
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    if (bits <= 8) {
      ReadEightBit(frame, w, h);
      return;
    }
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const bool rgb = photometric == PHOTOMETRIC_RGB && samples >= 3;
    if (bits != 16 || format != SAMPLEFORMAT_UINT || !hasPhotometric || !(grey || rgb) || samples < 1)
      Fail(std::to_string(bits) + "-bit samples of format " + std::to_string(format) + " and photometric " +
           std::to_string(photometric) + " are not read (8-bit pictures of any kind, 16-bit unsigned grey or RGB)");
    ReadSixteenBit(frame, w, h, rgb ? 3 : 1, samples, photometric == PHOTOMETRIC_MINISWHITE);
  }

 private:
  void ReadEightBit(SourceFrame& frame, int w, int h) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(m_tif, message)) Fail(message);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    if (!TIFFReadRGBAImageOriented(m_tif, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), raster.data(),
                                   ORIENTATION_TOPLEFT, 0))
      FailLibrary("damaged picture data");
    Bitmap& b = frame.UseBitmap24(w, h);
    for (int y = 0; y < h; ++y) {
      const std::uint32_t* src = raster.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
      std::uint8_t* dst = b.Row(y);
      for (int x = 0; x < w; ++x) {
        dst[3 * x] = static_cast<std::uint8_t>(TIFFGetB(src[x]));
        dst[3 * x + 1] = static_cast<std::uint8_t>(TIFFGetG(src[x]));
        dst[3 * x + 2] = static_cast<std::uint8_t>(TIFFGetR(src[x]));
      }
    }
  }

  /// Stores `count` samples of one file row (samples of a pixel together when
  /// `stride` is the samples per pixel, one plane when it is 1) into picture
  /// row y from column x, channel c on (all channels when together).
  void Store(Picture16& p, const std::uint16_t* src, int y, int x, int count, int stride, int plane) {
    const int channels = p.Channels();
    std::uint16_t* dst = p.Row(y) + static_cast<std::size_t>(x) * channels;
    if (stride == 1) {
      if (plane >= channels) return;
      for (int i = 0; i < count; ++i) dst[static_cast<std::size_t>(i) * channels + plane] = src[i];
      return;
    }
    for (int i = 0; i < count; ++i)
      for (int c = 0; c < channels; ++c)
        dst[static_cast<std::size_t>(i) * channels + c] = src[static_cast<std::size_t>(i) * stride + c];
  }

  void ReadSixteenBit(SourceFrame& frame, int w, int h, int channels, int samples, bool minIsWhite) {
    std::uint16_t planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(m_tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(m_tif, TIFFTAG_ORIENTATION, &orientation);
    const bool separate = planar == PLANARCONFIG_SEPARATE;
    const int stride = separate ? 1 : samples;
    const int planes = separate ? std::min(samples, channels) : 1;
    Picture16& p = frame.UseDeep();
    p.Reshape(w, h, channels);
    if (TIFFIsTiled(m_tif)) {
      std::uint32_t tw = 0, th = 0;
      TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &tw);
      TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &th);
      const tmsize_t tileBytes = TIFFTileSize(m_tif);
      if (tw == 0 || th == 0 || tileBytes <= 0 ||
          static_cast<std::uint64_t>(tileBytes) < std::uint64_t{tw} * th * static_cast<std::uint64_t>(stride) * 2)
        FailLibrary("bad tile layout");
      std::vector<std::uint16_t> tile(static_cast<std::size_t>(tileBytes) / 2 + 1);
      for (int plane = 0; plane < planes; ++plane)
        for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(h); ty += th)
          for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(w); tx += tw) {
            if (TIFFReadTile(m_tif, tile.data(), tx, ty, 0, static_cast<std::uint16_t>(plane)) < 0)
              FailLibrary("damaged tile at " + std::to_string(tx) + ", " + std::to_string(ty));
            const int cols = static_cast<int>(std::min<std::uint32_t>(tw, static_cast<std::uint32_t>(w) - tx));
            const int rows = static_cast<int>(std::min<std::uint32_t>(th, static_cast<std::uint32_t>(h) - ty));
            for (int j = 0; j < rows; ++j)
              Store(p, tile.data() + static_cast<std::size_t>(j) * tw * static_cast<std::size_t>(stride),
                    static_cast<int>(ty) + j, static_cast<int>(tx), cols, stride, plane);
          }
    } else {
      const tmsize_t lineBytes = TIFFScanlineSize(m_tif);
      if (lineBytes <= 0 || static_cast<std::uint64_t>(lineBytes) < static_cast<std::uint64_t>(w) * stride * 2)
        FailLibrary("bad row layout");
      std::vector<std::uint16_t> line(static_cast<std::size_t>(lineBytes) / 2 + 1);
      for (int plane = 0; plane < planes; ++plane)
        for (int y = 0; y < h; ++y) {
          if (TIFFReadScanline(m_tif, line.data(), static_cast<std::uint32_t>(y), static_cast<std::uint16_t>(plane)) <
              0)
            FailLibrary("damaged row " + std::to_string(y));
          Store(p, line.data(), y, 0, w, stride, plane);
        }
    }
    if (minIsWhite)
      for (std::size_t i = 0; i < p.RowSamples() * static_cast<std::size_t>(h); ++i)
        p.Samples()[i] = static_cast<std::uint16_t>(65535 - p.Samples()[i]);
    if (orientation == ORIENTATION_BOTLEFT)
      for (int y = 0; y < h / 2; ++y) std::swap_ranges(p.Row(y), p.Row(y) + p.RowSamples(), p.Row(h - 1 - y));
  }

  const std::string& m_path;
  TIFF* m_tif;
  Messages& m_messages;
};

}  // namespace

void ReadTiffFile(const std::string& path, SourceFrame& frame) {
  std::uint64_t size = 0;
  const int fd = OpenRegularFile(path, size);
  Messages messages;
  auto options = Options(messages);
  const std::unique_ptr<TIFF, TiffClose> tif(TIFFFdOpenExt(fd, path.c_str(), "rm", options.get()));
  if (!tif) {
    ::close(fd);
    throw ReadError("TIFF picture \"" + path + "\": not a TIFF file" +
                    (messages.First.empty() ? std::string() : " (" + messages.First + ")"));
  }
  Reader(path, tif.get(), messages).Read(frame);
}

namespace {

/// A growing file in memory for libtiff's writer.
struct MemoryFile {
  std::vector<std::uint8_t> Bytes;
  std::uint64_t Position = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t size) {
  auto* m = static_cast<MemoryFile*>(h);
  const std::uint64_t have = m->Position < m->Bytes.size() ? m->Bytes.size() - m->Position : 0;
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(have, static_cast<std::uint64_t>(size)));
  std::memcpy(buf, m->Bytes.data() + m->Position, n);
  m->Position += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t size) {
  auto* m = static_cast<MemoryFile*>(h);
  const std::uint64_t end = m->Position + static_cast<std::uint64_t>(size);
  if (end > m->Bytes.size()) m->Bytes.resize(static_cast<std::size_t>(end));
  std::memcpy(m->Bytes.data() + m->Position, buf, static_cast<std::size_t>(size));
  m->Position = end;
  return size;
}
toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(h);
  switch (whence) {
    case SEEK_SET: m->Position = offset; break;
    case SEEK_CUR: m->Position += offset; break;
    case SEEK_END: m->Position = m->Bytes.size() + offset; break;
    default: return static_cast<toff_t>(-1);
  }
  return m->Position;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->Bytes.size(); }
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

}  // namespace

bool WriteTiff16File(const std::string& path, const Picture16& picture, ExistingFile existing) {
  auto fail = [&path](const std::string& reason) -> void {
    throw WriteError("cannot write the TIFF file \"" + path + "\": " + reason);
  };
  if (picture.Empty()) fail("the picture is empty (0 x 0)");
  Messages messages;
  auto options = Options(messages);
  MemoryFile file;
  {
    const std::unique_ptr<TIFF, TiffClose> tif(TIFFClientOpenExt(path.c_str(), "w", &file, MemRead, MemWrite, MemSeek,
                                                                 MemClose, MemSize, MemMap, MemUnmap, options.get()));
    if (!tif) fail(messages.First);
    TIFF* t = tif.get();
    const int channels = picture.Channels();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.Width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.Height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_SOFTWARE, "Corvane");
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    std::vector<std::uint16_t> row(picture.RowSamples());
    for (int y = 0; y < picture.Height(); ++y) {
      std::copy_n(picture.Row(y), picture.RowSamples(), row.begin());
      if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0) fail(messages.First);
    }
    if (!TIFFWriteDirectory(t)) fail(messages.First);
  }
  return WriteFileAtomically(path, file.Bytes, existing);
}

}  // namespace corvane
