#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace quarvel::test {

/// A fresh empty folder under the system's temporary folder, removed with everything in it when
/// the object goes.
class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quarvel-batch-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
            if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
            }
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    /// The folder's path with a trailing '/', as the batch names its files.
    std::string Text() const { return path_.string() + "/"; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::filesystem::path TestImage(const std::string& name) {
    return std::filesystem::path(QUARVEL_TEST_DATA) / "images" / name;
}

/// Whether the file starts with the JPEG start-of-image marker FF D8.
inline bool IsJpeg(const std::filesystem::path& path) {
    const std::string bytes = ReadBytes(path);
    return bytes.size() > 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xD8;
}

/// The lines of a log whose lines each end with "\r\n"; a last line without one is returned
/// with "<unterminated>" in front so that comparisons show it.
inline std::vector<std::string> LogLines(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("<unterminated>" + log.substr(start));
            break;
        }
        lines.push_back(log.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace quarvel::test
