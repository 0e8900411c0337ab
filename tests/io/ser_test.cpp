// SER videos written by the tests themselves (ser_writer.h), read back.
#include "io/ser.h"

#include <gtest/gtest.h>

#include <random>

#include "core/errors.h"
#include "io/frame_source.h"
#include "io/ser_writer.h"
#include "support/recording_services.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using test::SerLayout;
using test::WriteSer;
using Frame = std::vector<std::uint16_t>;

Frame Ramp(int n, int start, int step) {
  Frame f(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) f[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(start + step * i);
  return f;
}

/// A smooth 16-bit picture with a little noise in its low bits, as a camera records.
Frame Smooth(int w, int h, int bits, std::mt19937& rng) {
  Frame f(static_cast<std::size_t>(w * h));
  std::uniform_int_distribution<int> noise(0, 15);
  const int top = (1 << bits) - 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      f[static_cast<std::size_t>(y * w + x)] =
          static_cast<std::uint16_t>(std::min(top, (top / 2) * (x + y) / (w + h) + 100 + noise(rng)));
  return f;
}

TImage16 PlaneOf(SourceFrame& frame, int code = ChannelL) {
  TImage16 p;
  Image16Create(p, frame.Width(), frame.Height());
  Image16FromSourceFrame(p, frame, code);
  return p;
}

TEST(SerReader, MonoFramesOfEachDepthFillThePlanesScaledByTheirDepth) {
  test::TempDir dir;
  SourceFrame frame;
  // 8 bits: grey indices, v x 256 in the plane, the second frame where it belongs.
  WriteSer(dir.File("m8.ser"), {.Width = 4, .Height = 3, .Depth = 8}, {Ramp(12, 0, 1), Ramp(12, 100, 10)});
  SerReader r8(dir.File("m8.ser"), SerByteOrder::FromData);
  ASSERT_EQ(r8.FrameCount(), 2);
  EXPECT_FALSE(r8.Cut());
  EXPECT_EQ(r8.OrderSource(), SerOrderSource::NotNeeded);
  r8.ReadFrame(1, frame);
  ASSERT_FALSE(frame.IsDeep);
  EXPECT_EQ(frame.Bits.Format(), PixelFormat::Indexed8);
  const TImage16 p8 = PlaneOf(frame, ChannelR);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(p8.Data[i], (100 + 10 * i) * 256);

  // 16 bits: the samples as they are; 12 bits: x 16, a value beyond 12 bits held at 65535.
  WriteSer(dir.File("m16.ser"), {.LittleEndianFlag = 1, .Width = 4, .Height = 3, .Depth = 16}, {Ramp(12, 1000, 5000)});
  SerReader r16(dir.File("m16.ser"), SerByteOrder::Little);
  r16.ReadFrame(0, frame);
  ASSERT_TRUE(frame.IsDeep);
  EXPECT_EQ(frame.Deep.Channels(), 1);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(frame.Deep.Samples()[i], 1000 + 5000 * i);
  Frame twelve = Ramp(12, 0, 341);
  twelve[11] = 4096;
  WriteSer(dir.File("m12.ser"), {.Width = 4, .Height = 3, .Depth = 12, .SamplesLittle = false}, {twelve});
  SerReader r12(dir.File("m12.ser"), SerByteOrder::Big);
  r12.ReadFrame(0, frame);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(frame.Deep.Samples()[i], 341 * i * 16);
  EXPECT_EQ(frame.Deep.Samples()[11], 65535);
  EXPECT_EQ(PlaneOf(frame, ChannelG).Data[5], 341 * 5 * 16);
}

TEST(SerReader, ColourFramesKeepTheirChannels) {
  test::TempDir dir;
  SourceFrame frame;
  // One pixel of (10, 20, 30) in file order, then (40, 50, 60).
  const Frame pixels = {10, 20, 30, 40, 50, 60};
  for (int depth : {8, 16})
    for (std::int32_t colour : {100, 101}) {
      const std::string file = dir.File("c" + std::to_string(depth) + "_" + std::to_string(colour) + ".ser");
      Frame samples = pixels;
      if (depth == 16)
        for (auto& v : samples) v = static_cast<std::uint16_t>(v * 1000);
      WriteSer(file, {.Colour = colour, .Width = 2, .Height = 1, .Depth = depth}, {samples});
      SerReader reader(file, SerByteOrder::Little);
      reader.ReadFrame(0, frame);
      const bool rgb = colour == 100;
      const int red0 = rgb ? samples[0] : samples[2], blue0 = rgb ? samples[2] : samples[0];
      EXPECT_EQ(PlaneOf(frame, ChannelR).Data[0], depth == 8 ? red0 * 256 : red0) << file;
      EXPECT_EQ(PlaneOf(frame, ChannelG).Data[1], depth == 8 ? samples[4] * 256 : samples[4]) << file;
      EXPECT_EQ(PlaneOf(frame, ChannelB).Data[0], depth == 8 ? blue0 * 256 : blue0) << file;
    }
  // Deep luminance: (77 R + 151 G + 28 B) shr 8 on the 16-bit samples.
  EXPECT_EQ(PlaneOf(frame, ChannelL).Data[0], (77 * 30000 + 151 * 20000 + 28 * 10000) >> 8);
}

TEST(SerReader, ByteOrderIsDecidedFromTheDataUnlessForced) {
  test::TempDir dir;
  std::mt19937 rng(7);
  SourceFrame frame;
  const Frame smooth = Smooth(64, 48, 16, rng);
  // A 16-bit file that says big-endian and holds little-endian samples, and the reverse.
  for (bool little : {true, false}) {
    const std::string file = dir.File(little ? "lie_le.ser" : "lie_be.ser");
    WriteSer(file,
             {.LittleEndianFlag = little ? 0 : 1, .Width = 64, .Height = 48, .Depth = 16, .SamplesLittle = little},
             {smooth, smooth});
    SerReader reader(file, SerByteOrder::FromData);
    EXPECT_EQ(reader.LittleEndian(), little) << file;
    EXPECT_EQ(reader.OrderSource(), SerOrderSource::Data);
    reader.ReadFrame(1, frame);
    EXPECT_EQ(Frame(frame.Deep.Samples(), frame.Deep.Samples() + smooth.size()), smooth) << file;
    // Forcing the wrong order is obeyed: the bytes come out swapped.
    SerReader forced(file, little ? SerByteOrder::Big : SerByteOrder::Little);
    EXPECT_EQ(forced.OrderSource(), SerOrderSource::User);
    forced.ReadFrame(0, frame);
    EXPECT_EQ(frame.Deep.Samples()[0], static_cast<std::uint16_t>((smooth[0] << 8) | (smooth[0] >> 8)));
  }
  // 12-bit data: the reading with values beyond 12 bits is the wrong one.
  const Frame twelve = Smooth(64, 48, 12, rng);
  WriteSer(dir.File("d12.ser"), {.LittleEndianFlag = 0, .Width = 64, .Height = 48, .Depth = 12}, {twelve});
  SerReader d12(dir.File("d12.ser"), SerByteOrder::FromData);
  EXPECT_TRUE(d12.LittleEndian());
  d12.ReadFrame(0, frame);
  EXPECT_EQ(frame.Deep.Samples()[100], twelve[100] * 16);
  // A flat frame tells nothing: the header is followed.
  WriteSer(dir.File("flat.ser"), {.LittleEndianFlag = 0, .Width = 8, .Height = 8, .Depth = 16, .SamplesLittle = false},
           {Frame(64, 0x0102)});
  SerReader flat(dir.File("flat.ser"), SerByteOrder::FromData);
  EXPECT_EQ(flat.OrderSource(), SerOrderSource::Header);
  flat.ReadFrame(0, frame);
  EXPECT_EQ(frame.Deep.Samples()[0], 0x0102);
}

TEST(SerReader, CutFilesGiveTheirWholeFramesAndOneWarning) {
  test::TempDir dir;
  const SerLayout layout{.Width = 4, .Height = 3, .HeaderFrames = 5, .Trailer = false};
  std::vector<std::uint8_t> bytes = test::SerBytes(layout, {Ramp(12, 0, 1), Ramp(12, 1, 1), Ramp(12, 2, 1)});
  bytes.resize(bytes.size() + 7, 0);  // part of a fourth frame
  test::WriteBytes(dir.File("cut.ser"), bytes);
  SerReader cut(dir.File("cut.ser"), SerByteOrder::FromData);
  EXPECT_EQ(cut.FrameCount(), 3);
  EXPECT_TRUE(cut.Cut());
  SourceFrame frame;
  cut.ReadFrame(2, frame);
  EXPECT_EQ(frame.Bits.Row(0)[0], 2);
  EXPECT_THROW(cut.ReadFrame(3, frame), ReadError);

  // A count of 0 with frames in the file reads them; the trailer never counts as a frame.
  WriteSer(dir.File("zero.ser"), {.Width = 4, .Height = 3, .HeaderFrames = 0, .Trailer = false}, {Ramp(12, 0, 1)});
  EXPECT_EQ(SerReader(dir.File("zero.ser"), SerByteOrder::FromData).FrameCount(), 1);
  WriteSer(dir.File("whole.ser"), {.Width = 2, .Height = 2}, {Ramp(4, 0, 1), Ramp(4, 0, 1)});
  const SerReader whole(dir.File("whole.ser"), SerByteOrder::FromData);
  EXPECT_EQ(whole.FrameCount(), 2);
  EXPECT_FALSE(whole.Cut());

  // Through the frame sources: one warning per file, however often it is opened.
  test::RecordingServices services;
  FrameSources sources(services);
  EXPECT_EQ(sources.Open(dir.File("cut.ser"))->FrameCount(), 3);
  sources.Open(dir.File("whole.ser"));
  sources.Open(dir.File("cut.ser"));
  ASSERT_EQ(services.Warnings.size(), 1u);
  EXPECT_NE(services.Warnings[0].find("cut.ser\" holds 3 whole frames; its header promises 5"), std::string::npos);
}

TEST(DemosaicBilinear, EachPatternRebuildsLinearColoursInside) {
  // Red, green and blue planes that are linear in x and y: bilinear
  // interpolation gives them back exactly wherever all neighbours exist.
  const int w = 10, h = 8;
  auto red = [](int x, int y) { return 10 + 3 * x + 2 * y; };
  auto green = [](int x, int y) { return 200 - 2 * x + y; };
  auto blue = [](int x, int y) { return 50 + x + 4 * y; };
  test::TempDir dir;
  const std::int32_t ids[] = {8, 9, 10, 11};  // RGGB, GRBG, GBRG, BGGR
  for (int pattern = 0; pattern < 4; ++pattern) {
    const int redX = pattern == 1 || pattern == 3, redY = pattern >= 2;
    Frame mosaic(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool rx = (x & 1) == redX, ry = (y & 1) == redY;
        mosaic[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint16_t>(rx && ry     ? red(x, y)
                                                                                 : !rx && !ry ? blue(x, y)
                                                                                              : green(x, y));
      }
    for (int depth : {8, 16}) {
      const std::string file = dir.File("bayer" + std::to_string(pattern) + "_" + std::to_string(depth) + ".ser");
      WriteSer(file, {.Colour = ids[pattern], .LittleEndianFlag = 1, .Width = w, .Height = h, .Depth = depth},
               {mosaic});
      SerReader reader(file, SerByteOrder::Little);
      SourceFrame frame;
      reader.ReadFrame(0, frame);
      const TImage16 r = PlaneOf(frame, ChannelR), g = PlaneOf(frame, ChannelG), b = PlaneOf(frame, ChannelB);
      const int scale = depth == 8 ? 256 : 1;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool inside = x > 0 && y > 0 && x < w - 1 && y < h - 1;
          const bool rx = (x & 1) == redX, ry = (y & 1) == redY;
          const auto at = [&](const TImage16& p) { return Image16GetPixel(p, x, y); };
          if (inside || (rx && ry)) {
            EXPECT_EQ(at(r), red(x, y) * scale) << file << " " << x << "," << y;
          }
          if (inside || (!rx && !ry)) {
            EXPECT_EQ(at(b), blue(x, y) * scale) << file << " " << x << "," << y;
          }
          if (inside || rx != ry) {
            EXPECT_EQ(at(g), green(x, y) * scale) << file << " " << x << "," << y;
          }
        }
    }
  }
}

TEST(SerReader, RefusesBadFilesNamingThem) {
  test::TempDir dir;
  const std::string file = dir.File("bad.ser");
  auto refused = [&](const std::vector<std::uint8_t>& bytes, const std::string& words) {
    test::WriteBytes(file, bytes);
    try {
      SerReader reader(file, SerByteOrder::FromData);
      ADD_FAILURE() << "accepted: " << words;
    } catch (const ReadError& e) {
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
  };
  const std::vector<std::uint8_t> good = test::SerBytes({.Width = 4, .Height = 3}, {Ramp(12, 0, 1)});
  refused({good.begin(), good.begin() + 100}, "less than the 178-byte header");
  auto changed = [&](std::size_t at, std::int64_t value) {
    std::vector<std::uint8_t> b = good;
    test::PutLe32(b, at, value);
    return b;
  };
  std::vector<std::uint8_t> noId = good;
  noId[0] = 'X';
  refused(noId, "no SER file id");
  refused(changed(18, 16), "colour id 16");
  refused(changed(34, 7), "bits per sample 7");
  refused(changed(34, 17), "bits per sample 17");
  refused(changed(26, 0), "frame size 0 x 3");
  refused(changed(30, 40000), "beyond the reader limits");
  refused(changed(26, 40), "no whole frame");
  std::vector<std::uint8_t> thin = test::SerBytes({.Colour = 8, .Width = 1, .Height = 5}, {Ramp(5, 0, 1)});
  refused(thin, "smaller than one 2 x 2 tile");
  EXPECT_THROW(SerReader(dir.File("missing.ser"), SerByteOrder::FromData), ReadError);
}

}  // namespace
}  // namespace corvane
