#pragma once

#include <cstdint>
#include <ctime>

namespace kov {

// A broken-down local date and time. month is 1..12, day 1..31; dayOfWeek 0 = Sunday.
struct CalendarTime {
    int year = 0;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int dayOfWeek = 0;  // filled by LocalTime, ignored by MakeTime
};

bool operator==(const CalendarTime& a, const CalendarTime& b);

// The source of "now" for everything that depends on the date. Tests pass a fixed clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::time_t Now() const;
    // Milliseconds of a monotonic clock; only differences mean anything.
    virtual std::uint64_t TickCount() const;
};

// The real clock.
const Clock& SystemClock();

CalendarTime LocalTime(std::time_t t);
// The time value of a local calendar time (daylight saving decided by the system).
// Out-of-range fields are normalised as mktime does; -1 when it cannot be represented.
std::time_t MakeTime(const CalendarTime& c);
// The same for a calendar time in UTC.
std::time_t MakeUtcTime(const CalendarTime& c);

}  // namespace kov
