#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CliRunner.h"
#include "imageio/HostileCorpus.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using test::Outcome;
using test::ReadBytes;
using test::RunOptions;
using test::WriteBytes;

const std::string kOldResult = "the result of an earlier run, which must survive";

/// Runs the program under a file size limit of about one kilobyte, as on a file system that
/// is full, with the signal that limit raises ignored.
const std::vector<std::string> kFullFileSystem = {"/bin/sh", "-c",
                                                  "ulimit -f 2; trap '' XFSZ; exec \"$0\" \"$@\""};

/// The program and the tests write into folders; after a failed write each must hold what it
/// held before, and no temporary file.
class WriteFailure : public test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        images_ = folder_ / "images";
        fs::create_directories(images_);
        fs::create_directories(folder_ / "config");
        // A photograph-like image whose JPEG or PNG takes far more than a kilobyte.
        WriteBytes(images_ / "a.png", test::Encode(test::Photo(256, 192), "png"));
        WriteBytes(images_ / "a_flt.png", kOldResult);
        WriteBytes(images_ / "a_power_red.png", kOldResult);
        // The batch takes every image of its folder, earlier results included: its folder
        // holds images only.
        batch_ = folder_ / "batch";
        fs::create_directories(batch_);
        fs::copy_file(test::TestImage("coffee.png"), batch_ / "a.png");
        fs::copy_file(test::TestImage("camera.png"), batch_ / "b.png");
    }

    Outcome RunWith(const std::vector<std::string>& arguments, std::vector<std::string> launcher) {
        return test::RunProgram(arguments,
                                RunOptions{folder_,
                                           {"XDG_CONFIG_HOME=" + (folder_ / "config").string()},
                                           false,
                                           std::move(launcher)});
    }

    /// A launcher that runs the program as a user who cannot write into images_ and batch_: as
    /// root, an unprivileged user (the folder belongs to root); otherwise the folder is made
    /// read-only.
    std::vector<std::string> WithoutWriteAccess() {
        if (::geteuid() == 0) {
            fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
            for (const fs::path& folder : {images_, batch_}) {
                fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read |
                                            fs::perms::group_exec | fs::perms::others_read |
                                            fs::perms::others_exec);
            }
            return {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
        fs::permissions(images_, fs::perms::owner_read | fs::perms::owner_exec);
        fs::permissions(batch_, fs::perms::owner_read | fs::perms::owner_exec);
        return {};
    }

    /// Expects the folder to hold exactly its image and the two old results, unchanged.
    void ExpectFolderAsBefore(const std::map<std::string, std::string>& before) {
        EXPECT_EQ(test::FolderContents(images_), before);
        EXPECT_EQ(ReadBytes(images_ / "a_flt.png"), kOldResult);
    }

    fs::path images_;
    fs::path batch_;
};

TEST_F(WriteFailure, FullFileSystem_FilterKeepsTheOldFileAndNamesTheFailure) {
    const auto before = test::FolderContents(images_);
    const Outcome outcome =
        RunWith({"filter", "--lowpass", "30", "--format", "png", "images/a.png"}, kFullFileSystem);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err.rfind("fftquarvel-cli: images/a.png: cannot write images/a_flt.png: ", 0),
              0u)
        << outcome.err;
    EXPECT_NE(outcome.err.find("is more than the file size limit of"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.out, "");
    ExpectFolderAsBefore(before);
}

TEST_F(WriteFailure, FullFileSystem_SpectrumStopsAtTheFirstFileItCannotWrite) {
    const auto before = test::FolderContents(images_);
    const Outcome outcome = RunWith({"spectrum", "images/a.png"}, kFullFileSystem);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(
        outcome.err.rfind("fftquarvel-cli: images/a.png: cannot write images/a_power_red.png: ", 0),
        0u)
        << outcome.err;
    ExpectFolderAsBefore(before);
    EXPECT_EQ(ReadBytes(images_ / "a_power_red.png"), kOldResult);
}

TEST_F(WriteFailure, FullFileSystem_BatchReportsEveryFileAndWritesNothing) {
    const auto before = test::FolderContents(batch_);
    const Outcome outcome = RunWith({"batch", "batch"}, kFullFileSystem);
    EXPECT_EQ(outcome.exitCode, 1);
    for (const char* output : {"a_flt.png", "b_flt.png"}) {
        const std::string path = std::string("batch/") + output;
        EXPECT_NE(outcome.out.find(path + ": not written: cannot write " + path + ": "),
                  std::string::npos)
            << outcome.out << outcome.err;
    }
    EXPECT_TRUE(test::MatchesPattern(
        outcome.err, "fftquarvel-cli: 2 files: 0 written, 0 skipped, 2 failed in #.?? sec\n"))
        << outcome.err;
    EXPECT_EQ(test::FolderContents(batch_), before);
}

TEST_F(WriteFailure, ReadOnlyFolder_FilterAndBatchWriteNothingAndSayWhy) {
    const std::vector<std::string> launcher = WithoutWriteAccess();
    const auto before = test::FolderContents(images_);

    const Outcome filter = RunWith({"filter", "--lowpass", "30", "images/a.png"}, launcher);
    EXPECT_EQ(filter.exitCode, 1);
    EXPECT_EQ(filter.err,
              "fftquarvel-cli: images/a.png: cannot write to images/: permission "
              "denied\n");
    ExpectFolderAsBefore(before);

    const auto batchBefore = test::FolderContents(batch_);
    const Outcome batch = RunWith({"batch", "batch"}, launcher);
    EXPECT_EQ(batch.exitCode, 1);
    EXPECT_NE(batch.out.find("batch/b_flt.png: not written: cannot write to batch/: permission "
                             "denied"),
              std::string::npos)
        << batch.out << batch.err;
    EXPECT_EQ(test::FolderContents(batch_), batchBefore);
}

/// The sizes of output at which a full disk is met: under a kilobyte (the whole file fits a
/// write buffer and fails only when it is flushed), tens of kilobytes, and over a megabyte.
struct OutputSize {
    const char* name;
    int side;
};

class FullDisk : public test::TempFolderTest, public testing::WithParamInterface<OutputSize> {};

TEST_P(FullDisk, EveryWriterReportsTheFailureAndKeepsTheOldFiles) {
    test::SmallFileSystem disk("16m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    const int side = GetParam().side;
    const fs::path images = disk / "images";
    const fs::path batch = disk / "batch";
    fs::create_directories(images);
    fs::create_directories(batch);
    const std::string image =
        test::Encode(test::Photo(side, side, QImage::Format_Grayscale8), "png");
    WriteBytes(images / "small.png", image);
    WriteBytes(batch / "small.png", image);
    for (const char* old : {"keep.jpg", "keep.png", "keep.bmp", "small_power.png"}) {
        WriteBytes(images / old, kOldResult);
    }
    disk.Fill();
    const auto before = test::FolderContents(disk.Path());
    const std::string source = (images / "small.png").string();

    for (const char* output : {"keep.jpg", "keep.png", "keep.bmp"}) {
        const std::string target = (images / output).string();
        const Outcome filter = Run({"filter", source, "--lowpass", "30", "-o", target});
        EXPECT_EQ(filter.exitCode, 1) << output;
        EXPECT_EQ(filter.out, "") << output;
        EXPECT_EQ(
            filter.err.rfind(
                "fftquarvel-cli: " + source + ": cannot write " + target + ": disk full (", 0),
            0u)
            << filter.err;
    }
    const Outcome spectrum = Run({"spectrum", source});
    EXPECT_EQ(spectrum.exitCode, 1);
    EXPECT_NE(spectrum.err.find("small_power.png: disk full ("), std::string::npos) << spectrum.err;

    const Outcome batchRun = Run({"batch", batch.string()});
    const std::string result = (batch / "small_flt.png").string();
    EXPECT_EQ(batchRun.exitCode, 1);
    EXPECT_NE(batchRun.out.find(result + ": not written: cannot write " + result + ": disk full ("),
              std::string::npos)
        << batchRun.out;
    EXPECT_EQ(test::FolderContents(disk.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(Size, FullDisk,
                         testing::Values(OutputSize{"UnderAKilobyte", 8},
                                         OutputSize{"TensOfKilobytes", 512},
                                         OutputSize{"OverAMegabyte", 1100}),
                         [](const testing::TestParamInfo<OutputSize>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace quarvel
