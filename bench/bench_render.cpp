// The colour mix of the LRGB and RGB views, against a plain per-pixel loop
// that reads every plane through min(x, width - 1) in 64-bit arithmetic.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/image16.h"
#include "output/render.h"

using namespace corvane;

namespace {

constexpr int W = 768, H = 576;

TImage16 RandomPlane(std::mt19937& rng, int w, int h) {
  TImage16 p;
  Image16Create(p, w, h);
  for (std::size_t i = 0; i < p.SampleCount(); ++i) p.Data[i] = static_cast<std::uint16_t>(rng());
  return p;
}

struct Planes {
  TImage16 L, R, G, B;
  Planes() {
    std::mt19937 rng(1);
    L = RandomPlane(rng, W, H);
    R = RandomPlane(rng, W, H);
    G = RandomPlane(rng, W - 16, H);  // one narrower plane repeats its last column
    B = RandomPlane(rng, W, H);
  }
};

void PlainMix(Bitmap& bm, const Planes& p, double sat, double wr, double wg, double wb, bool useL) {
  const long long S = std::llround(std::nearbyint(256 * sat)), WR = std::llround(std::nearbyint(255 * wr)),
                  WG = std::llround(std::nearbyint(255 * wg)), WB = std::llround(std::nearbyint(255 * wb));
  auto at = [](const TImage16& q, int x, int y) -> long long {
    return Image16GetPixel(q, std::min(x, q.Width - 1), std::min(y, q.Height - 1)) >> 8;
  };
  auto clamp = [](long long v) { return static_cast<std::uint8_t>(std::clamp<long long>(v, 0, 255)); };
  for (int y = 0; y < bm.Height(); ++y)
    for (int x = 0; x < bm.Width(); ++x) {
      long long r = at(p.R, x, y), g = at(p.G, x, y), b = at(p.B, x, y), l = at(p.L, x, y);
      std::uint8_t* px = bm.Row(y) + 3 * x;
      if (!useL) {
        px[0] = clamp(b * WB / 85), px[1] = clamp(g * WG / 85), px[2] = clamp(r * WR / 85);
        continue;
      }
      long long i = (r * WR + g * WG + b * WB) / 256;
      if (S != 256) {
        r = i + ((r - i) * S) / 256;
        g = i + ((g - i) * S) / 256;
        b = i + ((b - i) * S) / 256;
      }
      if (i <= 0) i = 1;
      px[0] = clamp(b * l / i), px[1] = clamp(g * l / i), px[2] = clamp(r * l / i);
    }
}

void BM_RenderColourLRGB(benchmark::State& state) {
  Planes p;
  Bitmap bm(W, H);
  for (auto _ : state) {
    RenderColour(bm, p.L, p.R, p.G, p.B, 1.4, 0.30, 0.59, 0.11, true);
    benchmark::DoNotOptimize(bm.Bits());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_RenderColourLRGB);

void BM_PlainColourLRGB(benchmark::State& state) {
  Planes p;
  Bitmap bm(W, H);
  for (auto _ : state) {
    PlainMix(bm, p, 1.4, 0.30, 0.59, 0.11, true);
    benchmark::DoNotOptimize(bm.Bits());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_PlainColourLRGB);

void BM_RenderColourRGB(benchmark::State& state) {
  Planes p;
  Bitmap bm(W, H);
  for (auto _ : state) {
    RenderColour(bm, p.L, p.R, p.G, p.B, 1.0, 0.30, 0.59, 0.11, false);
    benchmark::DoNotOptimize(bm.Bits());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_RenderColourRGB);

void BM_PlainColourRGB(benchmark::State& state) {
  Planes p;
  Bitmap bm(W, H);
  for (auto _ : state) {
    PlainMix(bm, p, 1.0, 0.30, 0.59, 0.11, false);
    benchmark::DoNotOptimize(bm.Bits());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_PlainColourRGB);

}  // namespace
