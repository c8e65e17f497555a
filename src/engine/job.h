#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kov {

// Values of a job's stopRequest.
enum StopLevel : int {
    kStopNone = 0,
    kStopAfterFile = 1,  // end when the current file is done
    kStopNow = 2,        // end transfers and waits at once
};

// What the worker pool runs. A job is owned by the pool's queue until a worker takes it, and by
// that worker until it has run; the worker then deletes it.
class Job {
public:
    Job();
    virtual ~Job() = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Runs the job once on a worker thread.
    virtual void Run() = 0;

    // Called by the worker instead of a normal end when Run threw, with what it threw, so that
    // the job can still tell whoever waits for its end. Must not throw.
    virtual void RunFailed(std::string_view /*reason*/) noexcept {}

    // The stop flag, shared so that whoever asks a job to stop may keep it beyond the job's
    // life (a worker deletes the job as soon as it has run).
    std::shared_ptr<std::atomic<int>> StopFlag() const { return m_stop; }

private:
    std::shared_ptr<std::atomic<int>> m_stop;

public:
    // A StopLevel; more than kStopNow counts as kStopNow. Written by the main thread, read by
    // the job.
    std::atomic<int>& stopRequest;
    const std::uint64_t jobId;  // from a process-wide counter
    int priority = 5;           // larger runs earlier
    std::atomic<bool> done{false};
};

}  // namespace kov
