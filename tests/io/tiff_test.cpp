// TIFF pictures written by libtiff in the test, read by the reader; the
// writer's files read back.
#include "io/tiff.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <fstream>

#include "core/errors.h"
#include "io/tiff_builder.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using test::TiffSpec;
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
}

}  // namespace
}  // namespace corvane
