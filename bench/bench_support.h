#pragma once
// What the benchmarks share: a temporary folder for their input files, a
// writer of grey test videos and the process's memory figures.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "io/avi_writer.h"

namespace corvane::bench {

/// A fresh folder under the temporary folder, named for the benchmark and the
/// process; removed with its files when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name)
      : m_dir(std::filesystem::temp_directory_path() / ("corvane-bench-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(m_dir);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return (m_dir / name).string(); }

 private:
  std::filesystem::path m_dir;
};

/// Writes an uncompressed grey 8-bit AVI of `frames` frames; fill(frame, f)
/// writes the width x height samples of frame f.
template <typename Fill>
void WriteGreyAvi(const std::string& path, int width, int height, int frames, Fill fill) {
  AviWriter writer(path, width, height, AviPixelFormat::Grey8);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int f = 0; f < frames; ++f) {
    fill(frame, f);
    writer.AddFrame(frame.data());
  }
  writer.Finish();
}

/// The process's resident memory now, in KiB.
inline long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

/// The most resident memory the process has had, in KiB.
inline long PeakResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace corvane::bench
