#pragma once

// The libcurl multi handle of the calling thread, made on first use and kept until the thread
// ends, so that a worker running one short transfer after another pays for it (and for its
// wake-up socket pair) once instead of per file. A multi handle belongs to one thread; every
// transfer of the thread that shares connections is driven through it, and the connections
// it opened wait there for the thread's next transfers.

#include <curl/curl.h>

#include <chrono>

namespace kov {

// nullptr when libcurl cannot make one.
CURLM* ThreadMultiHandle();

// While alive, every transfer the calling thread makes is driven through this scope's own multi
// handle (whether or not it shares the session's connections), so that one thread can move all of
// them on and wait for any of them at once. Each transfer gets a connection of its own: none is
// multiplexed onto another's HTTP/2 connection. The transfers must end before the scope does.
// One per thread at a time.
class TransferScope {
public:
    TransferScope();
    ~TransferScope();
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

    // Moves every transfer of the scope on as far as it can go without waiting; what arrives
    // waits in the transfers' buffers. False when libcurl failed.
    bool Perform();
    // Waits up to most for news on any transfer of the scope (data, headers, an end).
    void Wait(std::chrono::milliseconds most);

private:
    CURLM* m_multi;
};

// The multi handle of the calling thread's TransferScope; nullptr when none lives.
CURLM* ScopedMultiHandle();

}  // namespace kov
