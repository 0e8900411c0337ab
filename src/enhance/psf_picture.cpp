#include "enhance/psf_picture.h"

#include "io/picture_files.h"

namespace corvane {

namespace {

struct PsfSlot {
  Bitmap TEnhanceSettings::*Picture;
  std::string TEnhanceSettings::*File;
};

PsfSlot SlotOf(PsfButton button) {
  switch (button) {
    case PsfButton::UnsharpMaskPicture: return {&TEnhanceSettings::UMAPostPSF, &TEnhanceSettings::UMAPostPSFFile};
    case PsfButton::DeconvolutionPicture: return {&TEnhanceSettings::DECPostPSF, &TEnhanceSettings::DECPostPSFFile};
    case PsfButton::UnsharpMaskFrames: return {&TEnhanceSettings::UMAPrePSF, &TEnhanceSettings::UMAPrePSFFile};
    case PsfButton::DeconvolutionFrames: break;
  }
  return {&TEnhanceSettings::DECPrePSF, &TEnhanceSettings::DECPrePSFFile};
}

}  // namespace

std::string PsfDialogTitle(PsfButton button) {
  switch (button) {
    case PsfButton::UnsharpMaskPicture: return "Pick a PSF for unsharp masking of picture";
    case PsfButton::DeconvolutionPicture: return "Pick a PSF for deconvolution of picture";
    case PsfButton::UnsharpMaskFrames: return "Pick a PSF for unsharp masking of frames";
    case PsfButton::DeconvolutionFrames: break;
  }
  return "Pick a PSF for deconvolution of frames";
}

bool PsfPictureFits(const Bitmap& picture) noexcept {
  return !picture.Empty() && picture.Width() <= PsfPictureMaxWidth && picture.Height() <= PsfPictureMaxHeight;
}

PsfPictureLoad LoadPsfPicture(Settings& settings, PsfButton button, const std::string& path) {
  const PsfSlot slot = SlotOf(button);
  settings.Enhance.*slot.File = path;
  Bitmap picture;
  ReadBmpFile(path, picture);
  settings.Enhance.*slot.Picture = std::move(picture);

  PsfPictureLoad load;
  load.Shown = PsfPictureFits(settings.Enhance.*slot.Picture);
  if (!load.Shown)
    load.Message = "The PSF picture is larger than " + std::to_string(PsfPictureMaxWidth) + " x " +
                   std::to_string(PsfPictureMaxHeight) + " pixels";
  settings.NotifyEnhance();
  return load;
}

}  // namespace corvane
