#include "enhance/kernel_convolve.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/errors.h"
#include "enhance/parallel_rows.h"

#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#define CORVANE_HAVE_X86_SIMD 1
#else
#define CORVANE_HAVE_X86_SIMD 0
#endif

namespace corvane {

std::uint8_t KernelValue(std::int32_t x, std::int32_t y, const TConvKernel& kernel) {
  const std::int64_t w = kernel[0] >= 17 ? 17 : kernel[0];
  const std::int64_t index = static_cast<std::int64_t>(y) * w + x + 1;
  if (index < 0 || index > 255)
    throw RangeError("KernelValue: sample (" + std::to_string(x) + ", " + std::to_string(y) +
                     ") of a kernel of width " + std::to_string(kernel[0]) + " lies outside the 255 weights");
  return kernel[static_cast<std::size_t>(index)];
}

std::int64_t KernelSum(const TConvKernel& kernel, bool include) {
  if (!include) return 0;
  const int cols = std::min<int>(kernel[0], 17), rows = std::min<int>(kernel[0], 15);
  std::int64_t sum = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x) sum += KernelValue(x, y, kernel);
  return sum;
}

namespace {

// The kernel as the convolution uses it: Cols x Rows weights (odd sizes, the
// padding of an even width weighing 0), centred on (RX, RY).
struct Psf {
  int RX = 0, RY = 0, Cols = 0, Rows = 0;
  int Pairs = 0;                               // (Rows + 1) / 2 pairs of kernel rows
  std::array<std::uint8_t, 17 * 15> Weight{};  // Weight[r * Cols + c]
  // Weights of kernel rows 2p (low half) and 2p + 1 (high half) for column c,
  // at [p * Cols + c]; the row after the last weighs 0.
  std::array<std::int32_t, 8 * 17> PairWeights{};
  std::uint32_t WeightSum = 0;  // the sum the convolution multiplies in, <= 65025
  std::int64_t Norm = 1;
};

Psf MakePsf(const TConvKernel& kernel, bool include) {
  Psf psf;
  const int w = std::min<int>(kernel[0], 17);  // also the stride of the stored rows
  const int dataRows = std::min<int>(kernel[0], 15);
  psf.RX = w / 2;
  psf.RY = dataRows / 2;
  psf.Cols = 2 * psf.RX + 1;
  psf.Rows = 2 * psf.RY + 1;
  psf.Pairs = (psf.Rows + 1) / 2;
  for (int r = 0; r < dataRows; ++r)
    for (int c = 0; c < w; ++c) {
      const std::uint8_t v = kernel[static_cast<std::size_t>(1 + r * w + c)];
      psf.Weight[static_cast<std::size_t>(r * psf.Cols + c)] = v;
      psf.WeightSum += v;
    }
  for (int p = 0; p < psf.Pairs; ++p)
    for (int c = 0; c < psf.Cols; ++c) {
      const std::uint32_t lo = psf.Weight[static_cast<std::size_t>(2 * p * psf.Cols + c)];
      const std::uint32_t hi =
          2 * p + 1 < psf.Rows ? psf.Weight[static_cast<std::size_t>((2 * p + 1) * psf.Cols + c)] : 0u;
      psf.PairWeights[static_cast<std::size_t>(p * psf.Cols + c)] = static_cast<std::int32_t>(lo | (hi << 16));
    }
  psf.Norm = std::max<std::int64_t>(1, KernelSum(kernel, include));
  return psf;
}

// Turning an offset sum into the output sample: (sum + Bias) div Norm, at most
// 65535, computed as trunc((sum + Bias) x Inverse + Nudge) in doubles.
//
// Why that is exact: the total t = sum + Bias is a whole number below 2^32 and
// the norm d lies in 1..65025. The product t x fl(1/d), rounded, and the
// rounded addition of Nudge = 2^-17 stay within 2^-20 + 2^-21 of t/d + 2^-17.
// If t/d is a whole number q the result lies in (q, q + 1); otherwise the
// fraction of t/d is between 1/d and 1 - 1/d, with 1/d >= 1.5e-5 above
// 2^-17 + 2^-20 + 2^-21 (about 9.1e-6), so the whole part is unchanged.
struct FinishConstants {
  double Bias = 0;  // 32768 x the sum of the weights
  double Inverse = 1;
  static constexpr double Nudge = 1.0 / 131072;
};

// One call's planes, interior and kernel, shared read-only by the workers.
struct ConvolveJob {
  const Psf* Kernel = nullptr;
  const std::uint16_t* Source = nullptr;
  std::int32_t SourceWidth = 0, SourceHeight = 0;
  std::uint16_t* Destination = nullptr;
  std::int32_t DestinationWidth = 0;
  std::int32_t XBegin = 0, XEnd = 0, YBegin = 0, YEnd = 0;  // the interior, [begin, end)
  FinishConstants Finish;

  const std::uint16_t* SourceRow(std::int32_t y) const noexcept {
    return Source + static_cast<std::ptrdiff_t>(y) * SourceWidth;
  }
  std::uint16_t* DestinationRow(std::int32_t y) const noexcept {
    return Destination + static_cast<std::ptrdiff_t>(y) * DestinationWidth;
  }
};

// The definition, one output sample at a time (sums below 2^32).
std::uint16_t PlainSample(const ConvolveJob& job, std::int32_t x, std::int32_t y) noexcept {
  const Psf& psf = *job.Kernel;
  std::uint64_t sum = 0;
  for (int r = 0; r < psf.Rows; ++r) {
    const std::uint16_t* s = job.SourceRow(y - psf.RY + r) + (x - psf.RX);
    const std::uint8_t* w = psf.Weight.data() + r * psf.Cols;
    std::uint32_t rowSum = 0;  // at most 17 x 255 x 65535
    for (int c = 0; c < psf.Cols; ++c) rowSum += static_cast<std::uint32_t>(w[c]) * s[c];
    sum += rowSum;
  }
  return static_cast<std::uint16_t>(std::min<std::uint64_t>(65535, sum / static_cast<std::uint64_t>(job.Kernel->Norm)));
}

void PlainBand(const ConvolveJob& job, std::int32_t y0, std::int32_t y1) {
  for (std::int32_t y = y0; y < y1; ++y) {
    std::uint16_t* out = job.DestinationRow(y);
    for (std::int32_t x = job.XBegin; x < job.XEnd; ++x) out[x] = PlainSample(job, x, y);
  }
}

#if CORVANE_HAVE_X86_SIMD

namespace sse2 {

struct V {
  using I = __m128i;
  static constexpr int L = 4;
  static I Zero() { return _mm_setzero_si128(); }
  static I Broadcast(std::int32_t v) { return _mm_set1_epi32(v); }
  // acc + the pairwise 16-bit products of the samples at p and the weights.
  static I MaddAdd(I acc, const std::int32_t* p, I w) {
    return _mm_add_epi32(_mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), w), acc);
  }
  static void Finish(std::uint16_t* out, I acc, const FinishConstants& fc) {
    const __m128d bias = _mm_set1_pd(fc.Bias), inverse = _mm_set1_pd(fc.Inverse);
    const __m128d nudge = _mm_set1_pd(FinishConstants::Nudge), top = _mm_set1_pd(65535.0);
    __m128d lo = _mm_cvtepi32_pd(acc);
    __m128d hi = _mm_cvtepi32_pd(_mm_shuffle_epi32(acc, 0x4E));
    lo = _mm_min_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(lo, bias), inverse), nudge), top);
    hi = _mm_min_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(hi, bias), inverse), nudge), top);
    const __m128i q = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
    // 0..65535 to 16 bits without SSE4.1: shift into the signed range, pack, shift back.
    const __m128i shifted = _mm_sub_epi32(q, _mm_set1_epi32(32768));
    const __m128i packed = _mm_xor_si128(_mm_packs_epi32(shifted, shifted), _mm_set1_epi16(-32768));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
  }
};

#define CORVANE_SIMD_TARGET
#include "enhance/kernel_convolve_body.inc"
#undef CORVANE_SIMD_TARGET

}  // namespace sse2

namespace avx2 {

#define CORVANE_SIMD_TARGET __attribute__((target("avx2")))

struct V {
  using I = __m256i;
  static constexpr int L = 8;
  CORVANE_SIMD_TARGET static I Zero() { return _mm256_setzero_si256(); }
  CORVANE_SIMD_TARGET static I Broadcast(std::int32_t v) { return _mm256_set1_epi32(v); }
  CORVANE_SIMD_TARGET static I MaddAdd(I acc, const std::int32_t* p, I w) {
    return _mm256_add_epi32(_mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), w), acc);
  }
  CORVANE_SIMD_TARGET static void Finish(std::uint16_t* out, I acc, const FinishConstants& fc) {
    const __m256d bias = _mm256_set1_pd(fc.Bias), inverse = _mm256_set1_pd(fc.Inverse);
    const __m256d nudge = _mm256_set1_pd(FinishConstants::Nudge), top = _mm256_set1_pd(65535.0);
    __m256d lo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(acc));
    __m256d hi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(acc, 1));
    lo = _mm256_min_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(lo, bias), inverse), nudge), top);
    hi = _mm256_min_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(hi, bias), inverse), nudge), top);
    const __m128i packed = _mm_packus_epi32(_mm256_cvttpd_epi32(lo), _mm256_cvttpd_epi32(hi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
  }
};

#include "enhance/kernel_convolve_body.inc"
#undef CORVANE_SIMD_TARGET

}  // namespace avx2

bool CpuHasAvx2() noexcept {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

#endif  // CORVANE_HAVE_X86_SIMD

using detail::ConvolvePath;

ConvolvePath Resolve(ConvolvePath path) noexcept {
  if (path != ConvolvePath::Auto) return path;
#if CORVANE_HAVE_X86_SIMD
  return CpuHasAvx2() ? ConvolvePath::Avx2 : ConvolvePath::Sse2;
#else
  return ConvolvePath::Plain;
#endif
}

const char* PathName(ConvolvePath path) noexcept {
  switch (path) {
    case ConvolvePath::Auto: return "auto";
    case ConvolvePath::Plain: return "plain";
    case ConvolvePath::Sse2: return "SSE2";
    case ConvolvePath::Avx2: return "AVX2";
  }
  return "?";
}

}  // namespace

namespace detail {

bool ConvolvePathAvailable(ConvolvePath path) noexcept {
  switch (path) {
    case ConvolvePath::Auto:
    case ConvolvePath::Plain: return true;
#if CORVANE_HAVE_X86_SIMD
    case ConvolvePath::Sse2: return true;
    case ConvolvePath::Avx2: return CpuHasAvx2();
#else
    default: return false;
#endif
  }
  return false;
}

void KernelConvolveOn(ConvolvePath path, TImage16& destination, const TImage16& source, const TConvKernel& kernel,
                      bool include, int threads) {
  if (!ConvolvePathAvailable(path))
    throw RangeError(std::string("KernelConvolve: the ") + PathName(path) + " path is not available here");
  path = Resolve(path);
  if (kernel[0] == 0 || !source.HasStorage() || !destination.HasStorage()) return;

  const Psf psf = MakePsf(kernel, include);
  ConvolveJob job;
  job.Kernel = &psf;
  job.XBegin = psf.RX;
  job.YBegin = psf.RY;
  job.XEnd = std::min(source.Width - psf.RX, destination.Width);
  job.YEnd = std::min(source.Height - psf.RY, destination.Height);
  if (job.XEnd <= job.XBegin || job.YEnd <= job.YBegin) return;

  TImage16 copy;  // only when the destination is the source
  const TImage16* from = &source;
  if (&destination == &source) {
    Image16Create(copy, source.Width, source.Height);
    Image16Copy(copy, 0, 0, source, 0, 0, source.Width, source.Height);
    from = &copy;
  }
  job.Source = from->Data.get();
  job.SourceWidth = from->Width;
  job.SourceHeight = from->Height;
  job.Destination = destination.Data.get();
  job.DestinationWidth = destination.Width;
  job.Finish.Bias = 32768.0 * psf.WeightSum;
  job.Finish.Inverse = 1.0 / static_cast<double>(psf.Norm);

  const int workers = WorkerCount(threads, job.YEnd - job.YBegin,
                                  static_cast<std::int64_t>(job.XEnd - job.XBegin) * psf.Cols * psf.Rows / 16);
  ParallelRows(job.YBegin, job.YEnd, workers, [&](std::int32_t y0, std::int32_t y1) {
    switch (path) {
#if CORVANE_HAVE_X86_SIMD
      case ConvolvePath::Sse2:
      case ConvolvePath::Avx2: {
        std::vector<std::int32_t> ring(static_cast<std::size_t>(16) * static_cast<std::size_t>(job.SourceWidth));
        if (path == ConvolvePath::Avx2)
          avx2::ConvolveBand(job, y0, y1, ring.data());
        else
          sse2::ConvolveBand(job, y0, y1, ring.data());
        break;
      }
#endif
      default: PlainBand(job, y0, y1); break;
    }
  });
}

}  // namespace detail

void KernelConvolve(TImage16& destination, const TImage16& source, const TConvKernel& kernel, bool include,
                    int threads) {
  detail::KernelConvolveOn(detail::ConvolvePath::Auto, destination, source, kernel, include, threads);
}

}  // namespace corvane
