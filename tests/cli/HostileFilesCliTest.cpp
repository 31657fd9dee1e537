#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CliRunner.h"
#include "imageio/HostileCorpus.h"
#include "imageio/ImageFile.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using test::CorpusFile;
using test::Expect;
using test::Outcome;

/// The corpus rows the program is run on: one or two of every class.
const std::set<std::string> kRows = {
    "JpegCutInHalf",    "PngCutInHalf",  "GifCutInItsFirstFrame",
    "BmpCutInHalf",     "TiffCutInHalf", "PngClaiming100000Square",
    "JpegOf150Scans",   "Png65536x1",    "Png65537x1",
    "ZeroBytes",        "TextNamedJpeg", "FolderNamedPng",
    "FifoNamedJpeg",    "CmykJpeg",      "AnimatedGif",
    "TiffPagesInALoop", "NonAsciiName",  "LeadingDash",
    "LongPath",
};

std::vector<CorpusFile> Rows() {
    std::vector<CorpusFile> rows;
    for (const CorpusFile& file : test::HostileCorpus()) {
        if (kRows.count(file.label) != 0) {
            rows.push_back(file);
        }
    }
    return rows;
}

/// The files below folder that are not inside skip.
std::map<std::string, std::string> Contents(const fs::path& folder, const fs::path& skip) {
    std::map<std::string, std::string> contents = test::FolderContents(folder);
    for (auto entry = contents.begin(); entry != contents.end();) {
        entry = entry->first.rfind(skip.string(), 0) == 0 ? contents.erase(entry) : ++entry;
    }
    return contents;
}

class HostileFileCli : public test::TempFolderTest, public testing::WithParamInterface<CorpusFile> {
protected:
    /// Runs the program with a 10 s limit: a hang ends as exit status 124.
    Outcome RunLimited(const std::vector<std::string>& arguments) {
        return Run(arguments, {"/usr/bin/timeout", "10"});
    }

    /// Checks how one run ended against the row's expectation; produced says how many output
    /// files it wrote.
    void ExpectOutcome(const CorpusFile& file, const Outcome& outcome, std::size_t produced) {
        ASSERT_TRUE(outcome.exitCode == 0 || outcome.exitCode == 1)
            << "exit " << outcome.exitCode << "\n"
            << outcome.err;
        const bool loaded = outcome.exitCode == 0;
        // Nothing is written for a file that is refused; something for one that loads.
        EXPECT_EQ(produced != 0, loaded) << outcome.out << outcome.err;
        const bool warned = outcome.err.find(": warning: ") != std::string::npos;
        switch (file.expect) {
            case Expect::Loads:
                EXPECT_TRUE(loaded) << outcome.err;
                EXPECT_FALSE(warned) << outcome.err;
                break;
            case Expect::LoadsDamaged:
                EXPECT_TRUE(loaded) << outcome.err;
                EXPECT_TRUE(warned) << outcome.err;
                break;
            case Expect::Refused:
                EXPECT_FALSE(loaded);
                // A codec library may have printed its own complaint before.
                EXPECT_NE(outcome.err.find("fftquarvel-cli: " + file.name + ": " + file.reason),
                          std::string::npos)
                    << outcome.err;
                break;
            case Expect::Damaged:
                EXPECT_TRUE(!loaded || warned) << outcome.err;
                break;
            case Expect::Either:
                break;
        }
    }
};

TEST_P(HostileFileCli, SpectrumAndFilter_EndAsTheLoaderSaysAndChangeNoSource) {
    const CorpusFile& file = GetParam();
    test::MakeCorpusEntry(folder_, file);
    const fs::path out = folder_ / "out";
    fs::create_directory(out);
    const auto before = Contents(folder_, out);

    // "--" ends the options, so that a name starting with a dash is an image.
    const Outcome spectrum = RunLimited({"spectrum", "--output", "out", "--", file.name});
    const std::size_t spectra = test::FolderContents(out).size();
    ExpectOutcome(file, spectrum, spectra);
    EXPECT_EQ(Contents(folder_, out), before);

    // PNG, as JPEG holds at most 65500 pixels on a side.
    const Outcome filter = RunLimited(
        {"filter", "--lowpass", "30", "--format", "png", "--directory", "out", "--", file.name});
    ExpectOutcome(file, filter, test::FolderContents(out).size() - spectra);
    EXPECT_EQ(spectrum.exitCode, filter.exitCode);
    EXPECT_EQ(Contents(folder_, out), before);
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileFileCli, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<CorpusFile>& param) {
                             return param.param.label;
                         });

using HostileFolder = test::TempFolderTest;

TEST_F(HostileFolder, Batch_GoesThroughEveryEntryAndWritesOnlyWhatLoaded) {
    // Every corpus entry the batch lists (by its extension, in the folder itself), side by side.
    const fs::path images = folder_ / "images";
    fs::create_directories(images);
    fs::create_directories(folder_ / "config");
    std::vector<CorpusFile> listed;
    for (const CorpusFile& file : test::HostileCorpus()) {
        const std::string extension = fs::path(file.name).extension().string();
        if (file.name.find('/') == std::string::npos && file.entry != test::Entry::Absent &&
            std::set<std::string>{".jpg", ".png", ".bmp", ".tif"}.count(extension) != 0) {
            test::MakeCorpusEntry(images, file);
            listed.push_back(file);
        }
    }
    const auto before = test::FolderContents(images);

    const Outcome outcome =
        test::RunProgram({"batch", "--lowpass", "30", "images"},
                         test::RunOptions{folder_,
                                          {"XDG_CONFIG_HOME=" + (folder_ / "config").string()},
                                          false,
                                          {"/usr/bin/timeout", "20"}});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;

    // The sources are as they were; each written result is whole, and only loaded files have one.
    auto after = test::FolderContents(images);
    for (const CorpusFile& file : listed) {
        SCOPED_TRACE(file.label);
        const fs::path source = images / file.name;
        const fs::path result =
            images / (source.stem().string() + "_flt" + source.extension().string());
        const bool written = after.erase(result.string()) != 0;
        const bool refused =
            outcome.out.find("images/" + file.name + ": not loaded: ") != std::string::npos;
        if (file.entry == test::Entry::Folder) {
            // A folder is not listed at all, whatever its name.
            EXPECT_FALSE(written || refused) << outcome.out;
            continue;
        }
        EXPECT_NE(written, refused) << outcome.out;
        if (file.expect == Expect::Refused) {
            EXPECT_NE(outcome.out.find("images/" + file.name + ": not loaded: " + file.reason),
                      std::string::npos)
                << outcome.out;
        } else if (file.expect == Expect::Loads || file.expect == Expect::LoadsDamaged) {
            EXPECT_TRUE(written) << outcome.out;
        }
        if (written) {
            std::unique_ptr<ImageBitmap> whole;
            const IoResult loaded = LoadImageFile(whole, result);
            EXPECT_TRUE(loaded && loaded.warning.empty()) << loaded.message << loaded.warning;
        }
    }
    EXPECT_EQ(after, before);
}

using MaxMemory = test::TempFolderTest;

TEST_F(MaxMemory, RefusesWhatDoesNotFitAndMustBeASize) {
    test::WriteBytes(folder_ / "photo.png", test::Encode(test::Photo(300, 200), "png"));
    // Each command is held to what it needs itself; filtering needs more than the spectra.
    const std::uint64_t spectrum = EstimatedImageMemory(ImageWork::Spectrum, 300, 200, false);
    const std::uint64_t filter = EstimatedImageMemory(ImageWork::Filter, 300, 200, false);
    ASSERT_GT(filter, spectrum);
    const Outcome refused =
        Run({"spectrum", "--max-memory", std::to_string(spectrum - 1), "photo.png"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "fftquarvel-cli: photo.png: too large: 300 x 200 pixels needs " +
                               MemorySizeText(spectrum) + ", limit " +
                               MemorySizeText(spectrum - 1) + "\n");
    EXPECT_EQ(Run({"filter", "--lowpass", "20", "--max-memory=" + std::to_string(filter - 1),
                   "photo.png"})
                  .exitCode,
              1);
    EXPECT_FALSE(fs::exists(folder_ / "photo_flt.png"));

    const Outcome loaded = Run({"spectrum", "--max-memory", std::to_string(spectrum), "photo.png"});
    EXPECT_EQ(loaded.exitCode, 0) << loaded.err;

    for (const char* size : {"5", "lots", "1.5G", "-1M", "999999999999T"}) {
        const Outcome wrong = Run({"spectrum", "--max-memory", size, "photo.png"});
        EXPECT_EQ(wrong.exitCode, 2) << size;
        EXPECT_EQ(wrong.err.rfind(std::string("fftquarvel-cli: option --max-memory: '") + size +
                                      "' is not a size of at least 1M",
                                  0),
                  0u)
            << wrong.err;
    }
}

}  // namespace
}  // namespace quarvel
