// The hot image operations against plain per-sample loops built with the
// same flags in the same run. Each pair reports items (plane samples) per
// second; the ratio of the two is the gain of the row kernels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/image_ops.h"

using namespace corvane;

namespace {

TImage16 Random(int w, int h, std::uint32_t seed) {
  TImage16 p;
  Image16Create(p, w, h);
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < p.SampleCount(); ++i) p.Data[i] = static_cast<std::uint16_t>(rng());
  return p;
}

void Samples(benchmark::State& state, std::int64_t perIteration) {
  state.SetItemsProcessed(state.iterations() * perIteration);
  state.counters["ns/sample"] =
      benchmark::Counter(static_cast<double>(perIteration) * 1e-9,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// ---- plain loops: the rules sample by sample -------------------------------------

std::uint32_t PlainAbsDiffSum(const TImage16& a, const TImage16& b, int w, int h) {
  std::uint32_t sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t t = static_cast<std::uint32_t>(std::abs(Image16GetPixel(a, x, y) - Image16GetPixel(b, x, y)));
      sum = sum > 4294967295u - t ? 4294967295u : sum + t;
    }
  return sum;
}

std::int32_t PlainMean(const TImage16& p, int w, int h) {
  std::uint64_t sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) sum += Image16GetPixel(p, x, y);
  return static_cast<std::int32_t>(sum / (static_cast<std::uint64_t>(w) * h));
}

void PlainAccumulate(TImage16& acc, const TImage16& s, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) AccSet(acc, x, y, AccGet(acc, x, y) + Image16GetPixel(s, x, y));
}

void PlainConvolve(TImage16& d, const TImage16& s, int w, int h, const TConvKernel& k) {
  const int kw = 17, kh = 15;  // the default kernel size
  std::uint32_t sum = 0;
  for (int i = 0; i < kw * kh; ++i) sum += k[1 + i];
  if (sum == 0) sum = 1;
  for (int j = 0; j < h - 15; ++j)
    for (int i = 0; i < w - 17; ++i) {
      const int x = 8 + i, y = 7 + j;
      std::uint32_t acc = 0;
      for (int r = 0; r < kh; ++r)
        for (int c = 0; c < kw; ++c)
          acc += k[1 + r * kw + c] * std::uint32_t{Image16GetPixel(s, x - kw / 2 + c, y - kh / 2 + r)};
      Image16SetPixel(d, 8 + i, 7 + j, static_cast<std::uint16_t>(acc / sum));
    }
}

// Median by forgetful selection: drop the smallest and largest of 6, add one,
// drop again of 5, of 4, and of the last 3 keep the middle.
inline void Sort2(std::uint16_t& a, std::uint16_t& b) {
  const std::uint16_t lo = std::min(a, b), hi = std::max(a, b);
  a = lo;
  b = hi;
}
// Moves the minimum of v[0..n) to v[0] and the maximum to v[n - 1].
inline void DropEnds(std::uint16_t* v, int n) {
  for (int i = 1; i < n; ++i) Sort2(v[0], v[i]);
  for (int i = 1; i < n - 1; ++i) Sort2(v[i], v[n - 1]);
}

void PlainMedian3(TImage16& d, const TImage16& s, int w, int h) {
  for (int j = 1; j <= h - 2; ++j)
    for (int i = 1; i <= w - 2; ++i) {
      std::uint16_t v[9];
      for (int b = -1, n = 0; b <= 1; ++b)
        for (int a = -1; a <= 1; ++a) v[n++] = Image16GetPixel(s, i + a, j + b);
      DropEnds(v, 6);  // v[1..4] remain
      v[5] = v[6];
      DropEnds(v + 1, 5);  // v[2..4]
      v[5] = v[7];
      DropEnds(v + 2, 4);  // v[3..4]
      v[5] = v[8];
      DropEnds(v + 3, 3);  // v[4] is the median
      Image16SetPixel(d, i, j, v[4]);
    }
}

void PlainResize(TImage16& d, const TImage16& s, int w, int h, double f) {
  const auto step = static_cast<std::int32_t>(std::nearbyint(720.0 / f));
  const int wd = std::min(d.Width, static_cast<int>(std::nearbyint(w * f)));
  const int hd = std::min(d.Height, static_cast<int>(std::nearbyint(h * f)));
  w = static_cast<int>(std::nearbyint(wd / f));
  h = static_cast<int>(std::nearbyint(hd / f));
  std::vector<std::uint16_t> line(3601);
  std::int32_t rowAcc = 0, k = 0;
  for (int r = 0; r < h; ++r) {
    rowAcc -= 720;
    const std::uint16_t* src = s.Data.get() + std::min(r * s.Width, (s.Height - 1) * s.Width);
    std::int32_t u = 0, m = 0;
    for (int c = 0; c < w; ++c) {
      u -= 720;
      while (u < 0 && m < d.Width) {
        line[m++] = src[c];
        u += step;
      }
    }
    for (; rowAcc < 0; ++k, rowAcc += step)
      if (k * d.Width < (d.Height - 1) * d.Width) std::copy_n(line.data(), m, d.Data.get() + k * d.Width);
  }
}

// ---- pairs -------------------------------------------------------------------------

void BM_Image16AbsDiffSum(benchmark::State& state) {
  const TImage16 a = Random(192, 144, 1), b = Random(192, 144, 2);
  for (auto _ : state) benchmark::DoNotOptimize(Image16AbsDiffSum(a, 0, 0, b, 0, 0, 192, 144));
  Samples(state, 192 * 144);
}
void BM_Image16AbsDiffSum_Plain(benchmark::State& state) {
  const TImage16 a = Random(192, 144, 1), b = Random(192, 144, 2);
  for (auto _ : state) benchmark::DoNotOptimize(PlainAbsDiffSum(a, b, 192, 144));
  Samples(state, 192 * 144);
}
BENCHMARK(BM_Image16AbsDiffSum);
BENCHMARK(BM_Image16AbsDiffSum_Plain);

void BM_Image16Mean(benchmark::State& state) {
  const TImage16 p = Random(640, 480, 3);
  for (auto _ : state) benchmark::DoNotOptimize(Image16Mean(p, 0, 0, 640, 480));
  Samples(state, 640 * 480);
}
void BM_Image16Mean_Plain(benchmark::State& state) {
  const TImage16 p = Random(640, 480, 3);
  for (auto _ : state) benchmark::DoNotOptimize(PlainMean(p, 640, 480));
  Samples(state, 640 * 480);
}
BENCHMARK(BM_Image16Mean);
BENCHMARK(BM_Image16Mean_Plain);

void BM_Image16Accumulate(benchmark::State& state) {
  const TImage16 s = Random(640, 480, 4);
  TImage16 acc;
  Image16Create(acc, 2 * 640, 480);
  for (auto _ : state) {
    Image16Accumulate(acc, 0, 0, s, 0, 0, 640, 480);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
void BM_Image16Accumulate_Plain(benchmark::State& state) {
  const TImage16 s = Random(640, 480, 4);
  TImage16 acc;
  Image16Create(acc, 2 * 640, 480);
  for (auto _ : state) {
    PlainAccumulate(acc, s, 640, 480);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
BENCHMARK(BM_Image16Accumulate);
BENCHMARK(BM_Image16Accumulate_Plain);

TConvKernel RandomKernel() {
  TConvKernel k;  // nominal size 0: the 17 x 15 default, all 255 weights used
  std::mt19937 rng(5);
  for (int i = 1; i < 256; ++i) k[i] = static_cast<std::uint8_t>(1 + rng() % 255);
  return k;
}

void BM_Image16Convolve(benchmark::State& state) {
  const TImage16 s = Random(640, 480, 6);
  TImage16 d;
  Image16Create(d, 640, 480);
  const TConvKernel k = RandomKernel();
  for (auto _ : state) {
    Image16Convolve(d, 0, 0, s, 0, 0, 640, 480, k);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
void BM_Image16Convolve_Plain(benchmark::State& state) {
  const TImage16 s = Random(640, 480, 6);
  TImage16 d;
  Image16Create(d, 640, 480);
  const TConvKernel k = RandomKernel();
  for (auto _ : state) {
    PlainConvolve(d, s, 640, 480, k);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
BENCHMARK(BM_Image16Convolve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Image16Convolve_Plain)->Unit(benchmark::kMillisecond);

void BM_Image16Median3(benchmark::State& state) {
  const TImage16 s = Random(640, 480, 7);
  TImage16 d;
  Image16Create(d, 640, 480);
  for (auto _ : state) {
    Image16Median3(d, 0, 0, s, 0, 0, 640, 480);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
void BM_Image16Median3_Plain(benchmark::State& state) {
  const TImage16 s = Random(640, 480, 7);
  TImage16 d;
  Image16Create(d, 640, 480);
  for (auto _ : state) {
    PlainMedian3(d, s, 640, 480);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
BENCHMARK(BM_Image16Median3);
BENCHMARK(BM_Image16Median3_Plain);

// 213 x 160 enlarged 3 times into 640 x 480 (samples counted on the output).
void BM_Image16Resize(benchmark::State& state) {
  const TImage16 s = Random(213, 160, 8);
  TImage16 d;
  Image16Create(d, 640, 480);
  for (auto _ : state) {
    Image16Resize(d, 0, 0, s, 0, 0, 213, 160, 3.0);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
void BM_Image16Resize_Plain(benchmark::State& state) {
  const TImage16 s = Random(213, 160, 8);
  TImage16 d;
  Image16Create(d, 640, 480);
  for (auto _ : state) {
    PlainResize(d, s, 213, 160, 3.0);
    benchmark::ClobberMemory();
  }
  Samples(state, 640 * 480);
}
BENCHMARK(BM_Image16Resize);
BENCHMARK(BM_Image16Resize_Plain);

}  // namespace
