#include "session/session_summary.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "core/language/message_table.h"

namespace kov {

std::uint32_t AverageSpeed(double bytes, std::chrono::steady_clock::duration elapsed) {
    // A millisecond at least: a session that took no measurable time shows its bytes as that.
    const double seconds = std::max(std::chrono::duration<double>(elapsed).count(), 0.001);
    const double speed = bytes / seconds;
    constexpr double kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::min(speed, kMax));
}

std::string SessionSummaryLine(double bytes, std::uint32_t averageSpeed) {
    const bool kilo = averageSpeed > 2048;
    char line[512];
    // The figure is in bytes, as the words before it say.
    std::snprintf(
        line, sizeof line, "%s: %llu %s: %lu %s", GetString(EventCode::SessionSummary1).c_str(),
        static_cast<unsigned long long>(bytes), GetString(EventCode::SessionSummary2).c_str(),
        static_cast<unsigned long>(kilo ? averageSpeed / 1024 : averageSpeed),
        kilo ? "KB/sec" : "Bytes/sec");
    return line;
}

}  // namespace kov
