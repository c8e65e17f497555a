#include "engine/download_job.h"

#include <gtest/gtest.h>

#include <thread>

#include "net/inet.h"
#include "net/traffic_meter.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "support/recording_job_sink.h"
#include "support/recording_prompter.h"
#include "support/suite_servers.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

std::time_t Day(int y, int m, int d) {
    CalendarTime c;
    c.year = y;
    c.month = m;
    c.day = d;
    c.hour = 12;
    return MakeTime(c);
}

class DownloadJobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        const std::string error = servers.Start([](test::NginxServer& n) {
            for (int i = 1; i <= 3; ++i) {
                n.WriteFile("series/pic" + std::to_string(i) + ".jpg",
                            "picture " + std::to_string(i));
            }
            n.WriteFile("series/pic7.jpg", "picture 7");
            n.WriteFile("daily/20261206.txt", "sunday");
            n.WriteFile("daily/20261205.txt", "saturday");
            n.WriteFile("daily/20261204.txt", "friday");
            n.WriteFile("files/a.txt", "hello");
            n.WriteFile("files/page.shtml", "<html>shtml</html>");
        });
        ASSERT_TRUE(error.empty()) << error;
    }
    static void TearDownTestSuite() { servers.Stop(); }

    void SetUp() override {
        if (!servers.Ready()) GTEST_SKIP() << "nginx or python3 is not installed";
        env = std::make_shared<JobEnvironment>();
        env->settings = &settings;
        env->macros.appFolder = dir.path() + "/";
        env->macros.appDrive = "/";
        env->meter = &meter;
        env->sink = &events;
        env->prompter = &prompter;
        env->now = [] { return Day(2026, 12, 6); };
        env->retryWait = std::chrono::milliseconds(1);
        env->startWait = std::chrono::milliseconds(0);
        env->endWait = std::chrono::milliseconds(0);
        settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback tests
    }

    UrlItem Item(const std::string& url, const std::string& dest = "dl/") {
        UrlItem item = FreshItem();
        item.Name = "test";
        item.Url = url;
        item.Dest = dir.path() + "/" + dest;
        return item;
    }
    std::unique_ptr<DownloadJob> Run(const UrlItem& item, int presetStop = 0) {
        events.events.clear();
        auto job = std::make_unique<DownloadJob>(item, 42, 7, env);
        job->stopRequest = presetStop;
        job->Run();
        return job;
    }
    std::string Local(const std::string& name) const { return dir.path() + "/" + name; }
    static std::string Slurp(const std::string& path) { return ReadFile(path).value_or("<none>"); }

    static test::SuiteServers servers;
    test::TempDir dir;
    AppSettings settings;
    TrafficMeter meter;
    test::RecordingJobSink events;
    test::RecordingPrompter prompter;
    std::shared_ptr<JobEnvironment> env;
};

test::SuiteServers DownloadJobTest::servers;

TEST_F(DownloadJobTest, PlainFetchThenSkip) {
    const UrlItem item = Item(servers.nginx->Url("/files/a.txt"));
    auto job = Run(item);
    EXPECT_EQ(events.Codes(), (std::vector<int>{501, 502, 503, 506, 512}));
    EXPECT_EQ(events.events[0].param1, 1);  // loopback is local
    EXPECT_EQ(events.Last(512)->param1, 7);
    EXPECT_EQ(events.Last(512)->ownerKey, 42u);
    EXPECT_EQ(Slurp(Local("dl/a.txt")), "hello");
    EXPECT_EQ(job->Item().lastDL, Day(2026, 12, 6));
    Run(item);
    EXPECT_EQ(events.Last(506)->param1, kResultSkipped);
}

TEST_F(DownloadJobTest, StubAndRefusedTypeAndResume) {
    UrlItem item = Item(servers.faults->Url("/html?size=3000&text=Not%20Found"));
    item.nfString = "not found";
    Run(item);
    EXPECT_EQ(events.Last(506)->param1, kResultStub);
    EXPECT_EQ(events.Count(527), 1);

    item = Item(servers.faults->Url("/html?size=300&text=x"));
    item.ConType = 2;
    Run(item);
    EXPECT_EQ(events.Last(506)->param1, kResultWrongType);

    item = Item(servers.faults->Url("/range?size=20000"), "dl/part.bin");
    ASSERT_TRUE(CreateFolders(Local("dl")));
    ASSERT_TRUE(WriteFileAtomic(Local("dl/part.bin"), test::FaultBody(0, 5000), 0644));
    SetFileTimes(Local("dl/part.bin"), 784111776, 784111776);
    Run(item);
    ASSERT_NE(events.Last(505), nullptr);
    EXPECT_EQ(events.Last(505)->param1, 5000);
    EXPECT_EQ(Slurp(Local("dl/part.bin")), test::FaultBody(0, 20000));
}

TEST_F(DownloadJobTest, BrokenTransferIsTriedFiveMoreTimes) {
    Run(Item(servers.faults->Url("/short?size=50000&got=100&lm=0")));
    EXPECT_EQ(events.Count(929), 5);
    EXPECT_EQ(events.Count(508), 5);
    EXPECT_EQ(events.Count(506), 6);
    EXPECT_EQ(events.Last(506)->param1, kResultBroken);
    EXPECT_EQ(events.Codes().back(), 512);
}

TEST_F(DownloadJobTest, StopsBeforeAndDuringTheTransfer) {
    Run(Item(servers.nginx->Url("/files/a.txt")), 1);
    EXPECT_EQ(events.Codes(), (std::vector<int>{511}));
    EXPECT_EQ(events.events[0].param1, 7);

    auto job = std::make_unique<DownloadJob>(
        Item(servers.faults->Url("/drip?size=1000000&rate=50000")), 1, 3, env);
    events.events.clear();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        job->stopRequest = 2;
    });
    job->Run();
    stopper.join();
    EXPECT_EQ(events.Last(506)->param1, kResultStopped);
    EXPECT_EQ(events.Codes().back(), 510);
}

TEST_F(DownloadJobTest, NumberSeriesToleratesGapsAndStops) {
    UrlItem item = Item(servers.nginx->Url("/series/pic%u.jpg"));
    item.NumBased = 1;
    item.CurrentNum = 1;
    item.Tolerance = 2;
    auto job = Run(item);
    // 1..3 arrive, 4..6 are missing: the third miss in a row ends the series.
    EXPECT_EQ(events.Count(528), 3);
    EXPECT_EQ(Slurp(Local("dl/pic3.jpg")), "picture 3");
    EXPECT_FALSE(FileExists(Local("dl/pic7.jpg")));
    EXPECT_EQ(job->Item().CurrentNum, 6);

    item.Tolerance = 3;  // now the gap 4..6 is tolerated and 7 arrives
    job = Run(item);
    EXPECT_EQ(Slurp(Local("dl/pic7.jpg")), "picture 7");

    item.Tolerance = 0;
    item.StopNumber = 2;
    job = Run(item);
    EXPECT_EQ(events.Count(528), 1);
    EXPECT_EQ(job->Item().CurrentNum, 2);
}

TEST_F(DownloadJobTest, DateSeriesWalksBackUnlessUpdating) {
    UrlItem item = Item(servers.nginx->Url("/daily/%Y%M%D.txt"));
    item.days = 2;
    item.UpdateMode = kUpdateAuto;
    Run(item);
    EXPECT_EQ(events.Count(503), 1);  // update mode: only the first day
    EXPECT_EQ(Slurp(Local("dl/20261206.txt")), "sunday");
    item.UpdateMode = kUpdateOverwrite;
    Run(item);
    EXPECT_EQ(events.Count(503), 3);
    EXPECT_EQ(Slurp(Local("dl/20261204.txt")), "friday");
    item.dayShift = 1;
    item.UpdateMode = kUpdateSkip;
    item.days = 0;
    Run(item);
    EXPECT_EQ(events.Last(506)->param1, kResultSkipped);
    EXPECT_EQ(events.Last(503), nullptr);
}

TEST_F(DownloadJobTest, PlainAddressIsFetchedOnceAndShtmlBecomesHtm) {
    UrlItem item = Item(servers.nginx->Url("/files/page.shtml"));
    item.NumBased = 1;
    item.days = 5;
    item.UpdateMode = kUpdateOverwrite;
    Run(item);
    EXPECT_EQ(events.Count(506), 1);
    EXPECT_EQ(Slurp(Local("dl/page.htm")), "<html>shtml</html>");
}

TEST_F(DownloadJobTest, LocalFilesAreCopied) {
    ASSERT_TRUE(CreateFolders(Local("src")));
    ASSERT_TRUE(WriteFileAtomic(Local("src/one.txt"), "one", 0644));
    ASSERT_TRUE(WriteFileAtomic(Local("src/two.txt"), "two", 0644));
    ASSERT_TRUE(WriteFileAtomic(Local("src/skip.dat"), "x", 0644));
    Run(Item("file://" + Local("src/*.txt"), "copies/"));
    EXPECT_EQ(Slurp(Local("copies/one.txt")), "one");
    EXPECT_EQ(Slurp(Local("copies/two.txt")), "two");
    EXPECT_FALSE(FileExists(Local("copies/skip.dat")));
    EXPECT_EQ(events.events[0].param1, 1);
    EXPECT_EQ(events.Codes().back(), 512);
}

TEST_F(DownloadJobTest, CommandsRunPerFileOrOnceAtTheEnd) {
    UrlItem item = Item(servers.nginx->Url("/series/pic%u.jpg"));
    item.NumBased = 1;
    item.CurrentNum = 1;
    item.StopNumber = 3;
    item.Cmd = "echo %N >> " + Local("per-file.log");
    Run(item);
    EXPECT_EQ(events.Count(520), 3);
    EXPECT_NE(Slurp(Local("per-file.log")).find("pic3.jpg"), std::string::npos);

    item = Item(servers.nginx->Url("/files/a.txt"), "once/");
    item.Cmd = "touch " + Local("ran-once");
    Run(item);
    EXPECT_EQ(events.Count(520), 1);
    EXPECT_TRUE(FileExists(Local("ran-once")));
}

TEST_F(DownloadJobTest, HttpsIsRefusedWhenSwitchedOff) {
    settings.EnableHttps = 0;
    Run(Item("https://127.0.0.1:1/x"));
    EXPECT_EQ(events.Codes(), (std::vector<int>{501, 502, 512}));
}

TEST_F(DownloadJobTest, LongEventTextsAreDropped) {
    UrlItem item = Item(servers.nginx->Url("/files/a.txt?" + std::string(420, 'q')), "long/x.txt");
    Run(item);
    const JobEvent* started = events.Last(503);
    ASSERT_NE(started, nullptr);
    EXPECT_TRUE(started->text1.empty());  // 400 bytes or more: dropped, not cut
    EXPECT_FALSE(started->text2.empty());
}

}  // namespace
}  // namespace kov
