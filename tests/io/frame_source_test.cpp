// The frame source interface: kinds by extension, pictures through it, and
// the field operations on deep frames.
#include "io/frame_source.h"

#include <gtest/gtest.h>

#include "core/errors.h"
#include "io/png.h"
#include "support/test_support.h"

namespace corvane {
namespace {

TEST(FrameSource, KindsByExtensionInAnyCase) {
  const std::pair<const char*, SourceKind> cases[] = {
      {"a.avi", SourceKind::Avi},     {"b.Bmp", SourceKind::Bmp},  {"c.jpeg", SourceKind::Jpeg},
      {"d.JPG", SourceKind::Jpeg},    {"e.fts", SourceKind::Fits}, {"f.FIT", SourceKind::Fits},
      {"g.fits", SourceKind::Fits},   {"h.SER", SourceKind::Ser},  {"i.tif", SourceKind::Tiff},
      {"j.TIFF", SourceKind::Tiff},   {"k.png", SourceKind::Png},  {"l.txt", SourceKind::None},
      {"dir.ser/m", SourceKind::None}};
  for (const auto& [name, kind] : cases) EXPECT_EQ(SourceKindOfPath(name), kind) << name;
  EXPECT_TRUE(IsVideoKind(SourceKind::Ser));
  EXPECT_FALSE(IsVideoKind(SourceKind::Fits));
}

TEST(FrameSource, PicturesAreOneFrameThatReadsAgain) {
  test::TempDir dir;
  Picture16 picture(3, 2, 3);
  for (int i = 0; i < 18; ++i) picture.Samples()[i] = static_cast<std::uint16_t>(1000 * i + 7);
  WritePng16File(dir.File("p.png"), picture);
  NullServices services;
  FrameSources sources(services);
  const std::shared_ptr<FrameSource> opened = sources.Open(dir.File("p.png"));
  FrameSource& source = *opened;
  EXPECT_EQ(source.Kind(), SourceKind::Png);
  EXPECT_FALSE(source.IsVideo());
  EXPECT_EQ(source.FrameCount(), 1);
  EXPECT_EQ(source.SampleDepth(), 16);
  for (int read = 0; read < 2; ++read) {
    SourceFrame frame;
    ASSERT_TRUE(source.ReadFrame(0, frame));
    EXPECT_EQ(frame.Deep, picture) << "read " << read;
  }
  SourceFrame frame;
  EXPECT_THROW(source.ReadFrame(1, frame), ReadError);
  // Kinds that are not pictures read nothing as darks and flats; others refuse to open.
  JpegDecoder decoder;
  EXPECT_FALSE(ReadPictureFrame(dir.File("x.ser"), frame, decoder));
  EXPECT_THROW(sources.Open(dir.File("notes.txt")), ReadError);
  EXPECT_THROW(sources.Open(dir.File("missing.png")), ReadError);
  // An AVI that cannot be read is a source of -1 frames, as the loader expects.
  EXPECT_EQ(sources.Open(dir.File("missing.avi"))->FrameCount(), -1);
}

TEST(FrameSource, FieldsOfDeepFramesMatchTheBitmapRule) {
  // Rows 0..4 of one column: the even field rebuilds rows 1 and 3, the odd
  // field rows 2 (row 0 and the last row without one below stay).
  SourceFrame frame;
  Picture16& p = frame.UseDeep();
  p.Reshape(1, 5, 1);
  const std::uint16_t rows[] = {100, 60001, 301, 9, 65535};
  std::copy(std::begin(rows), std::end(rows), p.Samples());
  KeepEvenField(frame);
  EXPECT_EQ(p.Samples()[1], (100 + 301) >> 1);
  EXPECT_EQ(p.Samples()[3], (301 + 65535) >> 1);
  std::copy(std::begin(rows), std::end(rows), p.Samples());
  KeepOddField(frame);
  EXPECT_EQ(p.Samples()[0], 100);
  EXPECT_EQ(p.Samples()[2], (60001 + 9) >> 1);
  EXPECT_EQ(p.Samples()[4], 65535);
}

}  // namespace
}  // namespace corvane
