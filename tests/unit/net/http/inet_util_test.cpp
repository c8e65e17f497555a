#include <curl/curl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "net/http/inet.h"
#include "net/http/inet_util.h"
#include "support/env_guard.h"

namespace kov {
namespace {

// Resolves as a browser would, encodes nothing, and needs no usable base for absolute ones.
TEST(CombineUrl, ResolvesEncodesNothingAndRejectsJunk) {
    const std::string page = "http://example.com/dir/sub/page.html?x=1";
    const std::string dir = "http://example.com/dir/";
    const struct {
        std::string base;
        const char* relative;
        const char* expected;  // nullptr: rejected
    } cases[] = {
        {page, "other.html", "http://example.com/dir/sub/other.html"},
        {page, "../up.html", "http://example.com/dir/up.html"},
        {page, "../../../top.html", "http://example.com/top.html"},
        {page, "/root.html", "http://example.com/root.html"},
        {page, "?y=2", "http://example.com/dir/sub/page.html?y=2"},
        {page, "//cdn.example.org/a.png", "http://cdn.example.org/a.png"},
        {page, "https://other.org/b", "https://other.org/b"},
        {"http://example.com:8080/a/", "b", "http://example.com:8080/a/b"},
        {page, "ftp://files.example.com/x.zip", "ftp://files.example.com/x.zip"},
        {dir, "a%20b.html", "http://example.com/dir/a%20b.html"},
        {dir, "my file.html", "http://example.com/dir/my file.html"},
        {dir, "q?a=b&c=%41", "http://example.com/dir/q?a=b&c=%41"},
        {dir, "ü é.html#a b", "http://example.com/dir/ü é.html#a b"},
        {dir, "x~k0~20.html", "http://example.com/dir/x~k0~20.html"},
        {dir, "http://other.org/a b/ü", "http://other.org/a b/ü"},
        {"not a url", "page.html", nullptr},
        {"", "page.html", nullptr},
        {dir, "http://[::1", nullptr},
        {dir, "http://exa mple.com/", nullptr},
        {"junk", "http://example.com/a", "http://example.com/a"},
        {dir, "mailto:someone@example.com", "mailto:someone@example.com"},
        {dir, "http:x.html", "http://example.com/dir/x.html"},
        // The base's fragment is dropped, even one that reads like a path.
        {"http://example.com/a/b#x/y/", "s", "http://example.com/a/s"},
        {"http://example.com/a/b?q#x/y/", "#f", "http://example.com/a/b?q#f"},
        {"http:/s#</style/", "s", "http://s/s"},
        {page, "#top", "http://example.com/dir/sub/page.html?x=1#top"},
        {dir, "#a b", "http://example.com/dir/#a b"},
    };
    for (const auto& c : cases) {
        const auto combined = CombineUrl(c.base, c.relative);
        EXPECT_EQ(combined, c.expected ? std::optional<std::string>(c.expected) : std::nullopt)
            << c.base << " + " << c.relative;
    }
}

TEST(ParseHttpTime, ReadsTheThreeHttpFormatsAndRejectsJunk) {
    constexpr std::time_t kExpected = 784111777;  // 1994-11-06 08:49:37 UTC
    EXPECT_EQ(ParseHttpTime("Sun, 06 Nov 1994 08:49:37 GMT"), kExpected);
    EXPECT_EQ(ParseHttpTime("Sunday, 06-Nov-94 08:49:37 GMT"), kExpected);
    EXPECT_EQ(ParseHttpTime("Sun Nov  6 08:49:37 1994"), kExpected);
    EXPECT_EQ(ParseHttpTime("  Sun, 06 Nov 1994 08:49:37 GMT\r\n"), kExpected);
    EXPECT_EQ(FormatHttpTime(kExpected), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(ParseHttpTime(FormatHttpTime(1700000001)), 1700000001);
    EXPECT_EQ(ParseHttpTime(""), std::nullopt);
    EXPECT_EQ(ParseHttpTime("yesterday"), std::nullopt);
    EXPECT_EQ(ParseHttpTime("not a date"), std::nullopt);
    EXPECT_EQ(ParseHttpTime("Sun, 99 Foo 1994 99:99:99 GMT"), std::nullopt);
    EXPECT_EQ(ParseHttpTime(std::string_view("Sun, 06 Nov\0 1994 08:49:37 GMT", 31)), std::nullopt);
}

// The preferred form has a reader of its own: it must agree with libcurl's on every date, and
// leave what it cannot judge (an impossible day, a leap second, a year before 1970) to it.
TEST(ParseHttpTime, PreferredFormAgreesWithTheGeneralParser) {
    ASSERT_TRUE(InternetGlobalInit());
    std::vector<std::string> dates = {
        "Thu, 01 Jan 1970 00:00:00 GMT", "Tue, 29 Feb 2000 12:00:00 GMT",
        "Fri, 29 Feb 2008 23:59:59 GMT", "Tue, 19 Jan 2038 03:14:08 GMT",
        "Fri, 31 Dec 9999 23:59:59 GMT", "Mon, 06 Nov 1994 08:49:37 GMT",
        "Sun, 30 Feb 2001 10:00:00 GMT", "Sun, 29 Feb 1900 10:00:00 GMT",
        "Sun, 31 Dec 1969 23:59:59 GMT", "Sat, 31 Dec 2016 23:59:60 GMT",
        "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 08:49:37 UTC",
        "Sun, 6 Nov 1994 08:49:37 GMT",  "Sun, 06 nov 1994 08:49:37 GMT",
    };
    for (std::time_t t = 0; t < 4'200'000'000; t += 86'400 * 37 + 3'607)
        dates.push_back(FormatHttpTime(t));
    for (const std::string& date : dates) {
        const std::time_t general = curl_getdate(date.c_str(), nullptr);
        EXPECT_EQ(ParseHttpTime(date), general == -1 ? std::nullopt : std::optional(general))
            << date;
    }
}

TEST(EscapeForRequest, EscapesOnlyWhatCannotStandInARequestLine) {
    EXPECT_EQ(EscapeForRequest("/a b/c%20d?x=ü"), "/a%20b/c%20d?x=%C3%BC");
    EXPECT_EQ(EscapeForRequest("/tab\there\x7f"), "/tab%09here%7F");
    EXPECT_EQ(EscapeForRequest("/plain/path?q=1&r=2#f"), "/plain/path?q=1&r=2#f");
}

TEST(ProxyFromEnvironment, ReadsEitherCaseWithLowerCaseWinning) {
    const test::EnvGuard guard({"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                "ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                                "NO_PROXY"});
    for (const char* name : {"http_proxy", "ftp_proxy", "FTP_PROXY", "all_proxy", "no_proxy"})
        unsetenv(name);
    setenv("HTTP_PROXY", "http://upper:1", 1);
    setenv("https_proxy", "http://secure:2", 1);
    setenv("HTTPS_PROXY", "http://ignored:3", 1);
    setenv("ALL_PROXY", "http://all:4", 1);
    setenv("NO_PROXY", "localhost,.lan", 1);
    EXPECT_EQ(ProxyFromEnvironment("http").proxy, "http://upper:1");
    EXPECT_EQ(ProxyFromEnvironment("HTTPS").proxy, "http://secure:2");
    EXPECT_EQ(ProxyFromEnvironment("ftp").proxy, "http://all:4");
    EXPECT_EQ(ProxyFromEnvironment("http").noProxy, "localhost,.lan");
    EXPECT_EQ(ProxyFromEnvironment("file").proxy, "");
}

}  // namespace
}  // namespace kov
