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
    if (live.empty()) return;
    const auto event = std::make_shared<const HubEvent>(HubEvent{std::move(name), std::move(data)});
    for (const auto& subscriber : live)
        subscriber->Push(event);
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
    HubEvent event = *m_queue.front();  // a copy, made on the reader's thread
    m_queue.pop_front();
    return event;
}

bool EventHub::Subscription::WaitForEvents(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    m_wake.wait_for(lock, timeout, [this] { return m_closed || m_lost > 0 || !m_queue.empty(); });
    return !m_closed && (m_lost > 0 || !m_queue.empty());
}

void EventHub::Subscription::Linger(std::chrono::milliseconds time) {
    std::unique_lock lock(m_lock);
    m_wake.wait_for(lock, time, [this] { return m_closed; });
}

bool EventHub::Subscription::Closed() const {
    std::lock_guard lock(m_lock);
    return m_closed;
}

void EventHub::Subscription::Push(std::shared_ptr<const HubEvent> event) {
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_lock);
        if (m_closed) return;
        if (m_queue.size() >= kQueueLimit) {
            m_queue.pop_front();
            ++m_lost;
        }
        wasEmpty = m_queue.empty();
        m_queue.push_back(std::move(event));
    }
    // A reader waits only for an empty queue to fill (or lingers, woken by Close alone).
    if (wasEmpty) m_wake.notify_one();
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
