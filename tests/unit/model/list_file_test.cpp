#include "model/list_file.h"

#include <gtest/gtest.h>

#include <set>

#include "core/profile_store.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

constexpr std::time_t kNow = 1765000000;  // a fixed "now" for damaged dates

UrlItem Load(const std::string& text, int number = 1, bool* exists = nullptr) {
    test::RecordingPrompter prompter;
    ProfileStore store(&prompter);
    store.LoadText(text);
    UrlItem item = FreshItem();
    const bool found = LoadItem(store, number, item, kNow);
    if (exists) *exists = found;
    return item;
}

std::time_t LocalDay(int y, int m, int d) {
    CalendarTime c;
    c.year = y;
    c.month = m;
    c.day = d;
    return MakeTime(c);
}

TEST(ListFile, MissingKeysTakeTheirDefaults) {
    bool exists = false;
    const UrlItem item = Load("[item 1]\nUrl=http://example.com/\n", 1, &exists);
    ASSERT_TRUE(exists);
    EXPECT_EQ(item.Name, "NoName");
    EXPECT_EQ(item.UpdateMode, kUpdateSkip);  // neither the new key nor the old flags
    EXPECT_EQ(item.EnableReplace, 0);
    EXPECT_EQ(item.NestedDepth, 0);
    EXPECT_EQ(item.DstDlPartCount, 2);
    EXPECT_EQ(item.DstDlPartNo, 1);
    EXPECT_EQ(item.lastDL, LocalDay(1990, 1, 1));
    EXPECT_TRUE(item.rules.empty());
    Load("[item 1]\nName=x\n", 1, &exists);
    EXPECT_FALSE(exists);
}

TEST(ListFile, UpdateModeFallsBackToOldFlags) {
    EXPECT_EQ(Load("[item 1]\nUrl=u\nOverWrite=1\nupdate=1\n").UpdateMode, kUpdateOverwrite);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nupdate=1\n").UpdateMode, kUpdateAuto);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nUpdateMode=-3\nOverWrite=1\n").UpdateMode, kUpdateOverwrite);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nUpdateMode=1\n").UpdateMode, kUpdateOverwrite);
}

TEST(ListFile, LoadNormalisesNumbers) {
    UrlItem item =
        Load("[item 1]\nUrl=u\nCurrentNum=-5\nStopNumber=-1\nTolerance=-1\nDstDlPartCount=0\n");
    EXPECT_EQ(item.CurrentNum, 0);
    EXPECT_EQ(item.StopNumber, 0);
    EXPECT_EQ(item.Tolerance, 0);
    EXPECT_EQ(item.DstDlPartCount, 2);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nTolerance=1001\n").Tolerance, 0);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nTolerance=1000\n").Tolerance, 1000);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nDstDlFileSize=6000000000\n").DstDlFileSize, 6000000000);
}

TEST(ListFile, LastDownloadDateParsing) {
    EXPECT_EQ(Load("[item 1]\nUrl=u\nLastDL=2005.03.07\n").lastDL, LocalDay(2005, 3, 7));
    EXPECT_EQ(Load("[item 1]\nUrl=u\nlastdl=2005.3.7\n").lastDL, LocalDay(2005, 3, 1));
    EXPECT_EQ(Load("[item 1]\nUrl=u\nLastDL=x2005.03.07\n").lastDL, kNow);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nLastDL=2005.13.07\n").lastDL, kNow);
    EXPECT_EQ(Load("[item 1]\nUrl=u\nLastDL=\n").lastDL, LocalDay(1990, 1, 1));
}

TEST(ListFile, RulesStopAtTheFirstEmptyFindText) {
    const UrlItem item = Load(
        "[item 1]\nUrl=u\ns_find1=a\ns_repl1=b\ns_action1=3\ns_icase1=1\ns_mult1=1\n"
        "s_find2=c\ns_find3=\ns_find4=d\n");
    ASSERT_EQ(item.rules.size(), 2u);
    EXPECT_EQ(item.rules[0].replace, "b");
    EXPECT_EQ(item.rules[0].action, 3);
    EXPECT_EQ(item.rules[0].ignoreCase, 1);
    EXPECT_EQ(item.rules[1].find, "c");
    EXPECT_EQ(item.rules[1].multiple, 0);
}

TEST(ListFile, SaveWritesConditionalKeysOnlyWhenSet) {
    test::RecordingPrompter prompter;
    ProfileStore store(&prompter);
    store.LoadText("");
    UrlItem item = FreshItem();
    item.Name = "n";
    item.Url = "http://x/";
    item.UserPsw = "secret";  // without a user name neither key is written
    ASSERT_TRUE(SaveItem(store, 1, item, prompter));
    std::string text = store.Serialize();
    for (const char* key : {"UserPsw", "UserName", "Referer", "days=", "dayShift", "CurrentNum",
                            "StopNumber", "Tolerance"}) {
        EXPECT_EQ(text.find(key), std::string::npos) << key;
    }
    item.UserName = "me";
    item.days = 3;
    item.dayShift = -1;
    item.NumBased = 1;
    SaveItem(store, 1, item, prompter);
    text = store.Serialize();
    for (const char* key : {"UserPsw=secret", "UserName=me", "days=3", "dayShift=-1",
                            "CurrentNum=0", "StopNumber=0", "Tolerance=0"}) {
        EXPECT_NE(text.find(key), std::string::npos) << key;
    }
}

TEST(ListFile, SaveAndLoadRoundTrip) {
    UrlItem item = FreshItem();
    item.Name = "Daily \xD0\x96";
    item.Url = "http://example.com/{YYYY}/{MM}/page.html";
    item.Dest = "/srv/dl/";
    item.Cmd = "echo *";
    item.Referer = "http://example.com/";
    item.days = 2;
    item.dayShift = 1;
    item.nfsize = 100;
    item.nfString = "Not Found";
    item.ID = "F0F-1";
    item.UpdateMode = kUpdateOverwrite;
    item.NumBased = 1;
    item.CurrentNum = 7;
    item.StopNumber = 20;
    item.Tolerance = 3;
    item.ConType = 2;
    item.lastDL = LocalDay(2026, 12, 6);
    item.rules = {{"", "a", "b", 0, 1, 0}, {"", "c", "", 3, 0, 1}};
    item.UserName = "u";
    item.UserPsw = "p";
    item.Upload = 1;
    item.UploadServer = "ftp.example.com:2121";
    item.DstDlFileSize = 5000000000;
    item.CEType = 10;
    item.CEComeFrom = "a@example.org";
    test::RecordingPrompter prompter;
    ProfileStore store(&prompter);
    store.LoadText("");
    ASSERT_TRUE(SaveItem(store, 1, item, prompter));
    UrlItem back = FreshItem();
    ProfileStore reread(&prompter);
    reread.LoadText(store.Serialize());
    ASSERT_TRUE(LoadItem(reread, 1, back, kNow));
    EXPECT_EQ(back.Name, item.Name);
    EXPECT_EQ(back.Url, item.Url);
    EXPECT_EQ(back.Cmd, item.Cmd);
    EXPECT_EQ(back.UpdateMode, item.UpdateMode);
    EXPECT_EQ(back.CurrentNum, 7);
    EXPECT_EQ(back.Tolerance, 3);
    EXPECT_EQ(back.ConType, 2);
    EXPECT_EQ(back.lastDL, item.lastDL);
    ASSERT_EQ(back.rules.size(), 2u);
    EXPECT_EQ(back.rules[1].action, 3);
    EXPECT_EQ(back.rules[1].multiple, 1);
    EXPECT_EQ(back.UploadServer, item.UploadServer);
    EXPECT_EQ(back.DstDlFileSize, 5000000000);
    EXPECT_EQ(back.CEComeFrom, item.CEComeFrom);
    EXPECT_EQ(back.EnableReplace, 1);
    EXPECT_EQ(back.NestedDepth, 1);
}

TEST(ListFile, ListsEndAtTheFirstGapAndSavesRenumber) {
    test::TempDir dir;
    const std::string path = dir.File("list.ini");
    ASSERT_TRUE(WriteFileAtomic(path,
                                "; my list\n[item 1]\nUrl=a\nID=1\n[item 2]\nUrl=b\n"
                                "[item 4]\nUrl=d\nID=4\n"));
    test::RecordingPrompter prompter;
    int newIds = 0;
    const std::vector<UrlItem> items = ReadListFile(path, 0xABC, prompter, &newIds);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(newIds, 1);
    EXPECT_EQ(items[1].ID.rfind("ABC-", 0), 0u);

    ASSERT_TRUE(WriteListFile(path, {&items[0], &items[1]}, prompter));
    const std::string text = *ReadFile(path);
    EXPECT_EQ(text.rfind("; my list\n[item 1]\nName=NoName\nID=1\nUrl=a\n", 0), 0u);
    EXPECT_NE(text.find("[item 2]"), std::string::npos);
    EXPECT_EQ(text.find("[item 4]"), std::string::npos);

    // A new item takes the first free number.
    UrlItem third = FreshItem();
    third.Url = "c";
    ASSERT_TRUE(AppendItemToFile(path, third, prompter));
    EXPECT_EQ(ReadListFile(path, 1, prompter).size(), 3u);
}

TEST(ListFile, FailedWriteLeavesTheOldFile) {
    test::TempDir dir;
    test::RecordingPrompter prompter;
    UrlItem item = FreshItem();
    item.Url = "x";
    EXPECT_FALSE(WriteListFile(dir.File("no/such/folder/list.ini"), {&item}, prompter));
    EXPECT_FALSE(AppendItemToFile(dir.File("no/such/folder/list.ini"), item, prompter));
    EXPECT_FALSE(FileExists(dir.File("no")));
}

TEST(ListFile, JunkAndHugeValuesLoadWithinCapacities) {
    test::TempDir dir;
    const std::string path = dir.File("junk.ini");
    std::string junk = "[item 1]\nUrl=" + std::string(5000, 'u') +
                       "\nName=" + std::string(300, 'n') +
                       "\xD0\x96\ns_find1=" + std::string(400, 'f') +
                       "\nLastDL=9999999999999999999\nCurrentNum=99999999999999\n[item 2]\n";
    unsigned seed = 7;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        junk += static_cast<char>(seed >> 24);
    }
    ASSERT_TRUE(WriteFileAtomic(path, junk));
    test::RecordingPrompter prompter;
    const std::vector<UrlItem> items = ReadListFile(path, 1, prompter);
    ASSERT_GE(items.size(), 1u);
    EXPECT_EQ(items[0].Url.size(), UrlItem::kUrlCapacity);
    EXPECT_EQ(items[0].Name.size(), UrlItem::kNameCapacity);
    ASSERT_EQ(items[0].rules.size(), 1u);
    EXPECT_EQ(items[0].rules[0].find.size(), ReplaceRule::kTextCapacity);
    EXPECT_EQ(items[0].CurrentNum, 2147483647);
    for (const UrlItem& item : items) {
        EXPECT_LE(item.Url.size(), UrlItem::kUrlCapacity);
        EXPECT_LE(item.Dest.size(), UrlItem::kDestCapacity);
    }
}

TEST(ListFile, ItemIdsAreUniqueAndShort) {
    std::set<std::string> ids;
    for (int i = 0; i < 2000; ++i) {
        const std::string id = MakeItemId(0xFFFFFFFF);
        EXPECT_LT(id.size(), 32u);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 2000u);
    EXPECT_EQ(MakeItemId(0xF0F).rfind("F0F-", 0), 0u);
}

}  // namespace
}  // namespace kov
