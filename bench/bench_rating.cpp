// Frames per second of each rating, of the whole-frame (coarse) estimate and
// of the alignment options at 640 x 480 and 1280 x 960, against the plain
// alignment (Move with the quality index, as by default) in the same run.
// Each runs over 25 different frames of a noisy banded planet that wanders
// by up to 15 samples; the compare area is 192 x 144 at the centre.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "acquire/frame_rating.h"
#include "core/frame_list.h"
#include "core/image_ops.h"
#include "core/services.h"
#include "output/bitmap_ops.h"
#include "stack/align.h"
#include "stack/coarse_align.h"

using namespace corvane;

namespace {

constexpr int Distinct = 25;

TImage16 Planet(int w, int h, double cx, double cy, std::mt19937& rng) {
  TImage16 p;
  Image16Create(p, w, h);
  std::normal_distribution<double> noise(0.0, 400.0);
  const double r = 0.19 * std::min(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x - cx) / r, dy = (y - cy) / r, d2 = dx * dx + dy * dy;
      double v = 1500.0 + noise(rng);
      if (d2 < 1.0) v += 48000.0 * std::pow(1.0 - d2, 0.3) * (0.75 + 0.25 * std::sin(dy * 9.0));
      Image16SetPixel(p, x, y, static_cast<std::uint16_t>(std::clamp(v, 0.0, 65535.0)));
    }
  return p;
}

// 25 frames of w x h, made once per size.
std::vector<TImageListItem>& Frames(int w, int h) {
  static std::map<std::pair<int, int>, std::vector<TImageListItem>> cache;
  auto& frames = cache[{w, h}];
  if (frames.empty()) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> shift(-15, 15);
    for (int i = 0; i < Distinct; ++i) {
      frames.emplace_back(w, h);
      frames.back().Image = Planet(w, h, w / 2 + shift(rng), h / 2 + shift(rng), rng);
    }
  }
  return frames;
}

void Rate(benchmark::State& state) {
  state.counters["frames_per_s"] = benchmark::Counter(
      static_cast<double>(Distinct) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// AlignFrame over the 25 frames with the given options (the first frame is the basis).
void Align(benchmark::State& state, const AlignOptions& base, bool coarse) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto& frames = Frames(w, h);
  NullServices services;
  AlignmentMemory memory;
  const AlignBasis basis(frames[0].Image);
  const std::int32_t fx = HalfSpan(w, 192), fy = HalfSpan(h, 144);
  for (auto _ : state) {
    // The basis's spectrum is made once per stack run, so once per pass here.
    std::unique_ptr<CoarseAligner> aligner = coarse ? std::make_unique<CoarseAligner>(frames[0].Image) : nullptr;
    AlignOptions options = base;
    options.Coarse = aligner.get();
    for (int i = 0; i < Distinct; ++i) {
      frames[static_cast<std::size_t>(i)].Shift = {0, 0};
      AlignFrame(frames[static_cast<std::size_t>(i)], fx, fy, i, 192, 144, fx, fy, basis, options, memory, services);
    }
  }
  Rate(state);
}

void BM_AlignPlain(benchmark::State& state) { Align(state, AlignOptions{}, false); }
void BM_AlignSharpnessRating(benchmark::State& state) {
  AlignOptions o;
  o.Rating = RatingMeasure::Sharpness;
  Align(state, o, false);
}
void BM_AlignNormalised(benchmark::State& state) {
  AlignOptions o;
  o.NormaliseBrightness = true;
  Align(state, o, false);
}
void BM_AlignSubPixel(benchmark::State& state) {
  AlignOptions o;
  o.SubPixel = true;
  Align(state, o, false);
}
void BM_AlignCoarse(benchmark::State& state) { Align(state, AlignOptions{}, true); }

// The ratings alone, at the found shifts.
void BM_RateQualityIndex(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto& frames = Frames(w, h);
  const std::int32_t fx = HalfSpan(w, 192), fy = HalfSpan(h, 144);
  const std::int32_t basisMean = Image16Mean(frames[0].Image, 0, 0, w, h);
  for (auto _ : state)
    for (auto& f : frames) {
      // Its whole-frame mean is part of the index.
      const std::int32_t mean = Image16Mean(f.Image, 0, 0, w, h);
      QualityFactors q;
      QualityIndex(f.Image, fx, fy, frames[0].Image, fx, fy, 192, 144, 0, 0, mean, basisMean, q);
      benchmark::DoNotOptimize(q.Index);
    }
  Rate(state);
}
void BM_RateSharpness(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto& frames = Frames(w, h);
  const std::int32_t fx = HalfSpan(w, 192), fy = HalfSpan(h, 144);
  for (auto _ : state)
    for (auto& f : frames) benchmark::DoNotOptimize(FrameSharpness(f.Image, fx, fy, 192, 144));
  Rate(state);
}
// The whole-frame estimate alone (the basis's spectrum made once).
void BM_CoarseEstimate(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto& frames = Frames(w, h);
  const CoarseAligner aligner(frames[0].Image);
  for (auto _ : state)
    for (auto& f : frames) benchmark::DoNotOptimize(aligner.Offset(f.Image));
  Rate(state);
}

#define SIZES Args({640, 480})->Args({1280, 960})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)
BENCHMARK(BM_AlignPlain)->SIZES;
BENCHMARK(BM_AlignSharpnessRating)->SIZES;
BENCHMARK(BM_AlignNormalised)->SIZES;
BENCHMARK(BM_AlignSubPixel)->SIZES;
BENCHMARK(BM_AlignCoarse)->SIZES;
BENCHMARK(BM_RateQualityIndex)->SIZES;
BENCHMARK(BM_RateSharpness)->SIZES;
BENCHMARK(BM_CoarseEstimate)->SIZES;

}  // namespace
