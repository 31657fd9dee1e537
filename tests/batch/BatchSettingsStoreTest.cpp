#include "batch/BatchSettingsStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include <QSettings>
#include <QString>

#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

/// The user's settings store of this test process lives in a temporary folder: XDG_CONFIG_HOME
/// is set before any store is opened, so the real user's settings are never touched.
class PrivateConfigHome {
public:
    PrivateConfigHome() { ::setenv("XDG_CONFIG_HOME", folder_.Path().c_str(), 1); }
    const TempFolder& Folder() const { return folder_; }

private:
    TempFolder folder_;
};

const PrivateConfigHome& ConfigHome() {
    static const PrivateConfigHome home;
    return home;
}
const PrivateConfigHome& kConfigHomeAtStart = ConfigHome();

BatchSettings SampleSettings() {
    BatchSettings settings;
    settings.filteringType = PowerSpectrumDeleting;
    settings.degreeIndex = 5;
    settings.cutOff = 1;
    settings.dimensionIndex = 1;
    settings.direction = 2;
    settings.rectangles = {SpectrumRectangle{1, 2, 3, 4}, SpectrumRectangle{-5, 0, 1000, 70000},
                           SpectrumRectangle{INT32_MIN, INT32_MAX, 0, -1},
                           SpectrumRectangle{0, 0, 0, 0}};
    return settings;
}

TEST(BatchSettingsStore, EmptyStore_GivesDefaults) {
    TempFolder folder;
    const BatchSettingsStore store((folder / "none.ini").string());
    const BatchSettings settings = store.LoadBatchSettings();
    EXPECT_EQ(settings, BatchSettings{});
    EXPECT_EQ(settings.filteringType, LowPassConvolution);
    EXPECT_EQ(settings.degreeIndex, 2);
    EXPECT_EQ(settings.cutOff, 20);
    EXPECT_EQ(settings.lastPath, "");
    EXPECT_EQ(store.LoadRectangles(), RectangleList{});
}

TEST(BatchSettingsStore, SavedSettingsAndRectangles_ReadBackUnchanged) {
    TempFolder folder;
    BatchSettingsStore store((folder / "batch.ini").string());
    const BatchSettings saved = SampleSettings();
    ASSERT_TRUE(store.SaveBatchSettings(saved));
    // The last path is not part of SaveBatchSettings.
    EXPECT_EQ(BatchSettingsStore((folder / "batch.ini").string()).LoadBatchSettings(), saved);

    RectangleList other{};
    other[3] = {7, 8, 9, 10};
    ASSERT_TRUE(store.SaveRectangles(other));
    EXPECT_EQ(store.LoadRectangles(), other);
    EXPECT_EQ(store.LoadBatchSettings().degreeIndex, 5);
}

TEST(BatchSettingsStore, LastPath_IsWrittenOnlyBySaveLastPath) {
    TempFolder folder;
    BatchSettingsStore store((folder / "batch.ini").string());
    const std::string path = "/srv/Scans, März 2024/\"raw\" = [1]/";
    ASSERT_TRUE(store.SaveLastPath(path));
    BatchSettings settings = SampleSettings();
    settings.lastPath = "/somewhere/else/";
    ASSERT_TRUE(store.SaveBatchSettings(settings));
    EXPECT_EQ(store.LoadBatchSettings().lastPath, path);
}

TEST(BatchSettingsStore, UsesTheNamedSectionsAndKeys) {
    TempFolder folder;
    const QString file = QString::fromStdString((folder / "batch.ini").string());
    {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue(QStringLiteral("Settings/Last Path"), QStringLiteral("/data/"));
        raw.setValue(QStringLiteral("Settings/Filtering Type"), 1);
        raw.setValue(QStringLiteral("Settings/Filter Dimension"), 1);
        raw.setValue(QStringLiteral("Settings/Filter Direction"), 1);
        raw.setValue(QStringLiteral("Settings/Filter Degree"), 0);
        raw.setValue(QStringLiteral("Settings/Cut Off Frequency"), 55);
        raw.setValue(QStringLiteral("Rectangles/UX2"), 11);
        raw.setValue(QStringLiteral("Rectangles/UY2"), 12);
        raw.setValue(QStringLiteral("Rectangles/DX2"), 13);
        raw.setValue(QStringLiteral("Rectangles/DY4"), 14);
    }
    BatchSettingsStore store(file.toStdString());
    const BatchSettings settings = store.LoadBatchSettings();
    EXPECT_EQ(settings.lastPath, "/data/");
    EXPECT_EQ(settings.filteringType, PowerSpectrumDeleting);
    EXPECT_EQ(settings.dimensionIndex, 1);
    EXPECT_EQ(settings.direction, 1);
    EXPECT_EQ(settings.degreeIndex, 0);
    EXPECT_EQ(settings.cutOff, 55);
    EXPECT_EQ(settings.rectangles[1], (SpectrumRectangle{11, 12, 13, 0}));
    EXPECT_EQ(settings.rectangles[3], (SpectrumRectangle{0, 0, 0, 14}));

    ASSERT_TRUE(store.SaveBatchSettings(SampleSettings()));
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Settings/Filter Degree")).toInt(), 5);
    EXPECT_EQ(raw.value(QStringLiteral("Settings/Cut Off Frequency")).toInt(), 1);
    EXPECT_EQ(raw.value(QStringLiteral("Rectangles/DY2")).toInt(), 70000);
    EXPECT_EQ(raw.value(QStringLiteral("Rectangles/UX3")).toInt(), INT32_MIN);
}

/// One hand-edited value and what it must read back as.
struct StoredValueCase {
    const char* name;
    const char* key;                     ///< as it appears in the file
    const char* text;                    ///< the value's text in the file
    std::int32_t BatchSettings::*field;  ///< null for the x1 of rectangle 1
    std::int32_t expected;
};

class StoredValue : public testing::TestWithParam<StoredValueCase> {};

TEST_P(StoredValue, IsBroughtIntoRangeOrReplacedByTheDefault) {
    const StoredValueCase& value = GetParam();
    const std::string section =
        std::string(value.key).rfind("UX", 0) == 0 ? "[Rectangles]\n" : "[Settings]\n";
    TempFolder folder;
    WriteBytes(folder / "batch.ini", section + value.key + "=" + value.text + "\n");
    const BatchSettings settings =
        BatchSettingsStore((folder / "batch.ini").string()).LoadBatchSettings();
    const std::int32_t read =
        value.field != nullptr ? settings.*(value.field) : settings.rectangles[0].x1;
    EXPECT_EQ(read, value.expected);
    // The store now holds the value the program uses.
    const QSettings raw(QString::fromStdString((folder / "batch.ini").string()),
                        QSettings::IniFormat);
    QString key = QString::fromLatin1(section.substr(1, section.size() - 3)) + QLatin1Char('/') +
                  QString::fromLatin1(value.key);
    key.replace(QStringLiteral("%20"), QStringLiteral(" "));
    EXPECT_EQ(raw.value(key).toString().toStdString(), std::to_string(value.expected))
        << ReadBytes(folder / "batch.ini");
}

INSTANTIATE_TEST_SUITE_P(
    HandEdited, StoredValue,
    testing::Values(
        StoredValueCase{"CutOffHuge", "Cut%20Off%20Frequency", "99999999999",
                        &BatchSettings::cutOff, 100},
        StoredValueCase{"CutOffBeyond64Bits", "Cut%20Off%20Frequency", "99999999999999999999999",
                        &BatchSettings::cutOff, 100},
        StoredValueCase{"CutOffZero", "Cut%20Off%20Frequency", "0", &BatchSettings::cutOff, 1},
        StoredValueCase{"CutOffNegative", "Cut%20Off%20Frequency", "-40", &BatchSettings::cutOff,
                        1},
        StoredValueCase{"CutOffWithSpaces", "Cut%20Off%20Frequency", " 42 ", &BatchSettings::cutOff,
                        42},
        StoredValueCase{"CutOffText", "Cut%20Off%20Frequency", "fifty", &BatchSettings::cutOff, 20},
        StoredValueCase{"CutOffTrailingText", "Cut%20Off%20Frequency", "12abc",
                        &BatchSettings::cutOff, 20},
        StoredValueCase{"CutOffFraction", "Cut%20Off%20Frequency", "3.5", &BatchSettings::cutOff,
                        20},
        StoredValueCase{"CutOffEmpty", "Cut%20Off%20Frequency", "", &BatchSettings::cutOff, 20},
        StoredValueCase{"CutOffList", "Cut%20Off%20Frequency", "30, 40", &BatchSettings::cutOff,
                        20},
        StoredValueCase{"DegreeSeven", "Filter%20Degree", "7", &BatchSettings::degreeIndex, 5},
        StoredValueCase{"DegreeWraps32Bits", "Filter%20Degree", "4294967298",
                        &BatchSettings::degreeIndex, 5},
        StoredValueCase{"TypeThree", "Filtering%20Type", "3", &BatchSettings::filteringType, 2},
        StoredValueCase{"DimensionNegative", "Filter%20Dimension", "-1",
                        &BatchSettings::dimensionIndex, 0},
        StoredValueCase{"DirectionHuge", "Filter%20Direction", "99999999999",
                        &BatchSettings::direction, 2},
        StoredValueCase{"RectangleHuge", "UX1", "99999999999", nullptr, INT32_MAX},
        StoredValueCase{"RectangleHugeNegative", "UX1", "-99999999999999999999999", nullptr,
                        INT32_MIN},
        StoredValueCase{"RectangleText", "UX1", "left", nullptr, 0},
        StoredValueCase{"RectangleNegative", "UX1", "-12", nullptr, -12}),
    [](const testing::TestParamInfo<StoredValueCase>& param) { return param.param.name; });

TEST(BatchSettingsStore, ValuesInRange_LeaveTheFileAsItWas) {
    TempFolder folder;
    const std::string text =
        "[Settings]\nCut%20Off%20Frequency=35\nFilter%20Degree=4\n\n[Rectangles]\nUX1=-7\n";
    WriteBytes(folder / "batch.ini", text);
    const BatchSettingsStore store((folder / "batch.ini").string());
    EXPECT_EQ(store.LoadBatchSettings().cutOff, 35);
    EXPECT_EQ(store.LoadMemoryLimit(), 0u);
    EXPECT_EQ(ReadBytes(folder / "batch.ini"), text);
}

/// A hand-edited memory limit and the megabytes it must read back as (and be written back as).
struct MemoryLimitCase {
    const char* name;
    const char* text;
    std::int64_t megabytes;  ///< -1: the physical memory in megabytes
};

class StoredMemoryLimit : public testing::TestWithParam<MemoryLimitCase> {};

TEST_P(StoredMemoryLimit, IsRepairedAndWrittenBack) {
    const MemoryLimitCase& value = GetParam();
    TempFolder folder;
    WriteBytes(folder / "app.ini", std::string("[Memory]\nImage%20Limit=") + value.text + "\n");
    const std::uint64_t physical = PhysicalMemoryBytes() >> 20;
    const std::uint64_t expected =
        value.megabytes < 0 ? physical : static_cast<std::uint64_t>(value.megabytes);
    EXPECT_EQ(BatchSettingsStore((folder / "app.ini").string()).LoadMemoryLimit(), expected << 20);
    EXPECT_EQ(ReadBytes(folder / "app.ini"),
              "[Memory]\nImage%20Limit=" + std::to_string(expected) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    HandEdited, StoredMemoryLimit,
    testing::Values(MemoryLimitCase{"InRange", "2048", 2048}, MemoryLimitCase{"Zero", "0", 0},
                    MemoryLimitCase{"TooSmall", "10", kMinMemoryLimitMegabytes},
                    MemoryLimitCase{"Wraps32Bits", "99999999999", -1},
                    MemoryLimitCase{"Beyond64Bits", "999999999999999999999999", -1},
                    MemoryLimitCase{"Negative", "-5", 0}, MemoryLimitCase{"Text", "lots", 0},
                    MemoryLimitCase{"Fraction", "1.5", 0}),
    [](const testing::TestParamInfo<MemoryLimitCase>& param) { return param.param.name; });

TEST(BatchSettingsStore, MemoryLimit_AbsentIsTheDefaultShareAndSavedReadsBack) {
    TempFolder folder;
    BatchSettingsStore store((folder / "app.ini").string());
    EXPECT_EQ(store.LoadMemoryLimit(), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder / "app.ini"));
    ASSERT_TRUE(store.SaveMemoryLimit(512));
    EXPECT_EQ(store.LoadMemoryLimit(), 512u << 20);
}

TEST(BatchSettingsStore, FileOfBinaryGarbage_GivesDefaults) {
    TempFolder folder;
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    }
    WriteBytes(folder / "batch.ini", garbage);
    EXPECT_EQ(BatchSettingsStore((folder / "batch.ini").string()).LoadBatchSettings(),
              BatchSettings{});
}

TEST(BatchSettingsStore, StoreThatCannotBeWritten_ReportsIt) {
    TempFolder folder;
    WriteBytes(folder / "plain", "a file, not a folder");
    BatchSettingsStore store((folder / "plain" / "batch.ini").string());
    const IoResult saved = store.SaveBatchSettings(SampleSettings());
    EXPECT_FALSE(saved);
    EXPECT_EQ(saved.message,
              "cannot write the settings to " + (folder / "plain" / "batch.ini").string());
    EXPECT_FALSE(store.SaveLastPath("/x/"));
    EXPECT_FALSE(store.SaveRectangles(RectangleList{}));
}

TEST(BatchSettingsStore, UsersStore_LivesUnderTheCompanyAndApplicationName) {
    const std::string expected =
        (ConfigHome().Folder() / "Quarvel Software" / "FFT Quarvel.conf").string();
    BatchSettingsStore store;
    EXPECT_EQ(store.Location(), expected);
    ASSERT_TRUE(store.SaveBatchSettings(SampleSettings()));
    EXPECT_TRUE(std::filesystem::is_regular_file(expected));
    EXPECT_EQ(BatchSettingsStore().LoadBatchSettings(), SampleSettings());
}

}  // namespace
}  // namespace quarvel
