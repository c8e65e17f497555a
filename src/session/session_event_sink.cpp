#include "session/session_event_sink.h"

#include "core/main_loop.h"

namespace kov {

SessionEventSink::SessionEventSink(MainLoop& loop, Handler handler)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->loop = &loop;
    m_shared->handler = std::move(handler);
}

void SessionEventSink::Deliver(const std::shared_ptr<Shared>& shared, const JobEvent& event) {
    Handler handler;
    {
        std::lock_guard guard(shared->lock);
        if (!shared->connected) return;
        handler = shared->handler;
    }
    handler(event);
}

void SessionEventSink::Post(JobEvent event) {
    std::lock_guard guard(m_shared->lock);
    if (!m_shared->connected) return;
    const std::uint64_t id = event.jobId;
    if (event.code != kEventBlock) {
        // The queued progress takes no more bytes: those that follow belong after this event.
        m_shared->merging.erase(id);
        m_shared->loop->Post([shared = m_shared, e = std::move(event)] { Deliver(shared, e); });
        return;
    }
    auto it = m_shared->merging.find(id);
    if (it != m_shared->merging.end()) {
        it->second->param1 += event.param1;
        it->second->param2 = event.param2;
        return;
    }
    auto pending = std::make_shared<JobEvent>(std::move(event));
    m_shared->merging.emplace(id, pending);
    m_shared->loop->Post([shared = m_shared, pending, id] {
        JobEvent merged;
        {
            std::lock_guard guard(shared->lock);
            auto it = shared->merging.find(id);
            if (it != shared->merging.end() && it->second == pending) shared->merging.erase(it);
            merged = *pending;
        }
        Deliver(shared, merged);
    });
}

void SessionEventSink::Disconnect() {
    std::lock_guard guard(m_shared->lock);
    m_shared->connected = false;
    m_shared->merging.clear();
    m_shared->handler = nullptr;
}

}  // namespace kov
