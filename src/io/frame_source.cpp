#include "io/frame_source.h"

#include <sys/stat.h>

#include <utility>

#include "core/errors.h"
#include "io/fits.h"
#include "io/png.h"
#include "io/ser.h"
#include "io/tiff.h"
#include "output/bitmap_ops.h"

namespace corvane {

SourceKind SourceKindOfPath(const std::string& path) {
  const std::string ext = UpperExtension(path);
  if (ext == ".AVI") return SourceKind::Avi;
  if (ext == ".BMP") return SourceKind::Bmp;
  if (ext == ".JPG" || ext == ".JPEG") return SourceKind::Jpeg;
  if (ext == ".FTS" || ext == ".FIT" || ext == ".FITS") return SourceKind::Fits;
  if (ext == ".SER") return SourceKind::Ser;
  if (ext == ".TIF" || ext == ".TIFF") return SourceKind::Tiff;
  if (ext == ".PNG") return SourceKind::Png;
  return SourceKind::None;
}

void Image16FromSourceFrame(TImage16& plane, SourceFrame& frame, int channelCode) {
  if (frame.IsDeep)
    Image16FromPicture16(plane, frame.Deep, channelCode);
  else
    Image16FromBitmap(plane, frame.Bits, 0, 0, frame.Bits.Width(), frame.Bits.Height(), channelCode);
}

void SourceFrameToBitmap(Bitmap& bitmap, const SourceFrame& frame) {
  if (frame.IsDeep) {
    Picture16ToBitmap(bitmap, frame.Deep);
    return;
  }
  bitmap = frame.Bits;
  bitmap.ConvertTo24();
}

Bitmap& SourceFrame::UseBitmap24(int width, int height) {
  Bitmap& b = UseBitmap();
  if (b.Format() != PixelFormat::Bgr24) {
    b.SetSize(0, 0);
    b.SetFormat(PixelFormat::Bgr24);
  }
  if (b.Width() != width || b.Height() != height) b.SetSize(width, height);
  b.Palette().clear();
  return b;
}

void KeepEvenField(SourceFrame& frame) {
  if (frame.IsDeep) {
    Picture16InterpolateOddLines(frame.Deep);
    return;
  }
  frame.Bits.ConvertTo24();
  InterpolateOddLines(frame.Bits);
}

void KeepOddField(SourceFrame& frame) {
  if (frame.IsDeep) {
    Picture16InterpolateEvenLines(frame.Deep);
    return;
  }
  frame.Bits.ConvertTo24();
  InterpolateEvenLines(frame.Bits);
}

bool ReadPictureFrame(const std::string& path, SourceFrame& frame, JpegDecoder& decoder) {
  switch (SourceKindOfPath(path)) {
    case SourceKind::Bmp: ReadBmpFile(path, frame.UseBitmap()); break;
    case SourceKind::Jpeg: decoder.Decode(path, frame.UseBitmap()); break;
    case SourceKind::Fits: ReadFitsFile(path, frame); break;
    case SourceKind::Tiff: ReadTiffFile(path, frame); break;
    case SourceKind::Png: ReadPngFile(path, frame); break;
    default: return false;
  }
  if (!frame.IsDeep) frame.Bits.ConvertTo24();
  return true;
}

// ---------------------------------------------------------------------------

class FrameSources::AviSource final : public FrameSource {
 public:
  AviSource(VideoReader& reader, std::string path) : m_reader(reader), m_path(std::move(path)) {}
  SourceKind Kind() const noexcept override { return SourceKind::Avi; }
  int FrameCount() override { return m_reader.FrameCount(m_path); }
  int SampleDepth() override { return FrameCount() < 0 ? 0 : 8; }
  bool ReadFrame(int n, SourceFrame& frame) override {
    // The reader leaves the bitmap as it was on failure; the frame keeps its form then.
    if (!m_reader.ReadFrame(m_path, n, frame.Bits)) return false;
    frame.IsDeep = false;
    return true;
  }

 private:
  VideoReader& m_reader;
  std::string m_path;
};

class FrameSources::SerSource final : public FrameSource {
 public:
  SerSource(const std::string& path, SerByteOrder order, std::int64_t modifiedNs)
      : Reader(path, order), Order(order), ModifiedNs(modifiedNs) {}
  SourceKind Kind() const noexcept override { return SourceKind::Ser; }
  int FrameCount() override { return Reader.FrameCount(); }
  int SampleDepth() override { return Reader.SampleDepth(); }
  bool ReadFrame(int n, SourceFrame& frame) override {
    Reader.ReadFrame(n, frame);
    return true;
  }

  SerReader Reader;
  SerByteOrder Order;
  std::int64_t ModifiedNs;
};

class FrameSources::PictureSource final : public FrameSource {
 public:
  PictureSource(SourceKind kind, std::string path, JpegDecoder& decoder)
      : m_kind(kind), m_path(std::move(path)), m_decoder(decoder) {
    Decode();
  }
  SourceKind Kind() const noexcept override { return m_kind; }
  int FrameCount() override { return 1; }
  int SampleDepth() override { return m_depth; }
  bool ReadFrame(int n, SourceFrame& frame) override {
    if (n != 0)
      throw ReadError("picture \"" + m_path + "\": frame " + std::to_string(n) +
                      " asked for; a picture has frame 0 only");
    if (!m_decoded) Decode();
    // Handed over without a copy; a second read decodes the file again.
    std::swap(frame, m_frame);
    m_decoded = false;
    return true;
  }

 private:
  void Decode() {
    ReadPictureFrame(m_path, m_frame, m_decoder);
    m_depth = m_frame.IsDeep ? 16 : 8;
    m_decoded = true;
  }

  SourceKind m_kind;
  std::string m_path;
  JpegDecoder& m_decoder;
  SourceFrame m_frame;
  int m_depth = 8;
  bool m_decoded = false;
};

FrameSources::FrameSources(Services& services) : m_services(services) {}
FrameSources::~FrameSources() = default;

void FrameSources::Close() {
  m_ser.reset();
  m_video.Close();
}

std::shared_ptr<FrameSource> FrameSources::Open(const std::string& path, const FrameSourceOptions& options) {
  const SourceKind kind = SourceKindOfPath(path);
  switch (kind) {
    case SourceKind::Avi: return std::make_shared<AviSource>(m_video, path);
    case SourceKind::Ser: {
      struct stat st {};
      const bool known = ::stat(path.c_str(), &st) == 0;
      const std::int64_t modified =
          known ? static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : -1;
      // The open file serves again while it is the same file, unchanged, read the same way.
      if (!m_ser || m_ser->Reader.Path() != path || !known || m_ser->ModifiedNs != modified ||
          m_ser->Reader.FileSize() != static_cast<std::uint64_t>(st.st_size) || m_ser->Order != options.SerOrder) {
        m_ser.reset();
        m_ser = std::make_shared<SerSource>(path, options.SerOrder, modified);
        const SerReader& r = m_ser->Reader;
        if (r.Cut() && m_warned.emplace(path, static_cast<std::int64_t>(r.FileSize())).second) {
          const std::int32_t promised = r.Header().FrameCount;
          m_services.ShowWarning(
              "SER video \"" + path + "\" holds " + std::to_string(r.FrameCount()) + " whole frames; its header " +
              (promised > 0 ? "promises " + std::to_string(promised) : "gives the count " + std::to_string(promised)) +
              " (a recording cut short): the whole frames are read");
        }
      }
      return m_ser;
    }
    case SourceKind::Bmp:
    case SourceKind::Jpeg:
    case SourceKind::Fits:
    case SourceKind::Tiff:
    case SourceKind::Png: return std::make_shared<PictureSource>(kind, path, m_jpeg);
    case SourceKind::None: break;
  }
  throw ReadError("cannot read \"" + path + "\": not a picture or video file by its extension");
}

}  // namespace corvane
