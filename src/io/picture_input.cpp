#include "io/picture_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "io/picture_files.h"

namespace corvane {

InputFile::InputFile(const std::string& path) : m_path(path) {
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) throw ReadError("cannot open \"" + path + "\": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    const int err = errno;
    ::close(m_fd);
    throw ReadError("cannot read \"" + path + "\": " + std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(m_fd);
    throw ReadError("cannot read \"" + path + "\": not a regular file");
  }
  m_size = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
  if (m_fd >= 0) ::close(m_fd);
}

void InputFile::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
  auto* p = static_cast<unsigned char*>(dst);
  while (n > 0) {
    const ssize_t got = ::pread(m_fd, p, n, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ReadError("cannot read \"" + m_path + "\": " + std::strerror(errno));
    }
    if (got == 0) throw ReadError("cannot read \"" + m_path + "\": the file ended early");
    p += got;
    n -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
}

bool PictureSizeAllowed(std::int64_t width, std::int64_t height) noexcept {
  return width >= 1 && height >= 1 && width <= PictureMaxSide && height <= PictureMaxSide &&
         width * height <= PictureMaxPixels;
}

}  // namespace corvane

namespace corvane {

int OpenRegularFileForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw ReadError("cannot open \"" + path + "\": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw ReadError("cannot read \"" + path + "\": not a regular file");
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

}  // namespace corvane
