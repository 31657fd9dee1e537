#include "imageio/ImageFile.h"

#include <sys/stat.h>

#include <string>
#include <utility>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include "imageio/CodecMessageCapture.h"
#include "imageio/QtBitmap.h"
#include "imageio/SafeFileWrite.h"

namespace quarvel {

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
    // The encoders only read the image: it shows the bitmap's own pixels where it can.
    const QImage picture = ViewAsQImage(image);
    if (picture.isNull()) {
        return IoResult::Failure("not enough memory to encode the image");
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
    return IoResult::Success();
}

}  // namespace quarvel
