#include "cli/CliCommands.h"

#include <ostream>

#include "cli/BatchCommand.h"
#include "cli/FilterCommand.h"
#include "cli/SpectrumCommand.h"

namespace quarvel {

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
    for (const CliCommand& command : CliCommands()) {
        if (&command.definition() == line.command) {
            return command.run(line.options, out, err);
        }
    }
    return CliExitUsage;
}

}  // namespace quarvel
