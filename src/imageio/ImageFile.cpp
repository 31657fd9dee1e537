#include "imageio/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include "engine/SpectrumConversion.h"
#include "imageio/QtBitmap.h"
#include "imageio/VXFileName.h"

namespace quarvel {

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;

/// The largest transform size the program accepts on either axis.
constexpr std::uint64_t kMaxTransformSide = 65536;

/// Collects the warnings Qt's image plugins and the codec libraries under them emit while one
/// image is read or written, instead of letting them reach the terminal.
///
/// Qt has one message handler per process. A capture installs its own for its lifetime and puts
/// the previous one back afterwards; captures on different threads run one after the other, and
/// messages from other threads go on to the previous handler.
class CodecMessageCapture {
public:
    CodecMessageCapture() : lock_(Mutex()) {
        thread_ = std::this_thread::get_id();
        active_.store(this);
        previous_ = qInstallMessageHandler(&Handler);
    }
    ~CodecMessageCapture() {
        qInstallMessageHandler(previous_);
        active_.store(nullptr);
    }
    CodecMessageCapture(const CodecMessageCapture&) = delete;
    CodecMessageCapture& operator=(const CodecMessageCapture&) = delete;

    /// The messages so far, each once, joined by "; ".
    std::string Text() const {
        std::string text;
        for (const std::string& message : messages_) {
            text += (text.empty() ? "" : "; ") + message;
        }
        return text;
    }
    bool Mentions(const char* phrase) const {
        return std::any_of(messages_.begin(), messages_.end(), [phrase](const std::string& m) {
            return m.find(phrase) != std::string::npos;
        });
    }

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }

    /// Complaints about an embedded colour profile: the pixels are intact and the program does
    /// not use the profile, so they are not worth a warning to the user.
    static bool IsColourProfileNotice(const QString& message) {
        return message.contains(QStringLiteral("iCCP")) ||
               message.contains(QStringLiteral("ICC profile"), Qt::CaseInsensitive) ||
               message.startsWith(QStringLiteral("QIcc")) ||
               message.startsWith(QStringLiteral("QColorSpace"));
    }

    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        CodecMessageCapture* capture = active_.load();
        if (capture != nullptr && capture->thread_ == std::this_thread::get_id()) {
            if (type == QtDebugMsg || type == QtInfoMsg || IsColourProfileNotice(text)) {
                return;
            }
            std::string message = text.trimmed().toStdString();
            if (!message.empty() && std::find(capture->messages_.begin(), capture->messages_.end(),
                                              message) == capture->messages_.end()) {
                capture->messages_.push_back(std::move(message));
            }
            return;
        }
        if (previous_ != nullptr) {
            previous_(type, context, text);
        }
    }

    static inline std::atomic<CodecMessageCapture*> active_{nullptr};
    static inline QtMessageHandler previous_ = nullptr;

    std::lock_guard<std::mutex> lock_;
    std::thread::id thread_;
    std::vector<std::string> messages_;
};

/// Puts Qt's reader allocation limit (process-wide) back when a load ends.
class AllocationLimitGuard {
public:
    explicit AllocationLimitGuard(int megabytes) : previous_(QImageReader::allocationLimit()) {
        QImageReader::setAllocationLimit(megabytes);
    }
    ~AllocationLimitGuard() { QImageReader::setAllocationLimit(previous_); }
    AllocationLimitGuard(const AllocationLimitGuard&) = delete;
    AllocationLimitGuard& operator=(const AllocationLimitGuard&) = delete;

private:
    int previous_;
};

std::uint64_t MemoryLimit(const LoadLimits& limits) {
    if (limits.maxMemoryBytes != 0) {
        return limits.maxMemoryBytes;
    }
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return std::uint64_t{1} << 32;
    }
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

std::string Megabytes(double bytes) {
    return std::to_string(static_cast<std::uint64_t>(std::ceil(bytes / kMegabyte)));
}

/// Whether an image in this decoded format becomes a single-channel image.
bool IsSingleChannel(QImage::Format format) {
    switch (format) {
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
        case QImage::Format_Indexed8:
        case QImage::Format_Grayscale8:
        case QImage::Format_Grayscale16:
            return true;
        default:
            return false;
    }
}

/// Refuses an image of width x height whose transform would exceed the largest side, or which,
/// with one processing state, would need more than limit bytes: the image itself, the image
/// resampled to the transform size W2 x H2, and per channel two float planes of W2 x H2 and a
/// 4-byte power spectrum image. An unknown decoded format counts as colour.
IoResult CheckSize(std::uint64_t width, std::uint64_t height, QImage::Format format,
                   std::uint64_t limit) {
    const std::uint64_t w2 = SpectrumSize(width);
    const std::uint64_t h2 = SpectrumSize(height);
    const bool grey = IsSingleChannel(format);
    const double bytesPerPixel = grey ? 1.0 : 4.0;
    const double channels = grey ? 1.0 : 3.0;
    const double transformPixels = static_cast<double>(w2) * static_cast<double>(h2);
    const double needed = static_cast<double>(width) * static_cast<double>(height) * bytesPerPixel +
                          transformPixels * bytesPerPixel + channels * transformPixels * 12.0;
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (w2 > kMaxTransformSide || h2 > kMaxTransformSide) {
        return IoResult::Failure("too large: " + size + " needs a transform of " +
                                 std::to_string(w2) + " x " + std::to_string(h2) + " (at most " +
                                 std::to_string(kMaxTransformSide) + " on a side) and " +
                                 Megabytes(needed) + " MB");
    }
    if (needed > static_cast<double>(limit)) {
        return IoResult::Failure("too large: " + size + " needs " + Megabytes(needed) +
                                 " MB, limit " + Megabytes(static_cast<double>(limit)) + " MB");
    }
    return IoResult::Success();
}

/// Opens path for reading without blocking (a FIFO or a device would otherwise wait for a
/// writer) and makes sure it is a regular file. Returns the descriptor in fd.
IoResult OpenRegularFile(const std::filesystem::path& path, int& fd) {
    fd = -1;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
                return IoResult::Failure("file not found");
            case EACCES:
                return IoResult::Failure("permission denied");
            default:
                return IoResult::Failure(std::strerror(errno));
        }
    }
    if (S_ISDIR(info.st_mode)) {
        return IoResult::Failure("not a regular file: it is a folder");
    }
    if (!S_ISREG(info.st_mode)) {
        return IoResult::Failure("not a regular file");
    }
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return IoResult::Failure(errno == EACCES || errno == EPERM ? "permission denied"
                                                                   : std::strerror(errno));
    }
    // The name may have been replaced between the two looks: judge what was opened.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        fd = -1;
        return IoResult::Failure("not a regular file");
    }
    if (info.st_size == 0) {
        ::close(fd);
        fd = -1;
        return IoResult::Failure("empty file");
    }
    return IoResult::Success();
}

std::string WithDetail(std::string reason, const CodecMessageCapture& messages) {
    const std::string detail = messages.Text();
    return detail.empty() ? reason : reason + " (" + detail + ")";
}

}  // namespace

IoResult LoadImageFile(std::unique_ptr<ImageBitmap>& slot, const std::filesystem::path& path,
                       const LoadLimits& limits) {
    slot.reset();
    int fd = -1;
    if (IoResult opened = OpenRegularFile(path, fd); !opened) {
        return opened;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return IoResult::Failure("cannot read the file");
    }

    const std::uint64_t memoryLimit = MemoryLimit(limits);
    CodecMessageCapture messages;
    QImageReader reader(&file);
    // Photographs come in upright: the orientation recorded in the file is applied.
    reader.setAutoTransform(true);

    // The size from the header decides before any pixel is decoded. Qt's own allocation limit
    // (256 MB by default) would refuse ordinary large photographs, so it is raised to what this
    // image needs in the widest decoded layout (four floats per pixel); when the header gives no
    // size, the memory limit caps it and the size is checked after decoding.
    const QSize headerSize = reader.size();
    double allowedBytes = static_cast<double>(memoryLimit);
    if (headerSize.isValid() && !headerSize.isEmpty()) {
        if (IoResult fits = CheckSize(static_cast<std::uint64_t>(headerSize.width()),
                                      static_cast<std::uint64_t>(headerSize.height()),
                                      reader.imageFormat(), memoryLimit);
            !fits) {
            return fits;
        }
        allowedBytes = static_cast<double>(headerSize.width()) * headerSize.height() * 16.0;
    }
    const double allowedMegabytes = std::ceil(allowedBytes / kMegabyte) + 1.0;
    AllocationLimitGuard allocationLimit(
        static_cast<int>(std::min(allowedMegabytes, static_cast<double>(INT_MAX))));

    // An animated or multi-page file gives its first frame: one read.
    QImage image;
    const bool decoded = reader.read(&image);
    if (!decoded || image.isNull()) {
        if (messages.Mentions("allocation limit")) {
            return IoResult::Failure("too large: needs more than " +
                                     Megabytes(static_cast<double>(memoryLimit)) + " MB, limit " +
                                     Megabytes(static_cast<double>(memoryLimit)) + " MB");
        }
        switch (reader.error()) {
            case QImageReader::UnsupportedFormatError:
                return IoResult::Failure("not an image file or unsupported format");
            case QImageReader::DeviceError:
                return IoResult::Failure(WithDetail("read error", messages));
            default:
                return IoResult::Failure(WithDetail("damaged or truncated image data", messages));
        }
    }
    if (!headerSize.isValid() || headerSize.isEmpty()) {
        if (IoResult fits =
                CheckSize(static_cast<std::uint64_t>(image.width()),
                          static_cast<std::uint64_t>(image.height()), image.format(), memoryLimit);
            !fits) {
            return fits;
        }
    }

    slot = FromQImage(image);
    if (!slot) {
        return IoResult::Failure("not enough memory for " + std::to_string(image.width()) + " x " +
                                 std::to_string(image.height()) + " pixels");
    }
    // A file cut short in its pixel data (a JPEG stream that ends early, for instance) is still
    // decoded as far as it goes, the rest filled in by the decoder, and the reader reports
    // success. Such an image is kept, with the decoder's complaint passed on as a warning: a
    // person with a partly copied photograph would rather see what survives, told that it is
    // damaged, than be turned away. A file that is damaged before any pixel can be decoded is
    // refused above.
    IoResult result = IoResult::Success();
    result.warning = messages.Text();
    return result;
}

int FindEncoderByMime(const std::string& mime, EncoderId* encoder) {
    const QList<QByteArray> mimeTypes = QImageWriter::supportedMimeTypes();
    for (qsizetype i = 0; i < mimeTypes.size(); ++i) {
        if (mimeTypes[i].toStdString() != mime) {
            continue;
        }
        const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(mimeTypes[i]);
        if (formats.isEmpty()) {
            return -1;
        }
        if (encoder != nullptr) {
            encoder->format = formats.first().toStdString();
        }
        return static_cast<int>(i);
    }
    return -1;
}

namespace {

/// Why a file could not be created in folder, as "cannot write to FOLDER: REASON".
std::string CannotWrite(const std::filesystem::path& target, const QSaveFile& file) {
    const std::string folderText = VXFileName(target.string()).GetFolder();
    const std::string folder = folderText.empty() ? std::string(".") : folderText;
    const std::string prefix = "cannot write to " + (folderText.empty() ? "./" : folderText) + ": ";
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return prefix + (errno == ENOTDIR ? "not a folder" : "folder not found");
    }
    if (!S_ISDIR(info.st_mode)) {
        return prefix + "not a folder";
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        return prefix + (errno == EROFS ? "read-only file system" : "permission denied");
    }
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
        return "cannot write to " + target.string() + ": permission denied";
    }
    return prefix + file.errorString().toLower().toStdString();
}

/// Why writing or committing the data failed.
std::string WriteFailure(const std::filesystem::path& target, const QSaveFile& file) {
    if (file.error() == QFileDevice::ResourceError) {
        return "cannot write " + target.string() + ": disk full";
    }
    return "cannot write " + target.string() + ": " + file.errorString().toLower().toStdString();
}

}  // namespace

IoResult SaveImageFile(const ImageBitmap& image, const std::filesystem::path& path,
                       const SaveOptions& options) {
    EncoderId encoder;
    if (FindEncoderByMime(options.mime, &encoder) < 0) {
        return IoResult::Failure("no encoder for " + options.mime);
    }
    if (options.quality < -1 || options.quality > 100) {
        return IoResult::Failure("quality " + std::to_string(options.quality) +
                                 " out of range 0 to 100");
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return IoResult::Failure(
            "cannot write to " + path.string() +
            (S_ISDIR(info.st_mode) ? ": it is a folder" : ": not a regular file"));
    }
    const QImage picture = ToQImage(image);
    if (picture.isNull()) {
        return IoResult::Failure("not enough memory to encode the image");
    }

    // The data goes to a temporary file beside the target; commit() renames it over the target
    // only when everything was written, and a save that fails removes it.
    QSaveFile file(QFile::decodeName(QByteArray(path.c_str())));
    if (!file.open(QIODevice::WriteOnly)) {
        return IoResult::Failure(CannotWrite(path, file));
    }
    CodecMessageCapture messages;
    QImageWriter writer(&file, QByteArray::fromStdString(encoder.format));
    if (options.quality >= 0) {
        writer.setQuality(options.quality);
    }
    if (!writer.write(picture)) {
        const bool deviceFailed =
            writer.error() == QImageWriter::DeviceError || file.error() != QFileDevice::NoError;
        std::string reason =
            deviceFailed
                ? WriteFailure(path, file)
                : WithDetail("the " + options.mime + " encoder cannot write this image", messages);
        file.cancelWriting();
        return IoResult::Failure(std::move(reason));
    }
    if (!file.commit()) {
        return IoResult::Failure(WriteFailure(path, file));
    }
    return IoResult::Success();
}

}  // namespace quarvel
