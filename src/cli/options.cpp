#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <iostream>

#include "app/version.h"
#include "io/frame_source.h"
#include "io/picture_files.h"
#include "output/saving.h"
#include "stack/combine.h"

namespace corvane::cli {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string RangeText(const SpinRange& r) { return std::to_string(r.Min) + ".." + std::to_string(r.Max); }

/// A whole decimal number (an optional sign, then digits, nothing else).
bool ParseWhole(const std::string& text, long long& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last;
}

/// Checks that the value is a whole number inside the range; the message
/// names the range ("value 40 is outside 0..30").
CLI::Validator InRange(const SpinRange& range) {
  return CLI::Validator(
      [range](std::string& input) -> std::string {
        long long value = 0;
        if (!ParseWhole(input, value)) return "\"" + input + "\" is not a whole number (" + RangeText(range) + ")";
        if (!range.Contains(value)) return "value " + input + " is outside " + RangeText(range);
        return {};
      },
      "");
}

/// Checks that the value is a whole number that fits 32 bits; the range
/// depends on other options and is checked after parsing.
CLI::Validator WholeNumber() {
  return CLI::Validator(
      [](std::string& input) -> std::string {
        long long value = 0;
        if (!ParseWhole(input, value) || value < INT32_MIN || value > INT32_MAX)
          return "\"" + input + "\" is not a whole number";
        return {};
      },
      "");
}

/// Checks that the value is one of the words (in any letter case).
CLI::Validator OneOf(std::vector<std::string> words) {
  return CLI::Validator(
      [words](std::string& input) -> std::string {
        const std::string key = Lower(input);
        for (const std::string& w : words)
          if (Lower(w) == key) return {};
        std::string list;
        for (const std::string& w : words) list += (list.empty() ? "" : ", ") + w;
        return "\"" + input + "\" is not one of " + list;
      },
      "");
}

int IndexOf(const std::vector<std::string>& words, const std::string& value) {
  for (std::size_t i = 0; i < words.size(); ++i)
    if (Lower(words[i]) == Lower(value)) return static_cast<int>(i);
  return -1;
}

std::string Describe(const std::string& text, const SpinRange& range, const std::string& defaultText) {
  return text + " (" + RangeText(range) + ", default " + defaultText + ")";
}

/// "A,B" or "A,B,C" as whole numbers; false when the text is not that.
bool ParseNumberList(const std::string& text, std::size_t count, std::vector<long long>& values) {
  values.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    long long v = 0;
    if (!ParseWhole(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), v))
      return false;
    values.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values.size() == count;
}

bool IsFitsName(const std::string& path) {
  const std::string ext = UpperExtension(path);
  return ext == ".FITS" || ext == ".FIT" || ext == ".FTS";
}

const std::vector<std::string> ChannelWords{"L", "R", "G", "B"};
const std::vector<std::string> ShowWords{"L", "R", "G", "B", "LRGB", "RGB"};
const std::vector<std::string> SizeWords{"same", "resize", "user"};
const std::vector<std::string> BasisWords{"result", "first", "user"};  // by the Basis value
const std::vector<std::string> AreaWords{"96", "192", "384"};
const std::vector<std::string> CombineWords{"mean", "median", "multiply", "add"};
const std::vector<std::string> DeconvolveWords{"cittert", "lr"};
const std::vector<std::string> ProgressWords{"auto", "always", "never"};
const std::vector<std::string> RateWords{"index", "sharpness"};            // by the Rating value
const std::vector<std::string> InterpolationWords{"bilinear", "bicubic"};  // by the Interpolation value
const std::vector<std::string> SerOrderWords{"auto", "little", "big"};     // by the SERByteOrder value

/// Raw text values of the options that need more than a range check.
struct RawText {
  std::string Channel = "L";
  std::string Size = "same";
  std::string StackUsing = "move";
  std::string Basis = "first";
  std::string Area = "192";
  std::string Mark;
  std::string Combine = "mean";
  std::string Deconvolve;
  std::string Show;
  std::string Weights = "30,59,11";
  std::string Channels;
  std::string Progress = "auto";
  std::string NamePrefix;
  std::string Rate = "index";
  std::string Interpolation = "bicubic";
  std::string SerOrder = "auto";
};

void CheckPictureName(const std::string& option, const std::string& path) {
  if (path.empty()) return;
  switch (SourceKindOfPath(path)) {
    case SourceKind::Bmp:
    case SourceKind::Jpeg:
    case SourceKind::Fits:
    case SourceKind::Tiff:
    case SourceKind::Png: return;
    default:
      throw UsageError(option + ": \"" + path +
                       "\" is not a picture (.bmp, .jpg, .jpeg, .fits, .fit, .fts, .tif, .tiff, .png)");
  }
}

void Finish(CliOptions& o, const RawText& raw, const CLI::App& app) {
  auto given = [&app](const char* name) { return app.count(name) > 0; };

  o.Channel = IndexOf(ChannelWords, raw.Channel);
  o.SizeMode = IndexOf(SizeWords, raw.Size);
  o.Basis = IndexOf(BasisWords, raw.Basis);
  o.AreaSize = IndexOf(AreaWords, raw.Area);
  o.Combine = IndexOf(CombineWords, raw.Combine);
  if (!raw.Deconvolve.empty()) o.Deconvolve = IndexOf(DeconvolveWords, raw.Deconvolve);
  if (!raw.Show.empty()) o.Show = IndexOf(ShowWords, raw.Show);
  o.Progress = static_cast<ProgressMode>(IndexOf(ProgressWords, raw.Progress));
  o.SerByteOrder = IndexOf(SerOrderWords, raw.SerOrder);
  if (given("--quiet")) o.Level = Verbosity::Quiet;
  if (given("--verbose")) o.Level = Verbosity::Verbose;

  if ((o.Width || o.Height) && o.SizeMode != 2)
    throw UsageError(std::string(o.Width ? "--width" : "--height") + " needs --size user");
  if (given("--avi-start") && given("--avi-end") && o.AviStart > o.AviEnd)
    throw UsageError("--avi-start " + std::to_string(o.AviStart) + " is after --avi-end " + std::to_string(o.AviEnd));
  CheckPictureName("--dark", o.Dark);
  CheckPictureName("--flat", o.Flat);

  // "Stack using": the boxes to tick.
  {
    const std::string list = Lower(raw.StackUsing);
    if (list == "last") {
      o.StackUsingBits = StackUsing::Last;
    } else if (list == "none") {
      o.StackUsingBits = 0;
    } else {
      std::uint8_t bits = 0;
      std::size_t start = 0;
      while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string word = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (word == "move")
          bits |= StackUsing::Move;
        else if (word == "center")
          bits |= StackUsing::Center;
        else if (word == "max")
          bits |= StackUsing::Max;
        else if (word == "min")
          bits |= StackUsing::Min;
        else if (word == "last" || word == "none")
          throw UsageError("--stack-using: \"" + word + "\" stands alone, not in a list");
        else
          throw UsageError("--stack-using: \"" + word + "\" is not one of move, center, max, min, last, none");
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      o.StackUsingBits = bits;
    }
  }
  if (o.NoStack && given("--stack-using")) throw UsageError("--stack-using does not go with --no-stack");
  o.Rating = IndexOf(RateWords, raw.Rate);
  o.Interpolation = IndexOf(InterpolationWords, raw.Interpolation);
  // The rating and alignment choices act in Go!.
  for (const char* option : {"--rate", "--keep-best", "--normalise-brightness", "--coarse-align", "--subpixel"})
    if (o.NoStack && given(option)) throw UsageError(std::string(option) + " needs stacking (not --no-stack)");
  if (given("--rate") && !o.SetQuality) throw UsageError("--rate does not go with --no-set-quality");
  if (given("--interpolation") && !o.SubPixel) throw UsageError("--interpolation needs --subpixel");
  if (o.CoarseAlign && o.StackUsingBits == StackUsing::Last)
    throw UsageError("--coarse-align does not go with --stack-using last");
  if (o.NoStack && !o.SaveStacked.empty()) throw UsageError("--save-stacked needs stacking (not --no-stack)");

  if (!raw.Mark.empty()) {
    std::vector<long long> v;
    if (!ParseNumberList(raw.Mark, 2, v) || v[0] < 0 || v[1] < 0 || v[0] > MaxPictureSide || v[1] > MaxPictureSide)
      throw UsageError("--mark: \"" + raw.Mark + "\" is not X,Y with X in 0.." + std::to_string(MaxPictureSide) +
                       " and Y in 0.." + std::to_string(MaxPictureSide));
    o.Mark = Point{static_cast<std::int32_t>(v[0]), static_cast<std::int32_t>(v[1])};
  }

  // Combine parameters: the ranges the panel gives the method (Multiply's
  // "Frame 2:" is checked against the frames loaded, later).
  if (o.P1 || o.P2) {
    if (o.Combine != CombineMultiply && o.Combine != CombineAdd)
      throw UsageError(std::string(o.P1 ? "--p1" : "--p2") + " is used only with --combine multiply or add");
    const CombinePanel panel = CombinePanelFor(o.Combine, FrameListLimit);
    const std::string method = " for --combine " + CombineWords[static_cast<std::size_t>(o.Combine)];
    auto check = [&method](const char* option, const std::optional<std::int32_t>& value, const CombineSpin& spin,
                           const std::string& upper) {
      if (value && (*value < spin.Minimum || *value > spin.Maximum))
        throw UsageError(std::string(option) + ": value " + std::to_string(*value) + " is outside " +
                         std::to_string(spin.Minimum) + ".." + upper + method);
    };
    check("--p1", o.P1, panel.Spin1,
          o.Combine == CombineMultiply ? std::string("the number of frames") : std::to_string(panel.Spin1.Maximum));
    check("--p2", o.P2, panel.Spin2, std::to_string(panel.Spin2.Maximum));
  }

  if (!o.Deconvolve) {
    if (given("--iterations")) throw UsageError("--iterations needs --deconvolve");
    if (!o.DeconvolvePsf.empty()) throw UsageError("--deconvolve-psf needs --deconvolve");
  }
  if (!o.Unsharp && !o.UnsharpPsf.empty()) throw UsageError("--unsharp-psf needs --unsharp");
  for (const auto& [option, path] : {std::pair{"--unsharp-psf", &o.UnsharpPsf}, {"--deconvolve-psf", &o.DeconvolvePsf}})
    if (!path->empty() && UpperExtension(*path) != ".BMP")
      throw UsageError(std::string(option) + ": \"" + *path + "\" is not a BMP picture");

  {
    std::vector<long long> v;
    if (!ParseNumberList(raw.Weights, 3, v) ||
        std::any_of(v.begin(), v.end(), [](long long x) { return !PercentRange.Contains(x); }))
      throw UsageError("--weights: \"" + raw.Weights + "\" is not R,G,B with each in " + RangeText(PercentRange));
    o.Weights = {static_cast<std::int32_t>(v[0]), static_cast<std::int32_t>(v[1]), static_cast<std::int32_t>(v[2])};
  }

  // A file name must name a file: "out/" would write the hidden "out/.bmp".
  for (const auto& [option, path] :
       {std::pair{"--output", &o.Output}, {"--raw-output", &o.RawOutput}, {"--report", &o.Report}}) {
    const std::size_t slash = path->find_last_of('/');
    const std::string name = slash == std::string::npos ? *path : path->substr(slash + 1);
    if (!path->empty() && (name.empty() || name == "." || name == ".."))
      throw UsageError(std::string(option) + ": \"" + *path + "\" names a folder; give a file name");
  }
  if (!o.Output.empty()) {
    const std::string ext = UpperExtension(o.Output);
    if (ext.empty())
      o.Output += ".bmp";
    else if (!ResultFormatOfPath(o.Output))
      throw UsageError("--output: \"" + o.Output +
                       "\": the extension must be .bmp (24-bit), or .png, .tif, .tiff, .fits, .fit, .fts (16-bit)");
  }
  if (!o.RawOutput.empty()) {
    if (!IsFitsName(o.RawOutput) && UpperExtension(o.RawOutput) != ".PGM")
      throw UsageError("--raw-output: \"" + o.RawOutput + "\": the extension must be .pgm, .fits, .fit or .fts");
  }
  if (given("--name-prefix")) {
    if (o.NoNamePrefix) throw UsageError("--name-prefix does not go with --no-name-prefix");
    o.NamePrefix = raw.NamePrefix;
  }

  if (given("--channels")) {
    o.ChannelsGiven = true;
    if (raw.Channels.empty()) throw UsageError("--channels: give one to four of the letters L, R, G, B");
    for (char c : raw.Channels) {
      const int channel = IndexOf(ChannelWords, std::string(1, c));
      if (channel < 0) throw UsageError("--channels: \"" + raw.Channels + "\" may hold only the letters L, R, G and B");
      if (std::find(o.Channels.begin(), o.Channels.end(), channel) != o.Channels.end())
        throw UsageError("--channels: \"" + raw.Channels + "\" names " + std::string(1, c) + " twice");
      o.Channels.push_back(channel);
    }
  } else {
    o.Channels.push_back(o.Channel);
  }
}

}  // namespace

std::string VersionText() { return "corvane-cli " + ProgramVersion(); }

const char* ChannelLetter(int channel) noexcept {
  switch (channel) {
    case 1: return "R";
    case 2: return "G";
    case 3: return "B";
    default: return "L";
  }
}

ParseResult ParseCommandLine(int argc, const char* const* argv) {
  CliOptions o;
  RawText raw;
  struct {
    bool NoSetQuality = false;
    bool NoRgbColor = false;
    bool Quiet = false;
    bool Verbose = false;
  } flags;
  CLI::App app{
      "Runs the whole workflow without a window: Preview (the first file), Load (all files), [Calculate when the "
      "basis is \"result\"], Go! (stack), Calculate (combine and enhance), render, Save.\n"
      "Percent options take the control position 0..100. FILE: pictures (.bmp, .jpg, .jpeg, .fits, .fit, .fts, .tif, "
      ".tiff, .png) and videos (.avi, .ser), in the given order; other files are skipped with a warning.",
      "corvane-cli"};
  app.set_version_flag("--version", VersionText(), "Print the version and exit");
  app.get_formatter()->column_width(34);
  app.option_defaults()->always_capture_default(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  auto intOption = [&app](const std::string& name, std::int32_t& target, const SpinRange& range,
                          const std::string& text, const std::string& group) {
    return app.add_option(name, target, Describe(text, range, std::to_string(target)))
        ->check(InRange(range))
        ->type_name("N")
        ->group(group);
  };
  auto optionalInt = [&app](const std::string& name, std::optional<std::int32_t>& target, const SpinRange& range,
                            const std::string& text, const std::string& defaultText, const std::string& group) {
    return app.add_option(name, target, Describe(text, range, defaultText))
        ->check(InRange(range))
        ->type_name("N")
        ->group(group);
  };
  auto choice = [&app](const std::string& name, std::string& target, const std::vector<std::string>& words,
                       const std::string& text, const std::string& group) {
    std::string list;
    for (const std::string& w : words) list += (list.empty() ? "" : "|") + w;
    return app.add_option(name, target, text)->check(OneOf(words))->type_name(list)->group(group);
  };

  const std::string load = "Loading (Preview frames settings)";
  choice("--channel", raw.Channel, ChannelWords, "colour channel taken from the frames (default L)", load);
  intOption("--avi-start", o.AviStart, AVIFrameRange, "first video frame to load", load);
  intOption("--avi-end", o.AviEnd, AVIFrameRange, "last video frame to load", load);
  intOption("--avi-skip", o.AviSkip, SkipFramesRange, "load only frames whose number is a multiple of N (0: all)",
            load);
  app.add_flag("--semi-frames", o.SemiFrames, "each video frame gives two frames, one per field (default off)")
      ->group(load);
  app.add_flag("--avi-correction", o.AviCorrection, "correct shifted 8-bit videos (default off)")->group(load);
  app.add_flag("--single-object", o.SingleObject,
               "cut out the single object around its centre of light (default: whole image)")
      ->group(load);
  intOption("--background", o.BackgroundPercent, PercentRange, "background percent for finding a single object", load);
  intOption("--resize", o.Resize, ResizeRange, "enlargement factor", load);
  choice("--size", raw.Size, SizeWords,
         "output size: the first file's size, that size x --resize, or --width x --height (default same)", load);
  optionalInt("--width", o.Width, OutputWidthRange, "output width for --size user", "384", load);
  optionalInt("--height", o.Height, OutputHeightRange, "output height for --size user", "288", load);
  app.add_option("--dark", o.Dark, "subtract this dark frame picture (default off)")->type_name("FILE")->group(load);
  app.add_option("--flat", o.Flat, "divide by this flat field picture (default off)")->type_name("FILE")->group(load);
  app.add_flag("--median-filter", o.Median, "3 x 3 median filter on each frame (default off)")->group(load);
  intOption("--frame-bias", o.FrameBiasPercent, PercentRange, "brightness of the frames (50: unchanged)", load);
  intOption("--frame-gain", o.FrameGainPercent, PercentRange, "contrast of the frames (50: unchanged)", load);
  choice("--ser-byte-order", raw.SerOrder, SerOrderWords,
         "byte order of 16-bit SER samples: decided from the data, or forced (default auto)", load);
  intOption("--memory", o.MemoryMb, CliMemoryRange,
            "frame memory in MB; the number of frames follows from it and the output size", load);

  const std::string stack = "Stacking (Stack frames settings)";
  app.add_option("--stack-using", raw.StackUsing,
                 "comma list of move, center, max, min; or last alone; or none (default move)")
      ->type_name("LIST")
      ->group(stack);
  app.add_flag("--no-stack", o.NoStack, "do not run Go!: every frame keeps shift (0, 0)")->group(stack);
  choice("--basis", raw.Basis, {"first", "user", "result"},
         "align to the first frame, the frame of --frame, or the result of a first calculation (default first)", stack);
  optionalInt("--frame", o.Frame, SpinRange{1, FrameListLimit, 1},
              "frame number (1-based) for --basis user and for multiply, at most the frames loaded",
              "the last loaded frame", stack);
  choice("--area", raw.Area, AreaWords, "compare area width: 96 x 72, 192 x 144 or 384 x 288 (default 192)", stack);
  app.add_option("--mark", raw.Mark,
                 "manual mark: the compare area's top-left corner in frame samples (default: centred)")
      ->type_name("X,Y")
      ->group(stack);
  app.add_flag("--no-set-quality", flags.NoSetQuality, "do not set each frame's quality while stacking (default: set)")
      ->group(stack);
  choice("--rate", raw.Rate, RateWords,
         "what sets each frame's quality while stacking: its likeness to the basis (the quality index), or its "
         "sharpness over the compare area as 1000 x sharpness / the sharpest frame's (default index)",
         stack);
  optionalInt("--keep-best", o.KeepBest, KeepBestRange,
              "after stacking, keep the best PCT % of the frames by their rating (frames x PCT / 100, rounded to the "
              "nearest, halves to even, at least 1): they get quality 1000, the rest 0; a --threshold of 0 becomes "
              "1000",
              "every frame", stack)
      ->type_name("PCT");
  app.add_flag("--normalise-brightness", o.NormaliseBrightness,
               "compare the areas after taking out their mean and contrast, so a brightness or exposure step between "
               "frames does not mislead the search (default off)")
      ->group(stack);
  app.add_flag("--coarse-align", o.CoarseAlign,
               "estimate each frame's offset over the whole frame first (phase correlation), then refine it with the "
               "search: for a target that drifts farther than the search reaches (default off)")
      ->group(stack);
  app.add_flag("--subpixel", o.SubPixel,
               "refine the shifts to fractions of a sample and place the frames by interpolation when combining; "
               "the report gives the shifts as decimals (default off)")
      ->group(stack);
  choice("--interpolation", raw.Interpolation, InterpolationWords, "how --subpixel places the frames (default bicubic)",
         stack);

  const std::string combine = "Quality and combining";
  intOption("--threshold", o.Threshold, ThresholdRange, "frames with quality >= N are good", combine);
  choice("--combine", raw.Combine, CombineWords, "combine method (default mean)", combine);
  {
    // The panel's rows give the ranges and start values of the two parameters.
    const CombinePanel multiply = CombinePanelFor(CombineMultiply, 0);
    const CombinePanel add = CombinePanelFor(CombineAdd, 0);
    auto spinText = [](const CombineSpin& spin, const std::string& upper) {
      return "(" + std::to_string(spin.Minimum) + ".." + upper + ", default " + std::to_string(spin.Value) + ")";
    };
    app.add_option("--p1", o.P1,
                   "multiply: frame 2 " + spinText(multiply.Spin1, "frames") + "; add: % 1 " +
                       spinText(add.Spin1, std::to_string(add.Spin1.Maximum)))
        ->check(WholeNumber())
        ->type_name("N")
        ->group(combine);
    app.add_option("--p2", o.P2,
                   "multiply: divide by " + spinText(multiply.Spin2, std::to_string(multiply.Spin2.Maximum)) +
                       "; add: % 2 " + spinText(add.Spin2, std::to_string(add.Spin2.Maximum)))
        ->check(WholeNumber())
        ->type_name("N")
        ->group(combine);
  }

  const std::string enhance = "Enhancement";
  optionalInt("--unsharp", o.Unsharp, UMAStrengthRange, "unsharp masking with strength S", "off", enhance)
      ->type_name("S");
  choice("--deconvolve", raw.Deconvolve, DeconvolveWords, "deconvolution: van Cittert or Lucy-Richardson (default off)",
         enhance);
  intOption("--iterations", o.Iterations, DECIterationsRange, "deconvolution iterations", enhance);
  app.add_option("--unsharp-psf", o.UnsharpPsf, "PSF picture (BMP) for unsharp masking (default: the local PSF)")
      ->type_name("FILE")
      ->group(enhance);
  app.add_option("--deconvolve-psf", o.DeconvolvePsf, "PSF picture (BMP) for deconvolution (default: the local PSF)")
      ->type_name("FILE")
      ->group(enhance);

  const std::string output = "Rendering and output (Edit / Save picture settings)";
  choice("--show", raw.Show, ShowWords,
         "what the picture shows (default: the load channel; LRGB with four --channels, RGB with three)", output);
  intOption("--bias", o.BiasPercent, PercentRange, "brightness (50: unchanged)", output);
  intOption("--gain", o.GainPercent, PercentRange, "contrast (50: unchanged)", output);
  intOption("--saturation", o.SaturationPercent, PercentRange, "colour saturation (50: normal)", output);
  app.add_option("--weights", raw.Weights,
                 "colour track bar positions, each 0..100; weights = positions / their sum (default 30,59,11)")
      ->type_name("R,G,B")
      ->group(output);
  app.add_option("--lut", o.Lut, "look-up table file (65536 16-bit words) for the L display (default off)")
      ->type_name("FILE")
      ->group(output);
  app.add_flag("--no-rgb-color", flags.NoRgbColor, "show a single R, G or B plane as grey (default: in its colour)")
      ->group(output);
  app.add_option("-o,--output", o.Output,
                 "the rendered picture: .bmp a 24-bit BMP (added when there is no extension); .png, .tif, .tiff, "
                 ".fits, .fit, .fts a 16-bit picture rendered the same way (default: the naming rules in the result "
                 "folder, e.g. jupiter__1.bmp)")
      ->type_name("FILE")
      ->group(output);
  app.add_option("--result-dir", o.ResultDir, "folder of the default output name (default: the current folder)")
      ->type_name("DIR")
      ->group(output);
  app.add_option("--name-prefix", raw.NamePrefix, "name prefix instead of the original name")
      ->type_name("TEXT")
      ->group(output);
  app.add_flag("--no-name-prefix", o.NoNamePrefix, "no prefix: the name starts with CV")->group(output);
  app.add_flag("--no-postfix", o.NoPostfix, "no postfix (no date, channel or number)")->group(output);
  app.add_flag("--name-date", o.NameDate, "date and time in the name (default off)")->group(output);
  app.add_flag("--name-channel", o.NameChannel, "the shown channels in the name (default off)")->group(output);
  app.add_flag("--no-autonumber", o.NoAutonumber, "no number in the name")->group(output);
  app.add_option("--raw-output", o.RawOutput,
                 "the 16-bit result plane: .pgm binary PGM (maxval 65535, big-endian), .fits/.fit/.fts FITS (16-bit, "
                 "BZERO 32768); with --channels one file per "
                 "channel, _L, _R, ... before the extension (default none)")
      ->type_name("FILE")
      ->group(output);
  app.add_option("--export-frames", o.ExportFrames,
                 "after loading, every frame as DIR/frame_NNNN.pgm (16-bit); with --channels in DIR/L/, DIR/R/, ...")
      ->type_name("DIR")
      ->group(output);
  app.add_option("--save-stacked", o.SaveStacked,
                 "after Go!, the stacked frames as \"Save stacked frames\" writes them, into DIR (first channel only)")
      ->type_name("DIR")
      ->group(output);
  app.add_option("--report", o.Report,
                 "a JSON report of the run (UTF-8; a byte of a file name that is not UTF-8 is written as the "
                 "escape \\udc80..\\udcff, U+DC00 + the byte, so the name's bytes can be recovered)")
      ->type_name("FILE")
      ->group(output);
  auto* channels = app.add_option("--channels", raw.Channels,
                                  "colour: one run per letter of L, R, G, B in the given order; later letters use "
                                  "the shifts of the first (default: one run with --channel)")
                       ->type_name("SEQ")
                       ->group(output);
  channels->excludes(app.get_option("--channel"));

  const std::string messages = "Progress and messages";
  choice("--progress", raw.Progress, ProgressWords,
         "progress bars on stderr (auto: only when stderr is a terminal; default auto)", messages);
  auto* quiet = app.add_flag("-q,--quiet", flags.Quiet, "print nothing but errors")->group(messages);
  app.add_flag("-v,--verbose", flags.Verbose, "status lines and one line per frame")->group(messages)->excludes(quiet);

  app.add_option("FILE", o.Files, "pictures and videos")->required()->type_name("");

  try {
    app.parse(argc, argv);
    o.RgbColor = !flags.NoRgbColor;
    o.SetQuality = !flags.NoSetQuality;
    Finish(o, raw, app);
  } catch (const CLI::Success& e) {
    return {std::nullopt, app.exit(e)};
  } catch (const CLI::ExtrasError& e) {
    const std::string what = e.what();
    const std::size_t colon = what.find(": ");
    const std::string list = colon == std::string::npos ? what : what.substr(colon + 2);
    std::fprintf(stderr, "corvane-cli: error: unknown option %s (see --help)\n", list.c_str());
    return {std::nullopt, 1};
  } catch (const CLI::RequiredError& e) {
    const std::string what = e.what();
    std::fprintf(stderr, "corvane-cli: error: %s\n",
                 what.rfind("FILE", 0) == 0 ? "no input file (see --help)" : what.c_str());
    return {std::nullopt, 1};
  } catch (const CLI::Error& e) {
    std::fprintf(stderr, "corvane-cli: error: %s\n", e.what());
    return {std::nullopt, 1};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "corvane-cli: error: %s\n", e.what());
    return {std::nullopt, 1};
  }
  return {std::move(o), 0};
}

}  // namespace corvane::cli
