#include "content/rules/replace_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

class ReplaceFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.html", "b.HTM", "c.txt", "d.css", "e.html.bak", "sub/f.html"}) {
            ASSERT_TRUE(CreateFolders(FolderOf(dir.File(name))));
            ASSERT_TRUE(WriteFileAtomic(dir.File(name), std::string("ad ") + name, 0640));
        }
        rule.find = "ad";
        rule.replace = "--";
    }
    std::vector<std::string> Names(const std::vector<std::string>& paths) const {
        std::vector<std::string> names;
        for (const std::string& p : paths)
            names.push_back(p.substr(dir.path().size() + 1));
        return names;
    }

    test::TempDir dir;
    ReplaceRule rule;
};

TEST_F(ReplaceFolderTest, MasksChooseEachFileOnceInMaskOrder) {
    using List = std::vector<std::string>;
    const std::string folder = dir.path() + "/";
    const std::vector<std::pair<std::string, List>> cases = {
        {"", {"b.HTM", "a.html", "c.txt"}},  // mask order first
        {" \r\n", {"b.HTM", "a.html", "c.txt"}},
        {"*.css|*.txt", {"d.css", "c.txt"}},
        {"*.htm*;*.html,*", {"a.html", "b.HTM", "c.txt", "d.css"}},  // no file twice, no .bak
        {"../*.txt", {}},
    };
    for (const auto& [masks, expected] : cases) {
        EXPECT_EQ(Names(ReplaceTargets(folder, masks)), expected) << masks;
    }
}

TEST_F(ReplaceFolderTest, ApplyBacksUpChangedFilesAndRestorePutsThemBack) {
    std::vector<FileReplaceResult> results;
    const auto report = [&](const FileReplaceResult& r) { results.push_back(r); };
    EXPECT_EQ(ApplyToFolder(dir.path() + "/", {rule}, "*.html *.txt", report), 2u);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].count, 1u);
    EXPECT_FALSE(results[0].failed);
    EXPECT_EQ(dir.Read("a.html"), "-- a.html");
    EXPECT_EQ(dir.Read("a.html.bak"), "ad a.html");
    struct stat st {};
    EXPECT_TRUE(::stat(dir.File("a.html").c_str(), &st) == 0 && (st.st_mode & 0777) == 0640);
    EXPECT_EQ(dir.Read("sub/f.html"), "ad sub/f.html");  // sub-folders are left alone

    // A file without a match is neither rewritten nor backed up.
    rule.find = "zz";
    results.clear();
    EXPECT_EQ(ApplyToFolder(dir.File("d.css"), {rule}, "", report), 1u);
    EXPECT_EQ(results.at(0).count, 0u);
    EXPECT_FALSE(FileExists(dir.File("d.css.bak")));

    // Without deleting, the restore can be repeated; e.html.bak has no file yet and gets one.
    EXPECT_EQ(RestoreFolder(dir.path(), false), 3u);
    EXPECT_EQ(dir.Read("a.html"), "ad a.html");
    EXPECT_EQ(dir.Read("e.html"), "ad e.html.bak");
    EXPECT_EQ(RestoreFolder(dir.path(), true), 3u);
    EXPECT_FALSE(FileExists(dir.File("c.txt.bak")));
    EXPECT_EQ(RestoreFolder(dir.path(), true), 0u);
}

TEST_F(ReplaceFolderTest, AStopEndsARunBetweenTwoFiles) {
    std::atomic<int> stop{0};
    const std::vector<std::string> files = {dir.File("a.html"), dir.File("c.txt"),
                                            dir.File("d.css")};
    std::size_t reported = 0;
    const auto report = [&](const FileReplaceResult&) {
        if (++reported == 2) stop = 2;
    };
    EXPECT_EQ(ApplyToFiles(files, {rule}, report, &stop), 2u);
    EXPECT_EQ(dir.Read("c.txt"), "-- c.txt");
    EXPECT_EQ(dir.Read("c.txt.bak"), "ad c.txt");
    EXPECT_EQ(dir.Read("d.css"), "ad d.css");
    EXPECT_FALSE(FileExists(dir.File("d.css.bak")));
    EXPECT_EQ(RestoreFolder(dir.path(), true, nullptr, &stop), 0u);
    EXPECT_TRUE(FileExists(dir.File("c.txt.bak")));
}

}  // namespace
}  // namespace kov
