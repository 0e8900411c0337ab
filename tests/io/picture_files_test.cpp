// Extensions, reader choice and the BMP writer's byte layout and safety.
#include "io/picture_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "core/errors.h"
#include "io/bmp_builder.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::ReadBytes;
using corvane::test::TempDir;
using corvane::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

Bitmap RandomBitmap(std::mt19937& rng, int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < b.RowBytes(); ++i) b.Row(y)[i] = static_cast<std::uint8_t>(rng());
  return b;
}

std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(UpperExtension, TakesTheLastDotAfterTheLastDelimiter) {
  EXPECT_EQ(UpperExtension("frame.bmp"), ".BMP");
  EXPECT_EQ(UpperExtension("/a/b/Moon.Jpeg"), ".JPEG");
  EXPECT_EQ(UpperExtension("x.tar.fts"), ".FTS");
  EXPECT_EQ(UpperExtension("dir.d/name"), "");
  EXPECT_EQ(UpperExtension("dir.d\\name"), "");
  EXPECT_EQ(UpperExtension("C:\\pics.old\\a.bMp"), ".BMP");
  EXPECT_EQ(UpperExtension("name."), ".");
  EXPECT_EQ(UpperExtension("name"), "");
  EXPECT_EQ(UpperExtension(""), "");
}

TEST(BitmapSavePath, AddsBmpKeepsBmpRefusesOthers) {
  EXPECT_EQ(BitmapSavePath("out/result"), "out/result.bmp");
  EXPECT_EQ(BitmapSavePath("out.d/result"), "out.d/result.bmp");
  EXPECT_EQ(BitmapSavePath("out/result.BmP"), "out/result.BmP");
  EXPECT_EQ(BitmapSavePath("out/result.jpg"), "");
  EXPECT_EQ(BitmapSavePath("out/result."), "");
  EXPECT_EQ(BitmapSavePath("out/result.bmp.txt"), "");
}

TEST(SaveBitmapFile, OnePixelIsA58ByteFile) {
  TempDir dir;
  Bitmap b(1, 1);
  b.Row(0)[0] = 0x11;  // blue
  b.Row(0)[1] = 0x22;
  b.Row(0)[2] = 0x33;  // red
  ASSERT_TRUE(SaveBitmapFile(b, dir.File("one.bmp")));
  const std::vector<std::uint8_t> want = {
      'B',  'M',  58,   0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,         // file header
      40,   0,    0,    0, 1, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0,  // size, width, height, planes, bits
      0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0,  // compression, image size, x res, y res
      0,    0,    0,    0, 0, 0, 0, 0,                            // colours used, important
      0x11, 0x22, 0x33, 0};                                       // the pixel and one padding byte
  EXPECT_EQ(ReadBytes(dir.File("one.bmp")), want);
}

TEST(SaveBitmapFile, RowsBottomUpPaddedToFourBytes) {
  TempDir dir;
  std::mt19937 rng(5);
  for (int w : {1, 2, 3, 4, 5, 6, 7, 8, 17}) {
    const int h = 3;
    Bitmap b = RandomBitmap(rng, w, h);
    ASSERT_TRUE(SaveBitmapFile(b, dir.File("p.bmp")));
    const std::vector<std::uint8_t> bytes = ReadBytes(dir.File("p.bmp"));
    // 3 w rounded up to a multiple of 4: 4 -> 12 (no padding), 5 -> 16 (one byte).
    const std::size_t rowBytes = (3 * w + 3) / 4 * 4;
    ASSERT_EQ(rowBytes, static_cast<std::size_t>((w + 1) * 3 / 4 * 4));
    ASSERT_EQ(bytes.size(), 54 + rowBytes * h) << w;
    EXPECT_EQ(bytes[2] | bytes[3] << 8, static_cast<int>(bytes.size()));
    EXPECT_EQ(bytes[18], w);
    EXPECT_EQ(bytes[22], h);
    for (int i = 0; i < h; ++i) {
      const std::uint8_t* row = bytes.data() + 54 + i * rowBytes;
      const std::uint8_t* src = b.Row(h - 1 - i);
      for (std::size_t k = 0; k < rowBytes; ++k)
        ASSERT_EQ(row[k], k < 3u * w ? src[k] : 0) << "width " << w << " row " << i << " byte " << k;
    }
  }
  Bitmap five(5, 1);
  ASSERT_TRUE(SaveBitmapFile(five, dir.File("five.bmp")));
  EXPECT_EQ(ReadBytes(dir.File("five.bmp")).size(), 54u + 16u);
}

TEST(SaveBitmapFile, RoundTripsThroughTheReader) {
  TempDir dir;
  std::mt19937 rng(9);
  for (int w : {1, 2, 3, 4, 5, 9, 31})
    for (int h : {1, 2, 7}) {
      Bitmap b = RandomBitmap(rng, w, h);
      const Bitmap original = b;
      ASSERT_TRUE(SaveBitmapFile(b, dir.File("rt.bmp")));
      EXPECT_EQ(b, original);
      Bitmap back;
      ReadBmpFile(dir.File("rt.bmp"), back);
      ASSERT_EQ(back, original) << w << " x " << h;
    }
}

TEST(SaveBitmapFile, ExtensionRules) {
  TempDir dir;
  Bitmap b(2, 2);
  EXPECT_TRUE(SaveBitmapFile(b, dir.File("plain")));
  EXPECT_TRUE(SaveBitmapFile(b, dir.File("mixed.BmP")));
  EXPECT_FALSE(SaveBitmapFile(b, dir.File("photo.jpg")));
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"mixed.BmP", "plain.bmp"}));
}

TEST(SaveBitmapFile, MakesOtherFormats24BitFirst) {
  TempDir dir;
  Bitmap b(3, 1, PixelFormat::Indexed8);
  b.SetGreyPalette();
  b.Row(0)[1] = 200;
  ASSERT_TRUE(SaveBitmapFile(b, dir.File("grey")));
  EXPECT_EQ(b.Format(), PixelFormat::Bgr24);
  const std::vector<std::uint8_t> bytes = ReadBytes(dir.File("grey.bmp"));
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 54, bytes.end()),
            (std::vector<std::uint8_t>{0, 0, 0, 200, 200, 200, 0, 0, 0, 0, 0, 0}));
}

TEST(SaveBitmapFile, FailuresLeaveTheTargetAndNoTemporaryFile) {
  TempDir dir;
  std::mt19937 rng(1);
  Bitmap b = RandomBitmap(rng, 100, 100);

  // Missing folder: the error names the file.
  const std::string missing = dir.File("no/such/folder/out.bmp");
  try {
    SaveBitmapFile(b, missing);
    ADD_FAILURE() << "no error";
  } catch (const WriteError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }

  // A folder in the way of the target stays a folder.
  fs::create_directory(dir.File("taken.bmp"));
  EXPECT_THROW(SaveBitmapFile(b, dir.File("taken.bmp")), WriteError);
  EXPECT_TRUE(fs::is_directory(dir.File("taken.bmp")));

  // The disk fills up in the middle of the file (a file size limit stands in
  // for a full disk and works for root too): the earlier file stays intact.
  const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
  WriteBytes(dir.File("result.bmp"), old);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    SaveBitmapFile(b, dir.File("result.bmp"));
  } catch (const WriteError&) {
    threw = true;
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(threw);
  EXPECT_EQ(ReadBytes(dir.File("result.bmp")), old);

  if (geteuid() != 0) {  // permissions do not stop root
    fs::create_directory(dir.File("locked"));
    fs::permissions(dir.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(SaveBitmapFile(b, dir.File("locked/out.bmp")), WriteError);
    fs::permissions(dir.File("locked"), fs::perms::owner_all);
  }
  // Nothing but what the test made itself.
  std::vector<std::string> want = {"result.bmp", "taken.bmp"};
  if (geteuid() != 0) want.insert(want.begin(), "locked");
  EXPECT_EQ(FolderNames(dir.Path()), want);

  ASSERT_TRUE(SaveBitmapFile(b, dir.File("result.bmp")));
  EXPECT_EQ(FolderNames(dir.Path()), want);
}

TEST(SaveBitmapFile, RefusesRowsPastTheRowLimit) {
  TempDir dir;
  Bitmap wide(BitmapRowLimit24 + 1, 1);
  EXPECT_THROW(SaveBitmapFile(wide, dir.File("wide.bmp")), RangeError);
  EXPECT_TRUE(FolderNames(dir.Path()).empty());
  Bitmap edge(BitmapRowLimit24, 1);
  EXPECT_TRUE(SaveBitmapFile(edge, dir.File("edge.bmp")));
}

TEST(LoadPictureFile, ChoosesByExtension) {
  TempDir dir;
  corvane::test::BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bits = 8;
  f.palette = {{0, 0, 0, 0}, {10, 20, 30, 0}};
  f.pixels = {1, 0, 0, 0};
  WriteBytes(dir.File("dark.Bmp"), f.Bytes());
  Bitmap b;
  LoadPictureFile(b, dir.File("dark.Bmp"));
  EXPECT_EQ(b.Format(), PixelFormat::Indexed8);  // left for the caller to make 24-bit
  EXPECT_EQ(b.Row(0)[0], 1);

  // No reader for these: the bitmap stays as it was, present file or not.
  const Bitmap before = b;
  for (const char* name : {"flat.fts", "flat.FITS", "flat.png", "flat"}) {
    WriteBytes(dir.File(name), f.Bytes());
    LoadPictureFile(b, dir.File(name));
    EXPECT_EQ(b, before) << name;
    LoadPictureFile(b, dir.File(std::string("missing-") + name));
    EXPECT_EQ(b, before) << name;
  }
  EXPECT_THROW(LoadPictureFile(b, dir.File("missing.bmp")), ReadError);
}

TEST(ReadFramePicture, BmpBecomes24BitThroughThePalette) {
  TempDir dir;
  corvane::test::BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bits = 4;
  f.palette = {{0, 0, 0, 0}, {10, 20, 30, 0}};
  f.pixels = {0x10, 0, 0, 0};
  WriteBytes(dir.File("frame.bmp"), f.Bytes());
  Bitmap b;
  JpegDecoder decoder;
  ReadFramePicture(b, decoder, dir.File("frame.bmp"), PictureKind::Bmp);
  ASSERT_EQ(b.Format(), PixelFormat::Bgr24);
  EXPECT_EQ(std::vector<std::uint8_t>(b.Row(0), b.Row(0) + 6), (std::vector<std::uint8_t>{10, 20, 30, 0, 0, 0}));
}
