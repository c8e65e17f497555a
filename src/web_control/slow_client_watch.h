#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace kov {

// Closes connections whose request does not arrive in time. The server's idle time-out only
// catches a client that sends nothing; one that trickles a byte now and then would hold its
// connection (and with enough of them, the server) for ever. The clock of a connection runs
// from its opening, or from its last answer, until its request has been read whole.
class SlowClientWatch {
public:
    explicit SlowClientWatch(std::chrono::milliseconds deadline) : m_deadline(deadline) {}
    ~SlowClientWatch() { Stop(); }
    SlowClientWatch(const SlowClientWatch&) = delete;
    SlowClientWatch& operator=(const SlowClientWatch&) = delete;

    void Start();
    void Stop();

    // connection: the server's handle, only used as a key; fd: its socket.
    void Opened(const void* connection, int fd);
    // Must come before the socket is closed, so that a reused number is never shut.
    void Closed(const void* connection);
    // The request is read: no deadline while it is answered (or streamed).
    void Answering(const void* connection);
    // The answer went out; the next request's clock starts.
    void Waiting(const void* connection);

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int fd = -1;
        Clock::time_point since;
        bool answering = false;
    };

    void Run();
    void SetAnswering(const void* connection, bool answering);

    std::chrono::milliseconds m_deadline;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::map<const void*, Entry> m_entries;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace kov
