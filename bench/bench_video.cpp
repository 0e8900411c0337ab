// Reading every frame of a 640 x 480, 1000-frame, 8-bit grey-palette AVI:
//  - AVIReadFrame (one reader kept open, sequential frames);
//  - a plain libavcodec loop as a straightforward program writes it
//    (av_read_frame, avcodec_send_packet / receive_frame into a fresh AVFrame
//    each time, sws_scale to BGR24);
//  - the floor: the file's bytes read once into one reused buffer.
// BM_VideoRatios runs the three in turn and reports medians, ratios and the
// resident memory before and after reading.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "io/avi_writer.h"
#include "io/video.h"

using namespace corvane;

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Frames = 1000;

/// The benchmark video, written once per run into a temporary folder that is
/// removed at exit.
class BenchVideo {
 public:
  BenchVideo() : m_dir("video"), m_path(m_dir.File("grey640x480x1000.avi")) {
    bench::WriteGreyAvi(m_path, Width, Height, Frames, [](std::vector<std::uint8_t>& frame, int f) {
      for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
          frame[static_cast<std::size_t>(y) * Width + x] = static_cast<std::uint8_t>((x ^ y) + 3 * f);
    });
    m_bytes = std::filesystem::file_size(m_path);
  }
  const std::string& Path() const { return m_path; }
  std::uintmax_t Bytes() const { return m_bytes; }

 private:
  bench::TempFolder m_dir;
  std::string m_path;
  std::uintmax_t m_bytes = 0;
};

const BenchVideo& Video() {
  static const BenchVideo video;
  return video;
}

/// Every frame through AVIReadFrame; returns a checksum of the pixels.
std::uint64_t ReadWithReader(VideoReader& reader, Bitmap& bitmap) {
  std::uint64_t sum = 0;
  for (int n = 0; n < Frames; ++n) {
    if (!AVIReadFrame(reader, Video().Path(), bitmap, n)) return 0;
    sum += bitmap.Row(n % Height)[n % Width];
  }
  return sum;
}

/// Every frame through plain libavcodec calls, as a straightforward program
/// would decode them.
std::uint64_t ReadWithPlainLibavcodec(Bitmap& bitmap) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, Video().Path().c_str(), nullptr, nullptr) < 0) return 0;
  const AVCodecParameters* par = format->streams[0]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, par);
  avcodec_open2(decoder, codec, nullptr);
  SwsContext* scaler = nullptr;
  AVPacket* packet = av_packet_alloc();
  bitmap = Bitmap(par->width, par->height);
  std::uint64_t sum = 0;
  int n = 0;
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == 0 && avcodec_send_packet(decoder, packet) >= 0) {
      AVFrame* frame = av_frame_alloc();
      while (avcodec_receive_frame(decoder, frame) == 0) {
        if (scaler == nullptr)
          scaler = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                                  frame->height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        std::uint8_t* dst[4] = {bitmap.Bits(), nullptr, nullptr, nullptr};
        const int stride[4] = {static_cast<int>(bitmap.RowBytes()), 0, 0, 0};
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, dst, stride);
        sum += bitmap.Row(n % Height)[n % Width];
        ++n;
      }
      av_frame_free(&frame);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  sws_freeContext(scaler);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return n == Frames ? sum : 0;
}

/// The file's bytes read once into one reused buffer.
std::uint64_t ReadFloor(std::vector<std::uint8_t>& buffer) {
  const int fd = ::open(Video().Path().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got <= 0) break;
    total += static_cast<std::uint64_t>(got) + buffer[0];
  }
  ::close(fd);
  return total;
}

void BM_VideoAVIReadFrame(benchmark::State& state) {
  Bitmap bitmap;
  for (auto _ : state) {
    VideoReader reader;
    benchmark::DoNotOptimize(ReadWithReader(reader, bitmap));
  }
  state.SetItemsProcessed(state.iterations() * Frames);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Video().Bytes()));
}
BENCHMARK(BM_VideoAVIReadFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_VideoPlainLibavcodec(benchmark::State& state) {
  Bitmap bitmap;
  for (auto _ : state) benchmark::DoNotOptimize(ReadWithPlainLibavcodec(bitmap));
  state.SetItemsProcessed(state.iterations() * Frames);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Video().Bytes()));
}
BENCHMARK(BM_VideoPlainLibavcodec)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_VideoReadFloor(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(ReadFloor(buffer));
  state.SetItemsProcessed(state.iterations() * Frames);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Video().Bytes()));
}
BENCHMARK(BM_VideoReadFloor)->Unit(benchmark::kMillisecond)->Iterations(5);

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

/// Wall-clock and processor time (user and system) in milliseconds.
struct Stamp {
  double Wall = 0;
  double Cpu = 0;
  static Stamp Now() {
    timespec wall{}, cpu{};
    ::clock_gettime(CLOCK_MONOTONIC, &wall);
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return {wall.tv_sec * 1e3 + wall.tv_nsec / 1e6, cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6};
  }
};

// The three ways in turn, 5 rounds; medians in milliseconds of processor time
// (steadier than wall-clock time on a machine shared with other work; the wall
// ratios are reported too) and the ratios. Memory: resident size after the
// first 10 frames and after all 1000 (one reader), and the peak before and
// after.
void BM_VideoRatios(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(1 << 20);
  Bitmap bitmap;
  std::vector<double> reader, plain, floor, readerWall, plainWall, floorWall;
  long residentAfter10 = 0, residentAfterAll = 0, peakBefore = 0, peakAfter = 0;
  bool ok = true;
  for (auto _ : state) {
    ReadFloor(buffer);  // warm the page cache
    for (int round = 0; round < 5; ++round) {
      const Stamp t0 = Stamp::Now();
      ok = ok && ReadFloor(buffer) != 0;
      const Stamp t1 = Stamp::Now();
      VideoReader r;
      ok = ok && ReadWithReader(r, bitmap) != 0;
      const Stamp t2 = Stamp::Now();
      ok = ok && ReadWithPlainLibavcodec(bitmap) != 0;
      const Stamp t3 = Stamp::Now();
      floor.push_back(t1.Cpu - t0.Cpu);
      reader.push_back(t2.Cpu - t1.Cpu);
      plain.push_back(t3.Cpu - t2.Cpu);
      floorWall.push_back(t1.Wall - t0.Wall);
      readerWall.push_back(t2.Wall - t1.Wall);
      plainWall.push_back(t3.Wall - t2.Wall);
    }
    VideoReader r;
    peakBefore = bench::PeakResidentKiB();
    for (int n = 0; n < 10; ++n) ok = ok && AVIReadFrame(r, Video().Path(), bitmap, n);
    residentAfter10 = bench::ResidentKiB();
    for (int n = 10; n < Frames; ++n) ok = ok && AVIReadFrame(r, Video().Path(), bitmap, n);
    residentAfterAll = bench::ResidentKiB();
    peakAfter = bench::PeakResidentKiB();
  }
  if (!ok) state.SkipWithError("a read failed");
  const double mr = Median(reader), mp = Median(plain), mf = Median(floor);
  state.counters["reader_ms"] = mr;
  state.counters["plain_ms"] = mp;
  state.counters["floor_ms"] = mf;
  state.counters["plain/reader"] = mp / mr;
  state.counters["reader/floor"] = mr / mf;
  state.counters["wall_plain/reader"] = Median(plainWall) / Median(readerWall);
  state.counters["wall_reader/floor"] = Median(readerWall) / Median(floorWall);
  state.counters["rss_growth_KiB"] = static_cast<double>(residentAfterAll - residentAfter10);
  state.counters["peak_growth_KiB"] = static_cast<double>(peakAfter - peakBefore);
}
BENCHMARK(BM_VideoRatios)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
