#include "engine/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread_priority.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

// What the test jobs saw, shared between the test and the pool's workers.
struct Probe {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;  // lets every job finish
    int permits = 0;    // lets that many jobs finish
    int running = 0, peak = 0, destroyed = 0, destroyedUnrun = 0;
    int doneMismatch = 0;  // a job deleted with `done` not matching whether it ran
    std::vector<int> starts;
    std::map<int, int> runs;
    std::string failure;  // what a throwing job was told

    template <class Pred>
    bool WaitFor(Pred pred) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, 10s, pred);
    }
    void Release(int n, bool all = false) {
        std::lock_guard lock(m);
        permits += n;
        open = open || all;
        cv.notify_all();
    }
};

// Records its start, then blocks until the probe lets it finish; throws when asked to.
class GateJob : public Job {
public:
    GateJob(Probe& probe, int tag, int prio = 5, bool throws = false)
        : m_probe(probe), m_tag(tag), m_throws(throws) {
        priority = prio;
    }
    ~GateJob() override {
        std::lock_guard lock(m_probe.m);
        ++m_probe.destroyed;
        if (!m_ran) ++m_probe.destroyedUnrun;
        if (done.load() != m_ran) ++m_probe.doneMismatch;
        m_probe.cv.notify_all();
    }
    void Run() override {
        m_ran = true;
        if (m_throws) throw std::runtime_error("broken");
        std::unique_lock lock(m_probe.m);
        m_probe.starts.push_back(m_tag);
        ++m_probe.runs[m_tag];
        m_probe.peak = std::max(m_probe.peak, ++m_probe.running);
        m_probe.cv.notify_all();
        // Bounded only so a failed test cannot hang the pool's destructor for ever.
        m_probe.cv.wait_for(lock, 30s, [this] { return m_probe.open || m_probe.permits > 0; });
        if (!m_probe.open) --m_probe.permits;
        --m_probe.running;
        m_probe.cv.notify_all();
    }
    void RunFailed(std::string_view reason) noexcept override {
        std::lock_guard lock(m_probe.m);
        m_probe.failure = reason;
    }

private:
    Probe& m_probe;
    int m_tag;
    bool m_throws;
    bool m_ran = false;
};

// A pool whose jobs are always released before it is destroyed, even when an assertion fails.
struct Rig {
    Probe probe;
    WorkerPool pool;
    ~Rig() { probe.Release(0, true); }
    void Add(int tag, int prio = 5) { pool.Enqueue(std::make_unique<GateJob>(probe, tag, prio)); }
};

TEST(WorkerPool, RunsAtMostMaxThreadsInQueueOrderAndFollowsLimitChanges) {
    Rig rig;
    Probe& p = rig.probe;
    for (int refused : {0, 33, -1})
        EXPECT_FALSE(rig.pool.SetMaxThreads(refused));
    for (int tag = 0; tag < 10; ++tag)
        rig.Add(tag);
    ASSERT_TRUE(p.WaitFor([&] { return p.running == 1; }));
    // Raised: queued jobs start at once.
    ASSERT_TRUE(rig.pool.SetMaxThreads(3));
    ASSERT_TRUE(p.WaitFor([&] { return p.running == 3; }));
    // One finishing job at a time: each frees exactly one worker for the head of the queue.
    for (std::size_t started = 4; started <= 10; ++started) {
        p.Release(1);
        ASSERT_TRUE(p.WaitFor([&] { return p.starts.size() == started && p.running == 3; }))
            << "start " << started;
    }
    // Lowered while busy: the workers retire as their jobs end.
    ASSERT_TRUE(rig.pool.SetMaxThreads(1));
    p.Release(0, true);
    rig.pool.WaitIdle();
    EXPECT_EQ(rig.pool.WorkerCount(), 1);

    std::lock_guard lock(p.m);
    EXPECT_EQ(p.peak, 3);
    std::vector<int> first(p.starts.begin(), p.starts.begin() + 3);
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(std::vector<int>(p.starts.begin() + 3, p.starts.end()),
              (std::vector<int>{3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(p.destroyed, 10);
    EXPECT_EQ(p.doneMismatch, 0);
}

TEST(WorkerPool, HigherPriorityStartsFirstSinglyOrInABatchAndAThrowingJobIsToldAndTheWorkerGoesOn) {
    Rig rig;
    rig.Add(0);
    Probe& p = rig.probe;
    ASSERT_TRUE(p.WaitFor([&] { return p.running == 1; }));
    const int priorities[] = {5, 7, 5, 9, 7};
    std::vector<std::unique_ptr<Job>> batch;  // a batch falls in line as single jobs do
    for (int tag = 1; tag <= 3; ++tag)
        batch.push_back(std::make_unique<GateJob>(p, tag, priorities[tag - 1]));
    rig.pool.EnqueueAll(std::move(batch));
    for (int tag = 4; tag <= 5; ++tag)
        rig.Add(tag, priorities[tag - 1]);
    rig.pool.Enqueue(std::make_unique<GateJob>(p, 6, 1, true));
    rig.Add(7, 1);
    p.Release(0, true);
    rig.pool.WaitIdle();
    EXPECT_EQ(rig.pool.FailedJobCount(), 1u);
    EXPECT_EQ(rig.pool.WorkerCount(), 1);
    std::lock_guard lock(p.m);
    EXPECT_EQ(p.starts, (std::vector<int>{0, 4, 2, 5, 1, 3, 7}));
    EXPECT_EQ(p.failure, "broken");
    EXPECT_EQ(p.destroyed, 8);
}

TEST(WorkerPool, JobsEnqueuedWhileTheManagerSettlesAreNotLost) {
    constexpr int kJobs = 1000;
    for (int threads : {1, 4}) {
        Rig rig;
        Probe& p = rig.probe;
        p.Release(0, true);
        ASSERT_TRUE(rig.pool.SetMaxThreads(threads));
        // Each job is enqueued just after the previous one ran, while the worker is returning
        // itself and the manager is about to sleep. With four threads a burst runs alongside.
        std::thread producer([&] {
            for (int i = 0; i < kJobs; ++i) {
                rig.pool.Enqueue(std::make_unique<GateJob>(p, 0));
                if (!p.WaitFor([&] { return p.runs[0] == i + 1; })) return;
            }
        });
        const int burst = threads == 1 ? 0 : kJobs;
        std::thread burster([&] {
            for (int i = 0; i < burst; ++i)
                rig.pool.Enqueue(std::make_unique<GateJob>(p, 1));
        });
        producer.join();
        burster.join();
        EXPECT_TRUE(p.WaitFor([&] { return p.runs[0] == kJobs && p.runs[1] == burst; }))
            << threads << " threads: " << p.runs[0] << " + " << p.runs[1] << " ran";
    }
}

// Runs the given code on the worker.
class CallJob : public Job {
public:
    explicit CallJob(std::function<void()> call) : m_call(std::move(call)) {}
    void Run() override { m_call(); }

private:
    std::function<void()> m_call;
};

TEST(WorkerPool, LoweredWorkersRunBelowTheCallersPriorityAndTheCallerKeepsItsOwn) {
    const int own = CurrentThreadNiceness();
    WorkerPool pool;
    pool.LowerWorkerPriority(5);
    ASSERT_TRUE(pool.SetMaxThreads(2));
    std::mutex m;
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        pool.Enqueue(std::make_unique<CallJob>([&] {
            std::lock_guard lock(m);
            seen.push_back(CurrentThreadNiceness());
        }));
    }
    pool.WaitIdle();
    EXPECT_EQ(seen, std::vector<int>(4, std::min(19, own + 5)));
    EXPECT_EQ(CurrentThreadNiceness(), own);
}

TEST(WorkerPool, DestructionDeletesQueuedJobsUnrunAndWaitsForRunningOnes) {
    Probe p;
    auto pool = std::make_unique<WorkerPool>();
    ASSERT_TRUE(pool->SetMaxThreads(2));
    for (int tag = 0; tag < 5; ++tag)
        pool->Enqueue(std::make_unique<GateJob>(p, tag));
    ASSERT_TRUE(p.WaitFor([&] { return p.running == 2; }));
    // Released only once the destructor has dropped the queue, so the queued jobs cannot start.
    std::thread releaser([&] {
        p.WaitFor([&] { return p.destroyedUnrun == 3; });
        p.Release(0, true);
    });
    pool.reset();
    releaser.join();
    std::lock_guard lock(p.m);
    EXPECT_EQ(p.destroyed, 5);
    EXPECT_EQ(p.starts.size(), 2u);
    EXPECT_EQ(p.running, 0);
    EXPECT_EQ(p.doneMismatch, 0);
}

}  // namespace
}  // namespace kov

namespace kov {
namespace {

// A queue drained by workers that go from job to job: every job runs once, never more at a
// time than the limit, on no more threads than the limit, and the pool is idle afterwards.
TEST(WorkerPool, BusyWorkersDrainTheQueueWithinTheLimit) {
    constexpr int kJobs = 300;
    for (int limit : {1, 3, 8}) {
        SCOPED_TRACE(std::to_string(limit) + " threads");
        Rig rig;
        Probe& p = rig.probe;
        std::set<std::thread::id> threads;
        ASSERT_TRUE(rig.pool.SetMaxThreads(limit));
        std::vector<std::unique_ptr<Job>> jobs;
        for (int i = 0; i < kJobs; ++i) {
            jobs.push_back(std::make_unique<CallJob>([&p, &threads] {
                {
                    std::lock_guard lock(p.m);
                    threads.insert(std::this_thread::get_id());
                    p.peak = std::max(p.peak, ++p.running);
                    ++p.runs[0];
                }
                std::this_thread::yield();  // lets the other workers overlap this job
                std::lock_guard lock(p.m);
                --p.running;
            }));
        }
        rig.pool.EnqueueAll(std::move(jobs));
        rig.pool.WaitIdle();
        std::lock_guard lock(p.m);
        EXPECT_EQ(p.runs[0], kJobs);
        EXPECT_LE(p.peak, limit);
        EXPECT_LE(threads.size(), static_cast<std::size_t>(limit));
        EXPECT_LE(rig.pool.WorkerCount(), limit);
    }
}

}  // namespace
}  // namespace kov
