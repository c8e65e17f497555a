#include "net/ftp_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "net/ftp_fetch.h"
#include "net/ftp_probe.h"
#include "net/resource_prober.h"
#include "net/traffic_meter.h"
#include "platform/file_util.h"
#include "support/fault_server.h"
#include "support/ftp_fault_server.h"
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

// Times of the files vsftpd serves. Odd seconds on purpose: MDTM is exact to the second.
constexpr std::time_t kSmallTime = 1600000001;
constexpr std::time_t kBigTime = 1500000003;
constexpr std::time_t kNotesTime = 1400000000;
constexpr std::time_t kFetchTime = 1300000005;
constexpr std::size_t kBigSize = 300000;
constexpr std::size_t kResumeSize = 250000;

// The MDTM time of every file of the fault server (19941106084937).
constexpr std::time_t kFaultTime = 784111777;

std::string Slurp(const std::string& path) {
    return ReadFile(path).value_or("<missing>");
}

bool WriteLocal(const std::string& path, const std::string& content, std::time_t mtime) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) return false;
    }
    return SetFileTimes(path, mtime, mtime);
}

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

const FtpEntry* FindEntry(const FtpClient& client, const std::string& name) {
    for (std::size_t i = 0; i < client.EntryCount(); ++i) {
        if (client.Entry(i)->name == name) return client.Entry(i);
    }
    return nullptr;
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

int CountEvents(const test::RecordingSink& sink, int code) {
    int count = 0;
    for (const auto& event : sink.events)
        count += event.code == code;
    return count;
}

// Records events and raises a flag once a file has started to arrive.
class StartWatchingSink : public test::RecordingSink {
public:
    void Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
              const std::string& text2) override {
        RecordingSink::Post(code, param1, param2, text1, text2);
        if (code == kEventFileStarted) started = true;
    }
    std::atomic<bool> started{false};
};

// A fresh folder, sink and job for every test.
class FtpTestBase : public ::testing::Test {
protected:
    void SetUp() override {
        job.sink = &sink;
        job.meter = &meter;
        job.stopRequest = &stop;
    }

    int Fetch(FtpClient& client, const std::string& remotePath, const std::string& localPath) {
        sink.events.clear();
        job.lastError = 0;
        return FetchFtp(client, remotePath, localPath, job);
    }

    test::TempDir dir;
    test::RecordingSink sink;
    TrafficMeter meter;
    std::atomic<int> stop{0};
    HttpFetchJob job;
};

// ---------------------------------------------------------------------------------------------
// Against vsftpd, started once for the suite.

class FtpVsftpdTest : public FtpTestBase {
protected:
    static void SetUpTestSuite() {
        if (!test::VsftpdServer::Available()) return;
        auto started = std::make_unique<test::VsftpdServer>();
        const bool written =
            started->WriteFile("files/small.bin", test::FaultBody(0, 1000), kSmallTime) &&
            started->WriteFile("files/big.bin", test::FaultBody(0, kBigSize), kBigTime) &&
            started->WriteFile("files/notes.txt", "notes\n", kNotesTime) &&
            started->WriteFile("fetch/resume.bin", test::FaultBody(0, kResumeSize), kFetchTime) &&
            started->WriteFile("fetch/wild/one.bin", test::FaultBody(0, 3000), kSmallTime) &&
            started->WriteFile("fetch/wild/two.bin", test::FaultBody(7, 70000), kBigTime) &&
            started->WriteFile("fetch/wild/three.txt", "three", kNotesTime) &&
            started->WriteFile("fetch/empty.bin", "", kNotesTime);
        if (!written) {
            startError = "cannot write the served files";
        } else if (!started->Start()) {
            startError = "vsftpd did not start: " + started->Log();
        } else {
            server = std::move(started);
        }
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!test::VsftpdServer::Available()) GTEST_SKIP() << "vsftpd needs root and db_load";
        ASSERT_TRUE(server) << startError;
        FtpTestBase::SetUp();
    }

    static bool Open(FtpClient& client, const std::string& user, const std::string& password) {
        client.SetTimeouts(kTimeouts);
        return client.Connect(server->Host(), server->Port()) && client.Login(user, password);
    }

    static std::unique_ptr<test::VsftpdServer> server;
    static std::string startError;
};

std::unique_ptr<test::VsftpdServer> FtpVsftpdTest::server;
std::string FtpVsftpdTest::startError;

TEST_F(FtpVsftpdTest, AnonymousAndUserLoginsAndAWrongPassword) {
    FtpClient anonymous;
    anonymous.SetTimeouts(kTimeouts);
    ASSERT_TRUE(anonymous.Connect(server->Host(), server->Port())) << anonymous.LastReplyLine();
    EXPECT_EQ(anonymous.LastReplyCode(), 220);
    EXPECT_TRUE(anonymous.IsConnected());
    ASSERT_TRUE(anonymous.Login("", "")) << anonymous.Transcript();
    EXPECT_EQ(anonymous.LastReplyCode(), 230);
    EXPECT_NE(server->Log().find("USER anonymous"), std::string::npos) << server->Log();
    EXPECT_TRUE(anonymous.ChangeFolder("/files")) << anonymous.LastReplyLine();
    EXPECT_EQ(anonymous.LastReplyCode(), 250);
    anonymous.Quit();
    EXPECT_FALSE(anonymous.IsConnected());

    FtpClient user;
    ASSERT_TRUE(Open(user, test::VsftpdServer::kUser, test::VsftpdServer::kPassword))
        << user.Transcript() << server->Log();
    EXPECT_EQ(user.LastReplyCode(), 230);
    EXPECT_TRUE(user.ChangeFolder("/upload")) << user.LastReplyLine();
    user.Quit();

    FtpClient wrong;
    EXPECT_FALSE(Open(wrong, test::VsftpdServer::kUser, "not-the-password"));
    EXPECT_EQ(wrong.LastReplyCode(), 530) << wrong.Transcript();
    wrong.Quit();
}

TEST_F(FtpVsftpdTest, ListsAndRetrievesInPassiveAndActiveMode) {
    const std::string big = test::FaultBody(0, kBigSize);
    for (FtpDataMode mode : {FtpDataMode::Passive, FtpDataMode::Active}) {
        SCOPED_TRACE(mode == FtpDataMode::Passive ? "passive" : "active");
        FtpClient client;
        ASSERT_TRUE(Open(client, "", "")) << client.Transcript();
        client.SetDataMode(mode);
        ASSERT_TRUE(client.ChangeFolder("/files")) << client.LastReplyLine();

        ASSERT_EQ(client.List("*.bin"), 2) << client.LastReplyLine();
        const FtpEntry* small = FindEntry(client, "small.bin");
        const FtpEntry* large = FindEntry(client, "big.bin");
        ASSERT_TRUE(small && large);
        EXPECT_EQ(small->size, 1000u);
        EXPECT_FALSE(small->isFolder);
        EXPECT_EQ(EntryTime(*small), kSmallTime);
        EXPECT_EQ(large->size, kBigSize);
        EXPECT_EQ(EntryTime(*large), kBigTime);
        EXPECT_EQ(FindEntry(client, "notes.txt"), nullptr);

        std::string body;
        EXPECT_TRUE(RetrieveAll(client, "big.bin", 0, body)) << client.LastReplyLine();
        EXPECT_EQ(client.LastReplyCode(), 226);
        EXPECT_EQ(body.size(), kBigSize);
        EXPECT_TRUE(body == big);
        EXPECT_EQ(client.BytesReceived(), kBigSize);

        // From an offset (REST): only the rest arrives.
        EXPECT_TRUE(RetrieveAll(client, "big.bin", 123457, body)) << client.LastReplyLine();
        EXPECT_TRUE(body == big.substr(123457));

        // A missing file is the server's refusal, and the conversation goes on.
        EXPECT_FALSE(client.Retrieve("missing.bin", 0));
        EXPECT_EQ(client.LastReplyCode(), 550);

        // After an abort the server answers twice; the next command must get its own reply.
        ASSERT_TRUE(client.Retrieve("big.bin", 0)) << client.LastReplyLine();
        char block[1000];
        EXPECT_GT(client.ReadData(block, sizeof block), 0);
        client.Abort();
        client.EndTransfer();
        EXPECT_EQ(client.List("small.bin"), 1) << client.LastReplyLine();
        EXPECT_EQ(client.LastReplyCode(), 226);
        EXPECT_TRUE(client.ChangeFolder("/fetch")) << client.LastReplyLine();
        EXPECT_EQ(client.DataMode(), mode);
        client.Quit();
    }
}

TEST_F(FtpVsftpdTest, FetchResumesSkipsOverwritesAndExpandsWildcards) {
    FtpClient client;
    ASSERT_TRUE(Open(client, "", "")) << client.Transcript();
    client.SetDataMode(FtpDataMode::Auto);
    const std::string whole = test::FaultBody(0, kResumeSize);
    const std::string local = dir.File("resume.bin");
    const auto resumeSize = static_cast<std::int64_t>(kResumeSize);

    // A prefix with the server's time: only the rest is fetched.
    ASSERT_TRUE(WriteLocal(local, whole.substr(0, 100000), kFetchTime));
    EXPECT_EQ(Fetch(client, "/fetch/resume.bin", local), kResultOk) << client.LastReplyLine();
    const auto* resumed = sink.Find(kEventResumed);
    ASSERT_NE(resumed, nullptr);
    EXPECT_EQ(resumed->param1, 100000);
    EXPECT_EQ(resumed->param2, resumeSize);
    EXPECT_EQ(sink.ProgressBytes(), resumeSize - 100000);
    EXPECT_TRUE(Slurp(local) == whole);
    EXPECT_EQ(LastWriteTime(local), kFetchTime);
    ASSERT_NE(sink.Find(kEventFileResult), nullptr);
    EXPECT_EQ(sink.Find(kEventFileResult)->param1, kResultOk);

    // Same size and time count as the same file: nothing is fetched.
    job.updateMode = 0;
    ASSERT_TRUE(WriteLocal(local, std::string(kResumeSize, 'x'), kFetchTime));
    EXPECT_EQ(Fetch(client, "/fetch/resume.bin", local), kResultSkipped);
    EXPECT_EQ(sink.Find(kEventFileStarted), nullptr);
    EXPECT_EQ(Slurp(local), std::string(kResumeSize, 'x'));

    // A smaller file of another time is no prefix: the whole file comes again.
    ASSERT_TRUE(WriteLocal(local, std::string(1000, 'x'), kFetchTime - 3600));
    EXPECT_EQ(Fetch(client, "/fetch/resume.bin", local), kResultOk);
    EXPECT_EQ(sink.Find(kEventResumed), nullptr);
    ASSERT_NE(sink.Find(kEventFileStarted), nullptr);
    EXPECT_EQ(sink.Find(kEventFileStarted)->param2, 0);
    EXPECT_TRUE(Slurp(local) == whole);
    EXPECT_EQ(LastWriteTime(local), kFetchTime);

    // "Skip when present", whatever the file holds.
    job.updateMode = 2;
    ASSERT_TRUE(WriteLocal(local, "old", 12345));
    EXPECT_EQ(Fetch(client, "/fetch/resume.bin", local), kResultSkipped);
    EXPECT_EQ(Slurp(local), "old");

    // "Overwrite", even a file that looks the same.
    job.updateMode = 1;
    ASSERT_TRUE(WriteLocal(local, std::string(kResumeSize, 'x'), kFetchTime));
    EXPECT_EQ(Fetch(client, "/fetch/resume.bin", local), kResultOk);
    EXPECT_EQ(sink.Find(kEventResumed), nullptr);
    EXPECT_TRUE(Slurp(local) == whole);

    // An empty file still gives an empty local file, and the transfer is closed properly.
    job.updateMode = 0;
    EXPECT_EQ(Fetch(client, "/fetch/empty.bin", dir.File("empty.bin")), kResultOk);
    EXPECT_EQ(FileSize(dir.File("empty.bin")), 0);
    EXPECT_EQ(LastWriteTime(dir.File("empty.bin")), kNotesTime);

    // A pattern fetches each match into the folder under its own name.
    const std::string folder = dir.File("wild") + "/";
    EXPECT_EQ(Fetch(client, "/fetch/wild/*.bin", folder), kResultOk) << client.LastReplyLine();
    EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"one.bin", "two.bin"}));
    EXPECT_EQ(Slurp(folder + "one.bin"), test::FaultBody(0, 3000));
    EXPECT_TRUE(Slurp(folder + "two.bin") == test::FaultBody(7, 70000));
    EXPECT_EQ(LastWriteTime(folder + "one.bin"), kSmallTime);
    EXPECT_EQ(LastWriteTime(folder + "two.bin"), kBigTime);
    EXPECT_EQ(CountEvents(sink, kEventFileResult), 2);
    for (const auto& event : sink.events) {
        if (event.code == kEventFileResult) {
            EXPECT_EQ(event.param1, kResultOk) << event.text1;
        }
    }

    // A missing folder and a pattern without matches.
    EXPECT_EQ(Fetch(client, "/nowhere/a.bin", dir.File("a.bin")), 2);
    ASSERT_NE(sink.Find(kEventFtpNoFolder), nullptr);
    EXPECT_EQ(sink.Find(kEventFtpNoFolder)->text1, "/nowhere");
    EXPECT_EQ(Fetch(client, "/fetch/none-*.bin", dir.File("none/")), 2);
    ASSERT_NE(sink.Find(kEventFtpNoListing), nullptr);
    EXPECT_EQ(sink.Find(kEventFtpNoListing)->text1, "none-*.bin");
    EXPECT_FALSE(FileExists(dir.File("a.bin")));

    // A plain name that is a folder is not fetched as if it were its first file.
    EXPECT_EQ(Fetch(client, "/fetch/wild", dir.File("wild-as-file")), 2);
    EXPECT_EQ(sink.Find(kEventFtpNoListing)->text1, "wild");
    EXPECT_FALSE(FileExists(dir.File("wild-as-file")));
    client.Quit();
}

TEST_F(FtpVsftpdTest, DistributedPartsTakeTheirRangeOnly) {
    FtpClient client;
    ASSERT_TRUE(Open(client, "", ""));
    job.distributed = true;
    job.fileSize = kBigSize;
    job.partCount = 3;
    job.partSize = kBigSize / 3;
    const std::string base = dir.File("big.bin");
    // The first two parts stop the server short; the last one starts with REST; each lands in
    // a file of its own, and the conversation stays in step for the next part.
    for (int part = 1; part <= 3; ++part) {
        job.partNo = part;
        EXPECT_EQ(Fetch(client, "/files/big.bin", base), kResultOk) << client.LastReplyLine();
    }
    EXPECT_TRUE(Slurp(base + ".001") == test::FaultBody(0, 100000));
    EXPECT_TRUE(Slurp(base + ".002") == test::FaultBody(100000, 100000));
    EXPECT_TRUE(Slurp(base + ".003") == test::FaultBody(200000, 100000));
    EXPECT_FALSE(FileExists(base));

    // A complete part is not fetched again; a file of another size cannot be split as planned.
    EXPECT_EQ(Fetch(client, "/files/big.bin", base), kResultSkipped);
    job.fileSize = kBigSize + 1;
    EXPECT_EQ(Fetch(client, "/files/big.bin", base), kResultPartChanged);
    client.Quit();
}

TEST_F(FtpVsftpdTest, UserStoresIntoANewFolder) {
    static int round = 0;
    const std::string folderName = "fresh-" + std::to_string(++round);
    const std::string remoteFolder = "/upload/" + folderName;
    const std::string body = test::FaultBody(5, 200000);
    const std::string local = dir.File("upload-me.bin");
    ASSERT_TRUE(WriteLocal(local, body, kSmallTime));

    FtpClient client;
    ASSERT_TRUE(Open(client, test::VsftpdServer::kUser, test::VsftpdServer::kPassword))
        << client.Transcript();
    client.SetDataMode(FtpDataMode::Active);
    ASSERT_TRUE(client.MakeFolder(remoteFolder)) << client.LastReplyLine();
    EXPECT_EQ(client.LastReplyCode(), 257);
    ASSERT_TRUE(client.Store(local, remoteFolder)) << client.LastReplyLine() << server->Log();
    EXPECT_EQ(client.LastReplyCode(), 226);
    EXPECT_EQ(client.DataMode(), FtpDataMode::Active);  // the upload went passive only itself
    const std::string arrived = Slurp(server->UploadFolder() + "/" + folderName + "/upload-me.bin");
    EXPECT_EQ(arrived.size(), body.size());
    EXPECT_TRUE(arrived == body);

    EXPECT_FALSE(client.MakeFolder(remoteFolder));
    EXPECT_EQ(client.LastReplyCode(), 550);
    EXPECT_FALSE(client.Store(dir.File("absent.bin"), remoteFolder));
    EXPECT_EQ(client.LastReplyCode(), kFtpLocalFileError);
    client.Quit();

    // The anonymous login may read but not write.
    FtpClient anonymous;
    ASSERT_TRUE(Open(anonymous, "", ""));
    EXPECT_FALSE(anonymous.Store(local, remoteFolder));
    EXPECT_EQ(anonymous.LastReplyCode(), 550) << anonymous.LastReplyLine();
    anonymous.Quit();
}

TEST_F(FtpVsftpdTest, IPv6UsesExtendedPassiveAndActiveCommands) {
    test::VsftpdServer v6;
    v6.UseIPv6();
    const std::string body = test::FaultBody(3, 40000);
    ASSERT_TRUE(v6.WriteFile("files/six.bin", body, kSmallTime));
    if (!v6.Start()) GTEST_SKIP() << "vsftpd does not listen on ::1 here: " << v6.Log();

    for (FtpDataMode mode : {FtpDataMode::Passive, FtpDataMode::Active}) {
        SCOPED_TRACE(mode == FtpDataMode::Passive ? "passive" : "active");
        FtpClient client;
        client.SetTimeouts(kTimeouts);
        ASSERT_TRUE(client.Connect(v6.Host(), v6.Port())) << client.LastReplyLine();
        ASSERT_TRUE(client.Login("", "")) << client.Transcript();
        client.SetDataMode(mode);
        ASSERT_TRUE(client.ChangeFolder("/files"));
        ASSERT_EQ(client.List("six.bin"), 1) << client.LastReplyLine() << v6.Log();
        EXPECT_EQ(client.Entry(0)->size, body.size());
        EXPECT_EQ(EntryTime(*client.Entry(0)), kSmallTime);
        std::string received;
        EXPECT_TRUE(RetrieveAll(client, "six.bin", 0, received)) << client.LastReplyLine();
        EXPECT_TRUE(received == body);
        client.Quit();
    }
    const std::string log = v6.Log();
    EXPECT_NE(log.find("\"EPSV\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"EPRT |2|::1|"), std::string::npos) << log;
    EXPECT_EQ(log.find("\"PASV\""), std::string::npos) << log;
    EXPECT_EQ(log.find("\"PORT "), std::string::npos) << log;
}

TEST_F(FtpVsftpdTest, ProbeGivesSizeAndTimeOrWhatIsMissing) {
    ResourceInfo info;
    int error = 0;
    std::string text;
    EXPECT_EQ(ProbeFtp(server->Url("/files/notes.txt"), info, "", "", error, text),
              kHasLength | kHasLastModified)
        << text;
    EXPECT_EQ(error, 0);
    EXPECT_EQ(info.size, 6u);
    EXPECT_EQ(info.lastModified, kNotesTime);
    EXPECT_EQ(info.flags, kHasLength | kHasLastModified);
    EXPECT_EQ(info.category, -1);

    // Credentials in the address, or given apart.
    info = {};
    EXPECT_NE(ProbeFtp(server->UserUrl("/files/big.bin"), info, "", "", error, text), 0u) << text;
    EXPECT_EQ(info.size, kBigSize);
    info = {};
    EXPECT_NE(ProbeFtp(server->Url("/files/small.bin"), info, test::VsftpdServer::kUser,
                       test::VsftpdServer::kPassword, error, text),
              0u)
        << text;
    EXPECT_EQ(info.size, 1000u);
    EXPECT_EQ(info.lastModified, kSmallTime);

    error = 0;
    EXPECT_EQ(ProbeFtp(server->Url("/files/notes.txt"), info, test::VsftpdServer::kUser, "wrong",
                       error, text),
              0u);
    EXPECT_EQ(error, kProbeNoConnection);

    error = 0;
    EXPECT_EQ(ProbeFtp(server->Url("/no-such-folder/notes.txt"), info, "", "", error, text), 0u);
    EXPECT_EQ(error, kProbeNoFolder);

    error = 0;
    EXPECT_EQ(ProbeFtp(server->Url("/files/no-such-file.bin"), info, "", "", error, text), 0u);
    EXPECT_EQ(error, kProbeNoEntry);
    // A folder is no file: its first entry does not stand in for it.
    error = 0;
    EXPECT_EQ(ProbeFtp(server->Url("/files"), info, "", "", error, text), 0u);
    EXPECT_EQ(error, kProbeNoEntry);
}

// Needs no server: nothing listens on the port.
TEST(FtpClientTest, RefusedConnectionMeansTheServerIsDown) {
    const int port = test::ServerProcess::FreePort();
    ASSERT_GT(port, 0);
    FtpClient client;
    client.SetTimeouts(kTimeouts);
    EXPECT_FALSE(client.Connect("127.0.0.1", port));
    EXPECT_EQ(client.LastReplyCode(), kFtpServerDown);
    EXPECT_EQ(client.LastReplyText(), "FTP server down on this Host");
    EXPECT_FALSE(client.IsConnected());

    // Every later step fails without a connection, and quitting is harmless.
    EXPECT_FALSE(client.Login("", ""));
    EXPECT_EQ(client.List(""), -1);
    EXPECT_FALSE(client.Retrieve("a.txt", 0));
    char block[16];
    EXPECT_EQ(client.ReadData(block, sizeof block), -1);
    client.Quit();
    client.Quit();

    ResourceInfo info;
    int error = 0;
    std::string text;
    EXPECT_EQ(
        ProbeFtp("ftp://127.0.0.1:" + std::to_string(port) + "/a.txt", info, "", "", error, text),
        0u);
    EXPECT_EQ(error, kProbeNoConnection);
    EXPECT_EQ(text, "FTP server down on this Host");
}

// ---------------------------------------------------------------------------------------------
// Against the scripted fault server, started once for the suite; the user name picks the fault.

class FtpFaultTest : public FtpTestBase {
protected:
    static void SetUpTestSuite() {
        if (!test::FtpFaultServer::Available()) return;
        auto started = std::make_unique<test::FtpFaultServer>();
        if (started->Start()) server = std::move(started);
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!test::FtpFaultServer::Available()) GTEST_SKIP() << "python3 is not installed";
        ASSERT_TRUE(server) << "the FTP fault server did not start";
        FtpTestBase::SetUp();
    }

    static bool Open(FtpClient& client, const std::string& user,
                     const FtpClient::Timeouts& timeouts = kTimeouts) {
        client.SetTimeouts(timeouts);
        return client.Connect("127.0.0.1", server->Port()) && client.Login(user, "x");
    }

    static std::unique_ptr<test::FtpFaultServer> server;
};

std::unique_ptr<test::FtpFaultServer> FtpFaultTest::server;

TEST_F(FtpFaultTest, MultiLineGreetingAndLoginAnswers) {
    FtpClient client;
    client.SetTimeouts(kTimeouts);
    ASSERT_TRUE(client.Connect("127.0.0.1", server->Port())) << client.LastReplyLine();
    EXPECT_EQ(client.LastReplyCode(), 220);
    EXPECT_EQ(client.LastReplyText(), "ready");
    EXPECT_NE(client.Transcript().find("220-second line"), std::string::npos);
    // Had a greeting line been left over, USER would read it as its answer.
    ASSERT_TRUE(client.Login("normal", "x")) << client.Transcript();
    EXPECT_EQ(client.LastReplyCode(), 230);
    client.Quit();

    // A 230 to USER is a login: no PASS follows.
    FtpClient nopass;
    ASSERT_TRUE(Open(nopass, "nopass")) << nopass.Transcript();
    EXPECT_EQ(nopass.LastReplyCode(), 230);
    EXPECT_TRUE(nopass.ChangeFolder("/files")) << nopass.LastReplyLine();
    nopass.Quit();
    // Log lines start with the session's client port: no session that sent "USER nopass"
    // sent PASS.
    std::set<std::string> sessions;
    std::vector<std::string> lines;
    std::istringstream log(server->Log());
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
        const std::size_t end = line.find("] USER nopass");
        if (end != std::string::npos) sessions.insert(line.substr(0, end + 2));
    }
    EXPECT_FALSE(sessions.empty()) << server->Log();
    for (const std::string& line : lines) {
        for (const std::string& session : sessions)
            EXPECT_NE(line.rfind(session + "PASS", 0), 0u) << line;
    }

    FtpClient bad;
    EXPECT_FALSE(Open(bad, "badlogin"));
    EXPECT_EQ(bad.LastReplyCode(), 530);
    bad.Quit();
}

TEST_F(FtpFaultTest, ContinuationLinesDoNotEndAReply) {
    FtpClient client;
    ASSERT_TRUE(Open(client, "multiline")) << client.Transcript();
    // PASS's answer holds a line "200 ..." before its own "230 ...".
    EXPECT_EQ(client.LastReplyCode(), 230);
    EXPECT_EQ(client.LastReplyText(), "Logged in");
    EXPECT_TRUE(client.ChangeFolder("/files")) << client.LastReplyLine();
    EXPECT_EQ(client.LastReplyCode(), 250);
    EXPECT_TRUE(client.SetBinary());
    EXPECT_EQ(client.LastReplyCode(), 200);
    EXPECT_EQ(client.LastReplyText(), "Type set to I");

    client.SetDataMode(FtpDataMode::Passive);
    ASSERT_EQ(client.List("*.bin"), 2) << client.LastReplyLine();
    EXPECT_EQ(client.LastReplyCode(), 226);
    const FtpEntry* entry = FindEntry(client, "data-5000.bin");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->size, 5000u);
    EXPECT_EQ(EntryTime(*entry), kFaultTime);

    std::string body;
    EXPECT_TRUE(RetrieveAll(client, "data-5000.bin", 0, body)) << client.LastReplyLine();
    EXPECT_EQ(client.LastReplyCode(), 226);
    EXPECT_EQ(client.LastReplyText(), "Transfer complete");
    EXPECT_EQ(body, test::FaultBody(0, 5000));
    client.Quit();
}

TEST_F(FtpFaultTest, RefusedResumeStartsOverFromZero) {
    FtpClient client;
    ASSERT_TRUE(Open(client, "norest")) << client.Transcript();
    client.SetDataMode(FtpDataMode::Passive);
    const std::string local = dir.File("data-5000.bin");
    ASSERT_TRUE(WriteLocal(local, test::FaultBody(0, 2000), kFaultTime));

    EXPECT_EQ(Fetch(client, "/files/data-5000.bin", local), kResultOk) << client.LastReplyLine();
    EXPECT_EQ(sink.Codes(),
              (std::vector<int>{kEventFtpResumeRefused, kEventFileStarted, kEventFileResult}));
    const auto* refused = sink.Find(kEventFtpResumeRefused);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->param1, 2000);
    EXPECT_EQ(refused->param2, 5000);
    ASSERT_NE(sink.Find(kEventFileStarted), nullptr);
    EXPECT_EQ(sink.Find(kEventFileStarted)->param2, 0);
    EXPECT_EQ(sink.ProgressBytes(), 5000);
    EXPECT_EQ(Slurp(local), test::FaultBody(0, 5000));
    EXPECT_EQ(LastWriteTime(local), kFaultTime);
    EXPECT_NE(server->Log().find("REST 2000"), std::string::npos);
    client.Quit();
}

TEST_F(FtpFaultTest, BadPassiveRepliesFailInPassiveModeAndFallBackInAutoMode) {
    const std::string expected = test::FaultBody(0, 1000);
    for (const char* user : {"oddpasv", "badpasv", "nopasv"}) {
        SCOPED_TRACE(user);
        FtpClient passive;
        ASSERT_TRUE(Open(passive, user)) << passive.Transcript();
        passive.SetDataMode(FtpDataMode::Passive);
        ASSERT_TRUE(passive.ChangeFolder("/files"));
        EXPECT_EQ(passive.List("data-1000.bin"), -1);
        EXPECT_FALSE(passive.Retrieve("data-1000.bin", 0));
        EXPECT_EQ(passive.DataMode(), FtpDataMode::Passive);
        passive.Quit();

        FtpClient automatic;
        ASSERT_TRUE(Open(automatic, user)) << automatic.Transcript();
        automatic.SetDataMode(FtpDataMode::Auto);
        ASSERT_TRUE(automatic.ChangeFolder("/files"));
        EXPECT_EQ(automatic.List("data-1000.bin"), 1) << automatic.LastReplyLine();
        EXPECT_EQ(automatic.DataMode(), FtpDataMode::Active);
        std::string body;
        EXPECT_TRUE(RetrieveAll(automatic, "data-1000.bin", 0, body)) << automatic.LastReplyLine();
        EXPECT_EQ(body, expected);
        automatic.Quit();
    }

    // A 227 naming an address we cannot reach: the data goes to the control connection's peer.
    FtpClient far;
    ASSERT_TRUE(Open(far, "farpasv")) << far.Transcript();
    far.SetDataMode(FtpDataMode::Passive);
    EXPECT_EQ(far.List("/files/data-1000.bin"), 1) << far.LastReplyLine();
    std::string body;
    EXPECT_TRUE(RetrieveAll(far, "/files/data-1000.bin", 0, body)) << far.LastReplyLine();
    EXPECT_EQ(body, expected);
    EXPECT_EQ(far.DataMode(), FtpDataMode::Passive);
    far.Quit();
}

TEST_F(FtpFaultTest, UnsafeListedNamesAreSkipped) {
    FtpClient client;
    ASSERT_TRUE(Open(client, "hostile")) << client.Transcript();
    client.SetDataMode(FtpDataMode::Passive);
    ASSERT_TRUE(client.ChangeFolder("/files"));
    EXPECT_EQ(client.List(""), 1) << client.LastReplyLine();
    const FtpEntry* good = FindEntry(client, "good.txt");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->size, 4u);
    EXPECT_EQ(client.SkippedNames(), (std::vector<std::string>{"../evil.txt", "sub/evil.txt"}));

    const std::string out = dir.File("out") + "/";
    EXPECT_EQ(Fetch(client, "/files/*", out), kResultOk) << client.LastReplyLine();
    EXPECT_EQ(FolderNames(out), std::set<std::string>{"good.txt"});
    EXPECT_EQ(Slurp(out + "good.txt"), "good");
    EXPECT_EQ(FolderNames(dir.path()), std::set<std::string>{"out"});
    for (const char* name : {"../evil.txt", "sub/evil.txt"}) {
        int reported = 0;
        for (const auto& event : sink.events) {
            reported += event.code == kEventMessage && event.text1.find(name) != std::string::npos;
        }
        EXPECT_EQ(reported, 1) << name;
    }
    EXPECT_EQ(CountEvents(sink, kEventFileResult), 1);
    client.Quit();
}

TEST_F(FtpFaultTest, SilentServerTimesOut) {
    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server->Port()));
    client.SetTimeouts({.connect = 5s, .reply = 1s, .data = 1s});
    const auto start = Clock::now();
    EXPECT_FALSE(client.Login("silent", "x"));
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_EQ(client.LastReplyCode(), ETIMEDOUT);
    EXPECT_FALSE(client.IsConnected());
    // Nothing waits again on the dropped connection.
    const auto again = Clock::now();
    EXPECT_FALSE(client.ChangeFolder("/files"));
    EXPECT_EQ(client.List(""), -1);
    EXPECT_LT(Clock::now() - again, 5s);
    client.Quit();
}

TEST_F(FtpFaultTest, StalledDataEndsOnTimeoutOrOnAStopRequest) {
    const std::string half = test::FaultBody(0, 2500);
    {
        FtpClient client;
        ASSERT_TRUE(Open(client, "stall", {.connect = 5s, .reply = 5s, .data = 1s}));
        client.SetDataMode(FtpDataMode::Passive);
        const std::string local = dir.File("stalled.bin");
        const auto start = Clock::now();
        EXPECT_EQ(Fetch(client, "/files/data-5000.bin", local), kResultBroken);
        EXPECT_LT(Clock::now() - start, 20s);
        ASSERT_NE(sink.Find(kEventFileResult), nullptr);
        EXPECT_EQ(sink.Find(kEventFileResult)->param1, kResultBroken);
        // What arrived stays, with the server's time, for a later resume.
        EXPECT_EQ(Slurp(local), half);
        EXPECT_EQ(LastWriteTime(local), kFaultTime);
        // Both answers of the abort were read: the next command gets its own.
        EXPECT_TRUE(client.ChangeFolder("/files")) << client.LastReplyLine();
        EXPECT_EQ(client.LastReplyCode(), 250);
        const auto quit = Clock::now();
        client.Quit();
        EXPECT_FALSE(client.IsConnected());
        EXPECT_LT(Clock::now() - quit, 10s);
    }
    {
        std::atomic<int> stopFlag{0};
        StartWatchingSink watcher;
        job.sink = &watcher;
        job.stopRequest = &stopFlag;
        FtpClient client(&stopFlag);
        ASSERT_TRUE(Open(client, "stall", {.connect = 5s, .reply = 30s, .data = 30s}));
        client.SetDataMode(FtpDataMode::Passive);
        Clock::time_point stoppedAt{};
        std::thread stopper([&] {
            const auto deadline = Clock::now() + 20s;
            while (!watcher.started && Clock::now() < deadline)
                std::this_thread::sleep_for(10ms);
            std::this_thread::sleep_for(300ms);
            stoppedAt = Clock::now();
            stopFlag = 2;
        });
        const int result = FetchFtp(client, "/files/data-5000.bin", dir.File("stopped.bin"), job);
        const auto ended = Clock::now();
        stopper.join();
        EXPECT_EQ(result, kResultStopped);
        EXPECT_LT(ended - stoppedAt, 10s);
        ASSERT_NE(watcher.Find(kEventFileResult), nullptr);
        EXPECT_EQ(watcher.Find(kEventFileResult)->param1, kResultStopped);
        EXPECT_EQ(Slurp(dir.File("stopped.bin")), half);
        client.Quit();
        EXPECT_FALSE(client.IsConnected());
        job.sink = &sink;
        job.stopRequest = &stop;
    }
}

}  // namespace
}  // namespace kov
