// The JPEG decoder on pictures the test encodes with libjpeg, and on broken ones.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/errors.h"
#include "io/bmp_builder.h"
#include "io/jpeg_builder.h"
#include "io/picture_files.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::Encode;
using corvane::test::ReadBytes;
using corvane::test::TempDir;
using corvane::test::WriteBytes;

namespace {


/// A smooth colour picture: red rises to the right, green downwards, blue constant.
std::vector<std::uint8_t> Gradient(int w, int h) {
  std::vector<std::uint8_t> p;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      p.push_back(static_cast<std::uint8_t>(x * 255 / (w - 1)));
      p.push_back(static_cast<std::uint8_t>(y * 255 / (h - 1)));
      p.push_back(90);
    }
  return p;
}

void ExpectNear(const Bitmap& b, const std::vector<std::uint8_t>& rgb, int tolerance) {
  ASSERT_EQ(b.Format(), PixelFormat::Bgr24);
  int worst = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      for (int k = 0; k < 3; ++k) {
        const int want = rgb[(static_cast<std::size_t>(y) * b.Width() + x) * 3 + (2 - k)];
        worst = std::max(worst, std::abs(b.Row(y)[3 * x + k] - want));
      }
  EXPECT_LE(worst, tolerance);
}

void ExpectRefused(JpegDecoder& decoder, const std::string& path, const std::string& what = "") {
  Bitmap b(1, 1);
  b.Row(0)[0] = 77;
  const Bitmap before = b;
  try {
    decoder.Decode(path, b);
    ADD_FAILURE() << "accepted " << path;
  } catch (const ReadError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(path), std::string::npos) << msg;
    EXPECT_NE(msg.find(what), std::string::npos) << msg;
  }
  EXPECT_EQ(b, before);
}

}  // namespace

TEST(JpegDecoder, DecodesColourAndGreyToBgr) {
  TempDir dir;
  const int w = 37, h = 21;  // not a multiple of the block size
  const std::vector<std::uint8_t> rgb = Gradient(w, h);
  WriteBytes(dir.File("c.jpg"), Encode(w, h, 3, rgb));
  std::vector<std::uint8_t> grey(w * h);
  for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(i * 3);
  WriteBytes(dir.File("g.jpg"), Encode(w, h, 1, grey));
  WriteBytes(dir.File("p.jpg"), Encode(w, h, 3, rgb, true));

  JpegDecoder decoder;
  Bitmap b;
  decoder.Decode(dir.File("c.jpg"), b);
  ASSERT_EQ(b.Width(), w);
  ASSERT_EQ(b.Height(), h);
  ExpectNear(b, rgb, 4);

  decoder.Decode(dir.File("p.jpg"), b);
  ExpectNear(b, rgb, 4);

  decoder.Decode(dir.File("g.jpg"), b);
  ASSERT_EQ(b.Format(), PixelFormat::Bgr24);
  int worst = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* px = b.Row(y) + 3 * x;
      ASSERT_EQ(px[0], px[1]);
      ASSERT_EQ(px[1], px[2]);
      worst = std::max(worst, std::abs(px[0] - grey[y * w + x]));
    }
  EXPECT_LE(worst, 2);
}

TEST(JpegDecoder, DecodesAdobeCmyk) {
  TempDir dir;
  // Adobe stores inverted inks: 255 is no ink. No black ink keeps the colour;
  // half black over no colour ink gives grey 128.
  const std::vector<std::uint8_t> cmyk = {200, 100, 50, 255, 255, 255, 255, 128};
  std::vector<std::uint8_t> flat;  // left half the colour, right half the grey
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) flat.insert(flat.end(), cmyk.begin() + (x / 8) * 4, cmyk.begin() + (x / 8) * 4 + 4);
  WriteBytes(dir.File("cmyk.jpg"), Encode(16, 8, 4, flat));
  JpegDecoder decoder;
  Bitmap b;
  decoder.Decode(dir.File("cmyk.jpg"), b);
  const std::uint8_t* a = b.Row(4) + 3 * 3;
  const std::uint8_t* g = b.Row(4) + 3 * 12;
  EXPECT_NEAR(a[2], 200, 3);  // red
  EXPECT_NEAR(a[1], 100, 3);
  EXPECT_NEAR(a[0], 50, 3);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(g[k], 128, 3);
}

TEST(JpegDecoder, RefusesBrokenFilesAndStaysUsable) {
  TempDir dir;
  const std::vector<std::uint8_t> good = Encode(64, 48, 3, Gradient(64, 48));
  WriteBytes(dir.File("good.jpg"), good);
  JpegDecoder decoder;

  WriteBytes(dir.File("empty.jpg"), {});
  ExpectRefused(decoder, dir.File("empty.jpg"), "Empty input file");
  WriteBytes(dir.File("text.jpg"), {'h', 'e', 'l', 'l', 'o'});
  ExpectRefused(decoder, dir.File("text.jpg"), "Not a JPEG file");
  ExpectRefused(decoder, dir.File("missing.jpg"), "cannot open");
  ExpectRefused(decoder, dir.Path().string(), "not a regular file");

  // Cut anywhere: in the headers, in the scan, just before the end marker.
  for (std::size_t keep : {std::size_t{20}, good.size() / 3, good.size() / 2, good.size() - 2}) {
    WriteBytes(dir.File("cut.jpg"), std::vector<std::uint8_t>(good.begin(), good.begin() + keep));
    ExpectRefused(decoder, dir.File("cut.jpg"));
  }

  // A marker in the middle of the entropy-coded data.
  std::vector<std::uint8_t> bad = good;
  const std::size_t mid = bad.size() / 2;
  bad[mid] = 0xFF;
  bad[mid + 1] = 0xD3;
  WriteBytes(dir.File("marker.jpg"), bad);
  ExpectRefused(decoder, dir.File("marker.jpg"), "Corrupt JPEG data");

  // A frame header claiming a picture beyond the limits is refused before decoding.
  bad = good;
  for (std::size_t i = 0; i + 8 < bad.size(); ++i)
    if (bad[i] == 0xFF && bad[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
      bad[i + 5] = 10000 >> 8;
      bad[i + 6] = 10000 & 255;
      bad[i + 7] = 10000 >> 8;
      bad[i + 8] = 10000 & 255;
      break;
    }
  WriteBytes(dir.File("huge.jpg"), bad);
  ExpectRefused(decoder, dir.File("huge.jpg"), "10000 x 10000 is beyond the reader limits");

  // After all that the same decoder reads a good file again.
  Bitmap b;
  decoder.Decode(dir.File("good.jpg"), b);
  ExpectNear(b, Gradient(64, 48), 4);
}

TEST(JpegDecoder, ReadersOfTheLoaderDecodeJpeg) {
  TempDir dir;
  const std::vector<std::uint8_t> rgb = Gradient(20, 10);
  WriteBytes(dir.File("flat.JPEG"), Encode(20, 10, 3, rgb));
  Bitmap b;
  LoadPictureFile(b, dir.File("flat.JPEG"));
  ExpectNear(b, rgb, 4);

  Bitmap f(3, 3, PixelFormat::Indexed8);
  JpegDecoder decoder;
  ReadFramePicture(f, decoder, dir.File("flat.JPEG"), PictureKind::Jpeg);
  EXPECT_EQ(f, b);

  JpegDecoder moved = std::move(decoder);
  moved.Decode(dir.File("flat.JPEG"), f);
  EXPECT_EQ(f, b);
}
