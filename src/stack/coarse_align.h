#pragma once
// A whole-frame estimate of a frame's offset against the basis, by phase
// correlation: where the normalised cross-power spectrum of the two planes
// peaks. It finds offsets of any size up to half the frame, whatever the
// brightness, and serves as the start of the Move search, which refines it.
#include <memory>

#include "core/frame_list.h"
#include "core/image16.h"

namespace corvane {

class CoarseAligner {
 public:
  /// Prepares the transforms for planes of the basis's size and the basis's
  /// spectrum. Planes are first reduced by a whole factor (the mean of each
  /// block of f x f samples) so that the larger side is at most 320 blocks,
  /// then, less their mean, tapered to 0 at the edges by a Hann window.
  /// Throws RangeError for a basis without samples.
  explicit CoarseAligner(const TImage16& basis);
  ~CoarseAligner();
  CoarseAligner(const CoarseAligner&) = delete;
  CoarseAligner& operator=(const CoarseAligner&) = delete;

  /// The offset D, in samples, for which frame sample (p + D) shows what the
  /// basis shows at p (both planes from their top-left corners), to within
  /// about the reduction factor. A frame of another size is cut or padded to
  /// the basis's size. Several threads may call it at once.
  TPoint32 Offset(const TImage16& frame) const;

  /// The reduction factor (1 for planes of up to 320 samples a side).
  int Factor() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace corvane
