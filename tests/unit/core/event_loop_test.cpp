#include "core/event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kov {
namespace {

using namespace std::chrono_literals;

TEST(EventLoop, PostedTasksRunInPostingOrderOnTheLoopThread) {
    EventLoop loop;
    std::vector<int> order;
    std::thread::id loopThread = std::this_thread::get_id();
    std::vector<std::thread::id> ranOn;
    std::thread other([&] {
        for (int i = 0; i < 100; ++i) {
            loop.Post([&, i] {
                order.push_back(i);
                ranOn.push_back(std::this_thread::get_id());
            });
        }
        loop.Post([&] { loop.Quit(); });
    });
    loop.Run();
    other.join();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    for (auto id : ranOn)
        EXPECT_EQ(id, loopThread);
    EXPECT_FALSE(loop.Alive());
}

TEST(EventLoop, TimersTickByIdStopAndAreReplaced) {
    EventLoop loop;
    int fast = 0;
    int slow = 0;
    int replaced = 0;
    loop.StartTimer(1, 5ms, [&] {
        if (++fast == 3) loop.StopTimer(1);  // a tick may stop its own timer
    });
    loop.StartTimer(2, 1000ms, [&] { ++slow; });
    loop.StartTimer(3, 5ms, [&] { ++replaced; });
    loop.StartTimer(3, 1000ms, [&] { ++slow; });  // the same id replaces the timer
    loop.RunFor(200ms);
    EXPECT_EQ(fast, 3);
    EXPECT_EQ(slow, 0);
    EXPECT_EQ(replaced, 0);
    EXPECT_TRUE(loop.Alive());
}

TEST(EventLoop, QuitFromAnotherThreadEndsRun) {
    EventLoop loop;
    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        loop.Quit();
    });
    loop.Run();  // waits with nothing to do until Quit
    other.join();
    EXPECT_FALSE(loop.Alive());
    // After Quit nothing runs any more.
    bool ran = false;
    loop.Post([&] { ran = true; });
    loop.RunPending();
    EXPECT_FALSE(ran);
}

TEST(EventLoop, SlowTickDoesNotStarveTasks) {
    EventLoop loop;
    int ticks = 0;
    bool taskRan = false;
    loop.StartTimer(1, 1ms, [&] {
        ++ticks;
        std::this_thread::sleep_for(3ms);  // slower than its own period
        if (ticks == 1) loop.Post([&] { taskRan = true; });
        if (ticks == 5) loop.Quit();
    });
    loop.Run();
    EXPECT_TRUE(taskRan);
}

TEST(EventLoop, DelayedTasksWaitTheirTimeInDueOrderAndWakeASleepingLoop) {
    EventLoop loop;
    std::vector<int> order;
    std::atomic<bool> posted{false};
    const auto start = EventLoop::Clock::now();
    EventLoop::Clock::time_point last;
    // The loop sleeps with nothing but a distant timer when the other thread posts.
    loop.StartTimer(1, 10000ms, [] {});
    std::thread other([&] {
        std::this_thread::sleep_for(10ms);
        loop.PostAfter(30ms, [&] {
            order.push_back(2);
            last = EventLoop::Clock::now();
            loop.Quit();
        });
        loop.PostAfter(10ms, [&] { order.push_back(1); });
        loop.PostAfter(0ms, [&] { order.push_back(0); });
        posted = true;
    });
    loop.Run();
    other.join();
    EXPECT_TRUE(posted.load());
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(last - start, 40ms);
    EXPECT_LT(last - start, 5000ms);  // woken for it, not by the timer
}

}  // namespace
}  // namespace kov
