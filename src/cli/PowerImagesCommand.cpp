#include "cli/PowerImagesCommand.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "engine/ImageBitmap.h"
#include "engine/PlaneConversion.h"
#include "imageio/GreyPngFile.h"
#include "imageio/ImageFile.h"
#include "imageio/VXFileName.h"

namespace quarvel {

namespace {

struct ChannelOutput {
    ChannelKind kind;
    const char* suffix;  ///< appended to the image's base name
};

const std::vector<ChannelOutput> kColourOutputs = {
    {ChannelKind::Red, "_power_red.png"},
    {ChannelKind::Green, "_power_green.png"},
    {ChannelKind::Blue, "_power_blue.png"},
};
const std::vector<ChannelOutput> kGreyOutputs = {{ChannelKind::Grey, "_power.png"}};

/// The folder the outputs of input go to, ending in '/' unless it is the current folder ("").
std::string OutputFolder(const std::string& input, const std::optional<std::string>& output) {
    if (!output) {
        return VXFileName(input).GetFolder();
    }
    std::string folder = *output;
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

class SpectrumRun {
public:
    SpectrumRun(std::ostream& out, std::ostream& err, TransformSize transformSize)
        : out_(out), err_(err), transformSize_(transformSize) {}

    /// Writes the spectra of one image; false when it failed (the reason is on err).
    bool Process(const std::string& input, const std::optional<std::string>& outputFolder);

private:
    bool Fail(const std::string& file, const std::string& reason) {
        err_ << kCliProgram << ": " << file << ": " << reason << "\n";
        return false;
    }

    std::ostream& out_;
    std::ostream& err_;
    std::set<std::string> written_;  ///< outputs of earlier images of this run
    TransformSize transformSize_;
};

bool SpectrumRun::Process(const std::string& input,
                          const std::optional<std::string>& outputFolder) {
    std::unique_ptr<ImageBitmap> image;
    LoadLimits limits;
    limits.work = ImageWork::Spectrum;
    limits.transformSize = transformSize_;
    const IoResult loaded = LoadImageFile(image, input, limits);
    if (!loaded) {
        return Fail(input, loaded.message);
    }
    if (!loaded.warning.empty()) {
        err_ << kCliProgram << ": " << input << ": warning: " << loaded.warning << "\n";
    }

    // The transform size is the next power of two in each direction (or, with --exact-size, the
    // image's own); the image is resampled to it before its channels are transformed. A colour
    // image is taken apart first and each channel resampled as an image of its own when its turn
    // comes: the same bytes as the channel of the whole image resampled, without a colour image
    // of the transform size.
    const auto w2 = static_cast<std::uint32_t>(SpectrumSize(image->Width(), transformSize_));
    const auto h2 = static_cast<std::uint32_t>(SpectrumSize(image->Height(), transformSize_));
    const std::string noTransform =
        "not enough memory for a " + std::to_string(w2) + " x " + std::to_string(h2) + " transform";
    const bool byChannel =
        (image->Format() == PixelFormat32bppRGB || image->Format() == PixelFormat48bppRGB) &&
        image->Width() > 1;
    std::unique_ptr<ImageBitmap> work;
    std::vector<std::unique_ptr<ImageBitmap>> parts;
    if (byChannel) {
        for (const ChannelOutput& channel : kColourOutputs) {
            parts.push_back(ExtractChannel(*image, channel.kind));
            if (!parts.back()) {
                return Fail(input, noTransform);
            }
        }
    } else {
        work = ResampleImage(image.get(), w2, h2);
        if (!work) {
            return Fail(input, noTransform);
        }
    }
    image.reset();
    const std::vector<ChannelOutput>& channels =
        byChannel || IsColorImage(*work) ? kColourOutputs : kGreyOutputs;

    // Two inputs with the same base name (a.png and a.jpg, or two folders into one --output)
    // would overwrite each other's spectra: the later one is refused instead.
    const std::string prefix = OutputFolder(input, outputFolder) + VXFileName(input).fileName;
    for (const ChannelOutput& channel : channels) {
        if (written_.count(prefix + channel.suffix) != 0) {
            return Fail(input, "would overwrite " + prefix + channel.suffix +
                                   ", written for an earlier image");
        }
    }

    // One channel at a time, so that only one spectrum is held at once; its power spectrum
    // image is rendered in its own planes, straight into 8 bits a pixel.
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const ChannelOutput& channel = channels[c];
        const std::string target = prefix + channel.suffix;
        ChannelSpectrum spectrum;
        if (byChannel) {
            const auto part = ResampleImage(parts[c].get(), w2, h2);
            parts[c].reset();
            if (!part) {
                return Fail(input, noTransform);
            }
            spectrum = ComputeSpectrum(part.get(), ChannelKind::Grey);
        } else {
            spectrum = ComputeSpectrum(work.get(), channel.kind);
        }
        if (!spectrum.IsComplete()) {
            return Fail(input, "not enough memory for the spectrum");
        }
        const auto power = RenderGreyPowerSpectrum(spectrum, w2, h2);
        if (!power) {
            return Fail(input, "not enough memory for the power spectrum image");
        }
        const IoResult saved = SaveGreyPngFile(*power, target);
        if (!saved) {
            return Fail(input, saved.message);
        }
        written_.insert(target);
        out_ << "wrote " << target << "\n";
    }
    return true;
}

}  // namespace

const char* PowerSpectrumSuffix(ChannelKind channel) {
    for (const ChannelOutput& output : kColourOutputs) {
        if (output.kind == channel) {
            return output.suffix;
        }
    }
    return kGreyOutputs.front().suffix;
}

const CommandSpec& SpectrumCommandSpec() {
    static const CommandSpec definition = {
        "spectrum",
        "Write the power spectrum images of each image as PNG files",
        "IMAGE...",
        1,
        {{"output", 'o', OptionKind::Text, "DIR", "write into DIR (default: beside each image)"},
         ExactSizeOption(),
         MaxMemoryOption()},
    };
    return definition;
}

int RunSpectrumCommand(const ParsedOptions& options, std::ostream& out, std::ostream& err) {
    const std::optional<std::string> outputFolder = options.Text("output");
    if (outputFolder) {
        struct stat info {};
        if (::stat(outputFolder->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            err << kCliProgram << ": " << *outputFolder << ": output folder not found\n";
            return CliExitFailure;
        }
    }
    SpectrumRun run(out, err, TransformSizeOf(options));
    bool allDone = true;
    for (const std::string& input : options.operands) {
        allDone = run.Process(input, outputFolder) && allDone;
    }
    return allDone ? CliExitSuccess : CliExitFailure;
}

}  // namespace quarvel
