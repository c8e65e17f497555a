#include "engine/worker_pool.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <system_error>
#include <utility>

#include "platform/thread_priority.h"

namespace kov {

WorkerPool::WorkerPool() : m_manager(&WorkerPool::ManagerMain, this) {}

WorkerPool::~WorkerPool() {
    std::deque<std::unique_ptr<Job>> unrun;
    {
        std::lock_guard lock(m_lock);
        m_shutdown = true;
        unrun.swap(m_queue);
        for (Worker* worker : m_freeWorkers) {
            worker->retire = true;
            --m_workerCount;
            worker->wake.notify_one();
        }
        m_freeWorkers.clear();
        m_managerWake.notify_all();
        if (m_runningCount == 0) m_idle.notify_all();
    }
    // Outside the lock: a job's destructor may take locks of its own.
    unrun.clear();
    m_manager.join();
    // Busy workers end after their current job. Only this thread touches the list now that the
    // manager is gone, and the workers never touch their own thread handle.
    for (auto& worker : m_allWorkers)
        worker->thread.join();
    m_allWorkers.clear();
}

void WorkerPool::Enqueue(std::unique_ptr<Job> job) {
    if (!job) return;
    std::lock_guard lock(m_lock);
    Insert(std::move(job));
    HandOver();
}

void WorkerPool::EnqueueAll(std::vector<std::unique_ptr<Job>> jobs) {
    std::lock_guard lock(m_lock);
    bool any = false;
    for (auto& job : jobs) {
        if (!job) continue;
        Insert(std::move(job));
        any = true;
    }
    if (any) HandOver();
}

void WorkerPool::Insert(std::unique_ptr<Job> job) {
    // The queue is ordered by falling priority, so the place is after the last queued job of
    // the same or a higher priority; looking from the end finds it at once in a session, where
    // all jobs have the same priority.
    const int priority = job->priority;
    auto after = std::find_if(m_queue.rbegin(), m_queue.rend(), [priority](const auto& queued) {
        return queued->priority >= priority;
    });
    m_queue.insert(after.base(), std::move(job));
}

bool WorkerPool::SetMaxThreads(int n) {
    if (n < kMinThreads || n > kMaxThreads) return false;
    std::lock_guard lock(m_lock);
    m_maxThreads = n;
    RetireIdleSurplus();
    HandOver();
    return true;
}

int WorkerPool::MaxThreads() const {
    std::lock_guard lock(m_lock);
    return m_maxThreads;
}

int WorkerPool::WorkerCount() const {
    std::lock_guard lock(m_lock);
    return m_workerCount;
}

std::uint64_t WorkerPool::FailedJobCount() const {
    std::lock_guard lock(m_lock);
    return m_failedJobs;
}

void WorkerPool::LowerWorkerPriority(int steps) {
    std::lock_guard lock(m_lock);
    m_workerNiceSteps = std::max(0, steps);
}

void WorkerPool::WaitIdle() {
    std::unique_lock lock(m_lock);
    m_idle.wait(lock, [this] { return m_queue.empty() && m_runningCount == 0; });
}

void WorkerPool::ManagerMain() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_managerWake.wait(lock, [this] { return m_managerPending || m_shutdown; });
        if (m_shutdown) return;
        m_managerPending = false;

        if (m_exitedCount > 0) {
            std::list<std::unique_ptr<Worker>> ended;
            for (auto it = m_allWorkers.begin(); it != m_allWorkers.end();) {
                auto next = std::next(it);
                if ((*it)->exited) ended.splice(ended.end(), m_allWorkers, it);
                it = next;
            }
            m_exitedCount = 0;
            // An ended worker only has to release the lock and return, but joining it under the
            // lock would deadlock.
            lock.unlock();
            for (auto& worker : ended)
                worker->thread.join();
            ended.clear();
            lock.lock();
            if (m_shutdown) return;
        }

        // What a failed thread start left queued goes now.
        HandOver();
    }
}

void WorkerPool::HandOver() {
    while (!m_queue.empty()) {
        Worker* worker = TakeFreeWorker();
        if (!worker) break;
        worker->job = std::move(m_queue.front());
        m_queue.pop_front();
        // Counted as running from the hand-over, so WaitIdle never sees a gap between the
        // queue and the worker.
        ++m_runningCount;
        worker->wake.notify_one();
    }
}

void WorkerPool::WorkerMain(Worker* worker) {
    std::unique_lock lock(m_lock);
    LowerCurrentThreadPriority(m_workerNiceSteps);
    for (;;) {
        worker->wake.wait(lock, [worker] { return worker->job || worker->retire; });
        if (!worker->job) break;  // retired while idle; already uncounted

        std::unique_ptr<Job> job = std::move(worker->job);
        for (;;) {
            lock.unlock();
            const bool ok = RunJob(std::move(job));
            lock.lock();
            if (!ok) ++m_failedJobs;
            --m_runningCount;
            // A lowered limit retires busy surplus workers here, once their job is over.
            if (m_shutdown || m_workerCount > m_maxThreads || m_queue.empty()) break;
            // The next job straight from the queue: a hand-over through the manager costs two
            // thread switches per job, which small files feel.
            job = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_runningCount;
        }
        if (m_runningCount == 0 && m_queue.empty()) m_idle.notify_all();
        if (m_shutdown || m_workerCount > m_maxThreads) {
            --m_workerCount;
            break;
        }
        // Nothing is queued (or this worker would have taken it): the manager has nothing to do.
        m_freeWorkers.push_back(worker);
    }
    worker->exited = true;
    ++m_exitedCount;
    WakeManager();
}

bool WorkerPool::RunJob(std::unique_ptr<Job> job) {
    // A failing job must not take its worker, and with it a slot of the pool, down; nor may it
    // end silently, or whoever waits for its final word waits for ever.
    bool ok = true;
    try {
        job->Run();
    } catch (const std::exception& e) {
        ok = false;
        job->RunFailed(e.what());
    } catch (...) {
        ok = false;
        job->RunFailed("unknown exception");
    }
    job->done.store(true);
    job.reset();
    return ok;
}

WorkerPool::Worker* WorkerPool::TakeFreeWorker() {
    if (!m_freeWorkers.empty()) {
        Worker* worker = m_freeWorkers.back();
        m_freeWorkers.pop_back();
        return worker;
    }
    if (m_workerCount >= m_maxThreads) return nullptr;

    // Listed before its thread starts; the thread waits for the lock held here anyway.
    m_allWorkers.push_back(std::make_unique<Worker>());
    Worker* worker = m_allWorkers.back().get();
    try {
        worker->thread = std::thread(&WorkerPool::WorkerMain, this, worker);
    } catch (const std::system_error&) {
        // Out of threads: the job stays queued and is tried again at the next wake-up.
        m_allWorkers.pop_back();
        return nullptr;
    }
    ++m_workerCount;
    return worker;
}

void WorkerPool::WakeManager() {
    m_managerPending = true;
    m_managerWake.notify_one();
}

void WorkerPool::RetireIdleSurplus() {
    while (m_workerCount > m_maxThreads && !m_freeWorkers.empty()) {
        Worker* worker = m_freeWorkers.back();
        m_freeWorkers.pop_back();
        worker->retire = true;
        --m_workerCount;
        worker->wake.notify_one();
    }
}

}  // namespace kov
