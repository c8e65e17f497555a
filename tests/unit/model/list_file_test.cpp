#include "model/list_file.h"

#include <gtest/gtest.h>

#include <set>

#include "core/prompter.h"
#include "core/settings/profile_store.h"
#include "model/exchange_format.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

constexpr std::time_t kNow = 1765000000;  // a fixed "now" for damaged dates

UrlItem Load(const std::string& keys, bool* exists = nullptr) {
    test::RecordingPrompter prompter;
    ProfileStore store(&prompter);
    store.LoadText("[item 1]\n" + keys);
    UrlItem item = FreshItem();
    const bool found = LoadItem(store, 1, item, kNow);
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

class ListFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::RecordingPrompter prompter;
};

TEST(ListFile, MissingKeysTakeTheirDefaults) {
    bool exists = false;
    const UrlItem item = Load("Url=http://example.com/\n", &exists);
    ASSERT_TRUE(exists);
    EXPECT_EQ(item.Name, "NoName");
    EXPECT_EQ(item.UpdateMode, kUpdateSkip);  // neither the new key nor the old flags
    EXPECT_EQ(item.EnableReplace, 0);
    Load("Name=x\n", &exists);
    EXPECT_FALSE(exists);
}

// Stored numbers are brought into range on load, so that no later sum or product of them can
// overflow (a series at the top of int32, a part plan of a billion parts).
TEST(ListFile, LoadBringsNumbersIntoRange) {
    struct Case {
        const char* keys;
        std::int64_t UrlItem::*wide;
        std::int32_t UrlItem::*field;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"UpdateMode=1\n", nullptr, &UrlItem::UpdateMode, kUpdateOverwrite},
        {"OverWrite=1\nupdate=1\n", nullptr, &UrlItem::UpdateMode, kUpdateOverwrite},
        {"update=1\n", nullptr, &UrlItem::UpdateMode, kUpdateAuto},
        {"UpdateMode=-3\nOverWrite=1\n", nullptr, &UrlItem::UpdateMode, kUpdateOverwrite},
        {"UpdateMode=9\n", nullptr, &UrlItem::UpdateMode, kUpdateAuto},
        {"CurrentNum=-5\n", nullptr, &UrlItem::CurrentNum, 0},
        {"CurrentNum=2147483647\n", nullptr, &UrlItem::CurrentNum, 2147483646},
        {"StopNumber=-1\n", nullptr, &UrlItem::StopNumber, 0},
        {"StopNumber=99999999999\n", nullptr, &UrlItem::StopNumber, 2147483646},
        {"Tolerance=-1\n", nullptr, &UrlItem::Tolerance, 0},
        {"Tolerance=1001\n", nullptr, &UrlItem::Tolerance, 0},
        {"Tolerance=1000\n", nullptr, &UrlItem::Tolerance, 1000},
        {"days=100000\n", nullptr, &UrlItem::days, 365},
        {"dayShift=-2147483648\n", nullptr, &UrlItem::dayShift, -700},
        {"interval=-9\n", nullptr, &UrlItem::interval, -1},
        {"interval=99999\n", nullptr, &UrlItem::interval, 365},
        {"nfsize=-4\n", nullptr, &UrlItem::nfsize, 0},
        {"DstDlPartCount=0\n", nullptr, &UrlItem::DstDlPartCount, 2},
        {"DstDlPartCount=2000000000\n", nullptr, &UrlItem::DstDlPartCount, kMaxParts},
        {"DstDlPartCount=4\nDstDlPartNo=9\n", nullptr, &UrlItem::DstDlPartNo, 4},
        {"DstDlPartNo=-3\n", nullptr, &UrlItem::DstDlPartNo, 1},
        {"DstDlFileSize=6000000000\n", &UrlItem::DstDlFileSize, nullptr, 6000000000},
        {"DstDlFileSize=-6\n", &UrlItem::DstDlFileSize, nullptr, 0},
        {"DstDlPartSize=9223372036854775807\n", &UrlItem::DstDlPartSize, nullptr, kMaxPartBytes},
    };
    for (const Case& c : cases) {
        const UrlItem item = Load(std::string("Url=u\n") + c.keys);
        EXPECT_EQ(c.wide ? item.*c.wide : item.*c.field, c.expected) << c.keys;
    }
    EXPECT_EQ(Load("Url=u\nConType=12\n").ConType, 0);
    EXPECT_EQ(Load("Url=u\ns_find1=a\ns_action1=7\n").rules.at(0).action, 0);
}

// A depth out of range is read as one level on every way an item comes in: clamped to 32, a
// one-page item (or a hostile mailed one) would rip the whole site.
TEST(ListFile, NestedDepthOutOfRangeIsOneLevelOnEveryLoadPath) {
    const std::pair<const char*, int> cases[] = {
        {"0", 0}, {"1", 1}, {"32", 32}, {"33", 1}, {"40", 1}, {"-1", 1}, {"99999999999", 1},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(Load(std::string("Url=u\nNestedDepth=") + value + "\n").NestedDepth, expected)
            << "list file " << value;
        const std::vector<UrlItem> mailed =
            ReadBlock(std::string("<URL>\nHREF:u\nNEST:") + value + "\n</URL>\n", kNow);
        ASSERT_EQ(mailed.size(), 1u);
        EXPECT_EQ(mailed[0].NestedDepth, expected) << "exchange block " << value;
    }
}

TEST(ListFile, LastDownloadDatesParseOrFallBack) {
    const std::pair<const char*, std::time_t> cases[] = {
        {"LastDL=2005.03.07\n", LocalDay(2005, 3, 7)},
        {"lastdl=2005.3.7\n", LocalDay(2005, 3, 1)},
        {"LastDL=x2005.03.07\n", kNow},
        {"LastDL=2005.13.07\n", kNow},
        {"LastDL=\n", LocalDay(1990, 1, 1)},
    };
    for (const auto& [keys, expected] : cases)
        EXPECT_EQ(Load(std::string("Url=u\n") + keys).lastDL, expected) << keys;
}

TEST(ListFile, RulesStopAtTheFirstEmptyFindText) {
    const UrlItem item = Load(
        "Url=u\ns_find1=a\ns_repl1=b\ns_action1=3\ns_icase1=1\ns_mult1=1\n"
        "s_find2=c\ns_find3=\ns_find4=d\n");
    ASSERT_EQ(item.rules.size(), 2u);
    EXPECT_EQ(item.rules[0].replace, "b");
    EXPECT_EQ(item.rules[0].action, 3);
    EXPECT_EQ(item.rules[1].find, "c");
}

TEST(ListFile, SaveWritesConditionalKeysOnlyWhenSetAndRoundTrips) {
    ProfileStore store(nullptr);
    store.LoadText("");
    UrlItem item = FreshItem();
    item.Name = "Daily \xD0\x96";
    item.Url = "http://example.com/{YYYY}/page.html";
    item.UserPsw = "secret";  // without a user name neither key is written
    ASSERT_TRUE(SaveItem(store, 1, item, DefaultPrompter()));
    for (const char* key :
         {"UserPsw", "UserName", "Referer", "days=", "dayShift", "CurrentNum", "Tolerance"})
        EXPECT_EQ(store.Serialize().find(key), std::string::npos) << key;

    item.UserName = "me";
    item.days = 2;
    item.dayShift = -1;
    item.NumBased = 1;
    item.CurrentNum = 7;
    item.Tolerance = 3;
    item.UpdateMode = kUpdateOverwrite;
    item.ConType = 2;
    item.lastDL = LocalDay(2026, 12, 6);
    item.rules = {{"", "a", "b", 0, 1, 0}, {"", "c", "", 3, 0, 1}};
    item.DstDlFileSize = 5000000000;
    item.CEComeFrom = "a@example.org";
    store.LoadText("");
    ASSERT_TRUE(SaveItem(store, 1, item, DefaultPrompter()));
    ProfileStore reread(nullptr);
    reread.LoadText(store.Serialize());
    UrlItem back = FreshItem();
    ASSERT_TRUE(LoadItem(reread, 1, back, kNow));
    ProfileStore again(nullptr);
    again.LoadText("");
    ASSERT_TRUE(SaveItem(again, 1, back, DefaultPrompter()));
    EXPECT_EQ(again.Serialize(), store.Serialize());
    EXPECT_EQ(back.lastDL, item.lastDL);
}

// A gap in the numbering or an item without Url used to end the list, and the next save then
// dropped every item after it.
TEST_F(ListFileTest, EveryItemSectionIsReadInNumberOrderAndSavesRenumber) {
    const std::string path = dir.File("list.ini");
    ASSERT_TRUE(WriteFileAtomic(path,
                                "; my list\n[item 4]\nUrl=d\nID=4\n[item 1]\nUrl=a\nID=1\n"
                                "[item 2]\nName=no url\n[Item 3]\nUrl=c\nID=3\n[item 07]\nUrl=x\n"
                                "[item 10]\nUrl=j\n[other]\nUrl=o\n"));
    ListFileContent content = ReadListFile(path, 0xABC, prompter);
    ASSERT_EQ(content.error, "");
    std::vector<std::string> urls;
    for (const UrlItem& item : content.items)
        urls.push_back(item.Url);
    EXPECT_EQ(urls, (std::vector<std::string>{"a", "c", "d", "j"}));
    EXPECT_EQ(content.newIds, 1);
    EXPECT_EQ(content.items[3].ID.rfind("ABC-", 0), 0u);

    std::vector<const UrlItem*> items;
    for (const UrlItem& item : content.items)
        items.push_back(&item);
    ASSERT_TRUE(WriteListFile(path, items, prompter));
    const std::string text = *ReadFile(path);
    EXPECT_EQ(text.rfind("; my list\n[item 1]\nName=NoName\nID=1\nUrl=a\n", 0), 0u);
    EXPECT_NE(text.find("[item 4]\nName=NoName\nID=" + content.items[3].ID + "\nUrl=j\n"),
              std::string::npos);
    EXPECT_EQ(text.find("[item 10]"), std::string::npos);

    // An appended item goes after the last one, not into a gap.
    ASSERT_TRUE(WriteFileAtomic(path, "[item 1]\nUrl=a\n[item 2]\nName=old\n[item 3]\nUrl=c\n"));
    UrlItem added = FreshItem();
    added.Url = "e";
    ASSERT_TRUE(AppendItemToFile(path, added, prompter));
    EXPECT_NE(ReadFile(path)->find("[item 4]\nName=\nID=\nUrl=e\n"), std::string::npos);
    EXPECT_EQ(ReadListFile(path, 1, prompter).items.back().Url, "e");
}

TEST_F(ListFileTest, UnreadableOrUnwritableFilesAreErrorsAndNothingIsWritten) {
    const std::string folder = dir.File("folder.ini");
    ASSERT_TRUE(CreateFolders(folder));
    const ListFileContent content = ReadListFile(folder, 1, prompter);
    EXPECT_TRUE(content.items.empty());
    EXPECT_EQ(content.error, folder + ": Is a directory");
    EXPECT_TRUE(ReadListFile(dir.File("missing.ini"), 1, prompter).error.empty());

    UrlItem item = FreshItem();
    item.Url = "x";
    std::string error;
    EXPECT_FALSE(WriteListFile(folder, {&item}, prompter, &error));
    EXPECT_EQ(error, folder + ": Is a directory");
    EXPECT_FALSE(AppendItemToFile(folder, item, prompter, &error));
    EXPECT_TRUE(FolderExists(folder));
    const std::string nowhere = dir.File("no/such/folder/list.ini");
    EXPECT_FALSE(WriteListFile(nowhere, {&item}, prompter, &error));
    EXPECT_EQ(error, nowhere + ": No such file or directory");
    EXPECT_FALSE(FileExists(dir.File("no")));
}

TEST_F(ListFileTest, JunkAndHugeValuesLoadWithinCapacities) {
    const std::string path = dir.File("junk.ini");
    std::string junk =
        "[item 1]\nUrl=" + std::string(5000, 'u') + "\nName=" + std::string(300, 'n') +
        "\xD0\x96\ns_find1=" + std::string(400, 'f') + "\nLastDL=9999999999999999999\n[item 2]\n";
    unsigned seed = 7;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        junk += static_cast<char>(seed >> 24);
    }
    ASSERT_TRUE(WriteFileAtomic(path, junk));
    const std::vector<UrlItem> items = ReadListFile(path, 1, prompter).items;
    ASSERT_GE(items.size(), 1u);
    EXPECT_EQ(items[0].Url.size(), UrlItem::kUrlCapacity);
    EXPECT_EQ(items[0].Name.size(), UrlItem::kNameCapacity);
    EXPECT_EQ(items[0].rules.at(0).find.size(), ReplaceRule::kTextCapacity);
    for (const UrlItem& item : items)
        EXPECT_LE(item.Dest.size(), UrlItem::kDestCapacity);
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
