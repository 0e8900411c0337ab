// The BMP reader on files written at run time: every depth and row order, RLE,
// and malformed files that must end in a ReadError naming the file.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "core/errors.h"
#include "io/bmp_builder.h"
#include "io/picture_files.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::BmpFile;
using corvane::test::PackRows;
using corvane::test::TempDir;
using corvane::test::WriteBytes;

namespace {

std::vector<PaletteEntry> RandomPalette(std::mt19937& rng, int n) {
  std::vector<PaletteEntry> p(n);
  for (auto& e : p)
    e = PaletteEntry{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                     static_cast<std::uint8_t>(rng()), 0};
  return p;
}

Bitmap ReadFile(const TempDir& dir, const std::string& name, const BmpFile& file) {
  WriteBytes(dir.File(name), file.Bytes());
  Bitmap b;
  ReadBmpFile(dir.File(name), b);
  return b;
}

}  // namespace

TEST(ReadBmpFile, IndexedDepthsKeepIndicesAndPalette) {
  TempDir dir;
  std::mt19937 rng(7);
  for (int bits : {1, 4, 8}) {
    for (bool topDown : {false, true}) {
      for (int width : {1, 3, 7, 8, 9, 33}) {
        const int height = 5, colours = 1 << bits;
        std::vector<std::uint8_t> idx(static_cast<std::size_t>(width) * height);
        for (auto& v : idx) v = static_cast<std::uint8_t>(rng() % colours);
        BmpFile f;
        f.width = width;
        f.height = topDown ? -height : height;
        f.bits = static_cast<std::uint16_t>(bits);
        f.palette = RandomPalette(rng, colours);
        f.pixels = PackRows(width, height, bits, topDown, [&](int x, int y) { return idx[y * width + x]; });
        const Bitmap b = ReadFile(dir, "p.bmp", f);
        SCOPED_TRACE(testing::Message() << bits << " bits, width " << width << (topDown ? " top-down" : ""));
        ASSERT_EQ(b.Format(), PixelFormat::Indexed8);
        ASSERT_EQ(b.Width(), width);
        ASSERT_EQ(b.Height(), height);
        ASSERT_EQ(b.Palette(), f.palette);
        for (int y = 0; y < height; ++y)
          for (int x = 0; x < width; ++x) ASSERT_EQ(b.Row(y)[x], idx[y * width + x]) << x << "," << y;
      }
    }
  }
}

TEST(ReadBmpFile, ColoursUsedShortensThePaletteAndCoreHeaderWorks) {
  TempDir dir;
  BmpFile f;
  f.width = 4;
  f.height = 2;
  f.bits = 8;
  f.coloursUsed = 3;
  f.palette = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  f.pixels = PackRows(4, 2, 8, false, [](int x, int y) { return static_cast<std::uint32_t>((x + y) % 3); });
  Bitmap b = ReadFile(dir, "a.bmp", f);
  EXPECT_EQ(b.Palette().size(), 3u);
  EXPECT_EQ(b.Row(1)[3], 1);  // (3 + 1) % 3

  BmpFile core = f;  // the old 12-byte header with 3-byte palette entries
  core.infoSize = 12;
  core.palette.resize(256);
  const Bitmap c = ReadFile(dir, "c.bmp", core);
  EXPECT_EQ(c.Palette().size(), 256u);
  EXPECT_EQ(c.Palette()[2], (PaletteEntry{7, 8, 9, 0}));
  EXPECT_EQ(c.Row(0)[2], 2);
}

TEST(ReadBmpFile, SixteenBitFiveFiveFiveAndFiveSixFive) {
  TempDir dir;
  std::mt19937 rng(3);
  const int w = 5, h = 3;
  std::vector<std::uint16_t> words(w * h);
  for (auto& v : words) v = static_cast<std::uint16_t>(rng());
  auto px = [&](int x, int y) { return std::uint32_t{words[y * w + x]}; };
  auto widen5 = [](unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); };
  auto widen6 = [](unsigned v) { return static_cast<std::uint8_t>((v << 2) | (v >> 4)); };

  BmpFile f;
  f.width = w;
  f.height = h;
  f.bits = 16;
  f.pixels = PackRows(w, h, 16, false, px);
  const Bitmap b555 = ReadFile(dir, "555.bmp", f);

  f.compression = 3;
  f.masks = {0xF800, 0x07E0, 0x001F};
  f.height = -h;
  f.pixels = PackRows(w, h, 16, true, px);
  const Bitmap b565 = ReadFile(dir, "565.bmp", f);

  f.infoSize = 56;  // masks inside a larger header
  const Bitmap b565v3 = ReadFile(dir, "565v3.bmp", f);
  EXPECT_EQ(b565v3, b565);

  ASSERT_EQ(b555.Format(), PixelFormat::Bgr24);
  ASSERT_EQ(b565.Format(), PixelFormat::Bgr24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned v = words[y * w + x];
      const std::uint8_t* a = b555.Row(y) + 3 * x;
      EXPECT_EQ(a[0], widen5(v & 31));
      EXPECT_EQ(a[1], widen5((v >> 5) & 31));
      EXPECT_EQ(a[2], widen5((v >> 10) & 31));
      const std::uint8_t* c = b565.Row(y) + 3 * x;
      EXPECT_EQ(c[0], widen5(v & 31));
      EXPECT_EQ(c[1], widen6((v >> 5) & 63));
      EXPECT_EQ(c[2], widen5(v >> 11));
    }
}

TEST(ReadBmpFile, TwentyFourAndThirtyTwoBit) {
  TempDir dir;
  std::mt19937 rng(11);
  for (bool topDown : {false, true}) {
    for (int w : {1, 2, 3, 4, 5, 6}) {
      const int h = 4;
      std::vector<std::uint32_t> px(w * h);
      for (auto& v : px) v = static_cast<std::uint32_t>(rng());
      auto get = [&](int x, int y) { return px[y * w + x]; };
      BmpFile f;
      f.width = w;
      f.height = topDown ? -h : h;
      f.bits = 24;
      f.pixels = PackRows(w, h, 24, topDown, get);
      const Bitmap b24 = ReadFile(dir, "24.bmp", f);
      f.bits = 32;
      f.pixels = PackRows(w, h, 32, topDown, get);
      const Bitmap b32 = ReadFile(dir, "32.bmp", f);
      f.compression = 3;  // bit fields in another order: red in the low byte
      f.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
      const Bitmap swapped = ReadFile(dir, "32bf.bmp", f);
      ASSERT_EQ(b24.Format(), PixelFormat::Bgr24);
      ASSERT_EQ(b32.Format(), PixelFormat::Bgrx32);
      ASSERT_EQ(swapped.Format(), PixelFormat::Bgr24);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::uint32_t v = get(x, y);
          for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(b24.Row(y)[3 * x + k], static_cast<std::uint8_t>(v >> (8 * k)));
            ASSERT_EQ(b32.Row(y)[4 * x + k], static_cast<std::uint8_t>(v >> (8 * k)));
            ASSERT_EQ(swapped.Row(y)[3 * x + k], static_cast<std::uint8_t>(v >> (8 * (2 - k))));
          }
          ASSERT_EQ(b32.Row(y)[4 * x + 3], static_cast<std::uint8_t>(v >> 24));
        }
    }
  }
}

TEST(ReadBmpFile, LastRowWithoutPaddingIsAccepted) {
  TempDir dir;
  BmpFile f;
  f.width = 1;
  f.height = 2;
  f.pixels = PackRows(1, 2, 24, false, [](int, int y) { return y ? 0x010203u : 0x040506u; });
  f.pixels.pop_back();  // the padding byte of the top row
  const Bitmap b = ReadFile(dir, "p.bmp", f);
  EXPECT_EQ(b.Row(0)[2], 4);
  EXPECT_EQ(b.Row(1)[0], 3);
}

TEST(ReadBmpFile, Rle8AndRle4) {
  TempDir dir;
  BmpFile f;
  f.width = 4;
  f.height = 3;
  f.bits = 8;
  f.compression = 1;
  f.palette.resize(10);
  // bottom row: run of 3 x 5, then 7; end of line; next row: literal 1 2 3
  // (padded), then 9; end of line; a move by (1, 0) to column 1 of the top
  // row; 8; end of picture.
  f.pixels = {3, 5, 1, 7, 0, 0, 0, 3, 1, 2, 3, 0, 1, 9, 0, 0, 0, 2, 1, 0, 1, 8, 0, 1};
  Bitmap b = ReadFile(dir, "r8.bmp", f);
  ASSERT_EQ(b.Format(), PixelFormat::Indexed8);
  const std::vector<std::vector<int>> want8 = {{0, 8, 0, 0}, {1, 2, 3, 9}, {5, 5, 5, 7}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Row(y)[x], want8[y][x]) << x << "," << y;

  f.bits = 4;
  f.compression = 2;
  f.height = 2;
  f.palette.resize(16);
  // run of 5 alternating 1 and 2 (the fifth pixel falls off the row); end of
  // line; literal 3 4 5 (two bytes, already even); run of 1 x 6; end.
  f.pixels = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 1, 0x60, 0, 1};
  b = ReadFile(dir, "r4.bmp", f);
  const std::vector<std::vector<int>> want4 = {{3, 4, 5, 6}, {1, 2, 1, 2}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Row(y)[x], want4[y][x]) << x << "," << y;
}

// --- malformed files -------------------------------------------------------

namespace {

BmpFile Good() {
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.bits = 8;
  f.palette.resize(4);
  f.pixels = PackRows(3, 2, 8, false, [](int x, int) { return static_cast<std::uint32_t>(x); });
  return f;
}

/// Writes the bytes, reads them and expects a ReadError naming the file and
/// mentioning `what`; the destination bitmap must stay as it was.
void ExpectRefused(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  TempDir dir;
  const std::string path = dir.File("bad.bmp");
  WriteBytes(path, bytes);
  Bitmap b(2, 2);
  b.Row(1)[5] = 42;
  const Bitmap before = b;
  try {
    ReadBmpFile(path, b);
    ADD_FAILURE() << "accepted; expected: " << what;
  } catch (const ReadError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(path), std::string::npos) << msg;
    EXPECT_NE(msg.find(what), std::string::npos) << msg;
  }
  EXPECT_EQ(b, before);
}

}  // namespace

TEST(ReadBmpFile, RefusesBadHeaders) {
  ExpectRefused({}, "too short");
  ExpectRefused({'B', 'M', 0, 0, 0, 0}, "too short");
  std::vector<std::uint8_t> bytes = Good().Bytes();
  bytes[0] = 'X';
  ExpectRefused(bytes, "signature");
  bytes = Good().Bytes();
  bytes.resize(14 + 20);
  ExpectRefused(bytes, "truncated information header");
  bytes = Good().Bytes();
  bytes[14] = 20;
  ExpectRefused(bytes, "information header size 20");

  BmpFile f = Good();
  f.width = 0;
  ExpectRefused(f.Bytes(), "width 0");
  f.width = -3;
  ExpectRefused(f.Bytes(), "width -3");
  f = Good();
  f.height = 0;
  ExpectRefused(f.Bytes(), "height is 0");
  f.height = INT_MIN;  // negates to 2^31 rows: beyond the limits, not an overflow
  ExpectRefused(f.Bytes(), "beyond the reader limits");
  f = Good();
  f.width = PictureMaxSide + 1;
  f.height = 1;
  ExpectRefused(f.Bytes(), "beyond the reader limits");
  f.width = 10000;  // each side allowed, the pixel count not; refused before any allocation
  f.height = 10000;
  ExpectRefused(f.Bytes(), "beyond the reader limits");

  f = Good();
  f.bits = 7;
  ExpectRefused(f.Bytes(), "depth of 7 bits");
  f = Good();
  f.compression = 4;  // an embedded JPEG
  ExpectRefused(f.Bytes(), "compression 4");
  f.compression = 1;
  f.bits = 24;
  ExpectRefused(f.Bytes(), "compression 1 at 24");
  f = Good();
  f.compression = 1;
  f.height = -2;
  ExpectRefused(f.Bytes(), "top-down");
  f = Good();
  f.bits = 16;
  f.compression = 3;
  f.masks = {0xF000, 0x0A00, 0x001F};
  ExpectRefused(f.Bytes(), "invalid colour mask");
  f.masks = {0xF800, 0x0FE0, 0x001F};
  ExpectRefused(f.Bytes(), "overlapping");
  f.masks = {0xF800};  // the file ends inside the masks
  f.palette.clear();
  f.pixels.clear();
  ExpectRefused(f.Bytes(), "truncated colour masks");
}

TEST(ReadBmpFile, RefusesBadPaletteOffsetsAndPixels) {
  TempDir dir;
  BmpFile f = Good();
  f.palette.resize(2);
  f.coloursUsed = 2;
  ExpectRefused(f.Bytes(), "palette index 2 beyond the palette of 2 colours");

  f = Good();
  f.coloursUsed = 200;  // 200 colours before the pixels, the file ends before
  f.pixelOffset = 54 + 800;
  f.pixels.clear();
  ExpectRefused(f.Bytes(), "beyond the end of the file");
  f = Good();
  f.pixelOffset = 54;  // no room for any colour
  ExpectRefused(f.Bytes(), "no palette");
  f = Good();  // room for 4 colours, index 3 used: fine, though 256 are declared
  f.coloursUsed = 256;
  f.pixels = PackRows(3, 2, 8, false, [](int, int) { return 3u; });
  WriteBytes(dir.File("short.bmp"), f.Bytes());
  Bitmap b;
  ReadBmpFile(dir.File("short.bmp"), b);
  EXPECT_EQ(b.Palette().size(), 4u);

  f = Good();
  f.pixelOffset = 20;
  ExpectRefused(f.Bytes(), "inside the headers");
  f = Good();
  f.bits = 24;
  f.palette.clear();
  f.pixelOffset = 30;
  ExpectRefused(f.Bytes(), "inside the headers");
  f = Good();
  f.pixelOffset = 100000;
  ExpectRefused(f.Bytes(), "beyond the end of the file");

  f = Good();
  f.pixels.resize(5);  // the first row (4 bytes) and one pixel of the second
  ExpectRefused(f.Bytes(), "truncated pixel data");
  f = Good();
  f.width = 3000;
  f.height = 3000;
  f.bits = 24;
  f.palette.clear();
  ExpectRefused(f.Bytes(), "truncated pixel data (27000000 bytes needed");
}

TEST(ReadBmpFile, RefusesBrokenRle) {
  BmpFile f = Good();
  f.compression = 1;
  f.pixels = {3, 1, 0, 0};  // no end-of-picture code
  ExpectRefused(f.Bytes(), "truncated RLE");
  f.pixels = {0, 5, 1, 2};  // a literal run of 5 with 2 bytes left
  ExpectRefused(f.Bytes(), "literal run");
  f.pixels = {0, 2, 1};
  ExpectRefused(f.Bytes(), "position move");
  f.pixels = {3, 9, 0, 1};  // index 9 with a 4-colour palette
  ExpectRefused(f.Bytes(), "palette index 9");
  // A long run far outside the picture ends at the end of the data, quickly.
  f.pixels.assign(4096, 255);
  ExpectRefused(f.Bytes(), "truncated RLE");
}

TEST(ReadBmpFile, MissingFileOrFolderIsAReadError) {
  TempDir dir;
  Bitmap b;
  EXPECT_THROW(ReadBmpFile(dir.File("none.bmp"), b), ReadError);
  EXPECT_THROW(ReadBmpFile(dir.Path().string(), b), ReadError);
}
