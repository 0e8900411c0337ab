#include "core/services.h"

#include <malloc.h>

#include "core/plane_arena.h"

namespace corvane {

long long HeapBytesInUse() noexcept {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks) + static_cast<long long>(info.hblkhd) + PlaneArena::BytesInBlocks();
}

void Services::ShowMemoryUsed() { OnMemoryUsed("Memory used: " + std::to_string(HeapBytesInUse() >> 20) + " Mb"); }

}  // namespace corvane
