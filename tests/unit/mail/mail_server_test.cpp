#include "mail/mail_server.h"

#include <gtest/gtest.h>

#include <atomic>
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
    hooks.poll = [&](const MailStop&) {
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

}  // namespace
}  // namespace kov
