// The PSF convolution and Lucy-Richardson deconvolution on a 640 x 480 plane
// with the default 15 x 15 local PSF widened to the 17 x 15 shape of a picked
// PSF, each against the plain per-sample loop compiled with the same flags.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "core/frame_list.h"
#include "core/services.h"
#include "enhance/sharpen.h"

using namespace corvane;

namespace {

constexpr int W = 640, H = 480;

// A 17 x 15 bell-shaped PSF (the default local PSF's profile, one column wider).
TConvKernel Psf17x15() {
  TConvKernel k;
  k[0] = 17;
  for (int r = 0; r < 15; ++r)
    for (int c = 0; c < 17; ++c) {
      const int dx = c - 8, dy = r - 7;
      k[static_cast<std::size_t>(1 + r * 17 + c)] =
          static_cast<std::uint8_t>(std::max(24, 240 - 3 * (dx * dx + dy * dy)));
    }
  return k;
}

TImage16 Scene() {
  TImage16 p;
  Image16Create(p, W, H);
  std::mt19937 rng(1);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int dx = x - W / 2, dy = y - H / 2;
      const int disc = dx * dx + dy * dy < 180 * 180 ? 40000 : 3000;
      Image16SetPixel(p, x, y, static_cast<std::uint16_t>(disc + static_cast<int>(rng() % 4000)));
    }
  return p;
}

// The definition, written plainly: 64-bit sum per output sample.
void PlainConvolve(TImage16& d, const TImage16& s, const TConvKernel& k) {
  const int w = std::min<int>(k[0], 17), rX = w / 2, rY = std::min<int>(k[0], 15) / 2;
  const std::int64_t norm = std::max<std::int64_t>(1, KernelSum(k, true));
  for (int y = rY; y <= s.Height - 1 - rY; ++y)
    for (int x = rX; x <= s.Width - 1 - rX; ++x) {
      std::int64_t sum = 0;
      for (int j = -rY; j <= rY; ++j) {
        const std::uint16_t* row = s.Row(y + j) + x;
        const std::uint8_t* weights = k.Bytes.data() + (j + rY) * w + rX + 1;
        for (int i = -rX; i <= rX; ++i) sum += static_cast<std::int64_t>(row[i]) * weights[i];
      }
      d.Row(y)[x] = static_cast<std::uint16_t>(std::max<std::int64_t>(0, sum / norm));
    }
}

void PlainLucyRichardson(TImage16& x, const TImage16& g, const TConvKernel& k, int n) {
  const int r = k[0] / 2;
  TImage16 t, q;
  Image16Create(t, x.Width, x.Height);
  Image16Copy(t, 0, 0, x, 0, 0, x.Width, x.Height);
  Image16Create(q, x.Width, x.Height);
  for (int it = 0; it < n; ++it) {
    PlainConvolve(t, x, k);
    for (int y = r; y <= g.Height - 1 - r; ++y)
      for (int i = r; i <= g.Width - 1 - r; ++i) {
        const std::int64_t b = std::max<std::int64_t>(1, t.Row(y)[i]);
        q.Row(y)[i] = static_cast<std::uint16_t>(std::min<std::int64_t>(65535, g.Row(y)[i] * 256 / b));
      }
    PlainConvolve(t, q, k);
    for (int y = r; y <= g.Height - 1 - r; ++y)
      for (int i = r; i <= g.Width - 1 - r; ++i) {
        const std::int64_t v = static_cast<std::int64_t>(x.Row(y)[i]) * t.Row(y)[i] / 256;
        x.Row(y)[i] = static_cast<std::uint16_t>(std::min<std::int64_t>(65535, v));
      }
  }
}

void BM_KernelConvolvePlain(benchmark::State& state) {
  const TImage16 s = Scene();
  TImage16 d;
  Image16Create(d, W, H);
  const TConvKernel k = Psf17x15();
  for (auto _ : state) {
    PlainConvolve(d, s, k);
    benchmark::DoNotOptimize(d.Data.get());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_KernelConvolvePlain)->Unit(benchmark::kMillisecond);

// Argument: threads (1 serial, 0 every core).
void BM_KernelConvolve(benchmark::State& state) {
  const TImage16 s = Scene();
  TImage16 d;
  Image16Create(d, W, H);
  const TConvKernel k = Psf17x15();
  for (auto _ : state) {
    KernelConvolve(d, s, k, true, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(d.Data.get());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_KernelConvolve)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each path on one core: plain (the library's scalar fallback), SSE2, AVX2.
void BM_KernelConvolvePath(benchmark::State& state) {
  const auto path = static_cast<detail::ConvolvePath>(state.range(0));
  if (!detail::ConvolvePathAvailable(path)) {
    state.SkipWithError("path not available on this processor");
    return;
  }
  const TImage16 s = Scene();
  TImage16 d;
  Image16Create(d, W, H);
  const TConvKernel k = Psf17x15();
  for (auto _ : state) {
    detail::KernelConvolveOn(path, d, s, k, true, 1);
    benchmark::DoNotOptimize(d.Data.get());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_KernelConvolvePath)
    ->Arg(static_cast<int>(detail::ConvolvePath::Plain))
    ->Arg(static_cast<int>(detail::ConvolvePath::Sse2))
    ->Arg(static_cast<int>(detail::ConvolvePath::Avx2))
    ->Unit(benchmark::kMillisecond);

void BM_LucyRichardsonPlain(benchmark::State& state) {
  const TImage16 g = Scene();
  const TConvKernel k = Psf17x15();
  for (auto _ : state) {
    TImage16 x;
    Image16Create(x, W, H);
    Image16Copy(x, 0, 0, g, 0, 0, W, H);
    PlainLucyRichardson(x, g, k, 16);
    benchmark::DoNotOptimize(x.Data.get());
  }
}
BENCHMARK(BM_LucyRichardsonPlain)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_LucyRichardson(benchmark::State& state) {
  TImageListItem g(W, H);
  g.Image = Scene();
  const TConvKernel k = Psf17x15();
  NullServices services;
  for (auto _ : state) {
    TImageListItem x(W, H);
    Image16Copy(x.Image, 0, 0, g.Image, 0, 0, W, H);
    LucyRichardson(x, g, W, H, k, 16, services);
    benchmark::DoNotOptimize(x.Image.Data.get());
  }
}
BENCHMARK(BM_LucyRichardson)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
