#include "stack/align.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "acquire/frame_rating.h"
#include "core/errors.h"
#include "core/image_ops.h"
#include "output/save_names.h"
#include "stack/coarse_align.h"

namespace corvane {

std::int64_t RoundHalfEven(double v) noexcept { return static_cast<std::int64_t>(std::nearbyint(v)); }

std::string GeneralDecimal(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", v);
  return buffer;
}

AlignBasis::AlignBasis(const TImage16& plane)
    : Plane(plane), Mean(Image16Mean(plane, 0, 0, plane.Width, plane.Height)) {}

namespace {

#if !defined(CORVANE_NO_DISPATCH) && defined(__GNUC__) && !defined(__clang__) && \
    (defined(__x86_64__) || defined(__i386__))
#define CORVANE_ALIGN_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define CORVANE_ALIGN_CLONES
#endif

struct AreaMoments {
  std::uint64_t Sum = 0;
  std::uint64_t Squares = 0;
};

// The sum and the sum of squares of an area of w x h samples.
CORVANE_ALIGN_CLONES AreaMoments Moments(const std::uint16_t* p, std::int32_t stride, std::int32_t w, std::int32_t h) {
  AreaMoments m;
  for (std::int32_t j = 0; j < h; ++j, p += stride) {
    std::uint64_t sum = 0, squares = 0;
    for (std::int32_t i = 0; i < w; ++i) {
      const std::uint32_t v = p[i];
      sum += v;
      squares += static_cast<std::uint64_t>(v * v);
    }
    m.Sum += sum;
    m.Squares += squares;
  }
  return m;
}

// The sum of |f x k + offset - b x 1024| over an area (k at most 8 x 1024,
// |offset| at most 8 x 65535 x 1024: every term fits 31 bits).
CORVANE_ALIGN_CLONES std::int64_t ScaledAbsDiffSum(const std::uint16_t* f, std::int32_t fStride, const std::uint16_t* b,
                                                   std::int32_t bStride, std::int32_t w, std::int32_t h, std::int32_t k,
                                                   std::int32_t offset) {
  std::int64_t total = 0;
  for (std::int32_t j = 0; j < h; ++j, f += fStride, b += bStride) {
    std::int64_t row = 0;
    for (std::int32_t i = 0; i < w; ++i) {
      const std::int32_t d = static_cast<std::int32_t>(f[i]) * k + offset - (static_cast<std::int32_t>(b[i]) << 10);
      row += d < 0 ? -d : d;
    }
    total += row;
  }
  return total;
}

// One AlignFrame call: the frame, the areas and the live display.
class Search {
 public:
  Search(const TImageListItem& frame, std::int32_t fx, std::int32_t fy, std::int32_t aw, std::int32_t ah,
         std::int32_t bx, std::int32_t by, const TImage16& basis, bool display, bool normalise, Services& services)
      : m_frame(frame.Image),
        m_fx(fx),
        m_fy(fy),
        m_aw(aw),
        m_ah(ah),
        m_bx(bx),
        m_by(by),
        m_basis(basis),
        m_display(display),
        m_normalise(normalise),
        m_services(services) {}

  // The sum of absolute differences of the basis area and the frame area moved
  // by (x, y), clipped as a pair with the basis as the destination side.
  std::int64_t Score(std::int32_t x, std::int32_t y) {
    const std::int32_t ax = Add(m_fx, x), ay = Add(m_fy, y);
    if (m_display) {
      m_shownX = ax;
      m_shownY = ay;
      m_pending = true;
    }
    if (m_normalise) return NormalisedScore(ax, ay);
    return static_cast<std::int64_t>(Image16AbsDiffSum64(m_basis, m_bx, m_by, m_frame, ax, ay, m_aw, m_ah));
  }

  // The live display of the comparisons. A pane is repainted when the window
  // takes pending input, and the search takes none between two comparisons,
  // so the comparison a pane shows at any pump is the last one measured
  // before it: that one is drawn, just before the pump, and no other.
  void ShowLastComparison() {
    if (!m_pending) return;
    m_pending = false;
    ShowComparison(m_shownX, m_shownY);
  }

  // Compares the placements on either side of s; equal scores go to the
  // negative direction. Answers +1, -1 or 0 (no better placement).
  int TrySymmetricStep(TSearchState& s, bool& measured, std::int32_t dx, std::int32_t dy) {
    const std::int32_t px = Add(s.X, dx), py = Add(s.Y, dy);
    const std::int32_t mx = Add(s.X, -static_cast<std::int64_t>(dx)), my = Add(s.Y, -static_cast<std::int64_t>(dy));
    const std::int64_t sp = Score(px, py);
    const std::int64_t sm = Score(mx, my);
    if (measured && s.Score <= sp && s.Score <= sm) return 0;
    measured = true;
    if (sp < sm) {
      s.X = px, s.Y = py, s.Score = sp;
      return 1;
    }
    s.X = mx, s.Y = my, s.Score = sm;
    return -1;
  }

 private:
  static std::int32_t Add(std::int64_t a, std::int64_t b) {
    const std::int64_t v = a + b;
    if (v > INT32_MAX || v < INT32_MIN)
      throw OverflowError("AlignFrame: offset " + std::to_string(a) + " + " + std::to_string(b) +
                          " overflows 32-bit integers");
    return static_cast<std::int32_t>(v);
  }

  // The sum of |(f - mean f) x (sd b / sd f) - (b - mean b)| over the same
  // clipped pair. A flat frame area keeps the scale 1; the scale is held
  // within 1/8 .. 8 (and kept to 10 fractional bits, so the sum is exact
  // integer arithmetic).
  std::int64_t NormalisedScore(std::int32_t ax, std::int32_t ay) const {
    std::int32_t bx = m_bx, by = m_by, w = m_aw, h = m_ah;
    Image16ClipPair(m_basis, bx, by, m_frame, ax, ay, w, h);
    if (w <= 0 || h <= 0) return 0;
    const std::uint16_t* f = m_frame.Row(ay) + ax;
    const std::uint16_t* b = m_basis.Row(by) + bx;
    // The basis area stays the same unless the pair is clipped.
    const bool whole = bx == m_bx && by == m_by && w == m_aw && h == m_ah;
    if (whole && !m_basisMoments) m_basisMoments = Moments(b, m_basis.Width, w, h);
    const AreaMoments mfv = Moments(f, m_frame.Width, w, h);
    const AreaMoments mbv = whole ? *m_basisMoments : Moments(b, m_basis.Width, w, h);
    const double n = static_cast<double>(w) * h;
    const double mf = static_cast<double>(mfv.Sum) / n, mb = static_cast<double>(mbv.Sum) / n;
    const double vf = std::max(0.0, static_cast<double>(mfv.Squares) / n - mf * mf);
    const double vb = std::max(0.0, static_cast<double>(mbv.Squares) / n - mb * mb);
    const double scale = vf > 0.0 ? std::clamp(std::sqrt(vb / vf), 0.125, 8.0) : 1.0;
    constexpr double One = 1024.0;
    const auto k = static_cast<std::int32_t>(std::lround(scale * One));
    const auto offset = static_cast<std::int32_t>(std::llround((mb - mf * k / One) * One));
    const std::int64_t sum = ScaledAbsDiffSum(f, m_frame.Width, b, m_basis.Width, w, h, k, offset);
    return (sum + 512) >> 10;
  }

  void ShowComparison(std::int32_t ax, std::int32_t ay) {
    Bitmap view(m_aw, m_ah);
    Image16ToBitmap(view, m_basis, m_bx, m_by, m_aw, m_ah, ChannelR);
    Image16ToBitmap(view, m_basis, m_bx, m_by, m_aw, m_ah, ChannelG);
    Image16ToBitmap(view, m_frame, ax, ay, m_aw, m_ah, ChannelB);
    m_services.ShowInResultPane(view);
  }

  const TImage16& m_frame;
  std::int32_t m_fx, m_fy, m_aw, m_ah, m_bx, m_by;
  const TImage16& m_basis;
  bool m_display;
  bool m_normalise;
  mutable std::optional<AreaMoments> m_basisMoments;
  Services& m_services;
  bool m_pending = false;
  std::int32_t m_shownX = 0, m_shownY = 0;
};

TPosition FeaturePosition(std::uint8_t bit, const TImage16& plane, std::int32_t x, std::int32_t y, std::int32_t w,
                          std::int32_t h) {
  switch (bit) {
    case UsingMax: return Image16MaxPos(plane, x, y, w, h);
    case UsingMin: return Image16MinPos(plane, x, y, w, h);
    default: return Image16Centroid(plane, x, y, w, h, 0.1);
  }
}

}  // namespace

void AlignFrame(TImageListItem& frame, std::int32_t fx, std::int32_t fy, int listPosition, std::int32_t aw,
                std::int32_t ah, std::int32_t bx, std::int32_t by, const AlignBasis& basis, const AlignOptions& options,
                AlignmentMemory& memory, Services& services) {
  if (listPosition < 0 || listPosition >= static_cast<int>(memory.LastCalculations.size()))
    throw RangeError("AlignFrame: list position " + std::to_string(listPosition) + " outside 0..4096");
  TSearchState& last = memory.LastCalculations[static_cast<std::size_t>(listPosition)];
  if (!options.Show) services.ShowStatus("");
  int steps = 0;
  Search search(frame, fx, fy, aw, ah, bx, by, basis.Plane, options.Show && services.HasResultPane(),
                options.NormaliseBrightness, services);

  if (options.StackUsing & UsingLast) {
    frame.Correlation = 0;
    frame.Shift = {last.X, last.Y};
    frame.SubShift = {last.SubX, last.SubY};
    frame.Rotate = last.Angle;
    frame.Resize = last.Scale;
    frame.Correlation = last.Score;
  }
  for (std::uint8_t bit : {UsingMax, UsingMin, UsingCenter}) {
    if (!(options.StackUsing & bit)) continue;
    frame.Correlation = 0;
    const TPosition pf = FeaturePosition(bit, frame.Image, fx, fy, aw, ah);
    const TPosition pb = FeaturePosition(bit, basis.Plane, bx, by, aw, ah);
    frame.Shift = {pf.x - pb.x, pf.y - pb.y};
    frame.SubShift = {};
    last = TSearchState{frame.Shift.x, frame.Shift.y, 0.0, 0.0, 0};
    ++steps;
  }
  if (options.Coarse != nullptr && !(options.StackUsing & UsingLast)) {
    // The offset between the whole planes, turned into the compare areas' terms.
    frame.Correlation = 0;
    const TPoint32 d = options.Coarse->Offset(frame.Image);
    frame.Shift = {static_cast<std::int32_t>(std::int64_t{d.x} + bx - fx),
                   static_cast<std::int32_t>(std::int64_t{d.y} + by - fy)};
    frame.SubShift = {};
    last = TSearchState{frame.Shift.x, frame.Shift.y, 0.0, 0.0, 0};
    ++steps;
  }
  if (options.StackUsing & UsingMove) {
    services.ProgressStart(2, 0, 24, "Move NrOfSteps");
    int iterations = 0;
    std::int32_t step = 16 * options.LoadResize;
    TSearchState s{frame.Shift.x, frame.Shift.y, frame.Rotate, frame.Resize, UnmeasuredScore};
    bool measured = false;  // the start score is never kept: the first trial always moves
    int ov = 0, oh = 0;
    do {
      services.ProgressStep(2, iterations);
      ++iterations;
      if (ov == 0 && oh == 0) step /= 2;
      if (oh == 0) ov = search.TrySymmetricStep(s, measured, 0, step);
      if (ov == 0) oh = search.TrySymmetricStep(s, measured, step, 0);
    } while (!(step < 1 || iterations > 24));
    if (options.SubPixel) {
      // A parabola through the minimum and its neighbours on each axis; its
      // vertex, within half a sample, is the fraction beyond the offset.
      auto vertex = [](std::int64_t minus, std::int64_t centre, std::int64_t plus) {
        const double curve = static_cast<double>(minus) - 2.0 * static_cast<double>(centre) + static_cast<double>(plus);
        if (!(curve > 0.0)) return 0.0;
        return std::clamp(0.5 * static_cast<double>(minus - plus) / curve, -0.5, 0.5);
      };
      const std::int64_t left = search.Score(s.X - 1, s.Y), right = search.Score(s.X + 1, s.Y);
      const std::int64_t up = search.Score(s.X, s.Y - 1), down = search.Score(s.X, s.Y + 1);
      s.SubX = vertex(left, s.Score, right);
      s.SubY = vertex(up, s.Score, down);
    }
    frame.Shift = {s.X, s.Y};
    frame.SubShift = {s.SubX, s.SubY};
    frame.Rotate = s.Angle;
    frame.Resize = s.Scale;
    frame.Correlation = s.Score;
    last = s;
    steps += iterations;
  }
  if (options.SetQuality && options.Rating == RatingMeasure::Sharpness) {
    frame.Sharpness = FrameSharpness(frame.Image, static_cast<std::int32_t>(std::int64_t{fx} + frame.Shift.x),
                                     static_cast<std::int32_t>(std::int64_t{fy} + frame.Shift.y), aw, ah);
  } else if (options.SetQuality) {
    frame.Quality = 500;
    const std::int32_t frameMean = Image16Mean(frame.Image, 0, 0, frame.Image.Width, frame.Image.Height);
    QualityFactors q;
    if (QualityIndex(frame.Image, fx, fy, basis.Plane, bx, by, aw, ah, frame.Shift.x, frame.Shift.y, frameMean,
                     basis.Mean, q)) {
      frame.QualityCorrelation = q.Correlation;
      frame.QualityLuminance = q.Luminance;
      frame.QualityContrast = q.Contrast;
      frame.Quality = static_cast<std::int32_t>(RoundHalfEven(q.Index * 1000.0));
    } else {
      frame.QualityCorrelation = frame.QualityLuminance = frame.QualityContrast = 0.0;
      frame.Quality = 0;
    }
  }
  search.ShowLastComparison();
  if (options.Show && options.StackUsing != 0) {
    services.ShowStatus(FileNamePart(frame.FileName) + ":" + std::to_string(frame.Number) +
                        " << X: " + std::to_string(frame.Shift.x) + ", Y: " + std::to_string(frame.Shift.y) +
                        ", Angle: " + GeneralDecimal(frame.Rotate) + ", Resize: " + GeneralDecimal(frame.Resize) +
                        " >>  Correlation: " + std::to_string(frame.Correlation) + ", in " + std::to_string(steps) +
                        " steps");
  }
}

bool QualityIndex(const TImage16& frame, std::int32_t fx, std::int32_t fy, const TImage16& basis, std::int32_t bx,
                  std::int32_t by, std::int32_t aw, std::int32_t ah, std::int32_t shiftX, std::int32_t shiftY,
                  std::int32_t frameMean, std::int32_t basisMean, QualityFactors& out) {
  out = QualityFactors{};
  const double mF = frameMean / 65535.0;
  const double mB = basisMean / 65535.0;
  std::int32_t x = static_cast<std::int32_t>(static_cast<std::int64_t>(fx) + shiftX);
  std::int32_t y = static_cast<std::int32_t>(static_cast<std::int64_t>(fy) + shiftY);
  std::int32_t w = aw, h = ah;
  Image16ClipPair(frame, x, y, basis, bx, by, w, h);
  if (w <= 0 || h <= 0) return false;
  const double n = static_cast<double>(w) * h;
  if (n < 2) return false;
  double saa = 0, sbb = 0, sab = 0;
  for (std::int32_t j = 0; j < h; ++j) {
    const std::uint16_t* pa = frame.Row(y + j) + x;
    const std::uint16_t* pb = basis.Row(by + j) + bx;
    for (std::int32_t i = 0; i < w; ++i) {
      const double a = pa[i] / 65535.0 - mF;
      const double b = pb[i] / 65535.0 - mB;
      saa += a * a;
      sbb += b * b;
      sab += a * b;
    }
  }
  const double vF = saa / (n - 1), vB = sbb / (n - 1), cFB = sab / (n - 1);
  const double sF = std::sqrt(vF), sB = std::sqrt(vB);
  const double means = mF * mF + mB * mB;
  if (sF * sB == 0.0 || means == 0.0 || vF + vB == 0.0) return false;
  out.Correlation = cFB / (sF * sB);
  out.Luminance = 2 * mF * mB / means;
  out.Contrast = 2 * sF * sB / (vF + vB);
  out.Index = out.Correlation * out.Luminance * out.Contrast;
  return true;
}

}  // namespace corvane
