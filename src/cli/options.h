#pragma once
// The batch tool's command line: every option with its setting, range and
// default. Ranges come from the settings' control ranges, so the dialog and
// the command line share them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/version.h"
#include "cli/terminal_services.h"
#include "settings/settings.h"

namespace corvane::cli {

/// "--memory": the frame budget in megabytes. Wider than the dialog's box.
inline constexpr SpinRange CliMemoryRange{16, 65536, 1};
/// "--threshold": the quality threshold, the range of the frame quality panel's filter.
inline constexpr SpinRange ThresholdRange{0, 1000, 1};
/// Quality of a frame nobody rated; the default threshold lets every frame in.
inline constexpr std::int32_t DefaultThreshold = 0;

/// A usage error found after parsing (exit status 1).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Point {
  std::int32_t X = 0;
  std::int32_t Y = 0;
};

/// Everything the command line asked for, checked for ranges and for
/// combinations that do not go together. Values are control positions (percent
/// options as 0..100) as the dialog holds them.
struct CliOptions {
  std::vector<std::string> Files;

  // Loading ("Preview frames").
  int Channel = 0;  ///< 0 L, 1 R, 2 G, 3 B
  std::int32_t AviStart = 0;
  std::int32_t AviEnd = 9999;
  std::int32_t AviSkip = 0;
  bool SemiFrames = false;
  bool AviCorrection = false;
  bool SingleObject = false;
  std::int32_t BackgroundPercent = 20;
  std::int32_t Resize = 1;
  int SizeMode = 0;  ///< 0 same, 1 resize, 2 user
  std::optional<std::int32_t> Width;
  std::optional<std::int32_t> Height;
  std::string Dark;
  std::string Flat;
  bool Median = false;
  std::int32_t FrameBiasPercent = 50;
  std::int32_t FrameGainPercent = 50;
  std::int32_t MemoryMb = 512;
  int SerByteOrder = 0;  ///< 0 from the data, 1 little-endian, 2 big-endian

  // Stacking.
  std::uint8_t StackUsingBits = StackUsing::Move;  ///< as the boxes give it; Last alone, or 0 for "none"
  bool NoStack = false;
  int Basis = 1;                      ///< 0 result, 1 first frame, 2 user's choice
  std::optional<std::int32_t> Frame;  ///< 1-based frame-info number
  int AreaSize = 1;
  std::optional<Point> Mark;
  bool SetQuality = true;
  int Rating = 0;                        ///< 0 the quality index, 1 sharpness
  std::optional<std::int32_t> KeepBest;  ///< percent of the frames to keep; unset: every frame
  bool NormaliseBrightness = false;
  bool CoarseAlign = false;
  bool SubPixel = false;
  int Interpolation = 1;  ///< 0 bilinear, 1 bicubic

  // Quality and combining.
  std::int32_t Threshold = DefaultThreshold;
  int Combine = 0;  ///< 0 mean, 1 median, 2 multiply, 3 add
  std::optional<std::int32_t> P1;
  std::optional<std::int32_t> P2;

  // Enhancement.
  std::optional<std::int32_t> Unsharp;  ///< strength; unset: unsharp masking off
  std::optional<int> Deconvolve;        ///< 0 van Cittert, 1 Lucy-Richardson; unset: off
  std::int32_t Iterations = 1;
  std::string UnsharpPsf;
  std::string DeconvolvePsf;

  // Rendering and output.
  std::optional<int> Show;  ///< 0 L, 1 R, 2 G, 3 B, 4 LRGB, 5 RGB
  std::int32_t BiasPercent = 50;
  std::int32_t GainPercent = 50;
  std::int32_t SaturationPercent = 50;
  ColourPositions Weights{30, 59, 11};
  std::string Lut;
  bool RgbColor = true;
  std::string Output;     ///< with ".bmp" added when it had no extension
  std::string ResultDir;  ///< empty: the current folder
  std::optional<std::string> NamePrefix;
  bool NoNamePrefix = false;
  bool NoPostfix = false;
  bool NameDate = false;
  bool NameChannel = false;
  bool NoAutonumber = false;
  std::string RawOutput;
  std::string ExportFrames;
  std::string SaveStacked;
  std::string Report;
  std::vector<int> Channels;   ///< the load channels of the runs, in order (one entry without --channels)
  bool ChannelsGiven = false;  ///< --channels was given

  ProgressMode Progress = ProgressMode::Auto;
  Verbosity Level = Verbosity::Normal;
};

/// The --version text ("corvane-cli 2.0.0").
std::string VersionText();

/// Outcome of reading the command line: either options to run with, or an exit
/// status (0 after --help or --version, 1 after a usage error, whose one-line
/// message has then been printed on stderr).
struct ParseResult {
  std::optional<CliOptions> Options;
  int ExitCode = 0;
};

/// Reads the command line. --help and --version print on stdout.
ParseResult ParseCommandLine(int argc, const char* const* argv);

/// Letters of the load channels, "L", "R", "G", "B".
const char* ChannelLetter(int channel) noexcept;

}  // namespace corvane::cli
