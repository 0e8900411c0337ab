// The SER reader: the header is checked against the file before any frame
// storage is allocated; frames are read with one positioned read each.
#include "io/ser.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/errors.h"
#include "core/image_ops_detail.h"

namespace corvane {
namespace {

std::int32_t I32(const std::uint8_t* p) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

std::string Text(const std::uint8_t* p, std::size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  s.resize(std::strlen(s.c_str()));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
  throw ReadError("SER video \"" + path + "\": " + problem);
}

bool KnownColour(std::int32_t id) noexcept {
  switch (static_cast<SerColour>(id)) {
    case SerColour::Mono:
    case SerColour::BayerRggb:
    case SerColour::BayerGrbg:
    case SerColour::BayerGbrg:
    case SerColour::BayerBggr:
    case SerColour::Rgb:
    case SerColour::Bgr: return true;
  }
  return false;
}

bool IsBayer(SerColour c) noexcept { return c >= SerColour::BayerRggb && c <= SerColour::BayerBggr; }

/// The sample a 16-bit word becomes: byte-swapped when the file's order is
/// not the machine's, then scaled from `depth` bits to 16 (held at 65535).
template <bool Swap>
CORVANE_AVX2_CLONES void WidenSamples(std::uint16_t* samples, std::size_t n, int depth) {
  const unsigned shift = static_cast<unsigned>(16 - depth);
  const std::uint32_t largest = (1u << depth) - 1;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t v = samples[i];
    if constexpr (Swap) v = ((v & 0xFF) << 8) | (v >> 8);
    samples[i] = static_cast<std::uint16_t>(v > largest ? 0xFFFF : v << shift);
  }
}

void FixSamples(std::uint16_t* samples, std::size_t n, bool fileLittle, int depth) {
  const bool swap = fileLittle != (std::endian::native == std::endian::little);
  if (!swap && depth == 16) return;
  if (swap)
    WidenSamples<true>(samples, n, depth);
  else
    WidenSamples<false>(samples, n, depth);
}

/// Mirrors an index into 0 .. n - 1 (n >= 2): -1 reads 1, n reads n - 2.
inline int Mirror(int i, int n) noexcept { return i < 0 ? -i : i >= n ? 2 * n - 2 - i : i; }

}  // namespace

template <class T>
void DemosaicBilinear(T* out, const T* mosaic, int width, int height, int redX, int redY, int outRed, int outGreen,
                      int outBlue) {
  const auto w = static_cast<std::size_t>(width);
  for (int y = 0; y < height; ++y) {
    const T* up = mosaic + static_cast<std::size_t>(Mirror(y - 1, height)) * w;
    const T* row = mosaic + static_cast<std::size_t>(y) * w;
    const T* down = mosaic + static_cast<std::size_t>(Mirror(y + 1, height)) * w;
    T* dst = out + static_cast<std::size_t>(y) * w * 3;
    const bool redRow = (y & 1) == redY;
    for (int x = 0; x < width; ++x) {
      const int l = x == 0 ? 1 : x - 1;
      const int r = x == width - 1 ? width - 2 : x + 1;
      const unsigned own = row[x];
      const unsigned side = (row[l] + row[r] + 1u) >> 1;      // left and right
      const unsigned vertical = (up[x] + down[x] + 1u) >> 1;  // above and below
      const bool redColumn = (x & 1) == redX;
      unsigned red, green, blue;
      if (redRow == redColumn) {
        // A red or a blue sample: green from the four beside it, the other
        // colour from the four diagonal ones.
        const unsigned cross = (row[l] + row[r] + up[x] + down[x] + 2u) >> 2;
        const unsigned diagonal = (up[l] + up[r] + down[l] + down[r] + 2u) >> 2;
        green = cross;
        red = redRow ? own : diagonal;
        blue = redRow ? diagonal : own;
      } else {
        // A green sample: in a red row red lies beside it and blue above and
        // below; in a blue row the other way round.
        green = own;
        red = redRow ? side : vertical;
        blue = redRow ? vertical : side;
      }
      dst[3 * x + outRed] = static_cast<T>(red);
      dst[3 * x + outGreen] = static_cast<T>(green);
      dst[3 * x + outBlue] = static_cast<T>(blue);
    }
  }
}

template void DemosaicBilinear<std::uint8_t>(std::uint8_t*, const std::uint8_t*, int, int, int, int, int, int, int);
template void DemosaicBilinear<std::uint16_t>(std::uint16_t*, const std::uint16_t*, int, int, int, int, int, int, int);

SerReader::SerReader(const std::string& path, SerByteOrder order) : m_path(path), m_file(path) {
  if (m_file.Size() < SerHeaderBytes)
    Fail(path, "the file holds " + std::to_string(m_file.Size()) + " bytes, less than the 178-byte header");
  std::uint8_t h[SerHeaderBytes];
  m_file.ReadAt(0, h, sizeof h);
  if (std::memcmp(h, "LUCAM-RECORDER", 14) != 0) Fail(path, "no SER file id (\"LUCAM-RECORDER\") at its start");
  const std::int32_t colour = I32(h + 18);
  if (!KnownColour(colour))
    Fail(path,
         "colour id " + std::to_string(colour) + " is not mono (0), a Bayer mosaic (8..11), RGB (100) or BGR (101)");
  m_header.Colour = static_cast<SerColour>(colour);
  m_header.LittleEndianFlag = I32(h + 22);
  m_header.Width = I32(h + 26);
  m_header.Height = I32(h + 30);
  m_header.PixelDepth = I32(h + 34);
  m_header.FrameCount = I32(h + 38);
  m_header.Observer = Text(h + 42, 40);
  m_header.Instrument = Text(h + 82, 40);
  m_header.Telescope = Text(h + 122, 40);
  if (m_header.PixelDepth < 8 || m_header.PixelDepth > 16)
    Fail(path, "bits per sample " + std::to_string(m_header.PixelDepth) + " are outside 8..16");
  if (!PictureSizeAllowed(m_header.Width, m_header.Height))
    Fail(path, "the frame size " + std::to_string(m_header.Width) + " x " + std::to_string(m_header.Height) +
                   " is 0 or beyond the reader limits (" + std::to_string(PictureMaxSide) + " per side, " +
                   std::to_string(PictureMaxPixels) + " pixels)");
  if (IsBayer(m_header.Colour) && (m_header.Width < 2 || m_header.Height < 2))
    Fail(path, "a Bayer frame of " + std::to_string(m_header.Width) + " x " + std::to_string(m_header.Height) +
                   " pixels is smaller than one 2 x 2 tile");

  m_frameBytes = static_cast<std::uint64_t>(m_header.Width) * static_cast<std::uint64_t>(m_header.Height) *
                 static_cast<std::uint64_t>(SamplesPerPixel() * BytesPerSample());
  const std::uint64_t whole = (m_file.Size() - SerHeaderBytes) / m_frameBytes;
  const std::uint64_t promised = m_header.FrameCount > 0 ? static_cast<std::uint64_t>(m_header.FrameCount) : 0;
  if (whole == 0)
    Fail(path, "the file holds no whole frame of " + std::to_string(m_frameBytes) +
                   " bytes (header: " + std::to_string(m_header.FrameCount) + " frames)");
  m_cut = promised == 0 || whole < promised;
  m_frames = static_cast<int>(std::min<std::uint64_t>(m_cut ? whole : promised, 0x7FFFFFFF));
  DecideByteOrder(order);
}

int SerReader::SamplesPerPixel() const noexcept {
  return m_header.Colour == SerColour::Rgb || m_header.Colour == SerColour::Bgr ? 3 : 1;
}

namespace {

struct Reading {
  std::uint64_t Over = 0;       // samples above the largest d-bit value
  std::uint64_t Roughness = 0;  // sum of differences to the same-colour neighbour on the right
};

Reading Measure(const std::uint8_t* bytes, int width, int height, int samplesPerPixel, int step, bool little,
                int depth) {
  Reading r;
  const std::uint32_t largest = (1u << depth) - 1;
  const std::size_t rowSamples = static_cast<std::size_t>(width) * samplesPerPixel;
  auto at = [&](std::size_t i) -> std::uint32_t {
    const std::uint8_t* p = bytes + 2 * i;
    return little ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]);
  };
  for (int y = 0; y < height; ++y) {
    const std::size_t base = static_cast<std::size_t>(y) * rowSamples;
    for (std::size_t i = 0; i < rowSamples; ++i) {
      const std::uint32_t v = at(base + i);
      r.Over += v > largest;
      if (i + step < rowSamples) {
        const std::uint32_t n = at(base + i + step);
        r.Roughness += v > n ? v - n : n - v;
      }
    }
  }
  return r;
}

}  // namespace

void SerReader::DecideByteOrder(SerByteOrder order) {
  m_little = m_header.LittleEndianFlag != 0;
  if (BytesPerSample() == 1) {
    m_orderSource = SerOrderSource::NotNeeded;
    return;
  }
  if (order != SerByteOrder::FromData) {
    m_little = order == SerByteOrder::Little;
    m_orderSource = SerOrderSource::User;
    return;
  }
  m_orderSource = SerOrderSource::Header;
  // The first rows of the first frame, about four million samples at most.
  const std::size_t rowSamples = static_cast<std::size_t>(m_header.Width) * static_cast<std::size_t>(SamplesPerPixel());
  const int rows = static_cast<int>(
      std::clamp<std::size_t>((std::size_t{1} << 22) / rowSamples, 1, static_cast<std::size_t>(m_header.Height)));
  std::vector<std::uint8_t> first(rowSamples * static_cast<std::size_t>(rows) * 2);
  m_file.ReadAt(SerHeaderBytes, first.data(), first.size());
  // Same-colour neighbours: the next sample of a mono frame, the next but one
  // of a mosaic, the next pixel's sample of a colour frame.
  const int step = IsBayer(m_header.Colour) ? 2 : SamplesPerPixel();
  const Reading le = Measure(first.data(), m_header.Width, rows, SamplesPerPixel(), step, true, m_header.PixelDepth);
  const Reading be = Measure(first.data(), m_header.Width, rows, SamplesPerPixel(), step, false, m_header.PixelDepth);
  const std::uint64_t samples = rowSamples * static_cast<std::uint64_t>(rows);
  if (m_header.PixelDepth < 16) {
    if (le.Over == 0 && be.Over * 1000 > samples) {
      m_little = true;
      m_orderSource = SerOrderSource::Data;
      return;
    }
    if (be.Over == 0 && le.Over * 1000 > samples) {
      m_little = false;
      m_orderSource = SerOrderSource::Data;
      return;
    }
  }
  if (be.Roughness >= 4 * le.Roughness && be.Roughness > 0) {
    m_little = true;
    m_orderSource = SerOrderSource::Data;
  } else if (le.Roughness >= 4 * be.Roughness && le.Roughness > 0) {
    m_little = false;
    m_orderSource = SerOrderSource::Data;
  }
}

void SerReader::ReadFrame(int n, SourceFrame& frame) {
  if (n < 0 || n >= m_frames)
    Fail(m_path, "frame " + std::to_string(n) + " is outside 0.." + std::to_string(m_frames - 1));
  const std::uint64_t offset = SerHeaderBytes + static_cast<std::uint64_t>(n) * m_frameBytes;
  const int w = m_header.Width, h = m_header.Height;
  const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  const SerColour colour = m_header.Colour;
  const bool deep = BytesPerSample() == 2;

  if (colour == SerColour::Mono) {
    if (!deep) {
      // Grey 8-bit: the file's rows are the Indexed8 bitmap's rows.
      Bitmap& b = frame.UseBitmap();
      if (b.Format() != PixelFormat::Indexed8) {
        b.SetSize(0, 0);
        b.SetFormat(PixelFormat::Indexed8);
      }
      if (b.Width() != w || b.Height() != h) b.SetSize(w, h);
      if (b.Palette().size() != 256 || b.Palette()[255].Red != 255) b.SetGreyPalette();
      m_file.ReadAt(offset, b.Bits(), pixels);
      return;
    }
    Picture16& p = frame.UseDeep();
    p.Reshape(w, h, 1);
    m_file.ReadAt(offset, p.Samples(), pixels * 2);
    FixSamples(p.Samples(), pixels, m_little, m_header.PixelDepth);
    return;
  }

  const bool bayer = IsBayer(colour);
  const std::size_t rawSamples = pixels * (bayer ? 1 : 3);
  if (!deep) {
    Bitmap& b = frame.UseBitmap24(w, h);
    if (colour == SerColour::Bgr) {
      m_file.ReadAt(offset, b.Bits(), rawSamples);
      return;
    }
    if (colour == SerColour::Rgb) {
      m_file.ReadAt(offset, b.Bits(), rawSamples);
      std::uint8_t* p = b.Bits();
      for (std::size_t i = 0; i < pixels; ++i) std::swap(p[3 * i], p[3 * i + 2]);
      return;
    }
    m_raw8.resize(rawSamples);
    m_file.ReadAt(offset, m_raw8.data(), rawSamples);
    const int redX = colour == SerColour::BayerGrbg || colour == SerColour::BayerBggr ? 1 : 0;
    const int redY = colour == SerColour::BayerGbrg || colour == SerColour::BayerBggr ? 1 : 0;
    DemosaicBilinear<std::uint8_t>(b.Bits(), m_raw8.data(), w, h, redX, redY, 2, 1, 0);
    return;
  }

  Picture16& p = frame.UseDeep();
  p.Reshape(w, h, 3);
  if (!bayer) {
    m_file.ReadAt(offset, p.Samples(), rawSamples * 2);
    FixSamples(p.Samples(), rawSamples, m_little, m_header.PixelDepth);
    if (colour == SerColour::Bgr) {
      std::uint16_t* s = p.Samples();
      for (std::size_t i = 0; i < pixels; ++i) std::swap(s[3 * i], s[3 * i + 2]);
    }
    return;
  }
  m_raw16.resize(rawSamples);
  m_file.ReadAt(offset, m_raw16.data(), rawSamples * 2);
  std::uint16_t* mosaic = m_raw16.data();
  FixSamples(mosaic, rawSamples, m_little, m_header.PixelDepth);
  const int redX = colour == SerColour::BayerGrbg || colour == SerColour::BayerBggr ? 1 : 0;
  const int redY = colour == SerColour::BayerGbrg || colour == SerColour::BayerBggr ? 1 : 0;
  DemosaicBilinear<std::uint16_t>(p.Samples(), mosaic, w, h, redX, redY, 0, 1, 2);
}

}  // namespace corvane
