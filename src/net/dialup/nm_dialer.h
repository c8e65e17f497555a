#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

// One active NetworkManager connection as nmcli lists it.
struct NmActiveConnection {
    std::string name;
    std::string state;  // "activated", "activating", ...
};

// NetworkManager's command-line client, run with plain arguments (never through a shell) and
// with a time limit on every call, so that a hanging nmcli costs its caller at most that long.
// Connection profiles stand for the entries of a phone book. Every answer is parsed
// defensively: malformed, over-long or surplus lines are dropped. Thread-safe: it holds no
// state besides its settings.
class NmDialer {
public:
    struct Limits {
        std::chrono::milliseconds query{5000};    // listing profiles and active connections
        std::chrono::milliseconds dial{75000};    // one "connection up"
        std::chrono::milliseconds hangup{10000};  // one "connection down"
    };
    static constexpr std::size_t kMaxProfiles = 128;
    static constexpr std::size_t kMaxActive = 32;
    static constexpr std::size_t kMaxName = 255;

    NmDialer() = default;
    explicit NmDialer(Limits limits) : m_limits(limits) {}

    // nmcli is installed (found on PATH).
    static bool Present();

    // The connection profiles; nullopt when nmcli failed (see the error text).
    std::optional<std::vector<std::string>> Profiles(std::string* error = nullptr) const;
    // The active connections; nullopt when nmcli failed.
    std::optional<std::vector<NmActiveConnection>> Active(std::string* error = nullptr) const;
    // Brings the profile up and waits for the result; cancel (may be null) ends the wait.
    bool Up(const std::string& name, const std::atomic<bool>* cancel,
            std::string* error = nullptr) const;
    // Takes the profile down.
    bool Down(const std::string& name, std::string* error = nullptr) const;

    const Limits& GetLimits() const { return m_limits; }

private:
    Limits m_limits;
};

// The fields of nmcli's terse lines ("a:b\:c" is "a" and "b:c"). A line with another number of
// fields than expected, a control character or a field longer than maxField is dropped; at most
// maxLines lines are taken.
std::vector<std::vector<std::string>> ParseTerseLines(std::string_view text, std::size_t fields,
                                                      std::size_t maxLines, std::size_t maxField);

}  // namespace kov
