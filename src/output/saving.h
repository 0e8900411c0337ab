#pragma once
// Saving what the user made: the rendered result picture (with or without
// "Save As"), the local point-spread function as a picture, and the inverting
// look-up table.
#include <ctime>
#include <string>

#include "core/bitmap.h"
#include "core/conv_kernel.h"
#include "core/frame_list.h"
#include "output/render.h"
#include "settings/settings.h"

namespace corvane {

/// The result folder ready for writing, with a trailing '/': ResultDirectory,
/// with a '/' added when it lacks one (an empty folder means the current
/// folder and gives ""). A missing folder is created when it is the default
/// one (ProgramDirectory() + "Result/"). Throws WriteError naming the folder
/// when it is missing (and not the default), is not a folder, or cannot be
/// created.
std::string PrepareResultFolder(const Settings& settings);

/// Writes a 24-bit BMP of `picture` as folder + prefix + BuildSaveName(source,
/// true, now) + ".bmp". An autonumbered name never replaces a file: numbers
/// whose file exists are passed over, and when a file of the chosen name
/// appears while the picture is written (another run saving at the same
/// time), the next number is taken. A name without a number replaces a file
/// of that name. Answers the path written. Throws WriteError naming the file
/// (written atomically: no partial file is left), and what EncodeBitmapFile
/// and BuildSaveName throw.
std::string SaveUnderSaveName(Settings& settings, const std::string& folder, const std::string& prefix,
                              const std::string& source, const std::tm& now, Bitmap& picture);

/// "Save" without "Save As": writes the rendered picture to the result folder
/// (PrepareResultFolder) with SaveUnderSaveName (no prefix); source is the
/// FileNameStem of the first frame's file, "Result" for an empty list. Returns
/// the path written. Throws WriteError from the folder or the file; the
/// autonumber has advanced by then. Afterwards the caller sets the caption
/// with ResultLabelAfterSave.
std::string SaveResultPicture(Settings& settings, const FrameList& frames, Bitmap& rendered, const std::tm& now);

/// The name "Save As" proposes: BuildSaveName(source, true, now), passing over
/// the numbers whose ".bmp" file exists in the result folder. The number
/// advances even when the user then cancels.
std::string ProposedSaveName(Settings& settings, const FrameList& frames, const std::tm& now);

/// "Save As" confirmed: writes the picture to the chosen name through
/// SaveBitmapFile. A name with an extension other than ".bmp" (any case) writes
/// nothing and returns false. Throws WriteError from the file.
bool SaveResultPictureAs(Bitmap& rendered, const std::string& chosenPath);

/// The caption after a save: File name "name" with BuildSaveName(source,
/// false, now), the name just used.
std::string ResultLabelAfterSave(Settings& settings, const FrameList& frames, const std::tm& now);

/// Writes the local PSF as the grey 24-bit picture KernelToBitmap draws,
/// through SaveBitmapFile (".bmp" added to a name without extension; another
/// extension writes nothing). Throws RangeError, writing nothing, when the
/// kernel's width (byte 0) is 0 or above 17; WriteError from the file.
void SaveLocalPSF(const TConvKernel& psf, const std::string& path);

/// Fills state.LutTable with entry i := 65535 - i, then writes the 65 536
/// entries as 16-bit little-endian words to `path` (131 072 bytes, written
/// atomically). The table keeps the inverting entries even when the write
/// fails. Throws WriteError from the file.
void SaveInvertingLut(RenderState& state, const std::string& path);

}  // namespace corvane
