#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <thread>

#include "net/http/http_download.h"
#include "net/http/inet.h"
#include "net/transfer/segment_state_file.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/nginx_server.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kSize = 10 << 20;  // two segments of the smallest size and some more

std::string Content(unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(kSize, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

const std::string& Source() {
    static const std::string source = Content(1);
    return source;
}

// Every location serves the files of /files/: /rated/ at 4 MB/s a connection, /slow/ at 2 MB/s
// and a trickle for a range from the start, /trickle/ the same trickle and the rest at once,
// /noranges/ without ranges.
std::string Locations() {
    auto serve = [](const char* name, const char* rules) {
        return std::string("location /") + name + "/ { " + rules + " rewrite ^/" + name +
               "/(.*)$ /files/$1 break; }";
    };
    return serve("rated", "limit_rate 4m;") + "\n" +
           serve("slow",
                 "set $rate 2m; if ($http_range ~ \"^bytes=0-\") { set $rate 32k; } "
                 "limit_rate $rate;") +
           "\n" +
           serve("trickle",
                 "set $rate 0; if ($http_range ~ \"^bytes=0-\") { set $rate 2k; } "
                 "limit_rate $rate;") +
           "\n" + serve("noranges", "max_ranges 0;");
}

// nginx for the suite; a fresh job, session and folder for each test.
class SegmentedDownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        if (!test::NginxServer::Available()) return;
        nginx = new test::NginxServer();
        nginx->AddLocation(Locations());
        ASSERT_TRUE(nginx->WriteFile("files/big.bin", Source()));
        ASSERT_TRUE(nginx->Start()) << nginx->ErrorLog();
    }
    static void TearDownTestSuite() {
        delete nginx;
        nginx = nullptr;
    }
    void SetUp() override {
        if (!nginx) GTEST_SKIP() << "nginx is not installed";
        session = InternetSession::Create("kov-test", AccessType::Direct);
        ASSERT_TRUE(session);
        job.session = session.get();
        job.sink = &sink;
        job.meter = &meter;
        job.stopRequest = &stop;
        job.connections = 4;
    }

    int Fetch(const std::string& path, std::string& local) {
        sink.events.clear();
        return FetchHttp(nginx->Url(path), local, 0, 0, {}, nullptr, job);
    }
    // The responses nginx sent with the status since the mark.
    static int Responses(int status, std::size_t mark) {
        std::istringstream log(nginx->AccessLog().substr(mark));
        int count = 0;
        for (std::string line; std::getline(log, line);)
            count += line.find(" " + std::to_string(status) + " GET") != std::string::npos;
        return count;
    }
    static std::size_t Mark() { return nginx->AccessLog().size(); }
    // Waits until the state beside local shows some progress; false when none came.
    static bool Progressed(const std::string& local) {
        for (int i = 0; i < 3000; ++i) {
            const auto state = LoadSegmentState(SegmentStatePath(local));
            std::int64_t missing = 0;
            for (const auto& [from, end] : state ? state->missing : SegmentPlan::Ranges{})
                missing += end - from;
            if (state && missing < state->size) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    std::string Local() const { return dir.File("big.bin"); }
    bool Delivered(const std::string& local, const std::string& expected) const {
        return ReadFile(local) == expected && !FileSize(SegmentStatePath(local));
    }

    static test::NginxServer* nginx;
    std::unique_ptr<InternetSession> session;
    std::atomic<int> stop{0};
    TrafficMeter meter;
    test::RecordingSink sink;
    TransferJob job;
    test::TempDir dir;
};

test::NginxServer* SegmentedDownloadTest::nginx = nullptr;

TEST_F(SegmentedDownloadTest, DeliversTheServersFileOverAsManyConnectionsAsFit) {
    struct Case {
        const char* path;
        int connections;
        int minRanges, maxRanges;  // 206 responses
    };
    const Case cases[] = {
        {"/rated/big.bin", 8, 2, 100},
        {"/noranges/big.bin", 8, 0, 0},
        {"/files/big.bin", 1, 0, 0},
        // The trickling first range is taken over; waiting for it would take minutes.
        {"/slow/big.bin", 2, 4, 100},
        // The other connections are done at once; the rest left to the trickle is too small to
        // share, and they wait until it shows itself slow instead of leaving it (minutes).
        {"/trickle/big.bin", 2, 3, 100},
    };
    for (const Case& c : cases) {
        std::string local = Local();
        ::unlink(local.c_str());
        job.connections = c.connections;
        const std::size_t mark = Mark();
        ASSERT_EQ(Fetch(c.path, local), kResultOk) << c.path << ": " << job.errorText;
        EXPECT_TRUE(Delivered(local, Source())) << c.path;
        EXPECT_GE(Responses(206, mark), c.minRanges) << c.path;
        EXPECT_LE(Responses(206, mark), c.maxRanges) << c.path;
        EXPECT_EQ(sink.ProgressBytes(), static_cast<std::int64_t>(kSize)) << c.path;
        EXPECT_EQ(sink.Codes().front(), kEventFileStarted) << c.path;
    }
}

// kill -9 in the middle; another run with another number of connections goes on from there.
TEST_F(SegmentedDownloadTest, AKilledDownloadResumesWithAnotherNumberOfConnections) {
    std::string local = Local();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto own = InternetSession::Create("kov-test", AccessType::Direct);
        job.session = own.get();
        ::_exit(Fetch("/slow/big.bin", local));
    }
    const bool progressed = Progressed(local);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(progressed);
    // A save of the state that the kill cut short leaves its temporary; the end removes it.
    const std::string leftover = dir.File(".big.bin.kovseg.Ab12Cd");
    ASSERT_TRUE(WriteFileAtomic(leftover, "kov-segments 1\n", 0644));
    job.connections = 3;
    ASSERT_EQ(Fetch("/rated/big.bin", local), kResultOk) << job.errorText;
    EXPECT_TRUE(Delivered(local, Source()));
    EXPECT_FALSE(FileExists(leftover));
    ASSERT_TRUE(sink.Find(kEventResumed));
    EXPECT_GT(sink.Find(kEventResumed)->param1, 0);
}

// A stop ends every connection and keeps the state; the next run completes the file.
TEST_F(SegmentedDownloadTest, StopKeepsAStateThatTheNextRunCompletes) {
    // Also while the speed limit holds every connection back: with no period taken, the meter
    // lets 4 KiB through and then waits until the stop.
    for (const bool limited : {false, true}) {
        SCOPED_TRACE(limited);
        std::string local = Local();
        ::unlink(local.c_str());
        ::unlink(SegmentStatePath(local).c_str());
        meter.SetLimits(4096, 4096, limited);
        int result = -1;
        std::thread fetch(
            [&] { result = Fetch(limited ? "/files/big.bin" : "/slow/big.bin", local); });
        const bool progressed = Progressed(local);
        const auto stopped = std::chrono::steady_clock::now();
        stop = 2;
        fetch.join();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
        ASSERT_TRUE(progressed);
        EXPECT_EQ(result, kResultStopped);
        const auto state = LoadSegmentState(SegmentStatePath(local));
        ASSERT_TRUE(state);
        EXPECT_FALSE(state->missing.empty());
        stop = 0;
        meter.SetLimits(0, 0, false);
        ASSERT_EQ(Fetch("/rated/big.bin", local), kResultOk) << job.errorText;
        EXPECT_TRUE(Delivered(local, Source()));
    }
}

TEST_F(SegmentedDownloadTest, AFileChangedMidwayStartsOverInsteadOfMixing) {
    ASSERT_TRUE(nginx->WriteFile("files/change.bin", Source()));
    // The new version is ready before the download starts: on a busy machine, making it while
    // the ranges come could take longer than the download itself.
    const std::string changed = Content(2);
    const std::string served = nginx->DocRoot() + "/files/change.bin";
    ASSERT_TRUE(nginx->WriteFile("files/change.tmp", changed));
    const std::time_t later = LastWriteTime(served).value_or(0) + 10;
    SetFileTimes(nginx->DocRoot() + "/files/change.tmp", later, later);
    std::string local = dir.File("change.bin");
    int result = -1;
    std::thread fetch([&] { result = Fetch("/slow/change.bin", local); });
    const bool progressed = Progressed(local);
    std::rename((nginx->DocRoot() + "/files/change.tmp").c_str(), served.c_str());
    fetch.join();
    ASSERT_TRUE(progressed);
    ASSERT_EQ(result, kResultOk) << job.errorText;
    EXPECT_TRUE(Delivered(local, changed));
}

// The connections of one job share the meter: no period takes more than the limit and a block.
TEST_F(SegmentedDownloadTest, ASpeedLimitHoldsForAllConnectionsTogether) {
    constexpr std::int64_t kLimit = 512 * 1024;
    meter.SetLimits(kLimit, kLimit, true);
    std::atomic<bool> done{false};
    std::uint64_t largest = 0;
    // Periods of 100 ms instead of a second keep the test short.
    std::thread periods([&] {
        while (!done) {
            std::this_thread::sleep_for(100ms);
            largest = std::max(largest, meter.TakePeriod().internet);
        }
    });
    std::string local = Local();
    const int result = Fetch("/files/big.bin", local);
    done = true;
    periods.join();
    ASSERT_EQ(result, kResultOk) << job.errorText;
    EXPECT_TRUE(Delivered(local, Source()));
    EXPECT_LE(largest, static_cast<std::uint64_t>(kLimit) + kMaxPacketSize);
    // Bytes that came after a range was taken over count as traffic too.
    EXPECT_GE(meter.Total(false), kSize);
}

}  // namespace
}  // namespace kov
