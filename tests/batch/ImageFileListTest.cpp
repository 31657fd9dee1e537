#include "batch/ImageFileList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::TempFolder;
using test::WriteBytes;

/// Creates empty files with the given names in folder.
void Touch(const TempFolder& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        WriteBytes(folder / name, "x");
    }
}

std::vector<std::string> Prefixed(const std::string& folder,
                                  const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(folder + name);
    }
    return paths;
}

TEST(ListImageFiles, PatternOrderFirstThenNameOrderWithinEachPattern) {
    TempFolder folder;
    Touch(folder, {"c.bmp", "b.png", "a.jpg", "z.tif", "y.tiff", "m.jpg", "B.JPG", "n.Png"});
    std::vector<std::string> files;
    ASSERT_TRUE(ListImageFiles(folder.Text(), files));
    EXPECT_EQ(files, Prefixed(folder.Text(), {"B.JPG", "a.jpg", "m.jpg", "z.tif", "y.tiff", "b.png",
                                              "n.Png", "c.bmp"}));
}

TEST(ListImageFiles, MatchesTheWholeExtensionIgnoringCase) {
    TempFolder folder;
    Touch(folder, {"x.tiff", "x.TIF", "x.jpeg", "jpg", "x.jpg.txt", ".jpg", "x.tiff_n2", "x.jpg_n2",
                   "photo.BmP"});
    std::vector<std::string> files;
    ASSERT_TRUE(ListImageFiles(folder.Text(), files));
    EXPECT_EQ(files, Prefixed(folder.Text(), {".jpg", "x.TIF", "x.tiff", "photo.BmP"}));
}

TEST(ListImageFiles, SkipsFoldersAndLinksToFoldersButNotOtherEntries) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "sub.jpg");
    Touch(folder, {"sub.jpg/inner.jpg", "real.png"});
    std::filesystem::create_directory_symlink(folder / "sub.jpg", folder / "link.jpg");
    std::filesystem::create_symlink(folder / "missing.png", folder / "dangling.png");
    std::vector<std::string> files;
    ASSERT_TRUE(ListImageFiles(folder.Text(), files));
    // A broken link is listed: loading it fails later with a reason.
    EXPECT_EQ(files, Prefixed(folder.Text(), {"dangling.png", "real.png"}));
}

TEST(ListImageFiles, FolderThatCannotBeRead_GivesEmptyListAndReason) {
    TempFolder folder;
    Touch(folder, {"file.jpg"});
    std::vector<std::string> files = {"left over"};
    IoResult missing = ListImageFiles(folder.Text() + "missing/", files);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.message,
              "cannot read the folder " + folder.Text() + "missing/: folder not found");
    EXPECT_TRUE(files.empty());

    IoResult notFolder = ListImageFiles(folder.Text() + "file.jpg/", files);
    EXPECT_FALSE(notFolder);
    EXPECT_EQ(notFolder.message,
              "cannot read the folder " + folder.Text() + "file.jpg/: not a folder");

    EXPECT_FALSE(ListImageFiles("", files));
    EXPECT_TRUE(files.empty());
}

TEST(ListImageFiles, PathsLongerThanAnyFixedBufferWork) {
    TempFolder folder;
    std::filesystem::path deep = folder.Path();
    for (int level = 0; level < 6; ++level) {
        deep /= std::string(200, static_cast<char>('a' + level));
    }
    std::filesystem::create_directories(deep);
    WriteBytes(deep / "scan.png", "x");
    const std::string text = deep.string() + "/";
    ASSERT_GT(text.size(), 1200u);
    std::vector<std::string> files;
    ASSERT_TRUE(ListImageFiles(text, files));
    EXPECT_EQ(files, std::vector<std::string>{text + "scan.png"});
}

}  // namespace
}  // namespace quarvel
