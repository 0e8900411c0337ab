#include "enhance/sharpen.h"

#include <algorithm>
#include <cstdint>

#include "core/image16.h"
#include "enhance/parallel_rows.h"

namespace corvane {

namespace {

// Per-sample updates, one row at a time. Each has an AVX2 clone picked at run
// time; all are exact, so every clone gives the same bits. X and G may be the
// same plane (each sample is read before it is written), so those two
// pointers are not restrict.

#if defined(__x86_64__)
#define CORVANE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define CORVANE_CLONES
#endif

// x := clamp(b + ((g - b) x s) div 4) with b = x; |s| <= 32767 keeps the
// product within 32 bits.
CORVANE_CLONES void UnsharpRow32(std::uint16_t* x, const std::uint16_t* g, std::int32_t n, std::int32_t s) {
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t b = x[i];
    const std::int32_t v = b + ((static_cast<std::int32_t>(g[i]) - b) * s) / 4;
    x[i] = static_cast<std::uint16_t>(std::clamp(v, 0, 65535));
  }
}

void UnsharpRow64(std::uint16_t* x, const std::uint16_t* g, std::int32_t n, std::int64_t s) {
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int64_t b = x[i];
    const std::int64_t v = b + ((static_cast<std::int64_t>(g[i]) - b) * s) / 4;
    x[i] = static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 65535));
  }
}

// x := clamp(e + ((g - t) x 256) div 256) with e = x.
CORVANE_CLONES void CittertRow(std::uint16_t* x, const std::uint16_t* g, const std::uint16_t* __restrict t,
                               std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t e = x[i];
    const std::int32_t v = e + ((static_cast<std::int32_t>(g[i]) - t[i]) * 256) / 256;
    x[i] = static_cast<std::uint16_t>(std::clamp(v, 0, 65535));
  }
}

// q := clamp((g x 256) div max(1, t)). The numerator is below 2^24 and the
// divisor below 2^16, both exact as floats. When the quotient is not a whole
// number it lies at least 1/t, that is more than quotient x 2^-24, away from
// the next whole number, while the float division is off by at most
// quotient x 2^-24: truncating the float quotient gives the exact integer one.
CORVANE_CLONES void RatioRow(std::uint16_t* __restrict q, const std::uint16_t* __restrict g,
                             const std::uint16_t* __restrict t, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t num = static_cast<std::int32_t>(g[i]) * 256;
    const std::int32_t den = std::max<std::int32_t>(1, t[i]);
    const std::int32_t v = static_cast<std::int32_t>(static_cast<float>(num) / static_cast<float>(den));
    q[i] = static_cast<std::uint16_t>(std::min(v, 65535));
  }
}

// x := clamp((x x t) div 256); the product of two 16-bit samples fits 32 unsigned bits.
CORVANE_CLONES void CorrectRow(std::uint16_t* __restrict x, const std::uint16_t* __restrict t, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) {
    const std::uint32_t v = (static_cast<std::uint32_t>(x[i]) * t[i]) >> 8;
    x[i] = static_cast<std::uint16_t>(std::min<std::uint32_t>(v, 65535));
  }
}

// The update interior: r <= x < G.Width - r and r <= y < G.Height - r, cut to
// X's plane (the work planes have X's size).
struct Interior {
  std::int32_t X0 = 0, X1 = 0, Y0 = 0, Y1 = 0;
  bool Empty() const noexcept { return X1 <= X0 || Y1 <= Y0; }
  std::int32_t Width() const noexcept { return X1 - X0; }
};

Interior UpdateInterior(const TImage16& x, const TImage16& g, const TConvKernel& kernel) noexcept {
  const std::int32_t r = kernel[0] / 2;
  Interior in;
  in.X0 = r;
  in.Y0 = r;
  in.X1 = std::min(g.Width - r, x.Width);
  in.Y1 = std::min(g.Height - r, x.Height);
  return in;
}

// Runs row(y) for every row of the interior on all cores.
template <class Row>
void ForInteriorRows(const Interior& in, const Row& row) {
  if (in.Empty()) return;
  const int workers = detail::WorkerCount(0, in.Y1 - in.Y0, in.Width());
  detail::ParallelRows(in.Y0, in.Y1, workers, [&](std::int32_t y0, std::int32_t y1) {
    for (std::int32_t y = y0; y < y1; ++y) row(y);
  });
}

bool Usable(const TImageListItem& x, const TImageListItem& g, const TConvKernel& kernel) noexcept {
  return kernel[0] != 0 && x.Image.HasStorage() && g.Image.HasStorage();
}

// T := X's top-left width x height in a plane of X's size.
void StartWorkPlane(TImage16& t, const TImage16& x, std::int32_t width, std::int32_t height) {
  Image16Create(t, x.Width, x.Height);
  Image16Copy(t, 0, 0, x, 0, 0, width, height);
}

}  // namespace

void UnsharpMask(TImageListItem& x, const TImageListItem& g, std::int32_t /*width*/, std::int32_t /*height*/,
                 const TConvKernel& kernel, std::int32_t strength) {
  if (!Usable(x, g, kernel)) return;
  KernelConvolve(x.Image, g.Image, kernel);
  const Interior in = UpdateInterior(x.Image, g.Image, kernel);
  TImage16& xp = x.Image;
  const TImage16& gp = g.Image;
  ForInteriorRows(in, [&](std::int32_t y) {
    std::uint16_t* xr = xp.Row(y) + in.X0;
    const std::uint16_t* gr = gp.Row(y) + in.X0;
    if (strength >= -32767 && strength <= 32767)
      UnsharpRow32(xr, gr, in.Width(), strength);
    else
      UnsharpRow64(xr, gr, in.Width(), strength);
  });
}

void VanCittert(TImageListItem& x, const TImageListItem& g, std::int32_t width, std::int32_t height,
                const TConvKernel& kernel, std::int32_t iterations, Services& services) {
  if (!Usable(x, g, kernel)) return;
  TImage16 t;
  StartWorkPlane(t, x.Image, width, height);
  const Interior in = UpdateInterior(x.Image, g.Image, kernel);
  TImage16& xp = x.Image;
  const TImage16& gp = g.Image;
  services.ProgressStart(2, 1, iterations, "Iteration:");
  for (std::int32_t k = 1; k <= iterations; ++k) {
    services.ProgressStep(2, k);
    KernelConvolve(t, xp, kernel);
    ForInteriorRows(
        in, [&](std::int32_t y) { CittertRow(xp.Row(y) + in.X0, gp.Row(y) + in.X0, t.Row(y) + in.X0, in.Width()); });
  }
}

void LucyRichardson(TImageListItem& x, const TImageListItem& g, std::int32_t width, std::int32_t height,
                    const TConvKernel& kernel, std::int32_t iterations, Services& services) {
  if (!Usable(x, g, kernel)) return;
  TImage16 t, q;
  StartWorkPlane(t, x.Image, width, height);
  Image16Create(q, x.Image.Width, x.Image.Height);
  const Interior in = UpdateInterior(x.Image, g.Image, kernel);
  TImage16& xp = x.Image;
  const TImage16& gp = g.Image;
  services.ProgressStart(2, 1, iterations, "Iteration:");
  for (std::int32_t k = 1; k <= iterations; ++k) {
    services.ProgressStep(2, k);
    KernelConvolve(t, xp, kernel);
    ForInteriorRows(
        in, [&](std::int32_t y) { RatioRow(q.Row(y) + in.X0, gp.Row(y) + in.X0, t.Row(y) + in.X0, in.Width()); });
    KernelConvolve(t, q, kernel);
    ForInteriorRows(in, [&](std::int32_t y) { CorrectRow(xp.Row(y) + in.X0, t.Row(y) + in.X0, in.Width()); });
  }
}

}  // namespace corvane
