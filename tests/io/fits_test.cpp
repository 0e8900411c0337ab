// FITS pictures written by cfitsio in the test, read by the reader; the
// writer's files read back.
#include "io/fits.h"

#include <fitsio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "core/errors.h"
#include "io/fits_builder.h"
#include "support/test_support.h"

namespace corvane {
namespace {

using test::WriteFits;

std::uint16_t Deep(const SourceFrame& f, int x, int y, int c = 0) { return f.Deep.Row(y)[x * f.Deep.Channels() + c]; }

TEST(FitsReader, EachDataTypeBecomesSixteenBitSamples) {
  test::TempDir dir;
  SourceFrame frame;
  const std::string file = dir.File("x.fits");
  // 2 x 2 images; FITS row 1 (the first two values) is the bottom row.
  WriteFits(file, USHORT_IMG, 2, 2, 1, {0, 65535, 1000, 40000});
  ReadFitsFile(file, frame);
  ASSERT_TRUE(frame.IsDeep);
  EXPECT_EQ(Deep(frame, 0, 1), 0);
  EXPECT_EQ(Deep(frame, 1, 1), 65535);
  EXPECT_EQ(Deep(frame, 1, 0), 40000);
  WriteFits(file, SHORT_IMG, 2, 2, 1, {-5, 7, 300, 32767});  // signed, no BZERO: negatives held at 0
  ReadFitsFile(file, frame);
  EXPECT_EQ(Deep(frame, 0, 1), 0);
  EXPECT_EQ(Deep(frame, 1, 0), 32767);
  WriteFits(file, ULONG_IMG, 2, 2, 1, {65536.0 * 3 + 5, 4294967295.0, 0, 65535});  // top 16 of 32 bits
  ReadFitsFile(file, frame);
  EXPECT_EQ(Deep(frame, 0, 1), 3);
  EXPECT_EQ(Deep(frame, 1, 1), 65535);
  EXPECT_EQ(Deep(frame, 1, 0), 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  WriteFits(file, FLOAT_IMG, 2, 2, 1, {0.0, 1.0, 0.5, nan});  // normalised floats
  ReadFitsFile(file, frame);
  EXPECT_EQ(Deep(frame, 1, 1), 65535);
  EXPECT_EQ(Deep(frame, 0, 0), 32768);  // 32767.5 to even
  EXPECT_EQ(Deep(frame, 1, 0), 0);
  WriteFits(file, DOUBLE_IMG, 2, 2, 1, {-3.0, 1.5, 70000.0, 1234.4});  // floats in 16-bit units
  ReadFitsFile(file, frame);
  EXPECT_EQ(Deep(frame, 0, 1), 0);
  EXPECT_EQ(Deep(frame, 1, 1), 2);
  EXPECT_EQ(Deep(frame, 0, 0), 65535);
  EXPECT_EQ(Deep(frame, 1, 0), 1234);
  WriteFits(file, SHORT_IMG, 2, 2, 1, {0, 10, 20, 65535}, 32768, 1);  // unsigned through BZERO
  ReadFitsFile(file, frame);
  EXPECT_EQ(Deep(frame, 1, 0), 65535);
  EXPECT_EQ(Deep(frame, 1, 1), 10);
}

TEST(FitsReader, EightBitRowOrderAndColourPlanes) {
  test::TempDir dir;
  SourceFrame frame;
  const std::string file = dir.File("x.fts");
  // 8-bit data: a 24-bit bitmap of grey pixels, as 8-bit pictures always give.
  WriteFits(file, BYTE_IMG, 3, 2, 1, {1, 2, 3, 4, 5, 6});
  ReadFitsFile(file, frame);
  ASSERT_FALSE(frame.IsDeep);
  EXPECT_EQ(frame.Bits.Format(), PixelFormat::Bgr24);
  EXPECT_EQ(frame.Bits.Row(0)[0], 4);  // file row 2 is the top row
  EXPECT_EQ(frame.Bits.Row(1)[3 * 2 + 1], 3);
  WriteFits(file, BYTE_IMG, 3, 2, 1, {1, 2, 3, 4, 5, 6}, 0, 1, "TOP-DOWN");
  ReadFitsFile(file, frame);
  EXPECT_EQ(frame.Bits.Row(0)[0], 1);
  // Three planes red, green, blue.
  WriteFits(file, USHORT_IMG, 1, 1, 3, {100, 200, 300});
  ReadFitsFile(file, frame);
  ASSERT_EQ(frame.Deep.Channels(), 3);
  EXPECT_EQ(Deep(frame, 0, 0, 0), 100);
  EXPECT_EQ(Deep(frame, 0, 0, 2), 300);
  WriteFits(file, BYTE_IMG, 1, 1, 3, {10, 20, 30});
  ReadFitsFile(file, frame);
  EXPECT_EQ(frame.Bits.Row(0)[0], 30);  // blue first
  EXPECT_EQ(frame.Bits.Row(0)[2], 10);
}

TEST(FitsWriter, SixteenBitFilesReadBackExactly) {
  test::TempDir dir;
  std::mt19937 rng(3);
  for (int channels : {1, 3}) {
    Picture16 picture(5, 4, channels);
    std::uniform_int_distribution<int> any(0, 65535);
    for (std::size_t i = 0; i < picture.RowSamples() * 4; ++i)
      picture.Samples()[i] = static_cast<std::uint16_t>(any(rng));
    picture.Samples()[0] = 0;
    picture.Samples()[1] = 65535;
    const std::string file = dir.File("out" + std::to_string(channels) + ".fits");
    WriteFits16File(file, picture);
    SourceFrame frame;
    ReadFitsFile(file, frame);
    EXPECT_EQ(frame.Deep, picture);
    // The header a FITS reader expects: 16-bit data with BZERO 32768, whole blocks.
    fitsfile* f = nullptr;
    int status = 0, bitpix = 0;
    double bzero = 0;
    fits_open_diskfile(&f, file.c_str(), READONLY, &status);
    fits_read_key(f, TINT, "BITPIX", &bitpix, nullptr, &status);
    fits_read_key(f, TDOUBLE, "BZERO", &bzero, nullptr, &status);
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(bitpix, 16);
    EXPECT_EQ(bzero, 32768.0);
    EXPECT_EQ(std::filesystem::file_size(file) % 2880, 0u);
  }
}

TEST(FitsReader, RefusesBadFilesNamingThem) {
  test::TempDir dir;
  const std::string file = dir.File("bad.fits");
  auto refused = [&](const std::string& words) {
    SourceFrame frame;
    try {
      ReadFitsFile(file, frame);
      ADD_FAILURE() << "accepted: " << words;
    } catch (const ReadError& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + file + "\""), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
  };
  std::ofstream(file) << "SIMPLE = nonsense, this is no FITS file";
  refused("FITS picture");
  WriteFits(file, USHORT_IMG, 2, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  refused("3 axes");
  WriteFits(file, USHORT_IMG, 40000, 1, 1, std::vector<double>(40000, 0.0));
  refused("beyond the reader limits");
  WriteFits(file, USHORT_IMG, 64, 64, 1, std::vector<double>(64 * 64, 9.0));
  std::filesystem::resize_file(file, 2880 + 100);  // data cut short
  refused("FITS picture");
  {
    // A primary unit without an image.
    fitsfile* f = nullptr;
    int status = 0;
    std::remove(file.c_str());
    fits_create_diskfile(&f, file.c_str(), &status);
    fits_create_img(f, BYTE_IMG, 0, nullptr, &status);
    fits_close_file(f, &status);
  }
  refused("no image");
}

}  // namespace
}  // namespace corvane
