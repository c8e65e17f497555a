#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kov {

// Bytes per second over the real time a session ran: a session of 0.38 s is not one of a
// whole second, nor of a progress tick.
std::uint32_t AverageSpeed(double bytes, std::chrono::steady_clock::duration elapsed);

// The session's last log line: "Session finished, bytes downloaded: N average speed: S KB/sec"
// (Bytes/sec up to 2048 bytes a second).
std::string SessionSummaryLine(double bytes, std::uint32_t averageSpeed);

}  // namespace kov
