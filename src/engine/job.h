#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace kov {

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

    // The stop flag, shared so that whoever asks a job to stop may keep it beyond the job's
    // life (a worker deletes the job as soon as it has run).
    std::shared_ptr<std::atomic<int>> StopFlag() const { return m_stop; }

private:
    std::shared_ptr<std::atomic<int>> m_stop;

public:
    // 0 run; 1 stop when the current file is done; 2 or more stop now. Written by the main
    // thread, read by the job.
    std::atomic<int>& stopRequest;
    const std::uint64_t jobId;  // from a process-wide counter
    int priority = 5;           // larger runs earlier
    std::atomic<bool> done{false};
};

}  // namespace kov
