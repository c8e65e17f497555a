#include "session/session_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/event_loop.h"
#include "engine/worker_pool.h"
#include "model/list_document.h"
#include "net/inet.h"
#include "net/traffic_meter.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "session/event_log.h"
#include "support/recording_prompter.h"
#include "support/suite_servers.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = std::chrono::milliseconds(20000);

std::time_t At(int y, int m, int d, int hour) {
    CalendarTime c;
    c.year = y;
    c.month = m;
    c.day = d;
    c.hour = hour;
    return MakeTime(c);
}

// The session's clock: Sunday 6 December 2026, noon.
const std::time_t kNow = At(2026, 12, 6, 12);
const std::time_t kYesterday = At(2026, 12, 5, 0);
const std::time_t kFourDaysAgo = At(2026, 12, 2, 0);

// The event loop as the controller sees it. The progress tick can be held back so that the
// average speed of a short session does not depend on how long the transfer took, and Quit
// ends only the current RunUntilQuit, so that one loop serves several sessions.
class TestLoop : public MainLoop {
public:
    void Post(std::function<void()> task) override { m_loop.Post(std::move(task)); }
    void StartTimer(int id, std::chrono::milliseconds period, std::function<void()> tick) override {
        if (id == SessionController::kProgressTimer && holdProgressTick) return;
        m_loop.StartTimer(id, period, std::move(tick));
    }
    void StopTimer(int id) override { m_loop.StopTimer(id); }
    bool Alive() const override { return m_loop.Alive(); }

    void Quit() { m_quit = true; }
    // Runs until Quit; false when the limit passed first.
    bool RunUntilQuit(std::chrono::milliseconds limit = kLimit) {
        return RunUntil([this] { return m_quit; }, limit);
    }
    // Runs until the condition holds; false when the limit passed first.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kLimit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            m_loop.RunFor(10ms);
        }
        m_quit = false;
        return true;
    }
    void RunPending() { m_loop.RunPending(); }

    bool holdProgressTick = false;

private:
    EventLoop m_loop;
    bool m_quit = false;
};

class SessionControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        const std::string error = servers.Start([](test::NginxServer& n) {
            for (int i = 1; i <= 6; ++i) {
                n.WriteFile("files/f" + std::to_string(i) + ".txt", "file " + std::to_string(i));
            }
            for (int i = 1; i <= 3; ++i) {
                n.WriteFile("series/pic" + std::to_string(i) + ".jpg",
                            "picture " + std::to_string(i));
                n.WriteFile("slow/s" + std::to_string(i) + ".bin", std::string(40000, 's'));
            }
            n.WriteFile("sizes/2000.bin", std::string(2000, 'a'));
            n.WriteFile("sizes/2048.bin", std::string(2048, 'b'));
            n.WriteFile("sizes/2049.bin", std::string(2049, 'c'));
            n.WriteFile("sizes/3m.bin", std::string(3000000, 'd'));
            // About two seconds per file of the slow series.
            n.AddLocation("location /slow/ { limit_rate 20k; }");
        });
        ASSERT_TRUE(error.empty()) << error;
    }
    static void TearDownTestSuite() { servers.Stop(); }

    void SetUp() override {
        if (!servers.Ready()) GTEST_SKIP() << "nginx or python3 is not installed";
        settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback tests
        settings.MaxThreads = 2;
        settings.lists.push_back({"Main", Home("Default.ini"), Home("Download/")});
        document = std::make_unique<ListDocument>(
            settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr}, prompter);
        document->LoadCatalogue();
        log = std::make_unique<EventLog>(settings, Home("Kov.log"));
        jobEnv = std::make_shared<JobEnvironment>();
        jobEnv->settings = &settings;
        jobEnv->meter = &meter;
        jobEnv->prompter = &prompter;
        jobEnv->now = [] { return kNow; };
        jobEnv->startWait = 0ms;
        jobEnv->endWait = 0ms;
        jobEnv->retryWait = 1ms;
        pool = std::make_unique<WorkerPool>();
    }

    void TearDown() override {
        // A failed test may leave a dripping transfer behind: stop it before the pool waits.
        if (document) {
            for (std::size_t i = 0; i < document->Rows().Count(); ++i) {
                if (document->Rows().At(i).job) *document->Rows().At(i).job = 2;
            }
        }
        pool.reset();
        session.reset();
    }

    // Made on first use, so that a test can change the settings first.
    SessionController& Session() {
        if (!session) {
            SessionHooks hooks;
            hooks.now = [] { return kNow; };
            hooks.endOfSessionAction = [this](bool shutdown) {
                ++endActions;
                shutdownRequested = shutdown;
                loop.Quit();
            };
            session = std::make_unique<SessionController>(settings, *document, loop, *pool, *log,
                                                          prompter, jobEnv, hooks);
            session->SetAutoMode(true, false);
        }
        return *session;
    }

    // One whole session; true when it ended within the limit.
    bool RunSession(bool selectedOnly = false, const std::vector<RowId>& selection = {}) {
        const int before = endActions;
        Session().StartRequest(selectedOnly, selection);
        const bool ended = loop.RunUntilQuit();
        return ended && endActions == before + 1 && Session().State() == SessionState::Idle;
    }

    std::string Home(const std::string& name) const { return dir.path() + "/" + name; }

    UrlItem Item(const std::string& name, const std::string& url) const {
        UrlItem item = FreshItem();
        item.Name = name;
        item.Url = url;
        item.Dest = Home("dl/");
        return item;
    }
    RowId Add(const UrlItem& item) { return document->Rows().Append(item); }
    Row& RowOf(RowId id) { return *document->Rows().Find(id); }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const LogLine& line : log->Lines())
            texts.push_back(line.text);
        return texts;
    }
    int Lines(const std::string& text) const {
        const auto texts = Texts();
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }
    int LinesStarting(const std::string& prefix) const {
        int n = 0;
        for (const std::string& text : Texts())
            n += text.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    std::string LastText() const {
        const auto texts = Texts();
        return texts.empty() ? std::string() : texts.back();
    }
    int ImageOf(const std::string& text) const {
        for (const LogLine& line : log->Lines()) {
            if (line.text == text) return line.image;
        }
        return -1;
    }
    std::int64_t SizeOf(const std::string& name) const { return FileSize(Home(name)).value_or(-1); }

    // Runs the loop until the row's job has received bytes.
    bool UntilReceiving(RowId id) {
        return loop.RunUntil([&] {
            const Row* row = document->Rows().Find(id);
            return row && row->runState == RunState::Running && row->jobBytes > 0;
        });
    }

    static test::SuiteServers servers;

    test::TempDir dir;
    test::RecordingPrompter prompter;
    AppSettings settings;
    TrafficMeter meter;
    TestLoop loop;
    std::unique_ptr<ListDocument> document;
    std::unique_ptr<EventLog> log;
    std::shared_ptr<JobEnvironment> jobEnv;
    std::unique_ptr<WorkerPool> pool;
    std::unique_ptr<SessionController> session;
    int endActions = 0;
    bool shutdownRequested = false;
};

test::SuiteServers SessionControllerTest::servers;

const std::string kSummaryZero = "Session finished, bytes downloaded: 0 average speed: 0 Bytes/sec";

// --- Which rows a session takes ----------------------------------------------------------------

TEST_F(SessionControllerTest, DueRulesChooseTheRowsOfASession) {
    settings.LogDetail = 1;
    UrlItem plain = Item("plain", servers.nginx->Url("/files/f1.txt"));
    UrlItem disabled = Item("disabled", servers.nginx->Url("/files/f2.txt"));
    disabled.Disabled = 1;
    UrlItem mailed = Item("mailed", servers.nginx->Url("/files/f3.txt"));
    mailed.CEType = 1;
    UrlItem every3 = Item("every3", servers.nginx->Url("/files/f4.txt"));
    every3.interval = 3;
    every3.lastDL = kYesterday;
    UrlItem every3old = Item("every3old", servers.nginx->Url("/files/f5.txt"));
    every3old.interval = 3;
    every3old.lastDL = kFourDaysAgo;
    UrlItem once = Item("once", servers.nginx->Url("/files/f6.txt"));
    once.interval = -1;
    once.lastDL = kYesterday;
    UrlItem seriesDone = Item("seriesDone", servers.nginx->Url("/series/pic%u.jpg"));
    seriesDone.NumBased = 1;
    seriesDone.CurrentNum = 3;
    seriesDone.StopNumber = 2;
    const RowId idPlain = Add(plain), idDisabled = Add(disabled), idMailed = Add(mailed),
                idEvery3 = Add(every3), idEvery3old = Add(every3old), idOnce = Add(once),
                idSeries = Add(seriesDone);

    ASSERT_TRUE(RunSession());

    for (const char* name : {"plain", "every3old", "once"}) {
        EXPECT_EQ(Lines(std::string("[") + name + "] - added to queue"), 1) << name;
        EXPECT_EQ(Lines(std::string("[") + name + "] - Job finished"), 1) << name;
    }
    for (const char* name : {"disabled", "mailed", "every3", "seriesDone"}) {
        EXPECT_EQ(LinesStarting(std::string("[") + name + "]"), 0) << name;
    }
    EXPECT_EQ(SizeOf("dl/f1.txt"), 6);
    EXPECT_EQ(SizeOf("dl/f5.txt"), 6);
    EXPECT_EQ(SizeOf("dl/f6.txt"), 6);
    EXPECT_FALSE(FileExists(Home("dl/f2.txt")));
    EXPECT_FALSE(FileExists(Home("dl/f3.txt")));
    EXPECT_FALSE(FileExists(Home("dl/f4.txt")));
    EXPECT_FALSE(FileExists(Home("dl/pic3.jpg")));

    // The images after the session tell why a row was left out.
    EXPECT_EQ(RowOf(idDisabled).image, kImageDisabled);
    EXPECT_EQ(RowOf(idMailed).image, kImageFromEmail);
    EXPECT_EQ(RowOf(idEvery3).image, kImageNotDue);
    EXPECT_EQ(RowOf(idSeries).image, kImageOrdinary);
    EXPECT_EQ(RowOf(idPlain).image, kImageOrdinary);
    // every3old was fetched today, so it is not due again for three days.
    EXPECT_EQ(RowOf(idEvery3old).image, kImageNotDue);
    EXPECT_EQ(RowOf(idEvery3old).item.lastDL, kNow);
    // The once-only item was disabled by its download.
    EXPECT_EQ(RowOf(idOnce).image, kImageDisabled);
    for (RowId id : document->Rows().Ids()) {
        EXPECT_FALSE(RowOf(id).job);
        EXPECT_EQ(RowOf(id).runState, RunState::None);
    }
    EXPECT_EQ(Session().ErrorResults(), 0);
}

TEST_F(SessionControllerTest, SelectedRowsIgnoreDueRulesButNotTheSeriesEnd) {
    settings.LogDetail = 1;
    UrlItem disabled = Item("disabled", servers.nginx->Url("/files/f1.txt"));
    disabled.Disabled = 1;
    UrlItem every3 = Item("every3", servers.nginx->Url("/files/f2.txt"));
    every3.interval = 3;
    every3.lastDL = kYesterday;
    UrlItem mailed = Item("mailed", servers.nginx->Url("/files/f3.txt"));
    mailed.CEType = 1;
    UrlItem seriesDone = Item("seriesDone", servers.nginx->Url("/series/pic%u.jpg"));
    seriesDone.NumBased = 1;
    seriesDone.CurrentNum = 3;
    seriesDone.StopNumber = 2;
    UrlItem unselected = Item("unselected", servers.nginx->Url("/files/f4.txt"));
    const RowId idDisabled = Add(disabled), idEvery3 = Add(every3), idMailed = Add(mailed),
                idSeries = Add(seriesDone);
    Add(unselected);

    ASSERT_TRUE(RunSession(true, {idDisabled, idEvery3, idMailed, idSeries}));

    EXPECT_EQ(SizeOf("dl/f1.txt"), 6);
    EXPECT_EQ(SizeOf("dl/f2.txt"), 6);
    EXPECT_EQ(SizeOf("dl/f3.txt"), 6);
    EXPECT_FALSE(FileExists(Home("dl/f4.txt")));
    EXPECT_FALSE(FileExists(Home("dl/pic3.jpg")));
    EXPECT_EQ(LinesStarting("[seriesDone]"), 0);
    EXPECT_EQ(LinesStarting("[unselected]"), 0);
    EXPECT_EQ(Lines("[disabled] - Job finished"), 1);
    // A downloaded disabled item stays disabled and shows so.
    EXPECT_EQ(RowOf(idDisabled).image, kImageDisabled);
}

TEST_F(SessionControllerTest, NothingDueEndsTheSessionAtOnce) {
    UrlItem disabled = Item("disabled", servers.nginx->Url("/files/f1.txt"));
    disabled.Disabled = 1;
    Add(disabled);

    ASSERT_TRUE(RunSession());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"No jobs to start", kSummaryZero}));
    EXPECT_EQ(ImageOf("No jobs to start"), kLogError);
    EXPECT_EQ(ImageOf(kSummaryZero), kLogStopped);
    EXPECT_FALSE(shutdownRequested);
    EXPECT_FALSE(Session().UserStopped());

    // An empty list, with the session's first line shown at detail 1.
    document->Rows().Clear();
    log->Clear();
    settings.LogDetail = 1;
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Starting download session...", "No jobs to start",
                                                 kSummaryZero}));
    EXPECT_EQ(ImageOf("Starting download session..."), kLogSessionStart);
    EXPECT_EQ(endActions, 2);
}

TEST_F(SessionControllerTest, StartWhileDownloadingAddsOnlyRowsWithoutAJob) {
    settings.LogDetail = 1;
    const RowId idSlow = Add(Item("slow", servers.faults->Url("/drip?size=60000&rate=30000")));
    Session().StartRequest(false);
    ASSERT_TRUE(UntilReceiving(idSlow));
    ASSERT_EQ(Session().State(), SessionState::Downloading);

    // Nothing new: nothing is queued and nothing is logged.
    const std::size_t linesBefore = log->Count();
    Session().StartRequest(false);
    loop.RunPending();
    EXPECT_EQ(log->Count(), linesBefore);
    EXPECT_EQ(Session().State(), SessionState::Downloading);

    const RowId idLate = Add(Item("late", servers.nginx->Url("/files/f1.txt")));
    Session().StartRequest(false);
    EXPECT_EQ(RowOf(idLate).runState, RunState::Queued);
    ASSERT_TRUE(loop.RunUntilQuit());
    EXPECT_EQ(endActions, 1);
    EXPECT_EQ(Lines("[slow] - added to queue"), 1);
    EXPECT_EQ(Lines("[late] - added to queue"), 1);
    EXPECT_EQ(Lines("[slow] - Job finished"), 1);
    EXPECT_EQ(Lines("[late] - Job finished"), 1);
    EXPECT_EQ(SizeOf("dl/f1.txt"), 6);
    EXPECT_EQ(Lines("No jobs to start"), 0);
}

TEST_F(SessionControllerTest, StartWhileDownloadingKeepsTheSessionsChoiceOfRows) {
    // The session was started for all due rows: a later start request adds the due rows
    // that have no job, whatever it says about the selection.
    const RowId idSlow = Add(Item("slow", servers.faults->Url("/drip?size=60000&rate=30000")));
    Session().StartRequest(false);
    ASSERT_TRUE(UntilReceiving(idSlow));
    UrlItem disabled = Item("disabled", servers.nginx->Url("/files/f1.txt"));
    disabled.Disabled = 1;
    const RowId idDisabled = Add(disabled);
    const RowId idDue = Add(Item("due", servers.nginx->Url("/files/f2.txt")));
    Session().StartRequest(true, {idDisabled});
    const bool keptChoice =
        RowOf(idDue).runState == RunState::Queued && RowOf(idDisabled).runState == RunState::None;
    ASSERT_TRUE(loop.RunUntilQuit());
    if (!keptChoice) {
    }
    EXPECT_EQ(SizeOf("dl/f2.txt"), 6);
    EXPECT_FALSE(FileExists(Home("dl/f1.txt")));
}

// --- Stopping ------------------------------------------------------------------------------------

TEST_F(SessionControllerTest, StopNowAbortsTheTransfer) {
    settings.LogDetail = 2;
    settings.AbortMode = 0;
    const std::string url = servers.faults->Url("/drip?size=1000000&rate=50000");
    const RowId id = Add(Item("drip", url));
    Session().StartRequest(false);
    ASSERT_TRUE(UntilReceiving(id));

    Session().OnStop();
    EXPECT_EQ(Session().State(), SessionState::Stopping);
    EXPECT_TRUE(Session().UserStopped());
    ASSERT_TRUE(RowOf(id).job);
    EXPECT_EQ(*RowOf(id).job, 2);
    EXPECT_EQ(RowOf(id).image, kImageStopRequested);
    // A start request while stopping is ignored.
    Session().StartRequest(false);
    EXPECT_EQ(Session().State(), SessionState::Stopping);

    ASSERT_TRUE(loop.RunUntilQuit());
    EXPECT_EQ(Session().State(), SessionState::Idle);
    EXPECT_EQ(endActions, 1);  // auto mode closes the program even after a stop
    EXPECT_EQ(Lines("[drip] - Aborted by user : " + url), 1);
    EXPECT_EQ(ImageOf("[drip] - Aborted by user : " + url), kLogStopped);
    EXPECT_EQ(LinesStarting("[drip] - " + url + " => "), 1);
    EXPECT_EQ(Lines("[drip] - job aborted by user"), 1);
    EXPECT_EQ(Lines("[drip] - Job finished"), 0);
    EXPECT_LT(SizeOf("dl/drip_size=1000000_rate=50000"), 1000000);
    EXPECT_GT(SizeOf("dl/drip_size=1000000_rate=50000"), 0);
    EXPECT_EQ(RowOf(id).runState, RunState::None);
    EXPECT_FALSE(RowOf(id).job);
}

TEST_F(SessionControllerTest, StopWhenFileDoneFinishesTheFileButNotTheSeries) {
    settings.LogDetail = 2;
    settings.AbortMode = 1;
    UrlItem series = Item("series", servers.nginx->Url("/slow/s%u.bin"));
    series.NumBased = 1;
    series.CurrentNum = 1;
    series.StopNumber = 3;
    const RowId id = Add(series);
    Session().StartRequest(false);
    ASSERT_TRUE(UntilReceiving(id));
    ASSERT_EQ(RowOf(id).item.CurrentNum, 1) << "the first file took too short";

    Session().OnStop();
    EXPECT_EQ(*RowOf(id).job, 1);
    EXPECT_EQ(settings.AbortMode, 1);
    ASSERT_TRUE(loop.RunUntilQuit());
    EXPECT_EQ(SizeOf("dl/s1.bin"), 40000);
    EXPECT_FALSE(FileExists(Home("dl/s2.bin")));
    EXPECT_EQ(Lines("[series] - File download OK " + Home("dl/s1.bin")), 1);
    EXPECT_EQ(LinesStarting("[series] - Aborted by user"), 0);
    EXPECT_EQ(Lines("[series] - job aborted by user"), 1);
    // The delivered number counts: the next session starts with 2.
    EXPECT_EQ(RowOf(id).item.CurrentNum, 2);
    EXPECT_TRUE(Session().UserStopped());
}

TEST_F(SessionControllerTest, ShiftStopsNowWhateverTheAbortMode) {
    settings.AbortMode = 1;
    const std::string url = servers.faults->Url("/drip?size=1000000&rate=50000");
    const RowId id = Add(Item("drip", url));
    Session().StartRequest(false);
    ASSERT_TRUE(UntilReceiving(id));

    Session().OnStop(true, false);
    EXPECT_EQ(*RowOf(id).job, 2);
    EXPECT_EQ(settings.AbortMode, 1);  // only this stop was immediate
    ASSERT_TRUE(loop.RunUntilQuit());
    EXPECT_EQ(Lines("[drip] - Aborted by user : " + url), 1);
    EXPECT_LT(SizeOf("dl/drip_size=1000000_rate=50000"), 1000000);
    EXPECT_GT(SizeOf("dl/drip_size=1000000_rate=50000"), 0);
}

TEST_F(SessionControllerTest, CtrlStopsOnlyTheSelectedRows) {
    settings.LogDetail = 2;
    const std::string longUrl = servers.faults->Url("/drip?size=1000000&rate=50000");
    const RowId idLong = Add(Item("long", longUrl));
    UrlItem shortItem = Item("short", servers.faults->Url("/drip?size=150000&rate=50000"));
    shortItem.Dest = Home("short/");
    const RowId idShort = Add(shortItem);
    Session().StartRequest(false);
    ASSERT_TRUE(UntilReceiving(idLong));
    ASSERT_TRUE(UntilReceiving(idShort));

    Session().OnStop(false, true, {idLong});
    EXPECT_EQ(Session().State(), SessionState::Downloading);
    EXPECT_FALSE(Session().UserStopped());
    EXPECT_EQ(*RowOf(idLong).job, 2);
    EXPECT_EQ(RowOf(idLong).image, kImageStopRequested);
    EXPECT_EQ(*RowOf(idShort).job, 0);

    ASSERT_TRUE(loop.RunUntilQuit());
    EXPECT_EQ(endActions, 1);
    EXPECT_EQ(Lines("[long] - Aborted by user : " + longUrl), 1);
    EXPECT_EQ(Lines("[long] - job aborted by user"), 1);
    EXPECT_EQ(Lines("[short] - Job finished"), 1);
    EXPECT_EQ(SizeOf("short/drip_size=150000_rate=50000"), 150000);
    EXPECT_FALSE(Session().UserStopped());
}

TEST_F(SessionControllerTest, StopWhileConnectingEndsTheSessionWithoutJobs) {
    Add(Item("plain", servers.nginx->Url("/files/f1.txt")));
    Session().StartRequest(false);
    ASSERT_EQ(Session().State(), SessionState::Connecting);
    Session().OnStop();
    EXPECT_EQ(Session().State(), SessionState::Idle);
    EXPECT_EQ(endActions, 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{kSummaryZero}));
    // The connection step's late answer finds no session to fill.
    loop.RunUntil([] { return false; }, 300ms);
    EXPECT_EQ(Texts(), (std::vector<std::string>{kSummaryZero}));
    EXPECT_FALSE(FileExists(Home("dl/f1.txt")));
    // Stop without a session does nothing.
    Session().OnStop();
    EXPECT_EQ(Session().State(), SessionState::Idle);
    EXPECT_EQ(endActions, 1);
}

// --- What a session leaves in the rows -----------------------------------------------------------

TEST_F(SessionControllerTest, OnceOnlyItemsAreDisabledAfterADownload) {
    settings.NotNeededAction = 0;
    UrlItem once = Item("once", servers.nginx->Url("/files/f1.txt"));
    once.interval = -1;
    // A once-only item whose file was already there received nothing: it stays enabled.
    UrlItem present = Item("present", servers.nginx->Url("/files/f2.txt"));
    present.interval = -1;
    present.UpdateMode = kUpdateSkip;
    ASSERT_TRUE(CreateFolders(Home("dl")));
    ASSERT_TRUE(WriteFileAtomic(Home("dl/f2.txt"), "local", 0644));
    const RowId idOnce = Add(once), idPresent = Add(present);

    ASSERT_TRUE(RunSession());
    EXPECT_EQ(RowOf(idOnce).item.Disabled, 1);
    EXPECT_EQ(RowOf(idOnce).image, kImageDisabled);
    EXPECT_EQ(RowOf(idPresent).item.Disabled, 0);
    EXPECT_EQ(document->Rows().Count(), 2u);
    EXPECT_EQ(Lines("[present] - File skipped (already exists) : " + Home("dl/f2.txt")), 1);

    // The next session leaves the disabled one alone.
    log->Clear();
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(LinesStarting("[once]"), 0);
}

TEST_F(SessionControllerTest, OnceOnlyItemsAreDeletedWhenSoSet) {
    settings.NotNeededAction = 1;
    UrlItem once = Item("once", servers.nginx->Url("/files/f1.txt"));
    once.interval = -1;
    Add(once);
    const RowId idKept = Add(Item("kept", servers.nginx->Url("/files/f2.txt")));

    ASSERT_TRUE(RunSession());
    ASSERT_EQ(document->Rows().Count(), 1u);
    EXPECT_EQ(document->Rows().At(0).id, idKept);
    EXPECT_EQ(Lines("[once] -Download deleted from list"), 1);
    EXPECT_EQ(ImageOf("[once] -Download deleted from list"), kLogDeleted);
    EXPECT_EQ(SizeOf("dl/f1.txt"), 6);
    EXPECT_TRUE(document->Rows().Modified());
}

TEST_F(SessionControllerTest, RowDeletedWhileItsJobRunsStillEndsTheSession) {
    settings.LogDetail = 2;
    const RowId id = Add(Item("gone", servers.faults->Url("/drip?size=60000&rate=30000")));
    Session().StartRequest(false);
    ASSERT_TRUE(UntilReceiving(id));
    const std::size_t linesBefore = log->Count();
    ASSERT_EQ(document->Rows().Remove({id}), 1u);

    ASSERT_TRUE(loop.RunUntilQuit());
    EXPECT_EQ(Session().State(), SessionState::Idle);
    // The job's later events change nothing and write nothing; its bytes still count.
    EXPECT_EQ(log->Count(), linesBefore + 1);
    EXPECT_EQ(LastText().rfind("Session finished, bytes downloaded: 58 average speed: ", 0), 0u)
        << LastText();
    EXPECT_EQ(Session().Stats().sessionBytes, 60000.0);
    EXPECT_EQ(document->Rows().Count(), 0u);
}

TEST_F(SessionControllerTest, SeriesNumberAndLastDownloadReachTheRows) {
    UrlItem series = Item("series", servers.nginx->Url("/series/pic%u.jpg"));
    series.NumBased = 1;
    series.CurrentNum = 1;
    series.Tolerance = 0;
    const RowId idSeries = Add(series);
    UrlItem missing = Item("missing", servers.nginx->Url("/files/none.txt"));
    missing.lastDL = kYesterday;
    const RowId idMissing = Add(missing);
    document->Rows().SetModified(false);

    ASSERT_TRUE(RunSession());
    EXPECT_EQ(ReadFile(Home("dl/pic3.jpg")).value_or(""), "picture 3");
    EXPECT_EQ(RowOf(idSeries).item.CurrentNum, 4);
    EXPECT_EQ(RowOf(idSeries).item.lastDL, kNow);
    EXPECT_TRUE(document->Rows().Modified());
    // "Job finished" also ends a job whose file failed.
    EXPECT_EQ(RowOf(idMissing).item.lastDL, kNow);
    EXPECT_EQ(RowOf(idSeries).image, kImageOrdinary);
}

// --- The summary and the log ---------------------------------------------------------------------

TEST_F(SessionControllerTest, SummaryLineFormsBelowAndAboveTwoKilobytesPerSecond) {
    // Without a progress tick the average speed is the byte total.
    loop.holdProgressTick = true;
    const RowId id = Add(Item("small", servers.nginx->Url("/sizes/2000.bin")));
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(LastText(), "Session finished, bytes downloaded: 1 average speed: 2000 Bytes/sec");
    EXPECT_EQ(Session().Stats().sessionBytes, 2000.0);

    RowOf(id).item.Url = servers.nginx->Url("/sizes/2048.bin");
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(LastText(), "Session finished, bytes downloaded: 2 average speed: 2048 Bytes/sec");

    RowOf(id).item.Url = servers.nginx->Url("/sizes/2049.bin");
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(LastText(), "Session finished, bytes downloaded: 2 average speed: 2 KB/sec");

    RowOf(id).item.Url = servers.nginx->Url("/sizes/3m.bin");
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(LastText(), "Session finished, bytes downloaded: 2929 average speed: 2929 KB/sec");
}

TEST_F(SessionControllerTest, SummaryCountsEveryByteOfABigSession) {
    // With the progress tick running the speed depends on the machine, the total does not.
    Add(Item("big", servers.nginx->Url("/sizes/3m.bin")));
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(SizeOf("dl/3m.bin"), 3000000);
    EXPECT_EQ(Session().Stats().sessionBytes, 3000000.0);
    const std::string summary = LastText();
    EXPECT_EQ(summary.rfind("Session finished, bytes downloaded: 2929 average speed: ", 0), 0u)
        << summary;
    EXPECT_NE(summary.find(" KB/sec"), std::string::npos) << summary;
}

TEST_F(SessionControllerTest, LogDetailDecidesWhichLinesAppear) {
    UrlItem item = Item("item", servers.nginx->Url("/files/f1.txt"));
    item.UpdateMode = kUpdateOverwrite;
    Add(item);
    const std::string url = servers.nginx->Url("/files/f1.txt");
    const std::string path = Home("dl/f1.txt");
    const std::vector<std::string> detail1 = {
        "Starting download session...", "[item] - added to queue",
        "[item] - Downloading file started " + url, "[item] - Job finished"};
    const std::vector<std::string> detail2 = {
        "[item] - download Started",
        "[item] - " + url + " => " + path + " result code: 0 subcode:200"};
    const std::string ok = "[item] - File download OK " + path;

    for (int detail = 0; detail <= 2; ++detail) {
        SCOPED_TRACE("LogDetail " + std::to_string(detail));
        settings.LogDetail = detail;
        log->Clear();
        ASSERT_TRUE(RunSession());
        EXPECT_EQ(Lines(ok), 1);
        EXPECT_EQ(ImageOf(ok), kLogSuccess);
        EXPECT_EQ(LinesStarting("Session finished, bytes downloaded: 0 average speed: "), 1);
        for (const std::string& line : detail1)
            EXPECT_EQ(Lines(line), detail >= 1 ? 1 : 0) << line;
        for (const std::string& line : detail2)
            EXPECT_EQ(Lines(line), detail >= 2 ? 1 : 0) << line;
        if (detail < 2) {
            EXPECT_EQ(log->Count(), detail == 0 ? 2u : 6u);
        }
    }
}

TEST_F(SessionControllerTest, LogFileIsCutToSizeAtTheFirstLineOfEachSession) {
    settings.WriteLog = 0;
    Add(Item("item", servers.nginx->Url("/files/f1.txt")));
    ASSERT_TRUE(RunSession());
    EXPECT_FALSE(FileExists(Home("Kov.log")));

    // 512 lines of 100 bytes.
    std::string old;
    for (int i = 0; i < 512; ++i) {
        std::string line = "old line " + std::to_string(i) + " ";
        line.resize(99, '.');
        old += line + "\n";
    }
    ASSERT_TRUE(WriteFileAtomic(Home("Kov.log"), old, 0644));
    settings.WriteLog = 1;
    settings.MaxLogSize = 10;
    settings.LogDetail = 1;
    log->Clear();
    ASSERT_TRUE(RunSession());

    std::string tail = old.substr(old.size() - 10240);
    tail = tail.substr(tail.find('\n') + 1);
    std::string written;
    for (const LogLine& line : log->Lines())
        written += line.time + " - " + line.text + "\n";
    EXPECT_EQ(ReadFile(Home("Kov.log")).value_or(""), tail + written);

    // The session closed the file, so the next one cuts it again.
    const std::string padding(20000, 'x');
    ASSERT_TRUE(WriteFileAtomic(Home("Kov.log"), tail + written + padding + "\nend\n", 0644));
    log->Clear();
    ASSERT_TRUE(RunSession());
    const std::string again = ReadFile(Home("Kov.log")).value_or("");
    ASSERT_EQ(again.rfind("end\n", 0), 0u) << again.substr(0, 200);
    EXPECT_NE(again.find("Starting download session..."), std::string::npos);
    EXPECT_LT(again.size(), 10240u + 4096u);
}

TEST_F(SessionControllerTest, ErrorResultsCountFailedFilesOnly) {
    UrlItem skipped = Item("skipped", servers.nginx->Url("/files/f1.txt"));
    skipped.UpdateMode = kUpdateSkip;
    ASSERT_TRUE(CreateFolders(Home("dl")));
    ASSERT_TRUE(WriteFileAtomic(Home("dl/f1.txt"), "local", 0644));
    Add(skipped);
    Add(Item("fetched", servers.nginx->Url("/files/f2.txt")));
    const std::string missingUrl = servers.nginx->Url("/files/none.txt");
    Add(Item("missing", missingUrl));

    ASSERT_TRUE(RunSession());
    EXPECT_EQ(Lines("[missing] - Open resource error : " + missingUrl), 1);
    EXPECT_EQ(ImageOf("[missing] - Open resource error : " + missingUrl), kLogError);
    EXPECT_EQ(Session().ErrorResults(), 1);

    // The count covers the program run, not one session.
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(Session().ErrorResults(), 2);
}

}  // namespace
}  // namespace kov
