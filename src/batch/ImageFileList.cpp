#include "batch/ImageFileList.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace quarvel {

namespace {

/// Why a folder could not be listed, in the program's words.
std::string FolderFailure(const std::string& folder, const std::error_code& error) {
    std::string reason;
    if (error == std::errc::no_such_file_or_directory) {
        reason = "folder not found";
    } else if (error == std::errc::not_a_directory) {
        reason = "not a folder";
    } else if (error == std::errc::permission_denied) {
        reason = "permission denied";
    } else {
        reason = error.message();
    }
    return "cannot read the folder " + folder + ": " + reason;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Whether name ends with suffix, ASCII letter case ignored (suffix is lower case).
bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(),
                      [](char a, char b) { return LowerAscii(a) == b; });
}

}  // namespace

IoResult ListImageFiles(const std::string& folder, std::vector<std::string>& fileList) {
    fileList.clear();
    // The folder is read once; the patterns then pick from its names.
    std::error_code error;
    std::filesystem::directory_iterator entry(std::filesystem::path(folder), error);
    if (error) {
        return IoResult::Failure(FolderFailure(folder, error));
    }
    std::vector<std::string> names;
    // A failed step ends the iteration with the error set.
    for (; entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        // A link to a folder counts as a folder; a broken link is listed and fails to load.
        std::error_code typeError;
        if (entry->is_directory(typeError)) {
            continue;
        }
        names.push_back(entry->path().filename().string());
    }
    if (error) {
        return IoResult::Failure(FolderFailure(folder, error));
    }
    std::sort(names.begin(), names.end());

    for (const char* pattern : kBatchPatterns) {
        // The pattern's "*" stands for any name, even an empty one.
        const std::string_view extension = std::string_view(pattern).substr(1);
        for (const std::string& name : names) {
            if (EndsWithIgnoringCase(name, extension)) {
                fileList.push_back(folder + name);
            }
        }
    }
    return IoResult::Success();
}

}  // namespace quarvel
