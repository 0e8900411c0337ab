#pragma once
// Splits independent rows over worker threads. Internal to the enhancement
// code: each worker gets one contiguous band of rows, the calling thread takes
// the first band itself, and an exception thrown by any band is rethrown on
// the caller once every worker has finished (the first band's error wins, then
// the next band's, so the choice does not depend on timing).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

namespace corvane::detail {

/// Worker count for `rows` rows of `rowSamples` samples each: `threads` > 0 is
/// taken as given (never more than there are rows); 0 means every core, but
/// only as many as the work keeps busy (about 16 384 samples per worker).
inline int WorkerCount(int threads, std::int64_t rows, std::int64_t rowSamples) {
  if (rows <= 0) return 0;
  std::int64_t n = threads;
  if (threads <= 0) {
    const std::int64_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::int64_t byWork = std::max<std::int64_t>(1, rows * std::max<std::int64_t>(1, rowSamples) / 16384);
    n = std::min(cores, byWork);
  }
  return static_cast<int>(std::clamp<std::int64_t>(n, 1, rows));
}

/// Calls body(first, last) for bands [first, last) that cover [begin, end)
/// in order, on `workers` threads (1 = all on the calling thread).
template <class Body>
void ParallelRows(std::int32_t begin, std::int32_t end, int workers, const Body& body) {
  const std::int64_t rows = static_cast<std::int64_t>(end) - begin;
  if (rows <= 0) return;
  workers = static_cast<int>(std::clamp<std::int64_t>(workers, 1, rows));
  if (workers == 1) {
    body(begin, end);
    return;
  }
  auto bandStart = [&](int k) { return static_cast<std::int32_t>(begin + rows * k / workers); };
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(workers));
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(workers - 1));
  auto run = [&](int k) {
    try {
      body(bandStart(k), bandStart(k + 1));
    } catch (...) {
      errors[static_cast<std::size_t>(k)] = std::current_exception();
    }
  };
  try {
    for (int k = 1; k < workers; ++k) pool.emplace_back(run, k);
  } catch (...) {
    // A thread that cannot be started: its band (and the ones after it) run here.
    for (int k = static_cast<int>(pool.size()) + 1; k < workers; ++k) run(k);
  }
  run(0);
  for (std::thread& t : pool) t.join();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace corvane::detail
