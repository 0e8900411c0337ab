#pragma once
// Frames, the frame list with its memory budget, and the four-plane result
// picture.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/image16.h"

namespace corvane {

struct TPoint32 {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const TPoint32&, const TPoint32&) = default;
};

/// A position or offset in fractions of a sample.
struct TPointF {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const TPointF&, const TPointF&) = default;
};

/// One frame: its plane and what loading, rating and alignment found out.
class TImageListItem {
 public:
  /// A black frame of width x height (cut to the plane limits).
  TImageListItem(std::int32_t width, std::int32_t height);

  /// A frame of the bitmap's size holding the channel of the loading setting
  /// `loadChannel` (0 L, 1 R, 2 G, 3 B; any other value leaves it black).
  static std::unique_ptr<TImageListItem> CreateFromBitmap(Bitmap& bitmap, const std::string& fileName,
                                                          std::int32_t number, int loadChannel);

  /// Writes the frame as grey into the bitmap's top-left corner; the bitmap is
  /// not resized (only the overlap is written).
  void ToBitmap(Bitmap& bitmap) const;

  std::string FileName;
  std::int32_t Number = -1;
  TImage16 Image;
  std::int32_t Quality = 1000;
  double QualityCorrelation = 1.0;
  double QualityLuminance = 1.0;
  double QualityContrast = 1.0;
  TPoint32 Center;
  TPoint32 Shift;
  /// The fraction beyond Shift that the sub-sample fit found (each -0.5..0.5);
  /// (0, 0) unless the last stack run refined its shifts below a sample.
  TPointF SubShift;
  double Rotate = 0.0;
  double Resize = 1.0;
  std::int32_t Mean = 0;
  std::int64_t Correlation = 0;  // alignment score, held in 64 bits so large areas never overflow
  /// The sharpness rating of the last stack run that rated by sharpness (0 before).
  double Sharpness = 0.0;
};

constexpr std::int64_t DefaultMaxMem = 536870912;  // 512 MiB
constexpr int FrameListLimit = 4096;

/// min(4096, max(0, maxMem div (w x h x 2) - 5)), computed in 64 bits, where
/// the product of two 32-bit sizes cannot overflow: a frame size typed far
/// beyond what any memory holds gives 0 frames, not an error. A negative size
/// counts as 0; a zero size gives the limit 4096.
int MaxFramesFor(std::int64_t maxMem, std::int32_t width, std::int32_t height);

/// The ordered list of frames; it owns them.
class FrameList {
 public:
  FrameList();

  /// Frees every item, FrameCount := 0, CurrentFrame := 0.
  void Clear();
  /// Appends the item when fewer than MaxFrames are held and answers true;
  /// otherwise the item is freed and the answer is false. Either way
  /// FrameCount := items and CurrentFrame := items - 1.
  bool Add(std::unique_ptr<TImageListItem> item);

  /// Frees the items after the first `count` (nothing when count >= Count);
  /// FrameCount := items, CurrentFrame := min(CurrentFrame, items - 1), 0
  /// when none is left.
  void KeepFirst(int count);

  int Count() const noexcept { return static_cast<int>(m_items.size()); }
  bool Empty() const noexcept { return m_items.empty(); }
  TImageListItem& operator[](int index) { return *m_items.at(static_cast<std::size_t>(index)); }
  const TImageListItem& operator[](int index) const { return *m_items.at(static_cast<std::size_t>(index)); }

  /// The count after the last add or clear.
  int FrameCount() const noexcept { return m_frameCount; }
  /// Zero-based index of the frame shown by the frame browser.
  int CurrentFrame = 0;

  /// Byte budget of the frames; starts at 512 MiB.
  std::int64_t MaxMem() const noexcept { return m_maxMem; }
  void SetMaxMem(std::int64_t bytes) noexcept { m_maxMem = bytes; }
  /// The most items Add accepts. Starts at min(4096, MaxMem div 19 440 000).
  int MaxFrames() const noexcept { return m_maxFrames; }
  /// Recomputes MaxFrames for an internal frame size.
  void RecomputeMaxFrames(std::int32_t width, std::int32_t height) {
    m_maxFrames = MaxFramesFor(m_maxMem, width, height);
  }
  void SetMaxFrames(int frames) noexcept { m_maxFrames = frames; }

 private:
  std::vector<std::unique_ptr<TImageListItem>> m_items;
  int m_frameCount = 0;
  std::int64_t m_maxMem = DefaultMaxMem;
  int m_maxFrames;
};

/// The result picture: the mono plane, then R, G and B; each 192 x 144 black
/// at start. Plane(i) by show index: 0 mono, 1 R, 2 G, 3 B.
struct TResultPicture {
  TResultPicture();
  TImage16 Mono;
  TImage16 R;
  TImage16 G;
  TImage16 B;
  /// The plane of a loading channel setting (0 L, 1 R, 2 G, 3 B; other -> mono).
  TImage16& PlaneOfChannel(int loadChannel) noexcept;
  const TImage16& PlaneOfChannel(int loadChannel) const noexcept;
};

}  // namespace corvane
