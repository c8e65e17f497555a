#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace kov {

// Slows down guessing of the token: each wrong token from an address makes that address wait
// longer (first `base`, then twice as long each time, at most `cap`) before it hears the 401.
// Only the guessing connection waits; other clients are answered meanwhile. An address that
// stays quiet for a minute, or shows the right token, starts again from nothing.
class AuthThrottle {
public:
    using Clock = std::chrono::steady_clock;

    AuthThrottle(std::chrono::milliseconds base, std::chrono::milliseconds cap)
        : m_base(base), m_cap(cap) {}

    // Records a failure and returns how long its answer waits.
    std::chrono::milliseconds Failure(const std::string& address, Clock::time_point now);
    void Success(const std::string& address);

    static constexpr std::chrono::seconds kForget{60};
    static constexpr std::size_t kAddressLimit = 4096;  // a flood of addresses cannot grow it

private:
    struct Record {
        unsigned failures = 0;
        Clock::time_point last;
    };

    std::mutex m_lock;
    std::map<std::string, Record> m_records;
    std::chrono::milliseconds m_base;
    std::chrono::milliseconds m_cap;
};

}  // namespace kov
