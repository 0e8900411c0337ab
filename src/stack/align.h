#pragma once
// Aligning one frame to the basis: feature estimates (brightest, darkest,
// centre of light), a whole-frame estimate by phase correlation, the
// coarse-to-fine "Move" search on the offset with an optional fit below a
// sample, and the rating (the quality index or sharpness).
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

/// One search state: offset, angle, scale and score, and the fraction of a
/// sample beyond the offset when the search refined it.
struct TSearchState {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  double Angle = 0.0;
  double Scale = 0.0;
  std::int64_t Score = 0;
  double SubX = 0.0;
  double SubY = 0.0;
  friend bool operator==(const TSearchState&, const TSearchState&) = default;
};

/// The score that stands for a placement not yet measured.
constexpr std::int64_t UnmeasuredScore = 2130706432;  // 7F000000 hex

/// What the alignment keeps between frames and runs: the last state found for
/// every list position (0..4096). Nothing clears it but a fresh object.
struct AlignmentMemory {
  std::array<TSearchState, 4097> LastCalculations{};
};

class CoarseAligner;

/// What the frame's rating measures.
enum class RatingMeasure : std::uint8_t {
  QualityIndex,  ///< Quality := the quality index x 1000
  Sharpness,     ///< Sharpness := FrameSharpness of the aligned area; Quality is left to the stack run
};

/// Inputs of one AlignFrame call besides the planes.
struct AlignOptions {
  std::uint8_t StackUsing = UsingMove;  ///< bit set of StackUsingBit
  std::int32_t LoadResize = 1;          ///< the loading enlargement factor: first step 8 x it
  bool SetQuality = true;               ///< rate the frame
  bool Show = false;                    ///< live display and status line
  RatingMeasure Rating = RatingMeasure::QualityIndex;
  /// Scores compare the areas after taking out each one's mean, and scaling
  /// the frame's deviations to the basis area's contrast (standard
  /// deviation): a brightness or exposure step between frames does not pull
  /// the search away.
  bool NormaliseBrightness = false;
  /// After the Move search, the offset is refined below a sample: a parabola
  /// through the scores of the minimum and its two neighbours, per axis.
  bool SubPixel = false;
  /// When set (and "Last calculations" is not chosen): the whole-frame
  /// estimate by phase correlation, after the feature estimates and before
  /// the Move search, which refines it.
  const CoarseAligner* Coarse = nullptr;
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
/// Center, then the whole-frame estimate when options.Coarse is set, Move),
/// then the rating when asked. `listPosition` indexes the memory (RangeError
/// above 4096). Every step but "Last calculations" and the sub-sample fit
/// leaves SubShift at (0, 0).
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
