#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace corvane::fuzz {

namespace {

std::map<std::string, SeedWriter>& Registry() {
  static std::map<std::string, SeedWriter> registry;
  return registry;
}

}  // namespace

MemoryFile::MemoryFile() {
  m_fd = ::memfd_create("corvane-fuzz-input", MFD_CLOEXEC);
  if (m_fd < 0) Broken("memfd_create failed");
  m_path = "/proc/self/fd/" + std::to_string(m_fd);
}

MemoryFile::~MemoryFile() {
  if (m_fd >= 0) ::close(m_fd);
}

const std::string& MemoryFile::Hold(const std::uint8_t* data, std::size_t size) {
  if (::ftruncate(m_fd, 0) != 0) Broken("ftruncate failed");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) Broken("writing the input file failed");
    done += static_cast<std::size_t>(n);
  }
  return m_path;
}

void Seeds::Add(const std::string& name, std::span<const std::uint8_t> bytes) {
  std::ofstream out(m_folder + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) Broken("cannot write a seed file");
  ++m_count;
}

void Seeds::Add(const std::string& name, const std::string& text) {
  Add(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool RegisterSeeds(const char* target, SeedWriter writer) {
  Registry()[target] = writer;
  return true;
}

std::vector<std::pair<std::string, SeedWriter>> RegisteredSeeds() { return {Registry().begin(), Registry().end()}; }

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvane-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) Broken("mkdtemp failed");
  m_path = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

void Broken(const char* what) {
  std::fprintf(stderr, "corvane fuzz: %s\n", what);
  std::abort();
}

}  // namespace corvane::fuzz
