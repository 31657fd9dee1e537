#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include <optional>

#include "cli/CliOptions.h"
#include "history/Recipe.h"
#include "imageio/ImageFile.h"

namespace quarvel {

/// The program's name as it introduces its messages.
inline constexpr const char* kCliProgram = "fftquarvel-cli";

/// Exit statuses: every file done, some file failed, the command line was wrong.
enum CliExit { CliExitSuccess = 0, CliExitFailure = 1, CliExitUsage = 2 };

/// One command: its definition and the function that runs it with checked options. The function
/// writes what it produced to out and failures to err as "fftquarvel-cli: FILE: REASON", and
/// returns a CliExit status.
struct CliCommand {
    const CommandSpec& (*definition)();
    int (*run)(const ParsedOptions& options, std::ostream& out, std::ostream& err);
};

/// The option every command that loads images takes: --max-memory SIZE, the memory the command
/// may need for one image at its peak (EstimatedImageMemory of the command's ImageWork).
OptionSpec MaxMemoryOption();

/// The option of every command that transforms images: --exact-size, the transform at the
/// image's own width and height instead of the next powers of two.
OptionSpec ExactSizeOption();

/// The transform size --exact-size asks for.
TransformSize TransformSizeOf(const ParsedOptions& options);

/// The option of the commands that replay a recipe: --recipe FILE.
OptionSpec RecipeOption();

/// Reads the recipe file --recipe names, if any, into recipe; false, with "fftquarvel-cli: FILE:
/// REASON" on err, when it cannot be read.
bool ReadRecipeOption(const ParsedOptions& options, std::optional<Recipe>& recipe,
                      std::ostream& err);

/// The option of every command that clears spectrum areas: --mirror, which clears the
/// point-mirrored area of each one too (CFFTProc::mirrorEdits).
OptionSpec MirrorOption();

/// The options of every command that writes images: --format FORMAT, which forces the encoder
/// (otherwise the output name's extension chooses it), and --quality N for JPEG and WebP.
OptionSpec FormatOption();
OptionSpec QualityOption();

/// Reads --format and --quality into save; an error message when their values do not fit.
std::string ReadSaveOptions(const ParsedOptions& options, SaveOptions& save);

/// The smallest --max-memory accepted: anything less is surely a slip (a size meant in
/// megabytes, say) and would refuse every image.
inline constexpr std::uint64_t kMinMaxMemory = std::uint64_t{1} << 20;

/// All commands of the program, in the order the help lists them. A new command is one more
/// entry here.
const std::vector<CliCommand>& CliCommands();

/// Parses the arguments after the program name and runs what they ask for.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace quarvel
