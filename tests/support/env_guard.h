#pragma once

#include <time.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kov::test {

// Puts the listed environment variables back as they were when it goes out of scope.
class EnvGuard {
public:
    explicit EnvGuard(std::vector<std::string> names) {
        for (auto& name : names) {
            const char* value = std::getenv(name.c_str());
            m_saved.emplace_back(std::move(name),
                                 value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~EnvGuard() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// Switches the process time zone for one test and back again afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        ::setenv("TZ", tz, 1);
        ::tzset();
    }

private:
    // Members go in reverse order: the variable is restored first, then re-read.
    struct Reread {
        ~Reread() { ::tzset(); }
    } m_reread;
    EnvGuard m_guard{{"TZ"}};
};

}  // namespace kov::test
