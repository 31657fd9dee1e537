#pragma once

#include <iosfwd>
#include <string>

#include "cli/CliOptions.h"
#include "engine/ImageBitmap.h"
#include "engine/PlaneConversion.h"
#include "imageio/ImageFile.h"

namespace quarvel {

/// The spectrum command: for every image, its power spectrum images as lossless PNG files,
/// NAME_power_red.png, NAME_power_green.png and NAME_power_blue.png for a colour image and
/// NAME_power.png for a single-channel one, beside the image or in the folder of --output.
const CommandSpec& SpectrumCommandSpec();

/// The ending of a power spectrum image's file name: "_power_red.png", "_power_green.png" and
/// "_power_blue.png" for the channels of a colour image, "_power.png" for a grey one.
const char* PowerSpectrumSuffix(ChannelKind channel);

/// Runs the spectrum command; every image is tried even when an earlier one failed.
int RunSpectrumCommand(const ParsedOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quarvel
