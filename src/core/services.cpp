#include "core/services.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdio>

#include "core/plane_arena.h"

namespace corvane {

long long HeapBytesInUse() noexcept {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks) + static_cast<long long>(info.hblkhd) + PlaneArena::BytesInBlocks();
}

long long AvailableMemoryBytes() noexcept {
  // The kernel's estimate of what programs can still have without swapping.
  if (std::FILE* f = std::fopen("/proc/meminfo", "re")) {
    char line[256];
    long long kib = -1;
    while (std::fgets(line, sizeof line, f) != nullptr)
      if (std::sscanf(line, "MemAvailable: %lld kB", &kib) == 1) break;
    std::fclose(f);
    if (kib >= 0) return kib * 1024;
  }
  const long pages = ::sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? static_cast<long long>(pages) * pageSize : -1;
}

void Services::ShowMemoryUsed() { OnMemoryUsed("Memory used: " + std::to_string(HeapBytesInUse() >> 20) + " Mb"); }

}  // namespace corvane
