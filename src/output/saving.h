#pragma once
// Saving what the user made: the rendered result picture (with or without
// "Save As"), the local point-spread function as a picture, and the inverting
// look-up table.
#include <ctime>
#include <optional>
#include <string>

#include "core/bitmap.h"
#include "core/conv_kernel.h"
#include "core/file_io.h"
#include "core/frame_list.h"
#include "core/picture16.h"
#include "output/render.h"
#include "settings/settings.h"

namespace corvane {

/// The formats a result picture is saved in: the "Save format" choice
/// (EditSave.SaveFormat) and the file name extensions. BMP is the rendered
/// 24-bit picture; the others hold the 16-bit rendering (RenderResultPicture16).
enum class ResultFormat : std::uint8_t { Bmp = 0, Fits = 1, Png = 2, Tiff = 3 };

/// The format of a file name by its extension in any letter case: ".bmp";
/// ".fits", ".fit", ".fts"; ".png"; ".tif", ".tiff". None for a name without
/// extension or with another one.
std::optional<ResultFormat> ResultFormatOfPath(const std::string& path);
/// The extension a save in the format adds: ".bmp", ".fits", ".png", ".tif".
const char* ResultFormatExtension(ResultFormat format) noexcept;

/// Writes a 16-bit picture as a FITS, PNG or TIFF file (atomically); with
/// ExistingFile::Keep a taken name is left alone and the answer is false.
/// Throws WriteError naming the file; RangeError for ResultFormat::Bmp.
bool WriteResult16(const std::string& path, ResultFormat format, const Picture16& picture,
                   ExistingFile existing = ExistingFile::Replace);

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

/// "Save" in another format than BMP: the 16-bit rendering of the result
/// picture written to the result folder under BuildSaveName(source, true,
/// now) + the format's extension. Returns the path written; throws as
/// SaveResultPicture does, ReadError from a LUT file.
std::string SaveResultPicture16(Settings& settings, const FrameList& frames, const TResultPicture& result,
                                RenderState& state, ResultFormat format, const std::tm& now);

/// "Save As" (and the batch tool's output) by the chosen name's extension:
/// ".bmp", or none (".bmp" is added), the rendered 24-bit picture through
/// SaveBitmapFile; a FITS, PNG or TIFF extension the 16-bit rendering of the
/// result picture. Any other extension writes nothing and answers "".
/// Returns the path written. Throws WriteError from the file, ReadError from
/// a LUT file.
std::string SaveResultPictureAs(Bitmap& rendered, const TResultPicture& result, const Settings& settings,
                                RenderState& state, const std::string& chosenPath);

/// The caption after a save: File name "name" with BuildSaveName(source,
/// false, now), the name just used.
std::string ResultLabelAfterSave(Settings& settings, const FrameList& frames, const std::tm& now);

/// Writes the local PSF as the grey 24-bit picture KernelToBitmap draws,
/// through SaveBitmapFile (".bmp" added to a name without extension; another
/// extension writes nothing). Throws RangeError, writing nothing, when the
/// kernel's width (byte 0) is 0 or above 17; WriteError from the file.
void SaveLocalPSF(const TConvKernel& psf, const std::string& path);

/// Fills state.LutTable with the inverting table, entry i := 65535 - i. The
/// double-click on the input pane does this before its save dialog opens, so
/// a cancelled dialog still leaves the table for "Use LUT".
void FillInvertingLut(RenderState& state);

/// Writes a look-up table as a LUT file: its 65 536 entries as 16-bit
/// little-endian words (131 072 bytes, written atomically, so no partial file
/// is left). Throws WriteError from the file.
void WriteLutFile(const Lut16& table, const std::string& path);

/// FillInvertingLut, then WriteLutFile of that table. The table keeps the
/// inverting entries even when the write fails. Throws WriteError.
void SaveInvertingLut(RenderState& state, const std::string& path);

}  // namespace corvane
