// The command line of fftquarvel-cli: the input is its arguments, separated by zero bytes. The
// parser must accept only what each command defines, in range, and every command must turn the
// values it reads itself (rectangles, channel lists, cut-off pairs) into a run or a clear usage
// error. Commands run with their operands replaced by a path that does not exist, so nothing is
// read or written.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"

namespace {

using quarvel::CommandLine;
using quarvel::CommandSpec;
using quarvel::OptionKind;
using quarvel::OptionSpec;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "command line: %s\n", what);
        std::abort();
    }
}

/// An empty folder of this process: the settings store and the missing operands live there.
const std::filesystem::path& Scratch() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "quarvel-cli-fuzz-XXXXXX");
        Check(::mkdtemp(pattern.data()) != nullptr, "no scratch folder");
        return std::filesystem::path(pattern);
    }();
    return folder;
}

const OptionSpec* Find(const CommandSpec& command, const std::string& name) {
    for (const OptionSpec& option : command.options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The batch command reads (and with --save-settings writes) the stored batch settings: they
    // go to the scratch folder, never to the person's own.
    ::setenv("XDG_CONFIG_HOME", Scratch().c_str(), 1);
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    std::string current;
    for (std::size_t i = 0; i < size && arguments.size() < 64; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty()) {
        arguments.push_back(current);
    }

    std::vector<const CommandSpec*> commands;
    for (const quarvel::CliCommand& command : quarvel::CliCommands()) {
        commands.push_back(&command.definition());
    }
    const CommandLine line = quarvel::ParseCommandLine(arguments, commands);
    switch (line.action) {
        case CommandLine::Action::UsageError:
            Check(!line.error.empty(), "a usage error without a message");
            return 0;
        case CommandLine::Action::Help:
            Check(!(line.command != nullptr
                        ? quarvel::CommandHelp(quarvel::kCliProgram, *line.command)
                        : quarvel::ProgramHelp(quarvel::kCliProgram, commands))
                       .empty(),
                  "an empty help");
            return 0;
        case CommandLine::Action::Version:
            return 0;
        case CommandLine::Action::Run:
            break;
    }

    const CommandSpec& command = *line.command;
    Check(line.options.operands.size() >= command.minOperands, "too few operands accepted");
    for (const auto& [name, value] : line.options.given) {
        const OptionSpec* option = Find(command, name);
        Check(option != nullptr, "an option the command does not define was accepted");
        Check(line.options.Has(name), "a given option is not recorded");
        if (option->kind == OptionKind::Flag) {
            Check(value.empty(), "a flag took a value");
        }
    }
    for (const OptionSpec& option : command.options) {
        if (!line.options.Has(option.name)) {
            continue;
        }
        if (option.valueOptional && line.options.Text(option.name) == std::string()) {
            // Given alone, without its value: nothing to range-check.
            continue;
        }
        if (option.kind == OptionKind::Integer) {
            const auto number = line.options.Integer(option.name);
            Check(number && static_cast<double>(*number) >= option.minimum &&
                      static_cast<double>(*number) <= option.maximum,
                  "an integer option out of its range was accepted");
        } else if (option.kind == OptionKind::Real) {
            const auto number = line.options.Real(option.name);
            Check(number && *number >= option.minimum && *number <= option.maximum,
                  "a real option out of its range was accepted");
        }
    }

    // The command itself, on operands that do not exist: a usage error for values it cannot
    // use, a failure for the missing files, never success.
    quarvel::ParsedOptions options = line.options;
    for (std::string& operand : options.operands) {
        operand = (Scratch() / "missing" / "input.png").string();
    }
    for (const quarvel::CliCommand& entry : quarvel::CliCommands()) {
        if (&entry.definition() != line.command) {
            continue;
        }
        std::ostringstream out;
        std::ostringstream err;
        const int status = entry.run(options, out, err);
        Check(status == quarvel::CliExitFailure || status == quarvel::CliExitUsage,
              "a command succeeded without its files");
        Check(!err.str().empty(), "a failed command said nothing");
    }
    return 0;
}
