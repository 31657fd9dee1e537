#include "imageio/ImageFile.h"

#include <cctype>
#include <string>

#include <QByteArray>
#include <QImageWriter>
#include <QList>

#include "imageio/VXFileName.h"

namespace quarvel {

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

/// The formats a file name may ask for: its extension in lower case, the MIME type and whether
/// it is the usual extension of that type.
struct NamedFormat {
    const char* extension;
    const char* mime;
    bool usual;
};

constexpr NamedFormat kNamedFormats[] = {
    {".jpg", "image/jpeg", true},  {".jpeg", "image/jpeg", false}, {".png", "image/png", true},
    {".tif", "image/tiff", true},  {".tiff", "image/tiff", false}, {".bmp", "image/bmp", true},
    {".webp", "image/webp", true},
};

const NamedFormat* FormatOfName(const std::filesystem::path& path) {
    std::string extension = VXFileName(path.string()).extension;
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const NamedFormat& format : kNamedFormats) {
        if (extension == format.extension) {
            return &format;
        }
    }
    return nullptr;
}

}  // namespace

std::string MimeForFileName(const std::filesystem::path& path) {
    const NamedFormat* format = FormatOfName(path);
    return format != nullptr ? format->mime : "image/jpeg";
}

bool HasImageExtension(const std::filesystem::path& path) {
    return FormatOfName(path) != nullptr;
}

std::string ExtensionForMime(const std::string& mime) {
    for (const NamedFormat& format : kNamedFormats) {
        if (format.usual && mime == format.mime) {
            return format.extension;
        }
    }
    return {};
}

bool IsLossyMime(const std::string& mime) {
    return mime == "image/jpeg" || mime == "image/webp";
}

}  // namespace quarvel
