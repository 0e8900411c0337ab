#pragma once
// The 16-bit monochrome plane and its basic operations.
//
// Rules shared by every rectangle operation of the image core:
//  - destination first, then the sources, then the rectangle (X, Y, W, H) and
//    the parameters;
//  - every rectangle goes through Image16ClipRect (one plane) or
//    Image16ClipPair (two planes) before any sample is touched, so a rectangle
//    partly or wholly outside a plane is never an error;
//  - no operation allocates except Image16Create (and the one line buffer of
//    Image16Resize);
//  - an accumulation plane is a plane of twice the pixel width whose pixels are
//    unsigned 32-bit values, low half first; use AccGet / AccSet on it.
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/bitmap.h"

namespace corvane {

/// Largest side of a picture the readers accept (and so of a frame).
constexpr std::int32_t MaxPictureSide = 32768;
/// Plane limits: a picture's plane is at most MaxPictureSide on each side; an
/// accumulation plane (two samples a pixel) is twice as wide.
constexpr std::int32_t MaxImageWidth = 2 * MaxPictureSide;
constexpr std::int32_t MaxImageHeight = MaxPictureSide;

constexpr std::uint16_t Image16Black() noexcept { return 0; }
constexpr std::uint16_t Image16White() noexcept { return 65535; }
constexpr int Image16Bits() noexcept { return 16; }

/// Releases plane storage. Storage normally comes from the C heap; a block
/// allocator may hand out samples with its own release function.
struct PlaneFree {
  void (*Release)(void* context, std::uint16_t* samples) noexcept = nullptr;
  void* Context = nullptr;
  void operator()(std::uint16_t* samples) const noexcept;
};
using PlaneData = std::unique_ptr<std::uint16_t[], PlaneFree>;

/// A plane of Width x Height unsigned 16-bit samples, row after row, row 0 on
/// top. It owns its samples: it moves, and copies only through Image16Copy.
/// Storage is Width x Height samples plus four spare bytes.
struct TImage16 {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  PlaneData Data;

  std::uint16_t* Row(std::int32_t y) noexcept { return Data.get() + static_cast<std::ptrdiff_t>(y) * Width; }
  const std::uint16_t* Row(std::int32_t y) const noexcept {
    return Data.get() + static_cast<std::ptrdiff_t>(y) * Width;
  }
  std::size_t SampleCount() const noexcept {
    return static_cast<std::size_t>(Width < 0 ? 0 : Width) * static_cast<std::size_t>(Height < 0 ? 0 : Height);
  }
  bool HasStorage() const noexcept { return Data != nullptr; }
};

/// (Re)creates the plane: Width := min(MaxImageWidth, W), Height :=
/// min(MaxImageHeight, H)
/// (negative sizes count as 0), new storage filled with black. Storage the
/// plane held before is released first. Throws std::bad_alloc when the
/// storage cannot be had; the plane then has no storage.
void Image16Create(TImage16& plane, std::int32_t width, std::int32_t height);

/// Releases the storage; Width and Height keep their values. Nothing happens
/// when the plane has no storage.
void Image16Free(TImage16& plane) noexcept;

/// y x width + x, overflow-checked (OverflowError).
std::int32_t Image16Index(std::int32_t x, std::int32_t y, std::int32_t width);
/// 2 x (y x width + x), overflow-checked (OverflowError).
std::int32_t Image16ByteOffset(std::int32_t x, std::int32_t y, std::int32_t width);

/// The sample at (x, y); no range check: the caller keeps (x, y) inside.
inline std::uint16_t Image16GetPixel(const TImage16& plane, std::int32_t x, std::int32_t y) noexcept {
  return plane.Data[static_cast<std::ptrdiff_t>(y) * plane.Width + x];
}
/// Stores the sample at (x, y); no range check.
inline void Image16SetPixel(TImage16& plane, std::int32_t x, std::int32_t y, std::uint16_t value) noexcept {
  plane.Data[static_cast<std::ptrdiff_t>(y) * plane.Width + x] = value;
}

/// Pixel (x, y) of an accumulation plane (pixel width = Width / 2).
inline std::uint32_t AccGet(const TImage16& acc, std::int32_t x, std::int32_t y) noexcept {
  std::uint32_t v;
  std::memcpy(&v, acc.Data.get() + static_cast<std::ptrdiff_t>(y) * acc.Width + 2 * x, sizeof v);
  return v;
}
inline void AccSet(TImage16& acc, std::int32_t x, std::int32_t y, std::uint32_t value) noexcept {
  std::memcpy(acc.Data.get() + static_cast<std::ptrdiff_t>(y) * acc.Width + 2 * x, &value, sizeof value);
}

/// Clips the rectangle (X, Y, W, H) to a plane of PW x PH, in this order:
/// far origins are pulled back to the far edge; negative sizes become 0; sizes
/// larger than the plane are cut; when |X| + W passes the far edge W becomes
/// PW - |X| (likewise for Y); negative origins become 0. A size that comes out
/// negative counts as empty.
void Image16ClipRect(std::int32_t planeWidth, std::int32_t planeHeight, std::int32_t& x, std::int32_t& y,
                     std::int32_t& w, std::int32_t& h) noexcept;

/// Clips a rectangle read from `source` at (SX, SY) and written to
/// `destination` at (DX, DY). For two planes: a negative source origin moves
/// the destination origin by the same amount, then each side is clipped on its
/// own copy of W, H and the smaller sizes win. For one plane used as both, only
/// the destination side is clipped, unless the source would then leave the
/// plane, in which case the two-plane rule applies (so nothing outside the
/// plane is ever read).
void Image16ClipPair(const TImage16& destination, std::int32_t& dx, std::int32_t& dy, const TImage16& source,
                     std::int32_t& sx, std::int32_t& sy, std::int32_t& w, std::int32_t& h) noexcept;

/// Every sample of the clipped rectangle := value.
void Image16FillRect(TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     std::uint16_t value) noexcept;

/// destination (DX + i, DY + j) := source (SX + i, SY + j) after Image16ClipPair.
/// With one plane as both, rows go top to bottom and each row from its last
/// sample to its first (overlaps smear exactly as that order gives).
void Image16Copy(TImage16& destination, std::int32_t dx, std::int32_t dy, const TImage16& source, std::int32_t sx,
                 std::int32_t sy, std::int32_t w, std::int32_t h) noexcept;

/// Channel codes of the bitmap conversions.
enum ChannelCode : int { ChannelR = 1, ChannelG = 2, ChannelB = 4, ChannelL = 8 };

/// (77 R + 151 G + 28 B) shr 8.
constexpr std::uint32_t Luminance(std::uint32_t r, std::uint32_t g, std::uint32_t b) noexcept {
  return (77 * r + 151 * g + 28 * b) >> 8;
}

/// Channel code of the loading setting: 0 L -> 8, 1 R -> 1, 2 G -> 2, 3 B -> 4,
/// anything else 0 (writes nothing).
constexpr int ChannelCodeOfSetting(int setting) noexcept {
  switch (setting) {
    case 0: return ChannelL;
    case 1: return ChannelR;
    case 2: return ChannelG;
    case 3: return ChannelB;
    default: return 0;
  }
}

/// Copies the bitmap region (X, Y, W, H) into the plane's top-left corner:
/// 8-bit index x 256 (the palette is not consulted), 16-bit words unchanged,
/// 24-bit per channel code. Other formats are made 24-bit first (the bitmap
/// changes). Throws RangeError when a row read passes the row limit of
/// MaxPictureSide columns (any format); rows done stay.
void Image16FromBitmap(TImage16& plane, Bitmap& bitmap, std::int32_t x, std::int32_t y, std::int32_t w,
                       std::int32_t h, int channelCode);

/// Copies the plane region (X, Y, W, H) into the bitmap's top-left corner:
/// 8-bit index := sample shr 8, 16-bit word := sample, 24-bit per channel code
/// (code 8 writes grey). Other formats are made 24-bit first. Row limits and
/// errors as Image16FromBitmap.
void Image16ToBitmap(Bitmap& bitmap, const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w,
                     std::int32_t h, int channelCode);

}  // namespace corvane
