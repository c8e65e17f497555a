#include "web_control/log_feed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/settings/app_settings.h"
#include "session/session_state.h"
#include "web_control/event_hub.h"

namespace kov {
namespace {

class LogFeedTest : public ::testing::Test {
protected:
    AppSettings settings;
    EventLog log{settings, ""};
    EventHub hub;
    std::shared_ptr<EventHub::Subscription> stream = hub.Subscribe();
    LogFeed feed{log, hub};
};

TEST_F(LogFeedTest, TheLastLinesAreKeptWithTheirNumbers) {
    const std::size_t total = LogFeed::kKeep + 5;
    for (std::size_t i = 1; i <= total; ++i)
        log.AddLine("line " + std::to_string(i), 0, kLogInfo);
    const nlohmann::json all = feed.After(0);
    ASSERT_EQ(all["lines"].size(), LogFeed::kKeep);
    EXPECT_EQ(all["lines"][0]["seq"], 6);
    EXPECT_EQ(all["lines"][0]["text"], "line 6");
    EXPECT_EQ(all["next"], total);
    const nlohmann::json tail = feed.After(total - 2);
    ASSERT_EQ(tail["lines"].size(), 2u);
    EXPECT_EQ(tail["lines"][1]["seq"], total);
    EXPECT_TRUE(feed.After(total)["lines"].empty());
}

TEST_F(LogFeedTest, EachLineGoesToTheStreamInOrder) {
    log.AddLine("one", 0, kLogSuccess);
    log.AddLine("two", 0, kLogError);
    for (const char* text : {"one", "two"}) {
        const auto event = stream->Next(std::chrono::milliseconds(0));
        ASSERT_TRUE(event.has_value());
        EXPECT_EQ(event->name, "log");
        EXPECT_EQ(nlohmann::json::parse(event->data)["text"], text);
    }
}

TEST(LogFeedTextTest, KindsAndTimesAsCallersReadThem) {
    const std::pair<int, const char*> kinds[] = {
        {kLogInfo, "info"},
        {kLogSuccess, "success"},
        {kLogError, "error"},
        {kLogInternalError, "error"},
        {kLogSessionStart, "session"},
        {kLogStopped, "stopped"},
        {kLogHalt, "stopped"},
        {kLogMail, "mail"},
        {99, "info"},
    };
    for (const auto& [image, kind] : kinds)
        EXPECT_STREQ(LogFeed::Kind(image), kind) << image;
    const std::pair<const char*, const char*> times[] = {
        {"07.12.2026 09:05:01", "2026-12-07T09:05:01"},
        {"7.12.2026 9:05", "7.12.2026 9:05"},  // not the log's form: left as it is
        {"", ""},
    };
    for (const auto& [log, iso] : times)
        EXPECT_EQ(LogFeed::IsoTime(log), iso) << log;
}

}  // namespace
}  // namespace kov
