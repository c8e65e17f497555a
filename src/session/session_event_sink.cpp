#include "session/session_event_sink.h"

#include <thread>

#include "core/main_loop.h"

namespace kov {

namespace {
// The least time between two deliveries. Short beside what a person notices or a session's
// end waits for; long beside a small file's transfer on a fast line.
constexpr auto kDeliveryGap = std::chrono::milliseconds(2);
}  // namespace

SessionEventSink::SessionEventSink(MainLoop& loop, Handler handler)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->loop = &loop;
    m_shared->handler = std::move(handler);
}

void SessionEventSink::Deliver(const std::shared_ptr<Shared>& shared) {
    std::vector<JobEvent> events;
    Handler handler;
    {
        std::lock_guard guard(shared->lock);
        if (!shared->connected) return;
        events.swap(shared->queued);
        shared->merging.clear();
        shared->delivered = std::chrono::steady_clock::now();
        handler = shared->handler;
    }
    for (const JobEvent& event : events) {
        // A handler may end the session: nothing after its disconnect is handled.
        if (!shared->connected) return;
        handler(event);
    }
}

void SessionEventSink::Post(JobEvent event) {
    std::chrono::steady_clock::duration wait{};
    {
        std::lock_guard guard(m_shared->lock);
        if (!m_shared->connected) return;
        const std::uint64_t id = event.jobId;
        if (event.code == kEventBlock) {
            const auto it = m_shared->merging.find(id);
            if (it != m_shared->merging.end()) {
                JobEvent& pending = m_shared->queued[it->second];
                pending.param1 += event.param1;
                pending.param2 = event.param2;
                return;
            }
            m_shared->merging.emplace(id, m_shared->queued.size());
        } else if (!m_shared->merging.empty()) {
            // The queued progress takes no more bytes: those that follow belong after this event.
            m_shared->merging.erase(id);
        }
        m_shared->queued.push_back(std::move(event));
        // Only the first event since the last task asks for the next one.
        if (m_shared->queued.size() != 1) return;
        m_shared->posting.fetch_add(1);
        wait = m_shared->delivered + kDeliveryGap - std::chrono::steady_clock::now();
    }
    // Posted with the sink's lock released, so that the other workers do not queue behind the
    // loop's lock too. The task takes whatever has arrived by the time it runs; no other task
    // is pending to take these events first, as the queue was empty.
    // A wait that has run out (or was never begun) posts the task at once.
    m_shared->loop->PostAfter(std::chrono::ceil<std::chrono::milliseconds>(wait),
                              [shared = m_shared] { Deliver(shared); });
    m_shared->posting.fetch_sub(1);
}

void SessionEventSink::Disconnect() {
    {
        std::lock_guard guard(m_shared->lock);
        m_shared->connected = false;
        m_shared->queued.clear();
        m_shared->merging.clear();
        m_shared->handler = nullptr;
    }
    // A post that got past the check before reaches the loop within moments: once none is on
    // its way, no job can touch the loop through this sink, which may then go with its owner.
    while (m_shared->posting.load() != 0)
        std::this_thread::yield();
}

}  // namespace kov
