#include "imageio/ImageFile.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include "engine/DeepImage.h"
#include "imageio/CodecMessageCapture.h"
#include "imageio/FloatTiffFile.h"
#include "imageio/QtBitmap.h"
#include "imageio/SafeFileWrite.h"

namespace quarvel {

namespace {

/// The name people know the format of mime by.
std::string FormatName(const std::string& mime) {
    if (mime == "image/jpeg") {
        return "JPEG";
    }
    if (mime == "image/bmp") {
        return "BMP";
    }
    if (mime == "image/webp") {
        return "WebP";
    }
    return mime;
}

/// What an image of 16-bit or floating-point samples is written as in a file of mime, when not
/// at its own depth: a copy at 16 or 8 bits, and a warning that says so. PNG and TIFF keep 16
/// bits, TIFF keeps floating point too. Null copy and no warning when the image goes as it is.
std::unique_ptr<ImageBitmap> NarrowedForFile(const ImageBitmap& image, const std::string& mime,
                                             std::string& warning, bool& outOfMemory) {
    outOfMemory = false;
    const SampleDepth depth = DepthOf(image.Format());
    const bool png = mime == "image/png";
    const bool tiff = mime == "image/tiff";
    if (depth == SampleDepth::Bits8 || (depth == SampleDepth::Bits16 && (png || tiff)) ||
        (depth == SampleDepth::Float32 && tiff)) {
        return nullptr;
    }
    const FloatWindow window = FloatWindow::Of(image);
    char range[96];
    std::snprintf(range, sizeof range, "the values from %g to %g mapped onto 0 to %s",
                  static_cast<double>(window.lowest), static_cast<double>(window.highest),
                  png ? "65535" : "255");
    const std::string from =
        depth == SampleDepth::Bits16 ? "16-bit samples" : "floating-point samples";
    std::unique_ptr<ImageBitmap> narrowed;
    if (png) {
        narrowed = FloatTo16Bits(image);
        warning = "PNG holds no floating-point samples: written at 16 bits, " + std::string(range);
    } else {
        narrowed = ReduceTo8Bits(image);
        warning = FormatName(mime) + " holds 8 bits a sample: the image of " + from +
                  " was written at 8 bits" +
                  (depth == SampleDepth::Float32 ? ", " + std::string(range) : std::string());
    }
    outOfMemory = narrowed == nullptr;
    return narrowed;
}

}  // namespace

IoResult SaveImageFile(const ImageBitmap& image, const std::filesystem::path& path,
                       const SaveOptions& options) {
    const std::string mime = options.mime.empty() ? MimeForFileName(path) : options.mime;
    EncoderId encoder;
    if (FindEncoderByMime(mime, &encoder) < 0) {
        return IoResult::Failure("cannot write " + path.string() + ": no encoder for " + mime +
                                 " on this system");
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
    std::string warning;
    bool outOfMemory = false;
    const std::unique_ptr<ImageBitmap> narrowed =
        NarrowedForFile(image, mime, warning, outOfMemory);
    if (outOfMemory) {
        return IoResult::Failure("not enough memory to encode the image");
    }
    const ImageBitmap& source = narrowed ? *narrowed : image;
    if (source.Format() == PixelFormat32bppGrayFloat) {
        std::vector<char> file;
        if (std::string failure = EncodeFloatTiff(source, file); !failure.empty()) {
            return IoResult::Failure(std::move(failure));
        }
        if (std::string failure = WriteFileReplacing(path, file.data(), file.size());
            !failure.empty()) {
            return IoResult::Failure(std::move(failure));
        }
        return IoResult::Success();
    }
    // The encoders only read the image: it shows the bitmap's own pixels where it can.
    QImage picture = ViewAsQImage(source);
    if (picture.isNull()) {
        return IoResult::Failure("not enough memory to encode the image");
    }
    if (mime == "image/tiff") {
        // The TIFF encoder writes a colour map of 256 entries however short the table is.
        PadColourTable(picture);
    }

    // The image is encoded in memory first: an encoder failure then touches no file, and the
    // size of what is to be written is known when the write fails.
    QByteArray encoded;
    {
        CodecMessageCapture messages;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, QByteArray::fromStdString(encoder.format));
        if (options.quality >= 0) {
            writer.setQuality(options.quality);
        }
        if (!writer.write(picture)) {
            return IoResult::Failure(
                WithDetail("the " + mime + " encoder cannot write this image", messages));
        }
    }
    if (std::string failure =
            WriteFileReplacing(path, encoded.constData(), static_cast<std::size_t>(encoded.size()));
        !failure.empty()) {
        return IoResult::Failure(std::move(failure));
    }
    IoResult result = IoResult::Success();
    result.warning = std::move(warning);
    return result;
}

}  // namespace quarvel
