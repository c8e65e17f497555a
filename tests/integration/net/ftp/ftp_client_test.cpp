#include "net/ftp/ftp_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "net/ftp/ftp_fetch.h"
#include "net/ftp/ftp_probe.h"
#include "net/transfer/resource_prober.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/fault_server.h"
#include "support/ftp_fault_server.h"
#include "support/missing_server.h"
#include "support/recording_sink.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"

namespace kov {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous waits for servers that answer: a hang shows up as a failure, not a stuck run.
const FtpClient::Timeouts kTimeouts{.connect = 10s, .reply = 10s, .data = 10s};

// Odd seconds on purpose: MDTM is exact to the second.
constexpr std::time_t kSmallTime = 1600000001;
constexpr std::time_t kBigTime = 1500000003;
constexpr std::size_t kBigSize = 300000;
constexpr std::time_t kFaultTime = 784111777;  // MDTM of every fault-server file

std::string Slurp(const std::string& path) {
    return ReadFile(path).value_or("<missing>");
}

bool WriteLocal(const std::string& path, const std::string& content, std::time_t mtime) {
    return WriteFileAtomic(path, content, 0644) && SetFileTimes(path, mtime, mtime);
}

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

// RETR, reading until the end, and the final reply; true when all of it went well.
bool RetrieveAll(FtpClient& client, const std::string& name, std::uint64_t offset,
                 std::string& body) {
    body.clear();
    if (!client.Retrieve(name, offset)) return false;
    char block[8192];
    long n;
    while ((n = client.ReadData(block, sizeof block)) > 0)
        body.append(block, static_cast<std::size_t>(n));
    const bool confirmed = client.EndTransfer();
    return n == 0 && confirmed;
}

// vsftpd and the FTP fault server for the suite; a fresh folder, sink and job per test.
class FtpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (test::FtpFaultServer::Available()) {
            faults = std::make_unique<test::FtpFaultServer>();
            if (!faults->Start()) faults.reset();
        }
        if (!test::VsftpdServer::Available()) return;
        vsftpd = std::make_unique<test::VsftpdServer>();
        const bool written =
            vsftpd->WriteFile("files/small.bin", test::FaultBody(0, 1000), kSmallTime) &&
            vsftpd->WriteFile("files/big.bin", test::FaultBody(0, kBigSize), kBigTime) &&
            vsftpd->WriteFile("wild/one.bin", test::FaultBody(0, 3000), kSmallTime) &&
            vsftpd->WriteFile("wild/two.bin", test::FaultBody(7, 70000), kBigTime) &&
            vsftpd->WriteFile("wild/three.txt", "three", kSmallTime);
        if (!written || !vsftpd->Start()) vsftpd.reset();
    }
    static void TearDownTestSuite() {
        vsftpd.reset();
        faults.reset();
    }

    void SetUp() override {
        job.sink = &sink;
        job.meter = &meter;
        job.stopRequest = &stop;
    }
    void NeedVsftpd() {
        if (!test::VsftpdServer::Available())
            KOV_SKIP_WITHOUT_SERVER() << "vsftpd needs root and db_load";
        ASSERT_TRUE(vsftpd) << "vsftpd did not start";
    }
    void NeedFaults() {
        if (!test::FtpFaultServer::Available())
            KOV_SKIP_WITHOUT_SERVER() << "python3 is not installed";
        ASSERT_TRUE(faults) << "the FTP fault server did not start";
    }

    static bool Open(FtpClient& client, const std::string& user, const std::string& password,
                     const FtpClient::Timeouts& timeouts = kTimeouts) {
        client.SetTimeouts(timeouts);
        return client.Connect(vsftpd->Host(), vsftpd->Port()) && client.Login(user, password);
    }
    // On the fault server the user name picks the fault. Passive unless told otherwise.
    static bool OpenFault(FtpClient& client, const std::string& user,
                          const FtpClient::Timeouts& timeouts = kTimeouts) {
        client.SetTimeouts(timeouts);
        client.SetDataMode(FtpDataMode::Passive);
        return client.Connect("127.0.0.1", faults->Port()) && client.Login(user, "x");
    }

    int Fetch(FtpClient& client, const std::string& remotePath, const std::string& localPath) {
        sink.events.clear();
        job.lastError = 0;
        return FetchFtp(client, remotePath, localPath, job);
    }

    static std::unique_ptr<test::VsftpdServer> vsftpd;
    static std::unique_ptr<test::FtpFaultServer> faults;
    test::TempDir dir;
    test::RecordingSink sink;
    TrafficMeter meter;
    std::atomic<int> stop{0};
    TransferJob job;
};

std::unique_ptr<test::VsftpdServer> FtpTest::vsftpd;
std::unique_ptr<test::FtpFaultServer> FtpTest::faults;

TEST_F(FtpTest, LoginsListsAndRetrievesInBothModes) {
    NeedVsftpd();
    FtpClient wrong;
    EXPECT_FALSE(Open(wrong, test::VsftpdServer::kUser, "not-the-password"));
    EXPECT_EQ(wrong.LastReplyCode(), 530);

    const std::string big = test::FaultBody(0, kBigSize);
    for (FtpDataMode mode : {FtpDataMode::Passive, FtpDataMode::Active}) {
        FtpClient client;
        ASSERT_TRUE(Open(client, "", "")) << client.Transcript();  // anonymous
        client.SetDataMode(mode);
        ASSERT_TRUE(client.ChangeFolder("/files")) << client.LastReplyLine();
        ASSERT_EQ(client.List("*.bin"), 2) << client.LastReplyLine();
        const FtpEntry& large = *client.Entry(EntryForName(client, "big.bin"));
        EXPECT_EQ(large.size, kBigSize);
        EXPECT_EQ(EntryTime(large), kBigTime);

        std::string body;
        EXPECT_TRUE(RetrieveAll(client, "big.bin", 123457, body)) << client.LastReplyLine();
        EXPECT_TRUE(body == big.substr(123457));
        EXPECT_FALSE(client.Retrieve("missing.bin", 0));
        EXPECT_EQ(client.LastReplyCode(), 550);
        // After an abort the server answers twice; the next command must get its own reply.
        ASSERT_TRUE(client.Retrieve("big.bin", 0)) << client.LastReplyLine();
        char block[1000];
        EXPECT_GT(client.ReadData(block, sizeof block), 0);
        client.Abort();
        client.EndTransfer();
        EXPECT_EQ(client.List("small.bin"), 1) << client.LastReplyLine();
        EXPECT_EQ(client.DataMode(), mode);
        client.Quit();
    }
    EXPECT_NE(vsftpd->Log().find("USER anonymous"), std::string::npos);
}

TEST_F(FtpTest, FetchResumesAndExpandsWildcards) {
    NeedVsftpd();
    FtpClient client;
    ASSERT_TRUE(Open(client, "", "")) << client.Transcript();
    const std::string whole = test::FaultBody(0, kBigSize);
    const std::string local = dir.File("big.bin");
    ASSERT_TRUE(WriteLocal(local, whole.substr(0, 100000), kBigTime));
    EXPECT_EQ(Fetch(client, "/files/big.bin", local), kResultOk) << client.LastReplyLine();
    ASSERT_NE(sink.Find(kEventResumed), nullptr);
    EXPECT_EQ(sink.Find(kEventResumed)->param1, 100000);
    EXPECT_EQ(sink.ProgressBytes(), static_cast<std::int64_t>(kBigSize) - 100000);
    EXPECT_TRUE(Slurp(local) == whole);
    EXPECT_EQ(LastWriteTime(local), kBigTime);
    EXPECT_EQ(Fetch(client, "/files/big.bin", local), kResultSkipped);

    const std::string folder = dir.File("wild") + "/";
    EXPECT_EQ(Fetch(client, "/wild/*.bin", folder), kResultOk) << client.LastReplyLine();
    EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"one.bin", "two.bin"}));
    EXPECT_TRUE(Slurp(folder + "two.bin") == test::FaultBody(7, 70000));
    EXPECT_EQ(LastWriteTime(folder + "one.bin"), kSmallTime);

    EXPECT_EQ(Fetch(client, "/nowhere/a.bin", dir.File("a.bin")), kResultNothing);
    EXPECT_EQ(sink.Find(kEventFtpNoFolder)->text1, "/nowhere");
    EXPECT_EQ(Fetch(client, "/wild/none-*.bin", dir.File("none/")), kResultNothing);
    EXPECT_EQ(sink.Find(kEventFtpNoListing)->text1, "none-*.bin");
    // A plain name that is a folder is not fetched as if it were its first file.
    EXPECT_EQ(Fetch(client, "/wild", dir.File("wild-as-file")), kResultNothing);
    EXPECT_FALSE(FileExists(dir.File("wild-as-file")));

    // Distributed parts: each takes its own range into a file of its own.
    job.distributed = true;
    job.fileSize = kBigSize;
    job.partCount = 3;
    job.partSize = kBigSize / 3;
    const std::string base = dir.File("parts.bin");
    for (int part = 1; part <= 3; ++part) {
        job.partNo = part;
        EXPECT_EQ(Fetch(client, "/files/big.bin", base), kResultOk) << client.LastReplyLine();
        EXPECT_TRUE(Slurp(base + ".00" + std::to_string(part)) ==
                    whole.substr((part - 1) * 100000, 100000));
    }
    EXPECT_EQ(Fetch(client, "/files/big.bin", base), kResultSkipped);
    job.fileSize = kBigSize + 1;
    EXPECT_EQ(Fetch(client, "/files/big.bin", base), kResultPartChanged);
    client.Quit();
}

TEST_F(FtpTest, UserStoresIntoANewFolderAndAnonymousMayNot) {
    NeedVsftpd();
    const std::string body = test::FaultBody(5, 200000);
    const std::string local = dir.File("upload-me.bin");
    ASSERT_TRUE(WriteLocal(local, body, kSmallTime));
    FtpClient client;
    ASSERT_TRUE(Open(client, test::VsftpdServer::kUser, test::VsftpdServer::kPassword));
    client.SetDataMode(FtpDataMode::Active);
    const std::string folder = "/upload/fresh-" + std::to_string(::getpid());
    ASSERT_TRUE(client.MakeFolder(folder)) << client.LastReplyLine();
    ASSERT_TRUE(client.Store(local, folder)) << client.LastReplyLine() << vsftpd->Log();
    EXPECT_EQ(client.DataMode(), FtpDataMode::Active);  // the upload went passive only itself
    EXPECT_TRUE(Slurp(vsftpd->UploadFolder() + folder.substr(7) + "/upload-me.bin") == body);
    EXPECT_FALSE(client.MakeFolder(folder));
    EXPECT_FALSE(client.Store(dir.File("absent.bin"), folder));
    EXPECT_EQ(client.LastReplyCode(), kFtpLocalFileError);
    client.Quit();

    FtpClient anonymous;
    ASSERT_TRUE(Open(anonymous, "", ""));
    EXPECT_FALSE(anonymous.Store(local, folder));
    EXPECT_EQ(anonymous.LastReplyCode(), 550);
}

TEST_F(FtpTest, IPv6UsesExtendedPassiveAndActiveCommands) {
    NeedVsftpd();
    test::VsftpdServer v6;
    v6.UseIPv6();
    ASSERT_TRUE(v6.WriteFile("files/six.bin", test::FaultBody(3, 40000), kSmallTime));
    if (!v6.Start()) KOV_SKIP_WITHOUT_SERVER() << "vsftpd does not listen on ::1 here";
    for (FtpDataMode mode : {FtpDataMode::Passive, FtpDataMode::Active}) {
        FtpClient client;
        client.SetTimeouts(kTimeouts);
        ASSERT_TRUE(client.Connect(v6.Host(), v6.Port()) && client.Login("", ""));
        client.SetDataMode(mode);
        std::string received;
        EXPECT_TRUE(RetrieveAll(client, "/files/six.bin", 0, received)) << client.LastReplyLine();
        EXPECT_TRUE(received == test::FaultBody(3, 40000));
        client.Quit();
    }
    const std::string log = v6.Log();
    EXPECT_NE(log.find("\"EPSV\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"EPRT |2|::1|"), std::string::npos) << log;
}

TEST_F(FtpTest, ProbeGivesSizeAndTimeOrWhatIsMissing) {
    NeedVsftpd();
    ResourceInfo info;
    int error = 0;
    std::string text;
    EXPECT_EQ(ProbeFtp(vsftpd->UserUrl("/files/small.bin"), info, "", "", error, text),
              kHasLength | kHasLastModified)
        << text;
    EXPECT_EQ(info.size, 1000u);
    EXPECT_EQ(info.lastModified, kSmallTime);
    const struct {
        std::string path;
        std::string password;
        int error;
    } failures[] = {
        {"/files/small.bin", "wrong", kProbeNoConnection},
        {"/no-such-folder/a.bin", test::VsftpdServer::kPassword, kProbeNoFolder},
        {"/files/none.bin", test::VsftpdServer::kPassword, kProbeNoEntry},
        {"/files", test::VsftpdServer::kPassword, kProbeNoEntry},  // a folder is no file
    };
    for (const auto& f : failures) {
        error = 0;
        EXPECT_EQ(
            ProbeFtp(vsftpd->Url(f.path), info, test::VsftpdServer::kUser, f.password, error, text),
            0u);
        EXPECT_EQ(error, f.error) << f.path;
    }
    const std::string down = "ftp://127.0.0.1:" + std::to_string(test::ServerProcess::FreePort());
    EXPECT_EQ(ProbeFtp(down + "/a.txt", info, "", "", error, text), 0u);
    EXPECT_EQ(text, "FTP server down on this Host");
}

TEST_F(FtpTest, RepliesAreReadWhateverTheirShape) {
    NeedFaults();
    FtpClient client;
    ASSERT_TRUE(OpenFault(client, "multiline")) << client.Transcript();
    // The greeting was multi-line, and PASS's answer holds a line "200 ..." before its "230".
    EXPECT_NE(client.Transcript().find("220-second line"), std::string::npos);
    EXPECT_EQ(client.LastReplyCode(), 230);
    EXPECT_EQ(client.LastReplyText(), "Logged in");
    std::string body;
    EXPECT_TRUE(RetrieveAll(client, "/files/data-5000.bin", 0, body)) << client.LastReplyLine();
    EXPECT_EQ(client.LastReplyText(), "Transfer complete");
    EXPECT_EQ(body, test::FaultBody(0, 5000));

    FtpClient nopass;  // a 230 to USER is a login
    ASSERT_TRUE(OpenFault(nopass, "nopass")) << nopass.Transcript();
    EXPECT_TRUE(nopass.ChangeFolder("/files")) << nopass.LastReplyLine();
    FtpClient bad;
    EXPECT_FALSE(OpenFault(bad, "badlogin"));
    EXPECT_EQ(bad.LastReplyCode(), 530);

    FtpClient down;
    down.SetTimeouts(kTimeouts);
    EXPECT_FALSE(down.Connect("127.0.0.1", test::ServerProcess::FreePort()));
    EXPECT_EQ(down.LastReplyCode(), kFtpServerDown);
    EXPECT_FALSE(down.Login("", ""));
    EXPECT_FALSE(down.Retrieve("a.txt", 0));
}

TEST_F(FtpTest, RefusedResumeStartsOverFromZero) {
    NeedFaults();
    FtpClient client;
    ASSERT_TRUE(OpenFault(client, "norest")) << client.Transcript();
    const std::string local = dir.File("data-5000.bin");
    ASSERT_TRUE(WriteLocal(local, test::FaultBody(0, 2000), kFaultTime));
    EXPECT_EQ(Fetch(client, "/files/data-5000.bin", local), kResultOk) << client.LastReplyLine();
    EXPECT_EQ(sink.Codes(),
              (std::vector<int>{kEventFtpResumeRefused, kEventFileStarted, kEventFileResult}));
    EXPECT_EQ(sink.Find(kEventFtpResumeRefused)->param1, 2000);
    EXPECT_EQ(Slurp(local), test::FaultBody(0, 5000));
}

TEST_F(FtpTest, BadPassiveRepliesFailInPassiveModeAndFallBackInAutoMode) {
    NeedFaults();
    for (const char* user : {"oddpasv", "badpasv", "nopasv", "farpasv"}) {
        SCOPED_TRACE(user);
        const bool reachable = std::string(user) == "farpasv";  // the peer's address is used
        FtpClient passive;
        ASSERT_TRUE(OpenFault(passive, user)) << passive.Transcript();
        EXPECT_EQ(passive.List("/files/data-1000.bin"), reachable ? 1 : -1);

        FtpClient automatic;
        ASSERT_TRUE(OpenFault(automatic, user)) << automatic.Transcript();
        automatic.SetDataMode(FtpDataMode::Auto);
        std::string body;
        EXPECT_TRUE(RetrieveAll(automatic, "/files/data-1000.bin", 0, body));
        EXPECT_EQ(body, test::FaultBody(0, 1000));
        EXPECT_EQ(automatic.DataMode(), reachable ? FtpDataMode::Auto : FtpDataMode::Active);
    }
}

// Names with a path are skipped, and hidden ones that "*" did not ask for; the rest become
// plain local names with no shell meaning.
TEST_F(FtpTest, ListedNamesNeverEscapeOrCarryShellCharacters) {
    NeedFaults();
    FtpClient client;
    ASSERT_TRUE(OpenFault(client, "hostile")) << client.Transcript();
    const std::string out = dir.File("out") + "/";
    EXPECT_EQ(Fetch(client, "/files/*", out), kResultOk) << client.LastReplyLine();
    EXPECT_EQ(FolderNames(out), (std::set<std::string>{"good.txt", "run__x.txt"}));
    EXPECT_EQ(Slurp(out + "run__x.txt"), "meta");
    EXPECT_EQ(FolderNames(dir.path()), std::set<std::string>{"out"});
    EXPECT_EQ(client.SkippedNames(), (std::vector<std::string>{"../evil.txt", "sub/evil.txt"}));
}

// A file that is not the size its listing says is not delivered as complete.
TEST_F(FtpTest, FilesOfAnotherSizeThanListedAreBroken) {
    NeedFaults();
    for (const char* user : {"longer", "shorter"}) {
        FtpClient client;
        ASSERT_TRUE(OpenFault(client, user)) << client.Transcript();
        EXPECT_EQ(Fetch(client, "/files/data-5000.bin", dir.File(user)), kResultBroken) << user;
        EXPECT_EQ(sink.Find(kEventFileResult)->param1, kResultBroken);
        // Marked, so that a run keeping existing files fetches it again.
        EXPECT_TRUE(MarkedIncomplete(dir.File(user))) << user;
    }
}

// Silence, a reply trickled byte by byte and a stalled data connection all end in time.
TEST_F(FtpTest, SilentTricklingAndStalledServersEnd) {
    NeedFaults();
    for (const char* user : {"silent", "trickle"}) {
        FtpClient client;
        const auto start = Clock::now();
        EXPECT_FALSE(OpenFault(client, user, {.connect = 5s, .reply = 2s, .data = 1s})) << user;
        EXPECT_LT(Clock::now() - start, 10s) << user;
        EXPECT_EQ(client.LastReplyCode(), ETIMEDOUT) << user;
        EXPECT_FALSE(client.IsConnected());
    }
    FtpClient dribbled;  // one byte every 2 s: no read times out, the rate does
    ASSERT_TRUE(OpenFault(dribbled, "dribble", {.connect = 5s, .reply = 5s, .data = 3s}));
    EXPECT_EQ(Fetch(dribbled, "/files/data-1000.bin", dir.File("dribbled.bin")), kResultBroken);

    FtpClient stalled;
    ASSERT_TRUE(OpenFault(stalled, "stall", {.connect = 5s, .reply = 5s, .data = 1s}));
    const std::string local = dir.File("stalled.bin");
    EXPECT_EQ(Fetch(stalled, "/files/data-5000.bin", local), kResultBroken);
    // What arrived stays, with the server's time, for a later resume; the conversation goes on.
    EXPECT_EQ(Slurp(local), test::FaultBody(0, 2500));
    EXPECT_EQ(LastWriteTime(local), kFaultTime);
    EXPECT_TRUE(stalled.ChangeFolder("/files")) << stalled.LastReplyLine();

    // The URL test's probe of a silent server ends on the stop request, not after a minute.
    std::atomic<int> probeStop{0};
    std::thread probeStopper([&] {
        std::this_thread::sleep_for(1s);
        probeStop = 2;
    });
    ResourceInfo info;
    int error = 0;
    std::string text;
    const auto probeStart = Clock::now();
    EXPECT_EQ(ProbeFtp(faults->Url("silent", "/files/data-1000.bin"), info, "", "", error, text,
                       &probeStop),
              0u);
    probeStopper.join();
    EXPECT_LT(Clock::now() - probeStart, 10s);

    FtpClient client(&stop);
    ASSERT_TRUE(OpenFault(client, "stall", {.connect = 5s, .reply = 30s, .data = 30s}));
    std::thread stopper([&] {
        std::this_thread::sleep_for(1s);
        stop = 2;
    });
    const auto start = Clock::now();
    EXPECT_EQ(Fetch(client, "/files/data-5000.bin", dir.File("stopped.bin")), kResultStopped);
    stopper.join();
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_EQ(sink.Find(kEventFileResult)->param1, kResultStopped);
}

}  // namespace
}  // namespace kov
