#include "net/http/thread_multi.h"

namespace kov {

namespace {

// Connections a thread keeps open for its next transfers (libcurl's default keeps four): a
// worker going through a list of files on several hosts keeps one to each of the last eight.
// They stay while the thread waits for work, up to eight sockets per worker, which the servers
// close after their keep-alive time and the worker's next transfer clears away.
constexpr long kKeptConnections = 8;

class ThreadMulti {
public:
    ThreadMulti() : m_multi(curl_multi_init()) {
        if (m_multi != nullptr) curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, kKeptConnections);
    }
    ~ThreadMulti() {
        // Every transfer of the thread has detached by now: readers do not outlive it.
        if (m_multi != nullptr) curl_multi_cleanup(m_multi);
    }
    ThreadMulti(const ThreadMulti&) = delete;
    ThreadMulti& operator=(const ThreadMulti&) = delete;

    CURLM* Handle() const { return m_multi; }

private:
    CURLM* m_multi;
};

}  // namespace

CURLM* ThreadMultiHandle() {
    thread_local ThreadMulti multi;
    return multi.Handle();
}

}  // namespace kov
