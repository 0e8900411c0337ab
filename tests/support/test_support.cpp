#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <unistd.h>

namespace corvane::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  m_path = std::filesystem::temp_directory_path() /
           ("corvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(m_path);
  std::filesystem::create_directories(m_path);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

TImage16 MakePlane(std::int32_t width, std::int32_t height, std::initializer_list<std::uint16_t> samples) {
  TImage16 p;
  Image16Create(p, width, height);
  std::copy_n(samples.begin(), std::min(samples.size(), p.SampleCount()), p.Data.get());
  return p;
}

TImage16 ConstantPlane(std::int32_t width, std::int32_t height, std::uint16_t value) {
  TImage16 p;
  Image16Create(p, width, height);
  std::fill_n(p.Data.get(), p.SampleCount(), value);
  return p;
}

TImage16 RandomPlane(std::mt19937& rng, std::int32_t width, std::int32_t height, std::uint16_t lo, std::uint16_t hi) {
  TImage16 p;
  Image16Create(p, width, height);
  std::uniform_int_distribution<int> d(lo, hi);
  for (std::size_t i = 0; i < p.SampleCount(); ++i) p.Data[i] = static_cast<std::uint16_t>(d(rng));
  return p;
}

TImage16 ClonePlane(const TImage16& plane) {
  TImage16 p;
  Image16Create(p, plane.Width, plane.Height);
  std::copy_n(plane.Data.get(), plane.SampleCount(), p.Data.get());
  return p;
}

bool SamePlane(const TImage16& a, const TImage16& b) {
  return a.Width == b.Width && a.Height == b.Height && std::equal(a.Data.get(), a.Data.get() + a.SampleCount(), b.Data.get());
}

}  // namespace corvane::test
