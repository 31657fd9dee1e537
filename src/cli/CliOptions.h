#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quarvel {

/// The value an option takes.
enum class OptionKind {
    Flag,     ///< no value
    Text,     ///< any text (a path, a name)
    Integer,  ///< a whole number within [minimum, maximum]
    Real,     ///< a number within [minimum, maximum]
};

/// One option of a command, given as --name VALUE, --name=VALUE or -s VALUE.
struct OptionSpec {
    std::string name;    ///< long name without the dashes
    char shortName = 0;  ///< single-letter name, 0 for none
    OptionKind kind = OptionKind::Flag;
    std::string valueName;  ///< shown in the help: "DIR", "PERCENT"
    std::string help;
    double minimum = 0.0;  ///< range of Integer and Real values
    double maximum = 0.0;
    bool repeatable = false;  ///< may be given several times; every value is kept, in order
    /// The value may be left out: --name alone (its value then empty), or --name=VALUE; the
    /// next argument is never taken for it.
    bool valueOptional = false;
};

/// One command of the program: its name, what it does, its operands and options.
struct CommandSpec {
    std::string name;
    std::string summary;
    std::string operands;         ///< shown in the usage line: "IMAGE..."
    std::size_t minOperands = 0;  ///< fewer is a usage error
    std::vector<OptionSpec> options;
};

/// The options and operands given to a command, checked against its definition: every value present
/// has the option's kind and lies within its range.
class ParsedOptions {
public:
    void Set(const std::string& name, std::string value) {
        given.emplace_back(name, value);
        values_[name] = std::move(value);
    }
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::string> Text(const std::string& name) const;
    std::optional<long long> Integer(const std::string& name) const;
    std::optional<double> Real(const std::string& name) const;

    std::vector<std::string> operands;
    /// Every option given, with its value, in command-line order (repeated ones included).
    std::vector<std::pair<std::string, std::string>> given;

private:
    std::map<std::string, std::string> values_;
};

/// What the command line asks for.
struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::UsageError;
    const CommandSpec* command = nullptr;  ///< for Run, and for Help of one command
    ParsedOptions options;
    std::string error;  ///< for UsageError: what is wrong, naming the option or command
};

/// Parses the arguments after the program name: COMMAND [OPTIONS] OPERANDS, or --help or
/// --version alone. Options and operands may be mixed; "--" ends the options. Every command
/// takes -h/--help.
/// Splits "a,b,c" into exactly count whole numbers within [minimum, maximum]; nothing when an
/// item is empty, not a whole number, out of range, or the count differs.
std::optional<std::vector<std::int64_t>> ParseIntegerList(const std::string& text,
                                                          std::size_t count, std::int64_t minimum,
                                                          std::int64_t maximum);

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::vector<const CommandSpec*>& commands);

/// The program's help: its usage and the list of commands.
std::string ProgramHelp(const std::string& program,
                        const std::vector<const CommandSpec*>& commands);

/// One command's help: its usage line, summary and options with their ranges.
std::string CommandHelp(const std::string& program, const CommandSpec& command);

}  // namespace quarvel
