// corvane-cli: the batch tool's entry.
#include "cli/options.h"
#include "cli/run.h"

int main(int argc, char** argv) {
  const corvane::cli::ParseResult parsed = corvane::cli::ParseCommandLine(argc, argv);
  if (!parsed.Options) return parsed.ExitCode;
  return corvane::cli::RunBatch(*parsed.Options);
}
