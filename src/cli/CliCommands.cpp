#include "cli/CliCommands.h"

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "cli/BatchCommand.h"
#include "cli/FilterCommand.h"
#include "cli/PowerImagesCommand.h"
#include "imageio/ImageFile.h"
#include "recipe/RecipeFile.h"

namespace quarvel {

OptionSpec MaxMemoryOption() {
    return {"max-memory", 0, OptionKind::Text, "SIZE",
            "refuse images that this command would need more memory than SIZE for, as estimated "
            "from their size before decoding, such as 512M or 4G (default: half the physical "
            "memory)"};
}

OptionSpec ExactSizeOption() {
    return {"exact-size", 0, OptionKind::Flag, "",
            "transform each image at its own width and height, so that what is not edited comes "
            "back unchanged (default: at the next powers of two, the image resampled to them and "
            "back); spectrum coordinates then run over the image's own size"};
}

TransformSize TransformSizeOf(const ParsedOptions& options) {
    return options.Has("exact-size") ? TransformSize::Exact : TransformSize::PowerOfTwo;
}

OptionSpec RecipeOption() {
    return {"recipe", 0, OptionKind::Text, "FILE",
            "replay the steps of a recipe file (see --save-recipe, or File, Save Edits as Recipe "
            "in the program) at the transform size it names"};
}

bool ReadRecipeOption(const ParsedOptions& options, std::optional<Recipe>& recipe,
                      std::ostream& err) {
    recipe.reset();
    const auto path = options.Text("recipe");
    if (!path) {
        return true;
    }
    Recipe read;
    if (const IoResult loaded = LoadRecipeFile(*path, read); !loaded) {
        err << kCliProgram << ": " << *path << ": " << loaded.message << "\n";
        return false;
    }
    recipe = std::move(read);
    return true;
}

OptionSpec MirrorOption() {
    return {"mirror", 0, OptionKind::Flag, "",
            "also clear the point mirror of every --clear and --brush area (the same frequencies "
            "with the opposite sign, which a real image holds as twins), so that both halves of "
            "each spike go"};
}

OptionSpec FormatOption() {
    return {"format", 0, OptionKind::Text, "FORMAT",
            "write jpeg, png, tiff, bmp or webp whatever the name says (default: the format the "
            "output name's extension asks for, JPEG when it names none); png and tiff keep 16-bit "
            "samples, tiff floating-point ones, the others hold 8 bits"};
}

OptionSpec QualityOption() {
    return {
        "quality", 0,  OptionKind::Integer, "N", "JPEG and WebP quality (default: the encoder's)",
        0,         100};
}

std::string ReadSaveOptions(const ParsedOptions& options, SaveOptions& save) {
    if (const auto format = options.Text("format")) {
        const std::string& name = *format;
        if (name == "jpeg" || name == "jpg") {
            save.mime = "image/jpeg";
        } else if (name == "tiff" || name == "tif") {
            save.mime = "image/tiff";
        } else if (name == "png" || name == "bmp" || name == "webp") {
            save.mime = "image/" + name;
        } else {
            return "option --format: '" + name + "' is not jpeg, png, tiff, bmp or webp";
        }
        if (FindEncoderByMime(save.mime, nullptr) < 0) {
            return "option --format: no " + name + " encoder on this system";
        }
    }
    if (const auto quality = options.Integer("quality")) {
        if (!save.mime.empty() && !IsLossyMime(save.mime)) {
            return "option --quality: only for JPEG and WebP, not --format " +
                   *options.Text("format");
        }
        save.quality = static_cast<int>(*quality);
    }
    return {};
}

namespace {

/// Sets the process's memory budget for its lifetime and puts the previous one back.
class MemoryBudgetScope {
public:
    explicit MemoryBudgetScope(std::uint64_t bytes) : previous_(SetMemoryBudget(bytes)) {}
    ~MemoryBudgetScope() { SetMemoryBudget(previous_); }
    MemoryBudgetScope(const MemoryBudgetScope&) = delete;
    MemoryBudgetScope& operator=(const MemoryBudgetScope&) = delete;

private:
    std::uint64_t previous_;
};

}  // namespace

const std::vector<CliCommand>& CliCommands() {
    static const std::vector<CliCommand> commands = {
        {&SpectrumCommandSpec, &RunSpectrumCommand},
        {&FilterCommandSpec, &RunFilterCommand},
        {&BatchCommandSpec, &RunBatchCommand},
    };
    return commands;
}

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
    std::vector<const CommandSpec*> definitions;
    for (const CliCommand& command : CliCommands()) {
        definitions.push_back(&command.definition());
    }
    const CommandLine line = ParseCommandLine(arguments, definitions);
    switch (line.action) {
        case CommandLine::Action::Help:
            out << (line.command != nullptr ? CommandHelp(kCliProgram, *line.command)
                                            : ProgramHelp(kCliProgram, definitions));
            return CliExitSuccess;
        case CommandLine::Action::Version:
            out << kCliProgram << " " << QUARVEL_VERSION << "\n";
            return CliExitSuccess;
        case CommandLine::Action::UsageError:
            err << kCliProgram << ": " << line.error << "\n"
                << "Try '" << kCliProgram << " --help' for more information.\n";
            return CliExitUsage;
        case CommandLine::Action::Run:
            break;
    }
    std::uint64_t budget = 0;  // the default share
    if (const std::optional<std::string> text = line.options.Text("max-memory")) {
        const std::optional<std::uint64_t> bytes = ParseMemorySize(*text);
        if (!bytes || *bytes < kMinMaxMemory) {
            err << kCliProgram << ": option --max-memory: '" << *text
                << "' is not a size of at least 1M (for example 512M or 4G)\n"
                << "Try '" << kCliProgram << " --help' for more information.\n";
            return CliExitUsage;
        }
        budget = *bytes;
    }
    const MemoryBudgetScope memory(budget);
    for (const CliCommand& command : CliCommands()) {
        if (&command.definition() == line.command) {
            return command.run(line.options, out, err);
        }
    }
    return CliExitUsage;
}

}  // namespace quarvel
