#pragma once

// The process-wide byte meter and speed limiter that every transfer passes its bytes
// through, and the traffic (volume) limit.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

#include "core/settings/app_settings.h"

namespace kov {

// Counts accepted bytes per metering period and in total, separately for Internet and local
// traffic, and with limiting on accepts at most the kind's limit per period. The session
// controller calls TakePeriod once a second, so a period is one second, a limit is in bytes
// per second, and elapsed (the divisor of AverageRate) counts the periods taken since the
// last Reset. All operations lock; any thread may call them.
class TrafficMeter {
public:
    struct PeriodCounts {
        std::uint64_t internet = 0;
        std::uint64_t local = 0;
    };

    // Bytes per period for each kind; a limit of 0 or below leaves that kind unlimited.
    void SetLimits(std::int64_t limitInternet, std::int64_t limitLocal, bool limited);

    // Offers bytes; returns how many are accepted and counts them. Without limiting, and for
    // the first block of a period, everything is accepted; later in the period at most what
    // the limit leaves (never less than 0).
    std::uint64_t Account(std::uint64_t bytes, bool local);
    // Counts bytes whatever the limit: they came, and a transfer stopped while it waited for
    // the meter to take them has them all the same.
    void AccountAll(std::uint64_t bytes, bool local);

    // The period counters, which are cleared; ends a period (elapsed grows by one).
    PeriodCounts TakePeriod();

    // Counters, totals and elapsed to 0; the limits stay.
    void Reset();

    // The kind's limit per period; 0 when not limited.
    std::uint64_t Limit(bool local) const;

    // Bytes per period since the last Reset: the total divided by elapsed, or the total itself
    // before the first period ended.
    std::uint64_t AverageRate(bool local) const;

    // The block size a transfer of this kind reads next (1024, 4096 or up to 8192; smaller
    // while the rate is low or a small limit is set, so that limiting stays smooth).
    std::size_t PacketSize(bool local) const;

    std::uint64_t Total(bool local) const;
    std::uint64_t Elapsed() const;

    // The traffic counted against the traffic limit: while tracing is on, every Internet byte
    // is added as Account accepts it, so a transfer that checks the limit before each block
    // passes it by one block at most. Reset leaves it alone; it lives across sessions.
    void TraceTraffic(bool on);
    void SetTrafficCount(std::uint64_t bytes);
    std::uint64_t TrafficCount() const;

private:
    std::uint64_t LimitLocked(bool local) const;
    std::uint64_t AverageRateLocked(bool local) const;

    mutable std::mutex m_mutex;
    bool m_limited = false;
    std::uint64_t m_limitInternet = 0;
    std::uint64_t m_limitLocal = 0;
    std::uint64_t m_periodInternet = 0;
    std::uint64_t m_periodLocal = 0;
    std::uint64_t m_totalInternet = 0;
    std::uint64_t m_totalLocal = 0;
    std::uint64_t m_elapsed = 0;
    bool m_traceTraffic = false;
    std::uint64_t m_trafficCount = 0;
};

// The meter every transfer of the process uses.
TrafficMeter& GlobalTrafficMeter();

// The largest block a transfer reads while its kind is limited, so that limiting stays smooth.
inline constexpr std::size_t kMaxPacketSize = 8192;
// The block of a fast transfer without a limit: fewer, larger reads, writes and events.
inline constexpr std::size_t kBulkPacketSize = 65536;
// The wait between two offers of the metering wait.
inline constexpr std::chrono::milliseconds kMeterWait{100};

// Waits for the given time, returning early when stopRequest reaches 2.
using SleepFn = std::function<void(std::chrono::milliseconds, const std::atomic<int>& stopRequest)>;

// Sleeps in steps of 10 ms, returning as soon as stopRequest is 2 or more.
void StopAwareSleep(std::chrono::milliseconds duration, const std::atomic<int>& stopRequest);

// Meters a block of bytes that was just written: offers what is not yet accepted until all is,
// sleeping kMeterWait between offers. False when stopRequest reached 2 before everything was
// accepted; the rest is counted then all the same.
bool MeterBlock(TrafficMeter& meter, std::uint64_t bytes, bool local,
                const std::atomic<int>& stopRequest, const SleepFn& sleep = StopAwareSleep);

// The traffic limit of a LimitSum text: a decimal 64-bit number (blanks around it allowed);
// 0, also for an empty or malformed text, means no limit.
std::uint64_t ParseTrafficLimit(std::string_view text);

// True when LimitTrace is on, the job is not local, LimitSum gives a limit and the traffic
// counted so far has reached it.
bool TrafficLimitReached(const AppSettings& settings, bool isLocal, std::uint64_t limitCounter);

}  // namespace kov
