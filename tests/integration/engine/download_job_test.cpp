#include "engine/download_job.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <stdexcept>
#include <thread>

#include "engine/worker_pool.h"
#include "job_test_fixture.h"
#include "net/http/inet.h"
#include "platform/clock.h"
#include "platform/helper_threads.h"
#include "support/missing_server.h"
#include "support/suite_servers.h"

namespace kov {
namespace {

// The jobs' clock: Sunday 6 December 2026, noon.
const std::time_t kToday = MakeTime(CalendarTime{2026, 12, 6, 12, 0, 0});

class DownloadJobTest : public test::JobTest {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        const std::string error = servers.Start([](test::NginxServer& n) {
            for (int i : {1, 2, 3, 7})
                n.WriteFile("series/pic" + std::to_string(i) + ".jpg",
                            "picture " + std::to_string(i));
            n.WriteFile("daily/20261206.txt", "sunday");
            n.WriteFile("daily/20261205.txt", "saturday");
            n.WriteFile("daily/20261204.txt", "friday");
            n.WriteFile("files/a.txt", "hello");
            n.WriteFile("files/page.shtml", "<html>shtml</html>");
            n.WriteFile("files/run.sh", "#!/bin/sh\ntouch ran-by-script\n");
            n.WriteFile("files/broken.sh", "#!/no/such/interpreter\n");
        });
        ASSERT_TRUE(error.empty()) << error;
    }
    static void TearDownTestSuite() { servers.Stop(); }

    void SetUp() override {
        if (!servers.Ready()) KOV_SKIP_WITHOUT_SERVER() << "nginx or python3 is not installed";
        env->now = [] { return kToday; };
    }
    UrlItem Series(int first, int tolerance, int stop) const {
        UrlItem item = Item(servers.nginx->Url("/series/pic%u.jpg"));
        item.NumBased = 1;
        item.CurrentNum = first;
        item.Tolerance = tolerance;
        item.StopNumber = stop;
        return item;
    }

    static test::SuiteServers servers;
};

test::SuiteServers DownloadJobTest::servers;

TEST_F(DownloadJobTest, OneFileFetchedThenSkipped) {
    const UrlItem item = Item(servers.nginx->Url("/files/a.txt"));
    auto job = Run(item);
    EXPECT_EQ(events.Codes(), test::kOneFile);
    EXPECT_EQ(events.events[0].param1, 1);  // loopback is local
    EXPECT_EQ(events.Last(kEventJobFinished)->param1, 7);
    EXPECT_EQ(Slurp(Local("dl/a.txt")), "hello");
    EXPECT_EQ(job->Item().lastDL, kToday);
    Run(item);
    EXPECT_EQ(events.Last(kEventFileResult)->param1, kResultSkipped);

    // A plain address in a series item is fetched once; a page's .shtml name becomes .htm.
    UrlItem page = Item(servers.nginx->Url("/files/page.shtml"));
    page.NumBased = 1;
    page.days = 5;
    page.UpdateMode = kUpdateOverwrite;
    Run(page);
    EXPECT_EQ(events.Count(kEventFileResult), 1);
    EXPECT_EQ(Slurp(Local("dl/page.htm")), "<html>shtml</html>");

    // Local files are copied as a local job.
    ASSERT_TRUE(WriteFileAtomic(Local("one.txt"), "one", 0644));
    Run(Item("file://" + Local("*.txt"), "copies/"));
    EXPECT_EQ(Slurp(Local("copies/one.txt")), "one");
    EXPECT_EQ(events.Codes(), test::kOneFile);
    EXPECT_EQ(events.events[0].param1, 1);
}

// "Clear destination folder" empties the folder first, but not of a file another job of the
// session is writing there (one this process holds open): gone, it would be reported
// downloaded all the same.
TEST_F(DownloadJobTest, ClearingTheFolderSparesTheFilesOtherJobsAreWriting) {
    ASSERT_TRUE(CreateFolders(Local("dl/")));
    ASSERT_TRUE(WriteFileAtomic(Local("dl/old.txt"), "old", 0644));
    ASSERT_TRUE(WriteFileAtomic(Local("dl/busy.bin"), "part", 0644));
    const int busy = ::open(Local("dl/busy.bin").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    UrlItem item = Item(servers.nginx->Url("/files/a.txt"));
    item.ClearFolder = 1;
    Run(item);
    ::close(busy);
    EXPECT_FALSE(FileExists(Local("dl/old.txt")));
    EXPECT_EQ(Slurp(Local("dl/busy.bin")), "part");
    EXPECT_EQ(Slurp(Local("dl/a.txt")), "hello");
}

TEST_F(DownloadJobTest, AJobStoppedBeforeItStartsPostsOnlyItsCancellation) {
    Run(Item(servers.nginx->Url("/files/a.txt")), kStopAfterFile);
    EXPECT_EQ(events.Codes(), (std::vector<int>{kEventJobCancelled}));
    EXPECT_EQ(events.events[0].param1, 7);
}

// A DNS server that never answers the local-network test: "stop now" still ends the job.
TEST_F(DownloadJobTest, AStopEndsAJobWhoseHostLookupNeverAnswers) {
    std::atomic<bool> asked{false}, release{false};
    env->resolveHost = [&](const std::string&, HostAddresses& out) {
        asked = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        out.push_back({10, 0, 0, 1});
        return true;
    };
    env->lookupLimit = std::chrono::hours(1);  // only the stop can end the wait
    auto job = MakeJob(Item("http://dead-dns.test/a.txt"));
    auto run = std::async(std::launch::async, [&] { job->Run(); });
    while (!asked)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    job->stopRequest = kStopNow;
    const bool ended = run.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release = true;
    run.wait();
    EXPECT_TRUE(ended);
    EXPECT_EQ(events.Count(kEventConnecting), 0);
    EXPECT_EQ(events.events.front().param1, 0);  // not known to be local
    EXPECT_EQ(events.events.back().code, kEventJobAborted);
    EXPECT_EQ(JoinHelperThreads(std::chrono::seconds(20)), 0);
}

// Present on the server: 1, 2, 3 and 7.
TEST_F(DownloadJobTest, NumberSeriesToleratesGapsAndEndsAtItsStopNumber) {
    struct Case {
        int tolerance, stop;
        int advanced;   // series advances
        int endNumber;  // CurrentNum at the end
        bool gotSeven;
    } cases[] = {
        {2, 0, 3, 6, false},  // the third miss in a row (4, 5, 6) ends it
        {3, 0, 4, 11, true},  // the gap 4..6 is tolerated, 7 arrives, 8..11 end it
        {0, 2, 1, 2, false},  // 2 is the last number
        {3, 4, 3, 4, false},  // 4, the last number, is missing: no look beyond it
        {3, 5, 3, 5, false},  // 4 and 5 are missing: the series ends at its last number
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tolerance << "/" << c.stop);
        ::unlink(Local("dl/pic7.jpg").c_str());
        auto job = Run(Series(1, c.tolerance, c.stop));
        EXPECT_EQ(events.Count(kEventSeriesAdvanced), c.advanced);
        EXPECT_EQ(job->Item().CurrentNum, c.endNumber);
        EXPECT_EQ(FileExists(Local("dl/pic7.jpg")), c.gotSeven);
        EXPECT_EQ(events.Codes().back(), kEventJobFinished);
    }
    EXPECT_EQ(Slurp(Local("dl/pic3.jpg")), "picture 3");

    // A stored number at the top of its range ends the series there instead of overflowing.
    constexpr std::int32_t kTop = std::numeric_limits<std::int32_t>::max();
    auto job = Run(Series(kTop - 1, 5, 0));
    EXPECT_EQ(job->Item().CurrentNum, kTop);
    EXPECT_EQ(events.Count(kEventFileResult), 2);
    job = Run(Series(kTop - 1, 5, kTop));
    EXPECT_EQ(events.Count(kEventFileResult), 2);
}

TEST_F(DownloadJobTest, DateSeriesWalksBackUnlessUpdating) {
    UrlItem item = Item(servers.nginx->Url("/daily/%Y%M%D.txt"));
    item.days = 2;
    item.UpdateMode = kUpdateAuto;
    Run(item);
    EXPECT_EQ(events.Count(kEventFileStarted), 1);  // update mode: only the first day
    EXPECT_EQ(Slurp(Local("dl/20261206.txt")), "sunday");
    item.UpdateMode = kUpdateOverwrite;
    Run(item);
    EXPECT_EQ(events.Count(kEventFileStarted), 3);
    EXPECT_EQ(Slurp(Local("dl/20261204.txt")), "friday");
    item.dayShift = 1;
    item.UpdateMode = kUpdateSkip;
    item.days = 0;
    Run(item);
    EXPECT_EQ(events.Last(kEventFileResult)->param1, kResultSkipped);
    EXPECT_EQ(events.Last(kEventFileStarted), nullptr);
}

TEST_F(DownloadJobTest, CommandsRunPerFileOrOnceAtTheEnd) {
    UrlItem item = Series(1, 0, 3);
    item.Cmd = "echo %N >> " + Local("per-file.log");
    Run(item);
    EXPECT_EQ(events.Count(kEventCommandRun), 3);
    EXPECT_NE(Slurp(Local("per-file.log")).find("pic3.jpg"), std::string::npos);

    item = Item(servers.nginx->Url("/files/a.txt"), "once/");
    item.Cmd = "touch " + Local("ran-once") + "; exit 3";
    Run(item);
    ASSERT_EQ(events.Count(kEventCommandRun), 1);
    EXPECT_EQ(events.Last(kEventCommandRun)->param1, 0);  // it ran; its status is kept for the log
    EXPECT_EQ(events.Last(kEventCommandRun)->param2, 3);
    EXPECT_TRUE(FileExists(Local("ran-once")));
}

TEST_F(DownloadJobTest, MailItemRunsItsCommandOnlyWhileAllowed) {
    for (const int allowed : {0, 1}) {
        SCOPED_TRACE(allowed);
        settings.email.QueryAllowCommand = allowed;
        ::unlink(Local("mail-ran").c_str());
        UrlItem item =
            Item(servers.nginx->Url("/files/a.txt"), "mail" + std::to_string(allowed) + "/");
        item.CEType = 10;  // given a command after it arrived
        item.Cmd = "touch " + Local("mail-ran");
        Run(item);
        EXPECT_EQ(FileExists(Local("mail-ran")), allowed == 1);
    }
}

TEST_F(DownloadJobTest, StarFormRunsTheDeliveredFileAndKeepsOneThatCannotRun) {
    using Status = std::pair<std::int64_t, std::int64_t>;
    for (const char* cmd : {"*", "*%N"}) {
        SCOPED_TRACE(cmd);
        ::unlink(Local("dl/ran-by-script").c_str());
        // The command's result and exit status, or -1 when it did not run.
        const auto run = [&](const std::string& file) {
            UrlItem item = Item(servers.nginx->Url("/files/" + file));
            item.Cmd = cmd;
            item.UpdateMode = kUpdateOverwrite;
            Run(item);
            const JobEvent* e = events.Last(kEventCommandRun);
            return e ? Status{e->param1, e->param2} : Status{-1, -1};
        };
        EXPECT_EQ(run("run.sh"), Status(0, 0));
        EXPECT_TRUE(FileExists(Local("dl/ran-by-script")));  // run in the file's folder
        EXPECT_FALSE(FileExists(Local("dl/run.sh")));
        const auto status = run("broken.sh").second;
        EXPECT_TRUE(status == 126 || status == 127) << status;  // "cannot execute" or "not found"
        EXPECT_TRUE(FileExists(Local("dl/broken.sh")));
    }
}

TEST_F(DownloadJobTest, TrafficLimitReachedAtTheStartFetchesAndRunsNothing) {
    // A documentation address: not local, so the limit applies, and never reached.
    UrlItem item = Item("http://192.0.2.1/files/a.txt");
    item.Cmd = "touch " + Local("ran");
    env->limitReached = [] { return true; };
    Run(item);
    ASSERT_EQ(events.Codes(), test::kNoFile);
    EXPECT_EQ(events.Last(kEventFileResult)->param1, kResultLimit);
    EXPECT_FALSE(FileExists(Local("ran")));
}

TEST_F(DownloadJobTest, AJobThatThrowsStillEndsAndSaysWhy) {
    struct ThrowingPages : PageProcessor {
        void ProcessPage(DownloadJob&, const std::string&, const std::string&,
                         ResourceInfo&) override {
            throw std::runtime_error("parser broke");
        }
    } pages;
    env->pages = &pages;
    {
        WorkerPool pool;
        pool.Enqueue(MakeJob(Item(servers.faults->Url("/html?size=300&text=x"))));
        pool.WaitIdle();
        EXPECT_EQ(pool.FailedJobCount(), 1u);
    }
    const std::vector<int> codes = events.Codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes.back(),
              kEventJobAborted);  // not finished: the item is not marked as downloaded
    const JobEvent* failed = events.Last(kEventFileResult);
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->param1, kResultClientError);
    EXPECT_NE(failed->text1.find("parser broke"), std::string::npos);
}

TEST_F(DownloadJobTest, APartDefinitionOutsideItsFileIsNotFetched) {
    struct Part {
        std::int32_t count, number;
        std::int64_t size;
    } parts[] = {{2, 3, 500}, {3, 3, std::numeric_limits<std::int64_t>::max() / 2}, {2, 1, -1}};
    for (const Part& part : parts) {
        UrlItem item = Item(servers.nginx->Url("/files/a.txt"), "parts/a.txt");
        item.DstDlActive = 1;
        item.DstDlFileSize = 1000;
        item.DstDlPartCount = part.count;
        item.DstDlPartNo = part.number;
        item.DstDlPartSize = part.size;
        Run(item);
        EXPECT_EQ(events.Codes(), test::kNoFile) << part.number;
        EXPECT_FALSE(FileExists(Local("parts/a.txt")));
    }
}

// A portion the server cannot serve says why (930, 931) before its result.
TEST_F(DownloadJobTest, ARefusedPortionTellsWhy) {
    const struct {
        std::string url;
        int event;
    } cases[] = {
        {servers.nginx->Url("/files/a.txt"), kEventDistrFileChanged},  // 5 bytes, not 1000
        {servers.faults->Url("/nolength?size=1000"), kEventDistrNoResume},
    };
    for (const auto& c : cases) {
        UrlItem item = Item(c.url, "parts/a.txt");
        item.DstDlActive = 1;
        item.DstDlFileSize = 1000;
        item.DstDlPartCount = 2;
        item.DstDlPartNo = 1;
        item.DstDlPartSize = 500;
        Run(item);
        const std::vector<int> expected = {kEventJobStarted, kEventConnecting, c.event,
                                           kEventFileResult, kEventJobFinished};
        EXPECT_EQ(events.Codes(), expected) << c.url;
        ASSERT_NE(events.Last(c.event), nullptr);
        EXPECT_EQ(events.Last(c.event)->text1, c.url);
        EXPECT_EQ(events.Last(kEventFileResult)->param1,
                  c.event == kEventDistrNoResume ? kResultNoPartSize : kResultPartChanged);
    }
}

TEST_F(DownloadJobTest, HttpsIsRefusedWhenSwitchedOffAndLongTextsAreDropped) {
    settings.EnableHttps = 0;
    for (const char* url : {"https://127.0.0.1:1/x", "gopher://127.0.0.1/x", "no address"}) {
        Run(Item(url));
        EXPECT_EQ(events.Codes(), (std::vector<int>{kEventJobStarted, kEventConnecting,
                                                    kEventFileResult, kEventJobFinished}))
            << url;
        EXPECT_EQ(events.Last(kEventFileResult)->param1, kResultNotHttp);
        EXPECT_EQ(events.Last(kEventJobFinished)->param2, 0);  // nothing fetched
    }

    Run(Item(servers.nginx->Url("/files/a.txt?" + std::string(420, 'q')), "long/x.txt"));
    const JobEvent* started = events.Last(kEventFileStarted);
    ASSERT_NE(started, nullptr);
    EXPECT_TRUE(started->text1.empty());  // 400 bytes or more: dropped, not cut
    EXPECT_FALSE(started->text2.empty());
}

TEST_F(DownloadJobTest, FailuresCarryTheirCause) {
    ASSERT_TRUE(WriteFileAtomic(Local("plain"), "a file, not a folder", 0644));
    UrlItem full = Item(servers.nginx->Url("/files/a.txt"));
    full.Dest = "/dev/full";  // every write fails as on a full disk
    struct Case {
        UrlItem item;
        int code;
        std::string cause;  // how it begins
    };
    const Case cases[] = {
        {Item(servers.nginx->Url("/files/none.txt")), kEventFileResult, "404 Not Found"},
        {Item("http://127.0.0.1:1/x"), kEventFileResult, "Failed to connect to 127.0.0.1 port 1"},
        {Item("file://" + Local("none.txt")), kEventFileResult, "No such file or directory"},
        {full, kEventFileResult, "No space left on device"},
        {Item(servers.nginx->Url("/files/a.txt"), "plain/sub/"), kEventMkDirError,
         "Not a directory"},
        {Item("gopher://127.0.0.1/x"), kEventFileResult, "unsupported address"},
    };
    for (const Case& c : cases) {
        Run(c.item);
        const JobEvent* failed = events.Last(c.code);
        ASSERT_NE(failed, nullptr) << c.item.Url;
        EXPECT_EQ(failed->cause.substr(0, c.cause.size()), c.cause)
            << c.item.Url << " " << failed->param1;
    }
    // A success leaves no cause behind.
    Run(Item(servers.nginx->Url("/files/a.txt"), "fresh/"));
    EXPECT_EQ(events.Last(kEventFileResult)->cause, "");
}

}  // namespace
}  // namespace kov
