#include "io/avi_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/errors.h"

namespace corvane {

namespace {

constexpr std::uint32_t AviifKeyframe = 0x10;
constexpr std::uint32_t AvifHasIndex = 0x10;
constexpr std::uint64_t MaxFileBytes = 0x7FFFFFFF;  // RIFF sizes stay positive for every reader

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutFourcc(std::vector<std::uint8_t>& out, const char* code) { out.insert(out.end(), code, code + 4); }
void Store32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Byte offsets of the fields Finish fills in (the header layout below is fixed).
constexpr std::uint64_t RiffSizeAt = 4;
constexpr std::uint64_t TotalFramesAt = 48;  // avih dwTotalFrames
constexpr std::uint64_t LengthAt = 140;      // strh dwLength

}  // namespace

AviWriter::AviWriter(const std::string& path, int width, int height, AviPixelFormat format, int fps)
    : m_path(path), m_width(width), m_height(height), m_bytesPerPixel(format == AviPixelFormat::Grey8 ? 1 : 3) {
  if (width < 1 || height < 1 || width > 65535 || height > 65535 || fps < 1)
    throw WriteError("AVI writer: cannot write \"" + path + "\": bad video size " + std::to_string(width) + " x " +
                     std::to_string(height) + " at " + std::to_string(fps) + " frames per second");
  m_stride = (static_cast<std::size_t>(width) * static_cast<std::size_t>(m_bytesPerPixel) + 3) & ~std::size_t{3};
  const std::size_t frameBytes = m_stride * static_cast<std::size_t>(height);
  if (frameBytes > MaxFileBytes / 2)
    throw WriteError("AVI writer: cannot write \"" + path + "\": frame of " + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels is too large");

  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string tempName(".");
  tempName.append(target.filename().string()).append(".XXXXXX");
  m_tempPath = (folder / tempName).string();
  m_fd = ::mkstemp(m_tempPath.data());
  if (m_fd < 0) throw WriteError("AVI writer: cannot write \"" + path + "\": " + std::strerror(errno));

  const bool grey = format == AviPixelFormat::Grey8;
  const std::uint32_t paletteBytes = grey ? 1024 : 0;
  const auto frame = static_cast<std::uint32_t>(frameBytes);
  std::vector<std::uint8_t> h;
  PutFourcc(h, "RIFF");
  Put32(h, 0);  // fixed by Finish
  PutFourcc(h, "AVI ");
  PutFourcc(h, "LIST");
  Put32(h, 4 + 64 + 12 + 64 + 8 + 40 + paletteBytes);
  PutFourcc(h, "hdrl");
  PutFourcc(h, "avih");
  Put32(h, 56);
  Put32(h, 1000000 / static_cast<std::uint32_t>(fps));                    // microseconds per frame
  Put32(h, frame * static_cast<std::uint32_t>(fps > 1000 ? 1000 : fps));  // max bytes per second (informative)
  Put32(h, 0);                                                            // padding granularity
  Put32(h, AvifHasIndex);
  Put32(h, 0);  // total frames, fixed by Finish
  Put32(h, 0);  // initial frames
  Put32(h, 1);  // streams
  Put32(h, frame + 8);
  Put32(h, static_cast<std::uint32_t>(width));
  Put32(h, static_cast<std::uint32_t>(height));
  for (int i = 0; i < 4; ++i) Put32(h, 0);
  PutFourcc(h, "LIST");
  Put32(h, 4 + 64 + 8 + 40 + paletteBytes);
  PutFourcc(h, "strl");
  PutFourcc(h, "strh");
  Put32(h, 56);
  PutFourcc(h, "vids");
  Put32(h, 0);                                // handler: none (uncompressed)
  Put32(h, 0);                                // flags
  Put32(h, 0);                                // priority and language
  Put32(h, 0);                                // initial frames
  Put32(h, 1);                                // scale
  Put32(h, static_cast<std::uint32_t>(fps));  // rate
  Put32(h, 0);                                // start
  Put32(h, 0);                                // length, fixed by Finish
  Put32(h, frame);                            // suggested buffer size
  Put32(h, 0xFFFFFFFF);                       // quality: default
  Put32(h, 0);                                // sample size: varies
  Put16(h, 0);
  Put16(h, 0);
  Put16(h, static_cast<std::uint32_t>(width));
  Put16(h, static_cast<std::uint32_t>(height));
  PutFourcc(h, "strf");
  Put32(h, 40 + paletteBytes);
  Put32(h, 40);                                  // biSize
  Put32(h, static_cast<std::uint32_t>(width));   // biWidth
  Put32(h, static_cast<std::uint32_t>(height));  // biHeight > 0: rows bottom-up
  Put16(h, 1);                                   // biPlanes
  Put16(h, grey ? 8 : 24);                       // biBitCount
  Put32(h, 0);                                   // biCompression: BI_RGB
  Put32(h, frame);                               // biSizeImage
  Put32(h, 0);                                   // biXPelsPerMeter
  Put32(h, 0);                                   // biYPelsPerMeter
  Put32(h, grey ? 256 : 0);                      // biClrUsed
  Put32(h, 0);                                   // biClrImportant
  if (grey)
    for (std::uint32_t i = 0; i < 256; ++i) Put32(h, i | (i << 8) | (i << 16));
  PutFourcc(h, "LIST");
  Put32(h, 0);  // fixed by Finish
  m_moviFourcc = h.size();
  PutFourcc(h, "movi");
  try {
    WriteAll(h.data(), h.size());
    m_chunk.assign(8 + frameBytes, 0);
  } catch (...) {
    Discard();
    throw;
  }
  std::memcpy(m_chunk.data(), "00db", 4);
  Store32(m_chunk.data() + 4, frame);
}

AviWriter::~AviWriter() { Discard(); }

void AviWriter::Discard() noexcept {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_tempPath.c_str());
  }
}

void AviWriter::Fail(const std::string& reason) {
  Discard();
  throw WriteError("AVI writer: cannot write \"" + m_path + "\": " + reason);
}

void AviWriter::WriteAll(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(m_fd, bytes, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(std::strerror(errno));
    }
    bytes += n;
    count -= static_cast<std::size_t>(n);
    m_position += static_cast<std::uint64_t>(n);
  }
}

void AviWriter::WriteAt(std::uint64_t position, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t n = ::pwrite(m_fd, bytes, count, static_cast<off_t>(position));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(std::strerror(errno));
    }
    bytes += n;
    position += static_cast<std::uint64_t>(n);
    count -= static_cast<std::size_t>(n);
  }
}

void AviWriter::AddFrame(const std::uint8_t* topDownPixels) {
  if (m_fd < 0) throw WriteError("AVI writer: cannot add a frame to \"" + m_path + "\": the video is closed");
  const std::size_t rowBytes = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_bytesPerPixel);
  const std::uint64_t after = m_position + m_chunk.size() + 16 * (m_index.size() + 1);
  if (after > MaxFileBytes) Fail("the video would exceed 2 GiB at frame " + std::to_string(m_index.size()));
  std::uint8_t* data = m_chunk.data() + 8;
  for (int y = 0; y < m_height; ++y) {
    // DIB rows are stored from the bottom up; the padding bytes stay 0.
    std::memcpy(data + static_cast<std::size_t>(m_height - 1 - y) * m_stride,
                topDownPixels + static_cast<std::size_t>(y) * rowBytes, rowBytes);
  }
  const auto offset = static_cast<std::uint32_t>(m_position - m_moviFourcc);
  WriteAll(m_chunk.data(), m_chunk.size());
  m_index.push_back(IndexEntry{offset, static_cast<std::uint32_t>(m_chunk.size() - 8)});
}

void AviWriter::Finish() {
  if (m_fd < 0) throw WriteError("AVI writer: cannot finish \"" + m_path + "\": the video is closed");
  std::vector<std::uint8_t> idx;
  idx.reserve(8 + 16 * m_index.size());
  PutFourcc(idx, "idx1");
  Put32(idx, static_cast<std::uint32_t>(16 * m_index.size()));
  for (const IndexEntry& e : m_index) {
    PutFourcc(idx, "00db");
    Put32(idx, AviifKeyframe);
    Put32(idx, e.Offset);
    Put32(idx, e.Size);
  }
  const std::uint64_t moviEnd = m_position;
  WriteAll(idx.data(), idx.size());

  std::uint8_t v[4];
  Store32(v, static_cast<std::uint32_t>(m_position - 8));
  WriteAt(RiffSizeAt, v, 4);
  Store32(v, static_cast<std::uint32_t>(m_index.size()));
  WriteAt(TotalFramesAt, v, 4);
  WriteAt(LengthAt, v, 4);
  Store32(v, static_cast<std::uint32_t>(moviEnd - m_moviFourcc));
  WriteAt(m_moviFourcc - 4, v, 4);

  if (::fchmod(m_fd, 0644) != 0 || ::fsync(m_fd) != 0) Fail(std::strerror(errno));
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(m_tempPath.c_str());
    throw WriteError("AVI writer: cannot write \"" + m_path + "\": " + std::strerror(err));
  }
  if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
    const int err = errno;
    ::unlink(m_tempPath.c_str());
    throw WriteError("AVI writer: cannot write \"" + m_path + "\": " + std::strerror(err));
  }
}

}  // namespace corvane
