#include "batch/CBatchProcessor.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ImageBitmap.h"
#include "engine/PlaneConversion.h"
#include "history/ProcTestSupport.h"
#include "imageio/ImageFile.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::IsJpeg;
using test::LogLines;
using test::ReadBytes;
using test::TempFolder;
using test::TestImage;
using test::WriteBytes;

/// The pattern of the log line of a written result.
std::string WrittenLine(const std::string& output) {
    return output + " (#.?? sec)";
}

std::string FinalLine(std::size_t files) {
    return "Processed " + std::to_string(files) + " files in #.?? sec";
}

/// Checks each line of log against the pattern at the same place.
void ExpectLogMatches(const std::string& log, const std::vector<std::string>& patterns) {
    SCOPED_TRACE(log);
    test::ExpectLinesMatch(LogLines(log), patterns);
}

void CopyImage(const std::string& name, const std::filesystem::path& to) {
    std::filesystem::copy_file(TestImage(name), to);
}

/// The names in a folder (not recursive).
std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

BatchSettingsSource Fixed(const BatchSettings& settings) {
    return [settings] { return settings; };
}

BatchSettings LowPass(std::int32_t cutOff, std::int32_t dimension = 0, std::int32_t direction = 0) {
    BatchSettings settings;
    settings.filteringType = LowPassConvolution;
    settings.cutOff = cutOff;
    settings.dimensionIndex = dimension;
    settings.direction = direction;
    return settings;
}

BatchSettings Deleting(const RectangleList& rectangles) {
    BatchSettings settings;
    settings.filteringType = PowerSpectrumDeleting;
    settings.rectangles = rectangles;
    return settings;
}

/// The pixels of an image file as planes of red, green and blue levels.
struct Planes {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::array<std::vector<int>, 3> channel;  ///< red, green, blue; y * width + x

    double Mean(std::size_t c) const {
        double sum = 0.0;
        for (int level : channel[c]) {
            sum += level;
        }
        return sum / static_cast<double>(channel[c].size());
    }
    /// The summed absolute differences of neighbours along x (horizontal) or along y.
    double Variation(std::size_t c, bool horizontal) const {
        double sum = 0.0;
        const std::uint32_t dx = horizontal ? 1 : 0;
        const std::uint32_t dy = horizontal ? 0 : 1;
        for (std::uint32_t y = 0; y + dy < height; ++y) {
            for (std::uint32_t x = 0; x + dx < width; ++x) {
                sum += std::abs(channel[c][y * width + x] - channel[c][(y + dy) * width + x + dx]);
            }
        }
        return sum;
    }
};

Planes ReadPlanes(const std::filesystem::path& path) {
    std::unique_ptr<ImageBitmap> image;
    const IoResult loaded = LoadImageFile(image, path);
    EXPECT_TRUE(loaded) << path << ": " << loaded.message;
    Planes planes;
    if (!image) {
        return planes;
    }
    planes.width = image->Width();
    planes.height = image->Height();
    const RowAccess rows(static_cast<const ImageBitmap&>(*image), PixelFormat32bppRGB);
    for (std::uint32_t y = 0; y < planes.height; ++y) {
        const std::uint8_t* pixel = rows.Row(y);
        for (std::uint32_t x = 0; x < planes.width; ++x, pixel += 4) {
            planes.channel[0].push_back(pixel[2]);
            planes.channel[1].push_back(pixel[1]);
            planes.channel[2].push_back(pixel[0]);
        }
    }
    return planes;
}

/// A folder of real images in several formats and letter cases, with a broken file, a damaged
/// one, a file that is not an image, a text file and a subfolder among them.
class MixedFolder : public testing::Test {
protected:
    void SetUp() override {
        CopyImage("rocket.jpg", folder / "a.jpg");
        CopyImage("rocket.jpg", folder / "Z.JPG");
        CopyImage("truncated.jpg", folder / "broken.jpg");
        const std::string rocket = ReadBytes(TestImage("rocket.jpg"));
        WriteBytes(folder / "cut.jpg", rocket.substr(0, rocket.size() / 2));
        CopyImage("chessboard_GRAY_U16.tif", folder / "e.TIF");
        CopyImage("chessboard_GRAY_U16.tif", folder / "d.tiff");
        CopyImage("camera.png", folder / "b.png");
        CopyImage("coins.png", folder / "coins.Png");
        WriteBytes(folder / "notimage.png", "this is not an image\n");
        std::unique_ptr<ImageBitmap> palette;
        ASSERT_TRUE(LoadImageFile(palette, TestImage("palette_color.png")));
        ASSERT_TRUE(SaveImageFile(*palette, folder / "c.bmp", SaveOptions{"image/bmp", -1}));
        WriteBytes(folder / "readme.txt", "notes");
        std::filesystem::create_directory(folder / "sub.jpg");
        CopyImage("rocket.jpg", folder / "sub.jpg" / "inner.jpg");
    }

    std::string F(const std::string& name) const { return folder.Text() + name; }

    TempFolder folder;
};

TEST_F(MixedFolder, FirstRun_ListsInPatternOrderAndWritesJpegBesideEachSource) {
    const std::set<std::string> before = Entries(folder.Path());
    const std::string sourceBytes = ReadBytes(folder / "a.jpg");
    CBatchProcessor batch;
    std::vector<std::string> streamed;
    const BatchSummary summary =
        batch.RunBatch(folder.Path().string(), Fixed(BatchSettings{}), {},
                       [&streamed](const std::string& line) { streamed.push_back(line); });

    EXPECT_EQ(batch.FileList(),
              (std::vector<std::string>{F("Z.JPG"), F("a.jpg"), F("broken.jpg"), F("cut.jpg"),
                                        F("e.TIF"), F("d.tiff"), F("b.png"), F("coins.Png"),
                                        F("notimage.png"), F("c.bmp")}));
    ExpectLogMatches(
        batch.Log(),
        {WrittenLine(F("Z_flt.JPG")), WrittenLine(F("a_flt.jpg")),
         F("broken.jpg") + ": not loaded: damaged or truncated image data*",
         F("cut.jpg") + ": damaged, processed as far as it could be read: *",
         WrittenLine(F("cut_flt.jpg")), WrittenLine(F("e_flt.TIF")), WrittenLine(F("d.tiff_n2")),
         F("d.tiff_n2") + ": JPEG holds 8 bits a sample: the image of 16-bit samples was written "
                          "at 8 bits",
         WrittenLine(F("b_flt.png")), WrittenLine(F("coins_flt.Png")),
         F("notimage.png") + ": not loaded: not an image file or unsupported format",
         WrittenLine(F("c_flt.bmp")), FinalLine(10)});
    EXPECT_EQ(streamed, LogLines(batch.Log()));

    EXPECT_EQ(summary.listed, 10u);
    EXPECT_EQ(summary.written, 8u);
    EXPECT_EQ(summary.failed, 2u);
    EXPECT_FALSE(summary.Succeeded());

    std::set<std::string> expected = before;
    const std::pair<const char*, const char*> outputs[] = {
        {"Z_flt.JPG", "jpeg"},    {"a_flt.jpg", "jpeg"}, {"cut_flt.jpg", "jpeg"},
        {"e_flt.TIF", "tiff"},    {"d.tiff_n2", "jpeg"}, {"b_flt.png", "png"},
        {"coins_flt.Png", "png"}, {"c_flt.bmp", "bmp"}};
    for (const auto& [output, format] : outputs) {
        expected.insert(output);
        EXPECT_EQ(test::FileFormat(folder / output), format) << output;
    }
    // Nothing else appears: no temporary files, nothing for the failures, nothing in sub.jpg.
    EXPECT_EQ(Entries(folder.Path()), expected);
    EXPECT_EQ(Entries(folder / "sub.jpg"), std::set<std::string>{"inner.jpg"});
    EXPECT_EQ(ReadBytes(folder / "a.jpg"), sourceBytes);
    // The processing object keeps nothing between files.
    EXPECT_EQ(batch.originalImage, nullptr);
    EXPECT_TRUE(batch.states.empty());
}

/// line with each "N.NN sec" of it shortened to "sec".
std::string WithoutTimes(std::string line) {
    for (std::size_t at = line.find(" sec"); at != std::string::npos;
         at = line.find(" sec", at + 1)) {
        std::size_t start = at;
        while (start > 0 && (std::isdigit(static_cast<unsigned char>(line[start - 1])) != 0 ||
                             line[start - 1] == '.')) {
            --start;
        }
        if (start < at) {
            line.erase(start, at + 1 - start);
            at = start;
        }
    }
    return line;
}

TEST_F(MixedFolder, SeveralJobs_WriteTheSameBytesAndLogInListOrder) {
    const std::set<std::string> sources = Entries(folder.Path());
    // The log with its times taken out, and the results, which are removed for the next run.
    const auto run = [&](std::size_t jobs) {
        CBatchProcessor batch;
        BatchRunOptions options;
        options.jobs = jobs;
        batch.SetRunOptions(options);
        batch.RunBatch(folder.Text(), Fixed(LowPass(30)));
        std::vector<std::string> lines = LogLines(batch.Log());
        for (std::string& line : lines) {
            line = WithoutTimes(line);
        }
        std::map<std::string, std::string> results;
        for (const std::string& name : Entries(folder.Path())) {
            if (sources.count(name) == 0) {
                results[name] = ReadBytes(folder / name);
                std::filesystem::remove(folder / name);
            }
        }
        return std::make_pair(lines, results);
    };
    const auto one = run(1);
    ASSERT_EQ(one.second.size(), 8u);
    EXPECT_EQ(run(3), one);
    // With memory for the largest file alone, the files go one at a time, still all of them.
    std::uint64_t largest = 0;
    for (const std::string& name : sources) {
        largest = std::max(largest, EstimatedFileMemory(folder / name, {0, ImageWork::Batch}));
    }
    const std::uint64_t before = SetMemoryBudget(largest);
    EXPECT_EQ(run(4), one);
    SetMemoryBudget(before);
}

TEST_F(MixedFolder, SecondRun_RefreshesTheFirstOutputsAndFiltersThemAgain) {
    CBatchProcessor batch;
    ASSERT_EQ(batch.RunBatch(folder.Text(), Fixed(BatchSettings{})).written, 8u);
    const std::string firstOutput = ReadBytes(folder / "a_flt.jpg");
    const std::string source = ReadBytes(folder / "a.jpg");

    const BatchSummary second = batch.RunBatch(folder.Text(), Fixed(BatchSettings{}));
    const std::vector<std::string> lines = LogLines(batch.Log());
    const auto has = [&lines](const std::string& pattern) {
        return std::any_of(lines.begin(), lines.end(), [&pattern](const std::string& line) {
            return test::MatchesPattern(line, pattern);
        });
    };
    // a.jpg refreshes a_flt.jpg, which is then filtered again as a source of its own.
    for (const char* output :
         {"a_flt.jpg", "a_flt_flt.jpg", "Z_flt_flt.JPG", "b_flt_flt.png", "d.tiff_n2"}) {
        EXPECT_TRUE(has(WrittenLine(F(output)))) << output;
    }
    EXPECT_TRUE(has(FinalLine(17)));
    EXPECT_EQ(ReadBytes(folder / "a_flt.jpg"), firstOutput);
    EXPECT_EQ(ReadBytes(folder / "a.jpg"), source);
    EXPECT_TRUE(IsJpeg(folder / "a_flt_flt.jpg"));
    // Listed: the ten sources and seven outputs (not d.tiff_n2, whose name matches no pattern).
    // Not loaded: broken and notimage; everything else written.
    EXPECT_EQ(second.listed, 17u);
    EXPECT_EQ(second.failed, 2u);
    EXPECT_EQ(second.written, 15u);
}

TEST(BatchRun, ResultThatIsALinkToAnotherSource_IsRefusedOnTheNextRun) {
    TempFolder folder;
    CopyImage("coins.png", folder / "a.png");
    CopyImage("coins.png", folder / "b.png");
    std::filesystem::create_symlink(folder / "b.png", folder / "a_flt.png");
    const std::string other = ReadBytes(folder / "b.png");
    CBatchProcessor batch;
    batch.RunBatch(folder.Text(), Fixed(BatchSettings{}));
    EXPECT_TRUE(test::MatchesPattern(
        LogLines(batch.Log()).front(),
        folder.Text() + "a_flt.png: not written: it would replace a source file of this run"));
    EXPECT_EQ(ReadBytes(folder / "b.png"), other);
}

TEST_F(MixedFolder, ProgressReportsEachFileAndCanStopBetweenFiles) {
    CBatchProcessor batch;
    std::vector<BatchProgress> seen;
    const BatchSummary summary = batch.RunBatch(
        folder.Text(), Fixed(BatchSettings{}), [&seen](const BatchProgress& progress) {
            seen.push_back(progress);
            return progress.index == 2 ? BatchControl::Stop : BatchControl::Continue;
        });
    ASSERT_EQ(seen.size(), 3u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].index, i);
        EXPECT_EQ(seen[i].count, 10u);
        EXPECT_EQ(seen[i].path, batch.FileList()[i]);
    }
    EXPECT_TRUE(summary.stopped);
    EXPECT_FALSE(summary.Succeeded());
    EXPECT_EQ(summary.written, 2u);
    ExpectLogMatches(batch.Log(), {WrittenLine(F("Z_flt.JPG")), WrittenLine(F("a_flt.jpg")),
                                   "Stopped after 2 of 10 files", FinalLine(2)});
    EXPECT_FALSE(std::filesystem::exists(folder / "cut_flt.jpg"));
}

TEST(BatchRun, FolderThatCannotBeRead_LogsWhyAndProcessesNothing) {
    TempFolder folder;
    CBatchProcessor batch;
    const BatchSummary summary = batch.RunBatch(folder.Text() + "missing", Fixed(BatchSettings{}));
    ExpectLogMatches(
        batch.Log(),
        {"cannot read the folder " + folder.Text() + "missing/: folder not found", FinalLine(0)});
    EXPECT_TRUE(summary.folderFailed);
    EXPECT_FALSE(summary.Succeeded());
}

TEST(BatchRun, EmptyFolder_Succeeds) {
    TempFolder folder;
    CBatchProcessor batch;
    const BatchSummary summary = batch.RunBatch(folder.Text(), Fixed(BatchSettings{}));
    ExpectLogMatches(batch.Log(), {FinalLine(0)});
    EXPECT_TRUE(summary.Succeeded());
}

TEST(BatchRun, OutputThatIsASourceUnderAnotherName_IsRefused) {
    for (const bool symbolic : {true, false}) {
        TempFolder folder;
        CopyImage("coins.png", folder / "d.tiff");
        const std::string source = ReadBytes(folder / "d.tiff");
        if (symbolic) {
            std::filesystem::create_symlink(folder / "d.tiff", folder / "d.tiff_n2");
        } else {
            std::filesystem::create_hard_link(folder / "d.tiff", folder / "d.tiff_n2");
        }
        CBatchProcessor batch;
        const BatchSummary summary = batch.RunBatch(folder.Text(), Fixed(BatchSettings{}));
        ExpectLogMatches(
            batch.Log(),
            {folder.Text() + "d.tiff_n2: not written: it would replace a source file of this run",
             FinalLine(1)});
        EXPECT_EQ(summary.failed, 1u);
        EXPECT_EQ(ReadBytes(folder / "d.tiff"), source) << (symbolic ? "symbolic" : "hard");
    }
}

TEST(BatchRun, FolderInTheWayOfAnOutput_IsReportedNotLoggedAsWritten) {
    TempFolder folder;
    CopyImage("coins.png", folder / "a.png");
    CopyImage("camera.png", folder / "b.png");
    std::filesystem::create_directory(folder / "a_flt.png");
    CBatchProcessor batch;
    const BatchSummary summary = batch.RunBatch(folder.Text(), Fixed(BatchSettings{}));
    ExpectLogMatches(batch.Log(), {folder.Text() + "a_flt.png: not written: cannot write to " +
                                       folder.Text() + "a_flt.png: it is a folder",
                                   WrittenLine(folder.Text() + "b_flt.png"), FinalLine(2)});
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(summary.written, 1u);
    EXPECT_EQ(Entries(folder.Path()),
              (std::set<std::string>{"a.png", "a_flt.png", "b.png", "b_flt.png"}));
}

TEST(BatchRun, WriteCutShort_LeavesNoPartialFileAndKeepsTheOldResult) {
    // A file size limit stops every write beyond it, for root too.
    TempFolder folder;
    CopyImage("rocket.jpg", folder / "photo.tiff");
    WriteBytes(folder / "photo.tiff_n2", "the previous result");
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousAction {};
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previousAction), 0);
    rlimit previousLimit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    rlimit small = previousLimit;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    CBatchProcessor batch;
    const BatchSummary summary = batch.RunBatch(folder.Text(), Fixed(BatchSettings{}));

    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    ASSERT_EQ(::sigaction(SIGXFSZ, &previousAction, nullptr), 0);
    const std::vector<std::string> lines = LogLines(batch.Log());
    ASSERT_EQ(lines.size(), 2u) << batch.Log();
    EXPECT_EQ(lines[0].rfind(folder.Text() + "photo.tiff_n2: not written: cannot write", 0), 0u)
        << lines[0];
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(ReadBytes(folder / "photo.tiff_n2"), "the previous result");
    EXPECT_EQ(Entries(folder.Path()), (std::set<std::string>{"photo.tiff", "photo.tiff_n2"}));
}

TEST(BatchRun, ReadOnlyFolder_ReportsEveryFileAsNotWritten) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root; the file size limit case covers writes";
    }
    TempFolder folder;
    CopyImage("coins.png", folder / "a.png");
    std::filesystem::permissions(
        folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    CBatchProcessor batch;
    const BatchSummary summary = batch.RunBatch(folder.Text(), Fixed(BatchSettings{}));
    ExpectLogMatches(batch.Log(), {folder.Text() + "a_flt.png: not written: cannot write to " +
                                       folder.Text() + ": permission denied",
                                   FinalLine(1)});
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(Entries(folder.Path()), std::set<std::string>{"a.png"});
}

TEST(BatchRun, SettingsAreReadAfreshForEachFile) {
    const BatchSettings smooth = LowPass(5);
    RectangleList corner{};
    corner[0] = {0, 0, 200, 200};
    const BatchSettings cleared = Deleting(corner);

    // Reference runs with one setting each over two copies of the same image.
    std::array<TempFolder, 3> folders;
    for (TempFolder& folder : folders) {
        CopyImage("coins.png", folder / "p1.png");
        CopyImage("coins.png", folder / "p2.png");
    }
    CBatchProcessor batch;
    ASSERT_EQ(batch.RunBatch(folders[0].Text(), Fixed(smooth)).written, 2u);
    ASSERT_EQ(batch.RunBatch(folders[1].Text(), Fixed(cleared)).written, 2u);
    int calls = 0;
    ASSERT_EQ(
        batch.RunBatch(folders[2].Text(), [&] { return ++calls == 1 ? smooth : cleared; }).written,
        2u);
    EXPECT_EQ(calls, 2);
    EXPECT_NE(ReadBytes(folders[0] / "p2_flt.png"), ReadBytes(folders[1] / "p2_flt.png"));
    EXPECT_EQ(ReadBytes(folders[2] / "p1_flt.png"), ReadBytes(folders[0] / "p1_flt.png"));
    EXPECT_EQ(ReadBytes(folders[2] / "p2_flt.png"), ReadBytes(folders[1] / "p2_flt.png"));
}

/// Runs one file through the batch with the results saved as PNG, and reads the result back.
Planes RunOne(const std::string& image, const BatchSettings& settings) {
    TempFolder folder;
    CopyImage(image, folder / "in.png");
    CBatchProcessor batch;
    batch.SetSaveOptions(SaveOptions{"image/png", -1});
    const BatchSummary summary = batch.RunBatch(folder.Text(), Fixed(settings));
    EXPECT_EQ(summary.written, 1u) << batch.Log();
    const std::string header = ReadBytes(folder / "in_flt.png").substr(0, 4);
    EXPECT_EQ(header, "\x89PNG");
    return ReadPlanes(folder / "in_flt.png");
}

class BatchChain : public testing::TestWithParam<const char*> {};

TEST_P(BatchChain, ClearingNothing_GivesBackTheImage) {
    const Planes source = ReadPlanes(TestImage(GetParam()));
    const Planes result = RunOne(GetParam(), Deleting(RectangleList{}));
    ASSERT_EQ(result.width, source.width);
    ASSERT_EQ(result.height, source.height);
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < source.channel[c].size(); ++i) {
            ASSERT_LE(std::abs(result.channel[c][i] - source.channel[c][i]), 1)
                << "channel " << c << " pixel " << i;
        }
    }
}

TEST_P(BatchChain, ClearingTheZeroFrequency_DarkensEveryChannel) {
    // 512 x 512 spectra: the zero frequency is element (256, 256).
    RectangleList centre{};
    centre[2] = {255, 255, 257, 258};
    const Planes source = ReadPlanes(TestImage(GetParam()));
    const Planes result = RunOne(GetParam(), Deleting(centre));
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_LT(result.Mean(c), source.Mean(c) * 0.5) << "channel " << c;
    }
}

TEST_P(BatchChain, LowPass_SmoothsAlongTheChosenAxes) {
    const Planes source = ReadPlanes(TestImage(GetParam()));
    const Planes radial = RunOne(GetParam(), LowPass(5));
    const Planes rows = RunOne(GetParam(), LowPass(5, 1, 1));
    const Planes columns = RunOne(GetParam(), LowPass(5, 1, 2));
    for (std::size_t c = 0; c < 3; ++c) {
        const double across = source.Variation(c, true);
        const double down = source.Variation(c, false);
        EXPECT_LT(radial.Variation(c, true), across * 0.35);
        EXPECT_LT(radial.Variation(c, false), down * 0.35);
        // The row response acts along each row: horizontal detail goes much more than vertical
        // detail; the column response the other way round.
        const double rowsAcross = rows.Variation(c, true) / across;
        const double rowsDown = rows.Variation(c, false) / down;
        EXPECT_LT(rowsAcross, 0.4);
        EXPECT_GT(rowsDown, rowsAcross * 1.4);
        const double columnsAcross = columns.Variation(c, true) / across;
        const double columnsDown = columns.Variation(c, false) / down;
        EXPECT_LT(columnsDown, 0.4);
        EXPECT_GT(columnsAcross, columnsDown * 1.4);
    }
}

INSTANTIATE_TEST_SUITE_P(GreyAndColour, BatchChain, testing::Values("camera.png", "astronaut.png"),
                         [](const testing::TestParamInfo<const char*>& param) {
                             return std::string(param.param).substr(0, 6);
                         });

/// A batch file processed as the document processes it: the first state with its power spectrum
/// images and a copy of the image, the filter held as a whole mask or the rectangles cleared
/// with their power images rendered again, then the final image.
std::unique_ptr<ImageBitmap> ProcessAsDocument(const std::filesystem::path& path,
                                               const BatchSettings& settings) {
    testing_support::CountingProc proc;
    if (!LoadImageFile(proc.originalImage, path) || !proc.StartWorkingState()) {
        return nullptr;
    }
    EXPECT_TRUE(HoldsPowerSpectra(*proc.workingState));
    if (settings.filteringType == LowPassConvolution) {
        proc.filterSettings.degree = settings.degreeIndex + 1;
        proc.filterSettings.cutOff = settings.cutOff;
        proc.filterSettings.oneDimensional = settings.dimensionIndex == 1;
        proc.filterSettings.direction = static_cast<std::uint64_t>(settings.direction);
        proc.BuildFilter(FilterKind::LowPass);
        proc.ApplyFilter(true, true, true);
    } else {
        if (proc.workingState->isColor) {
            for (ChannelKind channel : {ChannelKind::Red, ChannelKind::Green, ChannelKind::Blue}) {
                proc.ClearRectangles(channel, settings.rectangles);
            }
        } else {
            proc.ClearRectangles(ChannelKind::Grey, settings.rectangles);
        }
    }
    proc.CreateFinalImage();
    ProcState* state = proc.CurrentState();
    return state != nullptr ? std::move(state->image) : nullptr;
}

struct SettingsCase {
    std::string name;
    const char* image;
    BatchSettings settings;
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

BatchSettings Design(std::int32_t degreeIndex, std::int32_t cutOff, std::int32_t dimension,
                     std::int32_t direction) {
    BatchSettings settings = LowPass(cutOff, dimension, direction);
    settings.degreeIndex = degreeIndex;
    return settings;
}

class BatchProcessing : public testing::TestWithParam<SettingsCase> {};

TEST_P(BatchProcessing, GivesTheSamePixelsAsTheDocumentWithoutPowerSpectra) {
    const SettingsCase& c = GetParam();
    const std::unique_ptr<ImageBitmap> expected = ProcessAsDocument(TestImage(c.image), c.settings);
    ASSERT_NE(expected, nullptr);

    CBatchProcessor batch;
    ASSERT_TRUE(batch.LoadBatchFile(TestImage(c.image).string()));
    ASSERT_NE(batch.workingState, nullptr);
    EXPECT_FALSE(HoldsPowerSpectra(*batch.workingState));
    // A colour image's channels come one at a time.
    EXPECT_FALSE(batch.workingState->spectrumGreen.re || batch.workingState->spectrumBlue.re);
    ASSERT_TRUE(batch.FilterLoadedFile(c.settings));
    const ProcState* result = batch.CurrentState();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(batch.states.size(), 1u);
    EXPECT_FALSE(HoldsPowerSpectra(*result));
    // The spectra went into the final image: nothing of them is kept.
    EXPECT_FALSE(result->spectrumRed.re || result->spectrumGreen.im || result->spectrumGrey.re);
    EXPECT_EQ(batch.filterMask, nullptr);
    ASSERT_NE(result->image, nullptr);
    EXPECT_TRUE(testing_support::SamePixels(*result->image, *expected));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, BatchProcessing,
    testing::Values(SettingsCase{"ColourRadialDefault", "rocket.jpg", BatchSettings{}},
                    SettingsCase{"ColourRadialSteep", "rocket.jpg", Design(5, 7, 0, 0)},
                    SettingsCase{"GreyRadial", "coins.png", Design(1, 35, 0, 0)},
                    SettingsCase{"ColourRowsAndColumns", "rocket.jpg", Design(2, 15, 1, 0)},
                    SettingsCase{"GreyColumns", "coins.png", Design(3, 10, 1, 2)},
                    SettingsCase{"ColourDeleting", "rocket.jpg",
                                 Deleting(RectangleList{{{500, 250, 530, 270}, {0, 0, 40, 511}}})},
                    SettingsCase{"GreyDeleting", "coins.png",
                                 Deleting(RectangleList{{{250, 250, 262, 262}}})}),
    [](const testing::TestParamInfo<SettingsCase>& param) { return param.param.name; });

TEST(BatchRun, FolderWithoutTrailingSlashAndVeryLongPath_Works) {
    TempFolder folder;
    std::filesystem::path deep = folder.Path();
    for (int level = 0; level < 4; ++level) {
        deep /= std::string(200, static_cast<char>('k' + level));
    }
    std::filesystem::create_directories(deep);
    CopyImage("palette_gray.png", deep / "tiny.png");
    CBatchProcessor batch;
    const BatchSummary summary = batch.RunBatch(deep.string(), Fixed(BatchSettings{}));
    ExpectLogMatches(batch.Log(), {WrittenLine(deep.string() + "/tiny_flt.png"), FinalLine(1)});
    EXPECT_TRUE(summary.Succeeded());
    EXPECT_EQ(test::FileFormat(deep / "tiny_flt.png"), "png");
}

TEST(BatchRun, OutOfRangeSettings_AreBroughtIntoRange) {
    BatchSettings wild = LowPass(5000);
    wild.degreeIndex = 40;
    wild.dimensionIndex = 9;
    wild.direction = -3;
    BatchSettings tame = LowPass(100);
    tame.degreeIndex = 5;
    tame.dimensionIndex = 1;
    tame.direction = 0;
    std::array<TempFolder, 2> folders;
    CBatchProcessor batch;
    batch.SetSaveOptions(SaveOptions{"image/png", -1});
    for (std::size_t i = 0; i < folders.size(); ++i) {
        CopyImage("coins.png", folders[i] / "a.png");
        ASSERT_TRUE(batch.RunBatch(folders[i].Text(), Fixed(i == 0 ? wild : tame)).Succeeded());
    }
    EXPECT_EQ(ReadBytes(folders[0] / "a_flt.png"), ReadBytes(folders[1] / "a_flt.png"));
}

}  // namespace
}  // namespace quarvel
