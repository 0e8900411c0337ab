#pragma once
// Runs the built batch tools as a user would, in a folder of the test's own,
// and reads back what they wrote.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/image16.h"

namespace corvane::test {

inline std::string CliBinary() { return std::string(CORVANE_TEST_BINARY_DIR) + "/src/cli/corvane-cli"; }
inline std::string MakeSampleBinary() { return std::string(CORVANE_TEST_BINARY_DIR) + "/tools/corvane-make-sample"; }

struct ProcessResult {
  int Code = -1;  ///< exit status, or -1 when the process did not exit normally
  std::string Out;
  std::string Err;
};

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Runs `program` with `args` in the folder `cwd`; stdout and stderr are
/// caught in files beside it (named so that tests can tell them apart).
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::filesystem::path& cwd) {
  const std::filesystem::path out = cwd / ".stdout.txt";
  const std::filesystem::path err = cwd / ".stderr.txt";
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(127);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0) ::_exit(127);
    ::dup2(o, STDOUT_FILENO);
    ::dup2(e, STDERR_FILENO);
    const int in = ::open("/dev/null", O_RDONLY);
    if (in >= 0) ::dup2(in, STDIN_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ProcessResult r;
  r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.Out = ReadText(out);
  r.Err = ReadText(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}

inline ProcessResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& cwd) {
  return RunProcess(CliBinary(), args, cwd);
}

/// Reads a binary 16-bit PGM ("P5", maxval 65535, big-endian) into a plane.
inline TImage16 ReadPgm16(const std::filesystem::path& path) {
  const std::string bytes = ReadText(path);
  std::size_t at = 0;
  auto token = [&]() {
    while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
    const std::size_t start = at;
    while (at < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
    return bytes.substr(start, at - start);
  };
  if (token() != "P5") throw std::runtime_error("not a binary PGM: " + path.string());
  const int w = std::stoi(token());
  const int h = std::stoi(token());
  if (token() != "65535") throw std::runtime_error("not a 16-bit PGM: " + path.string());
  ++at;  // the one blank after maxval
  if (bytes.size() != at + 2 * static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
    throw std::runtime_error("PGM of the wrong length: " + path.string());
  TImage16 plane;
  Image16Create(plane, w, h);
  for (std::size_t i = 0; i < plane.SampleCount(); ++i)
    plane.Data[static_cast<std::ptrdiff_t>(i)] = static_cast<std::uint16_t>(
        static_cast<std::uint8_t>(bytes[at + 2 * i]) << 8 | static_cast<std::uint8_t>(bytes[at + 2 * i + 1]));
  return plane;
}

/// Names of the files in a folder (not in its subfolders), sorted.
inline std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace corvane::test
