#include "model/content_category.h"

#include <gtest/gtest.h>

#include <string>

namespace kov {
namespace {

TEST(ContentCategory, MediaTypesByPrefix) {
    EXPECT_EQ(CategoryFromMediaType("text/html; charset=utf-8"), 1);
    EXPECT_EQ(CategoryFromMediaType("IMAGE/png"), 2);
    EXPECT_EQ(CategoryFromMediaType("application/zip"), 5);
    EXPECT_EQ(CategoryFromMediaType("x-conference/x-cooltalk"), 8);
    EXPECT_EQ(CategoryFromMediaType("message/rfc822"), 9);
    EXPECT_EQ(CategoryFromMediaType(""), 9);
}

TEST(ContentCategory, ExtensionsOfPathsAndUrls) {
    EXPECT_EQ(CategoryFromExtension("http://h/a.JPG"), 2);
    EXPECT_EQ(CategoryFromExtension("http://h/pic.jpeg?w=100&h=50"), 2);
    EXPECT_EQ(CategoryFromExtension("/a.gzip"), 5);
    EXPECT_EQ(CategoryFromExtension("/a.rar"), 0);  // not in this list
    EXPECT_EQ(CategoryFromExtension("/dir.d/file"), 0);
    EXPECT_EQ(CategoryFromExtension("c:\\dir.d\\file"), 0);
    EXPECT_EQ(CategoryFromExtension("noext"), 0);
    EXPECT_EQ(CategoryFromExtension("/a."), 0);

    // The bare-address variant differs in its lists and takes prefixes.
    EXPECT_EQ(GuessCategory(".rar"), 5);
    EXPECT_EQ(GuessCategory(".wmv"), 0);
    EXPECT_EQ(GuessCategory(".SHTx"), 1);
    EXPECT_EQ(GuessCategory(".pht"), 0);
    EXPECT_EQ(GuessCategory(".jpg?x=1"), 2);
    EXPECT_EQ(GuessCategory(".wrl.gz"), 6);
    EXPECT_EQ(GuessCategory(".htm" + std::string(200, 'l')), 1);
    EXPECT_EQ(GuessCategory(""), 0);
}

TEST(ContentCategory, NamesAndExtensionsOutsideTheTableAreEmpty) {
    EXPECT_EQ(CategoryName(7), "Other");
    EXPECT_EQ(CategoryName(8), "");  // not offered to the user
    EXPECT_EQ(CategoryName(-1), "");
    EXPECT_EQ(DefaultExtension(0), "");
    EXPECT_EQ(DefaultExtension(9), ".bin");
    EXPECT_EQ(DefaultExtension(10), "");
    EXPECT_EQ(DefaultExtension(-3), "");
}

}  // namespace
}  // namespace kov
