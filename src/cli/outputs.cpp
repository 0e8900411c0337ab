#include "cli/outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/errors.h"
#include "core/file_io.h"

namespace corvane::cli {

std::vector<std::uint8_t> EncodePgm16(const TImage16& plane) {
  const std::int32_t w = plane.HasStorage() ? plane.Width : 0;
  const std::int32_t h = plane.HasStorage() ? plane.Height : 0;
  const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n65535\n";
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  const std::size_t start = bytes.size();
  bytes.resize(start + 2 * static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  std::uint8_t* out = bytes.data() + start;
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint16_t* row = plane.Row(y);
    for (std::int32_t x = 0; x < w; ++x) {
      *out++ = static_cast<std::uint8_t>(row[x] >> 8);
      *out++ = static_cast<std::uint8_t>(row[x]);
    }
  }
  return bytes;
}

void WritePgm16(const std::string& path, const TImage16& plane) { WriteFileAtomically(path, EncodePgm16(plane)); }

std::string WithSuffix(const std::string& path, const std::string& suffix) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
    return path + "_" + suffix;
  return path.substr(0, dot) + "_" + suffix + path.substr(dot);
}

void EnsureFolder(const std::string& folder) {
  if (folder.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder))
    throw WriteError("cannot make the folder \"" + folder +
                     "\": " + (ec ? ec.message() : std::string("a file of that name is in the way")));
}

void EnsureParentFolder(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) EnsureFolder(parent.string());
}

void EnsureWritableFolder(const std::string& folder) {
  EnsureFolder(folder);
  const std::string path = folder.empty() ? std::string(".") : folder;
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    throw WriteError("cannot write into the folder \"" + path + "\": " + std::strerror(errno));
}

std::string FolderPrefix(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

}  // namespace corvane::cli
