#include "acquire/frame_rating.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "core/errors.h"

namespace corvane {

double FrameSharpness(const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  Image16ClipRect(plane.Width, plane.Height, x, y, w, h);
  if (w < 3 || h < 3 || !plane.HasStorage()) return 0.0;
  std::int64_t sum = 0;
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint16_t* row = plane.Row(y + j) + x;
    for (std::int32_t i = 0; i < w; ++i) sum += row[i];
  }
  if (sum == 0) return 0.0;
  // Exact in 64 bits: each square is below 2^37 and there are fewer than 2^25 of them.
  std::int64_t energy = 0;
  for (std::int32_t j = 1; j < h - 1; ++j) {
    const std::uint16_t* up = plane.Row(y + j - 1) + x;
    const std::uint16_t* mid = plane.Row(y + j) + x;
    const std::uint16_t* down = plane.Row(y + j + 1) + x;
    std::int64_t rowEnergy = 0;
    for (std::int32_t i = 1; i < w - 1; ++i) {
      const std::int32_t gx = (up[i + 1] + 2 * mid[i + 1] + down[i + 1]) - (up[i - 1] + 2 * mid[i - 1] + down[i - 1]);
      const std::int32_t gy = (down[i - 1] + 2 * down[i] + down[i + 1]) - (up[i - 1] + 2 * up[i] + up[i + 1]);
      rowEnergy += static_cast<std::int64_t>(gx) * gx + static_cast<std::int64_t>(gy) * gy;
    }
    energy += rowEnergy;
  }
  const double n = static_cast<double>(w - 2) * (h - 2);
  const double mean = static_cast<double>(sum) / (static_cast<double>(w) * h);
  return static_cast<double>(energy) / n / (mean * mean);
}

std::int32_t SharpnessQuality(double sharpness, double best) {
  if (!(best > 0.0)) return 0;
  return static_cast<std::int32_t>(std::nearbyint(1000.0 * std::clamp(sharpness / best, 0.0, 1.0)));
}

int KeepBestCount(int frames, std::int32_t percent) {
  if (percent < 1 || percent > 100)
    throw RangeError("keep the best: " + std::to_string(percent) + " % is outside 1..100");
  if (frames <= 0) return 0;
  const std::int64_t scaled = static_cast<std::int64_t>(frames) * percent;
  std::int64_t kept = scaled / 100;
  const std::int64_t rest = scaled % 100;
  if (rest > 50 || (rest == 50 && kept % 2 != 0)) ++kept;
  return static_cast<int>(std::max<std::int64_t>(1, kept));
}

int KeepBestFrames(FrameList& frames, const std::vector<int>& positions, const std::vector<double>& keys,
                   std::int32_t percent) {
  if (positions.size() != keys.size())
    throw RangeError("keep the best: " + std::to_string(positions.size()) + " frames but " +
                     std::to_string(keys.size()) + " ratings");
  const int kept = KeepBestCount(static_cast<int>(positions.size()), percent);
  std::vector<std::size_t> order(positions.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (keys[a] != keys[b]) return keys[a] > keys[b];
    return positions[a] < positions[b];
  });
  for (std::size_t r = 0; r < order.size(); ++r)
    frames[positions[order[r]]].Quality = r < static_cast<std::size_t>(kept) ? 1000 : 0;
  return kept;
}

}  // namespace corvane
