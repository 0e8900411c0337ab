// corvane-cli: the batch tool's entry.
#include "cli/options.h"
#include <cstdio>

int main(int argc, char** argv) {
  const corvane::cli::ParseResult parsed = corvane::cli::ParseCommandLine(argc, argv);
  if (!parsed.Options) return parsed.ExitCode;
  std::printf("ok %zu files\n", parsed.Options->Files.size());
  return 0;
}
