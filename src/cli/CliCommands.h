#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

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

/// All commands of the program, in the order the help lists them. A new command is one more
/// entry here.
const std::vector<CliCommand>& CliCommands();

/// Parses the arguments after the program name and runs what they ask for.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace quarvel
