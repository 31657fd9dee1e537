#pragma once

#include <iosfwd>

#include "cli/CliOptions.h"

namespace quarvel {

/// The filter command: for every image, the chain the program runs on one file (load, compute
/// the spectra, apply the filters, clearings and brush stamps in the order given, create the
/// final image, save), written as NAME_flt.EXT beside the image unless told otherwise.
const CommandSpec& FilterCommandSpec();

/// Runs the filter command; every image is tried even when an earlier one failed.
int RunFilterCommand(const ParsedOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quarvel
