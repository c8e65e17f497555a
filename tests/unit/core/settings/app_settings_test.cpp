#include "core/settings/app_settings.h"

#include <gtest/gtest.h>

#include "core/settings/profile_store.h"
#include "support/recording_prompter.h"

namespace kov {
namespace {

AppSettings LoadFromText(const std::string& text, const std::string& folder = "/p/") {
    test::RecordingPrompter prompter;
    ProfileStore store(&prompter);
    store.LoadText(text);
    AppSettings s;
    LoadSettings(store, s, folder);
    return s;
}

// Values that counts, times and series are computed from are clamped on load, so that a
// hand-edited file cannot make later arithmetic overflow.
TEST(AppSettings, LoadBringsValuesIntoRange) {
    const AppSettings s = LoadFromText(
        "[KOV-Main]\nLogDetail=5\nTransparency=300\nMaxThreads=99\nDownloadFlags=65537\n"
        "ReDialCount=70000\nChkUpdInterval=2147483647\nSpeedLimitInet=-1\nCurLstNum=-4\n"
        "[NewUrlDefaults]\nStopNumber=2147483647\nTolerance=-1\ndays=999\ndayShift=-9999\n"
        "interval=-7\nnfsize=9999999\nUpdateMode=5\n"
        "[Schedule]\nTask1=t\nListName1=Main\nDays1=-1\n[CtrByEmail]\nPollInterval=-3\n"
        "[Remote]\nPort=70000\n");
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {s.LogDetail, 2},
        {s.Transparency, 250},
        {s.MaxThreads, 32},
        {s.DownloadFlags, 1},
        {s.ReDialCount, 4464},
        {s.ChkUpdInterval, 3650},
        {s.SpeedLimitInet, 0},
        {s.CurLstNum, 0},
        {s.newUrl.StopNumber, 2147483646},
        {s.newUrl.Tolerance, 0},
        {s.newUrl.days, 365},
        {s.newUrl.dayShift, -365},
        {s.newUrl.interval, -1},
        {s.newUrl.nfsize, 500000},
        {s.newUrl.UpdateMode, 0},
        {s.schedule.tasks.at(0).Days, 127},
        {s.email.PollInterval, 0},
        {s.remote.Port, 6990},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    const AppSettings low =
        LoadFromText("[KOV-Main]\nLogDetail=-1\nTransparency=-5\nMaxThreads=0\n");
    EXPECT_EQ(low.LogDetail, 0);
    EXPECT_EQ(low.Transparency, 0);
    EXPECT_EQ(low.MaxThreads, 1);
}

TEST(AppSettings, TextsAreCutToTheirCapacityOnAUtf8Boundary) {
    const std::string longName(200, 'x');
    const AppSettings s = LoadFromText("[KOV-Main]\nUser-Agent=" + longName +
                                       "\nProxyUser=" + std::string(30, 'u') + "\xD0\x96\n");
    EXPECT_EQ(s.UserAgent.size(), 127u);
    EXPECT_EQ(s.ProxyUser, std::string(30, 'u'));  // 32 bytes cut to 31 would split the Ж
}

TEST(AppSettings, ListsStopAtTheFirstGap) {
    const AppSettings s = LoadFromText(
        "[UrlList 1]\nName=Main\nFileName=/p/Default.ini\nSaveFolder=/p/Download/Main/\n"
        "[UrlList 2]\nName=News\nFileName=/p/News.ini\n"
        "[UrlList 4]\nName=Lost\nFileName=/p/Lost.ini\n");
    ASSERT_EQ(s.lists.size(), 2u);
    EXPECT_EQ(s.lists[1].Name, "News");
    EXPECT_EQ(s.lists[1].SaveFolder, "");
}

TEST(AppSettings, ScheduleAndEmailTablesLoad) {
    const AppSettings s = LoadFromText(
        "[Schedule]\nEnabled=1\nTask1=Morning\nListName1=Main\nStartTime1=07:30\n"
        "StopTime1=08:00\nDays1=31\nTask2=\nListName2=News\nSpeedLimited2=2\nEnabled2=0\n"
        "Task3=\nListName3=\nTask4=Hidden\nListName4=Main\n"
        "[CtrByEmail]\nPollInterval=5\nHostEmail1=a@example.org\nHostPsw1=pw\n"
        "HostEmail2=b@example.org\nEnabled2=0\nHostEmail4=c@example.org\n");
    EXPECT_EQ(s.schedule.Enabled, 1);
    ASSERT_EQ(s.schedule.tasks.size(), 2u);
    EXPECT_EQ(s.schedule.tasks[0].TaskName, "Morning");
    EXPECT_EQ(s.schedule.tasks[0].Days, 31);
    EXPECT_EQ(s.schedule.tasks[0].Enabled, 1);  // default
    EXPECT_EQ(s.schedule.tasks[1].ListName, "News");
    EXPECT_EQ(s.schedule.tasks[1].Enabled, 0);
    EXPECT_EQ(s.schedule.tasks[1].SpeedLimited, 2);
    EXPECT_EQ(s.email.PollInterval, 5);
    ASSERT_EQ(s.email.hosts.size(), 2u);
    EXPECT_EQ(s.email.hosts[0].HostPsw, "pw");
    EXPECT_EQ(s.email.hosts[0].Enabled, 1);
    EXPECT_EQ(s.email.hosts[1].Enabled, 0);
}

TEST(AppSettings, SaveWritesSectionsInOrderAndLosesNothing) {
    AppSettings s;
    s.ProxyAddress = "proxy:3128";
    s.ChkUpdLastDate = {2026, 12, 6, 9, 5, 0, 0};
    s.Column[3] = 99;
    s.lists.push_back({"Main", "/p/Default.ini", "/p/Download/Main/"});
    s.lists.push_back({"News", "/p/News.ini", ""});
    s.newUrl.Cmd = "echo *";
    s.schedule.Enabled = 1;
    s.schedule.tasks.push_back({"Morning", "Main", "07:30", "00:00", 127, 1, 1});
    s.schedule.tasks.push_back({"", "", "00:00", "00:00", 0, 1, 0});  // would end the table
    s.schedule.tasks.push_back({"Evening", "News", "19:00", "20:00", 3, 0, 2});
    s.email.SmtpServer = "smtp.example.org:2525";
    s.email.hosts.push_back({1, "a@example.org", "pw"});
    s.email.hosts.push_back({0, "b@example.org", ""});
    s.remote = {1, "0.0.0.0", 7001, 1};

    ProfileStore store;
    store.LoadText("");
    ASSERT_TRUE(SaveSettings(store, s));
    const std::string text = store.Serialize();
    const auto at = [&](const char* header) { return text.find(header); };
    ASSERT_NE(at("[KOV-Main]"), std::string::npos);
    EXPECT_LT(at("[KOV-Main]"), at("[UrlList 1]"));
    EXPECT_LT(at("[UrlList 1]"), at("[UrlList 2]"));
    EXPECT_LT(at("[UrlList 2]"), at("[NewUrlDefaults]"));
    EXPECT_LT(at("[NewUrlDefaults]"), at("[Schedule]"));
    EXPECT_LT(at("[Schedule]"), at("[CtrByEmail]"));
    EXPECT_LT(at("[CtrByEmail]"), at("[Remote]"));
    EXPECT_NE(text.find("ChkUpdLastDate=2026.12.06 09:05:00\n"), std::string::npos);
    EXPECT_NE(text.find("Column10=124\n"), std::string::npos);

    ProfileStore reread;
    reread.LoadText(text);
    AppSettings back;
    LoadSettings(reread, back, "/p/");
    EXPECT_EQ(back.ProxyAddress, s.ProxyAddress);
    EXPECT_EQ(back.ChkUpdLastDate, s.ChkUpdLastDate);
    EXPECT_EQ(back.Column, s.Column);
    ASSERT_EQ(back.lists.size(), 2u);
    EXPECT_EQ(back.lists[0].SaveFolder, "/p/Download/Main/");
    EXPECT_EQ(back.newUrl.Cmd, "echo *");
    ASSERT_EQ(back.schedule.tasks.size(), 2u);
    EXPECT_EQ(back.schedule.tasks[1].TaskName, "Evening");
    EXPECT_EQ(back.schedule.tasks[1].SpeedLimited, 2);
    EXPECT_EQ(back.email.SmtpServer, "smtp.example.org:2525");
    ASSERT_EQ(back.email.hosts.size(), 2u);
    EXPECT_EQ(back.email.hosts[1].Enabled, 0);
    EXPECT_EQ(back.remote.Address, "0.0.0.0");
    EXPECT_EQ(back.remote.Port, 7001);
    EXPECT_EQ(back.remote.AllowCommands, 1);
}

TEST(AppSettings, ConditionalAndReadOnlyKeys) {
    AppSettings s =
        LoadFromText("[KOV-Main]\nWndStatus=2\nDialUser=me\nDialPsw=secret\nReDialCount=0\n");
    EXPECT_EQ(s.WndStatus, 2);
    EXPECT_EQ(s.DialUser, "me");
    ProfileStore store;
    store.LoadText("");
    ASSERT_TRUE(SaveSettings(store, s));
    std::string text = store.Serialize();
    for (const char* key : {"WndStatus=", "DialUser=", "DialPsw=", "ProxyUser=", "ProxyPsw=",
                            "FtpProxyUser=", "FtpProxyPsw=", "DialupItem=", "ReDialCount="}) {
        EXPECT_EQ(text.find(std::string("\n") + key), std::string::npos) << key;
    }
    s.ProxyUser = "u";
    s.DialupItem = "Home";
    s.ReDialCount = 3;
    ASSERT_TRUE(SaveSettings(store, s));
    text = store.Serialize();
    EXPECT_NE(text.find("\nProxyUser=u\n"), std::string::npos);
    EXPECT_NE(text.find("\nDialupItem=Home\n"), std::string::npos);
    EXPECT_NE(text.find("\nReDialCount=3\n"), std::string::npos);

    ProfileStore unopened;
    EXPECT_FALSE(WriteColumnWidths(unopened, s));
    EXPECT_FALSE(SaveSettings(unopened, s));
}

}  // namespace
}  // namespace kov
