// Compressed videos decode on every core without changing a single decoded
// sample: a reader with threads gives what a single-threaded reader gives, in
// sequential, stepped, repeated and random reads.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "io/encoded_avi_writer.h"
#include "io/video.h"
#include "support/test_support.h"

namespace corvane {
namespace {

constexpr int W = 176, H = 144, Frames = 30;

// Colour bands and a moving bright square, different in every frame.
std::vector<std::uint8_t> ColourFrame(int f, std::mt19937& rng) {
  std::vector<std::uint8_t> p(static_cast<std::size_t>(W) * H * 3);
  std::uniform_int_distribution<int> noise(0, 12);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      std::uint8_t* q = p.data() + (static_cast<std::size_t>(y) * W + x) * 3;
      const bool square = std::abs(x - 20 - 3 * f) < 12 && std::abs(y - 30 - f) < 10;
      q[0] = static_cast<std::uint8_t>(square ? 250 : (x * 255 / W + noise(rng)) % 256);
      q[1] = static_cast<std::uint8_t>(square ? 240 : (y * 255 / H + noise(rng)) % 256);
      q[2] = static_cast<std::uint8_t>(square ? 30 : ((x + y + 4 * f) % 256));
    }
  return p;
}

bool SameBitmap(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.Row(y), b.Row(y), static_cast<std::size_t>(a.Width()) * 3) != 0) return false;
  return true;
}

TEST(VideoThreads, CompressedFramesAreTheSameOnEveryCore) {
  test::TempDir dir;
  for (const AviCodec codec : {AviCodec::Mpeg4, AviCodec::H264, AviCodec::Mjpeg}) {
    if (!EncodedAviWriter::Available(codec)) continue;
    const std::string path = dir.File(std::string(1, static_cast<char>('a' + static_cast<int>(codec))) + "v.avi");
    {
      EncodedAviOptions o;
      o.Codec = codec;
      o.KeyInterval = 8;
      EncodedAviWriter writer(path, W, H, AviPixelFormat::Bgr24, o);
      std::mt19937 rng(1);
      for (int f = 0; f < Frames; ++f) writer.AddFrame(ColourFrame(f, rng).data());
      writer.Finish();
    }
    VideoReader single(1);
    ASSERT_EQ(single.FrameCount(path), Frames);
    std::vector<Bitmap> truth(Frames);
    for (int f = 0; f < Frames; ++f) ASSERT_TRUE(single.ReadFrame(path, f, truth[static_cast<std::size_t>(f)])) << f;

    // Sequential, then every third frame, each frame twice (two fields), and
    // a few jumps back and forth; every read from a reader with threads.
    std::vector<int> order;
    for (int f = 0; f < Frames; ++f) order.push_back(f);
    for (int f = 1; f < Frames; f += 3) order.push_back(f);
    for (int f = 10; f < 20; ++f) order.insert(order.end(), {f, f});
    for (int f : {29, 0, 17, 16, 18, 19, 20, 3}) order.push_back(f);
    for (const int threads : {0, 3}) {
      VideoReader reader(threads);
      ASSERT_EQ(reader.FrameCount(path), Frames);
      for (const int f : order) {
        Bitmap b;
        ASSERT_TRUE(reader.ReadFrame(path, f, b)) << f;
        ASSERT_TRUE(SameBitmap(b, truth[static_cast<std::size_t>(f)]))
            << "codec " << static_cast<int>(codec) << ", threads " << threads << ", frame " << f;
      }
      Bitmap none;
      EXPECT_FALSE(reader.ReadFrame(path, Frames, none));
    }
  }
}

// Every frame of stream 0 through the library in the plainest way: read,
// decode, convert each to BGR24 as the reader converts colour frames.
std::vector<Bitmap> PlainDecode(const std::string& path) {
  std::vector<Bitmap> out;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
  avformat_find_stream_info(format, nullptr);
  const AVCodecParameters* par = format->streams[0]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, par);
  decoder->thread_count = 1;
  avcodec_open2(decoder, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* scaler = nullptr;
  auto take = [&] {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                    frame->width, frame->height, AV_PIX_FMT_BGR24,
                                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
      Bitmap b(frame->width, frame->height);
      std::uint8_t* dst[4] = {b.Bits(), nullptr, nullptr, nullptr};
      const int stride[4] = {static_cast<int>(b.RowBytes()), 0, 0, 0};
      sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, dst, stride);
      out.push_back(std::move(b));
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == 0) avcodec_send_packet(decoder, packet);
    av_packet_unref(packet);
    take();
  }
  avcodec_send_packet(decoder, nullptr);
  take();
  sws_freeContext(scaler);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return out;
}

TEST(VideoThreads, GreyRecordingsGiveWhatTheLibraryConversionGives) {
  // Grey frames (neutral colour planes) take a faster way through a table of
  // the luma values; it must not change one sample.
  test::TempDir dir;
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> value(0, 255);
  for (const AviCodec codec : {AviCodec::Mpeg4, AviCodec::Mjpeg}) {
    const std::string path = dir.File(std::string(1, static_cast<char>('a' + static_cast<int>(codec))) + "g.avi");
    {
      EncodedAviOptions o;
      o.Codec = codec;
      EncodedAviWriter writer(path, W, H, AviPixelFormat::Grey8, o);
      std::vector<std::uint8_t> grey(static_cast<std::size_t>(W) * H);
      for (int f = 0; f < 12; ++f) {
        for (std::size_t i = 0; i < grey.size(); ++i)
          grey[i] = static_cast<std::uint8_t>(i % W < 40 ? value(rng) : (i / W * 2 + i % W + 9 * f) % 256);
        writer.AddFrame(grey.data());
      }
      writer.Finish();
    }
    const std::vector<Bitmap> truth = PlainDecode(path);
    ASSERT_EQ(truth.size(), 12u);
    for (const int threads : {1, 0}) {
      VideoReader reader(threads);
      for (int f = 0; f < 12; ++f) {
        Bitmap b;
        ASSERT_TRUE(reader.ReadFrame(path, f, b)) << f;
        ASSERT_TRUE(SameBitmap(b, truth[static_cast<std::size_t>(f)]))
            << "codec " << static_cast<int>(codec) << ", threads " << threads << ", frame " << f;
      }
    }
  }
}

}  // namespace
}  // namespace corvane
