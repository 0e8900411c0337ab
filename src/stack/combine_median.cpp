#include "stack/combine_median.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvane {

namespace {

constexpr std::uint16_t NoBin = 256;  // a high byte no sample has

// The bin of rank k in a 256-bin histogram, and the rank inside it.
void FindRank(const std::uint16_t* bins, std::uint32_t k, std::uint16_t& bin, std::uint32_t& rank) {
  std::uint32_t below = 0;
  for (std::uint32_t b = 0; b < 256; ++b) {
    if (below + bins[b] > k) {
      bin = static_cast<std::uint16_t>(b);
      rank = k - below;
      return;
    }
    below += bins[b];
  }
  bin = 255;
  rank = 0;
}

}  // namespace

void CombineMedianFrames(const FrameList& frames, TImage16& result, std::int32_t threshold, Resampling resampling) {
  const std::int32_t rw = result.Width, rh = result.Height;
  if (rw <= 0 || rh <= 0 || !result.HasStorage()) return;
  std::vector<PlacedFrame> placed;
  for (int i = 0; i < frames.Count(); ++i) {
    const TImageListItem& f = frames[i];
    if (f.Quality < threshold) continue;
    PlacedFrame p(f, rw, rh, resampling);
    if (p.X0() < p.X1() && p.Y0() < p.Y1()) placed.push_back(std::move(p));
  }
  if (placed.empty()) return;

  // Columns go in blocks of at most 1024 (the histograms of a block stay in the
  // second-level cache), and each frame's samples of a block are read in one
  // run. Frame counts stay below 65536 (the list holds at most 4096), so
  // 16-bit bins do.
  const std::int32_t Block = std::min<std::int32_t>(rw, 1024);
  const auto block = static_cast<std::size_t>(Block);
  constexpr std::size_t LowBins = 257;              // bin 256 takes the samples outside the first middle bin
  std::vector<std::uint16_t> high(block * 256);     // per column: counts of the high bytes
  std::vector<std::uint16_t> low(block * LowBins);  // per column: counts of the low bytes in the first middle bin
  std::vector<std::uint16_t> bin1(block), bin2(block), lowest(block);
  std::vector<std::uint32_t> rank1(block), rank2(block);
  std::vector<std::int32_t> count(static_cast<std::size_t>(rw) + 1);
  struct Span {
    const std::uint16_t* Samples;  // the frame's samples for columns X0 .. X1 - 1
    std::int32_t X0, X1;
  };
  std::vector<Span> spans;
  spans.reserve(placed.size());

  for (std::int32_t y = 0; y < rh; ++y) {
    spans.clear();
    std::fill(count.begin(), count.end(), 0);
    for (PlacedFrame& p : placed) {
      if (y < p.Y0() || y >= p.Y1()) continue;
      spans.push_back({p.Row(y), p.X0(), p.X1()});
      ++count[static_cast<std::size_t>(p.X0())];
      --count[static_cast<std::size_t>(p.X1())];
    }
    if (spans.empty()) continue;
    for (std::size_t x = 1; x <= static_cast<std::size_t>(rw); ++x) count[x] += count[x - 1];
    std::uint16_t* out = result.Row(y);

    for (std::int32_t b0 = 0; b0 < rw; b0 += Block) {
      const std::int32_t b1 = std::min(rw, b0 + Block);
      // Pass 1: the high bytes.
      std::fill(high.begin(), high.end(), 0);
      for (const Span& s : spans) {
        const std::int32_t lo = std::max(s.X0, b0), hi = std::min(s.X1, b1);
        const std::uint16_t* v = s.Samples + (lo - s.X0);
        std::uint16_t* h = high.data() + static_cast<std::size_t>(lo - b0) * 256;
        for (std::int32_t i = 0; i < hi - lo; ++i) ++h[static_cast<std::size_t>(i) * 256 + (v[i] >> 8)];
      }
      // The middle ranks: one for an odd count, two neighbours for an even one.
      for (std::int32_t x = b0; x < b1; ++x) {
        const auto c = static_cast<std::size_t>(x - b0);
        const auto n = static_cast<std::uint32_t>(count[static_cast<std::size_t>(x)]);
        lowest[c] = 255;
        if (n == 0) {
          bin1[c] = bin2[c] = NoBin;
          continue;
        }
        const std::uint16_t* h = high.data() + c * 256;
        FindRank(h, (n - 1) / 2, bin1[c], rank1[c]);
        FindRank(h, n / 2, bin2[c], rank2[c]);
        if (bin2[c] == bin1[c]) bin2[c] = NoBin;  // both ranks in one bin: its low bytes tell both
      }
      // Pass 2: the low bytes of the samples in the first middle bin, and the
      // smallest low byte in the second when the middle ranks straddle two bins.
      std::fill(low.begin(), low.end(), 0);
      for (const Span& s : spans) {
        const std::int32_t lo = std::max(s.X0, b0), hi = std::min(s.X1, b1);
        const std::uint16_t* v = s.Samples + (lo - s.X0);
        const std::size_t c0 = static_cast<std::size_t>(lo - b0);
        for (std::int32_t i = 0; i < hi - lo; ++i) {
          const std::size_t c = c0 + static_cast<std::size_t>(i);
          const unsigned sample = v[i], hb = sample >> 8, lb = sample & 0xFF;
          if (hb == bin1[c])
            ++low[c * LowBins + lb];
          else if (hb == bin2[c] && lb < lowest[c])
            lowest[c] = static_cast<std::uint16_t>(lb);
        }
      }
      for (std::int32_t x = b0; x < b1; ++x) {
        const auto c = static_cast<std::size_t>(x - b0);
        if (bin1[c] == NoBin) continue;
        const std::uint16_t* l = low.data() + c * LowBins;
        std::uint32_t v1, v2;
        if (bin2[c] == NoBin) {
          std::uint16_t b;
          std::uint32_t r;
          FindRank(l, rank1[c], b, r);
          v1 = static_cast<std::uint32_t>(bin1[c]) << 8 | b;
          FindRank(l, rank2[c], b, r);
          v2 = static_cast<std::uint32_t>(bin1[c]) << 8 | b;
        } else {
          // The first middle value is the largest sample of its bin, the second the smallest of the next.
          std::uint32_t top = 0;
          for (std::uint32_t b = 256; b-- > 0;)
            if (l[b] != 0) {
              top = b;
              break;
            }
          v1 = static_cast<std::uint32_t>(bin1[c]) << 8 | top;
          v2 = static_cast<std::uint32_t>(bin2[c]) << 8 | lowest[c];
        }
        // The mean of the two, rounded to the nearest with ties to even.
        const std::uint32_t sum = v1 + v2;
        std::uint32_t m = sum >> 1;
        if ((sum & 1) != 0 && (m & 1) != 0) ++m;
        out[x] = static_cast<std::uint16_t>(m);
      }
    }
  }
}

}  // namespace corvane
