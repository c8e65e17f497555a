#include "net/http/response_headers.h"

#include <gtest/gtest.h>

#include <optional>

namespace kov {
namespace {

TEST(ResponseHeaders, ReadsTheKnownHeaders) {
    ResourceInfo info;
    const unsigned flags = ParseResponseHeaders(
        "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
        "content-length:  12345\r\nAccept-Ranges: bytes\r\n"
        "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
        "Content-Disposition: attachment; filename=\"report 2026.pdf\"\r\n\r\n",
        info, false);
    EXPECT_EQ(flags, kHasContentType | kHasLength | kHasLastModified | kHasFileName);
    EXPECT_EQ(info.contentType, "text/html");
    EXPECT_EQ(info.category, 1);
    EXPECT_EQ(info.isHtml, 1);
    EXPECT_EQ(info.size, 12345u);
    EXPECT_EQ(info.acceptRanges, 1);
    EXPECT_EQ(info.lastModified, 784111776);  // 08:49:37 rounded down to an even second
    EXPECT_EQ(info.fileName, "report 2026.pdf");
}

TEST(ResponseHeaders, MissingTypeAndOddValues) {
    ResourceInfo info;
    info.size = 99;
    EXPECT_EQ(ParseResponseHeaders("HTTP/1.1 200 OK\r\nAccept-Ranges: none\r\n"
                                   "X-Content-Type: image/png\r\nLast-Modified: garbage\r\n",
                                   info, false),
              0u);
    EXPECT_EQ(info.contentType, "?????????");
    EXPECT_EQ(info.size, 0u);
    EXPECT_EQ(info.acceptRanges, 0);
    ParseResponseHeaders("Accept-Ranges: none\r\n", info, true);  // the probe accepts any
    EXPECT_EQ(info.acceptRanges, 1);
    ParseResponseHeaders("Content-Type: IMAGE/JPEG\r\n", info, false);
    EXPECT_EQ(info.category, 2);
    EXPECT_EQ(info.isHtml, 0);
    ParseResponseHeaders("Content-Type: text/HTML\r\n", info, false);
    EXPECT_EQ(info.isHtml, 1);
    ParseResponseHeaders("Content-Type: " + std::string(80, 'x') + "\r\n", info, false);
    EXPECT_EQ(info.contentType.size(), ResourceInfo::kTypeCapacity);
}

TEST(ResponseHeaders, LocationOnlyForTheProbe) {
    ResourceInfo info;
    EXPECT_EQ(ParseResponseHeaders("Location: /next\r\n", info, false), 0u);
    EXPECT_EQ(ParseResponseHeaders("Location: /next\r\n", info, true), kHasLocation);
    EXPECT_EQ(info.finalUrl, "/next");
}

TEST(ResponseHeaders, ServerFileNamesNeverCarryAPath) {
    ResourceInfo info;
    ParseResponseHeaders("Content-Disposition: attachment; filename=\"../../etc/passwd\"\r\n", info,
                         false);
    EXPECT_EQ(info.fileName, "passwd");
    ParseResponseHeaders("Content-Disposition: attachment; filename=..\\..\\boot.ini\r\n", info,
                         false);
    EXPECT_EQ(info.fileName, "boot.ini");
    ParseResponseHeaders("Content-Disposition: inline; filename='a.txt'; size=3\r\n", info, false);
    EXPECT_EQ(info.fileName, "a.txt");
    ParseResponseHeaders("Content-Disposition: attachment; filename=b.txt; size=3\r\n", info,
                         false);
    EXPECT_EQ(info.fileName, "b.txt");
    info = ResourceInfo{};
    EXPECT_EQ(
        ParseResponseHeaders("Content-Disposition: attachment; filename=\"..\"\r\n", info, false) &
            kHasFileName,
        0u);
    // Controls and everything a shell reads become '_'.
    EXPECT_EQ(PlainFileName("a\x01"
                            "b\x7f:c"),
              "a_b__c");
    EXPECT_EQ(PlainFileName("$(id)`x`;a|b&c<d>e'f\"g.txt"), "_(id)_x__a_b_c_d_e_f_g.txt");
    EXPECT_EQ(PlainFileName("/"), "");
    EXPECT_EQ(FileNameOfUrl("http://h/d/a?b*c;d"), "a_b_c_d");
}

TEST(ResponseHeaders, ContentRangeIsARangeOfItsWhole) {
    const struct {
        const char* header;
        std::int64_t start;  // -2: refused
        std::int64_t total;
    } cases[] = {
        {"Content-Range: bytes 100-199/1000", 100, 1000},
        {"content-range: bytes 0-9/*", 0, -1},
        {"Content-Range: bytes 100-199/1", -2, 0},  // starts past the end of the whole
        {"Content-Range: bytes 5-5/5", -2, 0},
        {"Content-Range: items 1-2/3", -2, 0},
        {"Content-Range: bytes */500", -2, 0},
    };
    for (const auto& c : cases) {
        const std::optional<ContentRange> range = ParseContentRange(c.header);
        ASSERT_EQ(range.has_value(), c.start != -2) << c.header;
        if (!range) continue;
        EXPECT_EQ(range->start, c.start) << c.header;
        EXPECT_EQ(range->total, c.total) << c.header;
    }
}

}  // namespace
}  // namespace kov
