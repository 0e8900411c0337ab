#include "core/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <unistd.h>

#include "core/errors.h"

namespace corvane {

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ReadError("cannot open \"" + path + "\": " + std::strerror(errno));
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw ReadError("cannot read \"" + path + "\": " + std::strerror(err));
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::close(fd);
  return bytes;
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string tempName(".");
  tempName.append(target.filename().string()).append(".XXXXXX");
  std::string temp = (folder / tempName).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw WriteError("cannot write \"" + path + "\": " + std::strerror(errno));
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw WriteError("cannot write \"" + path + "\": " + std::strerror(err));
  };
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw WriteError("cannot write \"" + path + "\": " + std::strerror(err));
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw WriteError("cannot write \"" + path + "\": " + std::strerror(err));
  }
}

}  // namespace corvane
