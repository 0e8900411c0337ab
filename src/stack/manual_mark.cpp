#include "stack/manual_mark.h"

#include <algorithm>

#include "output/bitmap_ops.h"

namespace corvane {

TPoint32 AreaSizeOf(int areaSize) noexcept {
  switch (areaSize) {
    case 0: return {96, 72};
    case 2: return {384, 288};
    default: return {192, 144};
  }
}

TPoint32 PaneToPicture(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width, std::int32_t height) {
  if (wholeImage)
    return {static_cast<std::int32_t>(static_cast<std::int64_t>(px) * width / InputPaneWidth),
            static_cast<std::int32_t>(static_cast<std::int64_t>(py) * height / InputPaneHeight)};
  // The picture stands centred in the pane: a larger one reaches past the
  // pane by the half difference on each side, a smaller one has margins of it.
  return {static_cast<std::int32_t>(px - (static_cast<std::int64_t>(InputPaneWidth) - width) / 2),
          static_cast<std::int32_t>(py - (static_cast<std::int64_t>(InputPaneHeight) - height) / 2)};
}

namespace {

// The part of a rectangle inside a width x height picture.
TRect32 Inside(TRect32 r, std::int32_t width, std::int32_t height) {
  r.w = std::max(0, std::min(r.x + r.w, width) - r.x);
  r.h = std::max(0, std::min(r.y + r.h, height) - r.y);
  return r;
}

}  // namespace

void InvertRectangle(Bitmap& picture, const TRect32& r) {
  const std::int32_t x0 = std::max(0, r.x), y0 = std::max(0, r.y);
  const std::int64_t x1 = std::min<std::int64_t>(picture.Width(), static_cast<std::int64_t>(r.x) + r.w);
  const std::int64_t y1 = std::min<std::int64_t>(picture.Height(), static_cast<std::int64_t>(r.y) + r.h);
  if (x1 <= x0 || y1 <= y0) return;
  if (picture.Format() != PixelFormat::Bgr24) picture.ConvertTo24();
  for (std::int64_t y = y0; y < y1; ++y) {
    std::uint8_t* row = picture.Row(static_cast<int>(y));
    for (std::int64_t i = 3 * static_cast<std::int64_t>(x0); i < 3 * x1; ++i)
      row[i] = static_cast<std::uint8_t>(~row[i]);
  }
}

TRect32 ManualMark::MarkedRectangle(std::int32_t width, std::int32_t height) const noexcept {
  return {std::max(0, std::min(DragX, width - DragW)), std::max(0, std::min(DragY, height - DragH)), DragW, DragH};
}

void ManualMark::DragFrom(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width,
                          std::int32_t height) noexcept {
  const TPoint32 p = PaneToPicture(px, py, wholeImage, width, height);
  DragX = p.x - DragW / 2;
  DragY = p.y - DragH / 2;
}

std::vector<TRect32> ManualMark::MouseDown(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width,
                                           std::int32_t height, TPoint32 area) {
  Dragging = true;
  MarkX = MarkY = 0;
  DragW = area.x;
  DragH = area.y;
  if (!Larger(width, height)) return {};
  DragFrom(px, py, wholeImage, width, height);
  const TRect32 r = MarkedRectangle(width, height);
  MarkX = r.x;
  MarkY = r.y;
  return {Inside(r, width, height)};
}

std::vector<TRect32> ManualMark::MouseMove(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width,
                                           std::int32_t height) {
  if (!Dragging || !Larger(width, height)) return {};
  const TRect32 before = MarkedRectangle(width, height);
  DragFrom(px, py, wholeImage, width, height);
  ManualMarkSet = true;
  return {Inside(before, width, height), Inside(MarkedRectangle(width, height), width, height)};
}

std::vector<TRect32> ManualMark::MouseUp(std::int32_t px, std::int32_t py, bool wholeImage, std::int32_t width,
                                         std::int32_t height) {
  std::vector<TRect32> out;
  if (Dragging && Larger(width, height)) {
    DragFrom(px, py, wholeImage, width, height);
    const TRect32 r = MarkedRectangle(width, height);
    MarkX = r.x;
    MarkY = r.y;
    out.push_back(Inside(r, width, height));
  }
  Dragging = false;
  return out;
}

}  // namespace corvane
