#include "core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "core/errors.h"

namespace corvane {

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

/// Closes a descriptor when the scope ends, keeping errno as it was.
class FdGuard {
 public:
  explicit FdGuard(int fd) noexcept : m_fd(fd) {}
  ~FdGuard() {
    if (m_fd >= 0) {
      const int err = errno;
      ::close(m_fd);
      errno = err;
    }
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int Get() const noexcept { return m_fd; }
  int Release() noexcept { return std::exchange(m_fd, -1); }

 private:
  int m_fd;
};

[[noreturn]] void WriteFailure(const std::string& path, int err) {
  throw WriteError("cannot write " + Quoted(path) + ": " + std::strerror(err));
}

/// Writes every byte; answers 0 or the errno of the failure.
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) return errno;
  return 0;
}

/// A fresh name beside the target for a temporary link: ".name.XXXXXX".
std::string TemporaryName(const std::filesystem::path& folder, const std::filesystem::path& target) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<unsigned> counter{0};
  std::minstd_rand rng(static_cast<unsigned>(::getpid()) * 7919u + counter.fetch_add(1) * 104729u +
                       static_cast<unsigned>(std::random_device{}()));
  // Appended, not "." + name: GCC 12 warns falsely (-Wrestrict) about the latter.
  std::string name(1, '.');
  name.append(target.filename().string()).push_back('.');
  for (int i = 0; i < 6; ++i) name.push_back(kLetters[rng() % (sizeof kLetters - 1)]);
  return (folder / name).string();
}

/// Gives the unnamed file `fd` the name `name`; fails with EEXIST when the
/// name is taken. Answers 0 or the errno.
int LinkUnnamed(int fd, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return errno;
  // No /proc: the direct way, which needs a privilege ordinary users lack.
  if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return errno == ENOENT ? EPERM : errno;
}

/// Renames `from` to `to` unless `to` exists (EEXIST then). Answers 0 or the errno.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // A file system without the flag: a hard link fails just as atomically.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

enum class Outcome { Written, Exists, Unavailable };

/// The unnamed way. Unavailable when the file system (or a missing /proc and
/// privilege) does not allow it; the caller then takes the named way.
Outcome WriteUnnamed(const std::string& path, const std::filesystem::path& folder, std::span<const std::uint8_t> bytes,
                     ExistingFile existing) {
  FdGuard fd(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (fd.Get() < 0) return Outcome::Unavailable;
  if (const int err = WriteAll(fd.Get(), bytes)) WriteFailure(path, err);
  if (existing == ExistingFile::Keep) {
    const int err = LinkUnnamed(fd.Get(), path);
    if (err == 0) return Outcome::Written;
    if (err == EEXIST) return Outcome::Exists;
    if (err == EPERM || err == EOPNOTSUPP || err == EXDEV) return Outcome::Unavailable;
    WriteFailure(path, err);
  }
  // Replacing: the complete file gets a temporary name and is renamed over the
  // target at once, since a link cannot replace a name.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = TemporaryName(folder, path);
    const int err = LinkUnnamed(fd.Get(), temp);
    if (err == EEXIST) continue;
    if (err == EPERM || err == EOPNOTSUPP || err == EXDEV) return Outcome::Unavailable;
    if (err != 0) WriteFailure(path, err);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
      const int renameErr = errno;
      ::unlink(temp.c_str());
      WriteFailure(path, renameErr);
    }
    return Outcome::Written;
  }
  WriteFailure(path, EEXIST);
}

/// The named way: a temporary file beside the target, renamed when complete.
Outcome WriteNamed(const std::string& path, const std::filesystem::path& folder, std::span<const std::uint8_t> bytes,
                   ExistingFile existing) {
  std::string tempName(1, '.');
  tempName.append(std::filesystem::path(path).filename().string()).append(".XXXXXX");
  std::string temp = (folder / tempName).string();
  FdGuard fd(::mkstemp(temp.data()));
  if (fd.Get() < 0) WriteFailure(path, errno);
  auto fail = [&](int err) {
    ::unlink(temp.c_str());
    WriteFailure(path, err);
  };
  if (const int err = WriteAll(fd.Get(), bytes)) fail(err);
  if (::close(fd.Release()) != 0) fail(errno);
  if (existing == ExistingFile::Keep) {
    const int err = RenameNoReplace(temp, path);
    if (err == 0) return Outcome::Written;
    ::unlink(temp.c_str());
    if (err == EEXIST) return Outcome::Exists;
    WriteFailure(path, err);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) fail(errno);
  return Outcome::Written;
}

}  // namespace

int OpenRegularFile(const std::string& path, std::uint64_t& size) {
  // Non-blocking, so that a FIFO without a writer does not hold the open.
  FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.Get() < 0) throw ReadError("cannot open " + Quoted(path) + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) throw ReadError("cannot read " + Quoted(path) + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode))
    throw ReadError(
        "cannot read " + Quoted(path) + ": " +
        (S_ISDIR(st.st_mode) ? "not a regular file (a folder)" : "not a regular file (a pipe, device or socket)"));
  const int flags = ::fcntl(fd.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
    throw ReadError("cannot read " + Quoted(path) + ": " + std::strerror(errno));
  size = static_cast<std::uint64_t>(st.st_size);
  return fd.Release();
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  std::uint64_t size = 0;
  const FdGuard fd(OpenRegularFile(path, size));
  auto tooLarge = [&] {
    throw ReadError("cannot read " + Quoted(path) + ": it holds more than " + std::to_string(maxBytes) + " bytes");
  };
  if (size > maxBytes) tooLarge();
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  std::uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ReadError("cannot read " + Quoted(path) + ": " + std::strerror(errno));
    }
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > maxBytes - bytes.size()) tooLarge();  // it grew meanwhile
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, ExistingFile existing) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  Outcome outcome = WriteUnnamed(path, folder, bytes, existing);
  if (outcome == Outcome::Unavailable) outcome = WriteNamed(path, folder, bytes, existing);
  return outcome == Outcome::Written;
}

}  // namespace corvane
