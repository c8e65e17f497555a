#include "web_control/event_stream.h"

#include <poll.h>

#include <algorithm>
#include <cstring>

namespace kov {

EventStream::EventStream(std::shared_ptr<EventHub::Subscription> subscription,
                         const std::atomic<bool>& stopping, std::chrono::milliseconds keepAlive,
                         int clientSocket)
    : m_subscription(std::move(subscription)),
      m_stopping(stopping),
      m_keepAlive(keepAlive),
      m_lastWrite(std::chrono::steady_clock::now()),
      // Sent at once: a client that has read it knows its events are being kept from now on.
      m_pending(": ok\n\n"),
      m_clientSocket(clientSocket) {}

bool EventStream::ClientGone() const {
    if (m_clientSocket < 0) return false;
    pollfd socket{m_clientSocket, POLLRDHUP, 0};
    return ::poll(&socket, 1, 0) > 0 && (socket.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

ssize_t EventStream::Read(char* buffer, std::size_t max) {
    while (m_offset >= m_pending.size()) {
        m_pending.clear();
        m_offset = 0;
        if (!Refill(max)) return -1;
    }
    const std::size_t count = std::min(max, m_pending.size() - m_offset);
    std::memcpy(buffer, m_pending.data() + m_offset, count);
    m_offset += count;
    return static_cast<ssize_t>(count);
}

bool EventStream::Refill(std::size_t max) {
    using std::chrono::steady_clock;
    for (;;) {
        if (m_stopping.load() || m_subscription->Closed() || ClientGone()) return false;
        if (m_subscription->WaitForEvents(kWaitSlice)) {
            // A session's events come in bursts: one write for each burst, not for each event,
            // costs the client and this thread far less and delays an event by kGather at most.
            // A stream that is behind (its last write was full) writes on at once.
            if (m_caughtUp) m_subscription->Linger(kGather);
            m_caughtUp = !m_subscription->Take(m_pending, max);
            if (m_pending.empty()) continue;  // the hub closed meanwhile
            m_lastWrite = steady_clock::now();
            return true;
        }
        if (steady_clock::now() - m_lastWrite >= m_keepAlive) {
            m_pending = ": keep-alive\n\n";
            m_lastWrite = steady_clock::now();
            return true;
        }
    }
}

}  // namespace kov
