#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/job.h"

namespace kov {

// Runs jobs on a bounded set of worker threads. Queued jobs go to idle workers at once, by the
// thread that queues them, and workers are made lazily up to the thread limit; each worker runs
// one job at a time, sets its `done`, deletes it and takes the next queued one or offers itself
// as idle. A manager thread joins the workers that ended. Jobs never run on the caller's
// thread. All members may be called from any thread.
//
// Destruction: queued jobs that no worker has taken yet are deleted without running; jobs
// already handed to a worker are run to the end and waited for. The pool never stops a job
// itself: whoever wants a fast exit sets each job's `stopRequest` before destroying the pool.
class WorkerPool {
public:
    static constexpr int kMinThreads = 1;
    static constexpr int kMaxThreads = 32;

    WorkerPool();
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues the job before the first queued job of lower priority, else at the end, so equal
    // priorities keep their arrival order. A null job is ignored.
    void Enqueue(std::unique_ptr<Job> job);
    // The same for several jobs at once, under one lock and with one wake-up of the manager.
    void EnqueueAll(std::vector<std::unique_ptr<Job>> jobs);

    // Accepts 1..32 (false and no change otherwise). A lower limit retires idle surplus workers
    // at once and busy ones as they finish their current job.
    bool SetMaxThreads(int n);

    int MaxThreads() const;
    int WorkerCount() const;  // workers in existence, idle or busy
    // Jobs whose Run threw. Each was told so (Job::RunFailed) and the worker stays usable.
    std::uint64_t FailedJobCount() const;

    // Blocks until no job is queued or running. Jobs that finished are deleted by then.
    void WaitIdle();

    // Workers started from now on run steps nice levels below the thread that made the pool,
    // so a window's main thread is not kept waiting for a core by downloads.
    void LowerWorkerPriority(int steps);

private:
    struct Worker {
        std::thread thread;
        std::unique_ptr<Job> job;  // handed over by the manager, taken by the worker
        std::condition_variable wake;
        bool retire = false;  // set only while the worker is idle
        bool exited = false;  // its thread is about to return and may be joined
    };

    void ManagerMain();
    void WorkerMain(Worker* worker);
    // Runs, marks done and deletes the job; false when Run threw.
    static bool RunJob(std::unique_ptr<Job> job);

    // The helpers below run with m_lock held.
    void Insert(std::unique_ptr<Job> job);
    // Queued jobs to idle or new workers, as far as the limit allows. Done by whoever queued
    // them, not by the manager: a thread woken from a wait tends to be queued behind the thread
    // that woke it, on that one's core, and waits out its time slice (milliseconds at a
    // session's start, while the caller goes on making jobs), where a new thread starts on an
    // idle core at once.
    void HandOver();
    Worker* TakeFreeWorker();
    void WakeManager();
    void RetireIdleSurplus();

    mutable std::mutex m_lock;
    std::condition_variable m_managerWake;
    std::condition_variable m_idle;
    // Set by every change that may let the manager make progress and cleared by the manager
    // before it looks, so a change made while it is busy is seen on its next round.
    bool m_managerPending = false;
    bool m_shutdown = false;

    std::deque<std::unique_ptr<Job>> m_queue;
    int m_maxThreads = 1;
    int m_workerNiceSteps = 0;
    int m_workerCount = 0;   // workers that have not decided to end
    int m_runningCount = 0;  // jobs handed to workers and not yet deleted
    int m_exitedCount = 0;   // ended workers waiting to be joined by the manager
    std::uint64_t m_failedJobs = 0;
    std::vector<Worker*> m_freeWorkers;               // stack of idle workers
    std::list<std::unique_ptr<Worker>> m_allWorkers;  // owns every worker not yet joined

    std::thread m_manager;  // last: it starts once everything above exists
};

}  // namespace kov
