// The batch run end to end, through the built program on inputs made here:
// shifts of a generated video, the mean of known frames, colour runs, every
// exit status with its message, and no partial output after a failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "core/bitmap.h"
#include "io/avi_writer.h"
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

TEST(CliRun, SecondCtrlCEndsTheRunWithStatus130AndNoOutput) {
  test::TempDir dir;
  // A look-up table that is a pipe nobody writes to: the run waits on it for ever.
  WriteGreyBmp(dir.File("p.bmp"), 64, 48, std::vector<std::uint8_t>(64 * 48, 100));
  ASSERT_EQ(::mkfifo(dir.File("waiting.lut").c_str(), 0644), 0);
  const fs::path err = dir.Path() / "err.txt";
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::chdir(dir.Path().c_str()) != 0) ::_exit(127);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (e < 0) ::_exit(127);
    ::dup2(e, STDERR_FILENO);
    const std::string cli = test::CliBinary();
    ::execl(cli.c_str(), cli.c_str(), "-v", "--lut", "waiting.lut", "-o", "x.bmp", "p.bmp",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The frame budget line comes after Ctrl-C is taken over and before the table is opened.
  for (int i = 0; i < 500 && test::ReadText(err).find("Maximum nr of frames") == std::string::npos; ++i)
    ::usleep(10000);
  ::kill(pid, SIGINT);
  ::usleep(100000);
  ::kill(pid, SIGINT);
  // Never hang the suite: a run still alive after 20 s is killed and fails the test.
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 2000 && (done = ::waitpid(pid, &status, WNOHANG)) == 0; ++i) ::usleep(10000);
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the run did not end after the second Ctrl-C";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string text = test::ReadText(err);
  EXPECT_NE(text.find("stop requested"), std::string::npos) << text;
  EXPECT_NE(text.find("corvane-cli: error: interrupted"), std::string::npos) << text;
  EXPECT_EQ(test::FilesIn(dir.Path()), (std::vector<std::string>{"err.txt", "p.bmp", "waiting.lut"}));
}

}  // namespace
}  // namespace corvane
