#pragma once

#include <iosfwd>

#include "cli/CliOptions.h"

namespace quarvel {

/// The spectrum command: for every image, its power spectrum images as lossless PNG files,
/// NAME_power_red.png, NAME_power_green.png and NAME_power_blue.png for a colour image and
/// NAME_power.png for a single-channel one, beside the image or in the folder of --output.
const CommandSpec& SpectrumCommandSpec();

/// Runs the spectrum command; every image is tried even when an earlier one failed.
int RunSpectrumCommand(const ParsedOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quarvel
