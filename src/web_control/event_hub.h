#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kov {

// One server-sent event: its name ("item", "progress", "log", "session") and one line of JSON.
struct HubEvent {
    std::string name;
    std::string data;

    // As a text/event-stream writes it: "event: NAME\ndata: LINE\n...\n\n".
    std::string Wire() const;
};

// Hands the program's events to every open event stream. Publish is called on the main loop's
// thread (it never blocks on a client); each subscriber has a bounded queue read by its
// connection's thread, and a subscriber that falls too far behind loses its oldest events and
// gets a "lost" event in their place, so a slow client can never slow a session.
class EventHub {
public:
    class Subscription;

    // Any thread.
    void Publish(std::string name, std::string data);
    std::shared_ptr<Subscription> Subscribe();
    // The program is going: every waiting stream ends.
    void Close();

    static constexpr std::size_t kQueueLimit = 4096;

private:
    friend class Subscription;
    std::mutex m_lock;
    std::vector<std::weak_ptr<Subscription>> m_subscribers;
    bool m_closed = false;
};

class EventHub::Subscription {
public:
    // The next event, waiting at most timeout; empty on time-out or when the hub closed
    // (Closed() tells which).
    std::optional<HubEvent> Next(std::chrono::milliseconds timeout);
    // Waits at most timeout until an event (or a loss) is queued, without taking it; false on
    // time-out or when the hub closed.
    bool WaitForEvents(std::chrono::milliseconds timeout);
    // Waits for time, or less when the hub closes, while events gather in the queue: a burst
    // is then taken in one go (a push into a queue that is not empty wakes nobody).
    void Linger(std::chrono::milliseconds time);
    // Appends the queued events' wire texts to out (a "lost" event first when some were
    // dropped), until out holds max bytes or more; whether events are left. Each event is
    // written once for all its readers, outside the queue's lock.
    bool Take(std::string& out, std::size_t max);
    bool Closed() const;

private:
    friend class EventHub;
    // An event as every subscriber queues it, with its wire text made by the first reader.
    struct Shared {
        HubEvent event;
        mutable std::once_flag written;
        mutable std::string wire;
        const std::string& Wire() const;
    };

    // The event is shared by every subscriber: the publisher copies nothing per reader.
    void Push(std::shared_ptr<const Shared> event);
    void Close();
    HubEvent LostEvent();  // under m_lock

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<const Shared>> m_queue;
    std::uint64_t m_lost = 0;
    bool m_closed = false;
};

}  // namespace kov
