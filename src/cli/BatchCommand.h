#pragma once

#include <iosfwd>

#include "cli/CliOptions.h"

namespace quarvel {

/// The batch command: filters every image file of one folder with the batch settings the
/// program has stored (or their defaults), as overridden by the options, and writes each result
/// beside its source. The log goes to the output, one line per file and a final count; a
/// progress bar goes to standard error when that is a terminal.
const CommandSpec& BatchCommandSpec();

/// Runs the batch command: 0 when every file was written, 1 when the folder could not be read
/// or any file failed (the others are still processed), 2 for a wrong command line.
int RunBatchCommand(const ParsedOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quarvel
