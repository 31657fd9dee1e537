#pragma once

#include <string>

namespace quarvel {

/// A path split into its parts with '/' as the separator. There are no drives, so drive is
/// always empty; directory keeps its leading and trailing separators ("/a/b/"), fileName is the
/// base name without extension and extension starts at the last dot of the final component
/// (a name that starts with its only dot, like ".profile", has no extension).
class VXFileName {
public:
    explicit VXFileName(std::string fullPath);

    /// Base name and extension joined: "b.c.jpg" for "/a/b.c.jpg".
    std::string GetFileName() const;
    /// Drive and directory joined, ending in '/' unless empty: "/a/" for "/a/b.jpg", "" for
    /// "b.jpg".
    std::string GetFolder() const;

    std::string path;
    std::string drive;
    std::string directory;
    std::string fileName;
    std::string extension;
};

}  // namespace quarvel
