// Aligning 1000 frames of 640 x 480 (area 192 x 144, Move, quality on, no live
// display) and mean-combining them, against a plain summing pass over all the
// frames' samples (the floor of any combine: every byte read once).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/frame_list.h"
#include "core/services.h"
#include "output/bitmap_ops.h"
#include "stack/align.h"
#include "stack/combine.h"

using namespace corvane;

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Frames = 1000;
constexpr int Distinct = 25;

// A banded disc on a dark sky at (cx, cy), with noise.
TImage16 Planet(double cx, double cy, std::mt19937& rng) {
  TImage16 p;
  Image16Create(p, Width, Height);
  std::normal_distribution<double> noise(0.0, 400.0);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const double dx = (x - cx) / 90.0, dy = (y - cy) / 90.0, d2 = dx * dx + dy * dy;
      double v = 1500.0 + noise(rng);
      if (d2 < 1.0) v += 48000.0 * std::pow(1.0 - d2, 0.3) * (0.75 + 0.25 * std::sin(dy * 9.0));
      Image16SetPixel(p, x, y, static_cast<std::uint16_t>(std::clamp(v, 0.0, 65535.0)));
    }
  return p;
}

FrameList& StackFrames() {
  static FrameList list = [] {
    FrameList l;
    l.SetMaxFrames(FrameListLimit);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> shift(-15, 15);
    std::vector<TImage16> base;
    for (int i = 0; i < Distinct; ++i) base.push_back(Planet(320 + shift(rng), 240 + shift(rng), rng));
    for (int i = 0; i < Frames; ++i) {
      auto f = std::make_unique<TImageListItem>(Width, Height);
      Image16Copy(f->Image, 0, 0, base[static_cast<std::size_t>(i % Distinct)], 0, 0, Width, Height);
      f->FileName = "bench.avi";
      f->Number = i;
      l.Add(std::move(f));
    }
    return l;
  }();
  return list;
}

void BM_AlignFrames(benchmark::State& state) {
  FrameList& frames = StackFrames();
  NullServices services;
  AlignmentMemory memory;
  AlignOptions options;  // Move, quality on, no display
  const AlignBasis basis(frames[0].Image);
  const std::int32_t fx = HalfSpan(Width, 192), fy = HalfSpan(Height, 144);
  for (auto _ : state) {
    for (int i = 0; i < frames.Count(); ++i) {
      frames[i].Shift = {0, 0};
      AlignFrame(frames[i], fx, fy, i, 192, 144, fx, fy, basis, options, memory, services);
    }
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(Frames) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AlignFrames)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CombineMean(benchmark::State& state) {
  FrameList& frames = StackFrames();
  for (auto _ : state) {
    TImageListItem result(Width, Height);
    CombineFrames(frames, result, CombineOptions{});
    benchmark::DoNotOptimize(result.Image.Data.get());
  }
}
BENCHMARK(BM_CombineMean)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_CombineMedian(benchmark::State& state) {
  FrameList& frames = StackFrames();
  for (auto _ : state) {
    TImageListItem result(Width, Height);
    CombineOptions options;
    options.Method = CombineMedian;
    CombineFrames(frames, result, options);
    benchmark::DoNotOptimize(result.Image.Data.get());
  }
}
BENCHMARK(BM_CombineMedian)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The mean of 100 of the frames placed at fractional shifts by bicubic
// resampling (as keep-best 10 % with sub-sample shifts combines them), against
// the same frames placed by whole samples.
void CombineHundred(benchmark::State& state, bool fractional) {
  FrameList& frames = StackFrames();
  for (int i = 0; i < frames.Count(); ++i) {
    frames[i].Quality = i % 10 == 0 ? 1000 : 0;
    frames[i].SubShift = fractional ? TPointF{0.3, -0.2} : TPointF{};
  }
  CombineOptions options;
  options.Threshold = 1;
  options.Placement = Resampling::Bicubic;
  for (auto _ : state) {
    TImageListItem result(Width, Height);
    CombineFrames(frames, result, options);
    benchmark::DoNotOptimize(result.Image.Data.get());
  }
  for (int i = 0; i < frames.Count(); ++i) {
    frames[i].Quality = 1000;
    frames[i].SubShift = {};
  }
}
void BM_CombineHundredWhole(benchmark::State& state) { CombineHundred(state, false); }
void BM_CombineHundredBicubic(benchmark::State& state) { CombineHundred(state, true); }
BENCHMARK(BM_CombineHundredWhole)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CombineHundredBicubic)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_SumFloor(benchmark::State& state) {
  FrameList& frames = StackFrames();
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (int i = 0; i < frames.Count(); ++i) {
      const std::uint16_t* p = frames[i].Image.Data.get();
      const std::size_t n = frames[i].Image.SampleCount();
      for (std::size_t k = 0; k < n; ++k) sum += p[k];
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_SumFloor)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
