#include "core/picture16.h"

#include <algorithm>

#include "core/image_ops_detail.h"

namespace corvane {

Picture16::Picture16(int width, int height, int channels) { Reshape(width, height, channels); }

void Picture16::Reshape(int width, int height, int channels) {
  width = std::max(0, width);
  height = std::max(0, height);
  channels = channels == 3 ? 3 : 1;
  if (width == m_width && height == m_height && channels == m_channels &&
      m_samples.size() == RowSamples() * static_cast<std::size_t>(m_height))
    return;
  m_width = width;
  m_height = height;
  m_channels = channels;
  m_samples.assign(RowSamples() * static_cast<std::size_t>(m_height), 0);
}

namespace {

CORVANE_AVX2_CLONES void LuminanceRow16(std::uint16_t* dst, const std::uint16_t* p, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i)
    dst[i] = static_cast<std::uint16_t>((77u * p[3 * i] + 151u * p[3 * i + 1] + 28u * p[3 * i + 2]) >> 8);
}

CORVANE_AVX2_CLONES void ChannelRow16(std::uint16_t* dst, const std::uint16_t* p, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) dst[i] = p[3 * i];
}

CORVANE_AVX2_CLONES void HighByteRow(std::uint8_t* dst, const std::uint16_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint8_t>(src[i] >> 8);
}

void InterpolateField(Picture16& picture, int first) {
  const int height = picture.Height();
  const std::size_t n = picture.RowSamples();
  for (int t = first; t + 1 < height; t += 2) {
    const std::uint16_t* __restrict above = picture.Row(t - 1);
    const std::uint16_t* __restrict below = picture.Row(t + 1);
    std::uint16_t* __restrict dst = picture.Row(t);
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint16_t>((above[i] + below[i]) >> 1);
  }
}

}  // namespace

void Image16FromPicture16(TImage16& plane, const Picture16& picture, int channelCode) {
  if (!plane.HasStorage()) return;
  const std::int32_t w = std::min<std::int32_t>(plane.Width, picture.Width());
  const std::int32_t h = std::min<std::int32_t>(plane.Height, picture.Height());
  if (w <= 0 || h <= 0) return;
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint16_t* src = picture.Row(y);
    std::uint16_t* dst = plane.Row(y);
    if (picture.Channels() == 1) {
      std::copy_n(src, w, dst);
      continue;
    }
    switch (channelCode) {
      case ChannelR: ChannelRow16(dst, src, w); break;
      case ChannelG: ChannelRow16(dst, src + 1, w); break;
      case ChannelB: ChannelRow16(dst, src + 2, w); break;
      case ChannelL: LuminanceRow16(dst, src, w); break;
      default: break;
    }
  }
}

Picture16 Picture16FromPlane(const TImage16& plane) {
  if (!plane.HasStorage()) return {};
  Picture16 picture(plane.Width, plane.Height, 1);
  std::copy_n(plane.Data.get(), plane.SampleCount(), picture.Samples());
  return picture;
}

void Picture16ToBitmap(Bitmap& bitmap, const Picture16& picture) {
  if (bitmap.Format() != PixelFormat::Bgr24) bitmap.SetFormat(PixelFormat::Bgr24);
  if (bitmap.Width() != picture.Width() || bitmap.Height() != picture.Height())
    bitmap.SetSize(picture.Width(), picture.Height());
  bitmap.Palette().clear();
  for (int y = 0; y < picture.Height(); ++y) {
    const std::uint16_t* src = picture.Row(y);
    std::uint8_t* dst = bitmap.Row(y);
    if (picture.Channels() == 1) {
      detail::GreyRowOut(dst, src, picture.Width());
    } else {
      HighByteRow(dst, src, picture.RowSamples());
      for (int x = 0; x < picture.Width(); ++x) std::swap(dst[3 * x], dst[3 * x + 2]);  // red first -> blue first
    }
  }
}

void Picture16InterpolateOddLines(Picture16& picture) { InterpolateField(picture, 1); }
void Picture16InterpolateEvenLines(Picture16& picture) { InterpolateField(picture, 2); }

}  // namespace corvane
