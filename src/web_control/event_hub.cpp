#include "web_control/event_hub.h"

#include <vector>

namespace kov {

std::string HubEvent::Wire() const {
    std::string text;
    text.reserve(name.size() + data.size() + 16);
    text += "event: ";
    text += name;
    text += '\n';
    // A line break inside the data would end the field early: each line gets its own "data:".
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = data.find('\n', start);
        text += "data: ";
        text.append(data, start, end == std::string::npos ? std::string::npos : end - start);
        text += '\n';
        if (end == std::string::npos) break;
        start = end + 1;
    }
    text += '\n';
    return text;
}

const std::string& EventHub::Subscription::Shared::Wire() const {
    std::call_once(written, [this] { wire = event.Wire(); });
    return wire;
}

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
    auto event = std::make_shared<Subscription::Shared>();
    event->event = HubEvent{std::move(name), std::move(data)};
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
    // A loss stands where the dropped events stood: before the oldest one still queued.
    if (m_lost > 0) return LostEvent();
    if (m_queue.empty()) return std::nullopt;
    HubEvent event = m_queue.front()->event;  // a copy, made on the reader's thread
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

bool EventHub::Subscription::Take(std::string& out, std::size_t max) {
    std::vector<std::shared_ptr<const Shared>> taken;
    bool left = false;
    {
        std::lock_guard lock(m_lock);
        if (m_lost > 0) out += LostEvent().Wire();
        std::size_t size = out.size();
        while (!m_queue.empty() && size < max) {
            const HubEvent& next = m_queue.front()->event;
            size += next.name.size() + next.data.size() + 16;  // about its wire text
            taken.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
        }
        left = !m_queue.empty();
    }
    for (const auto& event : taken)
        out += event->Wire();
    return left;
}

HubEvent EventHub::Subscription::LostEvent() {
    HubEvent lost{"lost", "{\"dropped\":" + std::to_string(m_lost) + "}"};
    m_lost = 0;
    return lost;
}

bool EventHub::Subscription::Closed() const {
    std::lock_guard lock(m_lock);
    return m_closed;
}

void EventHub::Subscription::Push(std::shared_ptr<const Shared> event) {
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
