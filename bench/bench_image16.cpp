// Plane conversions on the loading path: 24-bit bitmap to plane and back.
#include <benchmark/benchmark.h>

#include <random>

#include "core/image16.h"

using namespace corvane;

namespace {

Bitmap RandomBitmap(int w, int h) {
  Bitmap b(w, h);
  std::mt19937 rng(1);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < b.RowBytes(); ++i) b.Row(y)[i] = static_cast<std::uint8_t>(rng());
  return b;
}

void BM_FromBitmapL(benchmark::State& state) {
  Bitmap b = RandomBitmap(640, 480);
  TImage16 p;
  Image16Create(p, 640, 480);
  for (auto _ : state) {
    Image16FromBitmap(p, b, 0, 0, 640, 480, ChannelL);
    benchmark::DoNotOptimize(p.Data.get());
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_FromBitmapL);

void BM_ToBitmapGrey(benchmark::State& state) {
  Bitmap b(640, 480);
  TImage16 p;
  Image16Create(p, 640, 480);
  for (auto _ : state) {
    Image16ToBitmap(b, p, 0, 0, 640, 480, ChannelL);
    benchmark::DoNotOptimize(b.Bits());
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_ToBitmapGrey);

}  // namespace
