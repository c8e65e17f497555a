#include "model/macro_expander.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "support/env_guard.h"

namespace kov {
namespace {

class MacroExpanderTest : public ::testing::Test {
protected:
    test::TimeZone m_tz{"UTC0"};
    void SetUp() override {
        context.appFolder = "/opt/kov/";
        context.appDrive = "/";
        context.listName = "News";
        context.listFolder = "/home/me/lists/news/";
        context.mru = "/home/me/recent/";
        context.now = MakeTime(CalendarTime{2005, 3, 7, 14, 5, 9, 0});
    }

    std::string Expand(std::string_view url, std::string_view templ, unsigned set) {
        std::string out = "<untouched>";
        EXPECT_TRUE(ExpandMacros(out, kMacroCapacity, url, templ, set, context)) << url;
        return out;
    }

    MacroContext context;
};

constexpr unsigned kUrlMacros = 0x3F;

TEST_F(MacroExpanderTest, UrlPartsOfAddresses) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://news.example.co.uk/a/b/pic%201.jpg",
         "news.example.co.uk|news.example|co.uk|/a/b|pic 1.jpg"},
        {"ftp://user:pw@example.com:2121/f.zip", "example.com||example.com||f.zip"},
        {"http://localhost", "localhost||localhost||"},
        {"file://C:\\dir\\a.txt", "C:|||\\dir\\|a.txt"},
        {"file:///home/me/a.txt", "|||/home/me/|a.txt"},
        {"file:////server/share/a.txt", "server|||/share/|a.txt"},
    };
    for (const auto& [url, parts] : cases) {
        EXPECT_EQ(Expand(url, "{SITE}|{SUBDOMAIN}|{DOMAIN}|{PATH}|{OBJECT}", kUrlMacros), parts);
    }
    // Names ignore case; every occurrence is replaced, also one that ends the text.
    EXPECT_EQ(Expand("http://www.example.com/", "{url} {Site}", kUrlMacros),
              "http://www.example.com/ www.example.com");
    EXPECT_EQ(Expand("", "{DD}-{dd}", kMacroDay), "07-07");
}

TEST_F(MacroExpanderTest, EachSetReplacesItsMacros) {
    static constexpr std::array<std::pair<const char*, const char*>, 17> kValues = {
        {{"{URL}", "http://www.example.com/x/y.html"},
         {"{SITE}", "www.example.com"},
         {"{URLSITE}", "http://www.example.com"},
         {"{SUBDOMAIN}", "www"},
         {"{DOMAIN}", "example.com"},
         {"{PATH}", "/x"},
         {"{OBJECT}", "y.html"},
         {"{DATE}", "2005.03.07"},
         {"{TIME}", "14:05"},
         {"{YYYY}", "2005"},
         {"{MM}", "03"},
         {"{DD}", "07"},
         {"{APPFOLDER}", "/opt/kov/"},
         {"{APPDRIVE}", "/"},
         {"{LISTFOLDER}", "/home/me/lists/news/"},
         {"{LIST}", "News"},
         {"{MRU}", "/home/me/recent/"}}};
    auto expected = [](std::initializer_list<std::string_view> kept) {
        std::string text;
        for (const auto& [name, value] : kValues) {
            bool keep = false;
            for (std::string_view k : kept)
                keep = keep || k == name;
            text += keep ? name : value;
            text += '|';
        }
        return text;
    };
    std::string templ;
    for (const auto& entry : kValues)
        templ += std::string(entry.first) + "|";
    const char* url = kValues[0].second;

    EXPECT_EQ(Expand(url, templ, kPathMacroSet),
              expected({"{URL}", "{SITE}", "{URLSITE}", "{SUBDOMAIN}", "{DOMAIN}", "{PATH}",
                        "{OBJECT}", "{DATE}", "{TIME}", "{YYYY}", "{MM}", "{LIST}", "{MRU}"}));
    EXPECT_EQ(Expand(url, templ, kNameMacroSet),
              expected({"{PATH}", "{LIST}", "{LISTFOLDER}", "{MRU}"}));
    EXPECT_EQ(Expand(url, templ, kFolderMacroSet), expected({"{PATH}"}));
    EXPECT_EQ(Expand(url, templ, 0x1FFF), expected({}));

    // The path set on a dated folder keeps the year and month and fills in the day.
    EXPECT_EQ(Expand("", "{APPFOLDER}{YYYY}/{MM}/{DD}/", kPathMacroSet),
              "/opt/kov/{YYYY}/{MM}/07/");
}

TEST_F(MacroExpanderTest, UrlSiteOfHttpsDependsOnTheSwitch) {
    const char* url = "https://secure.example.com/a/b";
    EXPECT_EQ(Expand(url, "{URLSITE}", kMacroUrlSite), "https:/");
    context.enableHttps = true;
    EXPECT_EQ(Expand(url, "{URLSITE}", kMacroUrlSite), "https://secure.example.com");
    EXPECT_EQ(Expand("http://example.com", "{URLSITE}", kMacroUrlSite), "http://example.com");
    EXPECT_EQ(Expand("ftp://h:21/x/y", "{URLSITE}", kMacroUrlSite), "ftp://h:21");
}

TEST_F(MacroExpanderTest, EmptyAndUnsplittableAddresses) {
    // Without an address the URL macros stay as text; the others are replaced.
    EXPECT_EQ(Expand("", "{URL}{SITE}{OBJECT}-{YYYY}", 0x1FFF), "{URL}{SITE}{OBJECT}-2005");

    std::string out = "keep";
    EXPECT_FALSE(ExpandMacros(out, kMacroCapacity, "www.example.com/a", "{SITE}", 0x1FFF, context));
    EXPECT_EQ(out, "keep");
    EXPECT_FALSE(ExpandMacros(out, kMacroCapacity, "http://h:x/", "{LIST}", 0x1FFF, context));
    EXPECT_EQ(out, "keep");
}

TEST_F(MacroExpanderTest, SeparatorRunsCollapse) {
    EXPECT_EQ(Expand("", "/data//x\\\\\\y///z|http://h//a", 0), "/data/x\\y/z|http://h/a");
    EXPECT_EQ(Expand("", "C:\\\\Data\\\\\\\\x", 0), "C:\\Data\\x");
    EXPECT_EQ(Expand("", "file:///home//me", 0), "file:///home/me");
    // A folder value with a trailing '/' followed by '/' in the template gives one '/'.
    EXPECT_EQ(Expand("", "{LISTFOLDER}/{LIST}", kNameMacroSet | kMacroList | kMacroListFolder),
              "/home/me/lists/news/News");
    EXPECT_EQ(CollapseSeparators("a/\\b"), "a/\\b");  // different separators are two runs
}

TEST_F(MacroExpanderTest, NamesFromTheAddressCannotClimbFoldersOrReachAShell) {
    // The host itself reads "{SITE}.x": replacing it does not loop.
    EXPECT_EQ(Expand("http://{SITE}.x/", "{SITE}", kMacroSite), "{SITE}.x");
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/a/..", "h|h|/a|_"},
        {"http://h/a/..%2F..%2Fetc", "h|h|/a/_/_|etc"},
        {"http://h/a%5C..%5Cx%0A", "h|h||a_.._x_"},
        {"http://../x", "_|_||x"},
        {"file://../x", "_||/|x"},
        {"http://h/%24(id)%60x%60/a%3Bb%7Cc%26d%3Ce%3Ef%27g%22.txt",
         "h|h|/_(id)_x_|a_b_c_d_e_f_g_.txt"},
        {"file:///t;rm -rf ~/a$b|c", "||/t_rm -rf ~/|a_b_c"},
    };
    for (const auto& [url, parts] : cases)
        EXPECT_EQ(Expand(url, "{SITE}|{DOMAIN}|{PATH}|{OBJECT}", kUrlMacros), parts) << url;
}

TEST_F(MacroExpanderTest, HugeOrHostileTemplatesStayBounded) {
    std::string out;
    ASSERT_TRUE(ExpandMacros(out, 5, "", "\xC3\xA9\xC3\xA9\xC3\xA9", 0, context));
    EXPECT_EQ(out, "\xC3\xA9\xC3\xA9");

    const std::string longUrl = "http://example.com/" + std::string(100000, 'a');
    std::string manyMacros;
    for (int i = 0; i < 200000; ++i)
        manyMacros += "{URL}{OBJECT}";
    ASSERT_TRUE(ExpandMacros(out, kMacroCapacity, longUrl, manyMacros, 0x1FFF, context));
    EXPECT_EQ(out.size(), kMacroCapacity);
    EXPECT_EQ(out.substr(0, 19), "http://example.com/");

    const std::string open(1000000, '{');
    ASSERT_TRUE(ExpandMacros(out, kMacroCapacity, longUrl, open, 0x1FFF, context));
    EXPECT_EQ(out, std::string(kMacroCapacity, '{'));
    EXPECT_EQ(Expand("http://h/", "{{{{URL}}}}", kMacroUrl), "{{{http://h/}}}");
}

}  // namespace
}  // namespace kov
