// corvane-make-sample: writes a synthetic planet video for trying out and
// measuring the batch tool, and the true shift of every frame beside it.
//
// The scene is a banded, slightly flattened disc with limb darkening, a few
// ovals and wavy band edges on a dark sky. Each frame shows it moved by a
// random whole-sample shift within +-max-shift, blurred by one of a few seeing
// levels, with a small brightness change and noise. The shifts file has one
// line per frame, "index shift_x shift_y", in the frames' own convention:
// frame sample (x + shift_x, y + shift_y) shows what frame 0 (shift 0, 0)
// shows at (x, y). On request a seeing file gives each frame's blur level,
// "index level sigma" (level 0 sharpest, 7 most blurred), and the video can be
// compressed (MPEG-4, H.264, MJPEG) instead of uncompressed 8-bit grey.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"
#include "io/avi_writer.h"
#include "io/encoded_avi_writer.h"

namespace {

using corvane::AviPixelFormat;
using corvane::AviWriter;
using corvane::EncodedAviWriter;

/// splitmix64: small, fast and good enough for scene noise.
class Random {
 public:
  explicit Random(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t Next() noexcept {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// Uniform in [lo, hi].
  int Between(int lo, int hi) noexcept {
    return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  /// Uniform in [0, 1).
  double Unit() noexcept { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

 private:
  std::uint64_t m_state;
};

struct Canvas {
  int Width = 0;
  int Height = 0;
  std::vector<float> Samples;
  float* Row(int y) { return Samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width); }
  const float* Row(int y) const {
    return Samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width);
  }
};

constexpr float SkyLevel = 10.0f;

/// The planet on its sky, 8-bit levels, centred on a canvas of width x height.
Canvas DrawPlanet(int width, int height, Random& random) {
  Canvas c{width, height, std::vector<float>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))};
  const double rx = 0.21 * std::min(width, height);
  const double ry = 0.93 * rx;
  const double cx = width / 2.0;
  const double cy = height / 2.0;
  // A few ovals on the disc: position (u, v), radii, and how much they change the brightness.
  struct Oval {
    double U, V, Ru, Rv, Amount;
  };
  std::vector<Oval> ovals{{0.28, 0.32, 0.16, 0.08, -0.35}};
  for (int i = 0; i < 6; ++i)
    ovals.push_back({random.Unit() * 1.4 - 0.7, random.Unit() * 1.4 - 0.7, 0.04 + 0.05 * random.Unit(), 0.03,
                     0.3 * random.Unit() - 0.15});
  const double twoPi = 2.0 * std::numbers::pi;
  for (int y = 0; y < height; ++y) {
    float* row = c.Row(y);
    const double v = (y + 0.5 - cy) / ry;
    for (int x = 0; x < width; ++x) {
      const double u = (x + 0.5 - cx) / rx;
      const double r2 = u * u + v * v;
      if (r2 >= 1.0) {
        row[x] = SkyLevel;
        continue;
      }
      const double mu = std::sqrt(1.0 - r2);
      const double limb = 0.25 + 0.75 * std::sqrt(mu);
      const double wave = 0.04 * std::sin(9.0 * u + 5.0 * v) + 0.02 * std::sin(23.0 * u);
      double band = 0.78 + 0.16 * std::sin(twoPi * (3.1 * v + wave)) + 0.06 * std::sin(twoPi * (7.3 * v - 2 * wave));
      for (const Oval& o : ovals) {
        const double du = (u - o.U) / o.Ru;
        const double dv = (v - o.V) / o.Rv;
        band += o.Amount * std::exp(-(du * du + dv * dv));
      }
      row[x] = static_cast<float>(SkyLevel + 205.0 * limb * std::clamp(band, 0.0, 1.2));
    }
  }
  return c;
}

/// Separable Gaussian blur; samples beyond the canvas repeat its edge.
Canvas Blur(const Canvas& in, double sigma) {
  const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
  std::vector<float> kernel(static_cast<std::size_t>(2 * radius + 1));
  double sum = 0.0;
  for (int i = -radius; i <= radius; ++i)
    sum += kernel[static_cast<std::size_t>(i + radius)] = static_cast<float>(std::exp(-0.5 * i * i / (sigma * sigma)));
  for (float& k : kernel) k = static_cast<float>(k / sum);

  const int w = in.Width;
  const int h = in.Height;
  Canvas across{w, h, std::vector<float>(in.Samples.size())};
  std::vector<float> line(static_cast<std::size_t>(w + 2 * radius));
  for (int y = 0; y < h; ++y) {
    const float* src = in.Row(y);
    for (int i = 0; i < w + 2 * radius; ++i) line[static_cast<std::size_t>(i)] = src[std::clamp(i - radius, 0, w - 1)];
    float* dst = across.Row(y);
    for (int x = 0; x < w; ++x) {
      float s = 0.0f;
      for (int k = 0; k <= 2 * radius; ++k)
        s += kernel[static_cast<std::size_t>(k)] * line[static_cast<std::size_t>(x + k)];
      dst[x] = s;
    }
  }
  Canvas out{w, h, std::vector<float>(in.Samples.size())};
  for (int y = 0; y < h; ++y) {
    float* dst = out.Row(y);
    std::fill(dst, dst + w, 0.0f);
    for (int k = -radius; k <= radius; ++k) {
      const float* src = across.Row(std::clamp(y + k, 0, h - 1));
      const float weight = kernel[static_cast<std::size_t>(k + radius)];
      for (int x = 0; x < w; ++x) dst[x] += weight * src[x];
    }
  }
  return out;
}

struct Options {
  int Width = 640;
  int Height = 480;
  int Frames = 300;
  int MaxShift = 15;
  std::uint64_t Seed = 1;
  std::string Output = "corvane_sample.avi";
  std::string Shifts;  // empty: the video's name with ".shifts.txt" for its extension
  std::string Seeing;  // empty: no seeing file
  std::string Codec = "raw";
};

/// The frames go to an uncompressed or a compressed writer.
class FrameSink {
 public:
  FrameSink(const Options& o) {
    if (o.Codec == "raw") {
      m_raw = std::make_unique<AviWriter>(o.Output, o.Width, o.Height, AviPixelFormat::Grey8, 25);
      return;
    }
    corvane::EncodedAviOptions e;
    e.Codec = o.Codec == "mpeg4"  ? corvane::AviCodec::Mpeg4
              : o.Codec == "h264" ? corvane::AviCodec::H264
                                  : corvane::AviCodec::Mjpeg;
    m_encoded = std::make_unique<EncodedAviWriter>(o.Output, o.Width, o.Height, AviPixelFormat::Grey8, e);
  }
  void AddFrame(const std::uint8_t* pixels) {
    if (m_raw)
      m_raw->AddFrame(pixels);
    else
      m_encoded->AddFrame(pixels);
  }
  void Finish() {
    if (m_raw)
      m_raw->Finish();
    else
      m_encoded->Finish();
  }

 private:
  std::unique_ptr<AviWriter> m_raw;
  std::unique_ptr<EncodedAviWriter> m_encoded;
};

std::string DefaultShiftsName(const std::string& video) {
  std::filesystem::path p(video);
  p.replace_extension(".shifts.txt");
  return p.string();
}

void MakeSample(const Options& o) {
  Random random(o.Seed);
  const int margin = o.MaxShift;
  const Canvas scene = DrawPlanet(o.Width + 2 * margin, o.Height + 2 * margin, random);
  // A handful of seeing levels, blurred once; each frame takes one of them.
  constexpr int Levels = 8;
  std::vector<Canvas> seeing;
  auto sigma = [](int level) { return 0.7 + 1.6 * level / (Levels - 1); };
  for (int i = 0; i < Levels; ++i) seeing.push_back(Blur(scene, sigma(i)));

  FrameSink writer(o);
  std::string levels;
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(o.Width) * static_cast<std::size_t>(o.Height));
  std::string shifts;
  // The sum of four 16-bit uniforms: mean 2 x 65535, standard deviation 65536 / sqrt(3).
  constexpr float NoiseSigma = 2.5f;
  const float noiseScale = NoiseSigma * std::sqrt(3.0f) / 65536.0f;
  constexpr float NoiseMean = 2.0f * 65535.0f;
  for (int f = 0; f < o.Frames; ++f) {
    const int sx = f == 0 ? 0 : random.Between(-o.MaxShift, o.MaxShift);
    const int sy = f == 0 ? 0 : random.Between(-o.MaxShift, o.MaxShift);
    const int levelIndex = f == 0 ? 0 : random.Between(0, Levels - 1);
    const Canvas& level = seeing[static_cast<std::size_t>(levelIndex)];
    const float gain = f == 0 ? 1.0f : static_cast<float>(0.95 + 0.1 * random.Unit());
    Random noise(o.Seed * 0x2545F4914F6CDD1Dull + static_cast<std::uint64_t>(f) + 1);
    for (int y = 0; y < o.Height; ++y) {
      // Frame (x, y) shows the scene where frame 0 shows it at (x - sx, y - sy).
      const float* src = level.Row(y - sy + margin) + (margin - sx);
      std::uint8_t* dst = frame.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(o.Width);
      for (int x = 0; x < o.Width; ++x) {
        const std::uint64_t r = noise.Next();
        const float n =
            static_cast<float>((r & 0xFFFF) + (r >> 16 & 0xFFFF) + (r >> 32 & 0xFFFF) + (r >> 48)) - NoiseMean;
        const float v = src[x] * gain + n * noiseScale;
        dst[x] = static_cast<std::uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
      }
    }
    writer.AddFrame(frame.data());
    shifts += std::to_string(f) + ' ' + std::to_string(sx) + ' ' + std::to_string(sy) + '\n';
    char line[64];
    std::snprintf(line, sizeof line, "%d %d %.4f\n", f, levelIndex, sigma(levelIndex));
    levels += line;
  }
  if (!o.Seeing.empty())
    corvane::WriteFileAtomically(o.Seeing, {reinterpret_cast<const std::uint8_t*>(levels.data()), levels.size()});
  // The shifts first: the video's rename comes last, so a video is never there without its shifts.
  const std::string shiftsName = o.Shifts.empty() ? DefaultShiftsName(o.Output) : o.Shifts;
  corvane::WriteFileAtomically(shiftsName, {reinterpret_cast<const std::uint8_t*>(shifts.data()), shifts.size()});
  writer.Finish();
  std::printf("%s\n%s\n", o.Output.c_str(), shiftsName.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{
      "Writes a synthetic planet video (8-bit grey AVI, uncompressed unless --codec says otherwise) and its true "
      "frame shifts, one line per "
      "frame: index, shift x, shift y (frame sample (x + shift x, y + shift y) shows what frame 0 shows at (x, y))."};
  app.add_option("-W,--width", o.Width, "frame width")->capture_default_str()->check(CLI::Range(16, 7200));
  app.add_option("-H,--height", o.Height, "frame height")->capture_default_str()->check(CLI::Range(16, 2700));
  app.add_option("-n,--frames", o.Frames, "number of frames")->capture_default_str()->check(CLI::Range(1, 100000));
  app.add_option("--max-shift", o.MaxShift, "largest shift in x and y, in samples")
      ->capture_default_str()
      ->check(CLI::Range(0, 15));
  app.add_option("-s,--seed", o.Seed, "random seed")->capture_default_str();
  app.add_option("-o,--output", o.Output, "the video file")->capture_default_str();
  app.add_option("--shifts", o.Shifts, "the shifts file (default: the video's name with .shifts.txt)");
  app.add_option("--seeing", o.Seeing,
                 "also write each frame's blur level: index, level (0 sharpest .. 7), Gaussian sigma in samples");
  app.add_option("--codec", o.Codec, "raw: uncompressed 8-bit grey; mpeg4, h264, mjpeg: compressed")
      ->capture_default_str()
      ->check(CLI::IsMember({"raw", "mpeg4", "h264", "mjpeg"}));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  try {
    MakeSample(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvane-make-sample: error: %s\n", e.what());
    return 4;
  }
  return 0;
}
