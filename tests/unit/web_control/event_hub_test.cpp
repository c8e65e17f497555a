#include "web_control/event_hub.h"

#include <thread>

#include <gtest/gtest.h>

namespace kov {
namespace {

using std::chrono::milliseconds;

std::vector<std::string> Drain(EventHub::Subscription& subscription) {
    std::vector<std::string> seen;
    while (auto event = subscription.Next(milliseconds(0)))
        seen.push_back(event->name + "=" + event->data);
    return seen;
}

TEST(EventHubTest, EverySubscriberGetsEveryEventInOrder) {
    EventHub hub;
    auto first = hub.Subscribe();
    hub.Publish("item", "1");
    auto second = hub.Subscribe();  // sees only what comes after it
    hub.Publish("log", "2");
    hub.Publish("session", "3");
    EXPECT_EQ(Drain(*first), (std::vector<std::string>{"item=1", "log=2", "session=3"}));
    EXPECT_EQ(Drain(*second), (std::vector<std::string>{"log=2", "session=3"}));
}

struct OverflowCase {
    std::size_t published;
    std::size_t dropped;  // 0: no "lost" event
};

TEST(EventHubTest, AFullQueueDropsItsOldestAndSaysSoFirst) {
    const OverflowCase cases[] = {
        {EventHub::kQueueLimit, 0},
        {EventHub::kQueueLimit + 1, 1},
        {EventHub::kQueueLimit * 3 + 5, EventHub::kQueueLimit * 2 + 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.published);
        EventHub hub;
        auto slow = hub.Subscribe();
        for (std::size_t i = 1; i <= c.published; ++i)
            hub.Publish("progress", std::to_string(i));
        const auto seen = Drain(*slow);
        const std::size_t offset = c.dropped ? 1 : 0;
        ASSERT_EQ(seen.size(), EventHub::kQueueLimit + offset);
        if (c.dropped) {
            EXPECT_EQ(seen.front(), "lost={\"dropped\":" + std::to_string(c.dropped) + "}");
        }
        EXPECT_EQ(seen[offset], "progress=" + std::to_string(c.dropped + 1));
        EXPECT_EQ(seen.back(), "progress=" + std::to_string(c.published));
        hub.Publish("log", "after");
        EXPECT_EQ(Drain(*slow), std::vector<std::string>{"log=after"}) << "the count starts again";
    }
}

TEST(EventHubTest, CloseWakesAWaitingReaderAndEndsEveryStream) {
    EventHub hub;
    auto waiting = hub.Subscribe();
    hub.Publish("item", "unread");
    std::optional<HubEvent> got = HubEvent{};
    std::thread reader([&] {
        waiting->Next(milliseconds(0));  // the unread one
        got = waiting->Next(std::chrono::hours(1));
    });
    hub.Close();
    reader.join();  // returns because of Close, not the hour
    EXPECT_FALSE(got.has_value());
    EXPECT_TRUE(waiting->Closed());
    hub.Publish("item", "late");
    EXPECT_FALSE(waiting->Next(milliseconds(0)).has_value());
    auto afterwards = hub.Subscribe();
    EXPECT_TRUE(afterwards->Closed());
}

TEST(EventHubTest, AGoneSubscriberIsForgotten) {
    EventHub hub;
    std::weak_ptr<EventHub::Subscription> gone;
    {
        auto brief = hub.Subscribe();
        gone = brief;
    }
    auto kept = hub.Subscribe();
    hub.Publish("item", "1");
    EXPECT_TRUE(gone.expired());
    EXPECT_EQ(Drain(*kept).size(), 1u);
}

TEST(EventHubTest, PublishersOnManyThreadsLoseNothingBelowTheLimit) {
    EventHub hub;
    auto subscription = hub.Subscribe();
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> publishers;
    for (int t = 0; t < kThreads; ++t) {
        publishers.emplace_back([&hub, t] {
            for (int i = 0; i < kEach; ++i)
                hub.Publish("t" + std::to_string(t), std::to_string(i));
        });
    }
    for (auto& publisher : publishers)
        publisher.join();
    const auto seen = Drain(*subscription);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEach));
    // Each publisher's own events keep their order.
    for (int t = 0; t < kThreads; ++t) {
        int expected = 0;
        const std::string prefix = "t" + std::to_string(t) + "=";
        for (const auto& event : seen) {
            if (event.starts_with(prefix)) {
                EXPECT_EQ(event, prefix + std::to_string(expected++));
            }
        }
        EXPECT_EQ(expected, kEach);
    }
}

}  // namespace
}  // namespace kov
