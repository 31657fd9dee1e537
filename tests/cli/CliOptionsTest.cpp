#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/CliOptions.h"

namespace quarvel {
namespace {

/// A command in the shape the filter commands will have: a path, a whole number and a number
/// with ranges, and a flag.
const CommandSpec& FilterLike() {
    static const CommandSpec definition = {
        "lowpass",
        "Filter images",
        "IMAGE...",
        1,
        {{"output", 'o', OptionKind::Text, "DIR", "write into DIR"},
         {"degree", 'd', OptionKind::Integer, "N", "filter degree", 1, 10},
         {"cutoff", 0, OptionKind::Real, "PERCENT", "cut-off frequency", 0, 100},
         {"separable", 0, OptionKind::Flag, "", "row and column responses"}},
    };
    return definition;
}

const CommandSpec& Other() {
    static const CommandSpec definition = {"other", "Something else", "", 0, {}};
    return definition;
}

CommandLine Parse(const std::vector<std::string>& arguments) {
    return ParseCommandLine(arguments, {&FilterLike(), &Other()});
}

TEST(ParseCommandLine, OptionsInAllForms_AreCollectedWithOperands) {
    const CommandLine line = Parse({"lowpass", "a.png", "-oout", "--degree=4", "--cutoff", "12.5",
                                    "--separable", "--", "-b.png"});
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    EXPECT_EQ(line.command, &FilterLike());
    EXPECT_EQ(line.options.Text("output"), "out");
    EXPECT_EQ(line.options.Integer("degree"), 4);
    EXPECT_EQ(line.options.Real("cutoff"), 12.5);
    EXPECT_TRUE(line.options.Has("separable"));
    EXPECT_EQ(line.options.operands, (std::vector<std::string>{"a.png", "-b.png"}));
}

TEST(ParseCommandLine, AbsentOptions_HaveNoValue) {
    const CommandLine line = Parse({"lowpass", "a.png"});
    ASSERT_EQ(line.action, CommandLine::Action::Run);
    EXPECT_FALSE(line.options.Has("degree"));
    EXPECT_EQ(line.options.Integer("degree"), std::nullopt);
    EXPECT_EQ(line.options.Text("output"), std::nullopt);
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* error;
};

class RejectCommandLine : public testing::TestWithParam<UsageCase> {};

TEST_P(RejectCommandLine, NamesWhatIsWrong) {
    const CommandLine line = Parse(GetParam().arguments);
    EXPECT_EQ(line.action, CommandLine::Action::UsageError);
    EXPECT_EQ(line.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, RejectCommandLine,
    testing::Values(
        UsageCase{"NoCommand", {}, "no command given"},
        UsageCase{"UnknownCommand", {"highpass"}, "unknown command 'highpass'"},
        UsageCase{"UnknownProgramOption", {"--verbose"}, "unknown option '--verbose'"},
        UsageCase{"UnknownOption",
                  {"lowpass", "--colour=red", "a"},
                  "unknown option '--colour' for lowpass"},
        UsageCase{"OptionOfAnotherCommand", {"other", "-o", "x"}, "unknown option '-o' for other"},
        UsageCase{"AboveRange",
                  {"lowpass", "--degree", "11", "a"},
                  "option --degree: 11 out of range 1 to 10"},
        UsageCase{
            "BelowRange", {"lowpass", "-d", "0", "a"}, "option --degree: 0 out of range 1 to 10"},
        UsageCase{"NotWhole",
                  {"lowpass", "-d", "2.5", "a"},
                  "option --degree: '2.5' is not a whole number (range 1 to 10)"},
        UsageCase{"RealAboveRange",
                  {"lowpass", "--cutoff=100.5", "a"},
                  "option --cutoff: 100.5 out of range 0 to 100"},
        UsageCase{"NotANumber",
                  {"lowpass", "--cutoff=nan", "a"},
                  "option --cutoff: 'nan' is not a number (range 0 to 100)"},
        UsageCase{
            "MissingValue", {"lowpass", "a", "--output"}, "option --output needs a value DIR"},
        UsageCase{"FlagWithValue",
                  {"lowpass", "--separable=yes", "a"},
                  "option --separable takes no value"},
        UsageCase{"GivenTwice",
                  {"lowpass", "-d", "2", "--degree", "3", "a"},
                  "option --degree given twice"},
        UsageCase{"NoOperand", {"lowpass", "-d", "2"}, "lowpass needs at least one IMAGE"}),
    [](const testing::TestParamInfo<UsageCase>& param) { return std::string(param.param.name); });

TEST(ParseCommandLine, HelpAndVersion) {
    EXPECT_EQ(Parse({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(Parse({"--help"}).command, nullptr);
    EXPECT_EQ(Parse({"--version"}).action, CommandLine::Action::Version);
    const CommandLine commandHelp = Parse({"lowpass", "-h"});
    EXPECT_EQ(commandHelp.action, CommandLine::Action::Help);
    EXPECT_EQ(commandHelp.command, &FilterLike());
}

TEST(CommandHelp, ListsOptionsWithTheirRanges) {
    const std::string help = CommandHelp("prog", FilterLike());
    EXPECT_NE(help.find("Usage: prog lowpass [OPTIONS] IMAGE..."), std::string::npos);
    EXPECT_NE(help.find("-d, --degree N"), std::string::npos);
    EXPECT_NE(help.find("filter degree (range 1 to 10)"), std::string::npos);
    EXPECT_NE(help.find("--cutoff PERCENT"), std::string::npos);
}

}  // namespace
}  // namespace quarvel
