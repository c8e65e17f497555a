#pragma once

#include <chrono>
#include <cstddef>

namespace kov {

// How much one client may take of the remote-control server. The defaults are what a running
// program uses; tests shorten the times.
struct ServerLimits {
    std::size_t maxBody = 1024 * 1024;  // bytes of one request's body
    unsigned connections = 64;          // open at once; more wait in the listen queue
    // A connection that sends or reads nothing this long is closed.
    std::chrono::seconds idleTimeout{30};
    // A request's head and body must arrive within this, however slowly they trickle.
    std::chrono::milliseconds requestDeadline{30'000};
    std::chrono::milliseconds keepAlive{15'000};  // comment line on a quiet event stream
    // Wrong tokens from one address: the first waits failureDelay, each next one twice as long.
    std::chrono::milliseconds failureDelay{100};
    std::chrono::milliseconds failureDelayCap{5'000};
};

}  // namespace kov
