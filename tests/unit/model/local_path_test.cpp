#include "model/local_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "support/env_guard.h"

namespace kov {
namespace {

class LocalPathTest : public ::testing::Test {
protected:
    test::TimeZone m_tz{"UTC0"};
    void SetUp() override {
        context.appFolder = "/opt/kov/";
        context.appDrive = "/";
        context.listFolder = "/home/me/lists/news/";
        context.now = MakeTime(CalendarTime{2005, 3, 7, 14, 5, 9, 0});
        time = MakeTime(CalendarTime{2005, 3, 6, 8, 0, 0, 0});  // a day back
        item = FreshItem();
        item.Dest = "/dl/";
    }

    std::string Path(const std::string& url, std::string_view overrideUrl = {}) {
        item.Url = url;
        return MakeLocalPath(item, time, overrideUrl, context);
    }

    MacroContext context;
    std::time_t time = 0;
    UrlItem item;
};

// No component of the path is "..".
bool StaysInside(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (path.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

TEST_F(LocalPathTest, FolderTakesTheNameOfTheUrl) {
    EXPECT_EQ(Path("http://h/a/pic.jpg"), "/dl/pic.jpg");
    EXPECT_EQ(Path("file:///home/me/a.txt"), "/dl/a.txt");
    item.Dest = "/dl/fixed.bin";
    EXPECT_EQ(Path("http://h/a/pic.jpg"), "/dl/fixed.bin");

    // Dest has its path macros and tokens expanded; Url its tokens, for time and CurrentNum.
    item.Dest = "{LISTFOLDER}%Y/{MM}/{DD}-%D/";
    item.CurrentNum = 5;
    EXPECT_EQ(Path("http://h/%M/pic%3u.jpg"), "/home/me/lists/news/2005/{MM}/07-06/pic005.jpg");

    // Backslashes are read as separators and written as '/'; runs collapse.
    item.Dest = "\\dl\\\\sub\\";
    EXPECT_EQ(Path("http://h/x.gif"), "/dl/sub/x.gif");
}

TEST_F(LocalPathTest, NameLessUrlsGetNonameAndTheCategoryExtension) {
    item.ConType = 2;
    EXPECT_EQ(Path("http://h/dir/"), "/dl/noname.jpg");
    item.ConType = 0;
    EXPECT_EQ(Path("http://h/dir/"), "/dl/noname");
    item.ConType = 1;
    EXPECT_EQ(Path("ftp://h/pub/"), "/dl/");  // other schemes leave the folder
    EXPECT_EQ(Path("https://h/"), "/dl/");
    context.enableHttps = true;
    EXPECT_EQ(Path("https://h/"), "/dl/noname.txt");

    // An override URL decides the category by its own extension.
    item.ConType = 2;
    item.Url = "http://h/";
    EXPECT_EQ(MakeLocalPath(item, time, "http://h/dir/", context), "/dl/noname");
    EXPECT_EQ(MakeLocalPath(item, time, "http://h/other.gif", context), "/dl/other.gif");

    item.Dest = "";
    EXPECT_EQ(Path("http://h/"), "noname.jpg");
}

// A name from the address must not run anything when a command line carries the path.
TEST_F(LocalPathTest, WildcardsAndShellMetacharactersBecomeUnderscores) {
    EXPECT_EQ(Path("http://h/cgi/get?id=1*2"), "/dl/get_id=1_2");
    EXPECT_EQ(Path("http://h/a;b|c&d`e`$(f)'g\"h<i>.txt"), "/dl/a_b_c_d_e__(f)_g_h_i_.txt");
    EXPECT_EQ(Path("file:///srv/x$y;z"), "/dl/x_y_z");
    EXPECT_EQ(Path("http://h/", "http://h/o$k"), "/dl/o_k");
    item.Dest = "/dl/a?b*/";
    EXPECT_EQ(Path("http://h/x.jpg"), "/dl/a_b_/x.jpg");
}

TEST_F(LocalPathTest, UrlNamesCannotLeaveTheFolder) {
    EXPECT_EQ(Path("http://h/a/../../etc/passwd"), "/dl/passwd");
    EXPECT_EQ(Path("http://h/a/.."), "/dl/_");
    EXPECT_EQ(Path("http://h/x/."), "/dl/_");
    EXPECT_EQ(Path("http://h/..%2f..%2fetc"), "/dl/..%2f..%2fetc");
    EXPECT_EQ(Path("http://h/a\\..\\..\\x"), "/dl/x");
    EXPECT_EQ(Path("file:///.."), "/dl/_");
    EXPECT_EQ(Path("http://h/a%0a\x01"), "/dl/a%0a_");
    EXPECT_EQ(Path("http://h/", "http://evil/.."), "/dl/_");
    for (const char* url : {"http://h/..", "http://h/../", "http://h/..?", "http://..", "file://..",
                            "http://h/a/..\\..", "http://h/%2e%2e"}) {
        const std::string path = Path(url);
        EXPECT_TRUE(StaysInside(path)) << url << " -> " << path;
        EXPECT_EQ(path.rfind("/dl/", 0), 0u) << url << " -> " << path;
    }

    // A name cut at the capacity does not end as ".." or ".".
    for (int fill = 505; fill <= 509; ++fill) {
        item.Dest = "/" + std::string(fill, 'a') + "/";
        const std::string path = Path("http://h/..x");
        EXPECT_LE(path.size(), kLocalPathCapacity);
        EXPECT_TRUE(StaysInside(path)) << fill;
        const std::string name = path.substr(path.rfind('/') + 1);
        EXPECT_NE(name, ".") << fill;
    }
}

}  // namespace
}  // namespace kov
