#include "output/saving.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "core/errors.h"
#include "core/file_io.h"
#include "io/fits.h"
#include "io/png.h"
#include "io/tiff.h"
#include "output/bitmap_ops.h"
#include "output/picture_memo.h"
#include "output/save_names.h"

namespace corvane {

namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

/// Whether a file (or a link, even a broken one) of that name exists.
bool NameTaken(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::optional<ResultFormat> ResultFormatOfPath(const std::string& path) {
  const std::string ext = UpperExtension(path);
  if (ext == ".BMP") return ResultFormat::Bmp;
  if (ext == ".FITS" || ext == ".FIT" || ext == ".FTS") return ResultFormat::Fits;
  if (ext == ".PNG") return ResultFormat::Png;
  if (ext == ".TIF" || ext == ".TIFF") return ResultFormat::Tiff;
  return std::nullopt;
}

const char* ResultFormatExtension(ResultFormat format) noexcept {
  switch (format) {
    case ResultFormat::Bmp: return ".bmp";
    case ResultFormat::Fits: return ".fits";
    case ResultFormat::Png: return ".png";
    case ResultFormat::Tiff: return ".tif";
  }
  return ".bmp";
}

bool WriteResult16(const std::string& path, ResultFormat format, const Picture16& picture, ExistingFile existing) {
  switch (format) {
    case ResultFormat::Fits: return WriteFits16File(path, picture, existing);
    case ResultFormat::Png: return WritePng16File(path, picture, existing);
    case ResultFormat::Tiff: return WriteTiff16File(path, picture, existing);
    case ResultFormat::Bmp: break;
  }
  throw RangeError("WriteResult16: \"" + path + "\": BMP files hold 8-bit pictures");
}

std::string PrepareResultFolder(const Settings& settings) {
  namespace fs = std::filesystem;
  const std::string folder = WithSlash(settings.General.ResultDirectory);
  if (folder.empty()) return folder;
  std::error_code ec;
  const fs::file_status status = fs::status(folder, ec);
  if (fs::is_directory(status)) return folder;
  if (fs::exists(status)) throw WriteError("SaveResultPicture: the result folder \"" + folder + "\" is not a folder");
  if (folder != WithSlash(ProgramDirectory() + "Result")) {
    throw WriteError("SaveResultPicture: the result folder \"" + folder + "\" does not exist");
  }
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    throw WriteError("SaveResultPicture: cannot create the result folder \"" + folder +
                     "\": " + (ec ? ec.message() : std::string("not a folder")));
  }
  return folder;
}

std::string SaveUnderSaveName(Settings& settings, const std::string& folder, const std::string& prefix,
                              const std::string& source, const std::tm& now, Bitmap& picture) {
  std::string path = BitmapSavePath(folder + prefix + BuildSaveName(settings, source, true, now));
  const std::vector<std::uint8_t> bytes = EncodeBitmapFile(picture, path);
  if (!SaveNameIsNumbered(settings)) {
    WriteFileAtomically(path, bytes);
    return path;
  }
  for (;;) {
    if (!NameTaken(path) && WriteFileAtomically(path, bytes, ExistingFile::Keep)) return path;
    path = BitmapSavePath(folder + prefix + BuildSaveName(settings, source, true, now));
  }
}

std::string SaveResultPicture(Settings& settings, const FrameList& frames, Bitmap& rendered, const std::tm& now) {
  const std::string folder = PrepareResultFolder(settings);
  return SaveUnderSaveName(settings, folder, "", ResultBaseName(frames), now, rendered);
}

std::string ProposedSaveName(Settings& settings, const FrameList& frames, const std::tm& now) {
  const std::string folder = WithSlash(settings.General.ResultDirectory);
  std::string name = BuildSaveName(settings, ResultBaseName(frames), true, now);
  if (SaveNameIsNumbered(settings))
    while (NameTaken(BitmapSavePath(folder + name))) name = BuildSaveName(settings, ResultBaseName(frames), true, now);
  return name;
}

bool SaveResultPictureAs(Bitmap& rendered, const std::string& chosenPath) {
  return SaveBitmapFile(rendered, chosenPath);
}

std::string SaveResultPicture16(Settings& settings, const FrameList& frames, const TResultPicture& result,
                                RenderState& state, ResultFormat format, const std::tm& now) {
  const Picture16 picture = RenderResultPicture16(result, settings, state);
  const std::string folder = PrepareResultFolder(settings);
  const std::string source = ResultBaseName(frames);
  auto nextPath = [&] { return folder + BuildSaveName(settings, source, true, now) + ResultFormatExtension(format); };
  std::string path = nextPath();
  if (!SaveNameIsNumbered(settings)) {
    WriteResult16(path, format, picture);
    return path;
  }
  // As for BMP results: a number whose file exists is passed over.
  while (NameTaken(path) || !WriteResult16(path, format, picture, ExistingFile::Keep)) path = nextPath();
  return path;
}

std::string SaveResultPictureAs(Bitmap& rendered, const TResultPicture& result, const Settings& settings,
                                RenderState& state, const std::string& chosenPath) {
  const std::optional<ResultFormat> format = ResultFormatOfPath(chosenPath);
  if (!format || *format == ResultFormat::Bmp) {
    if (UpperExtension(chosenPath).empty() || format) {
      SaveBitmapFile(rendered, chosenPath);
      return BitmapSavePath(chosenPath);
    }
    return {};
  }
  WriteResult16(chosenPath, *format, RenderResultPicture16(result, settings, state));
  return chosenPath;
}

std::string ResultLabelAfterSave(Settings& settings, const FrameList& frames, const std::tm& now) {
  return "File name \"" + BuildSaveName(settings, ResultBaseName(frames), false, now) + "\"";
}

void SaveLocalPSF(const TConvKernel& psf, const std::string& path) {
  Bitmap picture;
  if (psf[0] == 0 || !KernelToBitmap(picture, psf)) {
    throw RangeError("SaveLocalPSF: a local PSF of width " + std::to_string(psf[0]) + " cannot be saved to \"" + path +
                     "\"");
  }
  SaveBitmapFile(picture, path);
}

void FillInvertingLut(RenderState& state) {
  if (!state.LutTable) state.LutTable = MakeLut16();
  Lut16& table = *state.LutTable;
  for (std::size_t i = 0; i < 65536; ++i) table[i] = static_cast<std::uint16_t>(65535 - i);
}

void WriteLutFile(const Lut16& table, const std::string& path) {
  std::vector<std::uint8_t> bytes(LutFileBytes);
  for (std::size_t i = 0; i < 65536; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(table[i]);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(table[i] >> 8);
  }
  WriteFileAtomically(path, bytes);
}

void SaveInvertingLut(RenderState& state, const std::string& path) {
  FillInvertingLut(state);
  WriteLutFile(*state.LutTable, path);
}

}  // namespace corvane
