#pragma once
// Frame sources: one small interface over every file kind frames come from,
// so that loading does not care which format it reads. A source is opened for
// a file, tells its frame count and sample depth, and reads frame n into a
// SourceFrame: 8-bit frames as a bitmap, deeper frames as a 16-bit picture.
//
// Kinds, by the file's upper-cased extension: ".AVI" and ".SER" are videos;
// ".BMP", ".JPG"/".JPEG", ".FTS"/".FIT"/".FITS", ".TIF"/".TIFF" and ".PNG"
// are still pictures (one frame each).
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "core/bitmap.h"
#include "core/picture16.h"
#include "core/services.h"
#include "io/picture_files.h"
#include "io/video.h"

namespace corvane {

/// The kinds of frame files. The values are those of the loading setting
/// SourceType.
enum class SourceKind : int {
  None = -1,  ///< not a frame file (skipped)
  Avi = 0,
  Bmp = 1,
  Jpeg = 2,
  Fits = 3,
  Ser = 4,
  Tiff = 5,
  Png = 6,
};

/// The kind of a file by its upper-cased extension.
SourceKind SourceKindOfPath(const std::string& path);
/// True for the video kinds (AVI, SER): frame range, skip and semi frames apply.
constexpr bool IsVideoKind(SourceKind kind) noexcept { return kind == SourceKind::Avi || kind == SourceKind::Ser; }

/// One frame as a source delivers it.
/// - 8-bit frames: `Bits`, a 24-bit bitmap; grey video frames may come as an
///   Indexed8 bitmap with the grey palette instead, which gives every plane
///   conversion exactly what the grey 24-bit pixels give (v x 256 for every
///   channel) without widening each pixel to three bytes.
/// - Deeper frames (more than 8 bits per sample): `Deep`, scaled to 16 bits.
struct SourceFrame {
  Bitmap Bits;
  Picture16 Deep;
  bool IsDeep = false;

  int Width() const noexcept { return IsDeep ? Deep.Width() : Bits.Width(); }
  int Height() const noexcept { return IsDeep ? Deep.Height() : Bits.Height(); }
  /// Marks the frame as an 8-bit bitmap / a 16-bit picture (the storage of the
  /// other form is kept for later frames).
  Bitmap& UseBitmap() noexcept {
    IsDeep = false;
    return Bits;
  }
  /// Marks the frame as a 24-bit bitmap of the size, without palette, reusing
  /// the storage it has; the pixels are to be written by the caller.
  Bitmap& UseBitmap24(int width, int height);
  Picture16& UseDeep() noexcept {
    IsDeep = true;
    return Deep;
  }
};

/// Fills the plane's top-left corner with the loading channel's samples
/// (channel code 8 L, 1 R, 2 G, 4 B): Image16FromBitmap for 8-bit frames,
/// Image16FromPicture16 for deep ones.
void Image16FromSourceFrame(TImage16& plane, SourceFrame& frame, int channelCode);

/// The frame as a 24-bit bitmap for a pane: the bitmap itself made 24-bit, or
/// the deep picture's high bytes.
void SourceFrameToBitmap(Bitmap& bitmap, const SourceFrame& frame);

/// Rebuilds one field of an interlaced frame in place ("semi frames"): the
/// even field keeps the even rows and rebuilds the odd ones, the odd field
/// keeps the odd rows and rebuilds the even ones from row 2 on. An 8-bit frame
/// is made 24-bit first (the field operations work on 24-bit bitmaps).
void KeepEvenField(SourceFrame& frame);
void KeepOddField(SourceFrame& frame);

/// How the bytes of 16-bit SER samples are ordered.
enum class SerByteOrder : std::uint8_t {
  FromData = 0,  ///< decided from the first frame's data (see io/ser.h)
  Little = 1,
  Big = 2,
};

/// Settings that change how sources read their files.
struct FrameSourceOptions {
  SerByteOrder SerOrder = SerByteOrder::FromData;
};

/// A file that frames come from.
class FrameSource {
 public:
  virtual ~FrameSource() = default;

  virtual SourceKind Kind() const noexcept = 0;
  bool IsVideo() const noexcept { return IsVideoKind(Kind()); }
  /// Frames in the file: 1 for a picture; a video's frame count, or -1 for an
  /// AVI that cannot be read (the loader's "INVALID FORMAT!").
  virtual int FrameCount() = 0;
  /// Bits per sample of the file's frames: 8, or 9..16 for deep frames (FITS
  /// data of 32 bits and floating point count as 16: they are read at 16).
  /// 0 for an AVI that cannot be read.
  virtual int SampleDepth() = 0;
  /// Reads frame n (0 for a picture) into `frame`. An AVI answers false when
  /// the frame cannot be read (the frame is then unchanged); the other kinds
  /// answer true or throw ReadError naming the file.
  virtual bool ReadFrame(int n, SourceFrame& frame) = 0;
};

class SerReader;

/// Opens frame sources and keeps what they reuse from file to file: the video
/// reader (one AVI open at a time), the JPEG decoder and the SER file last
/// opened. Reading a file again that has not changed on disk reuses its open
/// source. A SER file that holds fewer frames than its header promises gives
/// its whole frames and one warning through the services (once per file).
/// Not for use from several threads at once.
class FrameSources {
 public:
  explicit FrameSources(Services& services);
  ~FrameSources();
  FrameSources(const FrameSources&) = delete;
  FrameSources& operator=(const FrameSources&) = delete;

  /// The source of the file, by its kind (SourceKindOfPath). The caller may
  /// keep it while later calls open other sources (a load that lets the
  /// settings listener read frames meanwhile). Pictures are decoded here;
  /// SER headers are read and checked here. Throws ReadError naming the file
  /// for a picture or SER file that cannot be read, and for a kind that is not
  /// a frame file; an AVI that cannot be read is a source with FrameCount -1.
  std::shared_ptr<FrameSource> Open(const std::string& path, const FrameSourceOptions& options = {});

  /// Closes the open files (the next Open opens them again).
  void Close();

  /// The video reader and JPEG decoder the sources use.
  VideoReader& Video() noexcept { return m_video; }
  JpegDecoder& Jpeg() noexcept { return m_jpeg; }

 private:
  class AviSource;
  class SerSource;
  class PictureSource;

  Services& m_services;
  VideoReader m_video;
  JpegDecoder m_jpeg;
  std::shared_ptr<SerSource> m_ser;
  std::set<std::pair<std::string, std::int64_t>> m_warned;  ///< cut files already reported (name, size)
};

/// Reads a still picture of any picture kind (BMP, JPEG, FITS, TIFF, PNG) into
/// the frame, by extension; the bitmap of an 8-bit picture is made 24-bit.
/// The reader of dark-frame and flat-field pictures. Throws ReadError naming
/// the file; a kind that is not a picture reads nothing and answers false.
bool ReadPictureFrame(const std::string& path, SourceFrame& frame, JpegDecoder& decoder);

}  // namespace corvane
