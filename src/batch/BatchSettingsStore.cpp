#include "batch/BatchSettingsStore.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace quarvel {

namespace {

const QString kOrganisation = QStringLiteral("Quarvel Software");
const QString kApplication = QStringLiteral("FFT Quarvel");

const QString kLastPath = QStringLiteral("Settings/Last Path");
const QString kFilteringType = QStringLiteral("Settings/Filtering Type");
const QString kRecipePath = QStringLiteral("Settings/Recipe Path");
const QString kDimension = QStringLiteral("Settings/Filter Dimension");
const QString kDirection = QStringLiteral("Settings/Filter Direction");
const QString kDegree = QStringLiteral("Settings/Filter Degree");
const QString kCutOff = QStringLiteral("Settings/Cut Off Frequency");
const QString kMemoryLimit = QStringLiteral("Memory/Image Limit");

constexpr std::uint64_t kMegabyte = 1024 * 1024;

/// The key of one rectangle value: prefix "UX", "UY", "DX" or "DY" and the row 1 to 4.
QString RectangleKey(const char* prefix, std::size_t row) {
    return QStringLiteral("Rectangles/") + QLatin1String(prefix) + QString::number(row + 1);
}

std::unique_ptr<QSettings> OpenStore(const std::string& filePath) {
    if (filePath.empty()) {
        return std::make_unique<QSettings>(kOrganisation, kApplication);
    }
    return std::make_unique<QSettings>(QFile::decodeName(QByteArray::fromStdString(filePath)),
                                       QSettings::IniFormat);
}

/// The integer a stored value spells, or nothing when it is not one. Digits beyond the 64-bit
/// range give its nearest end, so that they are limited like any other value out of range.
std::optional<long long> ParseInteger(const QVariant& value) {
    // A value the store parsed into a list or another type has no plain text: not a number.
    const QString text = value.toString().trimmed();
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok, 10);
    if (ok) {
        return number;
    }
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    if (digits.match(text).hasMatch()) {
        return text.startsWith(QLatin1Char('-')) ? LLONG_MIN : LLONG_MAX;
    }
    return std::nullopt;
}

/// The integer stored under key, limited to [low, high]; fallback when absent or not a number.
/// A value that had to be repaired (not a number, or out of range) is written back repaired, so
/// the store holds what the program uses; a value that is absent stays absent.
std::int64_t ReadInteger(QSettings& store, const QString& key, std::int64_t fallback,
                         std::int64_t low, std::int64_t high) {
    const QVariant value = store.value(key);
    if (!value.isValid()) {
        return fallback;
    }
    const std::optional<long long> number = ParseInteger(value);
    std::int64_t repaired = fallback;
    if (number) {
        repaired = std::clamp<std::int64_t>(*number, low, high);
        if (repaired == *number && value.toString() == QString::number(repaired)) {
            return repaired;
        }
    }
    store.setValue(key, static_cast<qlonglong>(repaired));
    return repaired;
}

std::int32_t ReadInteger32(QSettings& store, const QString& key, std::int32_t fallback,
                           std::int32_t low, std::int32_t high) {
    return static_cast<std::int32_t>(ReadInteger(store, key, fallback, low, high));
}

/// Flushes the store to its file and reports whether that worked.
IoResult Commit(QSettings& store) {
    store.sync();
    if (store.status() != QSettings::NoError) {
        return IoResult::Failure("cannot write the settings to " +
                                 QFile::encodeName(store.fileName()).toStdString());
    }
    return IoResult::Success();
}

void WriteRectangles(QSettings& store, const RectangleList& rectangles) {
    for (std::size_t row = 0; row < rectangles.size(); ++row) {
        store.setValue(RectangleKey("UX", row), rectangles[row].x1);
        store.setValue(RectangleKey("UY", row), rectangles[row].y1);
        store.setValue(RectangleKey("DX", row), rectangles[row].x2);
        store.setValue(RectangleKey("DY", row), rectangles[row].y2);
    }
}

}  // namespace

BatchSettings BatchSettingsStore::LoadBatchSettings() const {
    const std::unique_ptr<QSettings> store = OpenStore(filePath_);
    const BatchSettings defaults;
    BatchSettings settings;
    const QVariant lastPath = store->value(kLastPath);
    if (lastPath.typeId() == QMetaType::QString) {
        settings.lastPath = QFile::encodeName(lastPath.toString()).toStdString();
    }
    settings.filteringType = ReadInteger32(*store, kFilteringType, defaults.filteringType,
                                           LowPassConvolution, RecipeReplay);
    const QVariant recipePath = store->value(kRecipePath);
    if (recipePath.typeId() == QMetaType::QString) {
        settings.recipePath = QFile::encodeName(recipePath.toString()).toStdString();
    }
    settings.dimensionIndex = ReadInteger32(*store, kDimension, defaults.dimensionIndex, 0, 1);
    settings.direction = ReadInteger32(*store, kDirection, defaults.direction, 0, 2);
    settings.degreeIndex =
        ReadInteger32(*store, kDegree, defaults.degreeIndex, 0, kBatchMaxDegreeIndex);
    settings.cutOff =
        ReadInteger32(*store, kCutOff, defaults.cutOff, kBatchMinCutOff, kBatchMaxCutOff);
    // Repairs are written back now; a store that cannot be written is still read.
    store->sync();
    settings.rectangles = LoadRectangles();
    return settings;
}

RectangleList BatchSettingsStore::LoadRectangles() const {
    const std::unique_ptr<QSettings> store = OpenStore(filePath_);
    const auto read = [&store](const char* prefix, std::size_t row) {
        return ReadInteger32(*store, RectangleKey(prefix, row), 0, INT32_MIN, INT32_MAX);
    };
    RectangleList rectangles{};
    for (std::size_t row = 0; row < rectangles.size(); ++row) {
        rectangles[row] = {read("UX", row), read("UY", row), read("DX", row), read("DY", row)};
    }
    store->sync();
    return rectangles;
}

IoResult BatchSettingsStore::SaveBatchSettings(const BatchSettings& settings) {
    const std::unique_ptr<QSettings> store = OpenStore(filePath_);
    store->setValue(kFilteringType, settings.filteringType);
    store->setValue(kDimension, settings.dimensionIndex);
    store->setValue(kDirection, settings.direction);
    store->setValue(kDegree, settings.degreeIndex);
    store->setValue(kCutOff, settings.cutOff);
    store->setValue(kRecipePath, QFile::decodeName(QByteArray::fromStdString(settings.recipePath)));
    WriteRectangles(*store, settings.rectangles);
    return Commit(*store);
}

IoResult BatchSettingsStore::SaveRectangles(const RectangleList& rectangles) {
    const std::unique_ptr<QSettings> store = OpenStore(filePath_);
    WriteRectangles(*store, rectangles);
    return Commit(*store);
}

IoResult BatchSettingsStore::SaveLastPath(const std::string& folder) {
    const std::unique_ptr<QSettings> store = OpenStore(filePath_);
    store->setValue(kLastPath, QFile::decodeName(QByteArray::fromStdString(folder)));
    return Commit(*store);
}

std::uint64_t BatchSettingsStore::LoadMemoryLimit() const {
    const std::unique_ptr<QSettings> store = OpenStore(filePath_);
    const auto physical = static_cast<std::int64_t>(PhysicalMemoryBytes() / kMegabyte);
    std::int64_t megabytes =
        ReadInteger(*store, kMemoryLimit, 0, 0, std::max(physical, kMinMemoryLimitMegabytes));
    if (megabytes > 0 && megabytes < kMinMemoryLimitMegabytes) {
        megabytes = kMinMemoryLimitMegabytes;
        store->setValue(kMemoryLimit, static_cast<qlonglong>(megabytes));
    }
    store->sync();
    return static_cast<std::uint64_t>(megabytes) * kMegabyte;
}

IoResult BatchSettingsStore::SaveMemoryLimit(std::uint64_t megabytes) {
    const std::unique_ptr<QSettings> store = OpenStore(filePath_);
    store->setValue(kMemoryLimit, static_cast<qulonglong>(megabytes));
    return Commit(*store);
}

std::string BatchSettingsStore::Location() const {
    return QFile::encodeName(OpenStore(filePath_)->fileName()).toStdString();
}

}  // namespace quarvel
