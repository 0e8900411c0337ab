#pragma once
// The batch run: fills the settings from the options and presses the
// workbench's buttons in the order of a run, once per channel.
#include "cli/options.h"

namespace corvane::cli {

/// Exit statuses of the batch tool.
enum ExitCode : int {
  ExitDone = 0,
  ExitUsage = 1,       ///< unknown option, value out of range, no input file
  ExitInput = 2,       ///< a file that cannot be read or decoded, a LUT or PSF that cannot be read
  ExitProcessing = 3,  ///< an arithmetic range or overflow error of the image operations
  ExitOutput = 4,      ///< an output that cannot be written
};

/// Runs the whole workflow. Prints one "corvane-cli: error: ..." line on
/// failure and answers the exit status.
int RunBatch(const CliOptions& options);

}  // namespace corvane::cli
