#include "ui/qt_main_loop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
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

}  // namespace
}  // namespace kov
