#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "web_control/event_hub.h"

namespace kov {

// One client's text/event-stream: the hub's events as "event: NAME\ndata: JSON\n\n", a comment
// line when nothing happened for keepAlive. Read runs on the connection's own thread and waits
// there for events, looking at the stop flag between short waits.
class EventStream {
public:
    EventStream(std::shared_ptr<EventHub::Subscription> subscription,
                const std::atomic<bool>& stopping, std::chrono::milliseconds keepAlive,
                int clientSocket = -1);

    // Up to max bytes into buffer, waiting until there are some; -1 when the stream ends (the
    // hub closed, the server stops or the client hung up).
    ssize_t Read(char* buffer, std::size_t max);

    static constexpr std::chrono::milliseconds kWaitSlice{200};
    // How long the events after the first one of a burst may gather before they are written.
    static constexpr std::chrono::milliseconds kGather{25};

private:
    bool Refill(std::size_t max);
    // Between events nothing is written, so a client that went away would only be noticed at
    // the next keep-alive line; its socket tells at once.
    bool ClientGone() const;

    std::shared_ptr<EventHub::Subscription> m_subscription;
    const std::atomic<bool>& m_stopping;
    std::chrono::milliseconds m_keepAlive;
    std::chrono::steady_clock::time_point m_lastWrite;
    std::string m_pending;
    std::size_t m_offset = 0;
    bool m_caughtUp = true;  // the last refill took every queued event
    int m_clientSocket;
};

}  // namespace kov
