// Loading frames from each file kind with default settings (and a memory
// budget for every frame), against the uncompressed AVI baseline in the same
// run:
//  - the same 640 x 480 x 1000 8-bit grey frames as an AVI and as a SER video,
//    loaded in turn five times; the medians and their ratio are reported;
//  - the same frames as a 16-bit SER video (12-bit data), frames per second;
//  - a burst of 4608 x 3456 JPEG pictures, frames per second.
// Each reports the resident memory the load added against the loaded frames'
// own bytes.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquire/loader.h"
#include "bench_support.h"
#include "io/avi_writer.h"

using namespace corvane;

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Frames = 1000;
constexpr int BurstWidth = 4608;
constexpr int BurstHeight = 3456;
constexpr int BurstFrames = 8;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}

/// Writes a SER video frame by frame: the 178-byte header, then the samples.
class SerFile {
 public:
  SerFile(const std::string& path, int width, int height, int depth, int frames) : m_out(path, std::ios::binary) {
    std::vector<std::uint8_t> h(178, 0);
    std::memcpy(h.data(), "LUCAM-RECORDER", 14);
    Put32(h, 22, 0);  // "big-endian", as widespread recorders write before little-endian samples
    Put32(h, 26, width);
    Put32(h, 30, height);
    Put32(h, 34, depth);
    Put32(h, 38, frames);
    m_out.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
  }
  void Add(const void* samples, std::size_t bytes) {
    m_out.write(static_cast<const char*>(samples), static_cast<std::streamsize>(bytes));
  }

 private:
  std::ofstream m_out;
};

class Files {
 public:
  Files() {
    Avi = m_dir.File("grey.avi");
    Ser8 = m_dir.File("grey.ser");
    Ser16 = m_dir.File("deep.ser");
    AviWriter avi(Avi, Width, Height, AviPixelFormat::Grey8);
    SerFile ser8(Ser8, Width, Height, 8, Frames), ser16(Ser16, Width, Height, 12, Frames);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(Width) * Height);
    std::vector<std::uint16_t> deep(frame.size());
    for (int f = 0; f < Frames; ++f) {
      for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * Width + x;
          frame[i] = static_cast<std::uint8_t>((x + 2 * y) ^ f);
          deep[i] = static_cast<std::uint16_t>((16 * (x + 2 * y) + f + (x * 7 + y * 13) % 11) & 4095);
        }
      avi.AddFrame(frame.data());
      ser8.Add(frame.data(), frame.size());
      ser16.Add(deep.data(), deep.size() * 2);
    }
    avi.Finish();
    WriteBurst();
  }
  std::string Avi, Ser8, Ser16;
  std::vector<std::string> Burst;

 private:
  void WriteBurst() {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(BurstWidth) * 3);
    for (int k = 0; k < BurstFrames; ++k) {
      const std::string path = m_dir.File("burst" + std::to_string(k) + ".jpg");
      jpeg_compress_struct c{};
      jpeg_error_mgr err{};
      c.err = jpeg_std_error(&err);
      jpeg_create_compress(&c);
      std::FILE* out = std::fopen(path.c_str(), "wb");
      jpeg_stdio_dest(&c, out);
      c.image_width = BurstWidth, c.image_height = BurstHeight, c.input_components = 3, c.in_color_space = JCS_RGB;
      jpeg_set_defaults(&c);
      jpeg_set_quality(&c, 92, TRUE);
      jpeg_start_compress(&c, TRUE);
      while (c.next_scanline < c.image_height) {
        const int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < BurstWidth; ++x) {
          rgb[3 * x] = static_cast<std::uint8_t>((x + k) / 18);
          rgb[3 * x + 1] = static_cast<std::uint8_t>(y / 14 + ((x * y) >> 12));
          rgb[3 * x + 2] = static_cast<std::uint8_t>((x + y) / 32);
        }
        JSAMPROW row = rgb.data();
        jpeg_write_scanlines(&c, &row, 1);
      }
      jpeg_finish_compress(&c);
      jpeg_destroy_compress(&c);
      std::fclose(out);
      Burst.push_back(path);
    }
  }

  bench::TempFolder m_dir{"formats"};
};

const Files& Inputs() {
  static Files files;
  return files;
}

struct LoadResult {
  double Seconds = 0;
  int Count = 0;
  long GrownKiB = 0;
  double FrameMiB = 0;
};

/// Loads the files with default settings; times Load() only (the preview
/// reads the first frame beforehand, as in the program).
LoadResult LoadOnce(const std::vector<std::string>& files) {
  NullServices services;
  Settings settings;
  FrameList frames;
  frames.SetMaxMem(std::int64_t{16} << 30);
  frames.SetMaxFrames(4096);
  FrameLoader loader(settings, frames, services);
  loader.Preview(files);
  const long before = bench::ResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  loader.Load();
  LoadResult r;
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.GrownKiB = bench::ResidentKiB() - before;
  r.Count = frames.Count();
  for (int i = 0; i < frames.Count(); ++i)
    r.FrameMiB += static_cast<double>(frames[i].Image.SampleCount()) * 2 / 1048576.0;
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Report(benchmark::State& state, const LoadResult& r, double fps) {
  state.counters["fps"] = fps;
  state.counters["frames"] = r.Count;
  state.counters["rss_growth_MiB"] = static_cast<double>(r.GrownKiB) / 1024.0;
  state.counters["frame_bytes_MiB"] = r.FrameMiB;
}

// The 8-bit SER video against the same frames as an uncompressed AVI, loaded
// in turn so both see the same machine load; medians of five of each.
void BM_Ser8AgainstAvi8(benchmark::State& state) {
  const Files& in = Inputs();
  std::vector<double> avi, ser;
  LoadResult last;
  for (auto _ : state) {
    for (int k = 0; k < 5; ++k) {
      const LoadResult a = LoadOnce({in.Avi});
      avi.push_back(a.Count / a.Seconds);
      last = LoadOnce({in.Ser8});
      ser.push_back(last.Count / last.Seconds);
    }
  }
  Report(state, last, Median(ser));
  state.counters["avi_fps"] = Median(avi);
  state.counters["ser_over_avi"] = Median(ser) / Median(avi);
}
BENCHMARK(BM_Ser8AgainstAvi8)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Ser16(benchmark::State& state) {
  std::vector<double> fps;
  LoadResult last;
  for (auto _ : state) {
    for (int k = 0; k < 5; ++k) {
      last = LoadOnce({Inputs().Ser16});
      fps.push_back(last.Count / last.Seconds);
    }
  }
  Report(state, last, Median(fps));
}
BENCHMARK(BM_Ser16)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_JpegBurst4608x3456(benchmark::State& state) {
  std::vector<double> fps;
  LoadResult last;
  for (auto _ : state) {
    for (int k = 0; k < 5; ++k) {
      last = LoadOnce(Inputs().Burst);
      fps.push_back(last.Count / last.Seconds);
    }
  }
  Report(state, last, Median(fps));
}
BENCHMARK(BM_JpegBurst4608x3456)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
