#include "core/frame_list.h"

#include <algorithm>
#include <string>

namespace corvane {

TImageListItem::TImageListItem(std::int32_t width, std::int32_t height) { Image16Create(Image, width, height); }

std::unique_ptr<TImageListItem> TImageListItem::CreateFromBitmap(Bitmap& bitmap, const std::string& fileName,
                                                                 std::int32_t number, int loadChannel) {
  auto item = std::make_unique<TImageListItem>(bitmap.Width(), bitmap.Height());
  Image16FromBitmap(item->Image, bitmap, 0, 0, bitmap.Width(), bitmap.Height(), ChannelCodeOfSetting(loadChannel));
  item->FileName = fileName;
  item->Number = number;
  return item;
}

void TImageListItem::ToBitmap(Bitmap& bitmap) const {
  Image16ToBitmap(bitmap, Image, 0, 0, bitmap.Width(), bitmap.Height(), ChannelL);
}

int MaxFramesFor(std::int64_t maxMem, std::int32_t width, std::int32_t height) {
  // At most (2^31 - 1)^2 x 2 < 2^63: no overflow.
  const std::int64_t bytes = std::int64_t{std::max(0, width)} * std::max(0, height) * 2;
  if (bytes == 0) return FrameListLimit;
  const long long frames = maxMem / bytes - 5;
  return static_cast<int>(std::clamp<long long>(frames, 0, FrameListLimit));
}

FrameList::FrameList()
    : m_maxFrames(static_cast<int>(std::min<std::int64_t>(FrameListLimit, DefaultMaxMem / 19440000))) {}

void FrameList::Clear() {
  for (auto& item : m_items) item.reset();  // in list order
  m_items.clear();
  m_items.shrink_to_fit();
  m_frameCount = 0;
  CurrentFrame = 0;
}

bool FrameList::Add(std::unique_ptr<TImageListItem> item) {
  const bool taken = static_cast<int>(m_items.size()) < m_maxFrames;
  if (taken) m_items.push_back(std::move(item));
  m_frameCount = static_cast<int>(m_items.size());
  CurrentFrame = m_frameCount - 1;
  return taken;
}

void FrameList::KeepFirst(int count) {
  const auto keep = static_cast<std::size_t>(std::max(0, count));
  if (keep >= m_items.size()) return;
  while (m_items.size() > keep) m_items.pop_back();  // freed from the last one back
  m_frameCount = static_cast<int>(m_items.size());
  CurrentFrame = std::max(0, std::min(CurrentFrame, m_frameCount - 1));
}

TResultPicture::TResultPicture() {
  for (TImage16* p : {&Mono, &R, &G, &B}) Image16Create(*p, 192, 144);
}

TImage16& TResultPicture::PlaneOfChannel(int loadChannel) noexcept {
  switch (loadChannel) {
    case 1: return R;
    case 2: return G;
    case 3: return B;
    default: return Mono;
  }
}

const TImage16& TResultPicture::PlaneOfChannel(int loadChannel) const noexcept {
  return const_cast<TResultPicture*>(this)->PlaneOfChannel(loadChannel);
}

}  // namespace corvane
