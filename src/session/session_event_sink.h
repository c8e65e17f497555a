#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "engine/job_event.h"

namespace kov {

class MainLoop;

// Carries the job events of one session from the worker threads to the main loop, in posting
// order. Events wait in one queue of the sink's own, and the loop runs one task for all that
// arrived since the last: a session of small files sends a few events per file from each of
// its workers, and a task and a wake-up of the loop for each made the threads queue at the
// loop's lock. Progress events of a job wait merged while one of them is queued, so a fast
// transfer cannot flood the loop; any other event of that job closes the merge, so later bytes
// never overtake it. Once disconnected (the session was ended by force, or its controller is
// going) events are dropped and queued ones are not handled, so neither a late job nor a queued
// task can reach the controller. A task comes at most every few milliseconds: each woke the
// loop's thread, and a thousand small files made a thousand wake-ups where a handful serve.
class SessionEventSink : public JobEventSink {
public:
    using Handler = std::function<void(const JobEvent&)>;

    // The handler runs on the loop's thread.
    SessionEventSink(MainLoop& loop, Handler handler);

    // Any thread.
    void Post(JobEvent event) override;

    // On the loop's thread: no event is handled after this returns.
    void Disconnect();

private:
    struct Shared {
        std::mutex lock;
        std::atomic<bool> connected{true};
        // Posts to the loop under way with the lock released; Disconnect waits for them.
        std::atomic<int> posting{0};
        MainLoop* loop;
        Handler handler;
        // The events that wait for the loop's task, in posting order.
        std::vector<JobEvent> queued;
        // Per job, the place in queued of its progress event that later progress merges into.
        std::unordered_map<std::uint64_t, std::size_t> merging;
        // When the loop last took the queue.
        std::chrono::steady_clock::time_point delivered;
    };
    // On the loop's thread: handles the events queued so far.
    static void Deliver(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
};

}  // namespace kov
