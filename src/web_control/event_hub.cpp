#include "web_control/event_hub.h"

namespace kov {

void EventHub::Publish(std::string name, std::string data) {
    std::vector<std::shared_ptr<Subscription>> live;
    {
        std::lock_guard lock(m_lock);
        if (m_closed) return;
        std::erase_if(m_subscribers, [](const auto& weak) { return weak.expired(); });
        live.reserve(m_subscribers.size());
        for (const auto& weak : m_subscribers) {
            if (auto subscriber = weak.lock()) live.push_back(std::move(subscriber));
        }
    }
    // The last subscriber takes the event itself; the others get copies.
    for (std::size_t i = 0; i < live.size(); ++i) {
        if (i + 1 == live.size()) {
            live[i]->Push({std::move(name), std::move(data)});
        } else {
            live[i]->Push({name, data});
        }
    }
}

std::shared_ptr<EventHub::Subscription> EventHub::Subscribe() {
    auto subscription = std::make_shared<Subscription>();
    std::lock_guard lock(m_lock);
    if (m_closed) {
        subscription->Close();
    } else {
        m_subscribers.push_back(subscription);
    }
    return subscription;
}

void EventHub::Close() {
    std::vector<std::weak_ptr<Subscription>> subscribers;
    {
        std::lock_guard lock(m_lock);
        m_closed = true;
        subscribers.swap(m_subscribers);
    }
    for (const auto& weak : subscribers) {
        if (auto subscriber = weak.lock()) subscriber->Close();
    }
}

std::optional<HubEvent> EventHub::Subscription::Next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    m_wake.wait_for(lock, timeout, [this] { return m_closed || m_lost > 0 || !m_queue.empty(); });
    if (m_closed) return std::nullopt;
    if (m_lost > 0) {
        // Stands where the dropped events stood: before the oldest one still queued.
        HubEvent lost{"lost", "{\"dropped\":" + std::to_string(m_lost) + "}"};
        m_lost = 0;
        return lost;
    }
    if (m_queue.empty()) return std::nullopt;
    HubEvent event = std::move(m_queue.front());
    m_queue.pop_front();
    return event;
}

bool EventHub::Subscription::Closed() const {
    std::lock_guard lock(m_lock);
    return m_closed;
}

void EventHub::Subscription::Push(HubEvent event) {
    {
        std::lock_guard lock(m_lock);
        if (m_closed) return;
        if (m_queue.size() >= kQueueLimit) {
            m_queue.pop_front();
            ++m_lost;
        }
        m_queue.push_back(std::move(event));
    }
    m_wake.notify_one();
}

void EventHub::Subscription::Close() {
    {
        std::lock_guard lock(m_lock);
        m_closed = true;
        m_queue.clear();
    }
    m_wake.notify_all();
}

}  // namespace kov
