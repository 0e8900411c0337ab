#pragma once
// The manual mark on the input pane, without widgets: the pointer maps to
// picture coordinates, a drag places the compare area, and each event says
// which rectangles the pane must invert to show it.
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/frame_list.h"

namespace corvane {

constexpr std::int32_t InputPaneWidth = 320;
constexpr std::int32_t InputPaneHeight = 240;

struct TRect32 {
  std::int32_t x = 0, y = 0, w = 0, h = 0;
  friend bool operator==(const TRect32&, const TRect32&) = default;
};

/// The compare area of an AreaSize setting: 0 -> 96 x 72, 1 -> 192 x 144, 2 -> 384 x 288.
TPoint32 AreaSizeOf(int areaSize) noexcept;

/// Pointer (X, Y) in the 320 x 240 pane to coordinates of a W x H picture:
/// stretched ("Whole image") x = X W div 320, y = Y H div 240; otherwise the
/// picture stands centred, x = X - (320 - W) div 2, y = Y - (240 - H) div 2
/// (for a picture larger than the pane X + HalfSpan(320, W); a smaller one is
/// shown with margins, which the pointer crosses first).
TPoint32 PaneToPicture(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width, std::int32_t height);

/// Shows a marked rectangle on the input pane's picture: every colour byte
/// inside it, cut to the picture, becomes 255 minus itself, in place, so a
/// second call restores the picture. A picture that is not 24-bit is made
/// 24-bit first.
void InvertRectangle(Bitmap& picture, const TRect32& r);

class ManualMark {
 public:
  bool ManualMarkSet = false;  ///< a mark has been dragged; Go then uses it
  bool Dragging = false;
  std::int32_t MarkX = 0, MarkY = 0;  ///< top-left corner of the marked area
  std::int32_t DragX = 0, DragY = 0;  ///< pointer minus half the area, not clamped
  std::int32_t DragW = 0, DragH = 0;  ///< the area taken when the button went down

  /// Each answers the rectangles to invert on the pane's picture, in order,
  /// cut to the picture (the mark itself may reach past a picture that is
  /// larger than the area in one direction only).
  std::vector<TRect32> MouseDown(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width,
                                 std::int32_t height, TPoint32 area);
  std::vector<TRect32> MouseMove(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width,
                                 std::int32_t height);
  std::vector<TRect32> MouseUp(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width,
                               std::int32_t height);
  /// Cleared when a preview starts.
  void Clear() noexcept { ManualMarkSet = false; }

  /// The marked rectangle for the current drag position, pushed inside the picture.
  TRect32 MarkedRectangle(std::int32_t width, std::int32_t height) const noexcept;

 private:
  bool Larger(std::int32_t width, std::int32_t height) const noexcept { return width > DragW || height > DragH; }
  void DragFrom(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width, std::int32_t height) noexcept;
};

}  // namespace corvane
