#pragma once
// TIFF files written with libtiff for the tests and the fuzz seeds.
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::test {

struct TiffLayout {
  int Width = 2, Height = 2, Bits = 16, Samples = 1;
  int Photometric = PHOTOMETRIC_MINISBLACK;
  int Planar = PLANARCONFIG_CONTIG;
  int Format = SAMPLEFORMAT_UINT;
  bool Tiled = false;  ///< 16 x 16 tiles
};

/// Writes a TIFF with libtiff; `samples` hold the pixels' samples together
/// (for separate planes they are split here).
inline void WriteTiff(const std::string& path, const TiffLayout& s, const std::vector<std::uint16_t>& samples) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (t == nullptr) throw std::runtime_error("cannot write " + path);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s.Width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, s.Height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.Bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.Samples);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.Photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, s.Planar);
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, s.Format);
  if (s.Samples == 4 || s.Samples == 2) {
    const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  const int bytes = s.Bits / 8;
  auto put = [&](std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    if (bytes == 2)
      std::memcpy(out.data() + 2 * at, &v, 2);
    else
      out[at] = static_cast<std::uint8_t>(v);
  };
  const bool separate = s.Planar == PLANARCONFIG_SEPARATE;
  const int planes = separate ? s.Samples : 1, stride = separate ? 1 : s.Samples;
  auto sample = [&](int x, int y, int c) {
    return samples[(static_cast<std::size_t>(y) * s.Width + x) * s.Samples + c];
  };
  if (s.Tiled) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    std::vector<std::uint8_t> tile(16 * 16 * stride * bytes);
    for (int p = 0; p < planes; ++p)
      for (int ty = 0; ty < s.Height; ty += 16)
        for (int tx = 0; tx < s.Width; tx += 16) {
          std::fill(tile.begin(), tile.end(), 0);
          for (int j = 0; j < 16 && ty + j < s.Height; ++j)
            for (int i = 0; i < 16 && tx + i < s.Width; ++i)
              for (int c = 0; c < stride; ++c)
                put(tile, (j * 16 + i) * stride + c, sample(tx + i, ty + j, separate ? p : c));
          TIFFWriteTile(t, tile.data(), tx, ty, 0, static_cast<std::uint16_t>(p));
        }
  } else {
    std::vector<std::uint8_t> line(static_cast<std::size_t>(s.Width) * stride * bytes);
    for (int p = 0; p < planes; ++p)
      for (int y = 0; y < s.Height; ++y) {
        for (int x = 0; x < s.Width; ++x)
          for (int c = 0; c < stride; ++c)
            put(line, static_cast<std::size_t>(x) * stride + c, sample(x, y, separate ? p : c));
        TIFFWriteScanline(t, line.data(), y, static_cast<std::uint16_t>(p));
      }
  }
  TIFFClose(t);
}

}  // namespace corvane::test
