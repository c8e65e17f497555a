#include "web_control/auth_throttle.h"

#include <algorithm>

namespace kov {

std::chrono::milliseconds AuthThrottle::Failure(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(m_lock);
    if (m_records.size() >= kAddressLimit && !m_records.contains(address)) {
        std::erase_if(m_records,
                      [&](const auto& entry) { return now - entry.second.last > kForget; });
        // Still full: many addresses guess at once, so every new one starts at the cap.
        if (m_records.size() >= kAddressLimit) return m_cap;
    }
    Record& record = m_records[address];
    if (record.failures > 0 && now - record.last > kForget) record.failures = 0;
    record.last = now;
    const unsigned doublings = std::min(record.failures, 30u);
    ++record.failures;
    const auto delay = m_base.count() << doublings;
    return std::min(std::chrono::milliseconds(delay), m_cap);
}

void AuthThrottle::Success(const std::string& address) {
    std::lock_guard lock(m_lock);
    m_records.erase(address);
}

}  // namespace kov
