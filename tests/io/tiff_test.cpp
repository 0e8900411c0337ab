// TIFF pictures written by libtiff in the test, read by the reader; the
// writer's files read back.
#include "io/tiff.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <array>
#include <fstream>

#include "core/errors.h"
#include "io/bmp_builder.h"  // WriteBytes
#include "io/tiff_builder.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using test::TiffLayout;
using test::WriteTiff;

TEST(TiffReader, EightAndSixteenBitGreyAndColourInEveryLayout) {
  test::TempDir dir;
  const std::string file = dir.File("x.tif");
  SourceFrame frame;
  WriteTiff(file, {.Bits = 8, .Samples = 3, .Photometric = PHOTOMETRIC_RGB}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  ReadTiffFile(file, frame);
  ASSERT_FALSE(frame.IsDeep);
  EXPECT_EQ(frame.Bits.Row(1)[3], 12);  // pixel (1, 1): blue 12, red 10
  EXPECT_EQ(frame.Bits.Row(1)[5], 10);
  WriteTiff(file, {.Bits = 8, .Photometric = PHOTOMETRIC_MINISWHITE}, {0, 255, 55, 100});
  ReadTiffFile(file, frame);
  EXPECT_EQ(frame.Bits.Row(0)[0], 255);
  EXPECT_EQ(frame.Bits.Row(1)[4], 155);

  // 16-bit RGB with alpha in every layout: strips or tiles, together or in planes.
  const int w = 20, h = 18;
  std::vector<std::uint16_t> rgba(static_cast<std::size_t>(w) * h * 4);
  for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<std::uint16_t>(i * 2654435761u >> 16);
  for (bool tiled : {false, true})
    for (int planar : {PLANARCONFIG_CONTIG, PLANARCONFIG_SEPARATE}) {
      WriteTiff(
          file,
          {.Width = w, .Height = h, .Samples = 4, .Photometric = PHOTOMETRIC_RGB, .Planar = planar, .Tiled = tiled},
          rgba);
      ReadTiffFile(file, frame);
      ASSERT_TRUE(frame.IsDeep);
      ASSERT_EQ(frame.Deep.Channels(), 3);
      bool same = true;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          for (int c = 0; c < 3; ++c)
            same = same && frame.Deep.Row(y)[3 * x + c] == rgba[(static_cast<std::size_t>(y) * w + x) * 4 + c];
      EXPECT_TRUE(same) << "tiled " << tiled << " planar " << planar;
    }
  WriteTiff(file, {.Photometric = PHOTOMETRIC_MINISWHITE}, {0, 1, 65535, 300});
  ReadTiffFile(file, frame);
  EXPECT_EQ(frame.Deep.Samples()[0], 65535);
  EXPECT_EQ(frame.Deep.Samples()[2], 0);
}

TEST(TiffWriter, SixteenBitFilesReadBackExactly) {
  test::TempDir dir;
  for (int channels : {1, 3}) {
    Picture16 picture(7, 5, channels);
    for (std::size_t i = 0; i < picture.RowSamples() * 5; ++i)
      picture.Samples()[i] = static_cast<std::uint16_t>(i * 7919);
    const std::string file = dir.File("out" + std::to_string(channels) + ".tiff");
    WriteTiff16File(file, picture);
    SourceFrame frame;
    ReadTiffFile(file, frame);
    EXPECT_EQ(frame.Deep, picture);
  }
}

TEST(TiffReader, RefusesBadFilesNamingThem) {
  test::TempDir dir;
  const std::string file = dir.File("bad.tif");
  auto refused = [&](const std::string& words) {
    SourceFrame frame;
    try {
      ReadTiffFile(file, frame);
      ADD_FAILURE() << "accepted: " << words;
    } catch (const ReadError& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + file + "\""), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
  };
  std::ofstream(file) << "II*\0garbage";
  refused("not a TIFF file");
  WriteTiff(file, {.Bits = 32, .Format = SAMPLEFORMAT_IEEEFP}, {0, 0, 0, 0});
  refused("are not read");
  WriteTiff(file, {.Width = 40000, .Height = 1}, std::vector<std::uint16_t>(40000, 1));
  refused("beyond the reader limits");
  WriteTiff(file, {.Width = 64, .Height = 64}, std::vector<std::uint16_t>(64 * 64, 5));
  std::filesystem::resize_file(file, 200);
  refused("TIFF picture");

  // Header values that make libtiff ask for huge buffers (found by fuzzing:
  // 64 768 samples a pixel in one strip of 16 rows of 25 601 pixels is a
  // 26 GB strip buffer) are refused before anything is read.
  auto header = [&](std::uint32_t width, std::uint32_t height, std::uint16_t bits, std::uint16_t samples,
                    std::uint16_t compression) {
    // A little-endian TIFF of one directory and no data worth reading.
    const std::vector<std::array<std::uint32_t, 3>> tags = {
        {256, 4, width}, {257, 4, height}, {258, 3, bits},   {259, 3, compression}, {262, 3, 1},
        {273, 4, 8},     {277, 3, samples}, {278, 4, height}, {279, 4, 64},    {284, 3, 1}};
    std::vector<std::uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&b](std::uint32_t v, int n) {
      for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(static_cast<std::uint32_t>(tags.size()), 2);
    for (const auto& [tag, type, value] : tags) {
      put(tag, 2);
      put(type, 2);
      put(1, 4);
      put(value, 4);  // a SHORT sits in the first two bytes, little-endian
    }
    put(0, 4);
    b.resize(b.size() + 64, 0);
    test::WriteBytes(file, b);
  };
  header(25601, 16, 8, 64768, 65531);
  refused("samples a pixel");
  header(32768, 2048, 16, 8, 32773);  // 2^26 pixels, allowed; one PackBits strip of 1 GiB is not
  refused("a strip of 1073741824 bytes");
}

}  // namespace
}  // namespace corvane
