#include "core/services.h"

#include <malloc.h>

namespace corvane {

long long HeapBytesInUse() noexcept {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks) + static_cast<long long>(info.hblkhd);
}

void Services::ShowMemoryUsed() { OnMemoryUsed("Memory used: " + std::to_string(HeapBytesInUse() >> 20) + " Mb"); }

}  // namespace corvane
