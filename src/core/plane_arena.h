#pragma once
// Plane storage carved from large blocks. Loading touches hundreds of
// megabytes of fresh memory, and the first use of fresh pages (the kernel
// zeroing them) dominates its cost. While a block fills up, the next one is
// mapped and its pages faulted in on another thread, so that this cost
// overlaps the decoding and processing of the frames. Blocks are returned to
// the system when the last plane in them goes.
//
// Transparent huge pages are asked for only when built with
// CORVANE_HUGE_PAGES: with the kernel's usual "defrag on madvise" setting a
// fault on a huge page may compact memory first, which measured between 0.4x
// and 6x the cost of small pages for the same 614 MB here.
#include <cstddef>
#include <cstdint>
#include <future>

#include "core/image16.h"

namespace corvane {

class PlaneArena {
 public:
  /// Blocks of `blockBytes` (rounded up to 2 MiB); a request larger than a
  /// block gets a block of its own.
  explicit PlaneArena(std::size_t blockBytes = std::size_t{64} << 20);
  ~PlaneArena();
  PlaneArena(const PlaneArena&) = delete;
  PlaneArena& operator=(const PlaneArena&) = delete;

  /// (Re)creates the plane as Image16Create does (cut to the limits, black),
  /// with its storage in a block. Throws std::bad_alloc when no memory.
  void Create(TImage16& plane, std::int32_t width, std::int32_t height);

  /// Bytes of all blocks still alive (counted in "Memory used").
  static long long BytesInBlocks() noexcept;

 private:
  struct Block;
  static Block* NewBlock(std::size_t bytes);
  static Block* NewBlockPrefaulted(std::size_t bytes) noexcept;
  Block* NextBlock();
  static void Release(void* block, std::uint16_t* samples) noexcept;
  static void Unref(Block* block) noexcept;

  std::size_t m_blockBytes;
  Block* m_current = nullptr;
  std::future<Block*> m_next;  ///< the block being prepared on another thread
};

}  // namespace corvane
