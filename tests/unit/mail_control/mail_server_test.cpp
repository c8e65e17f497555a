#include "mail_control/mail_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "core/event_loop.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

TEST(MailServerTest, PollTimerRunsOnlyWhenServerModeIsComplete) {
    struct Case {
        const char* name;
        void (*change)(EmailSettings&);
        std::optional<std::chrono::milliseconds> period;
    } cases[] = {
        {"configured", [](EmailSettings&) {}, 300000ms},
        {"one minute", [](EmailSettings& e) { e.PollInterval = 1; }, 60000ms},
        {"interval 0", [](EmailSettings& e) { e.PollInterval = 0; }, std::nullopt},
        {"server mode off", [](EmailSettings& e) { e.ActAsHost = 0; }, std::nullopt},
        {"no password", [](EmailSettings& e) { e.MailBoxPsw.clear(); }, std::nullopt},
        {"no mailbox", [](EmailSettings& e) { e.MailBox.clear(); }, std::nullopt},
        {"no server", [](EmailSettings& e) { e.Pop3Server.clear(); }, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppSettings settings;
        settings.email.MailBox = "box";
        settings.email.MailBoxPsw = "pw";
        settings.email.Pop3Server = "mail.test";
        settings.email.ActAsHost = 1;
        settings.email.PollInterval = 5;
        c.change(settings.email);
        EXPECT_EQ(MailServer::PollPeriod(settings.email), c.period);
        EventLoop loop;
        MailServer server(settings, loop, {});
        server.RestartPollTimer();
        EXPECT_EQ(server.TimerRunning(), c.period.has_value());
    }
}

TEST(MailServerTest, TickDuringAPollStartsNoSecondPoll) {
    AppSettings settings;
    EventLoop loop;
    std::atomic<int> polls{0};
    std::atomic<bool> release{false};
    std::vector<int> finished;
    MailServer::Hooks hooks;
    hooks.poll = [&](const MailServer::PollSettings&, const MailStop&) {
        ++polls;
        while (!release)
            std::this_thread::sleep_for(1ms);
        return 2;
    };
    hooks.finished = [&](int result) {
        finished.push_back(result);
        loop.Quit();
    };
    MailServer server(settings, loop, std::move(hooks));
    server.CheckQueriesFromEmail();
    while (server.State() != MailServer::PollState::Polling)
        std::this_thread::sleep_for(1ms);
    server.CheckQueriesFromEmail();
    server.CheckQueriesFromEmail();
    release = true;
    loop.Run();
    EXPECT_EQ(polls.load(), 1);
    EXPECT_EQ(finished, std::vector<int>{2});
    EXPECT_EQ(server.State(), MailServer::PollState::Idle);
}

// The preferences or a reload replace the settings while the line is dialled or the poll runs:
// the poll goes on with the values it started with.
TEST(MailServerTest, APollWorksWithTheSettingsItStartedWith) {
    AppSettings settings;
    settings.LogDetail = 3;
    settings.email.Pop3Server = "first.test";
    EventLoop loop;
    std::function<void(bool)> ready;
    std::string polled;
    std::vector<std::string> lines;
    std::mutex linesLock;
    MailServer::Hooks hooks;
    hooks.requestLine = [&](std::function<void(bool)> r) { ready = std::move(r); };
    hooks.poll = [&](const MailServer::PollSettings& s, const MailStop&) {
        polled = s.email.Pop3Server;
        return 0;
    };
    hooks.log = [&](const std::string& text, bool) {
        std::lock_guard lock(linesLock);
        lines.push_back(text);
    };
    hooks.finished = [&](int) { loop.Quit(); };
    {
        MailServer server(settings, loop, std::move(hooks));
        server.CheckQueriesFromEmail();
        ASSERT_TRUE(ready);
        settings = AppSettings{};  // what a reload does meanwhile
        ready(true);
        loop.Run();
    }  // the poll's thread has ended
    EXPECT_EQ(polled, "first.test");
    const std::vector<std::string> expected = {
        "CheckQueriesFromEmail: QueryForConnect return 2", "starting mail checking...",
        "Deb: GetIncomingRequests started", "Deb: GetIncomingRequests finished"};
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace kov
