// Loading a 640 x 480, 1000-frame, 8-bit grey AVI with default settings (and a
// memory budget for every frame) against only decoding it through the video
// reader, in the same run. Reports frames per second of both, their ratio, and
// the resident memory the loaded frames take against their own bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquire/loader.h"
#include "bench_support.h"
#include "io/avi_writer.h"
#include "io/video.h"

using namespace corvane;

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Frames = 1000;

class LoadVideo {
 public:
  LoadVideo() : m_dir("load"), m_path(m_dir.File("grey.avi")) {
    bench::WriteGreyAvi(m_path, Width, Height, Frames, [](std::vector<std::uint8_t>& frame, int f) {
      for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
          frame[static_cast<std::size_t>(y) * Width + x] = static_cast<std::uint8_t>((x + 2 * y) ^ f);
    });
  }
  const std::string& Path() const { return m_path; }

 private:
  bench::TempFolder m_dir;
  std::string m_path;
};

const LoadVideo& Video() {
  static LoadVideo v;
  return v;
}

void BM_DecodeOnly(benchmark::State& state) {
  const std::string& path = Video().Path();
  Bitmap bitmap;
  for (auto _ : state) {
    VideoReader reader;
    const int n = AVIFrameCount(reader, path);
    for (int f = 0; f < n; ++f) AVIReadFrame(reader, path, bitmap, f);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(Frames) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_LoadDefault(benchmark::State& state) {
  const std::string& path = Video().Path();
  long grownKiB = 0;
  for (auto _ : state) {
    NullServices services;
    Settings settings;
    FrameList frames;
    frames.SetMaxFrames(4096);
    FrameLoader loader(settings, frames, services);
    loader.Preview({path});
    const long before = bench::ResidentKiB();
    loader.Load();
    grownKiB = bench::ResidentKiB() - before;
    benchmark::DoNotOptimize(frames.Count());
    state.PauseTiming();
    frames.Clear();
    state.ResumeTiming();
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(Frames) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["rss_growth_MiB"] = static_cast<double>(grownKiB) / 1024.0;
  state.counters["frame_bytes_MiB"] = static_cast<double>(Frames) * Width * Height * 2 / 1048576.0;
}
BENCHMARK(BM_LoadDefault)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
