#pragma once

#include <atomic>

namespace kov::cli {

// Ctrl+C and SIGTERM turned into a flag that a long command watches, so that it can stop and
// clean up instead of being killed with its temporary files left behind. The signals take
// their default action again when the flag goes. One at a time.
class InterruptFlag {
public:
    InterruptFlag();
    ~InterruptFlag();
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

    bool Raised() const;
    // For waits that take a cancel flag.
    const std::atomic<bool>& Flag() const;
};

}  // namespace kov::cli
