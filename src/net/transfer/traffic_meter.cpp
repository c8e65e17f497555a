#include "net/transfer/traffic_meter.h"

#include <algorithm>
#include <charconv>
#include <thread>

#include "core/text/text_util.h"

namespace kov {

void TrafficMeter::SetLimits(std::int64_t limitInternet, std::int64_t limitLocal, bool limited) {
    std::lock_guard lock(m_mutex);
    m_limitInternet = limitInternet > 0 ? static_cast<std::uint64_t>(limitInternet) : 0;
    m_limitLocal = limitLocal > 0 ? static_cast<std::uint64_t>(limitLocal) : 0;
    m_limited = limited;
}

std::uint64_t TrafficMeter::Account(std::uint64_t bytes, bool local) {
    std::lock_guard lock(m_mutex);
    std::uint64_t& period = local ? m_periodLocal : m_periodInternet;
    std::uint64_t& total = local ? m_totalLocal : m_totalInternet;
    const std::uint64_t limit = LimitLocked(local);
    std::uint64_t accepted = bytes;
    if (limit != 0 && period != 0) {
        // The whole first block of a period may already exceed the limit.
        accepted = std::min(bytes, period < limit ? limit - period : 0);
    }
    period += accepted;
    total += accepted;
    if (m_traceTraffic && !local) m_trafficCount += accepted;
    return accepted;
}

void TrafficMeter::AccountAll(std::uint64_t bytes, bool local) {
    std::lock_guard lock(m_mutex);
    (local ? m_periodLocal : m_periodInternet) += bytes;
    (local ? m_totalLocal : m_totalInternet) += bytes;
    if (m_traceTraffic && !local) m_trafficCount += bytes;
}

TrafficMeter::PeriodCounts TrafficMeter::TakePeriod() {
    std::lock_guard lock(m_mutex);
    PeriodCounts counts{m_periodInternet, m_periodLocal};
    m_periodInternet = 0;
    m_periodLocal = 0;
    ++m_elapsed;
    return counts;
}

void TrafficMeter::Reset() {
    std::lock_guard lock(m_mutex);
    m_periodInternet = m_periodLocal = 0;
    m_totalInternet = m_totalLocal = 0;
    m_elapsed = 0;
}

std::uint64_t TrafficMeter::Limit(bool local) const {
    std::lock_guard lock(m_mutex);
    return LimitLocked(local);
}

std::uint64_t TrafficMeter::AverageRate(bool local) const {
    std::lock_guard lock(m_mutex);
    return AverageRateLocked(local);
}

std::size_t TrafficMeter::PacketSize(bool local) const {
    std::lock_guard lock(m_mutex);
    std::size_t base = kMaxPacketSize;
    const std::uint64_t half = LimitLocked(local) / 2;
    if (half >= 1 && half <= kMaxPacketSize) base = static_cast<std::size_t>(half);
    const std::uint64_t rate = AverageRateLocked(local);
    if (rate < 4097) return std::min<std::size_t>(base, 1024);
    if (rate < 16385) return std::min<std::size_t>(base, 4096);
    return LimitLocked(local) == 0 ? kBulkPacketSize : base;
}

std::uint64_t TrafficMeter::Total(bool local) const {
    std::lock_guard lock(m_mutex);
    return local ? m_totalLocal : m_totalInternet;
}

std::uint64_t TrafficMeter::Elapsed() const {
    std::lock_guard lock(m_mutex);
    return m_elapsed;
}

void TrafficMeter::TraceTraffic(bool on) {
    std::lock_guard lock(m_mutex);
    m_traceTraffic = on;
}

void TrafficMeter::SetTrafficCount(std::uint64_t bytes) {
    std::lock_guard lock(m_mutex);
    m_trafficCount = bytes;
}

std::uint64_t TrafficMeter::TrafficCount() const {
    std::lock_guard lock(m_mutex);
    return m_trafficCount;
}

std::uint64_t TrafficMeter::LimitLocked(bool local) const {
    if (!m_limited) return 0;
    return local ? m_limitLocal : m_limitInternet;
}

std::uint64_t TrafficMeter::AverageRateLocked(bool local) const {
    const std::uint64_t total = local ? m_totalLocal : m_totalInternet;
    return m_elapsed == 0 ? total : total / m_elapsed;
}

TrafficMeter& GlobalTrafficMeter() {
    static TrafficMeter meter;
    return meter;
}

void StopAwareSleep(std::chrono::milliseconds duration, const std::atomic<int>& stopRequest) {
    constexpr std::chrono::milliseconds kStep{10};
    while (duration.count() > 0 && stopRequest.load() < 2) {
        const auto step = std::min(duration, kStep);
        std::this_thread::sleep_for(step);
        duration -= step;
    }
}

bool MeterBlock(TrafficMeter& meter, std::uint64_t bytes, bool local,
                const std::atomic<int>& stopRequest, const SleepFn& sleep) {
    std::uint64_t remaining = bytes - meter.Account(bytes, local);
    while (remaining > 0 && stopRequest.load() < 2) {
        if (sleep) {
            sleep(kMeterWait, stopRequest);
        } else {
            StopAwareSleep(kMeterWait, stopRequest);
        }
        if (stopRequest.load() >= 2) break;
        remaining -= meter.Account(remaining, local);
    }
    if (remaining == 0) return true;
    // Stopped while waiting: the block came all the same, and the traffic counts say so.
    meter.AccountAll(remaining, local);
    return false;
}

std::uint64_t ParseTrafficLimit(std::string_view text) {
    const std::string_view digits = TrimBlanks(text);
    std::uint64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (ec != std::errc() || ptr != end) return 0;
    return value;
}

bool TrafficLimitReached(const AppSettings& settings, bool isLocal, std::uint64_t limitCounter) {
    if (settings.LimitTrace == 0 || isLocal) return false;
    const std::uint64_t limit = ParseTrafficLimit(settings.LimitSum);
    return limit != 0 && limit <= limitCounter;
}

}  // namespace kov
