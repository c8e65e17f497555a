#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "engine/job_event.h"

namespace kov {

class MainLoop;

// Carries the job events of one session from the worker threads to the main loop, in posting
// order per job. Progress events of a job wait merged while one of them is queued, so a fast
// transfer cannot flood the loop; any other event of that job closes the merge, so later bytes
// never overtake it. Once disconnected (the session was ended by force, or its controller is
// going) events are dropped and queued ones are not handled, so neither a late job nor a queued
// task can reach the controller.
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
        bool connected = true;
        MainLoop* loop;
        Handler handler;
        // The queued progress event of each job that later progress is merged into.
        std::unordered_map<std::uint64_t, std::shared_ptr<JobEvent>> merging;
    };
    static void Deliver(const std::shared_ptr<Shared>& shared, const JobEvent& event);

    std::shared_ptr<Shared> m_shared;
};

}  // namespace kov
