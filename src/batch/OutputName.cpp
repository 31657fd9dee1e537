#include "batch/OutputName.h"

#include "imageio/ImageFile.h"
#include "imageio/VXFileName.h"

namespace quarvel {

std::string MakeOutputName(const std::string& sourcePath) {
    const std::size_t n = sourcePath.size();
    const std::size_t slash = sourcePath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (n >= 4 && sourcePath[n - 4] == '.' && n - 4 > nameStart) {
        return sourcePath.substr(0, n - 4) + "_flt" + sourcePath.substr(n - 4);
    }
    return sourcePath + "_n2";
}

std::string MatchOutputExtension(const std::string& name, const std::string& mime) {
    if (mime.empty() || MimeForFileName(name) == mime) {
        return name;
    }
    const std::string extension = ExtensionForMime(mime);
    if (!HasImageExtension(name)) {
        return name + extension;
    }
    return name.substr(0, name.size() - VXFileName(name).extension.size()) + extension;
}

}  // namespace quarvel
