#include "net/http/http_download.h"
#include "net/http/url_download.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <thread>

#include "net/http/inet.h"
#include "net/http/kept_validators.h"
#include "net/http/shared_connections.h"
#include "net/transfer/resource_prober.h"
#include "net/transfer/segment_state_file.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/missing_server.h"
#include "support/recording_prompter.h"
#include "support/recording_sink.h"
#include "support/suite_servers.h"
#include "support/temp_dir.h"
#include "support/tinyproxy_server.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

const std::string kBig = test::FaultBody(0, 300000);

std::string Slurp(const std::string& path) {
    return ReadFile(path).value_or("<missing>");
}

// nginx and the fault server for the whole suite, plus a fresh job and folder per test.
class HttpDownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        const std::string error = servers.Start([](test::NginxServer& n) {
            n.WriteFile("files/big.bin", kBig);
            n.WriteFile("files/page.html", "<html><body>" + std::string(20000, 'x') +
                                               "Sorry, NOT found" + std::string(100, 'y') +
                                               "</body></html>");
            n.WriteFile("files/a.txt", "hello");
            n.WriteFile("files/short.html", "<html>abcdef</html>");  // 19 bytes
            for (int i = 0; i < 5; ++i)
                n.WriteFile("many/" + std::to_string(i), "file");
        });
        ASSERT_TRUE(error.empty()) << error;
    }
    static void TearDownTestSuite() { servers.Stop(); }

    void SetUp() override {
        if (!servers.Ready()) KOV_SKIP_WITHOUT_SERVER() << "nginx or python3 is not installed";
        UseSession(InternetSession::Create("kov-test", AccessType::Direct));
        job.sink = &sink;
        job.meter = &meter;
        job.prompter = &prompter;
        job.stopRequest = &stop;
    }
    void UseSession(std::unique_ptr<InternetSession> s) {
        ASSERT_TRUE(s);
        session = std::move(s);
        job.session = session.get();
    }

    int Fetch(const std::string& url, std::string& path, int conType = 0, int nfsize = 0,
              const std::string& nfString = {}, ResourceInfo* info = nullptr) {
        sink.events.clear();
        return FetchHttp(url, path, conType, nfsize, nfString, info, job);
    }
    // Fetches and counts the requests nginx saw for it.
    int Requests(const std::string& path, std::string& local, int expectResult) {
        const std::size_t before = Lines(servers.nginx->AccessLog()).size();
        EXPECT_EQ(Fetch(servers.nginx->Url(path), local), expectResult);
        return static_cast<int>(Lines(servers.nginx->AccessLog()).size() - before);
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::string Local(const std::string& name) const { return dir.File(name); }
    // Sets the stop request 300 ms from now, while a fetch runs; join it afterwards.
    std::thread StopSoon() {
        return std::thread([this] {
            std::this_thread::sleep_for(300ms);
            stop = 2;
        });
    }
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
    TransferJob job;
};

test::SuiteServers HttpDownloadTest::servers;

TEST_F(HttpDownloadTest, PlainFetchWritesTheFileWithTheServersExactTime) {
    std::string path = Local("big.bin");
    ResourceInfo info;
    ASSERT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path, 0, 0, {}, &info), kResultOk);
    EXPECT_EQ(Slurp(path), kBig);
    EXPECT_EQ(info.size, 300000u);
    EXPECT_EQ(LastWriteTime(path), ServerTime("files/big.bin"));
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileStarted, kEventFileResult}));
    EXPECT_EQ(sink.Find(kEventFileStarted)->param1, 300000);
    EXPECT_EQ(sink.Find(kEventFileStarted)->text2, path);
    EXPECT_EQ(sink.ProgressBytes(), 300000);
    EXPECT_EQ(sink.Find(kEventFileResult)->param1, 0);
    EXPECT_EQ(meter.Total(false), 300000u);
}

// A new, an unchanged and a partial file each cost exactly one request. (The other update
// modes are run end to end by the download jobs' tests.)
TEST_F(HttpDownloadTest, UpdatingDecidesWithOneRequestPerFile) {
    std::string path = Local("big.bin");
    EXPECT_EQ(Requests("/files/big.bin", path, kResultOk), 1);
    EXPECT_EQ(Requests("/files/big.bin", path, kResultSkipped), 1);
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileResult}));

    const std::time_t stamp = *LastWriteTime(path);
    ASSERT_TRUE(WriteFileAtomic(path, kBig.substr(0, 123457), 0644));
    SetFileTimes(path, stamp, stamp);
    EXPECT_EQ(Requests("/files/big.bin", path, kResultOk), 1);
    EXPECT_EQ(Slurp(path), kBig);
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileStarted, kEventResumed, kEventFileResult}));
    EXPECT_EQ(sink.ProgressBytes(), 300000 - 123457);
    EXPECT_EQ(sink.Find(kEventResumed)->param1, 123457);

    // Another time (one we could have stamped): the whole file again, still in one request.
    ASSERT_TRUE(WriteFileAtomic(path, "old", 0644));
    SetFileTimes(path, 1001, 1001);
    EXPECT_EQ(Requests("/files/big.bin", path, kResultOk), 1);
    EXPECT_EQ(Slurp(path).size(), 300000u);
}

TEST_F(HttpDownloadTest, ResumeNeverAppendsTheWrongBytes) {
    // A server that ignores Range, one that answers another range, one that answers 416, and a
    // proper one: the file ends up right each time, continued only by the proper one.
    for (const char* kind : {"/norange", "/badrange", "/416", "/range"}) {
        SCOPED_TRACE(kind);
        std::string path = Local("part.bin");
        ASSERT_TRUE(WriteFileAtomic(path, test::FaultBody(0, 4000), 0644));
        SetFileTimes(path, 784111777, 784111777);
        ASSERT_EQ(Fetch(servers.faults->Url(std::string(kind) + "?size=10000"), path), kResultOk);
        EXPECT_EQ(Slurp(path), test::FaultBody(0, 10000));
        EXPECT_EQ(sink.Find(kEventResumed) != nullptr, std::string(kind) == "/range");
    }
    // The same time but other bytes: no prefix of the file after all, so it starts over.
    std::string path = Local("part.bin");
    ASSERT_TRUE(WriteFileAtomic(path, std::string(4000, 'x'), 0644));
    SetFileTimes(path, 784111777, 784111777);
    ASSERT_EQ(Fetch(servers.faults->Url("/range?size=10000"), path), kResultOk);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 10000));
}

// A server whose ranges cannot be trusted (it answers other ranges than the ones asked for, 416
// to every range while it announces them, or sends ranges elsewhere) gets the file whole over
// one connection.
TEST_F(HttpDownloadTest, ServersWithUntrustworthyRangesGiveTheFileOverOneConnection) {
    job.connections = 4;
    const int size = 9 << 20;  // two segments and more
    // (A server that names its file by date alone and does not look at If-Range: ranges of a
    // file changed since are told by their Last-Modified.)
    for (const char* kind : {"/badrange", "/416", "/rangemoved", "/range?etag=0&changed=1"}) {
        SCOPED_TRACE(kind);
        std::string path = Local("large.bin");
        ::unlink(path.c_str());
        const std::string query = std::strchr(kind, '?') ? "&size=" : "?size=";
        const std::string url = servers.faults->Url(kind + query + std::to_string(size));
        ASSERT_EQ(Fetch(url, path), kResultOk) << job.errorText;
        EXPECT_TRUE(Slurp(path) == test::FaultBody(0, size));
        EXPECT_FALSE(FileSize(SegmentStatePath(path)));
        EXPECT_FALSE(MarkedIncomplete(path));
    }
    // A size far beyond the free space is not split: no file of that size with holes appears.
    std::string path = Local("huge.bin");
    std::thread stopper = StopSoon();
    const std::int64_t huge = std::int64_t{8} << 40;
    EXPECT_EQ(Fetch(servers.faults->Url("/range?size=" + std::to_string(huge)), path),
              kResultStopped);
    stopper.join();
    stop = 0;
    EXPECT_LT(FileSize(path).value_or(0), huge / 1024);
    EXPECT_FALSE(FileSize(SegmentStatePath(path)));
}

TEST_F(HttpDownloadTest, StubPagesAndWrongTypesAreDropped) {
    // A page announced smaller than nfsize is not even written.
    std::string path = Local("stub.html");
    EXPECT_EQ(Fetch(servers.faults->Url("/html?size=100&text=x"), path, 0, 500), kResultStub);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileResult}));

    // The stub text is found in any case, also where it straddles two reads.
    path = Local("page.html");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/page.html"), path, 0, 0, "sorry, not FOUND"),
              kResultStub);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(sink.Codes(),
              (std::vector<int>{kEventFileStarted, kEventFileResult, kEventStubDeleted}));
    EXPECT_EQ(sink.Find(kEventStubDeleted)->text1, path);
    for (std::size_t size = 8180; size < 8200; ++size) {
        path = Local("edge.html");
        const std::string url = servers.faults->Url("/html?size=" + std::to_string(size) +
                                                    "&text=Sorry,%20NOT%20found");
        EXPECT_EQ(Fetch(url, path, 0, 0, "sorry, not found"), kResultStub) << size;
    }
    // A page resumed from its first 9 bytes is judged by its 19, not by the 10 of this run.
    path = Local("short.html");
    ASSERT_TRUE(WriteFileAtomic(path, "<html>abc", 0644));
    SetFileTimes(path, ServerTime("files/short.html"), ServerTime("files/short.html"));
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/short.html"), path, 0, 12), kResultOk);
    EXPECT_EQ(Slurp(path), "<html>abcdef</html>");
    EXPECT_NE(sink.Find(kEventResumed), nullptr);

    // Not HTML: the rules do not apply.
    path = Local("a.txt");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path, 0, 1000, "hello"), kResultOk);

    path = Local("page.html");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/page.html"), path, 2), kResultWrongType);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(Fetch(servers.faults->Url("/type?ct=image/png&size=10"), path, 2), kResultOk);
    path = Local("untyped");
    EXPECT_EQ(Fetch(servers.faults->Url("/type?ct=&size=10"), path, 1), kResultWrongType);
}

TEST_F(HttpDownloadTest, ShortBodiesAreBrokenAndKeepWhatArrived) {
    std::string path = Local("short.bin");
    // No length the client can hold (above 2^63) is no excuse for calling a short body whole.
    for (const char* length : {"", "&length=18446744073709551615", "&length=9223372036854775808"}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(Fetch(servers.faults->Url("/short?size=100000&got=30000&lm=0") + length, path),
                  kResultBroken);
        EXPECT_EQ(sink.Find(kEventFileResult)->param1, kResultBroken);
    }
    // With a server time the part is stamped, so the next attempt resumes it.
    EXPECT_EQ(Fetch(servers.faults->Url("/short?size=100000&got=30000"), path), kResultBroken);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 30000));
    EXPECT_EQ(LastWriteTime(path), std::time_t{784111777});
    ASSERT_EQ(Fetch(servers.faults->Url("/range?size=100000"), path), kResultOk);
    EXPECT_EQ(sink.Find(kEventResumed)->param1, 30000);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 100000));

    // Bodies without a length end with the connection.
    ASSERT_EQ(Fetch(servers.faults->Url("/chunked?size=70000"), path), kResultOk);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 70000));
    EXPECT_EQ(sink.Find(kEventFileStarted)->param1, -1);
    ASSERT_EQ(Fetch(servers.faults->Url("/nolength?size=5000"), path), kResultOk);
    EXPECT_EQ(Slurp(path), test::FaultBody(0, 5000));
}

// Keeping existing files keeps finished ones only: a copy a run left unfinished (a broken
// body, a crash or kill -9 in the middle) carries a mark until it is whole, and the next run
// finishes it, by either way of naming the local file.
TEST_F(HttpDownloadTest, KeepingExistingFilesFinishesWhatARunLeftUnfinished) {
    job.updateMode = 2;
    for (const bool destIsFile : {false, true}) {
        SCOPED_TRACE(destIsFile);
        job.destIsFile = destIsFile;
        std::string path = Local(destIsFile ? "named.bin" : "short.bin");
        EXPECT_EQ(Fetch(servers.faults->Url("/short?size=100000&got=30000&lm=0"), path),
                  kResultBroken);
        EXPECT_TRUE(MarkedIncomplete(path));
        ASSERT_EQ(Fetch(servers.faults->Url("/range?size=100000&lm=0"), path), kResultOk);
        EXPECT_EQ(Slurp(path), test::FaultBody(0, 100000));
        EXPECT_FALSE(MarkedIncomplete(path));
        EXPECT_EQ(Fetch(servers.faults->Url("/range?size=100000&lm=0"), path), kResultSkipped);
    }
    // A file without the mark is the user's to keep, whatever its size.
    job.destIsFile = false;
    std::string path = Local("mine.bin");
    ASSERT_TRUE(WriteFileAtomic(path, "mine", 0644));
    EXPECT_EQ(Fetch(servers.faults->Url("/range?size=100000"), path), kResultSkipped);
    EXPECT_EQ(Slurp(path), "mine");
}

// Validators describe only a whole copy: a new file and a replaced one carry them after a
// complete body, and neither keeps any (old ones included) after a broken one, only the mark.
TEST_F(HttpDownloadTest, OnlyAWholeCopyCarriesValidators) {
    constexpr const char* kAttribute = "user.kov.validators";
    const std::string stale = "1 1 d 0\n\"old\"\nMon, 01 Jan 2001 00:00:00 GMT";
    const struct {
        bool existing;
        bool broken;
    } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    job.updateMode = 1;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.existing) + " existing, " + std::to_string(c.broken) +
                     " broken");
        std::string path = Local("copy" + std::to_string(++n) + ".bin");
        if (c.existing) {
            ASSERT_TRUE(WriteFileAtomic(path, "old copy", 0644));
            if (::setxattr(path.c_str(), kAttribute, stale.data(), stale.size(), 0) != 0)
                GTEST_SKIP() << "no extended attributes here";
        }
        const std::string url = c.broken ? servers.faults->Url("/short?size=100000&got=30000")
                                         : servers.nginx->Url("/files/big.bin");
        EXPECT_EQ(Fetch(url, path), c.broken ? kResultBroken : kResultOk);
        char value[1024];
        const ssize_t got = ::getxattr(path.c_str(), kAttribute, value, sizeof value);
        if (c.broken) {
            // The mark of an unfinished file took their place.
            EXPECT_FALSE(ReadKeptValidators(path));
            EXPECT_TRUE(MarkedIncomplete(path));
        } else {
            ASSERT_GT(got, 0);
            const std::string kept(value, static_cast<std::size_t>(got));
            EXPECT_NE(kept, stale);
            EXPECT_NE(kept.find(" 300000 d 0\n"), std::string::npos) << kept;
        }
    }
}

TEST_F(HttpDownloadTest, ServerNamesAndRedirectsChooseAHarmlessLocalName) {
    ASSERT_TRUE(CreateFolders(Local("dl")));
    const struct {
        const char* name;
        const char* local;
    } cases[] = {
        {"../../evil.txt", "dl/evil.txt"},
        {"x;rm%20-rf%20$HOME%20%60id%60|a%26b<c>d'e.txt", "dl/x_rm -rf _HOME _id__a_b_c_d_e.txt"},
        {"a%01b%1bc.txt", "dl/a_b_c.txt"},
        // No hidden files: a stranger's ".bashrc" must not land on the user's own.
        {".bashrc", "dl/_bashrc"},
        {"..%2F..profile", "dl/__profile"},
    };
    for (const auto& c : cases) {
        std::string path = Local("dl/");
        ASSERT_EQ(Fetch(servers.faults->Url(std::string("/disposition?name=") + c.name), path),
                  kResultOk);
        EXPECT_EQ(path, Local(c.local));
        EXPECT_TRUE(FileExists(Local(c.local)));
    }
    // A redirect lends its target's name to a folder destination.
    std::string path = Local("dl/redirect");
    std::string finalUrl;
    ASSERT_EQ(FetchHttp(servers.nginx->Url("/redirect"), path, 0, 0, {}, nullptr, job, &finalUrl),
              kResultOk);
    EXPECT_EQ(finalUrl, servers.nginx->Url("/files/a.txt"));
    EXPECT_EQ(path, Local("dl/a.txt"));
    EXPECT_EQ(Slurp(path), "hello");
    ASSERT_TRUE(servers.nginx->WriteFile("files/.hidden", "quiet"));
    // A name that only the redirect brings makes no hidden file either.
    std::string target = servers.nginx->Url("/files/.hidden");
    for (std::size_t at = target.find('/'); at != std::string::npos; at = target.find('/', at))
        target.replace(at, 1, "%2F");
    path = Local("dl/");
    ASSERT_EQ(Fetch(servers.faults->Url("/redirect?to=" + target), path), kResultOk);
    EXPECT_EQ(path, Local("dl/_hidden"));
    EXPECT_EQ(Fetch(servers.faults->Url("/loop"), path), kResultRefused);
}

// The item's credentials reach only the scheme, host and port they were given for; a redirect
// off the web sends nothing and fails. The prober keeps the same rules.
TEST_F(HttpDownloadTest, RedirectsKeepCredentialsHomeAndStayOnTheWeb) {
    test::FaultServer other;
    ASSERT_TRUE(other.Start());
    job.userName = "kov";
    job.userPsw = "secret";
    job.updateMode = 1;
    std::string path = Local("echo.txt");
    ASSERT_EQ(Fetch(servers.faults->Url("/redirect?to=/echo"), path), kResultOk);
    EXPECT_NE(Slurp(path).find("Authorization: Basic"), std::string::npos);
    // Another host, another port: /noauth refuses any request that carries credentials.
    AppSettings settings;
    ResourceProber prober(settings);
    for (const std::string& target :
         {"http://localhost:" + std::to_string(servers.faults->Port()) + "/noauth",
          other.Url("/noauth")}) {
        SCOPED_TRACE(target);
        path = Local("noauth.bin");
        EXPECT_EQ(Fetch(servers.faults->Url("/redirect?to=" + target), path), kResultOk);
        ResourceInfo info;
        EXPECT_NE(prober.Probe(servers.faults->Url("/redirect?to=" + target), info, "kov", "x"),
                  0u);
    }
    for (const std::string& target : std::vector<std::string>{
             "file:///etc/passwd", "gopher://127.0.0.1:" + std::to_string(other.Port()) + "/x",
             "dict://127.0.0.1/x", "ftp://127.0.0.1/x"}) {
        SCOPED_TRACE(target);
        std::string path = Local("hostile.txt");
        EXPECT_EQ(Fetch(servers.faults->Url("/redirect?to=" + target), path), kResultNotHttp);
        EXPECT_EQ(sink.Find(kEventFileResult)->param1, kResultNotHttp);
        EXPECT_FALSE(FileExists(path));
        ResourceInfo info;
        EXPECT_EQ(prober.Probe(servers.faults->Url("/redirect?to=" + target), info, "", ""), 0u);
    }
}

TEST_F(HttpDownloadTest, FailuresAreNeverSuccess) {
    std::string path = Local("x");
    EXPECT_EQ(Fetch(servers.nginx->Url("/missing"), path), kResultRefused);
    EXPECT_EQ(sink.Find(kEventFileResult)->param2, 404);
    EXPECT_EQ(Fetch("http://127.0.0.1:1/x", path), kResultRefused);
    EXPECT_EQ(sink.Find(kEventFileResult)->param2, kStatusClientError);
    EXPECT_FALSE(job.errorText.empty());
    for (const char* url : {"ftp://127.0.0.1/x", "no url", "http//x", "https://127.0.0.1/x"}) {
        job.enableHttps = false;
        EXPECT_EQ(Fetch(url, path), kResultNotHttp) << url;
        EXPECT_EQ(sink.Find(kEventFileResult)->param1, kResultNotHttp) << url;
    }
    job.banned = [](std::string_view url) { return url.find("ads") != std::string_view::npos; };
    EXPECT_EQ(Fetch(servers.nginx->Url("/ads/x"), path), kResultBanned);
    job.banned = nullptr;
    job.session = nullptr;
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path), kResultNoSession);
    EXPECT_FALSE(FileExists(path));
}

// "Stop now" ends a transfer whatever the server does: sending slowly, or nothing at all.
TEST_F(HttpDownloadTest, StopEndsBodiesAndSilentServersAtOnce) {
    for (const char* url : {"/drip?size=1000000&rate=20000", "/silent"}) {
        SCOPED_TRACE(url);
        stop = 0;
        std::string path = Local("stopped.bin");
        std::thread stopper = StopSoon();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(Fetch(servers.faults->Url(url), path), kResultStopped);
        stopper.join();
        // A hang would take the full idle time (120 s).
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    }
    stop = 0;
    job.limitReached = [] { return true; };
    std::string path = Local("big.bin");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultLimit);
    job.isLocal = true;  // local jobs do not count against the limit
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
}

// Under one byte a second for the idle time fails, however steadily the bytes trickle in.
TEST_F(HttpDownloadTest, TricklingServersFailAsBroken) {
    UseSession(InternetSession::Create("kov-test", AccessType::Direct, {}, InetTimeouts{5s, 3s}));
    std::string path = Local("trickle.bin");
    // The headers alone are 90 bytes, so the first case trickles only headers.
    EXPECT_EQ(Fetch(servers.faults->Url("/trickle?size=20&every=1.5"), path), kResultBroken);
    EXPECT_EQ(Fetch(servers.faults->Url("/trickle?size=20&every=1.5&head=0"), path), kResultBroken);
}

TEST_F(HttpDownloadTest, RetriesResumeABrokenTransfer) {
    std::string url = servers.faults->Url("/short?size=1000&got=400");
    std::string path = Local("retry.bin");
    ResourceInfo info;
    EXPECT_EQ(FetchHttpWithRetries(url, path, 0, 0, {}, info, job, 1ms), kResultBroken);
    EXPECT_EQ(std::count_if(sink.events.begin(), sink.events.end(),
                            [](const auto& e) { return e.code == kEventRetry; }),
              5);
    job.limitReached = [] { return true; };
    EXPECT_EQ(FetchHttpWithRetries(url, path, 0, 0, {}, info, job, 1ms), kResultLimit);
}

// Connections that break again and again, each after some progress, still bring the file
// home: a break after bytes arrived is no failure that counts towards giving up.
TEST_F(HttpDownloadTest, SegmentsCutShortOverAndOverStillComplete) {
    job.connections = 2;
    const int size = 9 << 20;
    std::string path = Local("cut.bin");
    const std::string url = servers.faults->Url("/range?size=" + std::to_string(size) +
                                                "&cut=" + std::to_string(1 << 19));
    ASSERT_EQ(Fetch(url, path), kResultOk) << job.errorText;
    EXPECT_TRUE(Slurp(path) == test::FaultBody(0, size));
    EXPECT_FALSE(FileSize(SegmentStatePath(path)));
}

TEST_F(HttpDownloadTest, SpeedLimitStillDeliversEverything) {
    meter.SetLimits(100000, 100000, true);
    std::string path = Local("big.bin");
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        for (int i = 0; i < 40 && !done; ++i) {
            std::this_thread::sleep_for(100ms);
            meter.TakePeriod();
        }
    });
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/big.bin"), path), kResultOk);
    done = true;
    ticker.join();
    EXPECT_EQ(Slurp(path), kBig);
}

// Sessions holding one SharedConnections: a thread's transfers reuse the connection it opened,
// eight threads at once too.
TEST_F(HttpDownloadTest, SharedConnectionsAreReusedAcrossSessions) {
    auto shared = SharedConnections::Create();
    ASSERT_TRUE(shared);
    const std::size_t before = Lines(servers.nginx->AccessLog()).size();
    std::atomic<int> failures{0};
    std::vector<std::thread> jobs;
    for (int t = 0; t < 8; ++t) {
        jobs.emplace_back([&, t] {
            auto own = InternetSession::Create("kov-test", AccessType::Direct, {}, {}, shared);
            TransferJob fetch;
            fetch.session = own.get();
            fetch.meter = &meter;
            for (int i = 0; i < 5; ++i) {
                std::string path = Local("many" + std::to_string(t) + "-" + std::to_string(i));
                const std::string url = servers.nginx->Url("/many/" + std::to_string(i));
                failures += FetchHttp(url, path, 0, 0, {}, nullptr, fetch) != kResultOk;
            }
        });
    }
    for (auto& job : jobs)
        job.join();
    EXPECT_EQ(failures, 0);
    const auto lines = Lines(servers.nginx->AccessLog());
    std::set<std::string> connections;
    for (std::size_t i = before; i < lines.size(); ++i)
        connections.insert(lines[i].substr(0, lines[i].find(' ')));
    EXPECT_EQ(lines.size() - before, 40u);
    EXPECT_LE(connections.size(), 8u);
}

TEST_F(HttpDownloadTest, ProxyAuthenticationIsAnsweredOnce) {
    if (!test::TinyproxyServer::Available())
        KOV_SKIP_WITHOUT_SERVER() << "tinyproxy is not installed";
    test::TinyproxyServer proxy;
    proxy.RequireAuth("kov", "secret");
    ASSERT_TRUE(proxy.Start()) << proxy.Log();
    UseSession(InternetSession::Create("kov-test", AccessType::NamedProxy, proxy.Address()));
    std::string path = Local("a.txt");
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path), kResultNoConnection);
    job.proxyUser = "kov";
    job.proxyPsw = "secret";
    EXPECT_EQ(Fetch(servers.nginx->Url("/files/a.txt"), path), kResultOk);
    EXPECT_EQ(Slurp(path), "hello");
    EXPECT_NE(proxy.Log().find("GET http://127.0.0.1"), std::string::npos);
}

TEST_F(HttpDownloadTest, FetchByUrlCopiesAnyScheme) {
    ASSERT_TRUE(WriteFileAtomic(Local("source.txt"), "local bytes", 0644));
    const std::string target = Local("copy.txt");
    EXPECT_EQ(FetchByUrl("file://" + Local("source.txt"), target, job, "kov-test"), kResultOk);
    EXPECT_EQ(Slurp(target), "local bytes");
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileStarted, kEventFileResult}));
    job.session = nullptr;  // opens a session of its own
    EXPECT_EQ(FetchByUrl(servers.nginx->Url("/files/a.txt"), target, job, "kov-test"), kResultOk);
    EXPECT_EQ(Slurp(target), "hello");
    EXPECT_EQ(FetchByUrl("gopherx://nowhere/x", target, job, "kov-test"), kResultNoConnection);
    ASSERT_FALSE(prompter.informed.empty());
    EXPECT_NE(prompter.informed.back().find("InternetOpenUrl ERROR"), std::string::npos);
}

TEST_F(HttpDownloadTest, ProberReportsWhatTheServerOffers) {
    AppSettings settings;
    ResourceProber prober(settings);
    ResourceInfo info;
    EXPECT_EQ(prober.Probe(servers.nginx->Url("/files/big.bin"), info, "", ""),
              kHasContentType | kHasLength | kHasLastModified);
    EXPECT_EQ(info.size, 300000u);
    EXPECT_EQ(info.status, 200);
    EXPECT_FALSE(prober.Redirected());
    ASSERT_NE(prober.Probe(servers.nginx->Url("/redirect"), info, "", ""), 0u);
    EXPECT_TRUE(prober.Redirected());
    EXPECT_EQ(info.finalUrl, servers.nginx->Url("/files/a.txt"));

    EXPECT_EQ(prober.Probe(servers.faults->Url("/loop"), info, "", ""), 0u);
    EXPECT_EQ(prober.Error(), kProbeTooManyRedirects);
    EXPECT_EQ(prober.Probe(servers.nginx->Url("/missing"), info, "", ""), 0u);
    EXPECT_EQ(prober.Error(), 404);
    EXPECT_EQ(prober.Probe("gopher://x/", info, "", ""), 0u);
    EXPECT_EQ(prober.Error(), kProbeUnsupported);
}

}  // namespace
}  // namespace kov
