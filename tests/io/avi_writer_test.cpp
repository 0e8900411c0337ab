// The AVI writer: the byte layout other readers rely on, and that no partial
// file is ever left under the target's name.
#include "io/avi_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint32_t U16(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::string Id(const Bytes& b, std::size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

std::size_t FilesIn(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(AviWriter, Grey8LayoutHasPaletteBottomUpPaddedRowsAndIndex) {
  test::TempDir dir;
  const std::string path = dir.File("g.avi");
  // 3 x 2 pixels: rows of 3 bytes padded to 4.
  const std::uint8_t frame0[] = {1, 2, 3, 4, 5, 6};
  const std::uint8_t frame1[] = {7, 8, 9, 10, 11, 12};
  AviWriter w(path, 3, 2, AviPixelFormat::Grey8, 30);
  w.AddFrame(frame0);
  w.AddFrame(frame1);
  EXPECT_FALSE(std::filesystem::exists(path));
  w.Finish();
  const Bytes b = ReadBytes(path);

  ASSERT_EQ(Id(b, 0), "RIFF");
  EXPECT_EQ(U32(b, 4), b.size() - 8);
  EXPECT_EQ(Id(b, 8), "AVI ");
  EXPECT_EQ(Id(b, 12), "LIST");
  EXPECT_EQ(Id(b, 20), "hdrl");
  EXPECT_EQ(Id(b, 24), "avih");
  EXPECT_EQ(U32(b, 32), 1000000u / 30);  // microseconds per frame
  EXPECT_EQ(U32(b, 44), 0x10u);          // has an index
  EXPECT_EQ(U32(b, 48), 2u);             // total frames
  EXPECT_EQ(U32(b, 56), 1u);             // streams
  EXPECT_EQ(U32(b, 64), 3u);
  EXPECT_EQ(U32(b, 68), 2u);
  EXPECT_EQ(Id(b, 88), "LIST");
  EXPECT_EQ(Id(b, 96), "strl");
  EXPECT_EQ(Id(b, 100), "strh");
  EXPECT_EQ(Id(b, 108), "vids");
  EXPECT_EQ(U32(b, 128), 1u);   // scale
  EXPECT_EQ(U32(b, 132), 30u);  // rate
  EXPECT_EQ(U32(b, 140), 2u);   // length
  EXPECT_EQ(Id(b, 164), "strf");
  EXPECT_EQ(U32(b, 168), 40u + 1024u);
  EXPECT_EQ(U32(b, 172), 40u);   // biSize
  EXPECT_EQ(U32(b, 176), 3u);    // biWidth
  EXPECT_EQ(U32(b, 180), 2u);    // biHeight > 0: bottom-up
  EXPECT_EQ(U16(b, 186), 8u);    // biBitCount
  EXPECT_EQ(U32(b, 188), 0u);    // BI_RGB
  EXPECT_EQ(U32(b, 192), 8u);    // biSizeImage
  EXPECT_EQ(U32(b, 204), 256u);  // biClrUsed
  for (std::uint32_t i : {0u, 5u, 255u}) EXPECT_EQ(U32(b, 212 + 4 * i), i * 0x010101u);
  const std::size_t movi = 212 + 1024;
  EXPECT_EQ(Id(b, movi), "LIST");
  EXPECT_EQ(Id(b, movi + 8), "movi");
  EXPECT_EQ(U32(b, movi + 4), 4u + 2 * (8 + 8));
  const std::size_t chunk = movi + 12;
  EXPECT_EQ(Id(b, chunk), "00db");
  EXPECT_EQ(U32(b, chunk + 4), 8u);
  const Bytes pixels0(b.begin() + chunk + 8, b.begin() + chunk + 16);
  EXPECT_EQ(pixels0, (Bytes{4, 5, 6, 0, 1, 2, 3, 0}));  // bottom row first, padding 0
  const std::size_t idx = chunk + 32;
  EXPECT_EQ(Id(b, idx), "idx1");
  EXPECT_EQ(U32(b, idx + 4), 32u);
  for (std::uint32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Id(b, idx + 8 + 16 * i), "00db");
    EXPECT_EQ(U32(b, idx + 12 + 16 * i), 0x10u);         // key frame
    EXPECT_EQ(U32(b, idx + 16 + 16 * i), 4u + 16u * i);  // from the 'movi' code
    EXPECT_EQ(U32(b, idx + 20 + 16 * i), 8u);
  }
  EXPECT_EQ(b.size(), idx + 8 + 32);
}

TEST(AviWriter, Bgr24HasNoPaletteAndKeepsColourOrder) {
  test::TempDir dir;
  const std::string path = dir.File("c.avi");
  const std::uint8_t frame[] = {1, 2, 3, 4, 5, 6};  // 2 x 1: blue, green, red per pixel
  AviWriter w(path, 2, 1, AviPixelFormat::Bgr24);
  w.AddFrame(frame);
  w.Finish();
  const Bytes b = ReadBytes(path);
  EXPECT_EQ(U32(b, 168), 40u);
  EXPECT_EQ(U16(b, 186), 24u);
  EXPECT_EQ(U32(b, 204), 0u);
  const std::size_t chunk = 212 + 12;
  EXPECT_EQ(Id(b, chunk), "00db");
  EXPECT_EQ(U32(b, chunk + 4), 8u);
  EXPECT_EQ(Bytes(b.begin() + chunk + 8, b.begin() + chunk + 16), (Bytes{1, 2, 3, 4, 5, 6, 0, 0}));
}

TEST(AviWriter, NothingIsLeftBehindUnlessFinished) {
  test::TempDir dir;
  const std::string path = dir.File("v.avi");
  const std::uint8_t frame[16] = {};
  {
    AviWriter w(path, 4, 4, AviPixelFormat::Grey8);
    w.AddFrame(frame);
  }
  EXPECT_EQ(FilesIn(dir.Path()), 0u);
  {
    AviWriter w(path, 4, 4, AviPixelFormat::Grey8);
    w.AddFrame(frame);
    w.Finish();
    EXPECT_THROW(w.AddFrame(frame), WriteError);
    EXPECT_THROW(w.Finish(), WriteError);
  }
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(AviWriter, RefusesBadSizesAndFolders) {
  test::TempDir dir;
  EXPECT_THROW(AviWriter(dir.File("a.avi"), 0, 4, AviPixelFormat::Grey8), WriteError);
  EXPECT_THROW(AviWriter(dir.File("a.avi"), 4, -1, AviPixelFormat::Bgr24), WriteError);
  EXPECT_THROW(AviWriter(dir.File("a.avi"), 4, 4, AviPixelFormat::Grey8, 0), WriteError);
  EXPECT_THROW(AviWriter(dir.File("a.avi"), 60000, 60000, AviPixelFormat::Bgr24), WriteError);
  try {
    AviWriter(dir.File("missing/a.avi"), 4, 4, AviPixelFormat::Grey8);
    ADD_FAILURE() << "no error for a missing folder";
  } catch (const WriteError& e) {
    EXPECT_NE(std::string(e.what()).find("missing/a.avi"), std::string::npos) << e.what();
  }
  EXPECT_EQ(FilesIn(dir.Path()), 0u);
}

}  // namespace
}  // namespace corvane
