// Compressed videos decode on every core without changing a single decoded
// sample: a reader with threads gives what a single-threaded reader gives, in
// sequential, stepped, repeated and random reads.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

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
    const std::string path = dir.File("v" + std::to_string(static_cast<int>(codec)) + ".avi");
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

}  // namespace
}  // namespace corvane
