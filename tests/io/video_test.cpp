// Reading frames of AVI videos. Every video is made here at run time: with
// AviWriter, or with a small RIFF builder below for layouts AviWriter does not
// write (other palettes, FourCC formats, sound streams, damaged files), with
// MJPEG frames from the library's encoder.
#include "io/video.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "io/avi_writer.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t Fourcc(const char (&c)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(c[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c[3])) << 24;
}

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutId(Bytes& b, const char (&id)[5]) { b.insert(b.end(), id, id + 4); }
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

Bytes Chunk(const char (&id)[5], const Bytes& data) {
  Bytes c;
  PutId(c, id);
  Put32(c, static_cast<std::uint32_t>(data.size()));
  Append(c, data);
  if (data.size() % 2) c.push_back(0);
  return c;
}

Bytes List(const char (&type)[5], const Bytes& data) {
  Bytes body;
  PutId(body, type);
  Append(body, data);
  return Chunk("LIST", body);
}

/// A video described field by field; BuildAvi turns it into file bytes.
struct AviLayout {
  int Width = 8;
  int Height = 4;
  int BitCount = 8;
  std::uint32_t Compression = 0;  // 0: uncompressed DIB, else a FourCC
  bool TopDown = false;           // a negative biHeight (DIBs only)
  Bytes Palette;                  // blue, green, red, 0 per entry
  std::vector<Bytes> Frames;      // chunk data; an empty one is a dropped frame
  bool Index = true;
  long long Length = -1;  // dwLength; -1: the number of frames
  enum class Sound { None, Only, First } Audio = Sound::None;
};

Bytes VideoStreamList(const AviLayout& s) {
  const std::uint32_t length =
      static_cast<std::uint32_t>(s.Length >= 0 ? s.Length : static_cast<long long>(s.Frames.size()));
  Bytes strh;
  PutId(strh, "vids");
  Put32(strh, s.Compression);
  for (std::uint32_t v : {0u, 0u, 0u, 1u, 25u, 0u, length, 0u, 0xFFFFFFFFu, 0u}) Put32(strh, v);
  for (int v : {0, 0, s.Width, s.Height}) Put16(strh, static_cast<std::uint32_t>(v));
  Bytes strf;
  Put32(strf, 40);
  Put32(strf, static_cast<std::uint32_t>(s.Width));
  Put32(strf, static_cast<std::uint32_t>(s.TopDown ? -s.Height : s.Height));
  Put16(strf, 1);
  Put16(strf, static_cast<std::uint32_t>(s.BitCount));
  Put32(strf, s.Compression);
  for (std::uint32_t v : {0u, 0u, 0u, static_cast<std::uint32_t>(s.Palette.size() / 4), 0u}) Put32(strf, v);
  Append(strf, s.Palette);
  Bytes strl = Chunk("strh", strh);
  Append(strl, Chunk("strf", strf));
  return List("strl", strl);
}

Bytes SoundStreamList() {
  Bytes strh;
  PutId(strh, "auds");
  for (std::uint32_t v : {1u, 0u, 0u, 0u, 1u, 8000u, 0u, 800u, 0u, 0xFFFFFFFFu, 2u}) Put32(strh, v);
  for (int i = 0; i < 4; ++i) Put16(strh, 0);
  Bytes strf;  // WAVEFORMATEX: PCM, mono, 8000 Hz, 16 bits
  Put16(strf, 1);
  Put16(strf, 1);
  Put32(strf, 8000);
  Put32(strf, 16000);
  Put16(strf, 2);
  Put16(strf, 16);
  Put16(strf, 0);
  Bytes strl = Chunk("strh", strh);
  Append(strl, Chunk("strf", strf));
  return List("strl", strl);
}

Bytes BuildAvi(const AviLayout& s) {
  const bool sound = s.Audio != AviLayout::Sound::None;
  const bool video = s.Audio != AviLayout::Sound::Only;
  const int streams = (sound ? 1 : 0) + (video ? 1 : 0);
  Bytes avih;
  for (std::uint32_t v :
       {40000u, 0u, 0u, 0x10u, static_cast<std::uint32_t>(s.Frames.size()), 0u, static_cast<std::uint32_t>(streams), 0u,
        static_cast<std::uint32_t>(s.Width), static_cast<std::uint32_t>(s.Height), 0u, 0u, 0u, 0u})
    Put32(avih, v);
  Bytes hdrl = Chunk("avih", avih);
  if (sound) Append(hdrl, SoundStreamList());
  if (video) Append(hdrl, VideoStreamList(s));

  // Sound (when first) is stream 00, video the next one.
  const char* videoId = s.Audio == AviLayout::Sound::First ? "01dc" : "00dc";
  Bytes movi, idx1;
  auto add = [&](const char* id, const Bytes& data) {
    const auto offset = static_cast<std::uint32_t>(movi.size() + 4);
    char name[5] = {id[0], id[1], id[2], id[3], 0};
    Bytes c;
    c.insert(c.end(), name, name + 4);
    Put32(c, static_cast<std::uint32_t>(data.size()));
    Append(c, data);
    if (data.size() % 2) c.push_back(0);
    Append(movi, c);
    idx1.insert(idx1.end(), name, name + 4);
    Put32(idx1, 0x10);
    Put32(idx1, offset);
    Put32(idx1, static_cast<std::uint32_t>(data.size()));
  };
  if (sound) add("00wb", Bytes(1600, 0));
  if (video)
    for (const Bytes& f : s.Frames) add(s.Compression == 0 ? (videoId[1] == '1' ? "01db" : "00db") : videoId, f);
  Bytes body = List("hdrl", hdrl);
  Append(body, List("movi", movi));
  if (s.Index) Append(body, Chunk("idx1", idx1));
  Bytes file;
  PutId(file, "RIFF");
  Put32(file, static_cast<std::uint32_t>(body.size() + 4));
  PutId(file, "AVI ");
  Append(file, body);
  return file;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& v : b) v = static_cast<std::uint8_t>(rng());
  return b;
}

/// Rows from the top, packed, to a DIB chunk: rows bottom-up, padded to 4 bytes.
Bytes ToDib(const Bytes& topDown, int width, int height, int bytesPerPixel) {
  const std::size_t row = static_cast<std::size_t>(width) * bytesPerPixel;
  const std::size_t stride = (row + 3) & ~std::size_t{3};
  Bytes dib(stride * height, 0);
  for (int y = 0; y < height; ++y)
    std::copy_n(topDown.begin() + static_cast<std::ptrdiff_t>(row * y), row,
                dib.begin() + static_cast<std::ptrdiff_t>(stride * (height - 1 - y)));
  return dib;
}

/// The 24-bit picture a packed top-down frame should give.
Bitmap Expected(const Bytes& topDown, int width, int height, const Bytes* palette) {
  Bitmap b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* d = b.Row(y) + 3 * x;
      if (palette == nullptr) {  // 24-bit
        std::copy_n(topDown.begin() + 3 * (static_cast<std::ptrdiff_t>(y) * width + x), 3, d);
      } else {
        const std::size_t i = topDown[static_cast<std::size_t>(y) * width + x];
        for (int c = 0; c < 3; ++c) d[c] = 4 * i + 3 <= palette->size() ? (*palette)[4 * i + c] : 0;
      }
    }
  return b;
}

Bytes GreyPalette() {
  Bytes p;
  for (std::uint32_t i = 0; i < 256; ++i) Put32(p, i * 0x010101u);
  return p;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (!std::equal(a.Row(y), a.Row(y) + a.RowBytes(), b.Row(y))) return false;
  return true;
}

::testing::AssertionResult Near(const Bitmap& b, int x, int y, int blue, int green, int red, int tolerance) {
  const std::uint8_t* p = b.Row(y) + 3 * x;
  if (std::abs(p[0] - blue) <= tolerance && std::abs(p[1] - green) <= tolerance && std::abs(p[2] - red) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << int(p[0]) << "," << int(p[1]) << ","
                                       << int(p[2]) << ", expected " << blue << "," << green << "," << red;
}

/// A sentinel bitmap: failures must leave it as it is.
Bitmap Sentinel() {
  Bitmap b(3, 2, PixelFormat::Indexed8);
  b.Row(1)[2] = 77;
  return b;
}

/// Grey video frames whose pixels tell the frame number and position.
Bytes GreyFrame(int frame, int width, int height) {
  Bytes f(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      f[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(frame * 7 + x + 3 * y);
  return f;
}

std::string WriteGreyVideo(const test::TempDir& dir, const std::string& name, int frames, int width = 13,
                           int height = 5) {
  const std::string path = dir.File(name);
  AviWriter w(path, width, height, AviPixelFormat::Grey8);
  for (int i = 0; i < frames; ++i) w.AddFrame(GreyFrame(i, width, height).data());
  w.Finish();
  return path;
}

// ---------------------------------------------------------------- formats

TEST(VideoFormats, Grey8AndBgr24FromTheWriterWithPaddedRows) {
  test::TempDir dir;
  std::mt19937 rng(3);
  const int w = 13, h = 5;  // 13 pixels: rows padded in both depths
  std::vector<Bytes> grey, colour;
  AviWriter gw(dir.File("g.avi"), w, h, AviPixelFormat::Grey8);
  AviWriter cw(dir.File("c.avi"), w, h, AviPixelFormat::Bgr24);
  for (int i = 0; i < 3; ++i) {
    grey.push_back(RandomBytes(rng, w * h));
    colour.push_back(RandomBytes(rng, 3 * w * h));
    gw.AddFrame(grey.back().data());
    cw.AddFrame(colour.back().data());
  }
  gw.Finish();
  cw.Finish();
  const Bytes palette = GreyPalette();
  VideoReader reader;
  EXPECT_EQ(reader.FrameCount(dir.File("g.avi")), 3);
  EXPECT_EQ(reader.FrameCount(dir.File("c.avi")), 3);
  for (int i = 0; i < 3; ++i) {
    Bitmap b;
    ASSERT_TRUE(reader.ReadFrame(dir.File("g.avi"), i, b));
    EXPECT_EQ(b.Format(), PixelFormat::Bgr24);
    EXPECT_TRUE(SamePixels(b, Expected(grey[i], w, h, &palette))) << "grey frame " << i;
    ASSERT_TRUE(reader.ReadFrame(dir.File("c.avi"), i, b));
    EXPECT_TRUE(SamePixels(b, Expected(colour[i], w, h, nullptr))) << "colour frame " << i;
  }
}

TEST(VideoFormats, PalettedFramesTakeTheirColoursAndAreNotShifted) {
  // Colour table of 256 random colours, and one of 16 entries: pixel data
  // begins after the table, so no pixel may move along the rows.
  test::TempDir dir;
  std::mt19937 rng(5);
  for (int entries : {256, 16}) {
    AviLayout s;
    s.Width = 37;  // odd: padded rows
    s.Height = 9;
    s.Palette = RandomBytes(rng, 4 * entries);
    for (int i = 0; i < entries; ++i) s.Palette[4 * i + 3] = 0;
    std::vector<Bytes> frames;
    for (int f = 0; f < 2; ++f) {
      Bytes px = RandomBytes(rng, static_cast<std::size_t>(s.Width) * s.Height);
      for (auto& v : px) v = static_cast<std::uint8_t>(v % entries);
      frames.push_back(px);
      s.Frames.push_back(ToDib(px, s.Width, s.Height, 1));
    }
    const std::string path = dir.File("pal" + std::to_string(entries) + ".avi");
    WriteBytes(path, BuildAvi(s));
    VideoReader reader;
    ASSERT_EQ(reader.FrameCount(path), 2);
    for (int f : {1, 0}) {
      Bitmap b;
      ASSERT_TRUE(reader.ReadFrame(path, f, b)) << entries;
      EXPECT_TRUE(SamePixels(b, Expected(frames[f], s.Width, s.Height, &s.Palette))) << entries << " frame " << f;
    }
  }
}

TEST(VideoFormats, OddWidthEightBitFramesPaddedOrPacked) {
  // 8-bit grey and palette frames of widths that are no multiple of 4: rows
  // padded to 4 bytes (as DIBs are) or packed; the chunk size tells which.
  test::TempDir dir;
  std::mt19937 rng(21);
  Bytes colours;
  for (std::uint32_t i = 0; i < 256; ++i) Put32(colours, (i * 0x9E3779B1u) & 0xFFFFFF);
  for (int width : {321, 5, 7})
    for (bool packed : {false, true})
      for (const Bytes* palette : {static_cast<const Bytes*>(nullptr), static_cast<const Bytes*>(&colours)}) {
        const int height = 6;
        AviLayout layout;
        layout.Width = width;
        layout.Height = height;
        layout.Palette = palette != nullptr ? *palette : GreyPalette();
        std::vector<Bytes> pictures;
        for (int f = 0; f < 3; ++f) {
          pictures.push_back(RandomBytes(rng, static_cast<std::size_t>(width) * height));
          Bytes dib = ToDib(pictures.back(), width, height, 1);
          if (packed) {
            dib.clear();
            for (int y = height - 1; y >= 0; --y)
              dib.insert(dib.end(), pictures.back().begin() + static_cast<std::ptrdiff_t>(y) * width,
                         pictures.back().begin() + static_cast<std::ptrdiff_t>(y + 1) * width);
          }
          layout.Frames.push_back(dib);
        }
        const std::string name = "odd" + std::to_string(width) + (packed ? "p" : "") + (palette ? "c" : "g") + ".avi";
        WriteBytes(dir.File(name), BuildAvi(layout));
        VideoReader reader;
        ASSERT_EQ(reader.FrameCount(dir.File(name)), 3) << name;
        const Bytes& table = palette != nullptr ? *palette : layout.Palette;
        for (int f : {2, 0, 1}) {
          Bitmap b;
          ASSERT_TRUE(reader.ReadFrame(dir.File(name), f, b)) << name << " frame " << f;
          EXPECT_TRUE(SamePixels(b, Expected(pictures[static_cast<std::size_t>(f)], width, height, &table)))
              << name << " frame " << f;
        }
      }
  // Grey FourCC frames of an odd width: rows from the top, packed.
  const int w = 321, h = 4;
  const Bytes grey = RandomBytes(rng, static_cast<std::size_t>(w) * h);
  const Bytes palette = GreyPalette();
  AviLayout y800;
  y800.Width = w;
  y800.Height = h;
  y800.Compression = Fourcc("Y800");
  y800.Frames = {grey, grey};
  WriteBytes(dir.File("y800.avi"), BuildAvi(y800));
  VideoReader reader;
  Bitmap b;
  ASSERT_TRUE(reader.ReadFrame(dir.File("y800.avi"), 1, b));
  EXPECT_TRUE(SamePixels(b, Expected(grey, w, h, &palette)));
}

TEST(VideoFormats, TopDownDibAndGreyFourccs) {
  test::TempDir dir;
  std::mt19937 rng(8);
  const int w = 12, h = 6;
  const Bytes colour = RandomBytes(rng, 3 * w * h);
  AviLayout top;
  top.Width = w;
  top.Height = h;
  top.BitCount = 24;
  top.TopDown = true;
  top.Frames = {colour};  // rows from the top, 36 bytes: no padding
  WriteBytes(dir.File("top.avi"), BuildAvi(top));
  VideoReader reader;
  Bitmap b;
  ASSERT_TRUE(reader.ReadFrame(dir.File("top.avi"), 0, b));
  EXPECT_TRUE(SamePixels(b, Expected(colour, w, h, nullptr)));

  const Bytes grey = RandomBytes(rng, w * h);
  const Bytes palette = GreyPalette();
  for (std::uint32_t code : {Fourcc("Y800"), Fourcc("GREY")}) {
    AviLayout s;
    s.Width = w;
    s.Height = h;
    s.Compression = code;
    s.Frames = {grey, grey};  // rows from the top
    WriteBytes(dir.File("grey.avi"), BuildAvi(s));
    ASSERT_TRUE(reader.ReadFrame(dir.File("grey.avi"), 1, b));
    EXPECT_TRUE(SamePixels(b, Expected(grey, w, h, &palette)));
  }
}

// Limited-range BT.601: the colour of (y, u, v).
void YuvToBgr(int y, int u, int v, int& b, int& g, int& r) {
  const double c = 1.164 * (y - 16);
  auto clip = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 255.0))); };
  r = clip(c + 1.596 * (v - 128));
  g = clip(c - 0.392 * (u - 128) - 0.813 * (v - 128));
  b = clip(c + 2.017 * (u - 128));
}

struct Block {
  int Y, U, V;
};
// Two 16 x 16 blocks of flat colour side by side, frame 32 x 16.
constexpr Block Left{81, 90, 240};   // a red
constexpr Block Right{145, 54, 34};  // a green

Block BlockAt(int x) { return x < 16 ? Left : Right; }

TEST(VideoFormats, YuvFourccsGiveTheirColours) {
  test::TempDir dir;
  const int w = 32, h = 16;
  Bytes yuy2, i420, yv12;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; x += 2) {
      const Block k = BlockAt(x);
      for (int v : {k.Y, k.U, k.Y, k.V}) yuy2.push_back(static_cast<std::uint8_t>(v));
    }
  Bytes planeY, planeU, planeV;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) planeY.push_back(static_cast<std::uint8_t>(BlockAt(x).Y));
  for (int y = 0; y < h / 2; ++y)
    for (int x = 0; x < w / 2; ++x) {
      planeU.push_back(static_cast<std::uint8_t>(BlockAt(2 * x).U));
      planeV.push_back(static_cast<std::uint8_t>(BlockAt(2 * x).V));
    }
  i420 = planeY;
  Append(i420, planeU);
  Append(i420, planeV);
  yv12 = planeY;
  Append(yv12, planeV);
  Append(yv12, planeU);

  struct Case {
    const char* Name;
    std::uint32_t Code;
    int Bits;
    const Bytes* Frame;
  };
  const Case cases[] = {
      {"yuy2", Fourcc("YUY2"), 16, &yuy2}, {"i420", Fourcc("I420"), 12, &i420}, {"yv12", Fourcc("YV12"), 12, &yv12}};
  VideoReader reader;
  for (const Case& c : cases) {
    AviLayout s;
    s.Width = w;
    s.Height = h;
    s.BitCount = c.Bits;
    s.Compression = c.Code;
    s.Frames = {*c.Frame};
    const std::string path = dir.File(std::string(c.Name) + ".avi");
    WriteBytes(path, BuildAvi(s));
    Bitmap b;
    ASSERT_TRUE(reader.ReadFrame(path, 0, b)) << c.Name;
    ASSERT_EQ(b.Width(), w);
    ASSERT_EQ(b.Height(), h);
    for (int x : {4, 27})
      for (int y : {2, 13}) {
        const Block k = BlockAt(x);
        int blue, green, red;
        YuvToBgr(k.Y, k.U, k.V, blue, green, red);
        EXPECT_TRUE(Near(b, x, y, blue, green, red, 3)) << c.Name;
      }
  }
}

/// One MJPEG frame of the two blocks with the luma of both raised by `lift`
/// (full-range YUV as JPEG has it).
Bytes EncodeJpegFrame(int lift) {
  const int w = 32, h = 16;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (codec == nullptr) return {};
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->width = w;
  ctx->height = h;
  ctx->pix_fmt = AV_PIX_FMT_YUVJ420P;
  ctx->time_base = AVRational{1, 25};
  ctx->flags |= AV_CODEC_FLAG_QSCALE;
  ctx->global_quality = FF_QP2LAMBDA * 2;
  Bytes out;
  if (avcodec_open2(ctx, codec, nullptr) == 0) {
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = w;
    frame->height = h;
    frame->quality = ctx->global_quality;
    frame->pts = 0;
    if (av_frame_get_buffer(frame, 0) == 0) {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          frame->data[0][y * frame->linesize[0] + x] = static_cast<std::uint8_t>(BlockAt(x).Y + lift);
      for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
          frame->data[1][y * frame->linesize[1] + x] = static_cast<std::uint8_t>(BlockAt(2 * x).U);
          frame->data[2][y * frame->linesize[2] + x] = static_cast<std::uint8_t>(BlockAt(2 * x).V);
        }
      AVPacket* packet = av_packet_alloc();
      if (avcodec_send_frame(ctx, frame) == 0 && avcodec_receive_packet(ctx, packet) == 0)
        out.assign(packet->data, packet->data + packet->size);
      av_packet_free(&packet);
    }
    av_frame_free(&frame);
  }
  avcodec_free_context(&ctx);
  return out;
}

// Full-range BT.601, as JPEG uses.
void FullYuvToBgr(int y, int u, int v, int& b, int& g, int& r) {
  auto clip = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 255.0))); };
  r = clip(y + 1.402 * (v - 128));
  g = clip(y - 0.344136 * (u - 128) - 0.714136 * (v - 128));
  b = clip(y + 1.772 * (u - 128));
}

AviLayout MjpegVideo(const std::vector<int>& lifts) {
  AviLayout s;
  s.Width = 32;
  s.Height = 16;
  s.BitCount = 24;
  s.Compression = Fourcc("MJPG");
  for (int lift : lifts) s.Frames.push_back(EncodeJpegFrame(lift));
  return s;
}

TEST(VideoFormats, MjpegGivesItsColoursFrameByFrame) {
  test::TempDir dir;
  const std::vector<int> lifts = {0, 30, 60, 10, 50};
  const AviLayout s = MjpegVideo(lifts);
  ASSERT_FALSE(s.Frames[0].empty()) << "no MJPEG encoder";
  const std::string path = dir.File("m.avi");
  WriteBytes(path, BuildAvi(s));
  VideoReader reader;
  ASSERT_EQ(reader.FrameCount(path), 5);
  for (int f : {0, 1, 2, 3, 4, 2, 0, 4}) {
    Bitmap b;
    ASSERT_TRUE(reader.ReadFrame(path, f, b)) << f;
    for (int x : {4, 27}) {
      const Block k = BlockAt(x);
      int blue, green, red;
      FullYuvToBgr(k.Y + lifts[f], k.U, k.V, blue, green, red);
      EXPECT_TRUE(Near(b, x, 8, blue, green, red, 6)) << "frame " << f;
    }
  }
}

/// Frames of an inter-frame codec (FFV1 with a key frame every `gop` frames):
/// frame i is a grey ramp lifted by 5 i with a little noise, so that frames
/// after a key frame are coded against the state the ones before left.
std::vector<Bytes> EncodeFfv1Frames(int count, int gop, int w, int h) {
  std::vector<Bytes> frames;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
  if (codec == nullptr) return frames;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->width = w;
  ctx->height = h;
  ctx->pix_fmt = AV_PIX_FMT_YUV420P;
  ctx->time_base = AVRational{1, 25};
  ctx->gop_size = gop;
  ctx->thread_count = 1;
  std::mt19937 rng(5);
  if (avcodec_open2(ctx, codec, nullptr) == 0) {
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = w;
    frame->height = h;
    for (int i = 0; i < count && av_frame_get_buffer(frame, 0) == 0; ++i) {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          frame->data[0][y * frame->linesize[0] + x] = static_cast<std::uint8_t>(20 + 3 * x + 5 * i + rng() % 3);
      for (int p : {1, 2})
        for (int y = 0; y < h / 2; ++y) std::memset(frame->data[p] + y * frame->linesize[p], 128, w / 2);
      frame->pts = i;
      if (avcodec_send_frame(ctx, frame) != 0 || avcodec_receive_packet(ctx, packet) != 0) break;
      frames.emplace_back(packet->data, packet->data + packet->size);
      av_packet_unref(packet);
      av_frame_unref(frame);
      frame->format = ctx->pix_fmt;
      frame->width = w;
      frame->height = h;
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
  avcodec_free_context(&ctx);
  if (static_cast<int>(frames.size()) != count) frames.clear();
  return frames;
}

// ---------------------------------------------------------------- frame numbers

TEST(VideoFrames, AnyOrderGivesWhatSequentialReadingGives) {
  test::TempDir dir;
  const std::string grey = WriteGreyVideo(dir, "g.avi", 24);
  AviLayout noIndex;
  noIndex.Width = 13;
  noIndex.Height = 5;
  noIndex.Palette = GreyPalette();
  for (int i = 0; i < 24; ++i) noIndex.Frames.push_back(ToDib(GreyFrame(i, 13, 5), 13, 5, 1));
  noIndex.Index = false;
  WriteBytes(dir.File("noindex.avi"), BuildAvi(noIndex));
  std::vector<int> lifts;
  for (int i = 0; i < 24; ++i) lifts.push_back(3 * i);
  WriteBytes(dir.File("mjpeg.avi"), BuildAvi(MjpegVideo(lifts)));

  std::mt19937 rng(11);
  for (const std::string& path : {grey, dir.File("noindex.avi"), dir.File("mjpeg.avi")}) {
    std::vector<Bitmap> sequential(24);
    {
      VideoReader reader;
      ASSERT_EQ(reader.FrameCount(path), 24) << path;
      for (int i = 0; i < 24; ++i) ASSERT_TRUE(reader.ReadFrame(path, i, sequential[i])) << path << " " << i;
    }
    for (int i = 1; i < 24; ++i) EXPECT_FALSE(SamePixels(sequential[i], sequential[i - 1])) << path << " " << i;
    VideoReader reader;  // one reader for all jumps: forward, backward, repeated
    for (int k = 0; k < 60; ++k) {
      const int n = static_cast<int>(rng() % 24);
      Bitmap b;
      ASSERT_TRUE(reader.ReadFrame(path, n, b)) << path << " " << n;
      EXPECT_TRUE(SamePixels(b, sequential[n])) << path << " frame " << n << " after " << k << " jumps";
      VideoReader fresh;
      Bitmap f;
      ASSERT_TRUE(fresh.ReadFrame(path, n, f));
      EXPECT_TRUE(SamePixels(f, sequential[n]));
    }
  }
  const Bytes palette = GreyPalette();
  Bitmap b;
  VideoReader reader;
  ASSERT_TRUE(reader.ReadFrame(grey, 17, b));
  EXPECT_TRUE(SamePixels(b, Expected(GreyFrame(17, 13, 5), 13, 5, &palette)));
}

TEST(VideoFrames, InterFrameVideoWithoutIndexGivesTheFramesOfAFreshReader) {
  // A recording that stopped before its index was written: the frames after a
  // key frame depend on it, so a jump backwards must decode from a key frame.
  test::TempDir dir;
  AviLayout s;
  s.Width = 48;
  s.Height = 16;
  s.BitCount = 24;
  s.Compression = Fourcc("FFV1");
  s.Frames = EncodeFfv1Frames(20, 6, s.Width, s.Height);
  ASSERT_EQ(s.Frames.size(), 20u) << "no FFV1 encoder";
  s.Index = false;
  const std::string path = dir.File("ffv1.avi");
  WriteBytes(path, BuildAvi(s));
  std::vector<Bitmap> fresh(20);
  for (int n = 0; n < 20; ++n) {
    VideoReader reader;
    ASSERT_TRUE(reader.ReadFrame(path, n, fresh[n])) << n;
    // Luma 50 + 5 n (+ 0..2 of noise) in the limited range of YUV.
    EXPECT_NEAR(fresh[n].Row(8)[3 * 10], (35 + 5 * n) * 255.0 / 219, 3) << n;
  }
  VideoReader reader;
  for (int n : {19, 3, 11, 7, 0, 8, 2, 13, 12, 5, 18}) {
    Bitmap b;
    ASSERT_TRUE(reader.ReadFrame(path, n, b)) << n;
    EXPECT_TRUE(SamePixels(b, fresh[n])) << "frame " << n;
  }
  // The same bytes in memory give the same frames.
  const Bytes bytes = ReadBytes(path);
  VideoReader memory;
  memory.OpenMemory(bytes, "in memory");
  ASSERT_EQ(memory.FrameCount("in memory"), 20);
  for (int n : {4, 17, 1}) {
    Bitmap b;
    ASSERT_TRUE(memory.ReadFrame("in memory", n, b)) << n;
    EXPECT_TRUE(SamePixels(b, fresh[n])) << "frame " << n;
  }
  memory.OpenMemory(Bytes(100, 7), "junk");
  EXPECT_EQ(memory.FrameCount("junk"), -1);
}

TEST(VideoFrames, FrameNOfAnNFrameVideoFailsAndLeavesTheBitmap) {
  test::TempDir dir;
  const std::string path = WriteGreyVideo(dir, "g.avi", 4);
  VideoReader reader;
  ASSERT_EQ(AVIFrameCount(reader, path), 4);
  Bitmap b = Sentinel();
  EXPECT_FALSE(AVIReadFrame(reader, path, b, 4));
  EXPECT_FALSE(AVIReadFrame(reader, path, b, -1));
  EXPECT_FALSE(AVIReadFrame(reader, path, b, 1 << 30));
  EXPECT_TRUE(SamePixels(b, Sentinel()));
  EXPECT_EQ(b.Format(), PixelFormat::Indexed8);
  EXPECT_TRUE(AVIReadFrame(reader, path, b, 3));
  EXPECT_EQ(b.Format(), PixelFormat::Bgr24);
  EXPECT_TRUE(b.Palette().empty());
}

TEST(VideoFrames, DroppedFrameRepeatsTheOneBefore) {
  // Recorders write an empty chunk for a frame they dropped.
  test::TempDir dir;
  const Bytes palette = GreyPalette();
  for (bool index : {true, false}) {
    AviLayout s;
    s.Width = 8;
    s.Height = 3;
    s.Palette = palette;
    for (int i = 0; i < 5; ++i) s.Frames.push_back(i == 2 ? Bytes{} : ToDib(GreyFrame(i, 8, 3), 8, 3, 1));
    s.Index = index;
    const std::string path = dir.File(index ? "index.avi" : "noindex.avi");
    WriteBytes(path, BuildAvi(s));
    VideoReader reader;
    ASSERT_EQ(reader.FrameCount(path), 5);
    for (int n : {0, 1, 2, 3, 4, 2, 0, 2}) {
      Bitmap b;
      ASSERT_TRUE(reader.ReadFrame(path, n, b)) << index << " " << n;
      EXPECT_TRUE(SamePixels(b, Expected(GreyFrame(n == 2 ? 1 : n, 8, 3), 8, 3, &palette))) << index << " " << n;
    }
  }
}

TEST(VideoFrames, ReaderFollowsTheFileAskedForAndChangesOnDisk) {
  test::TempDir dir;
  const std::string a = WriteGreyVideo(dir, "a.avi", 3, 8, 2);
  const std::string b = WriteGreyVideo(dir, "b.avi", 6, 4, 4);
  VideoReader reader;
  const Bytes palette = GreyPalette();
  for (int k = 0; k < 3; ++k) {
    Bitmap fa, fb;
    ASSERT_TRUE(reader.ReadFrame(a, k, fa));
    ASSERT_TRUE(reader.ReadFrame(b, k + 3, fb));
    EXPECT_TRUE(SamePixels(fa, Expected(GreyFrame(k, 8, 2), 8, 2, &palette)));
    EXPECT_TRUE(SamePixels(fb, Expected(GreyFrame(k + 3, 4, 4), 4, 4, &palette)));
  }
  // Rewritten under the same name: the reader sees the new video.
  std::filesystem::rename(b, a);
  EXPECT_EQ(reader.FrameCount(a), 6);
  Bitmap f;
  ASSERT_TRUE(reader.ReadFrame(a, 5, f));
  EXPECT_TRUE(SamePixels(f, Expected(GreyFrame(5, 4, 4), 4, 4, &palette)));
  reader.Close();
  EXPECT_EQ(reader.FrameCount(b), -1);  // gone
  VideoReader moved = std::move(reader);
  EXPECT_EQ(moved.FrameCount(a), 6);
}

TEST(VideoFrames, LoadFrameTakesOnlyAviExtensionsInAnyCase) {
  test::TempDir dir;
  const std::string path = WriteGreyVideo(dir, "v.avi", 2);
  for (const char* name : {"lower.avi", "UPPER.AVI", "mixed.aVi"}) {
    std::filesystem::copy_file(path, dir.File(name));
    VideoReader reader;
    Bitmap b;
    EXPECT_TRUE(AVILoadFrame(reader, dir.File(name), 1, b)) << name;
    EXPECT_EQ(b.Width(), 13);
  }
  for (const char* name : {"video.bmp", "avi", "video.avi.bak", "videoavi"}) {
    std::filesystem::copy_file(path, dir.File(name));
    VideoReader reader;
    Bitmap b = Sentinel();
    EXPECT_FALSE(AVILoadFrame(reader, dir.File(name), 0, b)) << name;
    EXPECT_TRUE(SamePixels(b, Sentinel()));
  }
}

// ---------------------------------------------------------------- broken files

TEST(VideoBroken, StreamZeroMustBeVideo) {
  test::TempDir dir;
  AviLayout s;
  s.Audio = AviLayout::Sound::Only;
  WriteBytes(dir.File("sound.avi"), BuildAvi(s));
  s.Audio = AviLayout::Sound::First;  // a sound stream before a good video stream
  s.Palette = GreyPalette();
  s.Frames = {Bytes(32, 1), Bytes(32, 2)};
  WriteBytes(dir.File("soundfirst.avi"), BuildAvi(s));
  VideoReader reader;
  for (const char* name : {"sound.avi", "soundfirst.avi"}) {
    EXPECT_EQ(reader.FrameCount(dir.File(name)), -1) << name;
    Bitmap b = Sentinel();
    EXPECT_FALSE(reader.ReadFrame(dir.File(name), 0, b)) << name;
    EXPECT_TRUE(SamePixels(b, Sentinel()));
  }
}

TEST(VideoBroken, HeadersThatCannotGiveFrames) {
  test::TempDir dir;
  VideoReader reader;
  auto count = [&](const std::string& name, const AviLayout& s) {
    WriteBytes(dir.File(name), BuildAvi(s));
    return reader.FrameCount(dir.File(name));
  };
  AviLayout unknown;
  unknown.Compression = Fourcc("QQ9Z");
  unknown.Frames = {Bytes(32, 0)};
  EXPECT_EQ(count("unknown.avi", unknown), -1);

  AviLayout negative;
  negative.Palette = GreyPalette();
  negative.Frames = {Bytes(32, 0)};
  negative.Length = 0x80000000LL;
  EXPECT_EQ(count("negative.avi", negative), -1);

  // The reader limits: 32 768 per side at most (7201 x 1 passes the old plane limit).
  AviLayout wide;
  wide.Palette = GreyPalette();
  wide.Width = 7201;
  wide.Height = 1;
  wide.Frames = {Bytes(7204, 9)};
  EXPECT_EQ(count("7201.avi", wide), 1);
  Bitmap b;
  EXPECT_TRUE(reader.ReadFrame(dir.File("7201.avi"), 0, b));
  EXPECT_EQ(b.Width(), 7201);
  wide.Width = 32769;
  wide.Frames = {Bytes(32772, 9)};
  EXPECT_EQ(count("32769.avi", wide), -1);
  AviLayout tall;
  tall.Palette = GreyPalette();
  tall.Width = 1;
  tall.Height = 32769;
  tall.Frames = {Bytes(4 * 32769, 9)};
  EXPECT_EQ(count("32769t.avi", tall), -1);

  // A finished video of no frames has 0 of them.
  { AviWriter(dir.File("empty.avi"), 4, 4, AviPixelFormat::Grey8).Finish(); }
  EXPECT_EQ(reader.FrameCount(dir.File("empty.avi")), 0);
  b = Sentinel();
  EXPECT_FALSE(reader.ReadFrame(dir.File("empty.avi"), 0, b));
  EXPECT_TRUE(SamePixels(b, Sentinel()));

  EXPECT_EQ(reader.FrameCount(dir.File("missing.avi")), -1);
  EXPECT_EQ(reader.FrameCount(dir.Path().string()), -1);  // a folder
}

TEST(VideoBroken, GarbageAndEmptyFilesGiveNothing) {
  test::TempDir dir;
  std::mt19937 rng(21);
  VideoReader reader;
  Bytes riffGarbage = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0x7F, 'A', 'V', 'I', ' '};
  Append(riffGarbage, RandomBytes(rng, 5000));
  const Bytes cases[] = {{}, RandomBytes(rng, 1), RandomBytes(rng, 100000), riffGarbage};
  int k = 0;
  for (const Bytes& bytes : cases) {
    const std::string path = dir.File("garbage" + std::to_string(k++) + ".avi");
    WriteBytes(path, bytes);
    EXPECT_EQ(reader.FrameCount(path), -1) << path;
    Bitmap b = Sentinel();
    EXPECT_FALSE(reader.ReadFrame(path, 0, b)) << path;
    EXPECT_TRUE(SamePixels(b, Sentinel()));
  }
}

TEST(VideoBroken, DamagedFramesFailAndTheRestStillRead) {
  test::TempDir dir;
  const Bytes palette = GreyPalette();
  VideoReader reader;
  // A short uncompressed chunk, in each depth, with and without an index.
  for (int bits : {8, 24})
    for (bool index : {true, false}) {
      AviLayout s;
      s.Width = 8;
      s.Height = 3;
      s.BitCount = bits;
      if (bits == 8) s.Palette = palette;
      const int bpp = bits / 8;
      for (int i = 0; i < 4; ++i) {
        Bytes px = GreyFrame(i, 8 * bpp, 3);
        s.Frames.push_back(ToDib(px, 8, 3, bpp));
      }
      s.Frames[2].resize(10);
      s.Index = index;
      const std::string path = dir.File("short" + std::to_string(bits) + (index ? "i" : "") + ".avi");
      WriteBytes(path, BuildAvi(s));
      for (int n : {0, 1, 2, 3, 2, 1}) {
        Bitmap b = Sentinel();
        EXPECT_EQ(reader.ReadFrame(path, n, b), n != 2) << path << " frame " << n;
        if (n == 2) {
          EXPECT_TRUE(SamePixels(b, Sentinel()));
        }
      }
    }
  // A JPEG frame of garbage.
  AviLayout m = MjpegVideo({0, 20, 40});
  std::mt19937 rng(4);
  m.Frames[1] = RandomBytes(rng, m.Frames[1].size());
  WriteBytes(dir.File("badjpeg.avi"), BuildAvi(m));
  for (int n : {0, 1, 2, 1, 0}) {
    Bitmap b = Sentinel();
    EXPECT_EQ(reader.ReadFrame(dir.File("badjpeg.avi"), n, b), n != 1) << "jpeg frame " << n;
  }
}

TEST(VideoBroken, TruncatedFilesGiveEveryFrameThatIsWhole) {
  // Cut a video at many places: each frame read is either the original frame
  // or a failure; frames wholly before the cut still read.
  test::TempDir dir;
  const std::string path = WriteGreyVideo(dir, "full.avi", 6, 10, 4);
  const Bytes full = ReadBytes(path);
  std::vector<Bitmap> original(6);
  {
    VideoReader reader;
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(reader.ReadFrame(path, i, original[i]));
  }
  const std::size_t chunk = 8 + 12 * 4;  // header and 4 rows of 12 bytes
  const std::size_t firstChunk = full.size() - 8 - 16 * 6 - 6 * chunk;
  VideoReader reader;
  for (std::size_t cut = 0; cut < full.size(); cut += 7) {
    const std::string name = dir.File("cut.avi");
    WriteBytes(name, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
    const int count = reader.FrameCount(name);
    for (int n = 0; n < 6; ++n) {
      Bitmap b;
      const bool ok = reader.ReadFrame(name, n, b);
      const bool whole = cut >= firstChunk + chunk * (n + 1);
      if (ok) {
        EXPECT_TRUE(SamePixels(b, original[n])) << "cut " << cut << " frame " << n;
      }
      if (whole && count == 6) {
        EXPECT_TRUE(ok) << "cut " << cut << " frame " << n;
      }
    }
  }
}

}  // namespace
}  // namespace corvane
