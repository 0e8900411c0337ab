#include "acquire/loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "core/errors.h"
#include "io/avi_writer.h"
#include "io/jpeg_builder.h"
#include "io/png.h"
#include "io/ser_writer.h"
#include "support/recording_services.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::RecordingServices;
using corvane::test::TempDir;

namespace {

// A 24-bit picture whose pixel (x, y) has blue x, green y and red x + y (mod 256).
Bitmap Pattern(int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.Row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = static_cast<std::uint8_t>(x + y);
    }
  return b;
}

std::string WriteBmp(const TempDir& dir, const std::string& name, Bitmap b) {
  const std::string path = dir.File(name);
  SaveBitmapFile(b, path);
  return path;
}

// A grey video whose frame f has every pixel equal to f (mod 256), except pixel
// (0, 0) which holds 255 - f.
std::string WriteVideo(const TempDir& dir, const std::string& name, int frames, int w = 32, int h = 24) {
  const std::string path = dir.File(name);
  AviWriter writer(path, w, h, AviPixelFormat::Grey8);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h);
  for (int f = 0; f < frames; ++f) {
    std::fill(pixels.begin(), pixels.end(), static_cast<std::uint8_t>(f));
    pixels[0] = static_cast<std::uint8_t>(255 - f);
    writer.AddFrame(pixels.data());
  }
  writer.Finish();
  return path;
}

struct Rig {
  Settings settings;
  FrameList frames;
  RecordingServices services;
  FrameLoader loader{settings, frames, services};
  Rig() {
    frames.SetMaxFrames(4096);
    settings.RegisterLoadFramesListener([this] { loader.LoadFramesChanged(); });
  }
};

}  // namespace

TEST(FrameLoader, DefaultLoadIsTheChannelOfThePicture) {
  TempDir dir;
  const std::string file = WriteBmp(dir, "moon.bmp", Pattern(640, 480));
  Rig rig;
  rig.settings.SetLoadFramesChannel(2);
  ASSERT_TRUE(rig.loader.Preview({file}));
  EXPECT_EQ(rig.settings.LoadFrames.InputWidth, 640);
  EXPECT_EQ(rig.settings.LoadFrames.OutputWidth, 640);  // "Same as input"
  EXPECT_EQ(rig.settings.LoadFrames.SourceType, 1);
  EXPECT_TRUE(rig.frames.Empty());  // a preview adds nothing
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 1);
  const TImageListItem& f = rig.frames[0];
  EXPECT_EQ(f.Image.Width, 640);
  EXPECT_EQ(f.Number, -1);
  EXPECT_EQ(f.FileName, file);
  EXPECT_EQ(f.Center, (TPoint32{320, 240}));
  for (int y : {0, 7, 479})
    for (int x : {0, 13, 639}) EXPECT_EQ(Image16GetPixel(f.Image, x, y), (y & 255) << 8);
}

TEST(FrameLoader, UserSizeCutsTheCentreAndResizePlacesTheDoubledPicture) {
  TempDir dir;
  Rig rig;
  const std::string big = WriteBmp(dir, "big.bmp", Pattern(640, 480));
  rig.settings.SetSizeMode(2);  // User: 384 x 288
  ASSERT_TRUE(rig.loader.Preview({big}));
  rig.loader.Load();
  const TImageListItem& cut = rig.frames[0];
  ASSERT_EQ(cut.Image.Width, 384);
  // blue channel of L: luminance of (x, y, x + y); compare against the source corner (128, 96)
  Bitmap source = Pattern(640, 480);
  TImage16 expected;
  Image16Create(expected, 640, 480);
  Image16FromBitmap(expected, source, 0, 0, 640, 480, ChannelL);
  for (int y : {0, 100, 287})
    for (int x : {0, 200, 383})
      EXPECT_EQ(Image16GetPixel(cut.Image, x, y), Image16GetPixel(expected, x + 128, y + 96)) << x << "," << y;

  Rig zoom;
  const std::string small = WriteBmp(dir, "small.bmp", Pattern(100, 100));
  zoom.settings.SetSizeMode(2);
  zoom.settings.SetResize(2);
  ASSERT_TRUE(zoom.loader.Preview({small}));
  zoom.loader.Load();
  const TImageListItem& z = zoom.frames[0];
  TImage16 src;
  Image16Create(src, 100, 100);
  Bitmap p = Pattern(100, 100);
  Image16FromBitmap(src, p, 0, 0, 100, 100, ChannelL);
  EXPECT_EQ(Image16GetPixel(z.Image, 91, 43), 0);
  EXPECT_EQ(Image16GetPixel(z.Image, 92, 44), Image16GetPixel(src, 0, 0));
  EXPECT_EQ(Image16GetPixel(z.Image, 93, 45), Image16GetPixel(src, 0, 0));
  EXPECT_EQ(Image16GetPixel(z.Image, 92 + 2 * 37, 44 + 2 * 55 + 1), Image16GetPixel(src, 37, 55));
  EXPECT_EQ(Image16GetPixel(z.Image, 292, 244), 0);
}

TEST(FrameLoader, VideoRangeSkipAndSemiFrames) {
  TempDir dir;
  const std::string video = WriteVideo(dir, "jupiter.AVI", 100);
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({video}));
  EXPECT_EQ(rig.settings.LoadFrames.AVIEnd, 99);
  rig.settings.SetAVIEnd(20);
  rig.settings.SetAVIStart(10);
  rig.settings.SetAVISkipFrames(5);
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rig.frames[i].Number, 10 + 5 * i);
    EXPECT_EQ(Image16GetPixel(rig.frames[i].Image, 5, 5), (10 + 5 * i) << 8);
  }

  rig.settings.SetAVISkipFrames(0);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::AVISemiFrames, true);
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 22);  // two frames per video frame
  EXPECT_EQ(rig.frames[0].Number, 10);
  EXPECT_EQ(rig.frames[1].Number, 10);
  EXPECT_EQ(rig.frames[2].Number, 11);
}

TEST(FrameLoader, EndBeyondTheVideoAndAFullList) {
  TempDir dir;
  const std::string video = WriteVideo(dir, "v.avi", 12);
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({video}));
  rig.settings.SetAVIEnd(9999);
  rig.loader.Load();
  EXPECT_EQ(rig.frames.Count(), 12);
  EXPECT_FALSE(rig.loader.FramesLeftOut());
  rig.frames.SetMaxFrames(5);
  rig.loader.Load();
  EXPECT_EQ(rig.frames.Count(), 5);  // the load stops with the list full
  EXPECT_EQ(rig.frames[4].Number, 4);
  EXPECT_TRUE(rig.loader.FramesLeftOut());
  // A start beyond the list's size still finds room: the range is the video's,
  // the room is the list's (frames 8 to 11, not "no frame" for want of frame numbers).
  rig.settings.SetAVIStart(8);
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 4);
  EXPECT_EQ(rig.frames[0].Number, 8);
  EXPECT_EQ(rig.frames[3].Number, 11);
  EXPECT_FALSE(rig.loader.FramesLeftOut());
  rig.settings.SetAVIStart(6);
  rig.frames.SetMaxFrames(3);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::AVISemiFrames, true);
  rig.loader.Load();  // the first field of frame 7 fills the list
  ASSERT_EQ(rig.frames.Count(), 3);
  EXPECT_EQ(rig.frames[2].Number, 7);
  EXPECT_TRUE(rig.loader.FramesLeftOut());
  const auto lastCount = std::find_if(rig.services.Steps.rbegin(), rig.services.Steps.rend(),
                                      [](const std::pair<int, int>& step) { return step.first == 2; });
  ASSERT_NE(lastCount, rig.services.Steps.rend());
  EXPECT_EQ(lastCount->second, 3);
}

TEST(FrameLoader, AddKeepsFramesAndOtherFilesAreSkipped) {
  TempDir dir;
  const std::string a = WriteBmp(dir, "a.bmp", Pattern(40, 30));
  const std::string text = dir.File("notes.txt");
  {
    std::FILE* f = std::fopen(text.c_str(), "w");
    std::fputs("hello", f);
    std::fclose(f);
  }
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({a, text, a}));
  rig.loader.Load();
  EXPECT_EQ(rig.frames.Count(), 2);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::LoadWhen, std::uint8_t{1});
  rig.loader.Load();
  EXPECT_EQ(rig.frames.Count(), 4);
  EXPECT_FALSE(rig.loader.Preview({text}));
}

TEST(FrameLoader, StopRequestEndsTheVideoAfterTheCurrentFrame) {
  TempDir dir;
  const std::string v1 = WriteVideo(dir, "one.avi", 10);
  const std::string v2 = WriteVideo(dir, "two.avi", 4);
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({v1, v2}));
  bool raised = false;
  rig.services.OnPump = [&](RecordingServices& s) {
    if (!raised && rig.frames.Count() == 4) {  // Esc while frame 3 of the first video is done
      raised = true;
      s.RaiseAbort();
    }
  };
  rig.loader.Load();
  // frames 0..3 of the first video, then the whole second one
  ASSERT_EQ(rig.frames.Count(), 8);
  EXPECT_EQ(rig.frames[3].Number, 3);
  EXPECT_EQ(rig.frames[4].FileName, v2);
}

TEST(FrameLoader, BrokenVideoAndUnreadablePicture) {
  TempDir dir;
  const std::string bad = dir.File("bad.avi");
  {
    std::FILE* f = std::fopen(bad.c_str(), "w");
    std::fputs("RIFF nonsense", f);
    std::fclose(f);
  }
  const std::string good = WriteBmp(dir, "good.bmp", Pattern(20, 10));
  const std::string broken = dir.File("broken.bmp");
  {
    std::FILE* f = std::fopen(broken.c_str(), "w");
    std::fputs("BM not really", f);
    std::fclose(f);
  }
  Rig rig;
  EXPECT_FALSE(rig.loader.Preview({bad}));
  EXPECT_EQ(rig.services.Starts.back().Caption, "INVALID FORMAT!");
  EXPECT_EQ(rig.services.Beeps, 1);
  ASSERT_TRUE(rig.loader.Preview({good, bad, broken}));
  EXPECT_THROW(rig.loader.Load(), ReadError);
  EXPECT_EQ(rig.frames.Count(), 1);  // the frame read before stays
  EXPECT_EQ(rig.services.Beeps, 2);
}

TEST(FrameLoader, DarkAndFlatCorrections) {
  TempDir dir;
  Bitmap light(16, 8), dark(16, 8), flat(8, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      std::fill_n(light.Row(y) + 3 * x, 3, static_cast<std::uint8_t>(200));
      std::fill_n(dark.Row(y) + 3 * x, 3, static_cast<std::uint8_t>(x < 8 ? 50 : 0));
    }
    for (int x = 0; x < 8; ++x) std::fill_n(flat.Row(y) + 3 * x, 3, static_cast<std::uint8_t>(x < 4 ? 100 : 200));
  }
  const std::string lightFile = WriteBmp(dir, "light.bmp", light);
  const std::string darkFile = WriteBmp(dir, "dark.bmp", dark);
  const std::string flatFile = WriteBmp(dir, "flat.bmp", flat);
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({lightFile, lightFile}));
  rig.settings.SetLoadFrames(&TLoadFramesSettings::DarkFrame, true);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::DarkFrameFile, darkFile);
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 2);
  EXPECT_EQ(Image16GetPixel(rig.frames[1].Image, 3, 3), 150 << 8);
  EXPECT_EQ(Image16GetPixel(rig.frames[1].Image, 12, 3), 200 << 8);
  EXPECT_EQ(rig.frames[0].Mean, 200 << 8);  // the mean of the input before corrections

  rig.settings.SetLoadFrames(&TLoadFramesSettings::DarkFrame, false);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::FlatField, true);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::FlatFieldFile, flatFile);
  rig.loader.Load();
  // input x flat mean / flat over the flat's 8 x 8; mean = 150 x 256
  const int mean = 150 << 8;
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 1, 1), 65535);  // 76 800 does not fit: saturated
  EXPECT_EQ(Image16GetPixel(rig.frames[1].Image, 1, 1), 65535);
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 6, 1), (200 << 8) * mean / (200 << 8));
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 12, 1), 200 << 8);  // outside the flat: unchanged

  // A changed dark picture is read again.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) std::fill_n(dark.Row(y) + 3 * x, 3, static_cast<std::uint8_t>(10));
  std::filesystem::remove(darkFile);
  WriteBmp(dir, "dark.bmp", dark);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::FlatField, false);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::DarkFrame, true);
  rig.loader.Load();
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 3, 3), 190 << 8);
}

TEST(FrameLoader, SingleObjectCentreAndBrightnessTable) {
  TempDir dir;
  Bitmap b(60, 40);
  for (int y = 20; y < 30; ++y)
    for (int x = 40; x < 50; ++x) std::fill_n(b.Row(y) + 3 * x, 3, static_cast<std::uint8_t>(250));
  const std::string file = WriteBmp(dir, "star.bmp", b);
  Rig rig;
  rig.settings.SetLoadFrames(&TLoadFramesSettings::LoadWhat, std::uint8_t{1});
  ASSERT_TRUE(rig.loader.Preview({file}));
  rig.loader.Load();
  const TPoint32 c = rig.frames[0].Center;
  EXPECT_NEAR(c.x, 45, 1);
  EXPECT_NEAR(c.y, 24, 1);
  rig.settings.SetFrameBiasPercent(70);
  rig.loader.Load();
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 5, 5), 0);  // black stays black
  // the object point is centred: output (30, 20) shows input (45, 24)
  EXPECT_GT(Image16GetPixel(rig.frames[0].Image, 30, 20), 250 << 8);  // a brighter bias lifts the rest
}

TEST(FrameLoader, SemiFramesEvenFieldFirstThenOddField) {
  TempDir dir;
  const std::string path = dir.File("fields.avi");
  {
    AviWriter writer(path, 8, 6, AviPixelFormat::Grey8);
    std::vector<std::uint8_t> pixels(48);
    for (int y = 0; y < 6; ++y) std::fill_n(pixels.begin() + 8 * y, 8, static_cast<std::uint8_t>(40 * y));
    writer.AddFrame(pixels.data());
    writer.Finish();
  }
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({path}));
  rig.settings.SetLoadFrames(&TLoadFramesSettings::AVISemiFrames, true);
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 2);
  // even field: odd rows rebuilt from their neighbours (here the same values); odd field: row 2 from rows 1 and 3
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 0, 1), 40 << 8);
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 0, 2), 80 << 8);
  EXPECT_EQ(Image16GetPixel(rig.frames[1].Image, 0, 2), ((40 + 120) / 2) << 8);
  EXPECT_EQ(Image16GetPixel(rig.frames[1].Image, 0, 0), 0);  // row 0 stays
}

TEST(FrameLoader, VideoCorrectionAndMedian) {
  TempDir dir;
  const std::string path = dir.File("shifted.avi");
  std::vector<std::uint8_t> pixels(100 * 10);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i % 251);
  {
    AviWriter writer(path, 100, 10, AviPixelFormat::Grey8);
    writer.AddFrame(pixels.data());
    writer.Finish();
  }
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({path}));
  rig.settings.SetLoadFrames(&TLoadFramesSettings::AVICorrection, true);
  rig.loader.Load();
  const TImage16& c = rig.frames[0].Image;
  // sample i takes sample i + 255 for the first 10 - ceil(255 / 100) = 7 rows; the rest is black
  EXPECT_EQ(Image16GetPixel(c, 0, 0), pixels[255] << 8);
  EXPECT_EQ(Image16GetPixel(c, 44, 6), pixels[6 * 100 + 44 + 255] << 8);
  EXPECT_EQ(Image16GetPixel(c, 5, 7), 0);
  EXPECT_EQ(Image16GetPixel(c, 99, 9), 0);

  rig.settings.SetLoadFrames(&TLoadFramesSettings::AVICorrection, false);
  rig.settings.SetLoadFrames(&TLoadFramesSettings::Median, true);
  rig.loader.Load();
  const TImage16& m = rig.frames[0].Image;
  std::vector<int> nine;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) nine.push_back(pixels[(4 + dy) * 100 + 50 + dx]);
  std::nth_element(nine.begin(), nine.begin() + 4, nine.end());
  EXPECT_EQ(Image16GetPixel(m, 50, 4), nine[4] << 8);
  EXPECT_EQ(Image16GetPixel(m, 0, 4), 0);  // the border of the median plane is black
  EXPECT_EQ(Image16GetPixel(m, 50, 9), 0);
  rig.loader.Load();  // the reused work plane gives the same frame
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 99, 0), 0);
  EXPECT_EQ(Image16GetPixel(rig.frames[0].Image, 50, 4), nine[4] << 8);
}

TEST(FrameLoader, PanesAndTheSettingsListener) {
  TempDir dir;
  const std::string video = WriteVideo(dir, "v.avi", 30);
  Rig rig;
  rig.services.InputPane = rig.services.ResultPane = true;
  ASSERT_TRUE(rig.loader.Preview({video}));
  // The preview shows frame 0 unprocessed in the input pane and processed in the result pane.
  EXPECT_EQ(rig.services.LastInput.Row(0)[3], 0);
  EXPECT_EQ(rig.services.LastInput.Row(0)[0], 255);  // pixel (0, 0) of frame 0 holds 255
  EXPECT_EQ(rig.services.LastResult.Width(), 32);

  rig.settings.SetAVIStart(7);  // a new start frame is shown unprocessed in the input pane
  EXPECT_EQ(rig.services.LastInput.Row(1)[0], 7);
  rig.settings.SetAVIEnd(12);  // a new end frame is shown unprocessed in the result pane
  EXPECT_EQ(rig.services.LastResult.Row(1)[0], 12);

  // Start and end unchanged: the picture in the input pane is processed again with the new settings.
  rig.settings.SetFrameGainPercent(80);
  EXPECT_EQ(rig.services.LastResult.Width(), 32);
  EXPECT_NE(rig.services.LastResult.Row(1)[0], 7);  // the contrast curve moved the grey 7
  EXPECT_TRUE(rig.frames.Empty());                  // nothing is added to the list
}

// ---- frames from every source: SER videos, deep pictures, large pictures ----

namespace {

using Samples = std::vector<std::uint16_t>;

// A 16-bit value per frame f and pixel i that is not a multiple of 256.
std::uint16_t DeepValue(int f, int i) { return static_cast<std::uint16_t>(1000 + 257 * f + 3 * i); }

}  // namespace

TEST(FrameLoader, SerVideosLoadLikeAvisAtFullPrecision) {
  TempDir dir;
  const int w = 8, h = 6, n = 10;
  std::vector<Samples> deep, grey;
  for (int f = 0; f < n; ++f) {
    Samples d(w * h), g(w * h);
    for (int i = 0; i < w * h; ++i) d[i] = DeepValue(f, i), g[i] = static_cast<std::uint16_t>(f);
    g[0] = static_cast<std::uint16_t>(255 - f);
    deep.push_back(d), grey.push_back(g);
  }
  test::WriteSer(dir.File("deep.SER"), {.LittleEndianFlag = 0, .Width = w, .Height = h, .Depth = 16}, deep);
  Rig rig;
  rig.settings.LoadFrames.AVIStart = 2;
  rig.settings.LoadFrames.AVIEnd = 8;
  rig.settings.LoadFrames.AVISkipFrames = 3;
  ASSERT_TRUE(rig.loader.Preview({dir.File("deep.SER")}));
  EXPECT_EQ(rig.settings.LoadFrames.SourceType, 4);
  EXPECT_EQ(rig.settings.AVIEndMaximum, n - 1);
  rig.settings.LoadFrames.AVIStart = 2;
  rig.settings.LoadFrames.AVIEnd = 8;
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 2);  // frames 3 and 6
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(rig.frames[k].Number, 3 * (k + 1));
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(rig.frames[k].Image.Data[i], DeepValue(3 * (k + 1), i)) << i;
  }

  // An 8-bit SER gives exactly the frames the same pictures give as an AVI, semi frames too.
  std::vector<Samples> frames8;
  for (int f = 0; f < 4; ++f) {
    Samples s(32 * 24, static_cast<std::uint16_t>(f));
    s[0] = static_cast<std::uint16_t>(255 - f);
    for (int i = 32; i < 64; ++i) s[i] = static_cast<std::uint16_t>(40 * f + i);  // row 1 differs: the fields matter
    frames8.push_back(s);
  }
  test::WriteSer(dir.File("grey.ser"), {.Width = 32, .Height = 24}, frames8);
  {
    AviWriter writer(dir.File("grey.avi"), 32, 24, AviPixelFormat::Grey8);
    for (const Samples& s : frames8) {
      std::vector<std::uint8_t> bytes(s.begin(), s.end());
      writer.AddFrame(bytes.data());
    }
    writer.Finish();
  }
  for (bool semi : {false, true}) {
    Rig ser, avi;
    for (Rig* r : {&ser, &avi}) r->settings.LoadFrames.AVISemiFrames = semi;
    ser.loader.Preview({dir.File("grey.ser")});
    ser.loader.Load();
    avi.loader.Preview({dir.File("grey.avi")});
    avi.loader.Load();
    ASSERT_EQ(ser.frames.Count(), semi ? 8 : 4);
    ASSERT_EQ(avi.frames.Count(), ser.frames.Count());
    for (int k = 0; k < ser.frames.Count(); ++k)
      EXPECT_TRUE(test::SamePlane(ser.frames[k].Image, avi.frames[k].Image)) << "semi " << semi << " frame " << k;
  }
}

TEST(FrameLoader, DeepDarkFramesKeepTheirPrecision) {
  TempDir dir;
  const int w = 4, h = 3;
  Samples light(w * h), dark(w * h);
  for (int i = 0; i < w * h; ++i)
    light[i] = static_cast<std::uint16_t>(20000 + 7 * i), dark[i] = static_cast<std::uint16_t>(101 + i);
  test::WriteSer(dir.File("light.ser"), {.LittleEndianFlag = 1, .Width = w, .Height = h, .Depth = 16}, {light});
  Picture16 darkPicture(w, h, 1);
  std::copy(dark.begin(), dark.end(), darkPicture.Samples());
  WritePng16File(dir.File("dark.png"), darkPicture);
  Rig rig;
  rig.settings.LoadFrames.DarkFrame = true;
  rig.settings.LoadFrames.DarkFrameFile = dir.File("dark.png");
  rig.loader.Preview({dir.File("light.ser")});
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 1);
  for (int i = 0; i < w * h; ++i) EXPECT_EQ(rig.frames[0].Image.Data[i], light[i] - dark[i]) << i;
}

TEST(FrameLoader, ACameraSizedJpegLoadsWholeAndItsCentreMatchesTheDecodedPicture) {
  // 4608 x 3456: past the old limits of 3600 columns and 7200 x 2700 planes.
  const int w = 4608, h = 3456;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * w + x) * 3;
      p[0] = static_cast<std::uint8_t>(x / 18), p[1] = static_cast<std::uint8_t>(y / 14),
      p[2] = static_cast<std::uint8_t>((x + y) / 32);
    }
  TempDir dir;
  const std::string file = dir.File("camera.jpg");
  test::WriteBytes(file, test::Encode(w, h, 3, rgb, false, true));
  Rig rig;
  ASSERT_TRUE(rig.loader.Preview({file}));
  EXPECT_EQ(rig.settings.LoadFrames.OutputWidth, w);  // "Same as input" follows the input
  EXPECT_EQ(rig.settings.LoadFrames.OutputHeight, h);
  rig.loader.Load();
  ASSERT_EQ(rig.frames.Count(), 1);
  const TImage16& plane = rig.frames[0].Image;
  ASSERT_EQ(plane.Width, w);
  ASSERT_EQ(plane.Height, h);
  // The reference: the decoded picture's luminance, (77 R + 151 G + 28 B) shr 8, x 256, over a centre crop.
  Bitmap decoded;
  JpegDecoder().Decode(file, decoded);
  for (int y = h / 2 - 64; y < h / 2 + 64; ++y)
    for (int x = w / 2 - 64; x < w / 2 + 64; ++x) {
      const std::uint8_t* p = decoded.Row(y) + 3 * x;
      ASSERT_EQ(Image16GetPixel(plane, x, y), Luminance(p[2], p[1], p[0]) << 8) << x << "," << y;
    }
  // And the far corner is there too.
  const std::uint8_t* last = decoded.Row(h - 1) + 3 * (w - 1);
  EXPECT_EQ(Image16GetPixel(plane, w - 1, h - 1), Luminance(last[2], last[1], last[0]) << 8);
}
