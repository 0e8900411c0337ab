#pragma once
// Aligning one frame to the basis: feature estimates (brightest, darkest,
// centre of light), the coarse-to-fine "Move" search on the offset, and the
// quality index.
#include <array>
#include <cstdint>
#include <string>

#include "core/frame_list.h"
#include "core/image16.h"
#include "core/services.h"

namespace corvane {

/// The "Stack using" bits.
enum StackUsingBit : std::uint8_t {
  UsingCenter = 1,
  UsingMove = 2,
  UsingRotate = 4,
  UsingResize = 8,
  UsingMax = 16,
  UsingMin = 32,
  UsingLast = 64,
};

/// One search state: offset, angle, scale and score.
struct TSearchState {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  double Angle = 0.0;
  double Scale = 0.0;
  std::int64_t Score = 0;
  friend bool operator==(const TSearchState&, const TSearchState&) = default;
};

/// The score that stands for a placement not yet measured.
constexpr std::int64_t UnmeasuredScore = 2130706432;  // 7F000000 hex

/// What the alignment keeps between frames and runs: the last state found for
/// every list position (0..4096). Nothing clears it but a fresh object.
struct AlignmentMemory {
  std::array<TSearchState, 4097> LastCalculations{};
};

/// Inputs of one AlignFrame call besides the planes.
struct AlignOptions {
  std::uint8_t StackUsing = UsingMove;  ///< bit set of StackUsingBit
  std::int32_t LoadResize = 1;          ///< the loading enlargement factor: first step 8 x it
  bool SetQuality = true;               ///< recompute the frame's quality
  bool Show = false;                    ///< live display and status line
};

/// The basis plane with its whole-plane mean, computed once per run.
struct AlignBasis {
  explicit AlignBasis(const TImage16& plane);
  const TImage16& Plane;
  std::int32_t Mean;  ///< Image16Mean of the whole plane
};

/// Aligns `frame` to the basis inside the compare area AW x AH placed at
/// (FX, FY) in the frame and (BX, BY) in the basis, runs the steps of
/// options.StackUsing in their fixed order (Last calculations, Max, Min,
/// Center, Move), then the quality index when asked. `listPosition` indexes
/// the memory (RangeError above 4096).
void AlignFrame(TImageListItem& frame, std::int32_t fx, std::int32_t fy, int listPosition, std::int32_t aw,
                std::int32_t ah, std::int32_t bx, std::int32_t by, const AlignBasis& basis, const AlignOptions& options,
                AlignmentMemory& memory, Services& services);

/// The universal image quality index of the frame area at (FX + shift) against
/// the basis area at (BX, BY), with whole-plane integer means. Answers false
/// (and leaves the outputs 0) where it is undefined: fewer than two samples or
/// a zero denominator.
struct QualityFactors {
  double Index = 0.0;
  double Correlation = 0.0;
  double Luminance = 0.0;
  double Contrast = 0.0;
};
bool QualityIndex(const TImage16& frame, std::int32_t fx, std::int32_t fy, const TImage16& basis, std::int32_t bx,
                  std::int32_t by, std::int32_t aw, std::int32_t ah, std::int32_t shiftX, std::int32_t shiftY,
                  std::int32_t frameMean, std::int32_t basisMean, QualityFactors& out);

/// Round to nearest, ties to even, as an integer.
std::int64_t RoundHalfEven(double v) noexcept;

/// The shortest general decimal form with up to 15 significant digits ("0", "1", "0.5").
std::string GeneralDecimal(double v);

}  // namespace corvane
