#include "session/job_event_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/message_table.h"
#include "net/transfer_events.h"
#include "session/event_log.h"

namespace kov {
namespace {

class JobEventTest : public ::testing::Test {
protected:
    JobEventTest() {
        settings.WriteLog = 0;
        settings.LogDetail = 2;
        context.rows = &rows;
        context.log = &log;
        context.settings = &settings;
        context.stats = &stats;
        context.limitCounter = &limit;
        context.playSound = [this](int sound) { sounds.push_back(sound); };
        context.now = [this] { return clock; };
        context.editedRow = [this] { return edited; };
        UrlItem item = FreshItem();
        item.Name = "news";
        item.Url = "http://example.org/a.html";
        item.Dest = "/tmp/a.html";
        id = rows.Append(item);
    }
    ~JobEventTest() override { ResetMessageTexts(); }

    EventOutcome Send(int code, std::int64_t p1 = 0, std::int64_t p2 = 0, std::string t1 = {},
                      std::string t2 = {}, int internet = 1) {
        JobEvent e;
        e.code = code;
        e.ownerKey = id;
        e.param1 = p1;
        e.param2 = p2;
        e.text1 = std::move(t1);
        e.text2 = std::move(t2);
        e.internet = internet;
        return HandleJobEvent(e, context);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& line : log.Lines())
            out.push_back(line.text);
        return out;
    }
    std::string LastText() const { return log.Lines().empty() ? "" : log.Lines().back().text; }
    int LastImage() const { return log.Lines().empty() ? -1 : log.Lines().back().image; }
    Row& R() { return *rows.Find(id); }

    AppSettings settings;
    EventLog log{settings, "/nonexistent/Kov.log"};
    ListModel rows;
    SessionStats stats;
    std::atomic<std::uint64_t> limit{0};
    std::vector<int> sounds;
    std::time_t clock = 1'000'000;
    RowId edited = 0;
    EventContext context;
    RowId id = 0;
};

TEST_F(JobEventTest, JobStateCodesChangeTheRowAndAskForARecount) {
    EXPECT_EQ(Send(500), EventOutcome::Recount);
    EXPECT_EQ(R().columns[kColumnStatus], "added to queue");
    EXPECT_EQ(R().image, kImageQueued);
    EXPECT_EQ(LastText(), "[news] - added to queue");

    R().fileSize = 9;
    R().jobBytes = 9;
    EXPECT_EQ(Send(kEventJobStarted, 1), EventOutcome::Recount);
    EXPECT_EQ(R().image, kImageLocalJob);
    EXPECT_EQ(R().runState, RunState::Running);
    EXPECT_EQ(R().columns[kColumnStatus], "download Started");
    EXPECT_EQ(R().fileSize, 0u);
    EXPECT_EQ(R().jobBytes, 0u);
    EXPECT_EQ(R().jobStart, clock);
    EXPECT_EQ(LastText(), "[news] - download Started");
    Send(kEventJobStarted, 0);
    EXPECT_EQ(R().image, kImageRunning);

    Send(kEventFileStarted, 10, 0, "http://example.org/b.png", "/tmp/b.png");
    EXPECT_EQ(Send(kEventJobAborted), EventOutcome::Recount);
    EXPECT_EQ(R().runState, RunState::Aborted);
    EXPECT_EQ(R().image, kImageAborted);
    EXPECT_EQ(R().columns[kColumnStatus], "job aborted by user");
    EXPECT_EQ(R().columns[kColumnUrl], "http://example.org/a.html");
    EXPECT_EQ(R().columns[kColumnDest], "/tmp/a.html");
    EXPECT_EQ(LastText(), "[news] - job aborted by user");
    EXPECT_EQ(LastImage(), kLogStopped);

    Send(kEventFileStarted, 10, 0, "http://example.org/b.png", "/tmp/b.png");
    EXPECT_EQ(Send(kEventJobCancelled), EventOutcome::Recount);
    EXPECT_EQ(R().runState, RunState::Cancelled);
    EXPECT_EQ(R().columns[kColumnStatus], "job cancelled before start");
    EXPECT_EQ(R().columns[kColumnUrl], "http://example.org/a.html");
    EXPECT_EQ(LastText(), "[news] - job cancelled before start");

    rows.SetModified(false);
    clock += 50;
    EXPECT_EQ(Send(kEventJobFinished), EventOutcome::Recount);
    EXPECT_EQ(R().runState, RunState::Finished);
    EXPECT_EQ(R().image, kImageFinished);
    EXPECT_EQ(R().item.lastDL, clock);
    EXPECT_TRUE(rows.Modified());
    EXPECT_EQ(R().columns[kColumnStatus], "Job finished");
    EXPECT_EQ(LastText(), "[news] - Job finished");
    EXPECT_EQ(LastImage(), kLogSuccess);

    EXPECT_EQ(Send(kEventConnecting), EventOutcome::None);
    EXPECT_EQ(R().columns[kColumnStatus], "Connecting to Host...");
    // Codes without a meaning change nothing.
    const auto before = R().columns;
    const auto lines = log.Count();
    for (int code : {507, 509, 514, 525, 2081, 9999})
        EXPECT_EQ(Send(code, 1, 1, "x", "y"), EventOutcome::None);
    EXPECT_EQ(R().columns, before);
    EXPECT_EQ(log.Count(), lines);
}

TEST_F(JobEventTest, ProgressFillsTheColumnsAndCountsTraffic) {
    settings.LimitTrace = 1;
    Send(kEventJobStarted);
    Send(kEventFileStarted, 1'000'000, 0, "http://example.org/big.zip", "/tmp/big.zip");
    EXPECT_EQ(R().columns[kColumnUrl], "http://example.org/big.zip");
    EXPECT_EQ(R().columns[kColumnDest], "/tmp/big.zip");
    EXPECT_EQ(R().fileSize, 1'000'000u);
    EXPECT_EQ(LastText(), "[news] - Downloading file started http://example.org/big.zip");

    Send(kEventBlock, 1000);
    EXPECT_EQ(R().columns[kColumnStatus], "1,000 / 976 Kb");
    EXPECT_EQ(R().columns[kColumnTimePassed], "00:00:00");
    EXPECT_EQ(R().columns[kColumnSpeed], "");  // no whole second yet

    clock += 2;
    Send(kEventBlock, 9000, 0, "", "", 0);  // a local transfer: not counted against the limit
    EXPECT_EQ(R().filePos, 10'000u);
    EXPECT_EQ(R().columns[kColumnStatus], "10,000 / 976 Kb");
    EXPECT_EQ(R().columns[kColumnTimePassed], "00:00:02");
    EXPECT_EQ(R().columns[kColumnSpeed], "4.88 KB/sec");
    EXPECT_EQ(R().columns[kColumnTimeRest], "00:03:18");  // 990000 / 5000
    EXPECT_EQ(stats.sessionBytes, 10'000.0);
    EXPECT_EQ(limit.load(), 1000u);

    // Hours and a linked-document loop.
    clock += 3600;
    JobEvent next;
    next.code = kEventFileStarted;
    next.ownerKey = id;
    next.param1 = 0;
    next.linkIndex = 1;
    next.linkCount = 5;
    HandleJobEvent(next, context);
    Send(kEventBlock, 600'000);
    EXPECT_EQ(R().columns[kColumnStatus], "585 Kb");
    EXPECT_EQ(R().columns[kColumnTimePassed], "01:00:02 (2/5)");
    EXPECT_EQ(R().columns[kColumnSpeed], "169 Bytes/sec");  // 610000 / 3602

    // A file that outgrows its announced size leaves no time.
    Send(kEventResumed, 0, 100);
    Send(kEventBlock, 500);
    EXPECT_EQ(R().columns[kColumnStatus], "500 / 100");
    EXPECT_EQ(R().columns[kColumnTimeRest], "00:00:00");
    EXPECT_EQ(limit.load(), 601'500u);

    settings.LimitTrace = 0;
    Send(kEventBlock, 1);
    EXPECT_EQ(limit.load(), 601'500u);
    EXPECT_EQ(stats.sessionBytes, 610'501.0);

    // 506 empties the speed column only.
    Send(kEventFileResult, 0, 0, "u", "p");
    EXPECT_EQ(R().columns[kColumnSpeed], "");
    EXPECT_FALSE(R().columns[kColumnTimePassed].empty());
}

TEST_F(JobEventTest, FileResultsWriteTheirLines) {
    struct Case {
        std::int64_t result;
        std::string line;
        int image;
        bool sound;
    };
    const std::vector<Case> cases = {
        {0, "[news] - File download OK /tmp/a.html", kLogSuccess, false},
        {919, "[news] - File skipped (already exists) : /tmp/a.html", kLogSuccess, false},
        {921, "[news] - File deleted as 404 stub : /tmp/a.html", kLogSuccess, false},
        {923, "[news] - Write file error : /tmp/a.html", kLogError, true},
        {928, "[news] - Stopped due to limit exceed", kLogStopped, false},
        {918, "[news] - Open resource error : http://x/a", kLogError, false},
        {777, "[news] - Download error : http://x/a, code: 777 / 13", kLogError, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        sounds.clear();
        log.Clear();
        Send(kEventFileResult, c.result, 13, "http://x/a", "/tmp/a.html");
        const auto lines = log.Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].text, "[news] - http://x/a => /tmp/a.html result code: " +
                                     std::to_string(c.result) + " subcode:13");
        EXPECT_EQ(lines[0].image, kLogSuccess);
        EXPECT_EQ(lines[1].text, c.line);
        EXPECT_EQ(lines[1].image, c.image);
        EXPECT_EQ(sounds, c.sound ? std::vector<int>{kSoundError2} : std::vector<int>{});
    }
    // The result lines carry no detail condition; the summary line needs detail 2.
    settings.LogDetail = 0;
    log.Clear();
    Send(kEventFileResult, 0, 0, "u", "p");
    EXPECT_EQ(Texts(), std::vector<std::string>{"[news] - File download OK p"});
}

TEST_F(JobEventTest, LogDetailDecidesWhichLinesAreWritten) {
    settings.LogDetail = 1;
    Send(500);
    Send(kEventJobStarted);  // detail 2
    Send(kEventJobAborted);  // detail 2
    Send(kEventRetry);
    Send(518, 0, 0, "page");  // always
    EXPECT_EQ(Texts(), (std::vector<std::string>{"[news] - added to queue",
                                                 "[news] - resuming after timeout",
                                                 "[news] - page - gathering linked docs ..."}));
    settings.LogDetail = 0;
    log.Clear();
    Send(500);
    Send(kEventJobFinished);
    Send(kEventMessage, 1, 0, "diag");
    EXPECT_EQ(Texts(), std::vector<std::string>{"[news] - diag, code:1"});
    // The row changes whatever the detail.
    EXPECT_EQ(R().image, kImageFinished);
}

TEST_F(JobEventTest, OnceOnlyItemsAreDisabledOrDeletedWhenDone) {
    R().item.interval = -1;
    R().jobBytes = 0;
    settings.NotNeededAction = 1;
    Send(kEventJobFinished);  // nothing received: stays enabled
    ASSERT_NE(rows.Find(id), nullptr);
    EXPECT_EQ(R().item.Disabled, 0);
    EXPECT_EQ(R().image, kImageFinished);

    settings.NotNeededAction = 0;
    R().jobBytes = 10;
    Send(kEventJobFinished);
    EXPECT_EQ(R().item.Disabled, 1);
    EXPECT_EQ(R().image, kImageDisabled);

    // The row open in the editor is disabled rather than deleted.
    R().item.Disabled = 0;
    settings.NotNeededAction = 1;
    edited = id;
    Send(kEventJobFinished);
    EXPECT_EQ(R().item.Disabled, 1);
    ASSERT_NE(rows.Find(id), nullptr);

    edited = 0;
    log.Clear();
    EXPECT_EQ(Send(kEventJobFinished), EventOutcome::Recount);
    EXPECT_EQ(rows.Find(id), nullptr);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"[news] - Job finished",
                                                 "[news] -Download deleted from list"}));
    EXPECT_EQ(LastImage(), kLogDeleted);

    // The update item goes without a line, whatever the setting.
    UrlItem update = FreshItem();
    update.Name = "upd";
    update.ID = UrlItem::kUpdateProgramId;
    update.interval = -1;
    id = rows.Append(update);
    R().jobBytes = 1;
    settings.NotNeededAction = 0;
    log.Clear();
    Send(kEventJobFinished);
    EXPECT_EQ(rows.Find(id), nullptr);
    EXPECT_EQ(Texts(), std::vector<std::string>{"[upd] - Job finished"});
    EXPECT_EQ(rows.Count(), 0u);
}

TEST_F(JobEventTest, EventsForADeletedRowOnlyCountBytes) {
    settings.LimitTrace = 1;
    rows.Remove({id});
    for (int code : {500, 501, 503, 505, 506, 508, 510, 520, 521, 528, 2080, 2087})
        Send(code, 5, 5, "a", "b");
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_TRUE(sounds.empty());
    EXPECT_FALSE(rows.Modified());
    EXPECT_EQ(Send(kEventJobFinished), EventOutcome::Recount);  // the session may end now

    Send(kEventBlock, 700);
    Send(kEventBlock, 300, 0, "", "", 0);
    EXPECT_EQ(stats.sessionBytes, 1000.0);
    EXPECT_EQ(limit.load(), 700u);

    Send(kEventMailSent, 1, 0, "me@example.org");
    Send(kEventMailSent, 0, 0, "you@example.org");
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Notification sending to me@example.org : OK",
                                        "Notification sending to you@example.org : ERROR"}));
    EXPECT_EQ(LastImage(), kLogMail);
}

TEST_F(JobEventTest, SeriesNumberIsStoredInTheItem) {
    rows.SetModified(false);
    EXPECT_EQ(Send(kEventSeriesAdvanced, 42), EventOutcome::None);
    EXPECT_EQ(R().item.CurrentNum, 42);
    EXPECT_TRUE(rows.Modified());
    EXPECT_EQ(log.Count(), 0u);
}

TEST_F(JobEventTest, ConnectionAndFolderErrorsMarkTheRow) {
    Send(kEventConnectionError, 2, 530, "login refused");
    EXPECT_EQ(R().columns[kColumnStatus], "Error");
    EXPECT_EQ(R().image, kImageError);
    EXPECT_EQ(LastText(), "[news] - Error connecting to host: 2/530, (login refused)");
    EXPECT_EQ(LastImage(), kLogInfo);
    EXPECT_TRUE(sounds.empty());

    R().image = kImageRunning;
    Send(2082, 0, 0, "/pub/missing");
    EXPECT_EQ(R().columns[kColumnStatus], "No such Ftp folder");
    EXPECT_EQ(R().image, kImageError);
    EXPECT_EQ(LastText(), "[news] - No such Ftp folder: /pub/missing");

    Send(2084, 0, 0, "f.zip");
    EXPECT_EQ(LastText(), "[news] - Ftp file open Error: f.zip");

    R().image = kImageRunning;
    Send(kEventMkDirError, 0, 0, "/ro/dir");
    EXPECT_EQ(R().columns[kColumnStatus], "Error");
    EXPECT_EQ(R().image, kImageError);
    EXPECT_EQ(LastText(), "[news] - Cannot create folder: /ro/dir");
    EXPECT_EQ(sounds, (std::vector<int>{kSoundError2, kSoundError2, kSoundError2}));
}

TEST_F(JobEventTest, InformationLinesUseTheirForms) {
    settings.LogDetail = 1;
    Send(kEventResumed, 5'000'000'000, 6'000'000'000, "http://x/iso");
    EXPECT_EQ(R().filePos, 5'000'000'000u);
    EXPECT_EQ(LastText(), "[news] - http://x/iso File resumed from 5000000000");
    EXPECT_EQ(LastImage(), kLogResumed);
    Send(516, 12, 0, "index.html");
    EXPECT_EQ(LastText(), "[news] - index.html parsing html finished : 12");
    Send(517, 3, 0, "a.html");
    EXPECT_EQ(LastText(), "[news] - a.html - Replace performed : 3");
    Send(517, 3, 1, "a.html");
    EXPECT_EQ(LastText(), "[news] - a.html - (BanneRipper) Replace performed : 3");
    Send(517, 3, 7, "a.html");
    EXPECT_EQ(LastText(), "[news] - a.html - (SiteRipper) Replace performed : 3");
    Send(kEventCommandRun, -1);
    EXPECT_EQ(R().columns[kColumnStatus], "external command called");
    EXPECT_EQ(LastText(), "[news] - external command called -1");
    Send(523, 226, 0, "f.txt", "ftp.x");
    EXPECT_EQ(LastText(), "[news] - File uploaded successfully f.txt");
    Send(523, 550, 0, "f.txt", "denied");
    EXPECT_EQ(LastText(), "[news] - File upload error ! f.txt, denied");
    EXPECT_EQ(LastImage(), kLogError);
    Send(524, 0, 0, "site/");
    EXPECT_EQ(LastText(), "[news] - adjusting cross refs in (1) site/ ...");
    Send(931, 0, 0, "big.iso");
    EXPECT_EQ(LastText(), "[news] - File changed on server, distributed impossible big.iso");
    Send(kEventStubDeleted, 921, 0, "/tmp/x.html");
    EXPECT_EQ(LastText(), "[news] - File deleted as 404 stub : /tmp/x.html");
    EXPECT_EQ(LastImage(), kLogDeleted);
}

TEST_F(JobEventTest, LanguageTextReachesColumnAndLog) {
    SetMessageText(static_cast<int>(EventCode::JobFinished), "Fertig");
    Send(kEventJobFinished);
    EXPECT_EQ(R().columns[kColumnStatus], "Fertig");
    EXPECT_EQ(LastText(), "[news] - Fertig");
    ResetMessageTexts();
    Send(kEventJobFinished);
    EXPECT_EQ(LastText(), "[news] - Job finished");
}

}  // namespace
}  // namespace kov
