#include "session/job_event_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/language/message_table.h"
#include "net/transfer/transfer_events.h"
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
                      std::string t2 = {}, std::string cause = {}) {
        JobEvent e;
        e.cause = std::move(cause);
        e.code = code;
        e.ownerKey = id;
        e.param1 = p1;
        e.param2 = p2;
        e.text1 = std::move(t1);
        e.text2 = std::move(t2);
        e.internet = 1;
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
    std::vector<int> sounds;
    std::time_t clock = 1'000'000;
    RowId edited = 0;
    EventContext context;
    RowId id = 0;
};

TEST_F(JobEventTest, JobStateCodesChangeTheRowAndAskForARecount) {
    struct Case {
        int code;
        std::int64_t param1;
        RunState state;
        int image;
        std::string status;  // also the log line after the name
    };
    const std::vector<Case> cases = {
        {kEventAddedToQueue, 0, RunState::None, kImageQueued, "added to queue"},
        {kEventJobStarted, 1, RunState::Running, kImageLocalJob, "download Started"},
        {kEventJobStarted, 0, RunState::Running, kImageRunning, "download Started"},
        {kEventJobAborted, 0, RunState::Aborted, kImageAborted, "job aborted by user"},
        {kEventJobCancelled, 0, RunState::Cancelled, kImageAborted, "job cancelled before start"},
        {kEventJobFinished, 0, RunState::Finished, kImageFinished, "Job finished"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        R().jobBytes = 9;
        Send(kEventFileStarted, 10, 0, "http://example.org/b.png", "/tmp/b.png");
        rows.SetModified(false);
        ++clock;
        EXPECT_EQ(Send(c.code, c.param1, 1), EventOutcome::Recount);
        EXPECT_EQ(R().runState, c.state);
        EXPECT_EQ(R().image, c.image);
        EXPECT_EQ(R().columns[kColumnStatus], c.status);
        EXPECT_EQ(LastText(), "[news] - " + c.status);
        // A job that ended shows the item's own place again.
        const bool ended = c.code == kEventJobAborted || c.code == kEventJobCancelled ||
                           c.code == kEventJobFinished;
        EXPECT_EQ(R().columns[kColumnUrl],
                  ended ? "http://example.org/a.html" : "http://example.org/b.png");
        EXPECT_EQ(rows.Modified(), c.code == kEventJobFinished);
    }
    EXPECT_EQ(R().item.lastDL, clock);   // the finish came last
    EXPECT_EQ(R().jobStart, clock - 3);  // the last start, three events before
    // A job that fetched nothing (param2 0) leaves the date alone: the next session tries again.
    ++clock;
    Send(kEventJobFinished, 0, 0);
    EXPECT_EQ(R().item.lastDL, clock - 1);
    // Codes without a meaning change nothing.
    const auto before = R().columns;
    const auto lines = log.Count();
    for (int code : {507, 509, 514, 525, int{kEventFtpResumeRefused}, 9999})
        EXPECT_EQ(Send(code, 1, 1, "x", "y"), EventOutcome::None);
    EXPECT_EQ(R().columns, before);
    EXPECT_EQ(log.Count(), lines);
    // The language's text reaches column and log.
    SetMessageText(static_cast<int>(EventCode::JobFinished), "Fertig");
    Send(kEventJobFinished);
    EXPECT_EQ(R().columns[kColumnStatus], "Fertig");
    EXPECT_EQ(LastText(), "[news] - Fertig");
}

TEST_F(JobEventTest, ProgressFillsTheColumnsAndTheSessionTotal) {
    Send(kEventJobStarted);
    Send(kEventFileStarted, 1'000'000, 0, "http://example.org/big.zip", "/tmp/big.zip");
    EXPECT_EQ(R().columns[kColumnDest], "/tmp/big.zip");
    EXPECT_EQ(LastText(), "[news] - Downloading file started http://example.org/big.zip");

    Send(kEventBlock, 1000);
    EXPECT_EQ(R().columns[kColumnStatus], "1,000 / 976 Kb");
    EXPECT_EQ(R().columns[kColumnTimePassed], "00:00:00");
    EXPECT_EQ(R().columns[kColumnSpeed], "");  // no whole second yet

    clock += 2;
    Send(kEventBlock, 9000);
    EXPECT_EQ(R().columns[kColumnStatus], "10,000 / 976 Kb");
    EXPECT_EQ(R().columns[kColumnTimePassed], "00:00:02");
    EXPECT_EQ(R().columns[kColumnSpeed], "4.88 KB/sec");
    EXPECT_EQ(R().columns[kColumnTimeRest], "00:03:18");  // 990000 / 5000

    // Hours and a linked-document loop.
    clock += 3600;
    JobEvent next;
    next.code = kEventFileStarted;
    next.ownerKey = id;
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
    EXPECT_EQ(stats.sessionBytes, 610'500.0);

    // 506 empties the speed column only.
    Send(kEventFileResult, 0, 0, "u", "p");
    EXPECT_EQ(R().columns[kColumnSpeed], "");
    EXPECT_FALSE(R().columns[kColumnTimePassed].empty());
}

TEST_F(JobEventTest, LogDetailDecidesWhichLinesAreWritten) {
    Send(kEventFileResult, 777, 13, "http://x/a", "/tmp/a.html");
    EXPECT_EQ(Texts().front(), "[news] - http://x/a => /tmp/a.html result code: 777 subcode:13");
    EXPECT_EQ(log.Lines().front().image, kLogSuccess);
    log.Clear();
    settings.LogDetail = 1;
    Send(kEventAddedToQueue);
    Send(kEventJobStarted);  // detail 2
    Send(kEventJobAborted);  // detail 2
    Send(kEventRetry);
    Send(kEventLinksStarted, 0, 0, "page");  // always
    Send(kEventFileResult, 0, 0, "u", "p");  // the result line always, its detail at 2
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{
                  "[news] - added to queue", "[news] - resuming after timeout",
                  "[news] - page - gathering linked docs ...", "[news] - File download OK p"}));
    settings.LogDetail = 0;
    log.Clear();
    Send(kEventAddedToQueue);
    Send(kEventJobFinished);
    Send(kEventMessage, 1, 0, "diag");
    EXPECT_EQ(Texts(), std::vector<std::string>{"[news] - diag, code:1"});
    EXPECT_EQ(R().image, kImageFinished);  // the row changes whatever the detail
}

TEST_F(JobEventTest, OnceOnlyItemsAreDisabledOrDeletedWhenDone) {
    R().item.interval = -1;
    settings.NotNeededAction = 1;
    Send(kEventJobFinished);  // nothing received: stays enabled
    EXPECT_EQ(R().item.Disabled, 0);

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
    EXPECT_EQ(rows.Count(), 0u);
    EXPECT_EQ(Texts(), std::vector<std::string>{"[upd] - Job finished"});
}

TEST_F(JobEventTest, EventsForADeletedRowOnlyCountBytes) {
    rows.Remove({id});
    for (int code : {kEventAddedToQueue, kEventJobStarted, kEventFileStarted, kEventResumed,
                     kEventFileResult, kEventRetry, kEventJobAborted, kEventCommandRun,
                     kEventMessage, kEventSeriesAdvanced, kEventConnectionError, kEventMkDirError})
        Send(code, 5, 5, "a", "b");
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_TRUE(sounds.empty());
    EXPECT_FALSE(rows.Modified());
    EXPECT_EQ(Send(kEventJobFinished), EventOutcome::Recount);  // the session may end now

    Send(kEventBlock, 700);
    EXPECT_EQ(stats.sessionBytes, 700.0);

    Send(kEventMailSent, 1, 0, "me@example.org");
    Send(kEventMailSent, 0, 0, "you@example.org", {}, "535:SMTP authentication failed");
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Notification sending to me@example.org : OK",
                                        "Notification sending to you@example.org : ERROR (535:SMTP "
                                        "authentication failed)"}));
    EXPECT_EQ(LastImage(), kLogMail);
}

TEST_F(JobEventTest, EachEventWritesItsLineAndFailuresMarkTheRow) {
    struct Case {
        int code;
        std::int64_t p1, p2;
        std::string t1, t2, line;
        int image;
        bool rowError = false, sound = false;
        std::string cause = {};
    };
    const std::string u = "http://x/a", p = "/tmp/a.html";
    const std::vector<Case> cases = {
        {kEventFileResult, kResultStub, 0, u, p, "[news] - File deleted as 404 stub : " + p,
         kLogSuccess},
        {kEventFileResult, kResultWriteError, 0, u, p, "[news] - Write file error : " + p,
         kLogError, true, true},
        {kEventFileResult, kResultLimit, 0, u, p, "[news] - Stopped due to limit exceed",
         kLogStopped},
        {kEventFileResult, kResultDiskFull, 28, u, p,
         "[news] - No disc space : " + p + " (No space left on device)", kLogError, true, true,
         "No space left on device"},
        {kEventFileResult, kResultRefused, 404, u, p,
         "[news] - Open resource error : " + u + " (404 Not Found)", kLogError, true, false,
         "404 Not Found"},
        {kEventFileResult, kResultSkipped, 0, u, p, "[news] - File skipped (already exists) : " + p,
         kLogSuccess, false, false, "stale"},
        {kEventFileResult, 777, 13, u, p, "[news] - Download error : " + u + ", code: 777 / 13",
         kLogError, true, true},
        // The user's own banned words refused it: information, no failure.
        {kEventFileResult, kResultBanned, 0, u, p,
         "[news] - Download error : " + u + ", code: 925 / 0", kLogInfo},
        {kEventConnectionError, 2, 530, "login refused", "",
         "[news] - Error connecting to host: 2/530, (login refused)", kLogError, true},
        {kEventFtpNoFolder, 0, 0, "/pub/x", "",
         "[news] - No such Ftp folder: /pub/x (550 No such directory)", kLogError, true, true,
         "550 No such directory"},
        {kEventFtpNotRetrieved, 0, 0, "f.zip", "", "[news] - Ftp file open Error: f.zip", kLogError,
         true, true},
        {kEventMkDirError, 0, 0, "/ro", "",
         "[news] - Cannot create folder: /ro (Permission denied)", kLogError, true, true,
         "Permission denied"},
        {kEventResumed, 5'000'000'000, 6'000'000'000, "http://x/iso", "",
         "[news] - http://x/iso File resumed from 5000000000", kLogResumed, false},
        {kEventParseFinished, 12, 0, "index.html", "",
         "[news] - index.html parsing html finished : 12", kLogInfo, false},
        {kEventReplaceDone, 3, 0, "a.html", "", "[news] - a.html - Replace performed : 3", kLogInfo,
         false},
        {kEventReplaceDone, 3, 1, "a.html", "",
         "[news] - a.html - (BanneRipper) Replace performed : 3", kLogInfo, false},
        {kEventReplaceDone, 3, 7, "a.html", "",
         "[news] - a.html - (SiteRipper) Replace performed : 3", kLogInfo, false},
        {kEventCommandRun, -1, 0, "", "", "[news] - external command called -1", kLogSuccess,
         false},
        {kEventUploadEnded, 226, 0, "f.txt", "ftp.x", "[news] - File uploaded successfully f.txt",
         kLogInfo, false},
        {kEventUploadEnded, 550, 0, "f.txt", "denied", "[news] - File upload error ! f.txt, denied",
         kLogError, false},
        {kEventCrossRefs, 0, 0, "site/", "", "[news] - adjusting cross refs in (1) site/ ...",
         kLogSuccess, false},
        {kEventDistrFileChanged, 0, 0, "big.iso", "",
         "[news] - File changed on server, distributed impossible big.iso", kLogError, false},
        {kEventStubDeleted, kResultStub, 0, "/tmp/x.html", "",
         "[news] - File deleted as 404 stub : /tmp/x.html", kLogDeleted, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        R().image = kImageRunning;
        sounds.clear();
        Send(c.code, c.p1, c.p2, c.t1, c.t2, c.cause);
        EXPECT_EQ(LastText(), c.line);
        EXPECT_EQ(LastImage(), c.image);
        EXPECT_EQ(R().image, c.rowError ? kImageError : kImageRunning);
        EXPECT_EQ(sounds, c.sound ? std::vector<int>{kSoundError2} : std::vector<int>{});
    }
    EXPECT_EQ(R().filePos, 5'000'000'000u);
    // The job of a failed file ends as an error: the row must not look like a success.
    Send(kEventFileResult, kResultRefused, 404, u, p);
    Send(kEventJobFinished, 0, 0);
    EXPECT_EQ(R().image, kImageError);
    EXPECT_EQ(R().columns[kColumnStatus], "Error");

    // A number series that runs into a missing number (within Tolerance or at its end) says so
    // as information; the same miss of a single file, or a server fault, is a failure.
    struct SeriesCase {
        std::int64_t result, status;
        int image;
    };
    R().item.NumBased = 1;
    for (const SeriesCase& c : std::vector<SeriesCase>{{kResultRefused, 404, kLogInfo},
                                                       {kResultRefused, 410, kLogInfo},
                                                       {kResultFtpNoEntry, 550, kLogInfo},
                                                       {kResultRefused, 500, kLogError},
                                                       {kResultNoConnection, 0, kLogError}}) {
        SCOPED_TRACE(c.status);
        R().image = kImageRunning;
        sounds.clear();
        Send(kEventFileResult, c.result, c.status, u, p);
        EXPECT_EQ(LastImage(), c.image);
        EXPECT_EQ(R().image, c.image == kLogInfo ? kImageRunning : kImageError);
    }
    R().item.NumBased = 0;

    // A refused portion: its event says why, its result only marks the row.
    settings.LogDetail = 1;
    const std::size_t before = log.Lines().size();
    R().image = kImageRunning;
    sounds.clear();
    Send(kEventDistrNoResume, 0, 0, u, p);
    Send(kEventFileResult, kResultNoPartSize, 200, u, p);
    EXPECT_EQ(Texts().size(), before + 1);
    EXPECT_EQ(LastText(), "[news] - Partial download unavailable, distributed impossible " + u);
    EXPECT_EQ(R().image, kImageError);
    EXPECT_EQ(sounds, std::vector<int>{kSoundError2});

    rows.SetModified(false);
    EXPECT_EQ(Send(kEventSeriesAdvanced, 42), EventOutcome::None);
    EXPECT_EQ(R().item.CurrentNum, 42);
    EXPECT_TRUE(rows.Modified());
}

}  // namespace
}  // namespace kov
