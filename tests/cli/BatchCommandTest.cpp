#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "CliRunner.h"
#include "batch/BatchSettingsStore.h"
#include "imageio/ImageFile.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using test::IsJpeg;
using test::Outcome;
using test::ReadAll;
using test::ReadBytes;
using test::RunOptions;
using test::RunProgram;
using test::TestImage;
using test::WriteBytes;

void ExpectLines(const std::string& text, const std::vector<std::string>& patterns) {
    SCOPED_TRACE(text);
    test::ExpectLinesMatch(test::SplitLines(text, "\n"), patterns);
}

/// "p" followed by the number and the ending ("p3.png").
std::string Numbered(std::size_t number, const char* ending) {
    std::string name = "p";
    name += std::to_string(number);
    name += ending;
    return name;
}

/// Each test runs the real program in a fresh folder, with a settings store of its own: the
/// program's configuration folder is a subfolder of the test's, never the user's.
class BatchCommand : public testing::Test {
protected:
    /// Where the program's standard error goes.
    enum class ErrorStream { File, Terminal };

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quarvel-batch-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        images_ = root_ / "images";
        fs::create_directories(images_);
        fs::create_directories(root_ / "config");
        fs::create_directories(root_ / "home");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    /// The settings file the program uses in this test.
    fs::path SettingsFile() const {
        return root_ / "config" / "Quarvel Software" / "FFT Quarvel.conf";
    }
    std::string Image(const std::string& name) const { return images_.string() + "/" + name; }
    std::vector<std::string> Environment() const {
        return {"XDG_CONFIG_HOME=" + (root_ / "config").string(),
                "HOME=" + (root_ / "home").string()};
    }

    /// Runs the program to its end and collects what it printed.
    Outcome Run(const std::vector<std::string>& arguments,
                ErrorStream errorStream = ErrorStream::File, const fs::path& input = "/dev/null") {
        RunOptions options{root_, Environment(), errorStream == ErrorStream::Terminal};
        options.input = input;
        return RunProgram(arguments, options);
    }

    /// Starts the program with arguments in the test's folder, its standard error going to
    /// errorFd; its standard output is read from outRead.
    pid_t Start(std::vector<std::string> arguments, int errorFd, int& outRead) {
        arguments.insert(arguments.begin(), FFTQUARVEL_CLI);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> environment = Environment();
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text(*entry);
            if (text.rfind("XDG_CONFIG_HOME=", 0) != 0 && text.rfind("HOME=", 0) != 0) {
                environment.emplace_back(text);
            }
        }
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);

        int pipeFds[2] = {-1, -1};
        EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addchdir_np(&actions, root_.c_str());
        pid_t child = -1;
        const int spawned =
            posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        EXPECT_EQ(spawned, 0) << std::strerror(spawned);
        outRead = pipeFds[0];
        return spawned == 0 ? child : -1;
    }

    static int Wait(pid_t child) {
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child) {
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(images_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    fs::path root_;
    fs::path images_;
};

TEST_F(BatchCommand, MixedFolder_PrintsTheLogAndExitsOneForTheFileThatFailed) {
    fs::copy_file(TestImage("rocket.jpg"), images_ / "a.jpg");
    fs::copy_file(TestImage("coins.png"), images_ / "b.PNG");
    fs::copy_file(TestImage("truncated.jpg"), images_ / "broken.jpg");
    WriteBytes(images_ / "notes.txt", "not listed");
    fs::create_directory(images_ / "sub");
    fs::copy_file(TestImage("camera.png"), images_ / "sub" / "inner.png");

    const Outcome outcome = Run({"batch", images_.string()});
    EXPECT_EQ(outcome.exitCode, 1);
    ExpectLines(outcome.out,
                {Image("a_flt.jpg") + " (#.?? sec)",
                 Image("broken.jpg") + ": not loaded: damaged or truncated image data*",
                 Image("b_flt.PNG") + " (#.?? sec)", "Processed 3 files in #.?? sec"});
    EXPECT_TRUE(test::MatchesPattern(
        outcome.err, "fftquarvel-cli: 3 files: 2 written, 0 skipped, 1 failed in #.?? sec\n"))
        << outcome.err;
    EXPECT_TRUE(IsJpeg(images_ / "a_flt.jpg"));
    EXPECT_EQ(test::FileFormat(images_ / "b_flt.PNG"), "png");
    EXPECT_EQ(Entries(), (std::set<std::string>{"a.jpg", "a_flt.jpg", "b.PNG", "b_flt.PNG",
                                                "broken.jpg", "notes.txt", "sub"}));
    EXPECT_FALSE(fs::exists(images_ / "sub" / "inner_flt.png"));
    // Nothing was stored without --save-settings.
    EXPECT_FALSE(fs::exists(SettingsFile()));
}

TEST_F(BatchCommand, AllWritten_ExitsZeroAndDrawsNoProgressWithoutATerminal) {
    fs::copy_file(TestImage("coins.png"), images_ / "c.png");
    const Outcome outcome = Run({"batch", images_.string() + "/"});
    EXPECT_EQ(outcome.exitCode, 0);
    ExpectLines(outcome.out, {Image("c_flt.png") + " (#.?? sec)", "Processed 1 files in #.?? sec"});
    ExpectLines(outcome.err,
                {"fftquarvel-cli: 1 file: 1 written, 0 skipped, 0 failed in #.?? sec"});
}

TEST_F(BatchCommand, ProgressBar_IsDrawnOnATerminalAndWipedBeforeEachLine) {
    fs::copy_file(TestImage("coins.png"), images_ / "a.png");
    fs::copy_file(TestImage("camera.png"), images_ / "b.png");
    const Outcome outcome = Run({"batch", images_.string()}, ErrorStream::Terminal);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("] 1/2 a.png"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("] 2/2 b.png"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("[============            ]"), std::string::npos) << outcome.err;
    // The bar is wiped before the summary.
    const std::size_t wiped = outcome.err.rfind("\r\033[K");
    ASSERT_NE(wiped, std::string::npos);
    EXPECT_TRUE(test::MatchesPattern(
        outcome.err.substr(wiped + 4),
        "fftquarvel-cli: 2 files: 2 written, 0 skipped, 0 failed in #.?? sec\r\n"))
        << outcome.err;
    ExpectLines(outcome.out, {Image("a_flt.png") + " (#.?? sec)",
                              Image("b_flt.png") + " (#.?? sec)", "Processed 2 files in #.?? sec"});
}

TEST_F(BatchCommand, StoredSettings_AreUsedAndOptionsOverrideThem) {
    fs::copy_file(TestImage("camera.png"), images_ / "p.png");
    // Reference: clearing a rectangle around the zero frequency, given on the command line.
    ASSERT_EQ(
        Run({"batch", images_.string(), "--clear", "250,250,262,262", "--format", "png"}).exitCode,
        0);
    const std::string cleared = ReadBytes(images_ / "p_flt.png");
    fs::remove(images_ / "p_flt.png");
    ASSERT_EQ(Run({"batch", images_.string(), "--format", "png"}).exitCode, 0);
    const std::string lowPassDefault = ReadBytes(images_ / "p_flt.png");
    fs::remove(images_ / "p_flt.png");
    ASSERT_NE(cleared, lowPassDefault);

    // The same clearing, stored by the program, is what a plain run does.
    BatchSettings stored;
    stored.filteringType = PowerSpectrumDeleting;
    stored.rectangles[2] = {250, 250, 262, 262};
    fs::create_directories(SettingsFile().parent_path());
    ASSERT_TRUE(BatchSettingsStore(SettingsFile().string()).SaveBatchSettings(stored));
    ASSERT_EQ(Run({"batch", images_.string(), "--format", "png"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(images_ / "p_flt.png"), cleared);
    fs::remove(images_ / "p_flt.png");

    // --lowpass 20 switches back to the default low-pass for this run only.
    ASSERT_EQ(Run({"batch", images_.string(), "--format", "png", "--lowpass", "20"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(images_ / "p_flt.png"), lowPassDefault);
    EXPECT_EQ(BatchSettingsStore(SettingsFile().string()).LoadBatchSettings(), stored);
}

TEST_F(BatchCommand, SaveSettings_StoresWhatWasUsed) {
    fs::copy_file(TestImage("coins.png"), images_ / "c.png");
    ASSERT_EQ(Run({"batch", images_.string(), "--lowpass", "35", "--degree", "5", "--separable",
                   "columns", "--save-settings"})
                  .exitCode,
              0);
    BatchSettings expected;
    expected.filteringType = LowPassConvolution;
    expected.cutOff = 35;
    expected.degreeIndex = 4;
    expected.dimensionIndex = 1;
    expected.direction = 2;
    EXPECT_EQ(BatchSettingsStore(SettingsFile().string()).LoadBatchSettings(), expected);

    // --radial goes back to the 2-D mask that the stored 1-D design replaced.
    fs::remove(images_ / "c_flt.png");
    ASSERT_EQ(Run({"batch", images_.string(), "--radial", "--save-settings"}).exitCode, 0);
    expected.dimensionIndex = 0;
    expected.direction = 0;
    EXPECT_EQ(BatchSettingsStore(SettingsFile().string()).LoadBatchSettings(), expected);

    fs::remove(images_ / "c_flt.png");
    ASSERT_EQ(Run({"batch", images_.string(), "--clear", "1,2,3,4", "--clear", "-5,6,70000,8",
                   "--save-settings"})
                  .exitCode,
              0);
    expected.filteringType = PowerSpectrumDeleting;
    expected.rectangles = {SpectrumRectangle{1, 2, 3, 4}, SpectrumRectangle{-5, 6, 70000, 8},
                           SpectrumRectangle{}, SpectrumRectangle{}};
    EXPECT_EQ(BatchSettingsStore(SettingsFile().string()).LoadBatchSettings(), expected);
}

TEST_F(BatchCommand, GarbageInTheSettingsFile_GivesTheDefaults) {
    fs::copy_file(TestImage("coins.png"), images_ / "c.png");
    ASSERT_EQ(Run({"batch", images_.string(), "--format", "png"}).exitCode, 0);
    const std::string defaults = ReadBytes(images_ / "c_flt.png");
    fs::remove(images_ / "c_flt.png");
    fs::create_directories(SettingsFile().parent_path());
    WriteBytes(SettingsFile(),
               "[Settings]\nFiltering%20Type=lots\nCut%20Off%20Frequency=99999999999x\n"
               "Filter%20Degree=\n\x01\x02\xFF garbage = = [[\n[Rectangles]\nUX1=1,2\n");
    const Outcome outcome = Run({"batch", images_.string(), "--format", "png"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(ReadBytes(images_ / "c_flt.png"), defaults);
}

TEST_F(BatchCommand, FormatAndQuality_ChooseTheEncoderAndTheResultsExtension) {
    fs::copy_file(TestImage("rocket.jpg"), images_ / "r.jpg");
    const Outcome forced = Run({"batch", images_.string(), "--format", "png"});
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    ExpectLines(forced.out, {Image("r_flt.png") + " (#.?? sec)", "Processed 1 files in #.?? sec"});
    EXPECT_EQ(test::FileFormat(images_ / "r_flt.png"), "png");
    EXPECT_FALSE(fs::exists(images_ / "r_flt.jpg"));
    fs::remove(images_ / "r_flt.png");
    ASSERT_EQ(Run({"batch", images_.string(), "--quality", "10"}).exitCode, 0);
    const auto small = fs::file_size(images_ / "r_flt.jpg");
    fs::remove(images_ / "r_flt.jpg");
    ASSERT_EQ(Run({"batch", images_.string(), "--quality", "95"}).exitCode, 0);
    EXPECT_TRUE(IsJpeg(images_ / "r_flt.jpg"));
    EXPECT_GT(fs::file_size(images_ / "r_flt.jpg"), small * 2);
}

TEST_F(BatchCommand, ForcedFormat_NeverLetsTwoSourcesShareAResult) {
    fs::copy_file(TestImage("rocket.jpg"), images_ / "a.jpg");
    fs::copy_file(TestImage("coins.png"), images_ / "a.png");
    const Outcome outcome = Run({"batch", images_.string(), "--format", "png"});
    EXPECT_EQ(outcome.exitCode, 1);
    ExpectLines(outcome.out, {Image("a_flt.png") + " (#.?? sec)",
                              Image("a_flt.png") + ": not written: it would replace the result "
                                                   "of an earlier file of this run",
                              "Processed 2 files in #.?? sec"});
    std::unique_ptr<ImageBitmap> result;
    ASSERT_TRUE(LoadImageFile(result, images_ / "a_flt.png"));
    EXPECT_EQ(result->Width(), 640u);
}

TEST_F(BatchCommand, FilesFrom_TakesTheListedPathsInOrderFromAFileOrStandardInput) {
    fs::copy_file(TestImage("coins.png"), images_ / "b.png");
    fs::copy_file(TestImage("rocket.jpg"), images_ / "a.jpg");
    fs::copy_file(TestImage("camera.png"), images_ / "not listed.png");
    // Relative paths start from the current folder; blank lines and Windows line ends pass.
    WriteBytes(root_ / "list.txt",
               "images/b.png\n\n  \r\n" + Image("a.jpg") + "\r\nimages/gone.png\n");
    const std::vector<std::string> expected = {
        "images/b_flt.png (#.?? sec)", Image("a_flt.jpg") + " (#.?? sec)",
        "images/gone.png: not loaded: file not found", "Processed 3 files in #.?? sec"};
    for (const std::string list : {"list.txt", "-"}) {
        SCOPED_TRACE(list);
        const Outcome outcome =
            Run({"batch", "--files-from", list}, ErrorStream::File, root_ / "list.txt");
        EXPECT_EQ(outcome.exitCode, 1);
        ExpectLines(outcome.out, expected);
        EXPECT_EQ(Entries(), (std::set<std::string>{"a.jpg", "a_flt.jpg", "b.png", "b_flt.png",
                                                    "not listed.png"}));
        fs::remove(images_ / "a_flt.jpg");
        fs::remove(images_ / "b_flt.png");
    }
    const Outcome missing = Run({"batch", "--files-from", "nothing.txt"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              "fftquarvel-cli: nothing.txt: cannot read the list: No such file or directory\n");
}

TEST_F(BatchCommand, SkipExisting_GoesOnWhereAnInterruptedRunStopped) {
    fs::copy_file(TestImage("rocket.jpg"), images_ / "a.jpg");
    fs::copy_file(TestImage("coins.png"), images_ / "b.png");
    fs::copy_file(TestImage("camera.png"), images_ / "c.png");
    // What an interrupted run left: a's result, which the listing finds beside the sources.
    WriteBytes(images_ / "a_flt.jpg", "finished before");
    const Outcome outcome = Run({"batch", images_.string(), "--skip-existing", "-j2"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    ExpectLines(outcome.out, {Image("a.jpg") + ": skipped: " + Image("a_flt.jpg") + " exists",
                              Image("a_flt.jpg") + ": skipped: the result of " + Image("a.jpg"),
                              Image("b_flt.png") + " (#.?? sec)",
                              Image("c_flt.png") + " (#.?? sec)", "Processed 4 files in #.?? sec"});
    ExpectLines(outcome.err,
                {"fftquarvel-cli: 4 files: 2 written, 2 skipped, 0 failed in #.?? sec"});
    EXPECT_EQ(ReadBytes(images_ / "a_flt.jpg"), "finished before");
    EXPECT_EQ(test::FileFormat(images_ / "c_flt.png"), "png");
}

TEST_F(BatchCommand, MissingFolder_ExitsOne) {
    const Outcome outcome = Run({"batch", "nowhere"});
    EXPECT_EQ(outcome.exitCode, 1);
    ExpectLines(outcome.out, {"cannot read the folder nowhere/: folder not found",
                              "Processed 0 files in #.?? sec"});
    EXPECT_EQ(outcome.err, "fftquarvel-cli: nowhere: cannot read the folder\n");
}

TEST_F(BatchCommand, Interrupt_StopsBetweenFilesLeavingNoPartialFile) {
    for (std::size_t i = 0; i < 16; ++i) {
        fs::copy_file(TestImage("astronaut.png"), images_ / Numbered(i, ".png"));
    }
    const int errorFd = ::open((root_ / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int outRead = -1;
    const pid_t child = Start({"batch", images_.string()}, errorFd, outRead);
    ::close(errorFd);
    // Interrupted as soon as the first file is reported.
    std::string out;
    char c = 0;
    while (::read(outRead, &c, 1) == 1) {
        out += c;
        if (c == '\n') {
            break;
        }
    }
    ASSERT_EQ(::kill(child, SIGINT), 0);
    out += ReadAll(outRead);
    ::close(outRead);
    EXPECT_EQ(Wait(child), 1);

    const std::vector<std::string> lines = test::SplitLines(out, "\n");
    ASSERT_GE(lines.size(), 3u) << out;
    const std::size_t written = lines.size() - 2;
    EXPECT_LT(written, 16u);
    EXPECT_EQ(lines[lines.size() - 2], "Stopped after " + std::to_string(written) + " of 16 files");
    EXPECT_TRUE(test::MatchesPattern(lines.back(),
                                     "Processed " + std::to_string(written) + " files in #.?? sec"))
        << lines.back();
    ExpectLines(ReadBytes(root_ / ".stderr"),
                {"fftquarvel-cli: stopped on request",
                 "fftquarvel-cli: 16 files: " + std::to_string(written) +
                     " written, 0 skipped, 0 failed in #.?? sec"});
    // Every output is complete; nothing else was left in the folder.
    EXPECT_EQ(Entries().size(), 16 + written);
    for (std::size_t i = 0; i < written; ++i) {
        EXPECT_EQ(test::FileFormat(lines[i].substr(0, lines[i].rfind(" ("))), "png") << lines[i];
    }
}

struct BatchUsageCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;
};

class BatchUsage : public BatchCommand, public testing::WithParamInterface<BatchUsageCase> {};

TEST_P(BatchUsage, ExitsWithTwoAndSaysWhy) {
    fs::copy_file(TestImage("coins.png"), images_ / "c.png");
    std::vector<std::string> arguments{"batch"};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')),
              std::string("fftquarvel-cli: ") + GetParam().message);
    EXPECT_EQ(Entries(), std::set<std::string>{"c.png"});
    EXPECT_FALSE(fs::exists(SettingsFile()));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, BatchUsage,
    testing::Values(
        BatchUsageCase{"NoFolder", {}, "batch takes one FOLDER or --files-from LIST"},
        BatchUsageCase{
            "TwoFolders", {"images", "images"}, "batch takes one FOLDER or --files-from LIST"},
        BatchUsageCase{"FolderAndList",
                       {"images", "--files-from", "list"},
                       "batch takes one FOLDER or --files-from LIST"},
        BatchUsageCase{"NoJobs", {"images", "-j", "0"}, "option --jobs: 0 out of range 1 to 1024"},
        BatchUsageCase{"CutOffZero",
                       {"images", "--lowpass", "0"},
                       "option --lowpass: 0 out of range 1 to 100"},
        BatchUsageCase{
            "DegreeSeven", {"images", "--degree", "7"}, "option --degree: 7 out of range 1 to 6"},
        BatchUsageCase{"BadAxes",
                       {"images", "--separable", "diagonal", "--save-settings"},
                       "option --separable: 'diagonal' is not rows, columns or both"},
        BatchUsageCase{"RadialAndSeparable",
                       {"images", "--radial", "--separable", "rows"},
                       "options --radial and --separable cannot be combined"},
        BatchUsageCase{"ThreeCorners",
                       {"images", "--clear", "1,2,3"},
                       "option --clear: '1,2,3' is not X1,Y1,X2,Y2 (four whole numbers, spectrum "
                       "coordinates)"},
        BatchUsageCase{"CornerBeyond32Bits",
                       {"images", "--clear", "1,2,3,4294967296"},
                       "option --clear: '1,2,3,4294967296' is not X1,Y1,X2,Y2 (four whole "
                       "numbers, spectrum coordinates)"},
        BatchUsageCase{"FiveRectangles",
                       {"images", "--clear", "0,0,1,1", "--clear", "0,0,1,1", "--clear", "0,0,1,1",
                        "--clear", "0,0,1,1", "--clear", "0,0,1,1"},
                       "option --clear: at most 4 rectangles"},
        BatchUsageCase{"LowPassAndClear",
                       {"images", "--lowpass", "5", "--clear", "0,0,1,1"},
                       "options --lowpass and --clear cannot be combined"},
        BatchUsageCase{"Gif",
                       {"images", "--format", "gif"},
                       "option --format: 'gif' is not jpeg, png, tiff, bmp or webp"},
        BatchUsageCase{"QualityForPng",
                       {"images", "--format", "png", "--quality", "80"},
                       "option --quality: only for JPEG and WebP, not --format png"}),
    [](const testing::TestParamInfo<BatchUsageCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
}  // namespace quarvel
