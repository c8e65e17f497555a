#include "net/transfer/traffic_meter.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace kov {
namespace {

using namespace std::chrono_literals;

// Runs body on eight threads at once.
void OnThreads(const std::function<void()>& body) {
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t)
        workers.emplace_back(body);
    for (auto& w : workers)
        w.join();
}

TEST(TrafficMeter, UnlimitedCountsEverythingPerKindAndPeriod) {
    TrafficMeter meter;
    EXPECT_EQ(meter.Account(5000, false), 5000u);
    EXPECT_EQ(meter.Account(7000, false), 7000u);
    EXPECT_EQ(meter.Account(300, true), 300u);
    const TrafficMeter::PeriodCounts first = meter.TakePeriod();
    EXPECT_EQ(first.internet, 12000u);
    EXPECT_EQ(first.local, 300u);
    EXPECT_EQ(meter.TakePeriod().internet, 0u);
    EXPECT_EQ(meter.Total(true), 300u);
    EXPECT_EQ(meter.AverageRate(false), 6000u);  // over two periods
    meter.Reset();
    EXPECT_EQ(meter.Total(false), 0u);
    EXPECT_EQ(meter.Elapsed(), 0u);
}

TEST(TrafficMeter, LimitCapsAPeriodButAcceptsItsFirstBlockWhole) {
    TrafficMeter meter;
    meter.SetLimits(1000, 0, true);
    EXPECT_EQ(meter.Limit(true), 0u);  // a zero limit leaves the kind unlimited
    EXPECT_EQ(meter.Account(5000, false), 5000u);
    EXPECT_EQ(meter.Account(10, false), 0u);
    EXPECT_EQ(meter.Account(4000, true), 4000u);
    EXPECT_EQ(meter.Account(4000, true), 4000u);
    EXPECT_EQ(meter.TakePeriod().internet, 5000u);
    EXPECT_EQ(meter.Account(600, false), 600u);
    EXPECT_EQ(meter.Account(600, false), 400u);
    EXPECT_EQ(meter.Account(1, false), 0u);
    EXPECT_EQ(meter.Total(false), 6000u);

    // Limits survive a reset; switching limiting off, or a negative limit, lifts them.
    meter.Reset();
    EXPECT_EQ(meter.Account(900, false), 900u);
    EXPECT_EQ(meter.Account(900, false), 100u);
    meter.SetLimits(1000, 0, false);
    EXPECT_EQ(meter.Account(900, false), 900u);
    meter.SetLimits(-5, -5, true);
    EXPECT_EQ(meter.Limit(false), 0u);
    EXPECT_EQ(meter.Account(900, false), 900u);
}

TEST(TrafficMeter, PacketSizeFollowsAverageRateAndHalfLimit) {
    TrafficMeter meter;
    // Before the first period the rate is the total.
    for (const auto& [add, size] : {std::pair<std::uint64_t, std::size_t>{0, 1024},
                                    {4096, 1024},
                                    {1, 4096},
                                    {16384 - 4097, 4096},
                                    {1, kBulkPacketSize}}) {
        meter.Account(add, false);
        EXPECT_EQ(meter.PacketSize(false), size) << meter.Total(false);
    }
    EXPECT_EQ(meter.PacketSize(true), 1024u);  // the local rate is its own
    meter.TakePeriod();
    meter.TakePeriod();  // 8192 per period
    EXPECT_EQ(meter.PacketSize(false), 4096u);

    // With limiting, half the limit is the base when it lies in 1..8192.
    meter.Reset();
    meter.SetLimits(3000, 20000, true);
    EXPECT_EQ(meter.PacketSize(false), 1024u);
    meter.Account(5000, false);
    EXPECT_EQ(meter.PacketSize(false), 1500u);
    meter.Account(40000, true);
    EXPECT_EQ(meter.PacketSize(true), 8192u);
    meter.SetLimits(1, 0, true);
    EXPECT_EQ(meter.PacketSize(false), 4096u);  // half of 1 is 0: no base from the limit
}

TEST(MeterBlock, WaitsForLaterPeriodsUntilEverythingIsAccepted) {
    TrafficMeter meter;
    meter.SetLimits(1000, 0, true);
    std::atomic<int> stop{0};
    int sleeps = 0;
    // Ten waits of 100 ms make the second after which the controller takes the period.
    SleepFn sleep = [&](std::chrono::milliseconds d, const std::atomic<int>&) {
        EXPECT_EQ(d, 100ms);
        if (++sleeps % 10 == 0) meter.TakePeriod();
    };
    EXPECT_TRUE(MeterBlock(meter, 500, false, stop, sleep));
    EXPECT_EQ(sleeps, 0);
    EXPECT_TRUE(MeterBlock(meter, 2000, false, stop, sleep));  // 500 now, 1500 next period
    EXPECT_EQ(sleeps, 10);
    EXPECT_TRUE(MeterBlock(meter, 1200, false, stop, sleep));  // nothing left in this one
    EXPECT_EQ(sleeps, 20);
    EXPECT_EQ(meter.Total(false), 3700u);
    EXPECT_TRUE(MeterBlock(meter, 1 << 20, true, stop, sleep));  // local is unlimited
    EXPECT_EQ(sleeps, 20);
}

TEST(MeterBlock, GivesUpWhenStopReachesTwo) {
    TrafficMeter meter;
    meter.SetLimits(1000, 0, true);
    std::atomic<int> stop{0};
    int sleeps = 0;
    SleepFn sleep = [&](std::chrono::milliseconds, const std::atomic<int>&) {
        if (++sleeps == 2) stop = 1;  // a soft stop lets the block finish metering
        if (sleeps == 3) stop = 2;
    };
    meter.Account(1000, false);
    EXPECT_FALSE(MeterBlock(meter, 800, false, stop, sleep));
    EXPECT_EQ(sleeps, 3);
    // The block came all the same: it is traffic.
    EXPECT_EQ(meter.Total(false), 1800u);
    // Already stopped: no wait at all, but a block accepted at once still counts as done.
    EXPECT_FALSE(MeterBlock(meter, 800, false, stop, sleep));
    EXPECT_EQ(sleeps, 3);
    meter.TakePeriod();
    EXPECT_TRUE(MeterBlock(meter, 800, false, stop, sleep));

    // The default sleep ends early on a stop: nobody takes the period here.
    stop = 0;
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        stop = 2;
    });
    meter.Account(1000, false);
    EXPECT_FALSE(MeterBlock(meter, 100, false, stop));
    stopper.join();
    StopAwareSleep(std::chrono::hours(1), stop);  // returns at once
}

TEST(TrafficMeter, ConcurrentAccountKeepsExactTotals) {
    TrafficMeter meter;
    std::atomic<bool> done{false};
    std::uint64_t taken = 0;
    std::thread ticker([&] {
        while (!done)
            taken += meter.TakePeriod().internet;
    });
    OnThreads([&] {
        for (int i = 0; i < 5000; ++i)
            meter.Account(3, false);
    });
    done = true;
    ticker.join();
    taken += meter.TakePeriod().internet;
    EXPECT_EQ(meter.Total(false), 8u * 3 * 5000);
    EXPECT_EQ(taken, 8u * 3 * 5000);

    // Limited and within one period: exactly the limit is accepted, however offers interleave.
    TrafficMeter limited;
    limited.SetLimits(1000, 0, true);
    std::atomic<std::uint64_t> accepted{0};
    OnThreads([&] {
        for (int i = 0; i < 500; ++i)
            accepted += limited.Account(3, false);
    });
    EXPECT_EQ(accepted.load(), 1000u);
    EXPECT_EQ(limited.Total(false), 1000u);
}

TEST(TrafficMeter, TrafficCountGrowsByAcceptedInternetBytesWhileTraced) {
    TrafficMeter meter;
    meter.SetTrafficCount(100);
    meter.Account(50, false);  // not traced
    meter.TakePeriod();
    meter.TraceTraffic(true);
    meter.SetLimits(1000, 0, true);
    meter.Account(800, false);
    EXPECT_EQ(meter.Account(800, false), 200u);  // only what the period accepts counts
    meter.Account(500, true);                    // local traffic never counts
    meter.Reset();                               // the count outlives a session
    EXPECT_EQ(meter.TrafficCount(), 1100u);
}

TEST(TrafficLimit, ReachedOnlyWhenTracedRemoteAndAtTheLimit) {
    AppSettings s;
    s.LimitTrace = 1;
    s.LimitSum = "1000";
    EXPECT_FALSE(TrafficLimitReached(s, false, 999));
    EXPECT_TRUE(TrafficLimitReached(s, false, 1000));
    EXPECT_FALSE(TrafficLimitReached(s, true, 5000));
    s.LimitTrace = 0;
    EXPECT_FALSE(TrafficLimitReached(s, false, 5000));
    s.LimitTrace = 1;
    for (const char* none : {"", "0", "abc", "12abc", "-5", "18446744073709551616"}) {
        s.LimitSum = none;
        EXPECT_FALSE(TrafficLimitReached(s, false, UINT64_MAX)) << none;
    }
    s.LimitSum = " 18446744073709551615 ";
    EXPECT_TRUE(TrafficLimitReached(s, false, UINT64_MAX));
    EXPECT_FALSE(TrafficLimitReached(s, false, UINT64_MAX - 1));
}

}  // namespace
}  // namespace kov
