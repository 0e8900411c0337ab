// Saving the result picture into the result folder, "Save As", the local PSF
// picture and the inverting look-up table.
#include "output/saving.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>

#include "core/errors.h"
#include "enhance/local_psf.h"
#include "io/bmp_builder.h"
#include "output/bitmap_ops.h"
#include "output/picture_memo.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::ReadBytes;
using corvane::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::tm Now() {
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 0;
  t.tm_mday = 2;
  t.tm_hour = 3;
  t.tm_min = 4;
  return t;
}

/// Points the program folder at a temporary folder for the test's life.
class ProgramFolder {
 public:
  ProgramFolder() { SetProgramDirectoryOverride((m_dir.Path() / "Corvane2").string()); }
  ~ProgramFolder() { SetProgramDirectoryOverride(""); }
  fs::path Path() const { return m_dir.Path() / "Corvane2"; }
  const TempDir& Dir() const { return m_dir; }

 private:
  TempDir m_dir;
};

FrameList Jupiter() {
  FrameList frames;
  auto item = std::make_unique<TImageListItem>(4, 4);
  item->FileName = "/data/jupiter.avi";
  frames.Add(std::move(item));
  return frames;
}

Bitmap Picture(std::uint8_t seed) {
  Bitmap b(5, 3);
  for (int y = 0; y < 3; ++y)
    for (std::size_t i = 0; i < b.RowBytes(); ++i) b.Row(y)[i] = static_cast<std::uint8_t>(seed + i * 7 + y);
  return b;
}

std::vector<std::uint8_t> BmpBytesOf(Bitmap picture, const TempDir& dir) {
  const std::string path = dir.File("reference.bmp");
  SaveBitmapFile(picture, path);
  auto bytes = ReadBytes(path);
  fs::remove(path);
  return bytes;
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(SaveResultPicture, CreatesTheDefaultFolderAndCountsUp) {
  ProgramFolder program;
  Settings settings;
  FrameList frames = Jupiter();
  PictureInfo info;
  TResultPicture result;
  BuildPictureInfo(info, result, settings, frames, Now());  // the caption after a calculation
  Bitmap first = Picture(1);
  const std::string path = SaveResultPicture(settings, frames, first, Now());
  EXPECT_EQ(path, (program.Path() / "Result" / "jupiter__1.bmp").string());
  EXPECT_EQ(ReadBytes(path), BmpBytesOf(Picture(1), program.Dir()));
  EXPECT_EQ(ResultLabelAfterSave(settings, frames, Now()), "File name \"jupiter__1\"");
  Bitmap second = Picture(2);
  EXPECT_EQ(fs::path(SaveResultPicture(settings, frames, second, Now())).filename(), "jupiter__2.bmp");
  EXPECT_EQ(Names(program.Path() / "Result"), (std::vector<std::string>{"jupiter__1.bmp", "jupiter__2.bmp"}));
}

TEST(SaveResultPicture, AutonumberedNamesNeverReplaceAFile) {
  // Yesterday's results stay: a new run (or the program after a restart)
  // counts from 1 again, and passes over the numbers that are taken.
  ProgramFolder program;
  const fs::path folder = program.Path() / "Result";
  fs::create_directories(folder);
  corvane::test::WriteBytes((folder / "jupiter__1.bmp").string(), {1});
  corvane::test::WriteBytes((folder / "jupiter__2.bmp").string(), {2});
  fs::create_symlink("gone", folder / "jupiter__3.bmp");  // a broken link takes its name too
  for (const char* expected : {"jupiter__4.bmp", "jupiter__5.bmp"}) {
    Settings settings;  // a new start each time
    FrameList frames = Jupiter();
    PictureInfo info;
    TResultPicture result;
    BuildPictureInfo(info, result, settings, frames, Now());
    Bitmap picture = Picture(3);
    EXPECT_EQ(fs::path(SaveResultPicture(settings, frames, picture, Now())).filename(), expected);
    EXPECT_EQ(ResultLabelAfterSave(settings, frames, Now()),
              "File name \"" + fs::path(expected).stem().string() + "\"");
  }
  EXPECT_EQ(ReadBytes((folder / "jupiter__1.bmp").string()), (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(ReadBytes((folder / "jupiter__2.bmp").string()), (std::vector<std::uint8_t>{2}));

  // Stacked frames and the name "Save As" proposes pass over taken numbers too.
  Settings settings;
  corvane::test::WriteBytes((folder / "STACK_f__0.bmp").string(), {9});
  Bitmap frame = Picture(4);
  EXPECT_EQ(fs::path(SaveUnderSaveName(settings, folder.string() + "/", "STACK_", "f.bmp", Now(), frame)).filename(),
            "STACK_f__1.bmp");
  settings.General.ResultDirectory = folder.string();
  FrameList frames = Jupiter();
  settings.EditSave.LastSaveName = "jupiter__";
  settings.EditSave.SaveNumber = 0;
  EXPECT_EQ(ProposedSaveName(settings, frames, Now()), "jupiter__6");

  // A 16-bit result too.
  corvane::test::WriteBytes((folder / "jupiter__1.png").string(), {7});
  Settings fresh;
  TResultPicture result;
  Image16Create(result.Mono, 3, 2);
  PictureInfo info;
  BuildPictureInfo(info, result, fresh, frames, Now());
  RenderState state;
  EXPECT_EQ(fs::path(SaveResultPicture16(fresh, frames, result, state, ResultFormat::Png, Now())).filename(),
            "jupiter__2.png");
  EXPECT_EQ(ReadBytes((folder / "jupiter__1.png").string()), (std::vector<std::uint8_t>{7}));
}

TEST(SaveResultPicture, RefusesAMissingFolderOfTheUsersChoice) {
  ProgramFolder program;
  Settings settings;
  const std::string missing = (program.Dir().Path() / "nowhere" / "deeper/").string();
  settings.General.ResultDirectory = missing;
  FrameList frames = Jupiter();
  Bitmap picture = Picture(4);
  try {
    SaveResultPicture(settings, frames, picture, Now());
    ADD_FAILURE() << "no error";
  } catch (const WriteError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(program.Dir().Path() / "nowhere"));
  EXPECT_EQ(settings.EditSave.SaveNumber, 0);  // nothing was saved, nothing counted
  EXPECT_EQ(settings.EditSave.LastSaveName, "");

  // A file where the folder should be.
  corvane::test::WriteBytes(program.Dir().File("plain"), {1});
  settings.General.ResultDirectory = program.Dir().File("plain") + "/";
  EXPECT_THROW(SaveResultPicture(settings, frames, picture, Now()), WriteError);
}

TEST(SaveResultPicture, AFolderWithoutTrailingSlashStillHoldsTheFile) {
  ProgramFolder program;
  Settings settings;
  fs::create_directories(program.Dir().Path() / "out");
  settings.General.ResultDirectory = (program.Dir().Path() / "out").string();
  FrameList frames = Jupiter();
  Bitmap picture = Picture(5);
  const std::string path = SaveResultPicture(settings, frames, picture, Now());
  EXPECT_EQ(path, (program.Dir().Path() / "out" / "jupiter__0.bmp").string());
  EXPECT_TRUE(fs::exists(path));
}

TEST(SaveResultPicture, AFailedWriteLeavesNoPartialFile) {
  ProgramFolder program;
  Settings settings;
  settings.NamePostfixCheckBox = false;
  const fs::path folder = program.Path() / "Result";
  fs::create_directories(folder / "jupiter.bmp");  // the name is taken by a folder
  FrameList frames = Jupiter();
  Bitmap picture = Picture(6);
  EXPECT_THROW(SaveResultPicture(settings, frames, picture, Now()), WriteError);
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"jupiter.bmp"}));
  EXPECT_TRUE(fs::is_directory(folder / "jupiter.bmp"));
}

TEST(SaveResultPicture, WithoutPostfixASecondSaveOverwrites) {
  ProgramFolder program;
  Settings settings;
  settings.NamePostfixCheckBox = false;
  FrameList frames = Jupiter();
  Bitmap a = Picture(7), b = Picture(8);
  const std::string first = SaveResultPicture(settings, frames, a, Now());
  const std::string second = SaveResultPicture(settings, frames, b, Now());
  EXPECT_EQ(first, second);
  EXPECT_EQ(fs::path(first).filename(), "jupiter.bmp");
  EXPECT_EQ(ReadBytes(second), BmpBytesOf(Picture(8), program.Dir()));
}

TEST(SaveResultPictureAs, ProposalCountsAndOnlyBmpIsWritten) {
  TempDir dir;
  Settings settings;
  FrameList frames = Jupiter();
  EXPECT_EQ(ProposedSaveName(settings, frames, Now()), "jupiter__0");
  EXPECT_EQ(ProposedSaveName(settings, frames, Now()), "jupiter__1");  // a cancel does not give the number back
  Bitmap picture = Picture(9);
  EXPECT_FALSE(SaveResultPictureAs(picture, dir.File("x.jpg")));
  EXPECT_TRUE(Names(dir.Path()).empty());
  EXPECT_TRUE(SaveResultPictureAs(picture, dir.File("x.BmP")));
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"x.BmP"}));
}

TEST(SaveLocalPSF, WritesAPictureThePsfReaderTakesBack) {
  TempDir dir;
  const TConvKernel psf = StartupLocalPSF();
  SaveLocalPSF(psf, dir.File("spot"));
  Bitmap read;
  ReadBmpFile(dir.File("spot.bmp"), read);
  EXPECT_EQ(read.Format(), PixelFormat::Bgr24);
  EXPECT_EQ(read.Width(), 15);
  EXPECT_EQ(read.Height(), 15);
  TConvKernel back;
  ASSERT_TRUE(BitmapToKernel(back, read, 0, 0));
  EXPECT_EQ(back, psf);

  TConvKernel none;
  EXPECT_THROW(SaveLocalPSF(none, dir.File("none.bmp")), RangeError);
  none[0] = 18;
  EXPECT_THROW(SaveLocalPSF(none, dir.File("none.bmp")), RangeError);
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"spot.bmp"}));
}

TEST(SaveInvertingLut, WritesTheNegativeTableAndKeepsIt) {
  TempDir dir;
  RenderState state;
  SaveInvertingLut(state, dir.File("negative.lut"));
  const auto bytes = ReadBytes(dir.File("negative.lut"));
  ASSERT_EQ(bytes.size(), 131072u);
  for (std::size_t i = 0; i < 65536; ++i) {
    ASSERT_EQ(bytes[2 * i] | bytes[2 * i + 1] << 8, 65535 - static_cast<int>(i)) << i;
    ASSERT_EQ((*state.LutTable)[i], 65535 - i);
  }

  // "Use LUT" without a LUT file now renders the negative picture.
  TResultPicture result;
  result.Mono = corvane::test::MakePlane(3, 1, {0, 0x1234, 65535});
  Settings settings;
  settings.EditSave.UseLUT = true;
  NullServices services;
  Bitmap bm = RenderResultPicture(result, settings, state, 3, services);
  EXPECT_EQ(bm.Row(0)[0], 255);
  EXPECT_EQ(bm.Row(0)[3], (65535 - 0x1234) >> 8);
  EXPECT_EQ(bm.Row(0)[6], 0);

  // The table is inverted even when the file cannot be written.
  RenderState other;
  EXPECT_THROW(SaveInvertingLut(other, dir.File("missing/negative.lut")), WriteError);
  EXPECT_EQ((*other.LutTable)[0], 65535);
}

TEST(SaveInvertingLut, TheTableIsFilledApartFromWritingIt) {
  TempDir dir;
  RenderState state;
  FillInvertingLut(state);  // a cancelled save dialog stops here
  EXPECT_EQ((*state.LutTable)[0], 65535);
  EXPECT_EQ((*state.LutTable)[65535], 0);
  (*state.LutTable)[1] = 0x0102;
  WriteLutFile(*state.LutTable, dir.File("t.lut"));
  const auto bytes = ReadBytes(dir.File("t.lut"));
  ASSERT_EQ(bytes.size(), 131072u);
  EXPECT_EQ(bytes[2], 0x02);
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(bytes[131070] | bytes[131071] << 8, 0);
}
