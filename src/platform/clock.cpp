#include "platform/clock.h"

#include <chrono>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace kov {

bool operator==(const CalendarTime& a, const CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

std::time_t Clock::Now() const {
    return std::time(nullptr);
}

std::uint64_t Clock::TickCount() const {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

const Clock& SystemClock() {
    static const Clock clock;
    return clock;
}

CalendarTime LocalTime(std::time_t t) {
    std::tm tm{};
    CalendarTime c;
    if (localtime_r(&t, &tm) == nullptr) return c;
    c.year = tm.tm_year + 1900;
    c.month = tm.tm_mon + 1;
    c.day = tm.tm_mday;
    c.hour = tm.tm_hour;
    c.minute = tm.tm_min;
    c.second = tm.tm_sec;
    c.dayOfWeek = tm.tm_wday;
    return c;
}

namespace {

// The tm fields count from 1900 and from 0; false when the shift would overflow.
bool ToTm(const CalendarTime& c, std::tm& tm) {
    if (c.year < std::numeric_limits<int>::min() + 1900 ||
        c.month < std::numeric_limits<int>::min() + 1)
        return false;
    tm = std::tm{};
    tm.tm_year = c.year - 1900;
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    return true;
}

}  // namespace

std::time_t MakeTime(const CalendarTime& c) {
    // mktime checks the zone file on every call, and a list of thousands of items asks for the
    // same few dates; an answer is reused for a second (and while TZ stays), so a changed zone
    // still shows soon.
    struct Memo {
        CalendarTime in;
        std::string zone;
        std::time_t out = -1;
        std::chrono::steady_clock::time_point until;
    };
    thread_local Memo memo;
    const char* tz = std::getenv("TZ");
    const std::string_view zone = tz ? tz : "";
    const auto now = std::chrono::steady_clock::now();
    if (now < memo.until && memo.in == c && memo.zone == zone) return memo.out;
    std::tm tm;
    if (!ToTm(c, tm)) return -1;
    tm.tm_isdst = -1;  // let the system decide whether daylight saving applies
    memo = {c, std::string(zone), std::mktime(&tm), now + std::chrono::seconds(1)};
    return memo.out;
}

std::time_t MakeUtcTime(const CalendarTime& c) {
    std::tm tm;
    if (!ToTm(c, tm)) return -1;
    return ::timegm(&tm);
}

}  // namespace kov
