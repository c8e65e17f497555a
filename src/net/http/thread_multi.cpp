#include "net/http/thread_multi.h"

#include <thread>

#include "net/http/curl_easy_reader.h"

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

thread_local CURLM* t_scoped = nullptr;

}  // namespace

TransferScope::TransferScope() : m_multi(curl_multi_init()) {
    if (m_multi != nullptr) curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, CURLPIPE_NOTHING);
    t_scoped = m_multi;
}

TransferScope::~TransferScope() {
    t_scoped = nullptr;
    if (m_multi != nullptr) curl_multi_cleanup(m_multi);
}

bool TransferScope::Perform() {
    if (m_multi == nullptr) return false;
    int running = 0;
    if (curl_multi_perform(m_multi, &running) != CURLM_OK) return false;
    CurlEasyReader::DispatchMessages(m_multi);
    return true;
}

void TransferScope::Wait(std::chrono::milliseconds most) {
    if (m_multi == nullptr ||
        curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(most.count()), nullptr) != CURLM_OK)
        std::this_thread::sleep_for(most);
}

CURLM* ScopedMultiHandle() {
    return t_scoped;
}

CURLM* ThreadMultiHandle() {
    thread_local ThreadMulti multi;
    return multi.Handle();
}

}  // namespace kov
