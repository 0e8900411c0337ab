// Rendering the result planes into the 24-bit picture: the LUT file, the
// brightness/contrast table, the six views and the colour mix.
#include "output/render.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

#include "core/errors.h"
#include "io/bmp_builder.h"
#include "output/bitmap_ops.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::ConstantPlane;
using corvane::test::RandomPlane;
using corvane::test::TempDir;
using corvane::test::WriteBytes;

namespace {

class PaneServices : public Services {
 public:
  int Shows = 0;
  Bitmap Pane;
  std::vector<std::string> Status;
  bool HasResultPane() const noexcept override { return true; }
  void ShowInResultPane(const Bitmap& b) override {
    ++Shows;
    Pane = b;
  }
  const Bitmap* ResultPaneBitmap() const noexcept override { return &Pane; }

 protected:
  void OnStatus(const std::string& text) override { Status.push_back(text); }
};

/// A LUT file of the given words, then `extra` more bytes.
void WriteLut(const std::string& path, const std::vector<std::uint16_t>& words, std::size_t extra = 0) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t w : words) {
    bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  bytes.resize(bytes.size() + extra, 0xAB);
  WriteBytes(path, bytes);
}

struct Pixel {
  int b, g, r;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};
Pixel At(const Bitmap& bm, int x, int y) {
  const std::uint8_t* p = bm.Row(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

TResultPicture RandomResult(std::mt19937& rng, int w, int h) {
  TResultPicture result;
  result.Mono = RandomPlane(rng, w, h);
  result.R = RandomPlane(rng, w, h);
  result.G = RandomPlane(rng, w, h);
  result.B = RandomPlane(rng, w, h);
  return result;
}

/// The colour mix written out plainly, in 64-bit arithmetic.
Pixel ReferenceMix(int l, int r, int g, int b, long long s, long long wr, long long wg, long long wb, bool useL) {
  auto clamp = [](long long v) { return static_cast<int>(std::clamp<long long>(v, 0, 255)); };
  long long R = r >> 8, G = g >> 8, B = b >> 8, L = l >> 8;
  if (!useL) return {clamp(B * wb / 85), clamp(G * wg / 85), clamp(R * wr / 85)};
  long long i = (R * wr + G * wg + B * wb) / 256;
  if (s != 256) {
    R = i + ((R - i) * s) / 256;
    G = i + ((G - i) * s) / 256;
    B = i + ((B - i) * s) / 256;
  }
  if (i <= 0) i = 1;
  return {clamp(B * L / i), clamp(G * L / i), clamp(R * L / i)};
}

std::uint16_t Sample(const TImage16& p, int x, int y) {
  if (!p.HasStorage() || p.Width <= 0 || p.Height <= 0) return 0;
  return Image16GetPixel(p, std::min(x, p.Width - 1), std::min(y, p.Height - 1));
}

}  // namespace

// ---- the look-up tables ----------------------------------------------------

TEST(RenderLut, TheStartTableAndAZeroFileRenderBlack) {
  std::mt19937 rng(1);
  TResultPicture result = RandomResult(rng, 9, 7);
  Settings settings;
  settings.EditSave.UseLUT = true;
  RenderState state;
  NullServices services;
  Bitmap bm = RenderResultPicture(result, settings, state, 3, services);
  ASSERT_EQ(bm.Width(), 9);
  EXPECT_EQ(bm, Bitmap(9, 7));

  TempDir dir;
  WriteLut(dir.File("zero.lut"), std::vector<std::uint16_t>(65536, 0));
  std::fill(std::begin(*state.LutTable), std::end(*state.LutTable), std::uint16_t{1000});
  settings.EditSave.LUTFile = dir.File("zero.lut");
  EXPECT_EQ(RenderResultPicture(result, settings, state, 3, services), Bitmap(9, 7));
}

TEST(RenderLut, FileIsReadAsLittleEndianWordsAtEveryRendering) {
  TempDir dir;
  std::vector<std::uint16_t> words(65536);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint16_t>(i * 40503u + 17u);
  WriteLut(dir.File("a.lut"), words, 100);  // bytes beyond the table are ignored

  std::mt19937 rng(2);
  TResultPicture result = RandomResult(rng, 13, 5);
  Settings settings;
  settings.EditSave.LUTFile = dir.File("a.lut");
  RenderState state;
  NullServices services;
  // Read even without "Use LUT", which then leaves the picture alone.
  Bitmap plain = RenderResultPicture(result, settings, state, 3, services);
  for (std::size_t i = 0; i < 65536; i += 997) EXPECT_EQ((*state.LutTable)[i], words[i]);
  EXPECT_EQ(At(plain, 4, 2).r, Image16GetPixel(result.Mono, 4, 2) >> 8);

  settings.EditSave.UseLUT = true;
  Bitmap mapped = RenderResultPicture(result, settings, state, 3, services);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 13; ++x) {
      const int v = words[Image16GetPixel(result.Mono, x, y)] >> 8;
      ASSERT_EQ(At(mapped, x, y), (Pixel{v, v, v})) << x << "," << y;
    }
}

TEST(RenderLut, MissingOrShortFileKeepsThePaneAndTheTable) {
  TempDir dir;
  std::mt19937 rng(3);
  TResultPicture result = RandomResult(rng, 6, 6);
  Settings settings;
  RenderState state;
  PaneServices pane;
  const Bitmap shown = RenderResultPicture(result, settings, state, 3, pane);
  ASSERT_EQ(pane.Shows, 1);
  (*state.LutTable)[5] = 55;

  WriteLut(dir.File("short.lut"), std::vector<std::uint16_t>(65535, 9), 1);  // 131 071 bytes
  ASSERT_EQ(::mkfifo(dir.File("pipe.lut").c_str(), 0644), 0);                // refused, not waited on
  for (const std::string& name :
       {dir.File("missing.lut"), dir.File("short.lut"), dir.Path().string(), dir.File("pipe.lut")}) {
    settings.EditSave.LUTFile = name;
    settings.EditSave.Bias = 0.9;
    try {
      RenderResultPicture(result, settings, state, 3, pane);
      ADD_FAILURE() << "no error for " << name;
    } catch (const ReadError& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
    EXPECT_EQ(pane.Shows, 1);
    EXPECT_EQ(pane.Pane, shown);
    EXPECT_EQ((*state.LutTable)[5], 55);
    EXPECT_EQ((*state.LutTable)[6], 0);
  }
}

TEST(RenderLut, TheWindowRendersWithoutAFileThatWentMissingAndSaysSoOnce) {
  TempDir dir;
  std::vector<std::uint16_t> inverting(65536);
  for (std::size_t i = 0; i < inverting.size(); ++i) inverting[i] = static_cast<std::uint16_t>(65535 - i);
  const std::string file = dir.File("negative.lut");
  WriteLut(file, inverting);
  std::mt19937 rng(5);
  TResultPicture result = RandomResult(rng, 7, 4);
  Settings settings;
  settings.EditSave.LUTFile = file;
  settings.EditSave.UseLUT = true;
  RenderState state;
  state.RenderWithoutUnreadableLut = true;
  PaneServices pane;
  const Bitmap negative = RenderResultPicture(result, settings, state, 3, pane);
  EXPECT_EQ(At(negative, 3, 1).r, (65535 - Image16GetPixel(result.Mono, 3, 1)) >> 8);

  // Gone: the picture as without "Use LUT", shown; the status line says it once.
  std::filesystem::remove(file);
  Settings without;
  RenderState plainState;
  const Bitmap plain = RenderResultPicture(result, without, plainState, 3, pane);
  for (int change = 0; change < 3; ++change) EXPECT_EQ(RenderResultPicture(result, settings, state, 3, pane), plain);
  EXPECT_EQ(pane.Pane, plain);
  EXPECT_EQ(RenderResultPicture16(result, settings, state).Width(), 7);  // a 16-bit save goes without it too
  ASSERT_EQ(pane.Status.size(), 1u);
  EXPECT_NE(pane.Status[0].find("without its LUT"), std::string::npos) << pane.Status[0];
  EXPECT_NE(pane.Status[0].find(file), std::string::npos) << pane.Status[0];
  // Back again, it is used again; gone again, said again.
  WriteLut(file, inverting);
  EXPECT_EQ(RenderResultPicture(result, settings, state, 3, pane), negative);
  std::filesystem::remove(file);
  RenderResultPicture(result, settings, state, 3, pane);
  EXPECT_EQ(pane.Status.size(), 2u);

  // "No LUT" forgets the file and stops using a table, with one notification.
  int notified = 0;
  settings.RegisterEditSaveListener([&] { ++notified; });
  ClearLutFile(settings);
  EXPECT_TRUE(settings.EditSave.LUTFile.empty());
  EXPECT_FALSE(settings.EditSave.UseLUT);
  EXPECT_EQ(notified, 1);
}

TEST(RenderLut, ChoosingAFileThatIsNoTableChangesNothing) {
  TempDir dir;
  Settings settings;
  int notified = 0;
  settings.RegisterEditSaveListener([&] { ++notified; });
  WriteLut(dir.File("good.lut"), std::vector<std::uint16_t>(65536, 7), 0);
  WriteLut(dir.File("short.lut"), std::vector<std::uint16_t>(65535, 9), 1);
  ChooseLutFile(settings, dir.File("good.lut"));
  EXPECT_EQ(settings.EditSave.LUTFile, dir.File("good.lut"));
  EXPECT_EQ(notified, 1);
  for (const std::string& name : {dir.File("missing.lut"), dir.File("short.lut")}) {
    EXPECT_THROW(ChooseLutFile(settings, name), ReadError) << name;
    EXPECT_EQ(settings.EditSave.LUTFile, dir.File("good.lut"));
    EXPECT_EQ(notified, 1);
  }
}

TEST(RenderLut, BiasAndGainApplyAfterTheUserTable) {
  std::mt19937 rng(4);
  TResultPicture result = RandomResult(rng, 31, 17);
  Settings settings;
  RenderState state;
  NullServices services;
  // 0.5 and 0.5: the identity.
  Bitmap identity = RenderResultPicture(result, settings, state, 3, services);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 31; ++x) {
      const int v = Image16GetPixel(result.Mono, x, y) >> 8;
      ASSERT_EQ(At(identity, x, y), (Pixel{v, v, v}));
    }

  std::vector<std::uint16_t> bg(65536);
  settings.EditSave.Bias = 0.55;
  settings.EditSave.Gain = 0.45;
  settings.EditSave.UseLUT = true;
  BuildBiasGainLut(bg.data(), 65536, 0.55, 0.45);
  for (std::size_t i = 0; i < 65536; ++i) (*state.LutTable)[i] = static_cast<std::uint16_t>(65535 - i);
  Bitmap both = RenderResultPicture(result, settings, state, 3, services);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 31; ++x) {
      const int v = bg[65535 - Image16GetPixel(result.Mono, x, y)] >> 8;
      ASSERT_EQ(At(both, x, y), (Pixel{v, v, v}));
    }
}

// ---- views and the pane ----------------------------------------------------

TEST(RenderView, NothingIsShownWhilePreviewing) {
  std::mt19937 rng(5);
  TResultPicture result = RandomResult(rng, 8, 4);
  Settings settings;
  RenderState state;
  PaneServices pane;
  Bitmap preview = RenderResultPicture(result, settings, state, 1, pane);
  EXPECT_EQ(pane.Shows, 0);
  EXPECT_EQ(preview.Width(), 8);
  for (std::uint8_t st : {0, 2, 5}) {
    Bitmap bm = RenderResultPicture(result, settings, state, st, pane);
    EXPECT_EQ(pane.Pane, bm);
  }
  EXPECT_EQ(pane.Shows, 3);
}

TEST(RenderView, SingleChannelGreyOrInItsOwnColour) {
  std::mt19937 rng(6);
  TResultPicture result = RandomResult(rng, 10, 6);
  Settings settings;
  settings.EditSave.Bias = 0.8;  // the colour planes pass unchanged
  settings.EditSave.UseLUT = true;
  RenderState state;
  NullServices services;
  const TImage16* planes[] = {&result.R, &result.G, &result.B};
  for (std::uint8_t show = 1; show <= 3; ++show) {
    settings.EditSave.ShowAs = show;
    for (bool colour : {false, true}) {
      settings.General.ShowRGBcolor = colour;
      Bitmap bm = RenderResultPicture(result, settings, state, 3, services);
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
          const int v = Image16GetPixel(*planes[show - 1], x, y) >> 8;
          Pixel want{v, v, v};
          if (colour) want = {show == 3 ? v : 0, show == 2 ? v : 0, show == 1 ? v : 0};
          ASSERT_EQ(At(bm, x, y), want) << int(show) << colour;
        }
    }
  }
}

TEST(RenderView, TheMonoPlaneSetsTheSize) {
  std::mt19937 rng(7);
  TResultPicture result = RandomResult(rng, 12, 9);
  result.R = RandomPlane(rng, 5, 20);  // an older run of another size
  Settings settings;
  settings.EditSave.ShowAs = 1;
  settings.General.ShowRGBcolor = false;
  RenderState state;
  NullServices services;
  Bitmap bm = RenderResultPicture(result, settings, state, 3, services);
  ASSERT_EQ(bm.Width(), 12);
  ASSERT_EQ(bm.Height(), 9);
  EXPECT_EQ(At(bm, 4, 8).r, Image16GetPixel(result.R, 4, 8) >> 8);
  EXPECT_EQ(At(bm, 5, 0), (Pixel{0, 0, 0}));

  // An empty or released mono plane gives an empty picture in every view.
  Image16Free(result.Mono);
  for (std::uint8_t show = 0; show < 6; ++show) {
    settings.EditSave.ShowAs = show;
    EXPECT_TRUE(RenderResultPicture(result, settings, state, 3, services).Empty());
  }
}

TEST(RenderView, ColourViewsUseTheMappedMonoPlane) {
  std::mt19937 rng(8);
  TResultPicture result = RandomResult(rng, 7, 5);
  Settings settings;
  settings.EditSave.UseLUT = true;
  RenderState state;
  for (std::size_t i = 0; i < 65536; ++i) (*state.LutTable)[i] = static_cast<std::uint16_t>(i / 2);
  settings.EditSave.ShowAs = 4;
  settings.EditSave.Saturation = 1.5;
  NullServices services;
  Bitmap bm = RenderResultPicture(result, settings, state, 3, services);
  TImage16 p = ConstantPlane(7, 5, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) Image16SetPixel(p, x, y, Image16GetPixel(result.Mono, x, y) / 2);
  Bitmap want(7, 5);
  RenderColour(want, p, result.R, result.G, result.B, 1.5, 0.30, 0.59, 0.11, true);
  EXPECT_EQ(bm, want);

  settings.EditSave.ShowAs = 5;
  Bitmap rgb = RenderResultPicture(result, settings, state, 3, services);
  RenderColour(want, p, result.R, result.G, result.B, 1.5, 0.30, 0.59, 0.11, false);
  EXPECT_EQ(rgb, want);
}

// ---- the colour mix ----------------------------------------------------------

TEST(RenderColour, GreyColourPlanesGiveASlightlyBrighterGrey) {
  // Weights 0.30, 0.59, 0.11 round to 76 (76.5, ties to even), 150 and 28,
  // which add up to 254: i = r x 254 div 256.
  for (int r : {1, 2, 100, 128, 200, 255}) {
    for (int l : {0, 50, 255}) {
      TImage16 L = ConstantPlane(3, 2, static_cast<std::uint16_t>(l << 8));
      TImage16 C = ConstantPlane(3, 2, static_cast<std::uint16_t>(r << 8 | 0xFF));
      Bitmap bm(3, 2);
      RenderColour(bm, L, C, C, C, 1.0, 0.30, 0.59, 0.11, true);
      int i = r * 254 / 256;
      if (i <= 0) i = 1;
      const int v = std::min(255, r * l / i);
      EXPECT_EQ(At(bm, 2, 1), (Pixel{v, v, v})) << r << " " << l;
    }
  }
}

TEST(RenderColour, BlackColourPlanesGiveBlackNotADivisionByZero) {
  TImage16 L = ConstantPlane(4, 4, 65535);
  TImage16 C = ConstantPlane(4, 4, 255);  // below 256: reads as 0
  Bitmap bm(4, 4);
  for (double s : {0.0, 1.0, 2.0}) {
    RenderColour(bm, L, C, C, C, s, 0.30, 0.59, 0.11, true);
    EXPECT_EQ(bm, Bitmap(4, 4));
  }
}

TEST(RenderColour, RgbWithTvAndEqualWeights) {
  std::mt19937 rng(9);
  TImage16 L = RandomPlane(rng, 6, 3), R = RandomPlane(rng, 6, 3), G = RandomPlane(rng, 6, 3),
           B = RandomPlane(rng, 6, 3);
  Bitmap bm(6, 3);
  RenderColour(bm, L, R, G, B, 0.0, 0.30, 0.59, 0.11, false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) {
      const int r = Image16GetPixel(R, x, y) >> 8, g = Image16GetPixel(G, x, y) >> 8, b = Image16GetPixel(B, x, y) >> 8;
      EXPECT_EQ(At(bm, x, y), (Pixel{b * 28 / 85, std::min(255, g * 150 / 85), r * 76 / 85}));
    }
  // "1:1:1": 0.33 / 0.99 of 255 is 85, the channels pass unchanged.
  const double third = 0.33 / 0.99;
  RenderColour(bm, L, R, G, B, 1.0, third, third, third, false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(At(bm, x, y),
                (Pixel{Image16GetPixel(B, x, y) >> 8, Image16GetPixel(G, x, y) >> 8, Image16GetPixel(R, x, y) >> 8}));
}

TEST(RenderColour, MatchesThePlainDefinitionForAnyPlaneSizes) {
  std::mt19937 rng(10);
  std::uniform_int_distribution<int> size(0, 23);
  std::uniform_real_distribution<double> sat(0.0, 2.0), weight(0.0, 1.0);
  for (int round = 0; round < 60; ++round) {
    const int w = 1 + size(rng), h = 1 + size(rng);
    auto plane = [&] {
      const int pw = size(rng), ph = size(rng);
      return (pw == 0 || ph == 0) ? TImage16{} : RandomPlane(rng, pw, ph);
    };
    TImage16 L = plane(), R = plane(), G = plane(), B = plane();
    double s = round % 4 == 0 ? 1.0 : sat(rng);
    double wr = weight(rng), wg = weight(rng), wb = weight(rng);
    if (round % 5 == 1) wr = 40.0;  // large factors take the 64-bit path
    if (round % 7 == 2) s = -3.0;
    const bool useL = round % 3 != 0;
    Bitmap bm(w, h, PixelFormat::Indexed8);  // any format: made 24-bit
    RenderColour(bm, L, R, G, B, s, wr, wg, wb, useL);
    ASSERT_EQ(bm.Format(), PixelFormat::Bgr24);
    ASSERT_EQ(bm.Width(), w);
    const long long S = std::llround(std::nearbyint(256 * s));
    const long long WR = std::llround(std::nearbyint(255 * wr)), WG = std::llround(std::nearbyint(255 * wg)),
                    WB = std::llround(std::nearbyint(255 * wb));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(At(bm, x, y),
                  ReferenceMix(Sample(L, x, y), Sample(R, x, y), Sample(G, x, y), Sample(B, x, y), S, WR, WG, WB, useL))
            << "round " << round << " at " << x << "," << y;
  }
}

TEST(RenderColour, RefusesValuesThatAreNotNumbers) {
  TImage16 P = ConstantPlane(2, 2, 40000);
  Bitmap bm(2, 2);
  bm.Row(0)[0] = 7;
  EXPECT_THROW(RenderColour(bm, P, P, P, P, std::nan(""), 0.3, 0.3, 0.3, true), RangeError);
  EXPECT_THROW(RenderColour(bm, P, P, P, P, 1.0, 1e300, 0.3, 0.3, true), RangeError);
  EXPECT_THROW(RenderColour(bm, P, P, P, P, 1.0, 0.3, -INFINITY, 0.3, false), RangeError);
  EXPECT_EQ(bm.Row(0)[0], 7);
}

// ---- the 16-bit rendering of the result files ---------------------------------

TEST(RenderResultPicture16, TheSameRulesWithoutTheCutToEightBits) {
  std::mt19937 rng(16);
  TResultPicture result = RandomResult(rng, 9, 6);
  result.R = RandomPlane(rng, 5, 4);  // a smaller plane repeats its last column and row
  Settings settings;
  settings.EditSave.UseLUT = true;
  settings.EditSave.Bias = 0.6;
  settings.EditSave.Saturation = 1.5;
  RenderState state;
  for (std::size_t i = 0; i < 65536; ++i) (*state.LutTable)[i] = static_cast<std::uint16_t>(i / 2);
  std::vector<std::uint16_t> curve(65536);
  BuildBiasGainLut(curve.data(), 65536, 0.6, 0.5);
  auto p = [&](int x, int y) { return curve[Image16GetPixel(result.Mono, x, y) / 2]; };
  NullServices services;

  // L: P as grey samples, whose high bytes are the 24-bit picture.
  settings.EditSave.ShowAs = 0;
  Picture16 grey = RenderResultPicture16(result, settings, state);
  ASSERT_EQ(grey.Channels(), 1);
  ASSERT_EQ(grey.Width(), 9);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(grey.Row(y)[x], p(x, y)) << x << "," << y;
  Bitmap shown;
  Picture16ToBitmap(shown, grey);
  EXPECT_EQ(shown, RenderResultPicture(result, settings, state, 3, services));

  // G: the plane as it is, grey.
  settings.EditSave.ShowAs = 2;
  Picture16 green = RenderResultPicture16(result, settings, state);
  EXPECT_EQ(green.Channels(), 1);
  EXPECT_EQ(green.Row(5)[8], Image16GetPixel(result.G, 8, 5));

  // LRGB and RGB: the colour mix on full samples, written out plainly.
  const long long s = 384, wr = 76, wg = 150, wb = 28;  // round(256 x 1.5), round(255 x weight)
  for (std::uint8_t show : {4, 5}) {
    settings.EditSave.ShowAs = show;
    Picture16 colour = RenderResultPicture16(result, settings, state);
    ASSERT_EQ(colour.Channels(), 3);
    auto clamp = [](long long v) { return static_cast<std::uint16_t>(std::clamp<long long>(v, 0, 65535)); };
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 9; ++x) {
        long long R = Sample(result.R, x, y), G = Sample(result.G, x, y), B = Sample(result.B, x, y), L = p(x, y);
        std::uint16_t want[3];
        if (show == 5) {
          want[0] = clamp(R * wr / 85), want[1] = clamp(G * wg / 85), want[2] = clamp(B * wb / 85);
        } else {
          long long i = (R * wr + G * wg + B * wb) / 256;
          R = i + ((R - i) * s) / 256, G = i + ((G - i) * s) / 256, B = i + ((B - i) * s) / 256;
          if (i <= 0) i = 1;
          want[0] = clamp(R * L / i), want[1] = clamp(G * L / i), want[2] = clamp(B * L / i);
        }
        for (int c = 0; c < 3; ++c) ASSERT_EQ(colour.Row(y)[3 * x + c], want[c]) << x << "," << y << " " << int(show);
      }
  }
}
