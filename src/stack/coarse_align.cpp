#include "stack/coarse_align.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <string>
#include <vector>

#include "core/errors.h"

namespace corvane {

namespace {

constexpr int WorkSide = 320;  // the larger side of the reduced planes, at most

// FFTW's planner is not thread-safe; executing a plan on new arrays is.
std::mutex& PlannerLock() {
  static std::mutex lock;
  return lock;
}

struct FloatFree {
  void operator()(float* p) const noexcept { fftwf_free(p); }
};
struct ComplexFree {
  void operator()(fftwf_complex* p) const noexcept { fftwf_free(p); }
};
using FloatBuffer = std::unique_ptr<float[], FloatFree>;
using ComplexBuffer = std::unique_ptr<fftwf_complex[], ComplexFree>;

FloatBuffer AllocFloats(std::size_t n) {
  FloatBuffer p(static_cast<float*>(fftwf_malloc(n * sizeof(float))));
  if (!p) throw std::bad_alloc();
  return p;
}
ComplexBuffer AllocComplex(std::size_t n) {
  ComplexBuffer p(static_cast<fftwf_complex*>(fftwf_malloc(n * sizeof(fftwf_complex))));
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

struct CoarseAligner::State {
  int Factor = 1;
  int Width = 0;  // of the reduced planes
  int Height = 0;
  std::vector<float> WindowX, WindowY;
  ComplexBuffer BasisSpectrum;
  fftwf_plan Forward = nullptr;
  fftwf_plan Inverse = nullptr;

  std::size_t Samples() const { return static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height); }
  std::size_t Bins() const { return static_cast<std::size_t>(Height) * static_cast<std::size_t>(Width / 2 + 1); }

  // The plane reduced by the factor (block means), less its mean, times the
  // window. Blocks beyond the plane take the plane's mean (0 once it is taken
  // out); blocks cut by its edge are the means of their samples inside it.
  void Prepare(const TImage16& plane, float* out) const {
    const int usedW = std::min(plane.Width, Width * Factor), usedH = std::min(plane.Height, Height * Factor);
    const int blocksW = (usedW + Factor - 1) / Factor, blocksH = (usedH + Factor - 1) / Factor;
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(usedW));
    double total = 0.0;
    for (int by = 0; by < blocksH; ++by) {
      const int y0 = by * Factor, y1 = std::min(usedH, y0 + Factor);
      std::fill(rows.begin(), rows.end(), 0u);
      for (int y = y0; y < y1; ++y) {
        const std::uint16_t* row = plane.Row(y);
        for (int x = 0; x < usedW; ++x) rows[static_cast<std::size_t>(x)] += row[x];
      }
      float* o = out + static_cast<std::size_t>(by) * Width;
      for (int bx = 0; bx < blocksW; ++bx) {
        const int x0 = bx * Factor, x1 = std::min(usedW, x0 + Factor);
        std::uint64_t sum = 0;
        for (int x = x0; x < x1; ++x) sum += rows[static_cast<std::size_t>(x)];
        o[bx] = static_cast<float>(static_cast<double>(sum) / ((x1 - x0) * (y1 - y0)));
        total += o[bx];
      }
    }
    const float mean = blocksW > 0 && blocksH > 0 ? static_cast<float>(total / (blocksW * blocksH)) : 0.0f;
    for (int by = 0; by < Height; ++by) {
      float* o = out + static_cast<std::size_t>(by) * Width;
      const float wy = WindowY[static_cast<std::size_t>(by)];
      for (int bx = 0; bx < Width; ++bx)
        o[bx] = by < blocksH && bx < blocksW ? (o[bx] - mean) * WindowX[static_cast<std::size_t>(bx)] * wy : 0.0f;
    }
  }

  ~State() {
    const std::lock_guard<std::mutex> guard(PlannerLock());
    if (Forward != nullptr) fftwf_destroy_plan(Forward);
    if (Inverse != nullptr) fftwf_destroy_plan(Inverse);
  }
};

CoarseAligner::CoarseAligner(const TImage16& basis) : m_state(std::make_unique<State>()) {
  if (basis.Width <= 0 || basis.Height <= 0 || !basis.HasStorage())
    throw RangeError("coarse alignment: the basis has no samples (" + std::to_string(basis.Width) + " x " +
                     std::to_string(basis.Height) + ")");
  State& s = *m_state;
  const int side = std::max(basis.Width, basis.Height);
  s.Factor = (side + WorkSide - 1) / WorkSide;
  s.Width = (basis.Width + s.Factor - 1) / s.Factor;
  s.Height = (basis.Height + s.Factor - 1) / s.Factor;
  auto hann = [](int n) {
    std::vector<float> w(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
      w[static_cast<std::size_t>(i)] =
          n > 1 ? static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (i + 0.5) / n)) : 1.0f;
    return w;
  };
  s.WindowX = hann(s.Width);
  s.WindowY = hann(s.Height);
  FloatBuffer real = AllocFloats(s.Samples());
  s.BasisSpectrum = AllocComplex(s.Bins());
  {
    // Estimated plans: the same arithmetic on every run, so the same offsets.
    const std::lock_guard<std::mutex> guard(PlannerLock());
    s.Forward = fftwf_plan_dft_r2c_2d(s.Height, s.Width, real.get(), s.BasisSpectrum.get(), FFTW_ESTIMATE);
    s.Inverse = fftwf_plan_dft_c2r_2d(s.Height, s.Width, s.BasisSpectrum.get(), real.get(), FFTW_ESTIMATE);
  }
  if (s.Forward == nullptr || s.Inverse == nullptr) throw std::bad_alloc();
  s.Prepare(basis, real.get());
  fftwf_execute_dft_r2c(s.Forward, real.get(), s.BasisSpectrum.get());
}

CoarseAligner::~CoarseAligner() = default;

int CoarseAligner::Factor() const noexcept { return m_state->Factor; }

TPoint32 CoarseAligner::Offset(const TImage16& frame) const {
  const State& s = *m_state;
  if (frame.Width <= 0 || frame.Height <= 0 || !frame.HasStorage()) return {};
  FloatBuffer real = AllocFloats(s.Samples());
  ComplexBuffer spectrum = AllocComplex(s.Bins());
  s.Prepare(frame, real.get());
  fftwf_execute_dft_r2c(s.Forward, real.get(), spectrum.get());
  // The cross-power spectrum frame x conj(basis), each bin brought to size 1:
  // its transform peaks at the offset.
  const std::size_t bins = s.Bins();
  for (std::size_t i = 0; i < bins; ++i) {
    const float fr = spectrum[i][0], fi = spectrum[i][1];
    const float br = s.BasisSpectrum[i][0], bi = s.BasisSpectrum[i][1];
    const float cr = fr * br + fi * bi, ci = fi * br - fr * bi;
    const float m2 = cr * cr + ci * ci;
    const float scale = m2 > 1e-30f ? 1.0f / std::sqrt(m2) : 0.0f;
    spectrum[i][0] = cr * scale;
    spectrum[i][1] = ci * scale;
  }
  fftwf_execute_dft_c2r(s.Inverse, spectrum.get(), real.get());
  std::size_t best = 0;
  for (std::size_t i = 1; i < s.Samples(); ++i)
    if (real[i] > real[best]) best = i;
  int px = static_cast<int>(best % static_cast<std::size_t>(s.Width));
  int py = static_cast<int>(best / static_cast<std::size_t>(s.Width));
  if (px > s.Width / 2) px -= s.Width;
  if (py > s.Height / 2) py -= s.Height;
  return {px * s.Factor, py * s.Factor};
}

}  // namespace corvane
