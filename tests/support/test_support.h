#pragma once
// Helpers shared by the test programs: temporary folders, planes from lists,
// random planes.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>

#include "core/image16.h"

namespace corvane::test {

/// A fresh folder under the system's temporary folder, removed with its
/// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const noexcept { return m_path; }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

/// A plane of width x height with the given samples, row after row.
TImage16 MakePlane(std::int32_t width, std::int32_t height, std::initializer_list<std::uint16_t> samples);
/// A plane filled with one value.
TImage16 ConstantPlane(std::int32_t width, std::int32_t height, std::uint16_t value);
/// A plane of random samples in [lo, hi].
TImage16 RandomPlane(std::mt19937& rng, std::int32_t width, std::int32_t height, std::uint16_t lo = 0,
                     std::uint16_t hi = 65535);
/// An exact copy of a plane (same size and samples).
TImage16 ClonePlane(const TImage16& plane);
/// True when both planes have the same size and samples.
bool SamePlane(const TImage16& a, const TImage16& b);

}  // namespace corvane::test

namespace corvane::test {

/// A synthetic planet: a banded disc with limb darkening on a dark sky,
/// centred at (cx, cy) (sub-sample positions allowed), radius r, blurred by a
/// box of `blur` samples each side, with Gaussian noise of `noise` (16-bit units).
TImage16 PlanetPlane(std::int32_t width, std::int32_t height, double cx, double cy, double r, int blur, double noise,
                     std::mt19937& rng);

}  // namespace corvane::test
