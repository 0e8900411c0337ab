#pragma once
// SER videos, the format planetary capture programs record: a 178-byte header
// of little-endian fields, then the frames one after the other (rows from the
// top, no padding), then an optional trailer of 8-byte time stamps, which is
// ignored.
//
//   offset size field
//        0   14 file id "LUCAM-RECORDER"
//       14    4 camera id (ignored)
//       18    4 colour id: 0 mono; 8 RGGB, 9 GRBG, 10 GBRG, 11 BGGR Bayer
//                 mosaics; 100 RGB, 101 BGR (three samples a pixel)
//       22    4 byte order of 16-bit samples: 0 big-endian, 1 little-endian
//       26    4 width, 30 4 height (pixels)
//       34    4 bits per sample, 8..16 (1 byte a sample up to 8, else 2)
//       38    4 frame count
//       42  3x40 observer, instrument, telescope (text)
//      162  2x8 local and UTC start time (ignored)
//
// Frames: mono as grey; Bayer mosaics demosaiced bilinearly to red, green and
// blue; RGB/BGR as colour. 8-bit frames come as bitmaps (mono as an Indexed8
// bitmap with the grey palette), deeper ones as 16-bit pictures scaled by
// their depth: a sample v of d bits becomes v x 2^(16 - d), held at 65535
// when the file holds a value beyond d bits.
//
// Byte order of 16-bit samples. The header's flag cannot be trusted:
// widespread capture programs write 0 ("big-endian") before little-endian
// samples. Unless the user forces an order, it is decided from the first
// frame, read both ways:
//  1. With fewer than 16 bits per sample, a reading in which more than 1 in
//     1000 samples pass the largest d-bit value is wrong when the other
//     reading has none: the other one is taken.
//  2. Otherwise the roughness of each reading is measured: the sum of the
//     differences between each sample and its same-colour neighbour to the
//     right. Swapping the bytes of smooth data turns its noisy low byte into
//     the high byte, so a reading at least 4 times as rough as the other is
//     wrong: the smoother one is taken.
//  3. When neither test is plain (a flat or empty frame), the header's flag
//     is followed.
//
// Frame count: the frames the file holds whole. When the header promises
// more (a recording cut short) the whole frames are read and Cut() tells;
// a count of 0 or less in the header with frames in the file is taken the
// same way (a recorder that stopped before it wrote the count).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/frame_source.h"
#include "io/picture_input.h"

namespace corvane {

/// Bytes of the fixed header.
constexpr std::uint64_t SerHeaderBytes = 178;

enum class SerColour : std::int32_t {
  Mono = 0,
  BayerRggb = 8,
  BayerGrbg = 9,
  BayerGbrg = 10,
  BayerBggr = 11,
  Rgb = 100,
  Bgr = 101,
};

struct SerHeader {
  SerColour Colour = SerColour::Mono;
  std::int32_t LittleEndianFlag = 0;  ///< as stored
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t PixelDepth = 8;
  std::int32_t FrameCount = 0;  ///< as stored
  std::string Observer;
  std::string Instrument;
  std::string Telescope;
};

/// How the byte order in use was found.
enum class SerOrderSource : std::uint8_t { NotNeeded, User, Data, Header };

/// One open SER file. Reads frames in any order into the caller's frame,
/// reusing its storage (no allocation per frame once the frame has its size).
class SerReader {
 public:
  /// Opens the file and checks the header against the file. Throws ReadError
  /// naming the file: not a SER file, a colour id other than those above, a
  /// depth outside 8..16, a size of 0 or beyond the reader limits, no whole
  /// frame in the file, or a Bayer frame smaller than 2 x 2.
  SerReader(const std::string& path, SerByteOrder order);

  const std::string& Path() const noexcept { return m_path; }
  const SerHeader& Header() const noexcept { return m_header; }
  /// Whole frames the reader gives.
  int FrameCount() const noexcept { return m_frames; }
  /// True when the header promised more frames than the file holds whole.
  bool Cut() const noexcept { return m_cut; }
  /// The file's size when it was opened.
  std::uint64_t FileSize() const noexcept { return m_file.Size(); }
  /// Bits per sample (8..16).
  int SampleDepth() const noexcept { return m_header.PixelDepth; }
  /// Byte order of 16-bit samples in use, and how it was found.
  bool LittleEndian() const noexcept { return m_little; }
  SerOrderSource OrderSource() const noexcept { return m_orderSource; }

  /// Reads frame n (0 .. FrameCount - 1) into the frame. Throws ReadError
  /// naming the file for any other n, or when the bytes cannot be read.
  void ReadFrame(int n, SourceFrame& frame);

 private:
  int BytesPerSample() const noexcept { return m_header.PixelDepth > 8 ? 2 : 1; }
  int SamplesPerPixel() const noexcept;
  void DecideByteOrder(SerByteOrder order);

  std::string m_path;
  InputFile m_file;
  SerHeader m_header;
  std::uint64_t m_frameBytes = 0;
  int m_frames = 0;
  bool m_cut = false;
  bool m_little = true;
  SerOrderSource m_orderSource = SerOrderSource::NotNeeded;
  std::vector<std::uint8_t> m_raw8;    ///< one 8-bit mosaic, reused
  std::vector<std::uint16_t> m_raw16;  ///< one 16-bit mosaic, reused
};

/// Bilinear demosaicing of a Bayer mosaic of width x height samples (both at
/// least 2) into interleaved colour pixels. `redX`, `redY` (0 or 1) place the
/// red sample of the 2 x 2 tile (RGGB 0,0; GRBG 1,0; GBRG 0,1; BGGR 1,1).
/// Each pixel keeps its own sample and takes the missing colours as the
/// rounded mean of its nearest neighbours of that colour: the two beside or
/// above and below it, or the four orthogonal (green) or diagonal ones. At the
/// edges the mosaic is mirrored (column -1 reads column 1), which keeps the
/// pattern. `out` gets width x 3 samples a row, `outRed`, `outGreen`,
/// `outBlue` the offsets of the colours within a pixel (2, 1, 0 for a 24-bit
/// bitmap's blue-green-red).
template <class T>
void DemosaicBilinear(T* out, const T* mosaic, int width, int height, int redX, int redY, int outRed, int outGreen,
                      int outBlue);

}  // namespace corvane
