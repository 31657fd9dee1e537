#include "imageio/VXFileName.h"

namespace quarvel {

VXFileName::VXFileName(std::string fullPath) : path(std::move(fullPath)) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    directory = path.substr(0, nameStart);
    const std::string name = path.substr(nameStart);
    // "." and ".." are names, not extensions; nor is the dot that starts a hidden file's name.
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name == "..") {
        fileName = name;
    } else {
        fileName = name.substr(0, dot);
        extension = name.substr(dot);
    }
}

std::string VXFileName::GetFileName() const {
    return fileName + extension;
}

std::string VXFileName::GetFolder() const {
    std::string folder = drive + directory;
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace quarvel
