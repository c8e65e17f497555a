#include "web_control/slow_client_watch.h"

#include <sys/socket.h>

#include <algorithm>

namespace kov {

void SlowClientWatch::Start() {
    Stop();
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void SlowClientWatch::Stop() {
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void SlowClientWatch::Opened(const void* connection, int fd) {
    std::lock_guard lock(m_lock);
    m_entries[connection] = Entry{fd, Clock::now(), false};
}

void SlowClientWatch::Closed(const void* connection) {
    std::lock_guard lock(m_lock);
    m_entries.erase(connection);
}

void SlowClientWatch::Answering(const void* connection) {
    SetAnswering(connection, true);
}

void SlowClientWatch::Waiting(const void* connection) {
    SetAnswering(connection, false);
}

void SlowClientWatch::SetAnswering(const void* connection, bool answering) {
    std::lock_guard lock(m_lock);
    const auto found = m_entries.find(connection);
    if (found == m_entries.end()) return;
    found->second.answering = answering;
    found->second.since = Clock::now();
}

void SlowClientWatch::Run() {
    const auto slice =
        std::clamp(m_deadline / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(250));
    std::unique_lock lock(m_lock);
    while (!m_stop) {
        m_wake.wait_for(lock, slice, [this] { return m_stop; });
        const auto now = Clock::now();
        for (auto& [connection, entry] : m_entries) {
            if (entry.answering || now - entry.since <= m_deadline) continue;
            // The server's thread sees the end of its socket and closes the connection.
            ::shutdown(entry.fd, SHUT_RDWR);
            entry.answering = true;
        }
    }
}

}  // namespace kov
