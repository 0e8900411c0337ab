// corvane-fuzz-seeds DIR: writes the seed corpus of every fuzz target into
// DIR/<target>/, from the seed writers the targets register.
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvane-fuzz-seeds DIR\n");
    return 1;
  }
  for (const auto& [target, writer] : corvane::fuzz::RegisteredSeeds()) {
    const std::filesystem::path folder = std::filesystem::path(argv[1]) / target;
    std::filesystem::create_directories(folder);
    corvane::fuzz::Seeds seeds(folder.string());
    writer(seeds);
    std::printf("%s: %d seeds\n", target.c_str(), seeds.Count());
  }
  return 0;
}
