// The batch run end to end, through the built program on inputs made here:
// shifts of a generated video, the mean of known frames, colour runs, every
// exit status with its message, and no partial output after a failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "core/bitmap.h"
#include "core/frame_list.h"
#include "core/services.h"
#include "io/avi_writer.h"
#include "io/bmp_builder.h"
#include "io/frame_source.h"
#include "io/picture_files.h"
#include "io/ser_writer.h"
#include "support/test_support.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::RunCli;
using Json = nlohmann::json;

/// A grey 24-bit BMP of width x height from 8-bit values, rows from the top.
void WriteGreyBmp(const std::string& path, int width, int height, const std::vector<std::uint8_t>& values) {
  Bitmap b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = b.Row(y) + 3 * x;
      p[0] = p[1] = p[2] = values[static_cast<std::size_t>(y * width + x)];
    }
  ASSERT_TRUE(SaveBitmapFile(b, path));
}

std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t n, int lo = 0, int hi = 255) {
  std::uniform_int_distribution<int> d(lo, hi);
  std::vector<std::uint8_t> v(n);
  for (auto& x : v) x = static_cast<std::uint8_t>(d(rng));
  return v;
}

Json ReadJson(const fs::path& path) { return Json::parse(test::ReadText(path)); }

/// The true shifts written by corvane-make-sample: index -> (x, y).
std::vector<std::pair<int, int>> ReadShifts(const fs::path& path) {
  std::istringstream in(test::ReadText(path));
  std::vector<std::pair<int, int>> shifts;
  int index, x, y;
  while (in >> index >> x >> y) {
    EXPECT_EQ(index, static_cast<int>(shifts.size()));
    shifts.emplace_back(x, y);
  }
  return shifts;
}

/// The one error line of a failed run ("corvane-cli: error: ..."); other
/// message lines may stand before it.
std::string ErrorLine(const test::ProcessResult& r) {
  std::istringstream in(r.Err);
  std::vector<std::string> errors;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("corvane-cli: error: ", 0) == 0) errors.push_back(line);
  EXPECT_EQ(errors.size(), 1u) << r.Err;
  return errors.empty() ? std::string() : errors.front();
}

TEST(CliRun, FindsTheTrueShiftsOfAGeneratedVideo) {
  test::TempDir dir;
  const test::ProcessResult made = test::RunProcess(
      test::MakeSampleBinary(), {"-W", "160", "-H", "120", "-n", "20", "--seed", "7", "-o", "planet.avi"}, dir.Path());
  ASSERT_EQ(made.Code, 0) << made.Err;
  const auto truth = ReadShifts(dir.Path() / "planet.shifts.txt");
  ASSERT_EQ(truth.size(), 20u);

  const test::ProcessResult r =
      RunCli({"--area", "96", "--report", "out/report.json", "-o", "out/planet.bmp", "planet.avi"}, dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, "out/planet.bmp\n");
  const Json report = ReadJson(dir.Path() / "out/report.json");
  EXPECT_EQ(report["program"], "corvane-cli");
  EXPECT_EQ(report["files"], Json::array({"planet.avi"}));
  EXPECT_EQ(report["input_size"], Json::array({160, 120}));
  EXPECT_EQ(report["output"], "out/planet.bmp");
  ASSERT_EQ(report["runs"].size(), 1u);
  const Json& run = report["runs"][0];
  EXPECT_EQ(run["channel"], "L");
  EXPECT_EQ(run["good_frames"], 20);
  ASSERT_EQ(run["frames"].size(), 20u);
  for (int i = 0; i < 20; ++i) {
    const Json& f = run["frames"][static_cast<std::size_t>(i)];
    EXPECT_EQ(f["index"], i);
    EXPECT_EQ(f["number"], i);
    EXPECT_EQ(f["file"], "planet.avi");
    EXPECT_EQ(f["shift"],
              Json::array({truth[static_cast<std::size_t>(i)].first, truth[static_cast<std::size_t>(i)].second}))
        << "frame " << i;
  }
  for (const char* key : {"center", "mean", "rotate", "resize", "correlation", "quality", "quality_correlation",
                          "quality_luminance", "quality_contrast", "width", "height"})
    EXPECT_TRUE(run["frames"][0].contains(key)) << key;
  for (const char* key : {"load", "stack", "calculate"}) EXPECT_TRUE(run["timings_ms"].contains(key)) << key;
  EXPECT_TRUE(fs::is_regular_file(dir.Path() / "out/planet.bmp"));
}

TEST(CliRun, RawOutputIsTheMeanOfKnownFrames) {
  test::TempDir dir;
  std::mt19937 rng(11);
  constexpr int W = 80, H = 60;
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < 3; ++i) {
    frames.push_back(RandomBytes(rng, W * H));
    const std::string name[] = {"f0.bmp", "f1.bmp", "f2.bmp"};
    WriteGreyBmp(dir.File(name[i]), W, H, frames.back());
  }
  const test::ProcessResult r = RunCli(
      {"--no-stack", "--raw-output", "mean.pgm", "--export-frames", "frames", "-q", "f0.bmp", "f1.bmp", "f2.bmp"},
      dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_TRUE(r.Out.empty());  // -q prints nothing
  EXPECT_TRUE(r.Err.empty());
  const TImage16 mean = test::ReadPgm16(dir.Path() / "mean.pgm");
  ASSERT_EQ(mean.Width, W);
  ASSERT_EQ(mean.Height, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      // 8-bit values enter as value x 256; the mean truncates.
      const std::size_t i = static_cast<std::size_t>(y * W + x);
      const int sum = 256 * (frames[0][i] + frames[1][i] + frames[2][i]);
      ASSERT_EQ(Image16GetPixel(mean, x, y), sum / 3) << x << "," << y;
    }
  // Each loaded frame, exported as it stands in the list.
  for (int i = 0; i < 3; ++i) {
    const std::string name[] = {"frame_0000.pgm", "frame_0001.pgm", "frame_0002.pgm"};
    const TImage16 f = test::ReadPgm16(dir.Path() / "frames" / name[i]);
    ASSERT_EQ(f.Width, W);
    EXPECT_EQ(Image16GetPixel(f, 5, 7), 256 * frames[static_cast<std::size_t>(i)][7 * W + 5]);
  }
  // The default picture name: the first file's stem, postfix and number, in the current folder.
  EXPECT_TRUE(fs::is_regular_file(dir.Path() / "f0__1.bmp"));
}

TEST(CliRun, SixteenBitSerFramesGiveSixteenBitResultFiles) {
  // 12-bit frames whose mean is known: the raw FITS plane and the 16-bit
  // pictures hold it at full precision (12-bit values x 16).
  test::TempDir dir;
  constexpr int W = 40, H = 30;
  std::vector<std::vector<std::uint16_t>> frames;
  for (int f = 0; f < 3; ++f) {
    std::vector<std::uint16_t> s(W * H);
    for (int i = 0; i < W * H; ++i)
      s[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>((i * 7 + f * 301) % 4096);
    frames.push_back(s);
  }
  test::WriteSer(dir.File("moon.ser"), {.LittleEndianFlag = 0, .Width = W, .Height = H, .Depth = 12}, frames);
  auto expected = [&](int i) {
    const auto k = static_cast<std::size_t>(i);
    return (16 * (frames[0][k] + frames[1][k] + frames[2][k])) / 3;
  };
  for (const char* output : {"result.png", "result.TIF", "result.fits"}) {
    const test::ProcessResult r =
        RunCli({"--no-stack", "-q", "-o", output, "--raw-output", "raw.fts", "moon.ser"}, dir.Path());
    ASSERT_EQ(r.Code, 0) << r.Err;
    for (const std::string& file : {std::string(output), std::string("raw.fts")}) {
      SourceFrame picture;
      JpegDecoder decoder;
      ASSERT_TRUE(ReadPictureFrame(dir.File(file), picture, decoder)) << file;
      ASSERT_TRUE(picture.IsDeep) << file;
      ASSERT_EQ(picture.Deep.Width(), W);
      ASSERT_EQ(picture.Deep.Channels(), 1);
      for (int i = 0; i < W * H; ++i) ASSERT_EQ(picture.Deep.Samples()[i], expected(i)) << file << " " << i;
    }
  }
}

TEST(CliRun, FrameRangeAppliesToEveryVideo) {
  test::TempDir dir;
  for (const auto& [name, count] : {std::pair{"short.avi", "6"}, {"long.avi", "14"}})
    ASSERT_EQ(
        test::RunProcess(test::MakeSampleBinary(), {"-W", "64", "-H", "48", "-n", count, "-o", name}, dir.Path()).Code,
        0);
  auto numbers = [&dir](const std::vector<std::string>& options) {
    std::vector<std::string> args = options;
    for (const char* a : {"--no-stack", "--report", "r.json", "short.avi", "long.avi"}) args.push_back(a);
    const test::ProcessResult r = RunCli(args, dir.Path());
    EXPECT_EQ(r.Code, 0) << r.Err;
    std::vector<std::pair<std::string, int>> out;
    const Json report = ReadJson(dir.Path() / "r.json");
    for (const Json& f : report["runs"][0]["frames"]) out.emplace_back(f["file"], f["number"]);
    return out;
  };
  // The preview of the shorter first video does not cut the longer one.
  EXPECT_EQ(numbers({}).size(), 20u);
  const std::vector<std::pair<std::string, int>> range{
      {"short.avi", 4}, {"long.avi", 4}, {"long.avi", 6}, {"long.avi", 8}, {"long.avi", 10}};
  EXPECT_EQ(numbers({"--avi-start", "3", "--avi-end", "11", "--avi-skip", "2"}), range);
}

TEST(CliRun, DefaultNameGoesIntoTheResultFolderMadeWhenMissing) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("jupiter.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  const test::ProcessResult r = RunCli({"--result-dir", "a/b", "--no-stack", "jupiter.bmp"}, dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_TRUE(fs::is_regular_file(dir.Path() / "a/b/jupiter__1.bmp"));
  EXPECT_EQ(r.Out, "a/b/jupiter__1.bmp\n");
}

/// A colour video whose green and blue move by known shifts while red stays
/// still: the luminance follows green, a search on red alone would find (0, 0).
void WriteColourVideo(const std::string& path, const std::vector<std::pair<int, int>>& shifts) {
  constexpr int W = 160, H = 120;
  AviWriter writer(path, W, H, AviPixelFormat::Bgr24);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(W * H * 3));
  auto disc = [](int x, int y, int cx, int cy) {
    const int dx = x - cx, dy = y - cy;
    const int r2 = dx * dx + dy * dy;
    return r2 < 400 ? 200 - r2 / 4 + ((x / 3 + y / 5) % 4) * 8 : 10;
  };
  for (const auto& [sx, sy] : shifts) {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        std::uint8_t* p = &frame[static_cast<std::size_t>((y * W + x) * 3)];
        const int moving = disc(x - sx, y - sy, W / 2, H / 2);
        p[0] = static_cast<std::uint8_t>(moving);                        // blue
        p[1] = static_cast<std::uint8_t>(moving);                        // green
        p[2] = static_cast<std::uint8_t>(disc(x, y, W / 2, H / 2) / 2);  // red, still
      }
    writer.AddFrame(frame.data());
  }
  writer.Finish();
}

TEST(CliRun, ColourChannelsTakeTheShiftsOfTheFirst) {
  test::TempDir dir;
  const std::vector<std::pair<int, int>> shifts{{0, 0}, {4, -3}, {-6, 2}, {7, 5}, {-2, -7}, {3, 3}};
  WriteColourVideo(dir.File("colour.avi"), shifts);
  const test::ProcessResult r = RunCli({"--channels", "LRGB", "--area", "96", "--report", "r.json", "--raw-output",
                                        "sum.pgm", "--export-frames", "ex", "-o", "colour.bmp", "colour.avi"},
                                       dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  const Json report = ReadJson(dir.Path() / "r.json");
  ASSERT_EQ(report["runs"].size(), 4u);
  const char* letters[] = {"L", "R", "G", "B"};
  for (std::size_t k = 0; k < 4; ++k) {
    const Json& run = report["runs"][k];
    EXPECT_EQ(run["channel"], letters[k]);
    ASSERT_EQ(run["frames"].size(), shifts.size());
    for (std::size_t i = 0; i < shifts.size(); ++i)
      EXPECT_EQ(run["frames"][i]["shift"], Json::array({shifts[i].first, shifts[i].second}))
          << letters[k] << " frame " << i;
  }
  EXPECT_EQ(report["raw_output"], Json::array({"sum_L.pgm", "sum_R.pgm", "sum_G.pgm", "sum_B.pgm"}));
  for (const char* name : {"sum_L.pgm", "sum_R.pgm", "sum_G.pgm", "sum_B.pgm"})
    EXPECT_EQ(test::ReadPgm16(dir.Path() / name).Width, 160) << name;
  for (const char* letter : letters) EXPECT_TRUE(fs::is_regular_file(dir.Path() / "ex" / letter / "frame_0005.pgm"));
}

// ---- Exit statuses and messages.

TEST(CliRun, MissingFileIsAnInputError) {
  test::TempDir dir;
  const test::ProcessResult r = RunCli({"-o", "x.bmp", "nothing.avi"}, dir.Path());
  EXPECT_EQ(r.Code, 2);
  EXPECT_EQ(ErrorLine(r), "corvane-cli: error: cannot read \"nothing.avi\": no such file");
  EXPECT_TRUE(test::FilesIn(dir.Path()).empty());
}

TEST(CliRun, UnreadablePictureIsAnInputErrorNamingTheFile) {
  test::TempDir dir;
  std::ofstream(dir.File("broken.bmp")) << "this is not a bitmap";
  const test::ProcessResult r = RunCli({"--report", "r.json", "-o", "x.bmp", "broken.bmp"}, dir.Path());
  EXPECT_EQ(r.Code, 2);
  const std::string line = ErrorLine(r);
  EXPECT_EQ(line.rfind("corvane-cli: error: ", 0), 0u) << line;
  EXPECT_NE(line.find("broken.bmp"), std::string::npos) << line;
  EXPECT_EQ(test::FilesIn(dir.Path()), std::vector<std::string>{"broken.bmp"});
}

TEST(CliRun, UndecodableVideoIsAnInputErrorOnlyWhenNoFrameLoads) {
  test::TempDir dir;
  std::ofstream(dir.File("noise.avi")) << std::string(4096, 'x');
  const test::ProcessResult r = RunCli({"-o", "x.bmp", "noise.avi"}, dir.Path());
  EXPECT_EQ(r.Code, 2);
  EXPECT_EQ(ErrorLine(r), "corvane-cli: error: no frame could be loaded: no video given could be decoded");
  EXPECT_NE(r.Err.find("corvane-cli: warning: cannot decode the video \"noise.avi\""), std::string::npos) << r.Err;
  EXPECT_EQ(test::FilesIn(dir.Path()), std::vector<std::string>{"noise.avi"});

  // With a readable file beside it the run goes on with that one.
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  const test::ProcessResult partly = RunCli({"--report", "r.json", "noise.avi", "p.bmp", "noise.avi"}, dir.Path());
  EXPECT_EQ(partly.Code, 0) << partly.Err;
  EXPECT_NE(partly.Err.find("corvane-cli: warning: cannot decode the video \"noise.avi\""), std::string::npos);
  EXPECT_EQ(ReadJson(dir.Path() / "r.json")["runs"][0]["frames"].size(), 1u);
  EXPECT_EQ(partly.Out, "p__1.bmp\n");
}

TEST(CliRun, ShortLutIsAnInputErrorAndNothingIsWritten) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  std::ofstream(dir.File("short.lut"), std::ios::binary) << std::string(131071, '\0');
  const test::ProcessResult r = RunCli(
      {"--lut", "short.lut", "--report", "r.json", "--raw-output", "raw.pgm", "-o", "x.bmp", "p.bmp"}, dir.Path());
  EXPECT_EQ(r.Code, 2);
  const std::string line = ErrorLine(r);
  EXPECT_EQ(line.rfind("corvane-cli: error: ", 0), 0u) << line;
  EXPECT_NE(line.find("short.lut"), std::string::npos) << line;
  EXPECT_EQ(test::FilesIn(dir.Path()), (std::vector<std::string>{"p.bmp", "short.lut"}));
}

TEST(CliRun, PsfPicturesAreReadAsThePsfButtonReadsThem) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  WriteGreyBmp(dir.File("big.bmp"), 18, 15, std::vector<std::uint8_t>(18 * 15, 50));
  const test::ProcessResult big =
      RunCli({"--unsharp", "4", "--unsharp-psf", "big.bmp", "-o", "x.bmp", "p.bmp"}, dir.Path());
  EXPECT_EQ(big.Code, 0) << big.Err;
  EXPECT_NE(big.Err.find("corvane-cli: warning: The PSF picture is larger than 17 x 15 pixels: \"big.bmp\""),
            std::string::npos)
      << big.Err;

  std::ofstream(dir.File("broken.bmp")) << "not a picture";
  const test::ProcessResult broken =
      RunCli({"--deconvolve", "lr", "--deconvolve-psf", "broken.bmp", "-o", "y.bmp", "p.bmp"}, dir.Path());
  EXPECT_EQ(broken.Code, 2);
  EXPECT_NE(ErrorLine(broken).find("broken.bmp"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.Path() / "y.bmp"));
}

TEST(CliRun, UnwritableOutputIsAnOutputErrorWithNoPartialFile) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  std::ofstream(dir.File("file")) << "a file where a folder should be";
  const test::ProcessResult r = RunCli({"--report", "r.json", "-o", "file/x.bmp", "p.bmp"}, dir.Path());
  EXPECT_EQ(r.Code, 4);
  const std::string line = ErrorLine(r);
  EXPECT_EQ(line.rfind("corvane-cli: error: ", 0), 0u) << line;
  EXPECT_NE(line.find("file"), std::string::npos) << line;
  EXPECT_EQ(test::FilesIn(dir.Path()), (std::vector<std::string>{"file", "p.bmp"}));
}

TEST(CliRun, OtherExtensionsAreSkippedWithAWarning) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.BMP"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  std::ofstream(dir.File("notes.txt")) << "x";
  const test::ProcessResult r = RunCli({"-o", "x.bmp", "notes.txt", "p.BMP"}, dir.Path());
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Err.find("corvane-cli: warning: skipping \"notes.txt\""), std::string::npos) << r.Err;
  const test::ProcessResult none = RunCli({"notes.txt"}, dir.Path());
  EXPECT_EQ(none.Code, 1);
  EXPECT_NE(none.Err.find("corvane-cli: error: no input file"), std::string::npos) << none.Err;
}

TEST(CliRun, FrameBeyondTheLoadedFramesIsAUsageError) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  const test::ProcessResult r =
      RunCli({"--basis", "user", "--frame", "3", "-o", "x.bmp", "p.bmp", "p.bmp"}, dir.Path());
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(ErrorLine(r), "corvane-cli: error: --frame: value 3 is outside 1..2 (the frames loaded)");
}

TEST(CliRun, WidePicturesLoadAndPicturesBeyondTheReaderLimitsAreInputErrors) {
  test::TempDir dir;
  // A 24-bit BMP wider than the 3600 columns 24-bit rows once had.
  constexpr int W = 3700, H = 2;
  const int stride = (W * 3 + 3) & ~3;
  std::string bmp = "BM";
  auto put32 = [&bmp](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<char>(v >> (8 * i)));
  };
  auto put16 = [&bmp](std::uint32_t v) {
    for (int i = 0; i < 2; ++i) bmp.push_back(static_cast<char>(v >> (8 * i)));
  };
  put32(static_cast<std::uint32_t>(54 + stride * H));
  put32(0);
  put32(54);
  put32(40);
  put32(W);
  put32(H);
  put16(1);
  put16(24);
  for (std::uint32_t v : {0u, static_cast<std::uint32_t>(stride * H), 2835u, 2835u, 0u, 0u}) put32(v);
  bmp.append(static_cast<std::size_t>(stride * H), '\x40');
  std::ofstream(dir.File("wide.bmp"), std::ios::binary) << bmp;
  const test::ProcessResult ok = RunCli({"-o", "x.bmp", "--no-stack", "wide.bmp"}, dir.Path());
  EXPECT_EQ(ok.Code, 0) << ok.Err;
  Bitmap saved;
  ReadBmpFile(dir.File("x.bmp"), saved);
  EXPECT_EQ(saved.Width(), W);
  EXPECT_EQ(saved.Row(1)[3 * (W - 1)], 0x40);
  // Beyond the reader limits (40 000 columns): an input error naming the file and the limit.
  bmp.replace(18, 4, std::string("\x40\x9c\0\0", 4));
  std::ofstream(dir.File("huge.bmp"), std::ios::binary) << bmp;
  const test::ProcessResult r = RunCli({"-o", "y.bmp", "huge.bmp"}, dir.Path());
  EXPECT_EQ(r.Code, 2);
  const std::string line = ErrorLine(r);
  EXPECT_NE(line.find("32768"), std::string::npos) << line;
  EXPECT_NE(line.find("huge.bmp"), std::string::npos) << line;
  EXPECT_FALSE(std::filesystem::exists(dir.File("y.bmp")));
}

TEST(CliRun, SavedStackedFramesDoNotChangeTheResultName) {
  test::TempDir dir;
  std::mt19937 rng(5);
  const std::string names[] = {"moon.bmp", "moon2.bmp", "moon3.bmp"};
  for (const std::string& name : names) WriteGreyBmp(dir.File(name), 64, 48, RandomBytes(rng, 64 * 48));
  const test::ProcessResult r =
      RunCli({"--save-stacked", "stack", "--area", "96", "moon.bmp", "moon2.bmp", "moon3.bmp"}, dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(test::FilesIn(dir.Path() / "stack"),
            (std::vector<std::string>{"STACK_moon2__0.bmp", "STACK_moon3__0.bmp", "STACK_moon__0.bmp"}));
  EXPECT_TRUE(fs::is_regular_file(dir.Path() / "moon__1.bmp"));
}

TEST(CliRun, ThreeChannelsShowAsRgbAndNameIt) {
  test::TempDir dir;
  WriteColourVideo(dir.File("colour.avi"), {{0, 0}, {2, 1}});
  const test::ProcessResult r =
      RunCli({"--channels", "RGB", "--name-channel", "--area", "96", "colour.avi"}, dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, "colour__RGB_1.bmp\n");
  // No L plane was calculated: the picture still has the frames' size.
  Bitmap picture;
  ReadBmpFile(dir.File("colour__RGB_1.bmp"), picture);
  EXPECT_EQ(picture.Width(), 160);
  EXPECT_EQ(picture.Height(), 120);
  const test::ProcessResult one =
      RunCli({"--channels", "G", "--raw-output", "raw.pgm", "--area", "96", "-q", "colour.avi"}, dir.Path());
  ASSERT_EQ(one.Code, 0) << one.Err;
  EXPECT_TRUE(fs::is_regular_file(dir.Path() / "raw_G.pgm"));  // one letter of --channels still names it
  const test::ProcessResult shown =
      RunCli({"--channels", "RB", "--show", "LRGB", "--name-channel", "--area", "96", "colour.avi"}, dir.Path());
  ASSERT_EQ(shown.Code, 0) << shown.Err;
  EXPECT_EQ(shown.Out, "colour__LRGB_1.bmp\n");
}

TEST(CliRun, BasisResultAlignsToAFirstCalculation) {
  test::TempDir dir;
  ASSERT_EQ(test::RunProcess(test::MakeSampleBinary(),
                             {"-W", "160", "-H", "120", "-n", "12", "--seed", "3", "-o", "p.avi"}, dir.Path())
                .Code,
            0);
  const auto truth = ReadShifts(dir.Path() / "p.shifts.txt");
  const test::ProcessResult r =
      RunCli({"--basis", "result", "--area", "96", "--report", "r.json", "-q", "p.avi"}, dir.Path());
  ASSERT_EQ(r.Code, 0) << r.Err;
  // The basis is the mean of the unaligned frames, so every shift is found
  // against that picture: the differences between frames stay the true ones.
  const Json frames = ReadJson(dir.Path() / "r.json")["runs"][0]["frames"];
  ASSERT_EQ(frames.size(), truth.size());
  const int x0 = frames[0]["shift"][0], y0 = frames[0]["shift"][1];
  for (std::size_t i = 1; i < truth.size(); ++i) {
    EXPECT_NEAR(static_cast<int>(frames[i]["shift"][0]) - x0, truth[i].first, 1) << i;
    EXPECT_NEAR(static_cast<int>(frames[i]["shift"][1]) - y0, truth[i].second, 1) << i;
  }
}

/// Arguments that make a run print a warning per name before any work (files
/// of another kind are skipped with a warning): far more than a pipe holds, so
/// a run whose stderr is not read stops there.
std::vector<std::string> ManySkippedFiles(std::vector<std::string> args) {
  for (int i = 0; i < 4000; ++i) args.push_back("notes" + std::to_string(i) + ".txt");
  return args;
}

TEST(CliRun, SecondCtrlCEndsTheRunWithStatus130AndNoOutput) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  test::PipedCli run(ManySkippedFiles({"-o", "x.bmp", "--report", "r.json"}), dir.Path());
  ASSERT_TRUE(run.ReadUntil("skipping"));
  run.Signal(SIGINT);
  ASSERT_TRUE(run.ReadUntil("stop requested"));
  run.Signal(SIGINT);
  EXPECT_EQ(run.Finish(), 130);
  EXPECT_NE(run.Err().find("corvane-cli: error: interrupted"), std::string::npos);
  EXPECT_EQ(test::FilesIn(dir.Path()), (std::vector<std::string>{"p.bmp"}));
}

TEST(CliRun, TermAndHupEndTheRunAsASecondCtrlCDoes) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  for (const auto& [signal, text] : {std::pair{SIGTERM, "terminated"}, {SIGHUP, "hung up"}}) {
    test::PipedCli run(ManySkippedFiles({"-o", "x.bmp", "p.bmp"}), dir.Path());
    ASSERT_TRUE(run.ReadUntil("skipping"));
    run.Signal(signal);
    EXPECT_EQ(run.Finish(), 128 + signal);
    EXPECT_NE(run.Err().find(std::string("corvane-cli: error: ") + text), std::string::npos) << run.Err();
    EXPECT_EQ(test::FilesIn(dir.Path()), (std::vector<std::string>{"p.bmp"}));
  }
}

TEST(CliRun, CtrlCWhileStackingCombinesOnlyTheFramesAligned) {
  // A stopped Go! left the later frames at shift (0, 0) with full quality, and
  // they went into the result; the run said it had stacked them all.
  test::TempDir dir;
  constexpr int kFrames = 1500;
  {
    AviWriter video(dir.File("v.avi"), 100, 76, AviPixelFormat::Grey8);
    std::mt19937 rng(3);
    for (int i = 0; i < kFrames; ++i) video.AddFrame(RandomBytes(rng, 100 * 76).data());
    video.Finish();
  }
  // -v writes a status line per frame aligned: the run stops in the middle of
  // stacking once the test no longer reads.
  test::PipedCli run({"-v", "--area", "96", "--report", "r.json", "-o", "x.bmp", "v.avi"}, dir.Path());
  ASSERT_TRUE(run.ReadUntil(" << X: "));
  run.Signal(SIGINT);
  ASSERT_EQ(run.Finish(), 0) << run.Err();
  const Json report = ReadJson(dir.Path() / "r.json");
  const int kept = static_cast<int>(report["runs"][0]["frames"].size());
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, kFrames);
  EXPECT_NE(run.Err().find("Stacked " + std::to_string(kept) + " of " + std::to_string(kFrames) + " frames (stopped)"),
            std::string::npos)
      << run.Err();
  EXPECT_EQ(report["stopped"], true);
  EXPECT_EQ(report["runs"][0]["stopped"], true);
  EXPECT_TRUE(fs::exists(dir.Path() / "x.bmp"));
}

TEST(CliRun, ConcurrentRunsNeverShareAnAutonumberedName) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  fs::create_directory(dir.Path() / "out");
  test::WriteBytes(dir.File("out/p__2.bmp"), {1, 2, 3});  // yesterday's result
  {
    std::vector<std::unique_ptr<test::PipedCli>> runs;
    for (int i = 0; i < 4; ++i)
      runs.push_back(
          std::make_unique<test::PipedCli>(std::vector<std::string>{"--result-dir", "out", "p.bmp"}, dir.Path()));
    for (auto& run : runs) EXPECT_EQ(run->Finish(), 0) << run->Err();
  }
  EXPECT_EQ(test::FilesIn(dir.Path() / "out"),
            (std::vector<std::string>{"p__1.bmp", "p__2.bmp", "p__3.bmp", "p__4.bmp", "p__5.bmp"}));
  EXPECT_EQ(test::ReadBytes(dir.File("out/p__2.bmp")), (std::vector<std::uint8_t>{1, 2, 3}));
  // A name the user gives still replaces.
  ASSERT_EQ(RunCli({"-o", "out/p__2.bmp", "p.bmp"}, dir.Path()).Code, 0);
  EXPECT_GT(fs::file_size(dir.Path() / "out/p__2.bmp"), 3u);
}

TEST(CliRun, OutputChecksComeBeforeTheWork) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  // "newdir/" is no file name: it wrote the hidden file newdir/.bmp.
  for (const char* option : {"-o", "--report", "--raw-output"}) {
    const test::ProcessResult r = RunCli({option, "newdir/", "p.bmp"}, dir.Path());
    EXPECT_EQ(r.Code, 1) << option;
    EXPECT_NE(ErrorLine(r).find("names a folder"), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(fs::exists(dir.Path() / "newdir"));
  // A folder nothing can be written into is found before anything is loaded
  // (a test run as root runs the tool as nobody, for whom the mode holds).
  fs::permissions(dir.Path(), fs::perms::all);
  fs::create_directory(dir.Path() / "locked");
  fs::permissions(dir.Path() / "locked", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-o", "locked/x.bmp", "p.bmp"},
                                               {"--report", "locked/r.json", "p.bmp"},
                                               {"--result-dir", "locked", "p.bmp"},
                                               {"--save-stacked", "locked", "p.bmp"}}) {
    const test::ProcessResult r = RunCli(args, dir.Path(), true);
    EXPECT_EQ(r.Code, 4) << args[0];
    EXPECT_NE(ErrorLine(r).find("\"locked"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find("Loaded"), std::string::npos) << r.Err;
  }
}

TEST(CliRun, FileNamesThatAreNotUtf8ComeBackByteForByte) {
  test::TempDir dir;
  const std::string name = "j\xfcpiter \xe9t\xe9.bmp";  // Latin-1, not UTF-8
  WriteGreyBmp(dir.File(name), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  ASSERT_EQ(RunCli({"--report", "r.json", "-o", "x.bmp", name}, dir.Path()).Code, 0);
  const std::string text = test::ReadText(dir.Path() / "r.json");
  // Each stray byte as U+DC00 + byte, the escape that recovers the bytes.
  EXPECT_NE(text.find("\"j\\udcfcpiter \\udce9t\\udce9.bmp\""), std::string::npos) << text;
  EXPECT_EQ(text.find("\xef\xbf\xbd"), std::string::npos);  // no U+FFFD
}

TEST(CliRun, PipesAsInputsAreRefusedUpFront) {
  test::TempDir dir;
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  ASSERT_EQ(::mkfifo(dir.File("pipe.bmp").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(dir.File("pipe.lut").c_str(), 0644), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"pipe.bmp"}, {"--dark", "pipe.bmp", "p.bmp"}, {"--lut", "pipe.lut", "p.bmp"}}) {
    const test::ProcessResult r = RunCli(args, dir.Path());
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(ErrorLine(r).find("not a regular file"), std::string::npos) << r.Err;
  }
}

TEST(CliRun, MemoryWarningsNameTheRealLimit) {
  test::TempDir dir;
  {
    AviWriter video(dir.File("v.avi"), 8, 8, AviPixelFormat::Grey8);
    const std::vector<std::uint8_t> frame(64, 90);
    for (int i = 0; i < FrameListLimit + 10; ++i) video.AddFrame(frame.data());
    video.Finish();
  }
  const test::ProcessResult r = RunCli({"--no-stack", "-o", "x.bmp", "v.avi"}, dir.Path());
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Err.find("the frame list holds at most 4096 frames"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Err.find("the frame memory"), std::string::npos) << r.Err;
  // A budget beyond what the machine has is named as such.
  if (AvailableMemoryBytes() > 0 && AvailableMemoryBytes() < (std::int64_t{65536} << 20)) {
    const test::ProcessResult big = RunCli({"--no-stack", "--memory", "65536", "-o", "x.bmp", "v.avi"}, dir.Path());
    EXPECT_NE(big.Err.find("--memory 65536 MB is more than the"), std::string::npos) << big.Err;
  }
}

}  // namespace
}  // namespace corvane
