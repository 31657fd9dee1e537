#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace quarvel {

/// Writes size bytes to path so that path afterwards holds either all of them or exactly what it
/// held before.
///
/// The bytes go to a new temporary file beside the target (".NAME.<six random characters>.part"),
/// written without any buffer of ours, synced to the disk and closed, each step checked; only then
/// is it renamed over the target, and a failure at any step removes it. An existing target keeps
/// its permission bits; a symbolic link is followed, so the file it names is replaced and the link
/// stays. Returns an empty string on success, else the reason as a person reads it, for example
/// "cannot write out.png: disk full (2 MB needed, 1 MB free)".
///
/// Unlike QSaveFile, whose buffered data is flushed inside commit() without the failure being
/// seen (a small file on a full disk ends up empty while commit() reports success), every write,
/// the sync and the close are judged here by their own system error codes.
std::string WriteFileReplacing(const std::filesystem::path& path, const void* data,
                               std::size_t size);

}  // namespace quarvel
