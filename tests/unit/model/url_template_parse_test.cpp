#include "model/url_template_parse.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <tuple>

#include "platform/clock.h"
#include "support/env_guard.h"

namespace kov {
namespace {

class UrlParseTest : public ::testing::Test {
protected:
    test::TimeZone m_tz{"Europe/Berlin"};
    static std::time_t Day(int year, int month, int day) {
        return MakeTime(CalendarTime{year, month, day, 9, 30, 0, 0});
    }
};

TEST_F(UrlParseTest, NumberSeriesIsTheLastRunOfDigits) {
    const std::tuple<const char*, int, const char*, std::int32_t> cases[] = {
        {"http://h/pic0042.jpg", 4, "http://h/pic%4u.jpg", 42},
        {"http://h/a1/pic42.jpg", 4, "http://h/a1/pic%u.jpg", 42},
        {"http://h/123456.gif", 4, "http://h/12%u.gif", 3456},
        {"http://h/song7.MP3", 4, "http://h/song%u.MP3", 7},
        {"http://h/pic0042.jpg", 2, "http://h/pic00%u.jpg", 42},  // only the last two digits
        {"http://h/0000", 4, "http://h/%4u", 0},
    };
    for (const auto& [url, digits, templ, number] : cases) {
        std::string t;
        std::int32_t n = -1;
        ASSERT_TRUE(FindNumberSeries(url, t, n, digits)) << url;
        EXPECT_EQ(t, templ);
        EXPECT_EQ(n, number);
    }

    // A port, digits before character 7, or no digits at all: nothing is found.
    std::string t = "untouched";
    std::int32_t n = -1;
    for (const char* url : {"http://h:8080", "http://h:8080/", "http://h:80808/x", "ftp://1/x",
                            "http://host/", "", "7", "1234567"}) {
        EXPECT_FALSE(FindNumberSeries(url, t, n, 4)) << url;
    }
    EXPECT_EQ(t, "untouched");
    EXPECT_EQ(n, -1);
}

TEST_F(UrlParseTest, DateOfTodayBecomesTokens) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"http://h/news-07-03-2005.html", 7, "http://h/news-%D-%M-%Y.html"},
        // On 3 July the day-first forms do not occur, the month-first one does.
        {"http://h/news-07-03-2005.html", 3, "http://h/news-%M-%D-%Y.html"},
        {"http://h/20050307/a20050307.gif", 7, "http://h/%Y%M%D/a%Y%M%D.gif"},
        {"http://h/2005.03.07/", 7, "http://h/%Y.%M.%D/"},
        {"http://h/x-07-03-05", 7, "http://h/x-%D-%M-%y"},
        {"http://h/030705", 7, "http://h/%M%D%y"},
    };
    std::string t;
    for (const auto& [url, day, templ] : cases) {
        const std::time_t today = day == 7 ? Day(2005, 3, 7) : Day(2005, 7, 3);
        ASSERT_TRUE(FindDateTemplate(url, today, t)) << url;
        EXPECT_EQ(t, templ);
    }
    t = "untouched";
    EXPECT_FALSE(FindDateTemplate("http://h/news-08-03-2005.html", Day(2005, 3, 7), t));
    EXPECT_EQ(t, "untouched");
}

TEST_F(UrlParseTest, ParseSetsTemplateSeriesAndCategory) {
    UrlItem item = FreshItem();
    item.interval = 5;
    ASSERT_TRUE(
        ParseUrlToTemplate("http://h/2005-03-07/pic0042.JPG", item, Day(2005, 3, 7), 100, false));
    EXPECT_EQ(item.Url, "http://h/%Y-%M-%D/pic%4u.JPG");
    EXPECT_EQ(item.interval, 0);
    EXPECT_EQ(item.NumBased, 1);
    EXPECT_EQ(item.CurrentNum, 42);
    EXPECT_EQ(item.StopNumber, 142);
    EXPECT_EQ(item.ConType, 2);

    item = FreshItem();
    item.StopNumber = 9;
    ASSERT_TRUE(ParseUrlToTemplate("ftp://h/file7.zip", item, Day(2005, 3, 7), 0, false));
    EXPECT_EQ(item.Url, "ftp://h/file%u.zip");
    EXPECT_EQ(item.StopNumber, 0);  // no default: no end
    EXPECT_EQ(item.ConType, 0);     // only http addresses are guessed

    // Only the first line counts; without date or number Url stays as the caller set it.
    item = FreshItem();
    item.Url = "preset";
    ASSERT_TRUE(
        ParseUrlToTemplate("http://h/page.html\r\nline2", item, Day(2005, 3, 7), 10, false));
    EXPECT_EQ(item.Url, "preset");
    EXPECT_EQ(item.NumBased, 0);
    EXPECT_EQ(item.ConType, 1);

    item = FreshItem();
    ASSERT_TRUE(ParseUrlToTemplate("http://h/9999.mp3", item, Day(2005, 3, 7),
                                   std::numeric_limits<std::int32_t>::max(), false));
    EXPECT_EQ(item.StopNumber, std::numeric_limits<std::int32_t>::max() - 1);
    EXPECT_EQ(item.ConType, 4);
}

TEST_F(UrlParseTest, ParseRefusesLongAndForeignAddresses) {
    UrlItem item = FreshItem();
    item.Url = "preset";
    EXPECT_FALSE(ParseUrlToTemplate("http://h/" + std::string(392, 'a') + "1", item,
                                    Day(2005, 3, 7), 0, false));
    EXPECT_EQ(item.Url, "preset");
    EXPECT_TRUE(ParseUrlToTemplate("http://h/" + std::string(390, 'a') + "1", item, Day(2005, 3, 7),
                                   0, false));
    for (const char* url : {"www.example.com/1.jpg", "mailto:a1@b", "gopher://h/1"}) {
        EXPECT_FALSE(ParseUrlToTemplate(url, item, Day(2005, 3, 7), 0, false)) << url;
    }

    // https only when enabled, and then like http.
    item = FreshItem();
    EXPECT_FALSE(ParseUrlToTemplate("https://h/a1.jpg", item, Day(2005, 3, 7), 0, false));
    ASSERT_TRUE(ParseUrlToTemplate("HTTPS://h/a1.jpg", item, Day(2005, 3, 7), 0, true));
    EXPECT_EQ(item.Url, "HTTPS://h/a%u.jpg");
    EXPECT_EQ(item.ConType, 2);
}

}  // namespace
}  // namespace kov
