#include "platform/clock.h"

#include <gtest/gtest.h>

#include "support/env_guard.h"

namespace kov {
namespace {

CalendarTime At(int year, int month, int day, int hour, int minute, int second) {
    return CalendarTime{year, month, day, hour, minute, second, 0};
}

TEST(Clock, MakeTimeNormalisesAndLetsTheSystemDecideDaylightSaving) {
    test::TimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    // Summer is two hours ahead of UTC, winter one: a fixed isdst gets one of them wrong.
    EXPECT_EQ(MakeTime(At(2021, 7, 1, 12, 0, 0)), 1625133600);
    EXPECT_EQ(MakeTime(At(2021, 1, 1, 12, 0, 0)), 1609498800);

    EXPECT_EQ(MakeTime(At(2021, 1, 32, 11, 60, 0)), MakeTime(At(2021, 2, 1, 12, 0, 0)));
    EXPECT_EQ(LocalTime(MakeTime(At(2021, 13, 1, 0, 0, 0))), At(2022, 1, 1, 0, 0, 0));

    // Answers are reused for repeated dates, but never across a change of zone.
    test::TimeZone utc("UTC0");
    EXPECT_EQ(MakeTime(At(2021, 7, 1, 12, 0, 0)), 1625140800);
}

}  // namespace
}  // namespace kov
