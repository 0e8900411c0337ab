#pragma once
// The PSF buttons of the "Enhancement" tab: a chosen BMP picture becomes the
// point-spread function of unsharp masking or deconvolution when "Local PSF"
// is not ticked. The window and the batch tool both load PSF pictures here.
#include <string>

#include "core/bitmap.h"
#include "settings/settings.h"

namespace corvane {

/// The four PSF buttons: the two visible ones for the result picture and the
/// two hidden ones for single frames.
enum class PsfButton { UnsharpMaskPicture, DeconvolutionPicture, UnsharpMaskFrames, DeconvolutionFrames };

/// Largest PSF picture shown beside its button; a larger one is used through
/// its top-left corner of this size.
inline constexpr int PsfPictureMaxWidth = 17;
inline constexpr int PsfPictureMaxHeight = 15;

/// The open dialog of a PSF button: its title ("Pick a PSF for unsharp masking
/// of picture", "... for deconvolution of picture", and "... of frames" for the
/// hidden two), filter and default extension. It starts in the PSF folder and
/// takes only an existing file.
std::string PsfDialogTitle(PsfButton button);
inline constexpr const char* PsfDialogFilter = "PointSpreadFunction picture (*.bmp)";
inline constexpr const char* PsfDialogExtension = "bmp";

/// Whether a PSF picture is shown beside its button: not empty, narrower than
/// 18 and lower than 16 pixels.
bool PsfPictureFits(const Bitmap& picture) noexcept;

/// What a PSF button leaves for the window to show.
struct PsfPictureLoad {
  /// The picture fits and is shown beside the button.
  bool Shown = false;
  /// "The PSF picture is larger than 17 x 15 pixels" when it does not fit (it
  /// stays loaded); empty otherwise.
  std::string Message;
};

/// The PSF button after the user confirmed `path`: the record's file name
/// (UMAPostPSFFile, DECPostPSFFile, UMAPrePSFFile or DECPrePSFFile) := path,
/// the BMP file is read into its picture as it is stored (any BMP kind the
/// reader takes; the run makes it 24-bit), then the Enhancement listeners are
/// notified once, whether the picture fits or not. "Local PSF" is left as it
/// is. Throws ReadError naming the file when it cannot be read: the record then
/// keeps the new file name and its earlier picture, and nothing is notified.
PsfPictureLoad LoadPsfPicture(Settings& settings, PsfButton button, const std::string& path);

}  // namespace corvane
