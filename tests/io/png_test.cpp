// PNG pictures written by libpng in the test (PNG's own layout, big-endian
// samples), read by the reader; the writer's files read back.
#include "io/png.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <fstream>

#include "core/errors.h"
#include "io/png_builder.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using test::WritePng;

TEST(PngReader, EightBitKindsGiveBitmapsAndSixteenBitGivesDeepPictures) {
  test::TempDir dir;
  const std::string file = dir.File("x.png");
  SourceFrame frame;
  // 8-bit grey: grey pixels of a 24-bit bitmap.
  WritePng(file, 2, 2, 8, PNG_COLOR_TYPE_GRAY, {0, 50, 200, 255});
  ReadPngFile(file, frame);
  ASSERT_FALSE(frame.IsDeep);
  EXPECT_EQ(frame.Bits.Format(), PixelFormat::Bgr24);
  EXPECT_EQ(frame.Bits.Row(1)[0], 200);
  EXPECT_EQ(frame.Bits.Row(1)[2], 200);
  // RGBA, alpha ignored; palette expanded; interlaced read whole.
  WritePng(file, 1, 2, 8, PNG_COLOR_TYPE_RGB_ALPHA, {10, 20, 30, 0, 40, 50, 60, 255}, {}, PNG_INTERLACE_ADAM7);
  ReadPngFile(file, frame);
  EXPECT_EQ(frame.Bits.Row(1)[0], 60);
  EXPECT_EQ(frame.Bits.Row(1)[2], 40);
  WritePng(file, 2, 1, 8, PNG_COLOR_TYPE_PALETTE, {1, 0}, {{1, 2, 3}, {250, 128, 7}});
  ReadPngFile(file, frame);
  EXPECT_EQ(frame.Bits.Row(0)[2], 250);
  EXPECT_EQ(frame.Bits.Row(0)[3], 3);
  // 16-bit grey and RGB keep every bit.
  WritePng(file, 2, 1, 16, PNG_COLOR_TYPE_GRAY, {1, 65534});
  ReadPngFile(file, frame);
  ASSERT_TRUE(frame.IsDeep);
  EXPECT_EQ(frame.Deep.Channels(), 1);
  EXPECT_EQ(frame.Deep.Samples()[0], 1);
  EXPECT_EQ(frame.Deep.Samples()[1], 65534);
  WritePng(file, 1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, {258, 772, 65535, 7});
  ReadPngFile(file, frame);
  ASSERT_EQ(frame.Deep.Channels(), 3);
  EXPECT_EQ(frame.Deep.Samples()[0], 258);
  EXPECT_EQ(frame.Deep.Samples()[1], 772);
  EXPECT_EQ(frame.Deep.Samples()[2], 65535);
}

TEST(PngWriter, SixteenBitFilesReadBackExactly) {
  test::TempDir dir;
  for (int channels : {1, 3}) {
    Picture16 picture(3, 2, channels);
    for (std::size_t i = 0; i < picture.RowSamples() * 2; ++i)
      picture.Samples()[i] = static_cast<std::uint16_t>(i * 9973 + 1);
    const std::string file = dir.File("out" + std::to_string(channels) + ".png");
    WritePng16File(file, picture);
    SourceFrame frame;
    ReadPngFile(file, frame);
    EXPECT_EQ(frame.Deep, picture);
  }
  EXPECT_THROW(WritePng16File(dir.File("empty.png"), Picture16()), WriteError);
}

TEST(PngReader, RefusesBadFilesNamingThem) {
  test::TempDir dir;
  const std::string file = dir.File("bad.png");
  auto refused = [&](const std::string& words) {
    SourceFrame frame;
    try {
      ReadPngFile(file, frame);
      ADD_FAILURE() << "accepted: " << words;
    } catch (const ReadError& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + file + "\""), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
  };
  std::ofstream(file) << "not a png";
  refused("no PNG signature");
  WritePng(file, 40000, 1, 8, PNG_COLOR_TYPE_GRAY, std::vector<std::uint16_t>(40000, 1));
  refused("beyond the reader limits");
  WritePng(file, 64, 64, 8, PNG_COLOR_TYPE_RGB, std::vector<std::uint16_t>(64 * 64 * 3, 77));
  std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
  refused("PNG picture");
  std::filesystem::create_directory(dir.File("folder.png"));
  EXPECT_THROW(
      {
        SourceFrame frame;
        ReadPngFile(dir.File("folder.png"), frame);
      },
      ReadError);
}

}  // namespace
}  // namespace corvane
