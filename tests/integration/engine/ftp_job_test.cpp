#include <gtest/gtest.h>

#include "engine/download_job.h"
#include "job_test_fixture.h"
#include "net/http/inet.h"
#include "support/fault_server.h"
#include "support/ftp_fault_server.h"
#include "support/missing_server.h"
#include "support/vsftpd_server.h"

namespace kov {
namespace {

constexpr std::time_t kServerTime = 1700000000;  // 2023-11-14 22:13:20 UTC

class FtpJobTest : public test::JobTest {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        if (test::VsftpdServer::Available()) {
            vsftpd = std::make_unique<test::VsftpdServer>();
            vsftpd->WriteFile("pub/a.txt", "hello over ftp", kServerTime);
            vsftpd->WriteFile("pub/num3.txt", "three", kServerTime);
            vsftpd->WriteFile("pub/num4.txt", "four", kServerTime);
            if (!vsftpd->Start()) {
                ADD_FAILURE() << "vsftpd did not start: " << vsftpd->Log();
                vsftpd.reset();
            }
        }
        if (test::FtpFaultServer::Available()) {
            faults = std::make_unique<test::FtpFaultServer>();
            if (!faults->Start()) {
                ADD_FAILURE() << "the FTP fault server did not start";
                faults.reset();
            }
        }
    }
    static void TearDownTestSuite() {
        vsftpd.reset();
        faults.reset();
    }

    static std::unique_ptr<test::VsftpdServer> vsftpd;
    static std::unique_ptr<test::FtpFaultServer> faults;
};

std::unique_ptr<test::VsftpdServer> FtpJobTest::vsftpd;
std::unique_ptr<test::FtpFaultServer> FtpJobTest::faults;

TEST_F(FtpJobTest, FetchAndASeriesOnOneConnection) {
    if (!vsftpd) KOV_SKIP_WITHOUT_SERVER() << "vsftpd needs root";
    Run(Item(vsftpd->Url("/pub/a.txt")));
    EXPECT_EQ(events.Codes(), test::kOneFile);
    EXPECT_EQ(events.Last(kEventFileStarted)->text1, "ftp://127.0.0.1/pub/a.txt");
    EXPECT_EQ(Slurp(Local("dl/a.txt")), "hello over ftp");

    // A missing number ends the series (tolerance 0); the connection made for the first
    // address serves the others.
    UrlItem series = Item(vsftpd->Url("/pub/num%u.txt"), "series/");
    series.NumBased = 1;
    series.CurrentNum = 3;
    Run(series);
    EXPECT_EQ(Slurp(Local("series/num4.txt")), "four");
    EXPECT_EQ(events.Count(kEventSeriesAdvanced), 2);
    EXPECT_EQ(events.Count(kEventFtpNoListing), 1);  // num5 is not there
    EXPECT_EQ(events.Codes().back(), kEventJobFinished);
}

TEST_F(FtpJobTest, LoginOrConnectFailureEndsTheJobWithoutFileEvents) {
    if (!vsftpd) KOV_SKIP_WITHOUT_SERVER() << "vsftpd needs root";
    UrlItem badLogin = Item(vsftpd->Url("/pub/a.txt"));
    badLogin.UserName = test::VsftpdServer::kUser;
    badLogin.UserPsw = "wrong";
    const std::pair<UrlItem, int> cases[] = {{badLogin, 2}, {Item("ftp://127.0.0.1:1/a.txt"), 1}};
    for (const auto& [item, stage] : cases) {
        Run(item);
        EXPECT_EQ(events.Codes(), (std::vector<int>{kEventJobStarted, kEventConnecting,
                                                    kEventConnectionError, kEventJobFinished}));
        EXPECT_EQ(events.Last(kEventConnectionError)->param1, stage);
    }
    EXPECT_EQ(events.Last(kEventConnectionError)->text1, "FTP server down on this Host");
    EXPECT_FALSE(FileExists(Local("dl/a.txt")));
}

TEST_F(FtpJobTest, DeliveredFileIsUploaded) {
    if (!vsftpd) KOV_SKIP_WITHOUT_SERVER() << "vsftpd needs root";
    UrlItem item = Item(vsftpd->Url("/pub/a.txt"));
    item.Upload = 1;
    item.UploadServer = "127.0.0.1:" + std::to_string(vsftpd->Port());
    item.UploadLogin = test::VsftpdServer::kUser;
    item.UploadPassword = test::VsftpdServer::kPassword;
    item.UploadFolder = "upload/%Y/%M";  // made level by level
    env->now = [] { return kServerTime; };
    Run(item);
    ASSERT_NE(events.Last(kEventUploadEnded), nullptr);
    EXPECT_EQ(events.Last(kEventUploadEnded)->param1, 226) << events.Last(kEventUploadEnded)->text2;
    EXPECT_EQ(Slurp(vsftpd->UploadFolder() + "/2023/11/a.txt"), "hello over ftp");

    // A refused upload login is reported, and the download still counts.
    item.UpdateMode = kUpdateOverwrite;
    item.UploadPassword = "wrong";
    Run(item);
    ASSERT_NE(events.Last(kEventUploadError), nullptr);
    EXPECT_EQ(events.Last(kEventUploadError)->param1, 530);
    EXPECT_EQ(events.Last(kEventFileResult)->param1, kResultOk);
}

TEST_F(FtpJobTest, FtpProxyGetsTheWholeAddress) {
    test::FaultServer proxy;
    if (!test::FaultServer::Available() || !proxy.Start())
        KOV_SKIP_WITHOUT_SERVER() << "no python3";
    // Nothing listens on port 1: only the proxy can answer. The fault server echoes the
    // request it was sent.
    settings.FtpProxy = 1;
    settings.FtpProxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());
    settings.BypassProxyLocal = 0;
    Run(Item("ftp://127.0.0.1:1/echo", "proxy/echo.txt"));
    EXPECT_EQ(events.Last(kEventFileResult)->param1, kResultOk);
    EXPECT_NE(Slurp(Local("proxy/echo.txt")).find("GET ftp://127.0.0.1:1/echo"), std::string::npos);

    // A local host bypasses the proxy when asked to: the direct connection finds nobody.
    settings.BypassProxyLocal = 1;
    Run(Item("ftp://127.0.0.1:1/echo", "proxy/direct.txt"));
    ASSERT_NE(events.Last(kEventConnectionError), nullptr);
    EXPECT_EQ(events.Last(kEventConnectionError)->param1, 1);
}

TEST_F(FtpJobTest, PassiveModeSettingReachesTheClient) {
    if (!faults) KOV_SKIP_WITHOUT_SERVER() << "python3 is not installed";
    // The server refuses passive mode: "always passive" fails, "always active" works.
    settings.FtpPasvMode = 2;
    Run(Item(faults->Url("nopasv", "/files/data-5000.bin")));
    EXPECT_EQ(events.Count(kEventFileResult), 0);
    EXPECT_EQ(events.Count(kEventFtpNoListing), 1);

    settings.FtpPasvMode = 1;
    Run(Item(faults->Url("nopasv", "/files/data-5000.bin")));
    EXPECT_EQ(Slurp(Local("dl/data-5000.bin")), test::FaultBody(0, 5000));
}

}  // namespace
}  // namespace kov
