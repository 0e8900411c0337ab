// The PSF buttons: reading a PSF picture into the enhancement record.
#include "enhance/psf_picture.h"

#include <gtest/gtest.h>

#include "core/errors.h"
#include "io/picture_files.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::TempDir;

namespace {

std::string WritePicture(const TempDir& dir, const std::string& name, int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Row(y)[3 * x + 1] = static_cast<std::uint8_t>(10 * x + y);
  const std::string path = dir.File(name);
  SaveBitmapFile(b, path);
  return path;
}

struct Counted {
  Settings settings;
  int notified = 0;
  Counted() {
    settings.RegisterEnhanceListener([this] {
      // Listeners run after the record holds the new picture.
      EXPECT_FALSE(settings.Enhance.UMAPostPSF.Empty() && settings.Enhance.DECPostPSF.Empty());
      ++notified;
    });
  }
};

}  // namespace

TEST(PsfPicture, SeventeenByFifteenIsShownLargerOnesGiveTheMessageAndStayLoaded) {
  TempDir dir;
  struct Case {
    int w, h;
    bool shown;
  };
  for (const Case c : {Case{17, 15, true}, Case{1, 1, true}, Case{18, 15, false}, Case{17, 16, false}}) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    Counted t;
    const std::string path = WritePicture(dir, "psf.bmp", c.w, c.h);
    const PsfPictureLoad load = LoadPsfPicture(t.settings, PsfButton::UnsharpMaskPicture, path);
    EXPECT_EQ(load.Shown, c.shown);
    EXPECT_EQ(load.Message, c.shown ? "" : "The PSF picture is larger than 17 x 15 pixels");
    EXPECT_EQ(t.notified, 1);
    EXPECT_EQ(t.settings.Enhance.UMAPostPSFFile, path);
    Bitmap expected;
    ReadBmpFile(path, expected);
    EXPECT_EQ(t.settings.Enhance.UMAPostPSF, expected);
    EXPECT_TRUE(t.settings.Enhance.UMAPostLocalPSF);  // the button leaves "Local PSF" alone
  }
}

TEST(PsfPicture, AnUnreadableFileThrowsKeepsTheEarlierPictureAndDoesNotNotify) {
  TempDir dir;
  Counted t;
  const std::string good = WritePicture(dir, "good.bmp", 3, 3);
  LoadPsfPicture(t.settings, PsfButton::DeconvolutionPicture, good);
  const std::string missing = dir.File("missing.bmp");
  try {
    LoadPsfPicture(t.settings, PsfButton::DeconvolutionPicture, missing);
    FAIL() << "no ReadError";
  } catch (const ReadError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.bmp"), std::string::npos) << e.what();
  }
  EXPECT_EQ(t.notified, 1);
  EXPECT_EQ(t.settings.Enhance.DECPostPSF.Width(), 3);
  EXPECT_EQ(t.settings.Enhance.DECPostPSFFile, missing);
}
