#include "output/render.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"
#include "output/bitmap_ops.h"

namespace corvane {

void Lut16Free::operator()(Lut16* table) const noexcept { std::allocator<Lut16>().deallocate(table, 1); }

Lut16Ptr MakeLut16() {
  // The storage of an array of 16-bit words needs no construction of its own.
  Lut16Ptr table(std::allocator<Lut16>().allocate(1));
  std::fill(std::begin(*table), std::end(*table), std::uint16_t{0});
  return table;
}

RenderState::RenderState() : LutTable(MakeLut16()) {}

void ReadLutFile(const std::string& path, Lut16& table) {
  std::uint64_t size = 0;
  const int fd = OpenRegularFile(path, size);  // a FIFO or device is refused before anything waits on it
  std::vector<std::uint8_t> bytes(LutFileBytes);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw ReadError("ReadLutFile: cannot read \"" + path + "\": " + std::strerror(err));
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got < LutFileBytes) {
    throw ReadError("ReadLutFile: \"" + path + "\" holds " + std::to_string(got) + " bytes, a look-up table needs " +
                    std::to_string(LutFileBytes));
  }
  for (std::size_t i = 0; i < 65536; ++i) {
    table[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
}

void ChooseLutFile(Settings& settings, const std::string& path) {
  const Lut16Ptr scratch = MakeLut16();
  ReadLutFile(path, *scratch);
  settings.SetEditSave(&TEditSaveSettings::LUTFile, path);
}

void ClearLutFile(Settings& settings) {
  settings.EditSave.LUTFile.clear();
  settings.SetEditSave(&TEditSaveSettings::UseLUT, false);
}

namespace {

constexpr std::uint8_t Clamp255(std::int64_t v) noexcept {
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

/// Round to nearest, ties to even, for a value already checked to be finite
/// and within 2^24 after scaling.
std::int64_t ScaledRound(const char* what, double value, double scale) {
  const double scaled = value * scale;
  if (!std::isfinite(scaled) || std::fabs(scaled) > 16777216.0) {
    throw RangeError(std::string("RenderColour: ") + what + " " + std::to_string(value) + " is out of range");
  }
  return static_cast<std::int64_t>(std::nearbyint(scaled));
}

// The two mixes over one row of n pixels. T is int32_t when every factor is
// small enough for 32-bit products (|factor| <= 4096), int64_t otherwise;
// both give the same values as the plain definition.
template <class T, bool Saturate>
void MixLrgbRow(std::uint8_t* dst, const std::uint16_t* lp, const std::uint16_t* rp, const std::uint16_t* gp,
                const std::uint16_t* bp, std::int32_t n, T s, T wr, T wg, T wb) noexcept {
  for (std::int32_t x = 0; x < n; ++x) {
    T r = rp[x] >> 8, g = gp[x] >> 8, b = bp[x] >> 8;
    const T l = lp[x] >> 8;
    T i = (r * wr + g * wg + b * wb) / 256;
    if constexpr (Saturate) {
      r = i + ((r - i) * s) / 256;
      g = i + ((g - i) * s) / 256;
      b = i + ((b - i) * s) / 256;
    }
    if (i <= 0) i = 1;
    dst[3 * x] = Clamp255(b * l / i);
    dst[3 * x + 1] = Clamp255(g * l / i);
    dst[3 * x + 2] = Clamp255(r * l / i);
  }
}

/// The RGB view: each colour byte is a function of its plane's high byte
/// alone, clamp(c w div 85), so it is looked up in a table per colour.
struct RgbTables {
  std::uint8_t R[256], G[256], B[256];
  RgbTables(std::int64_t wr, std::int64_t wg, std::int64_t wb) noexcept {
    for (std::int64_t c = 0; c < 256; ++c) {
      R[c] = Clamp255(c * wr / 85);
      G[c] = Clamp255(c * wg / 85);
      B[c] = Clamp255(c * wb / 85);
    }
  }
};

void MixRgbRow(std::uint8_t* dst, const std::uint16_t* rp, const std::uint16_t* gp, const std::uint16_t* bp,
               std::int32_t n, const RgbTables& t) noexcept {
  for (std::int32_t x = 0; x < n; ++x) {
    dst[3 * x] = t.B[bp[x] >> 8];
    dst[3 * x + 1] = t.G[gp[x] >> 8];
    dst[3 * x + 2] = t.R[rp[x] >> 8];
  }
}

/// One plane as the colour mix reads it: row y of the bitmap is the plane's
/// row min(y, height - 1), widened to the bitmap's width by repeating its
/// last sample; an empty plane reads as zeros.
class RowReader {
 public:
  RowReader(const TImage16& plane, std::int32_t width) : m_plane(plane), m_width(width) {
    m_empty = !plane.HasStorage() || plane.Width <= 0 || plane.Height <= 0;
    if (m_empty || plane.Width < width) m_line.assign(static_cast<std::size_t>(width), 0);
  }
  const std::uint16_t* Row(std::int32_t y) {
    if (m_empty) return m_line.data();
    const std::int32_t row = std::min(y, m_plane.Height - 1);
    const std::uint16_t* src = m_plane.Row(row);
    if (m_plane.Width >= m_width) return src;
    if (row != m_lineRow) {
      std::copy_n(src, m_plane.Width, m_line.begin());
      std::fill(m_line.begin() + m_plane.Width, m_line.end(), src[m_plane.Width - 1]);
      m_lineRow = row;
    }
    return m_line.data();
  }

 private:
  const TImage16& m_plane;
  std::int32_t m_width;
  bool m_empty = false;
  std::vector<std::uint16_t> m_line;
  std::int32_t m_lineRow = -1;
};

template <class T>
void MixRows(Bitmap& bitmap, const TImage16& l, const TImage16& r, const TImage16& g, const TImage16& b, T s, T wr,
             T wg, T wb, bool useL) {
  const std::int32_t width = bitmap.Width();
  RowReader lr(l, width), rr(r, width), gr(g, width), br(b, width);
  const RgbTables tables(wr, wg, wb);
  for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* dst = bitmap.Row(y);
    if (!useL) {
      MixRgbRow(dst, rr.Row(y), gr.Row(y), br.Row(y), width, tables);
    } else if (s != 256) {
      MixLrgbRow<T, true>(dst, lr.Row(y), rr.Row(y), gr.Row(y), br.Row(y), width, s, wr, wg, wb);
    } else {
      MixLrgbRow<T, false>(dst, lr.Row(y), rr.Row(y), gr.Row(y), br.Row(y), width, s, wr, wg, wb);
    }
  }
}

constexpr std::uint16_t Clamp65535(std::int64_t v) noexcept {
  return static_cast<std::uint16_t>(v < 0 ? 0 : v > 65535 ? 65535 : v);
}

/// Step 1 of a rendering: the LUT file, when one is chosen, into the user
/// table. Answers whether the user table applies ("Use LUT", and its file, if
/// any, was read). A file that cannot be read throws ReadError, unless the
/// state renders without it: then the status line of `services` (when given)
/// says so once per file.
bool ReadUserTable(const TEditSaveSettings& edit, RenderState& state, Services* services) {
  if (!state.LutTable) state.LutTable = MakeLut16();
  if (edit.LUTFile.empty()) return edit.UseLUT;
  try {
    ReadLutFile(edit.LUTFile, *state.LutTable);
    state.UnreadableLutShown.clear();
    return edit.UseLUT;
  } catch (const ReadError& e) {
    if (!state.RenderWithoutUnreadableLut) throw;
    if (services != nullptr && state.UnreadableLutShown != edit.LUTFile) {
      state.UnreadableLutShown = edit.LUTFile;
      services->ShowStatus(std::string("The picture is shown without its LUT: ") + e.what());
    }
    return false;
  }
}

/// The brightness/contrast table of the edit settings, folded with the user
/// table when it applies (as RenderResultPicture builds it).
const Lut16& RenderTable(const TEditSaveSettings& edit, bool useLut, RenderState& state, Lut16Ptr& folded) {
  if (!state.BiasGainTable || state.BiasGainBias != edit.Bias || state.BiasGainGain != edit.Gain) {
    Lut16Ptr fresh = MakeLut16();
    BuildBiasGainLut(*fresh, 65536, edit.Bias, edit.Gain);
    state.BiasGainTable = std::move(fresh);
    state.BiasGainBias = edit.Bias;
    state.BiasGainGain = edit.Gain;
  }
  const Lut16& table = *state.BiasGainTable;
  if (!useLut) return table;
  const Lut16& user = *state.LutTable;
  folded = MakeLut16();
  for (std::size_t i = 0; i < 65536; ++i) (*folded)[i] = table[user[i]];
  return *folded;
}

/// P: the mono plane's top-left width x height through the user table (with
/// "Use LUT") and the brightness/contrast table, folded into one table.
TImage16 MonoThroughTables(const TImage16& mono, std::int32_t width, std::int32_t height,
                           const TEditSaveSettings& edit, bool useLut, RenderState& state) {
  Lut16Ptr folded;
  const Lut16& table = RenderTable(edit, useLut, state, folded);
  TImage16 p;
  Image16Create(p, width, height);
  Image16Copy(p, 0, 0, mono, 0, 0, width, height);
  Image16ApplyLut(p, 0, 0, width, height, table);
  return p;
}

}  // namespace

void RenderColour(Bitmap& bitmap, const TImage16& l, const TImage16& r, const TImage16& g, const TImage16& b,
                  double saturation, double rWeight, double gWeight, double bWeight, bool useL) {
  const std::int64_t s = ScaledRound("saturation", saturation, 256.0);
  const std::int64_t wr = ScaledRound("red weight", rWeight, 255.0);
  const std::int64_t wg = ScaledRound("green weight", gWeight, 255.0);
  const std::int64_t wb = ScaledRound("blue weight", bWeight, 255.0);
  if (bitmap.Format() != PixelFormat::Bgr24) bitmap.SetFormat(PixelFormat::Bgr24);
  if (bitmap.Empty()) return;
  const std::int64_t largest = std::max({std::llabs(s), std::llabs(wr), std::llabs(wg), std::llabs(wb)});
  if (largest <= 4096) {
    MixRows<std::int32_t>(bitmap, l, r, g, b, static_cast<std::int32_t>(s), static_cast<std::int32_t>(wr),
                          static_cast<std::int32_t>(wg), static_cast<std::int32_t>(wb), useL);
  } else {
    MixRows<std::int64_t>(bitmap, l, r, g, b, s, wr, wg, wb, useL);
  }
}

Bitmap RenderResultPicture(const TResultPicture& result, const Settings& settings, RenderState& state,
                           std::uint8_t workflowState, Services& services) {
  const TEditSaveSettings& edit = settings.EditSave;
  const bool useLut = ReadUserTable(edit, state, &services);

  const TImage16& mono = result.Mono;
  const bool monoEmpty = !mono.HasStorage() || mono.Width <= 0 || mono.Height <= 0;
  const std::int32_t width = monoEmpty ? 0 : mono.Width;
  const std::int32_t height = monoEmpty ? 0 : mono.Height;
  Bitmap bitmap(width, height);

  const std::uint8_t show = edit.ShowAs;
  if (show == 1 || show == 2 || show == 3) {
    // A colour plane as it is, in its own colour, or grey.
    const TImage16& plane = show == 1 ? result.R : show == 2 ? result.G : result.B;
    const int own = show == 1 ? ChannelR : show == 2 ? ChannelG : ChannelB;
    Image16ToBitmap(bitmap, plane, 0, 0, width, height, own);
    if (!settings.General.ShowRGBcolor) {
      for (int code : {ChannelR, ChannelG, ChannelB}) {
        if (code != own) Image16ToBitmap(bitmap, plane, 0, 0, width, height, code);
      }
    }
  } else if (show == 0 || show == 4 || show == 5) {
    const TImage16 p = MonoThroughTables(mono, width, height, edit, useLut, state);
    if (show == 0) {
      Image16ToBitmap(bitmap, p, 0, 0, width, height, ChannelL);
    } else {
      RenderColour(bitmap, p, result.R, result.G, result.B, edit.Saturation, edit.RWeight, edit.GWeight, edit.BWeight,
                   show == 4);
    }
  }

  if (workflowState != 1) services.ShowInResultPane(bitmap);
  return bitmap;
}

void RenderColour16(Picture16& picture, const TImage16& l, const TImage16& r, const TImage16& g, const TImage16& b,
                    double saturation, double rWeight, double gWeight, double bWeight, bool useL) {
  const std::int64_t s = ScaledRound("saturation", saturation, 256.0);
  const std::int64_t wr = ScaledRound("red weight", rWeight, 255.0);
  const std::int64_t wg = ScaledRound("green weight", gWeight, 255.0);
  const std::int64_t wb = ScaledRound("blue weight", bWeight, 255.0);
  picture.Reshape(picture.Width(), picture.Height(), 3);
  const std::int32_t width = picture.Width();
  RowReader lr(l, width), rr(r, width), gr(g, width), br(b, width);
  for (std::int32_t y = 0; y < picture.Height(); ++y) {
    const std::uint16_t *lp = lr.Row(y), *rp = rr.Row(y), *gp = gr.Row(y), *bp = br.Row(y);
    std::uint16_t* dst = picture.Row(y);
    for (std::int32_t x = 0; x < width; ++x) {
      std::int64_t rc = rp[x], gc = gp[x], bc = bp[x];
      if (!useL) {
        dst[3 * x] = Clamp65535(rc * wr / 85);
        dst[3 * x + 1] = Clamp65535(gc * wg / 85);
        dst[3 * x + 2] = Clamp65535(bc * wb / 85);
        continue;
      }
      std::int64_t i = (rc * wr + gc * wg + bc * wb) / 256;
      if (s != 256) {
        rc = i + ((rc - i) * s) / 256;
        gc = i + ((gc - i) * s) / 256;
        bc = i + ((bc - i) * s) / 256;
      }
      if (i <= 0) i = 1;
      const std::int64_t lv = lp[x];
      dst[3 * x] = Clamp65535(rc * lv / i);
      dst[3 * x + 1] = Clamp65535(gc * lv / i);
      dst[3 * x + 2] = Clamp65535(bc * lv / i);
    }
  }
}

Picture16 RenderResultPicture16(const TResultPicture& result, const Settings& settings, RenderState& state) {
  const TEditSaveSettings& edit = settings.EditSave;
  const bool useLut = ReadUserTable(edit, state, nullptr);  // the shown rendering said it already

  const TImage16& mono = result.Mono;
  const bool monoEmpty = !mono.HasStorage() || mono.Width <= 0 || mono.Height <= 0;
  const std::int32_t width = monoEmpty ? 0 : mono.Width;
  const std::int32_t height = monoEmpty ? 0 : mono.Height;
  const std::uint8_t show = edit.ShowAs;
  Picture16 picture(width, height, show == 4 || show == 5 ? 3 : 1);
  // A plane into the grey picture's top-left corner (the overlap of both).
  auto grey = [&picture](const TImage16& plane) {
    if (!plane.HasStorage()) return;
    const std::int32_t w = std::min(picture.Width(), plane.Width), h = std::min(picture.Height(), plane.Height);
    for (std::int32_t y = 0; y < h; ++y) std::copy_n(plane.Row(y), std::max(0, w), picture.Row(y));
  };
  if (show == 1 || show == 2 || show == 3) {
    grey(show == 1 ? result.R : show == 2 ? result.G : result.B);
  } else if (show == 0 || show == 4 || show == 5) {
    const TImage16 p = MonoThroughTables(mono, width, height, edit, useLut, state);
    if (show == 0)
      grey(p);
    else
      RenderColour16(picture, p, result.R, result.G, result.B, edit.Saturation, edit.RWeight, edit.GWeight,
                     edit.BWeight, show == 4);
  }
  return picture;
}

}  // namespace corvane
