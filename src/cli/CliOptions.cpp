#include "cli/CliOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace quarvel {

namespace {

std::string FormatNumber(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string DisplayName(const OptionSpec& option) {
    return "--" + option.name;
}

std::string RangeText(const OptionSpec& option) {
    return "range " + FormatNumber(option.minimum) + " to " + FormatNumber(option.maximum);
}

/// Parses a whole number; nullopt unless all of text is one.
std::optional<long long> ParseInteger(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') {
        return std::nullopt;
    }
    return value;
}

/// Parses a finite number; nullopt unless all of text is one.
std::optional<double> ParseReal(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

/// Checks value against the option's kind and range; an empty string when it fits, else why not.
std::string CheckValue(const OptionSpec& option, const std::string& value) {
    if (option.valueOptional && value.empty()) {
        return {};
    }
    switch (option.kind) {
        case OptionKind::Flag:
        case OptionKind::Text:
            return {};
        case OptionKind::Integer: {
            const auto number = ParseInteger(value);
            if (!number) {
                return "option " + DisplayName(option) + ": '" + value +
                       "' is not a whole number (" + RangeText(option) + ")";
            }
            if (static_cast<double>(*number) < option.minimum ||
                static_cast<double>(*number) > option.maximum) {
                return "option " + DisplayName(option) + ": " + value + " out of " +
                       RangeText(option);
            }
            return {};
        }
        case OptionKind::Real: {
            const auto number = ParseReal(value);
            if (!number) {
                return "option " + DisplayName(option) + ": '" + value + "' is not a number (" +
                       RangeText(option) + ")";
            }
            if (*number < option.minimum || *number > option.maximum) {
                return "option " + DisplayName(option) + ": " + value + " out of " +
                       RangeText(option);
            }
            return {};
        }
    }
    return {};
}

const OptionSpec* FindLong(const CommandSpec& command, const std::string& name) {
    for (const OptionSpec& option : command.options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

const OptionSpec* FindShort(const CommandSpec& command, char name) {
    for (const OptionSpec& option : command.options) {
        if (option.shortName != 0 && option.shortName == name) {
            return &option;
        }
    }
    return nullptr;
}

CommandLine UsageError(std::string message) {
    CommandLine line;
    line.action = CommandLine::Action::UsageError;
    line.error = std::move(message);
    return line;
}

}  // namespace

std::optional<std::string> ParsedOptions::Text(const std::string& name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<long long> ParsedOptions::Integer(const std::string& name) const {
    const auto text = Text(name);
    return text ? ParseInteger(*text) : std::nullopt;
}

std::optional<double> ParsedOptions::Real(const std::string& name) const {
    const auto text = Text(name);
    return text ? ParseReal(*text) : std::nullopt;
}

std::optional<std::vector<std::int64_t>> ParseIntegerList(const std::string& text,
                                                          std::size_t count, std::int64_t minimum,
                                                          std::int64_t maximum) {
    std::vector<std::int64_t> numbers;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        if (item.empty()) {
            return std::nullopt;
        }
        errno = 0;
        char* end = nullptr;
        const long long value = std::strtoll(item.c_str(), &end, 10);
        if (errno != 0 || *end != '\0' || value < minimum || value > maximum) {
            return std::nullopt;
        }
        numbers.push_back(value);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (numbers.size() != count) {
        return std::nullopt;
    }
    return numbers;
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::vector<const CommandSpec*>& commands) {
    if (arguments.empty()) {
        return UsageError("no command given");
    }
    const std::string& first = arguments.front();
    if (first == "--help" || first == "-h") {
        CommandLine line;
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (first == "--version") {
        CommandLine line;
        line.action = CommandLine::Action::Version;
        return line;
    }
    const CommandSpec* command = nullptr;
    for (const CommandSpec* candidate : commands) {
        if (candidate->name == first) {
            command = candidate;
        }
    }
    if (command == nullptr) {
        return UsageError(first.rfind('-', 0) == 0 ? "unknown option '" + first + "'"
                                                   : "unknown command '" + first + "'");
    }

    CommandLine line;
    line.action = CommandLine::Action::Run;
    line.command = command;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            line.options.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        // --name, --name=value, -n, -nVALUE; the value of -n and --name may follow as the next
        // argument.
        const OptionSpec* option = nullptr;
        std::optional<std::string> inlineValue;
        if (argument[1] == '-') {
            const std::size_t equals = argument.find('=');
            option = FindLong(*command, argument.substr(2, equals - 2));
            if (equals != std::string::npos) {
                inlineValue = argument.substr(equals + 1);
            }
        } else {
            option = FindShort(*command, argument[1]);
            if (option != nullptr && argument.size() > 2) {
                if (option->kind == OptionKind::Flag) {
                    option = nullptr;
                } else {
                    inlineValue = argument.substr(2);
                }
            }
        }
        if (option == nullptr) {
            return UsageError("unknown option '" + argument.substr(0, argument.find('=')) +
                              "' for " + command->name);
        }
        if (line.options.Has(option->name) && !option->repeatable) {
            return UsageError("option " + DisplayName(*option) + " given twice");
        }
        std::string value;
        if (option->kind == OptionKind::Flag) {
            if (inlineValue) {
                return UsageError("option " + DisplayName(*option) + " takes no value");
            }
        } else if (inlineValue) {
            value = *inlineValue;
            if (value.empty() && option->valueOptional) {
                return UsageError("option " + DisplayName(*option) + ": empty value after '='");
            }
        } else if (option->valueOptional) {
            // The option alone: its value is left out.
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return UsageError("option " + DisplayName(*option) + " needs a value " +
                              option->valueName);
        }
        if (std::string problem = CheckValue(*option, value); !problem.empty()) {
            return UsageError(problem);
        }
        line.options.Set(option->name, std::move(value));
    }
    if (line.options.operands.size() < command->minOperands) {
        // "IMAGE..." names one operand in the message.
        std::string operand = command->operands;
        if (operand.size() > 3 && operand.compare(operand.size() - 3, 3, "...") == 0) {
            operand.resize(operand.size() - 3);
        }
        return UsageError(command->name + " needs " +
                          (command->minOperands == 1
                               ? std::string("at least one ")
                               : "at least " + std::to_string(command->minOperands) + " ") +
                          operand);
    }
    return line;
}

std::string ProgramHelp(const std::string& program,
                        const std::vector<const CommandSpec*>& commands) {
    std::ostringstream text;
    text << "Usage: " << program << " COMMAND [OPTIONS] ARGUMENTS...\n"
         << "Frequency-domain image tools.\n\nCommands:\n";
    for (const CommandSpec* command : commands) {
        text << "  " << command->name
             << std::string(command->name.size() < 12 ? 12 - command->name.size() : 1, ' ')
             << command->summary << "\n";
    }
    text << "\nOptions:\n"
         << "  -h, --help     show this help\n"
         << "      --version  show the version\n\n"
         << "Run '" << program << " COMMAND --help' for the options of a command.\n";
    return text.str();
}

std::string CommandHelp(const std::string& program, const CommandSpec& command) {
    std::ostringstream text;
    text << "Usage: " << program << " " << command.name << " [OPTIONS] " << command.operands << "\n"
         << command.summary << ".\n\nOptions:\n";
    for (const OptionSpec& option : command.options) {
        std::string names = option.shortName != 0
                                ? std::string("-") + option.shortName + ", --" + option.name
                                : "    --" + option.name;
        if (option.valueOptional) {
            names += "[=" + option.valueName + "]";
        } else if (option.kind != OptionKind::Flag) {
            names += " " + option.valueName;
        }
        std::string help = option.help;
        if (option.kind == OptionKind::Integer || option.kind == OptionKind::Real) {
            help += " (" + RangeText(option) + ")";
        }
        text << "  " << names << std::string(names.size() < 22 ? 22 - names.size() : 1, ' ') << help
             << "\n";
    }
    text << "  -h, --help            show this help\n";
    return text.str();
}

}  // namespace quarvel
