#include "model/url_template.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/clock.h"
#include "support/env_guard.h"

namespace kov {
namespace {

std::time_t At(int year, int month, int day, int hour = 14, int minute = 5, int second = 9) {
    return MakeTime(CalendarTime{year, month, day, hour, minute, second, 0});
}

TEST(ExpandTemplate, TokensExpandForTheMomentAndTheNumber) {
    test::TimeZone tz("UTC0");
    struct Case {
        const char* templ;
        std::int32_t number;
        bool dates;
        const char* expected;
    };
    const Case cases[] = {
        {"http://h/%Y%M%D.html", 0, true, "http://h/20050307.html"},
        {"%y %d.%m", 0, true, "05 7.3"},
        {"%V %v %V3 %v3", 0, true, "March march Mar mar"},
        {"%ND %Nd %nD %nd", 0, true, "066 66 066 66"},
        // January 1 of 2005 is a Saturday: w = 65 + 6 + 1 = 72, week 11.
        {"%NW %Nw %nW", 0, true, "11 11 11"},
        {"%H:%T:%S %h.%t.%s", 0, true, "14:05:09 14.5.9"},
        // Without the date switch the day and month tokens vanish; year and time stay.
        {"%D%d%M%m%V%v%V3|%Y %H", 0, false, "|2005 14"},
        {"%u %U %3u %2X %x %0u %9U", 7, true, "7 7 007 07 7 7 000000007"},
        {"%C%c %x %X %4x", 65, true, "AA 41 41 0041"},
        {"%X %4x", 255, true, "FF 00ff"},
        {"%x %u", -1, true, "ffffffff -1"},
        // %C outside 33..249 gives nothing; 128..249 come out as UTF-8.
        {"[%C]", 32, true, "[]"},
        {"[%C]", 250, true, "[]"},
        {"[%c]", 200, true, "[\xC3\x88]"},
        // Text that is no token stays.
        {"abc%", 1, true, "abc%"},
        {"%q", 1, true, "%q"},
        {"%%D%%", 1, true, "%D%"},
        {"%5q %5", 1, true, "%5q %5"},
        {"%55u", 1, true, "%55u"},  // only one digit of width
        {"a%2%u", 1, true, "a%21"},
        {"%Nq%N", 1, true, "q"},              // %N without D or W: nothing
        {"%20%41%D0", 1, true, "%20%41070"},  // escapes are not safe
        {"", 1, true, ""},
    };
    const std::time_t t = At(2005, 3, 7);  // a Monday
    for (const Case& c : cases)
        EXPECT_EQ(ExpandTemplate(c.templ, t, c.number, c.dates), c.expected) << c.templ;
    EXPECT_EQ(ExpandTemplate("%T%t", At(2005, 3, 7, 0, 0, 0), 0, true), "000");
}

TEST(ExpandTemplate, WeeksStartOnSundayAndDaylightSavingShortensTheDayCount) {
    {
        test::TimeZone tz("UTC0");
        // 2006 starts on a Sunday: Saturday the 7th is still week 1, Sunday the 8th week 2.
        EXPECT_EQ(ExpandTemplate("%ND %NW", At(2006, 1, 1), 0, true), "001 01");
        EXPECT_EQ(ExpandTemplate("%ND %NW", At(2006, 1, 7), 0, true), "007 01");
        EXPECT_EQ(ExpandTemplate("%ND %NW", At(2006, 1, 8), 0, true), "008 02");
        EXPECT_EQ(ExpandTemplate("%ND %Nw", At(2005, 12, 31), 0, true), "365 53");
        // Sunday 3 July 2005 is day 184 and opens week 28.
        EXPECT_EQ(ExpandTemplate("%ND %NW", At(2005, 7, 3), 0, true), "184 28");
    }
    {
        // In summer time the moment is one hour less than whole days after January 1 at the
        // same clock time, so the count is one day short, and so is this week number.
        test::TimeZone tz("Europe/Berlin");
        EXPECT_EQ(ExpandTemplate("%ND %NW", At(2005, 7, 3), 0, true), "183 27");
        EXPECT_EQ(ExpandTemplate("%ND", At(2005, 3, 26), 0, true), "085");  // before the switch
        EXPECT_EQ(ExpandTemplate("%ND", At(2005, 3, 28), 0, true), "086");  // after it: 87 - 1
        EXPECT_EQ(ExpandTemplate("%ND", At(2005, 11, 1), 0, true), "305");  // winter again
        EXPECT_EQ(PositionInYear(At(2005, 12, 31)).dayIndex, 364);
    }
}

TEST(ExpandTemplate, ResultsAreCutOnCharacterBoundaries) {
    test::TimeZone tz("UTC0");
    const std::time_t t = At(2005, 3, 7);
    std::string huge;
    for (int i = 0; i < 500000; ++i)
        huge += "%Y";
    const std::string out = ExpandTemplate(huge, t, 1, true);
    EXPECT_EQ(out.size(), kTemplateCapacity);
    EXPECT_EQ(out.substr(0, 8), "20052005");
    EXPECT_EQ(ExpandTemplate("ab%V", t, 1, true, 5), "abMar");
    EXPECT_EQ(ExpandTemplate("a\xC3\xA9\xC3\xA9", t, 1, true, 4), "a\xC3\xA9");
    EXPECT_EQ(ExpandTemplate("%c%c", t, 200, true, 3), "\xC3\x88");
}

TEST(ExpandNumberTokens, ReplacesOnlyNumberTokens) {
    std::string out;
    EXPECT_TRUE(ExpandNumberTokens("http://h/pic%4u_%U_%l_%L_%x_%2X_%D%Y%%u_%q%.jpg", 42, out));
    EXPECT_EQ(out, "http://h/pic0042_42_42_42_2a_2A_%D%Y%%u_%q%.jpg");

    out = "stale";
    EXPECT_FALSE(ExpandNumberTokens("http://h/%D/%q/%5/%", 42, out));
    EXPECT_EQ(out, "http://h/%D/%q/%5/%");

    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "%9u";
    EXPECT_TRUE(ExpandNumberTokens(many, 1, out));
    EXPECT_LE(out.size(), kTemplateCapacity);
}

TEST(EscapeTemplateText, ConcreteAddressesExpandToThemselves) {
    const std::time_t moment = 1110189909;  // 7 March 2005
    for (const char* url : {"http://x/%D0%B0%C3%A9.html", "http://x/a%20b%3F%25%%", "http://x/%",
                            "http://x/%2u%3X%Y%n", "http://x/100%"}) {
        const std::string templ = EscapeTemplateText(url);
        EXPECT_EQ(ExpandTemplate(templ, moment, 7, true), url) << templ;
    }
    EXPECT_EQ(EscapeTemplateText("http://x/a%20b"), "http://x/a%20b");  // left readable
}

}  // namespace
}  // namespace kov
