#include "imageio/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>

#include "engine/DeepImage.h"
#include "engine/PlaneConversion.h"
#include "imageio/CodecMessageCapture.h"
#include "imageio/FloatTiffFile.h"
#include "imageio/ImageProbe.h"
#include "imageio/QtBitmap.h"

namespace quarvel {

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;

/// Raises Qt's reader allocation limit, which is one for the whole process, for the length of a
/// load, and puts the limit from before back when the last of the loads running at once ends.
/// While several run, the limit is the largest any of them asked for: a load may then decode
/// more than it asked for, but its decoded size is checked again afterwards.
class AllocationLimitGuard {
public:
    explicit AllocationLimitGuard(int megabytes) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (loads_++ == 0) {
            previous_ = QImageReader::allocationLimit();
            raised_ = 0;
        }
        if (megabytes > raised_) {
            raised_ = megabytes;
            QImageReader::setAllocationLimit(megabytes);
        }
    }
    ~AllocationLimitGuard() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (--loads_ == 0) {
            QImageReader::setAllocationLimit(previous_);
        }
    }
    AllocationLimitGuard(const AllocationLimitGuard&) = delete;
    AllocationLimitGuard& operator=(const AllocationLimitGuard&) = delete;

private:
    static inline std::mutex mutex_;
    static inline int loads_ = 0;     ///< loads running
    static inline int previous_ = 0;  ///< the limit before the first of them
    static inline int raised_ = 0;    ///< the largest limit asked for since
};

std::uint64_t MemoryLimit(const LoadLimits& limits) {
    return limits.maxMemoryBytes != 0 ? limits.maxMemoryBytes : MemoryBudget();
}

/// format when it is one of QImage's formats, else Format_Invalid: some readers answer with an
/// uninitialised value when the header is damaged.
QImage::Format KnownFormat(QImage::Format format) {
    const int value = static_cast<int>(format);
    return value > QImage::Format_Invalid && value < QImage::NImageFormats
               ? static_cast<QImage::Format>(value)
               : QImage::Format_Invalid;
}

/// Whether an image in this decoded format becomes a single-channel image. format is taken as a
/// plain number: some readers answer with an uninitialised value when the header is damaged,
/// and an unknown format counts as colour, the larger estimate.
bool IsSingleChannel(int format) {
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

/// The depth of the engine's image of a decoded format, taken as a plain number like
/// IsSingleChannel.
SampleDepth DecodedDepth(int format) {
    switch (format) {
        case QImage::Format_Grayscale16:
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
            return SampleDepth::Bits16;
        default:
            return SampleDepth::Bits8;
    }
}

/// Refuses an image of width x height whose transform would exceed the largest side, or whose
/// estimated memory for limits.work at limits.transformSize exceeds limit bytes. An unknown
/// decoded format counts as colour.
IoResult CheckSize(const LoadLimits& limits, std::uint64_t width, std::uint64_t height, bool grey,
                   std::uint64_t limit, SampleDepth depth = SampleDepth::Bits8) {
    std::string refusal =
        ImageSizeRefusal(limits.work, width, height, grey, limit, limits.transformSize, depth);
    return refusal.empty() ? IoResult::Success() : IoResult::Failure(std::move(refusal));
}

/// The largest magnitude a floating-point sample of a width x height image may have: the
/// spectrum adds up to every sample of the transform, and its squared magnitudes must stay
/// finite in single precision (below about 3.4e38), so the sum is kept below 1e18.
float LargestFloatSample(std::uint64_t width, std::uint64_t height) {
    const double elements =
        static_cast<double>(SpectrumSize(width)) * static_cast<double>(SpectrumSize(height));
    return static_cast<float>(1e18 / elements);
}

/// Decodes a TIFF file of floating-point samples with libtiff, which Qt's reader cannot.
IoResult DecodeFloatTiff(std::unique_ptr<ImageBitmap>& slot, const ByteSource& bytes,
                         const TiffLayout& layout, const LoadLimits& limits) {
    if (IoResult fits = CheckSize(limits, layout.width, layout.height, layout.samplesPerPixel == 1,
                                  MemoryLimit(limits), SampleDepth::Float32);
        !fits) {
        return fits;
    }
    std::unique_ptr<ImageBitmap> image;
    if (std::string refusal = ReadFloatTiff(bytes, image); !refusal.empty()) {
        return IoResult::Failure(std::move(refusal));
    }
    const float largest = LargestFloatSample(image->Width(), image->Height());
    if (!FloatSamplesWithin(*image, largest)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3g", static_cast<double>(largest));
        return IoResult::Failure(
            std::string("samples too large: an image of this size may hold values up to ") + text +
            " in magnitude, beyond which its spectrum would overflow");
    }
    slot = std::move(image);
    return IoResult::Success();
}

/// Opens path for reading without blocking (a FIFO or a device would otherwise wait for a
/// writer) and makes sure it is a regular file. Returns the descriptor in fd and its length in
/// size.
IoResult OpenRegularFile(const std::filesystem::path& path, int& fd, std::uint64_t& size) {
    fd = -1;
    size = 0;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
                return IoResult::Failure("file not found");
            case EACCES:
                return IoResult::Failure("permission denied");
            case ENAMETOOLONG:
                return IoResult::Failure("the file name is too long");
            default:
                return IoResult::Failure(std::strerror(errno));
        }
    }
    if (S_ISDIR(info.st_mode)) {
        return IoResult::Failure("not a regular file: it is a folder");
    }
    if (S_ISFIFO(info.st_mode)) {
        return IoResult::Failure("not a regular file: it is a pipe");
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        return IoResult::Failure("not a regular file: it is a device");
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
    size = static_cast<std::uint64_t>(info.st_size);
    return IoResult::Success();
}

/// The big-endian 32-bit number at bytes.
std::uint32_t BigEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

/// The layout Qt's PNG decoder gives the image of a PNG file, told by its header and whether a
/// transparency chunk comes before the pixel data; Format_Invalid when the file does not say
/// (Qt's reader does not tell it before decoding).
QImage::Format PngImageFormat(const ByteSource& bytes) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8 + 8 + 13] = {};
    if (bytes.ReadAt(0, head, sizeof(head)) != sizeof(head) ||
        std::memcmp(head, kSignature, sizeof(kSignature)) != 0 ||
        std::memcmp(head + 12, "IHDR", 4) != 0) {
        return QImage::Format_Invalid;
    }
    const int depth = head[24];
    const int colourType = head[25];
    // The chunks up to the first pixel data: is there a transparency chunk?
    bool transparency = false;
    std::uint64_t offset = 8;
    for (int chunk = 0; chunk < 1000; ++chunk) {
        unsigned char header[8];
        if (bytes.ReadAt(offset, header, sizeof(header)) != sizeof(header)) {
            return QImage::Format_Invalid;
        }
        if (std::memcmp(header + 4, "IDAT", 4) == 0) {
            break;
        }
        transparency = transparency || std::memcmp(header + 4, "tRNS", 4) == 0;
        offset += 12 + std::uint64_t{BigEndian32(header)};
    }
    switch (colourType) {
        case 0:  // grey
            if (transparency) {
                return QImage::Format_Invalid;
            }
            return depth == 8    ? QImage::Format_Grayscale8
                   : depth == 16 ? QImage::Format_Grayscale16
                                 : QImage::Format_Invalid;
        case 2:  // colour
            if (depth == 8) {
                return transparency ? QImage::Format_ARGB32 : QImage::Format_RGB32;
            }
            return depth == 16 ? (transparency ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                               : QImage::Format_Invalid;
        case 3:  // palette
            return depth == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
        case 4:  // grey with alpha
        case 6:  // colour with alpha
            return depth == 8    ? QImage::Format_ARGB32
                   : depth == 16 ? QImage::Format_RGBA64
                                 : QImage::Format_Invalid;
        default:
            return QImage::Format_Invalid;
    }
}

/// Decodes the image file whose bytes device delivers (and bytes holds, for a look at its
/// structure first) into slot.
IoResult DecodeImage(std::unique_ptr<ImageBitmap>& slot, QIODevice& device, const ByteSource& bytes,
                     const LoadLimits& limits) {
    const ImageProbe probe = ProbeImageBytes(bytes);
    if (!probe.refusal.empty()) {
        return IoResult::Failure(probe.refusal);
    }
    if (const TiffLayout tiff = ProbeTiff(bytes); tiff.isTiff && tiff.floatSamples) {
        return DecodeFloatTiff(slot, bytes, tiff, limits);
    }

    const std::uint64_t memoryLimit = MemoryLimit(limits);
    CodecMessageCapture messages;
    QImageReader reader(&device);
    // Photographs come in upright: the orientation recorded in the file is applied.
    reader.setAutoTransform(true);

    // The size from the header, or a larger frame found in the file's structure, decides before
    // any pixel is decoded. Qt's own allocation limit (256 MB by default) would refuse ordinary
    // large photographs, so it is raised to what this image needs in the widest decoded layout
    // (four floats per pixel); when the header gives no size, the memory limit caps it and the
    // size is checked after decoding.
    const QSize headerSize = reader.size();
    std::uint64_t width = probe.frameWidth;
    std::uint64_t height = probe.frameHeight;
    if (headerSize.isValid() && !headerSize.isEmpty()) {
        width = std::max(width, static_cast<std::uint64_t>(headerSize.width()));
        height = std::max(height, static_cast<std::uint64_t>(headerSize.height()));
    }
    double allowedBytes = static_cast<double>(memoryLimit);
    if (width != 0 && height != 0) {
        if (IoResult fits = CheckSize(
                limits, width, height, IsSingleChannel(static_cast<int>(reader.imageFormat())),
                memoryLimit, DecodedDepth(static_cast<int>(reader.imageFormat())));
            !fits) {
            return fits;
        }
        allowedBytes = static_cast<double>(width) * static_cast<double>(height) * 16.0;
    }
    const double allowedMegabytes = std::ceil(allowedBytes / kMegabyte) + 1.0;
    AllocationLimitGuard allocationLimit(
        static_cast<int>(std::min(allowedMegabytes, static_cast<double>(INT_MAX))));

    // The JPEG and PNG decoders write into an image of the size and layout they are about to
    // produce when they are given one: the pixels then go once into memory laid out in large
    // pages (the bitmap's own, where its layout is the decoded one) instead of into a fresh
    // buffer, faulted in page by page, and then copied. A wrong guess of the layout costs only
    // that: the decoder then makes an image of its own.
    DecodeTarget target;
    const QByteArray decoder = reader.format();
    if (headerSize.isValid() && !headerSize.isEmpty() && (decoder == "jpeg" || decoder == "png")) {
        const QImage::Format format =
            decoder == "png" ? PngImageFormat(bytes) : KnownFormat(reader.imageFormat());
        target = MakeDecodeTarget(headerSize.width(), headerSize.height(), format);
    }
    // An animated or multi-page file gives its first frame: one read.
    const QImage& image = target.image;
    const bool decoded = reader.read(&target.image);
    if (!decoded || image.isNull()) {
        // A decoder that gave up part-way may leave a full-size image behind: it is not used.
        if (messages.Mentions("allocation limit")) {
            return IoResult::Failure("too large: the decoder needs more than the limit of " +
                                     MemorySizeText(memoryLimit));
        }
        switch (reader.error()) {
            case QImageReader::UnsupportedFormatError:
                return IoResult::Failure("not an image file or unsupported format");
            case QImageReader::DeviceError:
                return IoResult::Failure(WithDetail("read error", messages));
            default:
                return IoResult::Failure(WithDetail(
                    probe.warning.empty() ? "damaged or truncated image data"
                                          : "damaged or truncated image data: " + probe.warning,
                    messages));
        }
    }
    // The decoded size is what counts from here on (it may be turned, or differ from a header
    // that could not be read).
    if (IoResult fits = CheckSize(limits, static_cast<std::uint64_t>(image.width()),
                                  static_cast<std::uint64_t>(image.height()),
                                  IsSingleChannel(static_cast<int>(image.format())), memoryLimit,
                                  DecodedDepth(static_cast<int>(image.format())));
        !fits) {
        return fits;
    }

    const int decodedWidth = image.width();
    const int decodedHeight = image.height();
    slot = TakeDecodedBitmap(target);
    if (!slot) {
        return IoResult::Failure("not enough memory for " + std::to_string(decodedWidth) + " x " +
                                 std::to_string(decodedHeight) + " pixels");
    }
    // A file cut short in its pixel data (a JPEG stream that ends early, a GIF or BMP file
    // without its last rows) is still decoded as far as it goes, the rest filled in by the
    // decoder, and the reader reports success. Such an image is kept, with what is wrong passed
    // on as a warning: a person with a partly copied photograph would rather see what survives,
    // told that it is damaged, than be turned away. A file that is damaged before any pixel can
    // be decoded is refused above.
    IoResult result = IoResult::Success();
    result.warning = probe.warning.empty() ? messages.Text() : WithDetail(probe.warning, messages);
    return result;
}

}  // namespace

IoResult LoadImageFile(std::unique_ptr<ImageBitmap>& slot, const std::filesystem::path& path,
                       const LoadLimits& limits) {
    slot.reset();
    int fd = -1;
    std::uint64_t size = 0;
    if (IoResult opened = OpenRegularFile(path, fd, size); !opened) {
        return opened;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return IoResult::Failure("cannot read the file");
    }
    const FileBytes bytes(fd, size);
    return DecodeImage(slot, file, bytes, limits);
}

std::uint64_t EstimatedFileMemory(const std::filesystem::path& path, const LoadLimits& limits) {
    int fd = -1;
    std::uint64_t size = 0;
    if (!OpenRegularFile(path, fd, size)) {
        return 0;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return 0;
    }
    const CodecMessageCapture messages;
    QImageReader reader(&file);
    const QSize header = reader.size();
    if (!header.isValid() || header.isEmpty()) {
        return 0;
    }
    return EstimatedImageMemory(limits.work, static_cast<std::uint64_t>(header.width()),
                                static_cast<std::uint64_t>(header.height()),
                                IsSingleChannel(static_cast<int>(reader.imageFormat())),
                                limits.transformSize);
}

IoResult LoadImageData(std::unique_ptr<ImageBitmap>& slot, const void* data, std::size_t size,
                       const LoadLimits& limits) {
    slot.reset();
    if (data == nullptr || size == 0) {
        return IoResult::Failure("empty file");
    }
    const QByteArray array =
        QByteArray::fromRawData(static_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(array);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return IoResult::Failure("cannot read the data");
    }
    const MemoryBytes bytes(data, size);
    return DecodeImage(slot, buffer, bytes, limits);
}

}  // namespace quarvel
