#include "ui/app/qt_main_loop.h"

#include "platform/helper_threads.h"
#include "ui/app/background_task.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kov {
namespace {

TEST(QtMainLoopTest, RunsTasksFromOtherThreadsInPostingOrderOnTheMainThread) {
    QtMainLoop loop;
    std::vector<int> order;
    const auto mainThread = std::this_thread::get_id();
    bool allOnMain = true;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            loop.Post([&, i] {
                allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                order.push_back(i);
            });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "a posted task must wait for the event loop";
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 100; }, 5000));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_TRUE(allOnMain);

    // A task that waits in an event loop of its own (a dialog does) holds up neither the tasks
    // behind it nor those posted meanwhile.
    bool behind = false, later = false, nestedSawBoth = false;
    loop.Post([&] {
        loop.Post([&] { later = true; });
        nestedSawBoth = QTest::qWaitFor([&] { return behind && later; }, 5000);
    });
    loop.Post([&] { behind = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return behind && later; }, 6000));
    EXPECT_TRUE(nestedSawBoth);
}

TEST(QtMainLoopTest, TimersTickUntilStoppedAndNothingRunsAfterShutdown) {
    QtMainLoop loop;
    int ticks = 0;
    loop.StartTimer(7, std::chrono::milliseconds(5), [&] {
        if (++ticks == 3) loop.StopTimer(7);  // a tick may stop its own timer
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
    QTest::qWait(30);
    EXPECT_EQ(ticks, 3);

    bool ran = false;
    loop.Post([&] { ran = true; });
    loop.Shutdown();
    EXPECT_FALSE(loop.Alive());
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

// A dialog that goes while its work still runs tells the work to stop; the thread is never
// detached, so the program's end can wait for it instead of leaving it running past main.
TEST(BackgroundTaskTest, WorkOfAClosedDialogStopsAndIsJoinedBeforeTheProgramEnds) {
    using namespace std::chrono_literals;
    QObject owner;
    std::atomic<bool> started{false}, delivered{false};
    auto task = std::make_unique<BackgroundTask>(&owner);
    ASSERT_TRUE(task->Run([&](const std::atomic<int>& stop, const BackgroundTask::Post&) {
        started = true;
        while (stop < 2)
            std::this_thread::sleep_for(5ms);
        return std::function<void()>([&] { delivered = true; });
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 5000));
    EXPECT_EQ(JoinHelperThreads(0ms), 1);
    task.reset();
    EXPECT_EQ(JoinHelperThreads(20s), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

}  // namespace
}  // namespace kov
