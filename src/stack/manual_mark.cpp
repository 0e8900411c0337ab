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
  return {px + HalfSpan(InputPaneWidth, width), py + HalfSpan(InputPaneHeight, height)};
}

namespace {

// The part of a rectangle inside a width x height picture.
TRect32 Inside(TRect32 r, std::int32_t width, std::int32_t height) {
  r.w = std::max(0, std::min(r.x + r.w, width) - r.x);
  r.h = std::max(0, std::min(r.y + r.h, height) - r.y);
  return r;
}

}  // namespace

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
