#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

namespace quarvel::test {

/// A fresh empty folder under the system's temporary folder, removed with everything in it when
/// the object goes (folders a test made read-only included).
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quarvel-XXXXXX").string();
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

    /// The names of the entries in the folder.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

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

/// A file of the test images.
inline std::filesystem::path TestImage(const std::string& name) {
    return std::filesystem::path(QUARVEL_TEST_DATA) / "images" / name;
}

/// Whether the file starts with the JPEG start-of-image marker FF D8.
inline bool IsJpeg(const std::filesystem::path& path) {
    const std::string bytes = ReadBytes(path);
    return bytes.size() > 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xD8;
}

/// The format a file's first bytes show: "jpeg", "png", "tiff", "bmp", "webp", or "other".
inline std::string FileFormat(const std::filesystem::path& path) {
    const std::string bytes = ReadBytes(path);
    const auto startsWith = [&bytes](std::string_view head) {
        return bytes.compare(0, head.size(), head) == 0;
    };
    if (startsWith("\xFF\xD8\xFF")) {
        return "jpeg";
    }
    if (startsWith("\x89PNG\r\n\x1A\n")) {
        return "png";
    }
    if (startsWith(std::string_view("II*\0", 4)) || startsWith(std::string_view("MM\0*", 4))) {
        return "tiff";
    }
    if (startsWith("BM")) {
        return "bmp";
    }
    if (startsWith("RIFF") && bytes.compare(8, 4, "WEBP") == 0) {
        return "webp";
    }
    return "other";
}

/// A small memory file system mounted on a fresh folder, for writes that meet a really full
/// disk; unmounted with everything in it when the object goes. Mounting needs root: Mounted() is
/// false otherwise, and the test is to be skipped.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const char* size = "4m") {
        if (::geteuid() != 0 || folder_.Path().empty()) {
            return;
        }
        const std::string options = std::string("size=") + size;
        mounted_ = ::mount("tmpfs", folder_.Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount2(folder_.Path().c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return mounted_; }
    const std::filesystem::path& Path() const { return folder_.Path(); }
    std::filesystem::path operator/(const std::string& name) const { return folder_ / name; }

    /// Takes every free byte with a file named "filler", as `dd if=/dev/zero of=filler` does.
    void Fill() const {
        const int fd = ::open((folder_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ASSERT_GE(fd, 0);
        static const char zeros[65536] = {};
        for (std::size_t piece = sizeof zeros; piece > 0; piece /= 2) {
            while (::write(fd, zeros, piece) == static_cast<ssize_t>(piece)) {
            }
        }
        ::close(fd);
    }

private:
    TempFolder folder_;
    bool mounted_ = false;
};

/// The lines of text, each ended by ending; a last line without one is returned with
/// "<unterminated>" in front so that comparisons show it.
inline std::vector<std::string> SplitLines(const std::string& text, std::string_view ending) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(ending, start);
        if (end == std::string::npos) {
            lines.push_back("<unterminated>" + text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + ending.size();
    }
    return lines;
}

/// The lines of a batch log, each ended by "\r\n".
inline std::vector<std::string> LogLines(const std::string& log) {
    return SplitLines(log, "\r\n");
}

/// Whether line matches pattern, in which '#' stands for one or more digits, '?' for one digit
/// and a final '*' for any rest; every other character stands for itself.
inline bool MatchesPattern(std::string_view line, std::string_view pattern) {
    if (pattern.empty()) {
        return line.empty();
    }
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    switch (pattern.front()) {
        case '*':
            return pattern.size() == 1;
        case '#': {
            std::size_t digits = 0;
            while (digits < line.size() && isDigit(line[digits])) {
                ++digits;
            }
            return digits > 0 && MatchesPattern(line.substr(digits), pattern.substr(1));
        }
        case '?':
            return !line.empty() && isDigit(line.front()) &&
                   MatchesPattern(line.substr(1), pattern.substr(1));
        default:
            return !line.empty() && line.front() == pattern.front() &&
                   MatchesPattern(line.substr(1), pattern.substr(1));
    }
}

/// Expects as many lines as patterns, each matching its pattern.
inline void ExpectLinesMatch(const std::vector<std::string>& lines,
                             const std::vector<std::string>& patterns) {
    ASSERT_EQ(lines.size(), patterns.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(MatchesPattern(lines[i], patterns[i]))
            << "line " << i << ": " << lines[i] << "\npattern: " << patterns[i];
    }
}

}  // namespace quarvel::test
