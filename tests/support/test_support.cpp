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

#include <cmath>
#include <vector>

namespace corvane::test {

TImage16 PlanetPlane(std::int32_t width, std::int32_t height, double cx, double cy, double r, int blur, double noise,
                     std::mt19937& rng) {
  std::vector<double> v(static_cast<std::size_t>(width) * height, 0.0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = (x - cx) / r, dy = (y - cy) / r;
      const double d2 = dx * dx + dy * dy;
      double s = 1500.0;  // sky
      if (d2 < 1.0) {
        const double limb = std::pow(1.0 - d2, 0.3);
        const double bands = 0.75 + 0.25 * std::sin(dy * 9.0) + 0.08 * std::sin(dx * 5.0 + dy * 3.0);
        s += 50000.0 * limb * bands;
      }
      v[static_cast<std::size_t>(y) * width + x] = s;
    }
  }
  if (blur > 0) {
    std::vector<double> t(v.size());
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        double sum = 0;
        int n = 0;
        for (int k = -blur; k <= blur; ++k) {
          const int xx = std::clamp(x + k, 0, width - 1);
          sum += v[static_cast<std::size_t>(y) * width + xx];
          ++n;
        }
        t[static_cast<std::size_t>(y) * width + x] = sum / n;
      }
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        double sum = 0;
        int n = 0;
        for (int k = -blur; k <= blur; ++k) {
          const int yy = std::clamp(y + k, 0, height - 1);
          sum += t[static_cast<std::size_t>(yy) * width + x];
          ++n;
        }
        v[static_cast<std::size_t>(y) * width + x] = sum / n;
      }
  }
  std::normal_distribution<double> gauss(0.0, noise > 0 ? noise : 1.0);
  TImage16 p;
  Image16Create(p, width, height);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double s = v[i] + (noise > 0 ? gauss(rng) : 0.0);
    p.Data[i] = static_cast<std::uint16_t>(std::clamp(std::lround(s), 0L, 65535L));
  }
  return p;
}

}  // namespace corvane::test
