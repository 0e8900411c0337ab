#pragma once
// What the fuzz targets share: the entry point, a file in memory for readers
// that take a path, and the seeds each target writes for its corpus.
//
// A target is one source fuzz/fuzz_<name>.cpp holding
//
//   CORVANE_FUZZ_SEEDS(name) { seeds.Add("file", bytes); ... }   // a few valid inputs
//   CORVANE_FUZZ_TARGET(data, size) { ...read the bytes...; return 0; }
//
// and one line corvane_add_fuzzer(name) in fuzz/CMakeLists.txt. The same
// source is built twice: into the fuzzer corvane_fuzz_<name> (where
// CORVANE_FUZZ_TARGET is libFuzzer's entry point) and into the seed writer
// corvane-fuzz-seeds (where only the seeds count).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace corvane::fuzz {

/// The bytes of one input as a regular file in memory (memfd), reachable by
/// a path, for the readers that open files by name. One object serves every
/// input of a run.
class MemoryFile {
 public:
  MemoryFile();
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  /// Makes the file hold exactly these bytes; answers its path.
  const std::string& Hold(const std::uint8_t* data, std::size_t size);
  const std::string& Path() const noexcept { return m_path; }

 private:
  int m_fd = -1;
  std::string m_path;
};

/// Where a target's seeds go.
class Seeds {
 public:
  explicit Seeds(std::string folder) : m_folder(std::move(folder)) {}
  void Add(const std::string& name, std::span<const std::uint8_t> bytes);
  void Add(const std::string& name, const std::string& text);
  int Count() const noexcept { return m_count; }

 private:
  std::string m_folder;
  int m_count = 0;
};

using SeedWriter = void (*)(Seeds&);
/// Called by CORVANE_FUZZ_SEEDS: the target's seed writer, by target name.
bool RegisterSeeds(const char* target, SeedWriter writer);
/// The registered seed writers, in name order.
std::vector<std::pair<std::string, SeedWriter>> RegisteredSeeds();

/// The bytes of a file (for seeds made through a file). Empty when unreadable.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

/// A fresh folder for seed files made through the file system; removed with
/// its contents when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

/// Stops the run as a finding: a property every input must keep was broken.
[[noreturn]] void Broken(const char* what);

}  // namespace corvane::fuzz

#define CORVANE_FUZZ_CONCAT2(a, b) a##b
#define CORVANE_FUZZ_CONCAT(a, b) CORVANE_FUZZ_CONCAT2(a, b)

/// Defines the seed writer of target `name` (a function of Seeds& seeds).
#define CORVANE_FUZZ_SEEDS(name)                                                      \
  static void CORVANE_FUZZ_CONCAT(WriteSeeds_, name)(::corvane::fuzz::Seeds & seeds); \
  [[maybe_unused]] static const bool CORVANE_FUZZ_CONCAT(kSeedsRegistered_, name) =   \
      ::corvane::fuzz::RegisterSeeds(#name, &CORVANE_FUZZ_CONCAT(WriteSeeds_, name)); \
  static void CORVANE_FUZZ_CONCAT(WriteSeeds_, name)([[maybe_unused]] ::corvane::fuzz::Seeds & seeds)

#ifdef CORVANE_FUZZ_SEEDS_ONLY
/// In the seed writer the target's body is built but not used.
#define CORVANE_FUZZ_TARGET(data, size) \
  [[maybe_unused]] static int FuzzOneInput(const std::uint8_t* data, std::size_t size)
#else
/// libFuzzer's entry point: one input; 0 to go on.
#define CORVANE_FUZZ_TARGET(data, size) \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#endif
