#pragma once
// Runs the built batch tools as a user would, in a folder of the test's own,
// and reads back what they wrote.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
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

/// In a child process about to run a program: drops root's privileges (to the
/// user and group nobody), so that folder permissions hold for it too.
inline void DropRootInChild() {
  if (::geteuid() != 0) return;
  if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
}

/// Runs `program` with `args` in the folder `cwd`; stdout and stderr are
/// caught in files beside it (named so that tests can tell them apart). With
/// `unprivileged`, a test run as root runs the program as nobody.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::filesystem::path& cwd, bool unprivileged = false) {
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
    if (unprivileged) DropRootInChild();
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

inline ProcessResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                            bool unprivileged = false) {
  return RunProcess(CliBinary(), args, cwd, unprivileged);
}

/// corvane-cli running in `cwd` with its stderr on a pipe that the test reads
/// at its own pace (stdout goes to /dev/null). When the test stops reading,
/// the program stops at its next message once the pipe is full: a test can
/// thus hold it at a known stage and send it signals there.
class PipedCli {
 public:
  PipedCli(const std::vector<std::string>& args, const std::filesystem::path& cwd) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> all{CliBinary()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
      ::close(fds[0]);
      if (::chdir(cwd.c_str()) != 0) ::_exit(127);
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(fds[1], STDERR_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    m_fd = fds[0];
  }
  ~PipedCli() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_fd >= 0) ::close(m_fd);
  }
  PipedCli(const PipedCli&) = delete;
  PipedCli& operator=(const PipedCli&) = delete;

  /// Reads stderr until `text` has come (true) or the output ended or 60 s
  /// passed without it (false). Reads at most a pipe's worth beyond it.
  bool ReadUntil(const std::string& text) {
    while (m_err.find(text, m_searched) == std::string::npos) {
      if (!ReadSome(60000)) return false;
    }
    m_searched = m_err.find(text, m_searched) + text.size();
    return true;
  }
  void Signal(int signal) const { ::kill(m_pid, signal); }
  /// Reads the rest of stderr and waits for the end: the exit status, or -1
  /// when the program was ended by a signal or was still running after 60 s
  /// (it is killed then; the suite never hangs).
  int Finish() {
    while (ReadSome(60000)) {
    }
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 6000 && (done = ::waitpid(m_pid, &status, WNOHANG)) == 0; ++i) ::usleep(10000);
    if (done == 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& Err() const noexcept { return m_err; }

 private:
  // One read of what is there; false at the end of the output or after `ms` without any.
  bool ReadSome(int ms) {
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    m_err.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t m_pid = -1;
  int m_fd = -1;
  std::string m_err;
  std::size_t m_searched = 0;
};

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
