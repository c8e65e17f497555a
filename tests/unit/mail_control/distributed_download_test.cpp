#include "mail_control/distributed_download.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "mail_control/part_merger.h"
#include "mail_control/portion_queries.h"
#include "model/list_file.h"
#include "platform/file_util.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

TEST(DistributedDownload, PortionsCoverTheFileAndTheLastTakesTheRest) {
    struct Case {
        std::int64_t size;
        std::int32_t count, n;
        std::int64_t offset, length;
    } cases[] = {
        {1000001, 2, 1, 0, 500000},
        {1000001, 2, 2, 500000, 500001},
        {10, 3, 1, 0, 3},
        {10, 3, 3, 6, 4},
        {6000000000, 4, 4, 4500000000, 1500000000},
        {10, 3, 4, 0, 0} /* no such */,
        {0, 3, 1, 0, 0},
    };
    for (const Case& c : cases) {
        const PortionRange r = PortionOf(c.size, c.count, c.n);
        EXPECT_EQ(r.offset, c.offset) << c.size << "/" << c.count << " #" << c.n;
        EXPECT_EQ(r.length, c.length) << c.size << "/" << c.count << " #" << c.n;
    }
    UrlItem item = FreshItem();
    item.DstDlFileSize = 1000001;
    EXPECT_EQ(UpdatePartInfo(item), (std::vector<std::string>{"One part size is : 500,000 Bytes",
                                                              "File size : 1,000,001 Bytes"}));
    EXPECT_EQ(item.DstDlPartSize, 500000);
    item.DstDlFileSize = 0;
    EXPECT_TRUE(UpdatePartInfo(item).empty() && item.DstDlPartSize == 0);
    EXPECT_EQ(PartFilePath("/d/big.zip", 12), "/d/big.zip.012");
}

TEST(DistributedDownload, PortionsGoToTheChosenHostsInOrder) {
    constexpr std::optional<std::size_t> none;
    struct Case {
        std::int32_t count, own;
        std::size_t hosts;
        std::vector<std::optional<std::size_t>> host;  // per portion; none = not mailed
        std::int32_t local;                            // the portion kept here, 0 none
    } cases[] = {
        {3, 1, 3, {0, 1, 2}, 0},              // enough hosts: the own portion is mailed too
        {3, 3, 2, {0, 1, none}, 3},           // the own portion stays
        {3, 1, 2, {none, 0, 1}, 1},           // ...wherever it is; the others fill the hosts
        {4, 2, 1, {0, none, none, none}, 2},  // too few hosts: the rest get none
        {2, 1, 0, {none, none}, 1},
    };
    for (const Case& c : cases) {
        const auto targets = AssignPortions(c.count, c.own, c.hosts);
        ASSERT_EQ(targets.size(), c.host.size());
        for (std::size_t i = 0; i < targets.size(); ++i) {
            EXPECT_EQ(targets[i].portion, static_cast<std::int32_t>(i + 1));
            EXPECT_EQ(targets[i].host, c.host[i]) << c.count << "/" << c.hosts << " #" << i + 1;
            EXPECT_EQ(targets[i].local, targets[i].portion == c.local);
        }
    }
}

TEST(DistributedDownload, SendingMailsEachPortionAndReportsEveryFailure) {
    UrlItem item = FreshItem();
    item.Name = "iso";
    item.Url = "http://h/big.iso";
    item.DstDlActive = 1;
    item.DstDlFileSize = 3000;
    item.DstDlPartCount = 3;
    item.DstDlPartNo = 2;
    const std::vector<EmailHost> hosts = {{1, "a@x", "p"}, {0, "off@x", ""}, {1, "c@x", "q"}};
    std::vector<std::pair<std::size_t, std::string>> mailed;
    auto send = [&](std::size_t host, const std::string& text) {
        mailed.emplace_back(host, text);
        return host != 2;
    };
    const PortionSendReport report = SendPortionQueries(item, hosts, {0, 2}, send);
    ASSERT_EQ(mailed.size(), 2u);
    EXPECT_NE(mailed[0].second.find("DDNO:1\n"), std::string::npos) << mailed[0].second;
    EXPECT_NE(mailed[1].second.find("DDNO:3\n"), std::string::npos);
    EXPECT_EQ(mailed[1].first, 2u);
    EXPECT_EQ(report.lines,
              (std::vector<std::string>{"[iso- portion 1] send to a@x result: OK",
                                        "[iso- portion 3] send to c@x result: ERROR"}));
    EXPECT_FALSE(report.allSent);
    EXPECT_EQ(report.summary, "Some errors while sending Distributed Dl queries !");
    EXPECT_FALSE(OwnPortionMailed(report, 2));  // kept here

    mailed.clear();
    const PortionSendReport all = SendPortionQueries(item, hosts, {0, 0, 0}, send);
    EXPECT_EQ(mailed.size(), 3u);
    EXPECT_EQ(all.summary, "All distributed-download queries sent");
    EXPECT_TRUE(OwnPortionMailed(all, 2));  // nothing left for the local item
    EXPECT_FALSE(OwnPortionMailed(SendPortionQueries(item, hosts, {0, 2, 2}, send), 2));
    EXPECT_FALSE(SendPortionQueries(item, hosts, {0}, send).allSent);  // portion 3 has no host
}

TEST(DistributedDownload, PartDefinitionsHoldTheItemWithEachOtherPortion) {
    test::TempDir dir;
    test::RecordingPrompter prompter;
    UrlItem item = FreshItem();
    item.Name = "../a/b";
    item.Url = "http://h/big.iso";
    item.Dest = dir.path() + "/sub/";
    item.DstDlFileSize = 3000;
    item.DstDlPartCount = 3;
    item.DstDlPartNo = 2;
    MacroContext macros;
    macros.now = 1700000000;
    const PartDefinitions defs = CreatePartDefinitions(item, macros, prompter);
    ASSERT_TRUE(defs.ok) << defs.error;
    const std::string folder = dir.path() + "/sub/";
    EXPECT_EQ(defs.files, (std::vector<std::string>{folder + "Distributed-.._a_b.001.ini",
                                                    folder + "Distributed-.._a_b.003.ini"}));
    EXPECT_EQ(prompter.informed.back(), "Job definitions for distributed download created.");
    for (int n : {1, 3}) {
        const ListFileContent back = ReadListFile(defs.files[n == 1 ? 0 : 1], 0, prompter);
        ASSERT_EQ(back.items.size(), 1u);
        const UrlItem& got = back.items[0];
        EXPECT_TRUE(got.DstDlPartNo == n && got.Url == item.Url && got.DstDlFileSize == 3000 &&
                    got.DstDlPartCount == 3);
    }

    // A file where the folder should be: nothing is written, the reason is shown.
    ASSERT_TRUE(WriteFileAtomic(dir.File("plain"), "x"));
    item.Dest = dir.File("plain") + "/sub/";
    const PartDefinitions refused = CreatePartDefinitions(item, macros, prompter);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "Cannot create folder \r\n" + dir.File("plain") + "/sub/");
}

class Answer : public Prompter {
public:
    explicit Answer(bool yes) : m_yes(yes) {}
    void Inform(const std::string&) override {}
    bool Ask(const std::string& text, bool) override {
        asked = text;
        return m_yes;
    }
    std::string asked;

private:
    bool m_yes;
};

TEST(DistributedDownload, MergeJoinsCompletePartsOnlyAndNeverLeavesAHalfFile) {
    struct Case {
        const char* what;
        std::vector<const char*> parts;  // nullptr: missing
        std::int64_t fileSize;
        bool yes, stop;
        std::string error;  // "" for success; else the start of the error
    } cases[] = {
        {"kept", {"aaa", "bbb", "cccc"}, 10, false, false, ""},
        {"deleted", {"aaa", "bbb", "cccc"}, 10, true, false, ""},
        {"size unknown", {"aaa", "bbb", "cccc"}, 0, false, false, ""},
        {"second missing", {"aaa", nullptr, "cccc"}, 10, true, false, "File read error - "},
        {"short part", {"aaa", "bb", "cccc"}, 10, true, false, "File read error - "},
        {"stopped", {"aaa", "bbb", "cccc"}, 10, true, true, "stopped"},
        // Only regular files are parts: a link is not followed, a FIFO would block for ever.
        {"linked part", {"aaa", "@link", "cccc"}, 0, true, false, "File read error - "},
        {"fifo part", {"aaa", "@fifo", "cccc"}, 0, true, false, "File read error - "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir, outside;
        const std::string whole = dir.File("big.iso");
        std::string joined;
        for (std::size_t i = 0; i < c.parts.size(); ++i) {
            if (!c.parts[i]) continue;
            const std::string part = PartFilePath(whole, int(i + 1));
            if (c.parts[i] == std::string("@link")) {
                ASSERT_TRUE(WriteFileAtomic(outside.File("bbb"), "bbb"));
                ASSERT_EQ(symlink(outside.File("bbb").c_str(), part.c_str()), 0);
                continue;
            }
            if (c.parts[i] == std::string("@fifo")) {
                ASSERT_EQ(mkfifo(part.c_str(), 0600), 0);
                continue;
            }
            ASSERT_TRUE(WriteFileAtomic(part, c.parts[i]));
            joined += c.parts[i];
        }
        const std::time_t stamp = 1600000000;
        ASSERT_TRUE(SetFileTimes(PartFilePath(whole, 3), stamp, stamp));
        Answer answer(c.yes);
        std::vector<int> progress;
        const MergeResult r = MergeParts(
            {whole, "", 3, c.fileSize}, answer, [&](int p) { progress.push_back(p); },
            [&] { return c.stop; });
        EXPECT_EQ(r.ok, c.error.empty()) << r.error;
        EXPECT_EQ(r.error.substr(0, c.error.size()), c.error);
        if (!r.ok) {
            EXPECT_FALSE(FileExists(whole));
            const auto present = std::count_if(c.parts.begin(), c.parts.end(),
                                               [](const char* p) { return p != nullptr; });
            EXPECT_EQ(ListMatching(dir.path() + "/*").size(), static_cast<std::size_t>(present));
            continue;
        }
        EXPECT_EQ(dir.Read("big.iso"), joined);
        EXPECT_EQ(LastWriteTime(whole), stamp);
        EXPECT_EQ(progress.back(), 100);
        EXPECT_EQ(answer.asked, "File successfully created. Delete part files ?\r\n" + whole);
        EXPECT_EQ(FileExists(PartFilePath(whole, 1)), !c.yes);
        EXPECT_EQ(r.partsDeleted, c.yes);
    }
}

}  // namespace
}  // namespace kov
