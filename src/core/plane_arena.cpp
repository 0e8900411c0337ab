#include "core/plane_arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <new>

namespace corvane {

namespace {
constexpr std::size_t HugePage = std::size_t{2} << 20;
constexpr std::size_t Align = 64;
std::atomic<long long> g_blockBytes{0};

std::size_t RoundUp(std::size_t v, std::size_t to) { return (v + to - 1) / to * to; }
}  // namespace

struct PlaneArena::Block {
  std::atomic<int> References{1};  // the arena's own reference while current
  std::size_t Bytes = 0;
  std::size_t Used = 0;
};

PlaneArena::PlaneArena(std::size_t blockBytes) : m_blockBytes(RoundUp(std::max(blockBytes, HugePage), HugePage)) {}

PlaneArena::~PlaneArena() {
  if (m_next.valid()) {
    if (Block* spare = m_next.get()) Unref(spare);
  }
  if (m_current != nullptr) Unref(m_current);
}

long long PlaneArena::BytesInBlocks() noexcept { return g_blockBytes.load(); }

PlaneArena::Block* PlaneArena::NewBlock(std::size_t bytes) {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE) && defined(CORVANE_HUGE_PAGES)
  ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
  Block* b = new (p) Block;
  b->Bytes = bytes;
  b->Used = RoundUp(sizeof(Block), Align);
  g_blockBytes += static_cast<long long>(bytes);
  return b;
}

PlaneArena::Block* PlaneArena::NewBlockPrefaulted(std::size_t bytes) noexcept {
  try {
    Block* b = NewBlock(bytes);
#ifdef MADV_POPULATE_WRITE
    if (::madvise(b, bytes, MADV_POPULATE_WRITE) == 0) return b;
#endif
    volatile char* p = reinterpret_cast<volatile char*>(b);
    for (std::size_t off = 4096; off < bytes; off += 4096) p[off] = 0;
    return b;
  } catch (...) {
    return nullptr;
  }
}

PlaneArena::Block* PlaneArena::NextBlock() {
  Block* b = nullptr;
  if (m_next.valid()) b = m_next.get();
  return b != nullptr ? b : NewBlock(m_blockBytes);
}

void PlaneArena::Unref(Block* block) noexcept {
  if (block->References.fetch_sub(1) == 1) {
    const std::size_t bytes = block->Bytes;
    block->~Block();
    ::munmap(block, bytes);
    g_blockBytes -= static_cast<long long>(bytes);
  }
}

void PlaneArena::Release(void* block, std::uint16_t* /*samples*/) noexcept { Unref(static_cast<Block*>(block)); }

void PlaneArena::Create(TImage16& plane, std::int32_t width, std::int32_t height) {
  plane.Data.reset();
  plane.Width = std::clamp<std::int32_t>(width, 0, MaxImageWidth);
  plane.Height = std::clamp<std::int32_t>(height, 0, MaxImageHeight);
  const std::size_t bytes = RoundUp(plane.SampleCount() * sizeof(std::uint16_t) + 4, Align);
  Block* b = m_current;
  if (b == nullptr || b->Bytes - b->Used < bytes) {
    const std::size_t header = RoundUp(sizeof(Block), Align);
    if (bytes + header > m_blockBytes) {
      // A plane larger than a block gets a block of its own.
      Block* own = NewBlock(RoundUp(bytes + header, HugePage));
      own->Used = own->Bytes;
      plane.Data = PlaneData(reinterpret_cast<std::uint16_t*>(reinterpret_cast<char*>(own) + header),
                             PlaneFree{&Release, own});
      return;
    }
    Block* fresh = NextBlock();
    if (m_current != nullptr) Unref(m_current);
    m_current = b = fresh;
  }
  auto* samples = reinterpret_cast<std::uint16_t*>(reinterpret_cast<char*>(b) + b->Used);
  b->Used += bytes;
  b->References.fetch_add(1);
  // Once half of this block is used, the next one is prepared in the background.
  if (!m_next.valid() && b->Used > b->Bytes / 2)
    m_next = std::async(std::launch::async, &PlaneArena::NewBlockPrefaulted, m_blockBytes);
  // Fresh anonymous pages read as zero: the plane is black without a fill.
  plane.Data = PlaneData(samples, PlaneFree{&Release, b});
}

}  // namespace corvane
