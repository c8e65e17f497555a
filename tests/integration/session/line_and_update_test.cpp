#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/language/message_table.h"
#include "engine/worker_pool.h"
#include "net/http/inet.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "session/update_check.h"
#include "session_fixture.h"
#include "support/fault_server.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/nmcli_stand_in.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

const std::time_t kNow = MakeUtcTime(CalendarTime{2026, 12, 6, 12, 0, 0});

std::string Info(std::uint32_t build) {
    return "[KOV]\nVersion=9.9\nBuild=" + std::to_string(build) +
           "\nURL=http://updates.example/kov/kov-setup.tar.gz\n";
}

// The dial-up line of sessions (against a scripted nmcli) and the update check (against nginx
// serving program-information files), over one list document and log.
class LineAndUpdateTest : public test::SessionHomeTest {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        if (!test::NginxServer::Available()) return;
        nginx = std::make_unique<test::NginxServer>();
        nginx->AddLocation("location /slow/ { limit_rate 20k; }");
        nginx->WriteFile("files/a.txt", "hello");
        nginx->WriteFile("slow/big", std::string(2000000, 'b'));
        nginx->WriteFile("newer/programs.txt", Info(OwnBuild() + 1));
        nginx->WriteFile("same/programs.txt", Info(OwnBuild()));
        nginx->WriteFile("zero/programs.txt", "[KOV]\nBuild=0\nURL=http://u.example/s.tgz\n");
        nginx->WriteFile("big/programs.txt", std::string(70000, ';'));
        nginx->WriteFile("hostile/programs.txt", "[KOV]\nBuild=999999\nURL=file:///etc/passwd\n");
        if (!nginx->Start()) nginx.reset();
    }
    static void TearDownTestSuite() { nginx.reset(); }

    void SetUp() override {
        if (!nginx) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed or did not start";
        settings.LogDetail = 1;
        OpenHome();
    }
    void TearDown() override {
        session.reset();
        pool.reset();
    }

    bool Logged(const std::string& text) const {
        for (const LogLine& line : log->Lines())
            if (line.text.find(text) != std::string::npos) return true;
        return false;
    }
    // A session over the stand-in line "dsl"; the end-of-session actions it asks for are
    // recorded (true: power off).
    void StartSession(const std::string& url, bool autoMode = false, bool shutdownAfter = false) {
        settings.UseDialUp = 1;
        settings.DialupItem = "dsl";
        UrlItem item = FreshItem();
        item.Name = "item";
        item.Url = url;
        item.Dest = Home("Download/");
        document->AddItem(item);
        pool = std::make_unique<WorkerPool>();
        SessionHooks hooks;
        hooks.dialUpLink = &link;
        hooks.playSound = [this](int sound) { sounds.push_back(sound); };
        hooks.endOfSessionAction = [this](bool shutdown) { endActions.push_back(shutdown); };
        hooks.confirmEndAction = [](bool) { return true; };
        session = std::make_unique<SessionController>(settings, *document, loop, *pool, *log,
                                                      prompter, nullptr, hooks);
        session->SetAutoMode(autoMode, shutdownAfter);
        session->Activate();
        session->StartRequest(false);
    }
    bool UntilIdle() {
        return loop.RunUntil([&] { return session->State() == SessionState::Idle; });
    }

    UpdateCheck MakeCheck(bool sessionRunning = false) {
        return UpdateCheck(settings, *document, *log, prompter, loop,
                           {dir.path() + "/",
                            [sessionRunning] { return sessionRunning; },
                            {},
                            [] { return kNow; }});
    }
    int Requests(const std::string& path) const {
        int n = 0;
        const std::string access = nginx->AccessLog();
        for (std::size_t p = access.find(path); p != std::string::npos;
             p = access.find(path, p + 1))
            ++n;
        return n;
    }

    static inline std::unique_ptr<test::NginxServer> nginx;
    test::NmcliStandIn nmcli{{"dsl"}};
    DialUpLink link{NmDialer({2s, 2s, 2s})};
    std::unique_ptr<WorkerPool> pool;
    std::unique_ptr<SessionController> session;
    std::vector<int> sounds;
    std::vector<bool> endActions;
};

TEST_F(LineAndUpdateTest, SessionDialsUsesAndReleasesTheLine) {
    struct Case {
        const char* mode;
        int hangup;
        int monitoring;
        bool downloaded;
        int downs;
        const char* line;  // logged
    };
    const Case cases[] = {
        {"ok", 1, 0, true, 1, "RAS - connection closed"},
        {"ok", 0, 0, true, 0, "connection established"},
        {"ok", 1, 1, true, 0, "connection established"},  // a watched line stays up
        {"fail", 1, 0, false, 0, "RAS Connection not established (nmcli failed (4)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " hangup " + std::to_string(c.hangup));
        nmcli.SetActive("dsl", false);
        nmcli.SetMode(c.mode);
        settings.Hangup = c.hangup;
        settings.RasMonitoring = c.monitoring;
        const int downsBefore = nmcli.Count("down dsl");
        std::remove(Home("Download/a.txt").c_str());
        log->Clear();
        sounds.clear();
        StartSession(nginx->Url("/files/a.txt"));
        ASSERT_TRUE(UntilIdle());
        EXPECT_EQ(FileExists(Home("Download/a.txt")), c.downloaded);
        EXPECT_EQ(nmcli.Count("down dsl") - downsBefore, c.downs);
        EXPECT_TRUE(Logged(c.line));
        if (!c.downloaded) {
            EXPECT_EQ(sounds.front(), kSoundError1);
        }
        session.reset();
        document->Rows().Clear();
    }
}

TEST_F(LineAndUpdateTest, MailCheckSharesTheSessionsDialAndLine) {
    nmcli.SetMode("slow");
    settings.Hangup = 1;
    StartSession(nginx->Url("/files/a.txt"));
    ASSERT_TRUE(loop.RunUntil([&] { return nmcli.Count("up dsl") > 0; }));
    int mailReady = -1;
    session->DialUp().RequestLine(kRequesterMail, [&](bool ready) { mailReady = ready; });
    ASSERT_TRUE(UntilIdle());
    EXPECT_EQ(mailReady, 1);  // it waited for the session's dial
    EXPECT_EQ(nmcli.Count("up dsl"), 1);
    EXPECT_EQ(nmcli.Count("down dsl"), 0);  // the mail check still holds the line
    EXPECT_EQ(session->DialUp().ReleaseLine(kRequesterMail), 2);
    EXPECT_EQ(nmcli.Count("down dsl"), 1);
}

TEST_F(LineAndUpdateTest, LineStaysUpForAScheduledTaskThatWaits) {
    // Two tasks due at once: the second waits for the first one's session, on the same line.
    settings.UseDialUp = 1;
    settings.DialupItem = "dsl";
    settings.Hangup = 1;
    settings.schedule.Enabled = 1;
    const CalendarTime c = LocalTime(kNow);
    char start[8];
    std::snprintf(start, sizeof start, "%02d:%02d", c.hour, c.minute);
    settings.schedule.tasks = {{"one", "Main", start, "00:00", 127, 1, 0},
                               {"two", "Main", start, "00:00", 127, 1, 0}};
    UrlItem item = FreshItem();
    item.Url = nginx->Url("/files/a.txt");
    item.Dest = Home("Download/");
    document->AddItem(item);
    pool = std::make_unique<WorkerPool>();
    SessionHooks hooks;
    hooks.dialUpLink = &link;
    hooks.now = [] { return kNow; };
    session = std::make_unique<SessionController>(settings, *document, loop, *pool, *log, prompter,
                                                  nullptr, hooks);
    session->Activate();
    ASSERT_TRUE(loop.RunUntil(
        [&] {
            return session->Schedule().Queue().empty() && session->State() == SessionState::Idle;
        },
        40s));
    EXPECT_EQ(nmcli.Count("up dsl"), 1);
    EXPECT_EQ(nmcli.Count("down dsl"), 1);  // after the second session only
}

TEST_F(LineAndUpdateTest, HangingDialEndsWithTheSession) {
    nmcli.SetMode("hang");
    StartSession(nginx->Url("/files/a.txt"));
    ASSERT_TRUE(loop.RunUntil([&] { return nmcli.Count("up dsl") > 0; }));
    EXPECT_EQ(session->State(), SessionState::Connecting);
    session->OnStop();
    EXPECT_EQ(session->State(), SessionState::Idle);
    // Waits for the dialling thread, which the stop has cut short; a dial the stop did not cut
    // would hang here for minutes and the test would time out.
    session.reset();
    EXPECT_FALSE(FileExists(Home("Download/a.txt")));
}

// OnEndSession 2 powers off after a session that ended by itself, never after a stop or a
// line that failed; auto mode with shutdown then only closes.
TEST_F(LineAndUpdateTest, StopOrFailedLineNeverPowersOff) {
    enum How { Finished, StoppedWhileDialling, DialFailed, ConnectTimeout };
    struct Case {
        How how;
        bool autoMode;
        std::vector<bool> actions;  // true: power off, false: close
        int lineFailures;
    };
    const Case cases[] = {
        {Finished, false, {true}, 0},   {StoppedWhileDialling, false, {}, 0},
        {DialFailed, false, {}, 1},     {ConnectTimeout, false, {}, 1},
        {Finished, true, {true}, 0},    {StoppedWhileDialling, true, {false}, 0},
        {DialFailed, true, {false}, 1}, {ConnectTimeout, true, {false}, 1},
    };
    settings.OnEndSession = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.how) + (c.autoMode ? " auto" : ""));
        nmcli.SetActive("dsl", false);
        nmcli.SetMode(c.how == DialFailed ? "fail" : c.how == Finished ? "ok" : "hang");
        loop.fastMonitor = c.how == ConnectTimeout;
        endActions.clear();
        const int upsBefore = nmcli.Count("up dsl");
        StartSession(nginx->Url("/files/a.txt"), c.autoMode, true);
        if (c.how == StoppedWhileDialling) {
            ASSERT_TRUE(loop.RunUntil([&] { return nmcli.Count("up dsl") > upsBefore; }));
            session->OnStop();
        }
        ASSERT_TRUE(UntilIdle());
        if (c.how == ConnectTimeout) {
            EXPECT_TRUE(Logged("181 >= 180 - connect timeout..."));
        }
        EXPECT_EQ(endActions, c.actions);
        EXPECT_EQ(session->LineFailures(), c.lineFailures);
        session.reset();
        document->Rows().Clear();
        log->Clear();
    }
}

TEST_F(LineAndUpdateTest, DroppedLineStopsTheSession) {
    StartSession(nginx->Url("/slow/big"));
    session->DialUp().SetPollEveryTicks(1);
    ASSERT_TRUE(loop.RunUntil(
        [&] { return document->Rows().Count() == 1 && document->Rows().At(0).jobBytes > 0; }));
    nmcli.SetActive("dsl", false);
    ASSERT_TRUE(UntilIdle());
    EXPECT_TRUE(session->UserStopped());
    EXPECT_EQ(session->LineFailures(), 1);
    EXPECT_TRUE(Logged("RAS - connection closed"));
    EXPECT_EQ(session->DialUp().Status(), "RAS - connection closed");
}

TEST_F(LineAndUpdateTest, UpdateCheckOutcomes) {
    struct Case {
        const char* path;  // "" = not configured
        int enableHttps;
        bool sessionRunning;
        UpdateOutcome outcome;
        const char* message;
        std::size_t updateRows;  // rows named "<Program update>" afterwards
    };
    const Case cases[] = {
        {"/newer/programs.txt", 0, false, UpdateOutcome::Ready, "There is update !", 1},
        {"/newer/programs.txt", 0, true, UpdateOutcome::Ready, "V.9.9 Build", 2},
        {"/same/programs.txt", 0, false, UpdateOutcome::NotNeeded, "Update not needed", 1},
        {"/zero/programs.txt", 0, false, UpdateOutcome::NotNeeded, "Update not needed", 1},
        {"/missing/programs.txt", 0, false, UpdateOutcome::Failed, "unavailable", 1},
        {"/big/programs.txt", 0, false, UpdateOutcome::Failed, "larger than", 1},
        {"/hostile/programs.txt", 0, false, UpdateOutcome::Failed, "refused", 1},
        {"/newer/programs.txt", 1, false, UpdateOutcome::Failed, "only https", 1},
        {"", 0, false, UpdateOutcome::NotConfigured, "not configured", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        document->Rows().Clear();
        UrlItem earlier = FreshItem();
        earlier.Name = GetString(EventCode::UpdateAppTitle);
        document->AddItem(earlier);
        settings.UpdateUrl = *c.path ? nginx->Url(c.path) : "";
        settings.EnableHttps = c.enableHttps;
        settings.ChkUpdLastDate = {1910, 1, 1, 0, 0, 0, 0};
        UpdateCheck check = MakeCheck(c.sessionRunning);
        const UpdateResult result = check.CheckNow();
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
        const bool moved =
            c.outcome == UpdateOutcome::Ready || c.outcome == UpdateOutcome::NotNeeded;
        EXPECT_EQ(settings.ChkUpdLastDate.year, moved ? 2026 : 1910);
        ASSERT_EQ(document->Rows().Count(), c.updateRows);
        const UrlItem& last = document->Rows().At(c.updateRows - 1).item;
        if (c.outcome == UpdateOutcome::Ready) {
            EXPECT_EQ(last.ID, "{UPDATE_PROGRAM}");
            EXPECT_EQ(last.Url, "http://updates.example/kov/kov-setup.tar.gz");
            EXPECT_EQ(last.Dest, dir.path() + "/Update/");
            EXPECT_EQ(last.interval, -1);
        }
    }
}

TEST_F(LineAndUpdateTest, TrickledProgramInformationEndsAtTheFetchLimit) {
    test::FaultServer server;
    if (!test::FaultServer::Available() || !server.Start())
        KOV_SKIP_WITHOUT_SERVER() << "no fault server";
    // Headers included, one byte every 50 ms: seconds before the headers are complete.
    settings.UpdateUrl = server.Url("/trickle?size=40&every=0.05");
    settings.EnableHttps = 0;
    ProgramInfo info;
    std::string why;
    EXPECT_EQ(FetchProgramInfo(settings, info, why, nullptr, 500ms), kInfoDownloadFailed) << why;
    EXPECT_NE(why.find("did not arrive in time"), std::string::npos) << why;
}

TEST_F(LineAndUpdateTest, AutomaticCheckRunsOncePerRunWhenDue) {
    struct Case {
        int interval;
        int daysAgo;
        int requests;
    };
    const Case cases[] = {{7, 3, 0}, {7, 8, 1}, {0, 8, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.interval) + "/" + std::to_string(c.daysAgo));
        settings.UpdateUrl = nginx->Url("/same/programs.txt");
        settings.EnableHttps = 0;
        settings.ChkUpdInterval = c.interval;
        const std::time_t last = kNow - c.daysAgo * 86400;
        std::tm utc{};
        gmtime_r(&last, &utc);
        settings.ChkUpdLastDate = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, 12, 0, 0, 0};
        const int before = Requests("/same/programs.txt");
        UpdateCheck check = MakeCheck();
        check.MonitorTick();
        check.MonitorTick();  // once per run, however long it lasts
        ASSERT_TRUE(loop.RunUntil([&] { return !check.Running(); }));
        EXPECT_EQ(Requests("/same/programs.txt") - before, c.requests);
    }
    // The automatic check logs what it found instead of asking for attention.
    EXPECT_TRUE(Logged("Update not needed. No new Versions"));
    EXPECT_TRUE(prompter.informed.empty());
}

}  // namespace
}  // namespace kov
