#include "net/http_transfer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "net/inet.h"
#include "net/resource_prober.h"
#include "net/traffic_meter.h"
#include "platform/file_util.h"
#include "support/recording_prompter.h"
#include "support/recording_sink.h"
#include "support/suite_servers.h"
#include "support/temp_dir.h"
#include "support/tinyproxy_server.h"

namespace kov {
namespace {

std::string Pattern(std::size_t size, char seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(seed + i * 31 % 251);
    return s;
}

std::string Slurp(const std::string& path) {
    return ReadFile(path).value_or("<missing>");
}

// nginx and the fault server for the whole suite, plus a fresh job and folder per test.
class HttpTransferTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        const std::string error = servers.Start([](test::NginxServer& n) {
            n.WriteFile("files/big.bin", Pattern(300000, 'a'));
            n.WriteFile("files/page.html", "<html><body>" + std::string(20000, 'x') +
                                               "Sorry, NOT found" + std::string(100, 'y') +
                                               "</body></html>");
            n.WriteFile("files/a.txt", "hello");
        });
        ASSERT_TRUE(error.empty()) << error;
    }
    static void TearDownTestSuite() { servers.Stop(); }

    void SetUp() override {
        if (!servers.Ready()) GTEST_SKIP() << "nginx or python3 is not installed";
        session = InternetSession::Create("kov-test", AccessType::Direct);
        ASSERT_TRUE(session);
        job.session = session.get();
        job.sink = &sink;
        job.meter = &meter;
        job.prompter = &prompter;
        job.stopRequest = &stop;
    }

    int Fetch(const std::string& url, std::string& path, int conType = 0, int nfsize = 0,
              const std::string& nfString = {}, ResourceInfo* info = nullptr) {
        sink.events.clear();
        return FetchHttp(url, path, conType, nfsize, nfString, info, job);
    }
    std::string Local(const std::string& name) const { return dir.File(name); }
    static std::time_t ServerTime(const std::string& path) {
        return LastWriteTime(servers.nginx->DocRoot() + "/" + path).value_or(0);
    }

    static test::SuiteServers servers;
    test::TempDir dir;
    test::RecordingSink sink;
    test::RecordingPrompter prompter;
    TrafficMeter meter;
    std::atomic<int> stop{0};
    std::unique_ptr<InternetSession> session;
    HttpFetchJob job;
};

test::SuiteServers HttpTransferTest::servers;

TEST_F(HttpTransferTest, PlainFetchWritesTheFileWithTheServersTime) {
    std::string path = Local("big.bin");
    ResourceInfo info;
    ASSERT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path, 0, 0, {}, &info), kResultOk);
    EXPECT_EQ(Slurp(path), Pattern(300000, 'a'));
    EXPECT_EQ(info.size, 300000u);
    EXPECT_EQ(LastWriteTime(path), ServerTime("files/big.bin") - ServerTime("files/big.bin") % 2);
    EXPECT_EQ(sink.Codes(), (std::vector<int>{503, 506}));
    EXPECT_EQ(sink.Find(503)->param1, 300000);
    EXPECT_EQ(sink.Find(503)->text2, path);
    EXPECT_EQ(sink.ProgressBytes(), 300000);
    EXPECT_EQ(sink.Find(506)->param1, 0);
    EXPECT_EQ(meter.Total(false), 300000u);
}

TEST_F(HttpTransferTest, UpdateModesDecideBetweenSkipResumeAndReplace) {
    std::string path = Local("big.bin");
    ASSERT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
    // Same time and size: up to date.
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultSkipped);
    EXPECT_EQ(sink.Codes(), (std::vector<int>{506}));

    // Same time, smaller file: resumed from the local size.
    const std::time_t stamp = *LastWriteTime(path);
    ASSERT_TRUE(WriteFileAtomic(path, Pattern(300000, 'a').substr(0, 123457), 0644));
    SetFileTimes(path, stamp, stamp);
    ASSERT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
    EXPECT_EQ(Slurp(path), Pattern(300000, 'a'));
    EXPECT_EQ(sink.Codes(), (std::vector<int>{503, 505, 506}));
    EXPECT_EQ(sink.Find(505)->param1, 123457);
    EXPECT_EQ(sink.ProgressBytes(), 300000 - 123457);

    // Another time: fetched again from the start.
    ASSERT_TRUE(WriteFileAtomic(path, "old", 0644));
    SetFileTimes(path, 1000, 1000);
    ASSERT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
    EXPECT_EQ(Slurp(path).size(), 300000u);

    // Skip when present, whatever it holds; overwrite always.
    job.updateMode = 2;
    ASSERT_TRUE(WriteFileAtomic(path, "old", 0644));
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultSkipped);
    EXPECT_EQ(Slurp(path), "old");
    job.updateMode = 1;
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
    EXPECT_EQ(Slurp(path).size(), 300000u);
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
    EXPECT_EQ(sink.Find(505), nullptr);
}

TEST_F(HttpTransferTest, ResumeNeverAppendsTheWrongBytes) {
    // A server that ignores Range, one that answers another range, and one that answers 416:
    // each time the file starts over and ends up right.
    for (const char* kind : {"/norange", "/badrange", "/416"}) {
        SCOPED_TRACE(kind);
        std::string path = Local("part.bin");
        ASSERT_TRUE(WriteFileAtomic(path, test::FaultBody(0, 4000), 0644));
        SetFileTimes(path, 784111776, 784111776);
        ASSERT_EQ(Fetch(servers.faults->Url(std::string(kind) + "?size=10000"), path), kResultOk);
        EXPECT_EQ(Slurp(path), test::FaultBody(0, 10000));
        EXPECT_EQ(sink.Find(505), nullptr);
    }
    // A proper range server continues where the file ends.
    std::string path = Local("part.bin");
    ASSERT_TRUE(WriteFileAtomic(path, test::FaultBody(0, 4000), 0644));
    SetFileTimes(path, 784111776, 784111776);
    ASSERT_EQ(Fetch(servers.faults->Url("/range?size=10000"), path), kResultOk);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 10000));
    ASSERT_NE(sink.Find(505), nullptr);
    EXPECT_EQ(sink.Find(505)->param1, 4000);
}

TEST_F(HttpTransferTest, StubPagesAreDroppedBySizeOrText) {
    // A page announced smaller than nfsize is not even written.
    std::string path = Local("stub.html");
    EXPECT_EQ(Fetch(servers.faults->Url("/html?size=100&text=x"), path, 0, 500), kResultStub);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(sink.Codes(), (std::vector<int>{506}));

    // The stub text is found in any case, also where it straddles two reads.
    path = Local("page.html");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/page.html"), path, 0, 0, "sorry, not FOUND"),
              kResultStub);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(sink.Codes(), (std::vector<int>{503, 506, 527}));
    EXPECT_EQ(sink.Find(506)->param1, kResultStub);
    EXPECT_EQ(sink.Find(527)->text1, path);
    // Pages of many sizes put the text at many places relative to the reads.
    for (std::size_t size = 8180; size < 8200; ++size) {
        path = Local("edge.html");
        const std::string url = servers.faults->Url("/html?size=" + std::to_string(size) +
                                                    "&text=Sorry,%20NOT%20found");
        EXPECT_EQ(Fetch(url, path, 0, 0, "sorry, not found"), kResultStub) << size;
    }
    // Not HTML: the rules do not apply.
    path = Local("a.txt");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path, 0, 1000, "hello"), kResultOk);
}

TEST_F(HttpTransferTest, ContentCategoryFilter) {
    std::string path = Local("page.html");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/page.html"), path, 2), kResultWrongType);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(Fetch(servers.faults->Url("/type?ct=image/png&size=10"), path, 2), kResultOk);
    path = Local("untyped");
    EXPECT_EQ(Fetch(servers.faults->Url("/type?ct=&size=10"), path, 1), kResultWrongType);
}

TEST_F(HttpTransferTest, BrokenTransfersKeepWhatArrived) {
    std::string path = Local("short.bin");
    EXPECT_EQ(Fetch(servers.faults->Url("/short?size=100000&got=30000&lm=0"), path), kResultBroken);
    EXPECT_EQ(sink.Find(506)->param1, kResultBroken);
    // With a server time the part is stamped, so the next attempt resumes it.
    EXPECT_EQ(Fetch(servers.faults->Url("/short?size=100000&got=30000"), path), kResultBroken);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 30000));
    EXPECT_EQ(LastWriteTime(path), std::time_t{784111776});
    ASSERT_EQ(Fetch(servers.faults->Url("/range?size=100000"), path), kResultOk);
    EXPECT_EQ(sink.Find(505)->param1, 30000);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 100000));
}

TEST_F(HttpTransferTest, BodiesWithoutLength) {
    std::string path = Local("x.bin");
    ASSERT_EQ(Fetch(servers.faults->Url("/chunked?size=70000"), path), kResultOk);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 70000));
    EXPECT_EQ(sink.Find(503)->param1, -1);
    ASSERT_EQ(Fetch(servers.faults->Url("/nolength?size=5000"), path), kResultOk);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 5000));
}

TEST_F(HttpTransferTest, ServerNamesAndRedirectsChooseTheLocalName) {
    // A Content-Disposition name lands in the destination folder, never outside it.
    std::string path = Local("dl/");
    ASSERT_TRUE(CreateFolders(Local("dl")));
    ASSERT_EQ(Fetch(servers.faults->Url("/disposition?name=../../evil.txt"), path), kResultOk);
    EXPECT_EQ(path, Local("dl/evil.txt"));
    EXPECT_TRUE(FileExists(Local("dl/evil.txt")));

    // A probe that followed a redirect lends the final name to a folder destination.
    const AppSettings settings;
    ResourceProber prober(settings);
    ResourceInfo info;
    ASSERT_NE(prober.Probe(servers.nginx->Url("/redirect"), info, "", ""), 0u);
    EXPECT_TRUE(prober.Redirected());
    EXPECT_EQ(info.finalUrl, servers.nginx->Url("/files/a.txt"));
    EXPECT_EQ(info.size, 5u);
    job.urlFileName = "a.txt";
    path = Local("dl/redirect");
    ASSERT_EQ(Fetch(info.finalUrl, path, 0, 0, {}, &info), kResultOk);
    EXPECT_EQ(path, Local("dl/a.txt"));
    EXPECT_EQ(Slurp(path), "hello");
}

TEST_F(HttpTransferTest, RefusalsAndClientErrors) {
    std::string path = Local("x");
    EXPECT_EQ(Fetch(servers.nginx->Url("/missing"), path), kResultRefused);
    EXPECT_EQ(sink.Find(506)->param2, 404);
    EXPECT_EQ(Fetch("http://127.0.0.1:1/x", path), kResultRefused);
    EXPECT_EQ(sink.Find(506)->param2, kStatusClientError);
    EXPECT_FALSE(job.errorText.empty());
    EXPECT_EQ(Fetch("ftp://127.0.0.1/x", path), kResultNotHttp);
    job.banned = [](std::string_view url) { return url.find("ads") != std::string_view::npos; };
    EXPECT_EQ(Fetch(servers.nginx->Url("/ads/x"), path), kResultBanned);
    job.banned = nullptr;
    job.session = nullptr;
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path), kResultNoSession);
    EXPECT_FALSE(FileExists(path));
}

TEST_F(HttpTransferTest, StopAndTrafficLimitEndTheTransfer) {
    std::string path = Local("drip.bin");
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = 2;
    });
    EXPECT_EQ(Fetch(servers.faults->Url("/drip?size=1000000&rate=20000"), path), kResultStopped);
    stopper.join();
    stop = 0;
    job.limitReached = [] { return true; };
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultLimit);
    job.isLocal = true;  // local jobs do not count against the limit
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
}

TEST_F(HttpTransferTest, SpeedLimitStillDeliversEverything) {
    meter.SetLimits(100000, 100000, true);
    std::string path = Local("big.bin");
    std::thread ticker([&] {
        for (int i = 0; i < 40 && !FileExists(Local("done")); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            meter.TakePeriod();
        }
    });
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
    WriteFileAtomic(Local("done"), "");
    ticker.join();
    EXPECT_EQ(Slurp(path), Pattern(300000, 'a'));
}

TEST_F(HttpTransferTest, ProxyAuthenticationIsAnsweredOnce) {
    if (!test::TinyproxyServer::Available()) GTEST_SKIP() << "tinyproxy is not installed";
    test::TinyproxyServer proxy;
    proxy.RequireAuth("kov", "secret");
    ASSERT_TRUE(proxy.Start()) << proxy.Log();
    auto proxied = InternetSession::Create("kov-test", AccessType::NamedProxy, proxy.Address());
    ASSERT_TRUE(proxied);
    job.session = proxied.get();
    std::string path = Local("a.txt");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path), kResultNoConnection);
    job.proxyUser = "kov";
    job.proxyPsw = "secret";
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path), kResultOk);
    EXPECT_EQ(Slurp(path), "hello");
    EXPECT_NE(proxy.Log().find("GET http://127.0.0.1"), std::string::npos);
}

TEST_F(HttpTransferTest, FetchByUrlCopiesAnyScheme) {
    ASSERT_TRUE(WriteFileAtomic(Local("source.txt"), "local bytes", 0644));
    const std::string target = Local("copy.txt");
    EXPECT_EQ(FetchByUrl("file://" + Local("source.txt"), target, job, "kov-test"), kResultOk);
    EXPECT_EQ(Slurp(target), "local bytes");
    EXPECT_EQ(sink.Codes(), (std::vector<int>{503, 506}));
    job.session = nullptr;  // opens a session of its own
    EXPECT_EQ(FetchByUrl(servers.nginx->Url("/files/a.txt"), target, job, "kov-test"), kResultOk);
    EXPECT_EQ(Slurp(target), "hello");
    EXPECT_EQ(FetchByUrl("gopherx://nowhere/x", target, job, "kov-test"), kResultNoConnection);
    ASSERT_FALSE(prompter.informed.empty());
    EXPECT_NE(prompter.informed.back().find("InternetOpenUrl ERROR"), std::string::npos);
}

TEST_F(HttpTransferTest, ProberReportsWhatTheServerOffers) {
    AppSettings settings;
    ResourceProber prober(settings);
    ResourceInfo info;
    EXPECT_EQ(prober.Probe(servers.nginx->Url("/files/big.bin"), info, "", ""),
              kHasContentType | kHasLength | kHasLastModified);
    EXPECT_EQ(info.size, 300000u);
    EXPECT_EQ(info.acceptRanges, 1);
    EXPECT_EQ(info.status, 200);
    EXPECT_FALSE(prober.Redirected());

    EXPECT_EQ(prober.Probe(servers.faults->Url("/loop"), info, "", ""), 0u);
    EXPECT_EQ(prober.Error(), kProbeTooManyRedirects);
    EXPECT_EQ(prober.Probe(servers.nginx->Url("/missing"), info, "", ""), 0u);
    EXPECT_EQ(prober.Error(), 404);
    EXPECT_EQ(prober.Probe("gopher://x/", info, "", ""), 0u);
    EXPECT_EQ(prober.Error(), kProbeUnsupported);

    ASSERT_TRUE(WriteFileAtomic(Local("f.txt"), "12345", 0644));
    info = ResourceInfo{};
    EXPECT_EQ(prober.Probe("file://" + Local("f.txt"), info, "", ""),
              kHasLength | kHasLastModified);
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(info.category, -1);
    EXPECT_EQ(prober.Probe("file://" + Local("none.txt"), info, "", ""), 0u);
    EXPECT_EQ(info.size, 0u);
}

}  // namespace
}  // namespace kov
