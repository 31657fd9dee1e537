#include <gtest/gtest.h>

#include "imageio/VXFileName.h"

namespace quarvel {
namespace {

struct SplitCase {
    const char* path;
    const char* folder;
    const char* fileName;
    const char* baseName;
    const char* extension;
};

class SplitPath : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitPath, GivesFolderAndFileName) {
    const SplitCase& expected = GetParam();
    const VXFileName name(expected.path);
    EXPECT_EQ(name.GetFolder(), expected.folder);
    EXPECT_EQ(name.GetFileName(), expected.fileName);
    EXPECT_EQ(name.fileName, expected.baseName);
    EXPECT_EQ(name.extension, expected.extension);
    EXPECT_EQ(name.drive, "");
    EXPECT_EQ(name.path, expected.path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitPath,
    testing::Values(SplitCase{"/a/b.jpg", "/a/", "b.jpg", "b", ".jpg"},
                    SplitCase{"b.jpg", "", "b.jpg", "b", ".jpg"},
                    SplitCase{"/a/b.c.jpg", "/a/", "b.c.jpg", "b.c", ".jpg"},
                    SplitCase{"/b.jpg", "/", "b.jpg", "b", ".jpg"},
                    SplitCase{"rel/dir/photo", "rel/dir/", "photo", "photo", ""},
                    SplitCase{"/a.d/photo", "/a.d/", "photo", "photo", ""},
                    SplitCase{"/home/u/.profile", "/home/u/", ".profile", ".profile", ""},
                    SplitCase{"/a/b/", "/a/b/", "", "", ""}, SplitCase{"", "", "", "", ""}));

TEST(VXFileName, VeryLongPath_IsKeptWhole) {
    const std::string folder = "/" + std::string(5000, 'd') + "/";
    const std::string file = std::string(3000, 'f') + ".jpeg";
    const VXFileName name(folder + file);
    EXPECT_EQ(name.GetFolder(), folder);
    EXPECT_EQ(name.GetFileName(), file);
    EXPECT_EQ(name.extension, ".jpeg");
}

}  // namespace
}  // namespace quarvel
