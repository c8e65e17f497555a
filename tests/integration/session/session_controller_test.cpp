#include "session/session_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/worker_pool.h"
#include "net/http/inet.h"
#include "net/transfer/traffic_meter.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "session_fixture.h"
#include "support/missing_server.h"
#include "support/suite_servers.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

// The session's clock: Sunday 6 December 2026, noon.
const std::time_t kNow = MakeTime(CalendarTime{2026, 12, 6, 12, 0, 0});
const std::time_t kYesterday = MakeTime(CalendarTime{2026, 12, 5, 0, 0, 0});
const std::time_t kFourDaysAgo = MakeTime(CalendarTime{2026, 12, 2, 0, 0, 0});

class SessionControllerTest : public test::SessionHomeTest {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        const std::string error = servers.Start([](test::NginxServer& n) {
            for (int i = 1; i <= 6; ++i)
                n.WriteFile("files/f" + std::to_string(i) + ".txt", "file " + std::to_string(i));
            for (int i = 1; i <= 3; ++i) {
                n.WriteFile("series/pic" + std::to_string(i) + ".jpg", "pic " + std::to_string(i));
                n.WriteFile("series/big" + std::to_string(i), std::string(100000, 'b'));
            }
            for (int size : {2048, 2049, 1000000, 3000000})
                n.WriteFile("sizes/" + std::to_string(size), std::string(size, 'a'));
        });
        ASSERT_TRUE(error.empty()) << error;
    }
    static void TearDownTestSuite() { servers.Stop(); }

    void SetUp() override {
        if (!servers.Ready()) KOV_SKIP_WITHOUT_SERVER() << "nginx or python3 is not installed";
        settings.MaxThreads = 2;
        OpenHome();
        jobEnv = std::make_shared<JobEnvironment>();
        jobEnv->meter = &meter;
        jobEnv->now = [] { return kNow; };
        jobEnv->retryWait = 1ms;
        pool = std::make_unique<WorkerPool>();
        SessionHooks hooks;
        hooks.now = [] { return kNow; };
        hooks.endOfSessionAction = [this](bool) { ++endActions; };
        hooks.saveLimitCounter = [this] { ++counterSaves; };
        session = std::make_unique<SessionController>(settings, *document, loop, *pool, *log,
                                                      prompter, jobEnv, hooks);
        session->SetAutoMode(true, false);
    }

    void TearDown() override {
        release = true;
        session.reset();  // stops what a failed test left running
        pool.reset();
    }

    // One whole session; true when it ended within the limit.
    bool RunSession(bool selectedOnly = false, const std::vector<RowId>& selection = {}) {
        const int before = endActions;
        session->StartRequest(selectedOnly, selection);
        return loop.RunUntil([&] { return endActions > before; }) &&
               session->State() == SessionState::Idle;
    }
    bool UntilEnded() {
        return loop.RunUntil([&] { return session->State() == SessionState::Idle; });
    }
    // Runs the loop until the row's job has received bytes.
    bool UntilReceiving(RowId id) {
        return loop.RunUntil([&] {
            const Row* row = document->Rows().Find(id);
            return row && row->runState == RunState::Running && row->jobBytes > 0;
        });
    }

    std::string Nginx(const std::string& path) const { return servers.nginx->Url(path); }
    std::string Drip(int size) const {
        return servers.faults->Url("/drip?size=" + std::to_string(size) + "&rate=40000");
    }
    RowId Add(const std::string& name, const std::string& url,
              const std::function<void(UrlItem&)>& change = {}) {
        UrlItem item = FreshItem();
        item.Name = name;
        item.Url = url;
        item.Dest = Home("dl/");
        if (change) change(item);
        return document->Rows().Append(item);
    }
    // Changes that make an item a number series, or one fetched every few days.
    static std::function<void(UrlItem&)> Series(int current, int stop) {
        return [=](UrlItem& i) {
            i.NumBased = 1;
            i.CurrentNum = current;
            i.StopNumber = stop;
        };
    }
    static std::function<void(UrlItem&)> Every(int days, std::time_t last) {
        return [=](UrlItem& i) {
            i.interval = days;
            i.lastDL = last;
        };
    }
    Row& RowOf(RowId id) { return *document->Rows().Find(id); }
    std::int64_t SizeOf(const std::string& name) const { return FileSize(Home(name)).value_or(-1); }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const LogLine& line : log->Lines())
            texts.push_back(line.text);
        return texts;
    }
    // How many log lines equal text, or with prefix set, start with it.
    int Lines(const std::string& text, bool prefix = false) const {
        const auto texts = Texts();
        return static_cast<int>(std::count_if(texts.begin(), texts.end(), [&](const auto& t) {
            return prefix ? t.rfind(text, 0) == 0 : t == text;
        }));
    }
    std::string LastText() const { return log->Lines().empty() ? "" : log->Lines().back().text; }

    static test::SuiteServers servers;

    TrafficMeter meter;
    std::shared_ptr<JobEnvironment> jobEnv;
    std::unique_ptr<WorkerPool> pool;
    std::unique_ptr<SessionController> session;
    int endActions = 0;
    int counterSaves = 0;
    std::atomic<bool> release{false};
};

test::SuiteServers SessionControllerTest::servers;

// --- Which rows a session takes ----------------------------------------------------------------

TEST_F(SessionControllerTest, DueRulesChooseTheRowsOfASession) {
    settings.LogDetail = 1;
    const RowId plain = Add("plain", Nginx("/files/f1.txt"));
    const RowId disabled =
        Add("disabled", Nginx("/files/f2.txt"), [](UrlItem& i) { i.Disabled = 1; });
    const RowId mailed = Add("mailed", Nginx("/files/f3.txt"), [](UrlItem& i) { i.CEType = 1; });
    const RowId every3 = Add("every3", Nginx("/files/f4.txt"), Every(3, kYesterday));
    const RowId every3old = Add("every3old", Nginx("/files/f5.txt"), Every(3, kFourDaysAgo));
    const RowId once = Add("once", Nginx("/files/f6.txt"), Every(-1, kYesterday));
    const RowId seriesDone = Add("seriesDone", Nginx("/series/pic%u.jpg"), Series(3, 2));
    const RowId missing = Add("missing", Nginx("/files/none.txt"));

    ASSERT_TRUE(RunSession());
    for (const char* name : {"plain", "every3old", "once", "missing"})
        EXPECT_EQ(Lines(std::string("[") + name + "] - Job finished"), 1) << name;
    for (const char* name : {"disabled", "mailed", "every3", "seriesDone"})
        EXPECT_EQ(Lines(std::string("[") + name + "]", true), 0) << name;

    // The images after the session tell why a row was left out.
    EXPECT_EQ(RowOf(disabled).image, kImageDisabled);
    EXPECT_EQ(RowOf(mailed).image, kImageFromEmail);
    EXPECT_EQ(RowOf(every3).image, kImageNotDue);
    EXPECT_EQ(RowOf(seriesDone).image, kImageOrdinary);
    EXPECT_EQ(RowOf(plain).image, kImageOrdinary);
    EXPECT_EQ(RowOf(every3old).image, kImageNotDue);  // fetched today
    EXPECT_EQ(RowOf(every3old).item.lastDL, kNow);
    EXPECT_EQ(RowOf(once).image, kImageDisabled);  // disabled by its download
    for (RowId id : document->Rows().Ids()) {
        EXPECT_FALSE(RowOf(id).job);
        EXPECT_EQ(RowOf(id).runState, RunState::None);
    }
    // "Job finished" also ends a job whose file failed; the failure counts for the program run,
    // and the row keeps its old date so that the next session tries again.
    EXPECT_NE(RowOf(missing).item.lastDL, kNow);
    EXPECT_EQ(
        Lines("[missing] - Open resource error : " + Nginx("/files/none.txt") + " (404 Not Found)"),
        1);
    EXPECT_EQ(session->ErrorResults(), 1);
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(session->ErrorResults(), 2);
}

TEST_F(SessionControllerTest, SelectedRowsIgnoreDueRulesButNotTheSeriesEnd) {
    settings.LogDetail = 1;
    const RowId disabled =
        Add("disabled", Nginx("/files/f1.txt"), [](UrlItem& i) { i.Disabled = 1; });
    const RowId mailed = Add("mailed", Nginx("/files/f3.txt"), [](UrlItem& i) { i.CEType = 1; });
    const RowId series = Add("seriesDone", Nginx("/series/pic%u.jpg"), Series(3, 2));
    // Nothing due: the session ends at once.
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "Starting download session...", "No jobs to start",
                           "Session finished, bytes downloaded: 0 average speed: 0 Bytes/sec"}));
    EXPECT_FALSE(session->UserStopped());

    Add("unselected", Nginx("/files/f4.txt"));
    ASSERT_TRUE(RunSession(true, {disabled, mailed, series}));
    EXPECT_EQ(SizeOf("dl/f1.txt"), 6);
    EXPECT_EQ(SizeOf("dl/f3.txt"), 6);
    EXPECT_FALSE(FileExists(Home("dl/f4.txt")));
    EXPECT_FALSE(FileExists(Home("dl/pic3.jpg")));
    EXPECT_EQ(RowOf(disabled).image, kImageDisabled);
}

// --- Stopping ------------------------------------------------------------------------------------

TEST_F(SessionControllerTest, StopNowAbortsTheTransferWhateverTheWayAsked) {
    struct Case {
        int abortMode;
        bool shift;
    };
    for (const Case c : {Case{0, false}, Case{1, true}}) {
        SCOPED_TRACE(c.abortMode);
        settings.AbortMode = c.abortMode;
        log->Clear();
        const std::string url = Drip(1000000);
        const RowId id = Add("drip", url);
        session->StartRequest(false);
        ASSERT_TRUE(UntilReceiving(id));
        session->OnStop(c.shift, false);
        EXPECT_EQ(session->State(), SessionState::Stopping);
        EXPECT_EQ(*RowOf(id).job, kStopNow);
        EXPECT_EQ(RowOf(id).image, kImageStopRequested);
        session->StartRequest(false);  // ignored while stopping
        ASSERT_TRUE(UntilEnded());
        EXPECT_TRUE(session->UserStopped());
        EXPECT_EQ(settings.AbortMode, c.abortMode);
        EXPECT_EQ(Lines("[drip] - Aborted by user : " + url), 1);
        EXPECT_NE(RowOf(id).item.lastDL, kNow);  // an aborted job did not finish
        document->Rows().Clear();
    }
}

TEST_F(SessionControllerTest, StopWhenFileDoneFinishesTheFileButNotTheSeriesUnderASpeedLimit) {
    // The monitor tick opens each new metering period, also while the session stops.
    settings.AbortMode = 1;
    settings.SpeedLimited = 1;
    settings.SpeedLimitLoc = 49;  // KB/sec; loopback is local traffic: two seconds a file
    session->SpeedLimitOn();
    session->Activate();
    const RowId id = Add("series", Nginx("/series/big%u"), Series(1, 2));
    session->StartRequest(false);
    ASSERT_TRUE(UntilReceiving(id));
    session->OnStop();
    EXPECT_EQ(*RowOf(id).job, kStopAfterFile);
    ASSERT_TRUE(UntilEnded());
    EXPECT_EQ(SizeOf("dl/big1"), 100000);
    EXPECT_FALSE(FileExists(Home("dl/big2")));
    EXPECT_EQ(RowOf(id).item.CurrentNum, 2);  // the delivered number counts
}

TEST_F(SessionControllerTest, CtrlStopsOnlyTheSelectedRows) {
    const std::string longUrl = Drip(1000000);
    const RowId idLong = Add("long", longUrl);
    const RowId idShort = Add("short", Drip(100000), [&](UrlItem& i) { i.Dest = Home("short/"); });
    session->StartRequest(false);
    ASSERT_TRUE(UntilReceiving(idLong));
    session->OnStop(false, true, {idLong});
    EXPECT_EQ(session->State(), SessionState::Downloading);
    EXPECT_EQ(*RowOf(idShort).job, 0);
    ASSERT_TRUE(UntilEnded());
    EXPECT_EQ(Lines("[long] - Aborted by user : " + longUrl), 1);
    EXPECT_EQ(RowOf(idShort).item.lastDL, kNow);
    EXPECT_NE(RowOf(idLong).item.lastDL, kNow);
    EXPECT_FALSE(session->UserStopped());
}

TEST_F(SessionControllerTest, StopWhileConnectingEndsTheSessionWithoutJobs) {
    Add("plain", Nginx("/files/f1.txt"));
    session->StartRequest(false);
    ASSERT_EQ(session->State(), SessionState::Connecting);
    session->OnStop();
    EXPECT_EQ(session->State(), SessionState::Idle);
    loop.RunFor(300ms);  // the connection step's late answer finds no session to fill
    EXPECT_EQ(log->Count(), 1u);
    EXPECT_FALSE(FileExists(Home("dl/f1.txt")));
}

TEST_F(SessionControllerTest, SecondStopEndsTheSessionWhateverItsJobsDo) {
    // A job stuck in a step that never looks at its stop flag.
    jobEnv->banned = [this](std::string_view) {
        while (!release)
            std::this_thread::sleep_for(5ms);
        return false;
    };
    const RowId id = Add("stuck", Nginx("/files/f1.txt"));
    session->StartRequest(false);
    ASSERT_TRUE(loop.RunUntil([&] { return RowOf(id).runState == RunState::Running; }));
    session->OnStop();
    loop.RunFor(200ms);
    ASSERT_EQ(session->State(), SessionState::Stopping);

    session->OnStop();
    EXPECT_EQ(session->State(), SessionState::Idle);
    EXPECT_EQ(endActions, 1);
    EXPECT_EQ(RowOf(id).columns[kColumnStatus], "job aborted by user");
    EXPECT_EQ(Lines("[stuck] - job aborted by user"), 1);
    EXPECT_EQ(Lines("Session halted"), 1);

    // What the job posts once it comes loose is dropped.
    const std::size_t lines = log->Count();
    release = true;
    pool->WaitIdle();
    loop.RunFor(100ms);
    EXPECT_EQ(log->Count(), lines);
    EXPECT_EQ(RowOf(id).runState, RunState::None);
}

TEST_F(SessionControllerTest, DestructionLetsGoOfAJobThatCannotSeeTheStop) {
    std::atomic<bool> stuck{false};
    jobEnv->banned = [&](std::string_view) {
        stuck = true;
        while (!release)
            std::this_thread::sleep_for(5ms);
        return false;
    };
    Add("stuck", Nginx("/files/f1.txt"));
    session->StartRequest(false);
    ASSERT_TRUE(loop.RunUntil([&] { return stuck.load(); }));
    // The window closes: the controller goes while the job still hangs.
    auto gone = std::async(std::launch::async, [&] { session.reset(); });
    const bool ended = gone.wait_for(20s) == std::future_status::ready;
    release = true;
    gone.wait();
    EXPECT_TRUE(ended);
    pool->WaitIdle();
    loop.RunFor(50ms);  // what the job posted on its way out reaches nobody
}

TEST_F(SessionControllerTest, DestructionStopsTheJobsAndDropsWhatIsStillPosted) {
    const RowId id = Add("drip", Drip(1000000));
    session->StartRequest(false);
    ASSERT_TRUE(UntilReceiving(id));
    std::thread([&] { session->PostLogLine("from a thread", kLogMail); }).join();
    loop.RunFor(0ms);
    ASSERT_EQ(LastText(), "from a thread");
    EXPECT_EQ(log->Lines().back().image, kLogMail);

    const std::size_t lines = log->Count();
    session->PostLogLine("never handled", kLogInfo);
    session.reset();
    EXPECT_EQ(RowOf(id).runState, RunState::None);
    EXPECT_FALSE(RowOf(id).job);
    loop.RunFor(100ms);
    EXPECT_EQ(log->Count(), lines);
}

// --- What a session leaves behind ---------------------------------------------------------------

TEST_F(SessionControllerTest, RowDeletedWhileItsJobRunsStillEndsTheSession) {
    const RowId id = Add("gone", Drip(60000));
    session->StartRequest(false);
    ASSERT_TRUE(UntilReceiving(id));
    const std::size_t linesBefore = log->Count();
    ASSERT_EQ(document->Rows().Remove({id}), 1u);
    ASSERT_TRUE(UntilEnded());
    // The job's later events change nothing and write nothing but the summary; its bytes count.
    EXPECT_EQ(log->Count(), linesBefore + 1);
    EXPECT_EQ(session->Stats().sessionBytes, 60000.0);
}

TEST_F(SessionControllerTest, SummaryLineCountsEveryByteWithoutAProgressTick) {
    // The average is over the real time, ticks or none (its figures: session_summary_test).
    loop.holdProgressTick = true;
    const RowId id = Add("file", "");
    for (const std::string size : {"2048", "3000000"}) {
        RowOf(id).item.Url = Nginx("/sizes/" + size);
        ASSERT_TRUE(RunSession());
        const std::string prefix =
            "Session finished, bytes downloaded: " + size + " average speed: ";
        ASSERT_EQ(LastText().substr(0, prefix.size()), prefix);
        EXPECT_GT(std::stoul(LastText().substr(prefix.size())), 0u);
        EXPECT_EQ(session->Stats().sessionBytes, std::stod(size));
    }
}

TEST_F(SessionControllerTest, TrafficLimitHoldsWithinOneBlockAndCountsEachByteOnce) {
    settings.LimitTrace = 1;
    settings.LimitSum = "100000";
    // 0.0.0.0 reaches the loopback server but is no local-network address: Internet traffic.
    std::string url = Nginx("/sizes/1000000");
    url.replace(url.find("127.0.0.1"), 9, "0.0.0.0");
    Add("big", url);
    ASSERT_TRUE(RunSession());
    const std::int64_t through = SizeOf("dl/1000000");
    EXPECT_GE(through, 100000);
    EXPECT_LE(through, 100000 + static_cast<std::int64_t>(kBulkPacketSize));
    EXPECT_EQ(meter.TrafficCount(), static_cast<std::uint64_t>(through));
    EXPECT_EQ(Lines("[big] - Stopped due to limit exceed"), 1);
    EXPECT_EQ(counterSaves, 1);
}

TEST_F(SessionControllerTest, RowsJoinARunningSessionAndTheCatalogueWaitsForIt) {
    document->AddList({"Other", Home("Other.ini"), Home("Other/")});
    settings.newUrl.PutNewToQueue = 1;
    const RowId slow = Add("slow", Drip(60000));
    session->StartRequest(false);
    ASSERT_TRUE(UntilReceiving(slow));
    const std::size_t linesBefore = log->Count();
    session->StartRequest(false);  // nothing new: nothing queued, nothing logged
    loop.RunFor(0ms);
    EXPECT_EQ(log->Count(), linesBefore);

    EXPECT_EQ(document->SwitchList(1, false), ListDocument::SwitchResult::Deferred);
    const RowId added = document->AddUrl(Nginx("/files/f2.txt"));  // joins by itself
    EXPECT_EQ(RowOf(added).runState, RunState::Queued);
    const RowId late = Add("late", Nginx("/files/f1.txt"));  // joins by a start request
    session->StartRequest(false);
    EXPECT_EQ(RowOf(late).runState, RunState::Queued);
    ASSERT_TRUE(UntilEnded());
    EXPECT_EQ(endActions, 1);
    // The deferred switch happens once the session is over, after the list was saved.
    EXPECT_EQ(document->CurrentIndex(), 1u);
    EXPECT_EQ(document->SwitchList(0, false), ListDocument::SwitchResult::Switched);
    ASSERT_EQ(document->Rows().Count(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_GT(document->Rows().At(i).item.lastDL, kYesterday) << i;
}

// The clock stands at the task's start and stop (Sunday noon): the first check starts the task
// over its list, the next one stops it.
TEST_F(SessionControllerTest, ScheduledTaskSwitchesListStartsWithItsSpeedLimitAndStops) {
    Add("drip", Drip(1000000));
    ASSERT_EQ(document->SaveList(true, false), 0);
    document->AddList({"Second", Home("Second.ini"), Home("dl2/")});
    ASSERT_EQ(document->SwitchList(1, false), ListDocument::SwitchResult::Switched);
    settings.SpeedLimitInet = 1000000;
    settings.schedule.Enabled = 1;
    settings.schedule.tasks = {{"Noon", "Main", "12:00", "12:00", 0x40, 1, 1}};
    session->SetAutoMode(false, false);
    session->Activate();
    ASSERT_EQ(session->Schedule().Queue().size(), 1u);

    ASSERT_TRUE(loop.RunUntil([&] { return session->State() == SessionState::Downloading; }));
    EXPECT_EQ(document->CurrentIndex(), 0u);
    EXPECT_EQ(meter.Limit(false), 1000000u * 1024);  // the settings' KB/sec, in bytes
    EXPECT_EQ(Lines("Noon,Scheduled session starts, stop time:  20261206:12:00"), 1);
    ASSERT_TRUE(UntilEnded());
    EXPECT_EQ(Lines("Stopping scheduled session"), 1);
    EXPECT_EQ(Lines("[drip] - Aborted by user : " + Drip(1000000)), 1);
    EXPECT_EQ(meter.Limit(false), 0u);
    EXPECT_FALSE(session->Schedule().ScheduledSession());

    // Deleting a list rebuilds the queue without its tasks.
    settings.schedule.tasks.push_back({"Later", "Second", "13:00", "00:00", 0x40, 1, 0});
    session->Schedule().BuildTodayQueue();
    ASSERT_EQ(session->Schedule().Queue().size(), 1u);
    EXPECT_EQ(document->DeleteLists({1}), 1u);
    EXPECT_TRUE(session->Schedule().Queue().empty());
}

}  // namespace
}  // namespace kov
