#pragma once
// A picture of 16-bit samples as deep sources deliver it (frames of more than
// 8 bits: 16-bit SER videos, 16-bit PNG and TIFF pictures, FITS images) and
// as the 16-bit result files take it: one grey channel, or three channels
// red, green, blue interleaved, rows from the top, no padding.
//
// Samples use the full 16-bit range: data of fewer bits is scaled up by its
// depth (a 12-bit value v is stored as v x 16), as 8-bit values enter the
// planes as v x 256.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/image16.h"

namespace corvane {

class Picture16 {
 public:
  Picture16() = default;
  /// A black picture; negative sizes count as 0, `channels` is 1 or 3.
  Picture16(int width, int height, int channels);

  int Width() const noexcept { return m_width; }
  int Height() const noexcept { return m_height; }
  /// 1 (grey) or 3 (red, green, blue).
  int Channels() const noexcept { return m_channels; }
  bool Empty() const noexcept { return m_width == 0 || m_height == 0; }
  /// Samples of one row (width x channels).
  std::size_t RowSamples() const noexcept { return static_cast<std::size_t>(m_width) * m_channels; }

  std::uint16_t* Row(int y) noexcept { return m_samples.data() + static_cast<std::size_t>(y) * RowSamples(); }
  const std::uint16_t* Row(int y) const noexcept {
    return m_samples.data() + static_cast<std::size_t>(y) * RowSamples();
  }
  std::uint16_t* Samples() noexcept { return m_samples.data(); }
  const std::uint16_t* Samples() const noexcept { return m_samples.data(); }

  /// Makes the picture width x height with `channels` (1 or 3). Keeps the
  /// storage when the shape is unchanged (the samples then keep their values);
  /// otherwise the samples are 0. Never gives back capacity, so a reader that
  /// reuses one picture allocates only for its first frame.
  void Reshape(int width, int height, int channels);

  friend bool operator==(const Picture16&, const Picture16&) = default;

 private:
  int m_width = 0;
  int m_height = 0;
  int m_channels = 1;
  std::vector<std::uint16_t> m_samples;
};

/// Fills the plane's top-left corner (the overlap of both sizes) with one
/// channel of the picture, by channel code: a grey picture gives its samples
/// for every code; a colour picture gives red (1), green (2), blue (4), or
/// the luminance (77 R + 151 G + 28 B) shr 8 (8); any other code writes
/// nothing. The 16-bit counterpart of Image16FromBitmap.
void Image16FromPicture16(TImage16& plane, const Picture16& picture, int channelCode);

/// A grey picture holding the plane's samples (an empty plane gives 0 x 0).
Picture16 Picture16FromPlane(const TImage16& plane);

/// The picture as a 24-bit bitmap for display: each sample's high byte (grey
/// pictures give grey pixels). The bitmap takes the picture's size.
void Picture16ToBitmap(Bitmap& bitmap, const Picture16& picture);

/// The 16-bit counterparts of the field operations on bitmaps:
/// Picture16InterpolateOddLines keeps the even rows and rebuilds every odd row
/// that has a row below it as (above + below) shr 1 per sample;
/// Picture16InterpolateEvenLines keeps the odd rows and rebuilds the even rows
/// from row 2 on likewise. Row 0 and a last row without a row below stay.
void Picture16InterpolateOddLines(Picture16& picture);
void Picture16InterpolateEvenLines(Picture16& picture);

}  // namespace corvane
