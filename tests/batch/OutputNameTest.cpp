#include "batch/OutputName.h"

#include <gtest/gtest.h>

#include <string>

namespace quarvel {
namespace {

struct NameCase {
    const char* source;
    const char* output;
};

class MakeOutputNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(MakeOutputNameTest, GivesTheBatchResultName) {
    EXPECT_EQ(MakeOutputName(GetParam().source), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MakeOutputNameTest,
    ::testing::Values(NameCase{"/img/photo.jpg", "/img/photo_flt.jpg"},
                      NameCase{"/img/a.b.png", "/img/a.b_flt.png"},
                      NameCase{"/img/photo.tiff", "/img/photo.tiff_n2"},
                      NameCase{"/img/.jpg", "/img/.jpg_n2"}, NameCase{"x.bmp", "x_flt.bmp"},
                      NameCase{".bmp", ".bmp_n2"}, NameCase{"abc", "abc_n2"}, NameCase{"", "_n2"},
                      NameCase{"/a.b/cjpg", "/a.b/cjpg_n2"},
                      NameCase{"/img/photo_flt.jpg", "/img/photo_flt_flt.jpg"}));

TEST(MakeOutputName, LongPathsKeepEveryCharacter) {
    const std::string folder = "/" + std::string(1000, 'd') + "/";
    EXPECT_EQ(MakeOutputName(folder + "scan.png"), folder + "scan_flt.png");
}

}  // namespace
}  // namespace quarvel
