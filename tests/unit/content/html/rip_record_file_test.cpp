#include "content/html/rip_record_file.h"

#include <gtest/gtest.h>

#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

class RipRecordFileTest : public ::testing::Test {
protected:
    RipRecordFileTest() {
        records.resize(3);
        records[0] = {"http://h/", dir.File("index.html"), "", "", 1, 0, 0, false, true, true};
        records[1] = {"http://h/a b\t\"c\".html",
                      dir.File("a.html"),
                      "#top",
                      "http://h/x/",
                      1,
                      1,
                      0,
                      true,
                      true,
                      true};
        records[2] = {"http://h/p.png", dir.File("p.png"), "", "", 4, 0, 1, true, false, false};
    }
    static void ExpectSame(const LinkRecord& a, const LinkRecord& b) {
        EXPECT_EQ(a.url, b.url);
        EXPECT_EQ(a.localPath, b.localPath);
        EXPECT_EQ(a.fragment, b.fragment);
        EXPECT_EQ(a.finalUrl, b.finalUrl);
        EXPECT_EQ(std::tie(a.kind, a.depth, a.parent, a.fetch, a.downloaded, a.html),
                  std::tie(b.kind, b.depth, b.parent, b.fetch, b.downloaded, b.html));
    }

    test::TempDir dir;
    RipRecordFile file{dir.File("index.html")};
    std::vector<LinkRecord> records;
};

TEST_F(RipRecordFileTest, KeptBesideTheMainPageUnderItsFingerprint) {
    EXPECT_EQ(file.Path(), dir.File(".index.html.kov-rip"));
    EXPECT_FALSE(file.Exists());
    EXPECT_FALSE(file.Load("f"));
    ASSERT_TRUE(file.Save("f", records));
    const std::optional<std::vector<LinkRecord>> loaded = file.Load("f");
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        ExpectSame((*loaded)[i], records[i]);
    EXPECT_FALSE(file.Load("other settings"));
    EXPECT_TRUE(file.Exists());
}

// A damaged or foreign file is not used.
TEST_F(RipRecordFileTest, DamagedFilesAreNotUsed) {
    ASSERT_TRUE(file.Save("f", records));
    const std::string good = *ReadFile(file.Path());
    auto replace = [&](std::string from, std::string to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    for (const std::string& text :
         {std::string("not json"), std::string("[]"), good.substr(0, good.size() / 2),
          replace("\"version\":1", "\"version\":2"), replace("\"kind\":4", "\"kind\":\"4\""),
          replace("\"parent\":1", "\"parent\":7"),
          replace("\"url\":\"http://h/\"", "\"link\":\"http://h/\"")}) {
        ASSERT_TRUE(WriteFileAtomic(file.Path(), text));
        EXPECT_FALSE(file.Load("f")) << text;
    }
}

// A save killed half way leaves "." + the record file's name + ".XXXXXX"; only those go.
TEST_F(RipRecordFileTest, LeftoversOfKilledSavesAreRemoved) {
    const char* gone[] = {"..index.html.kov-rip.aB3xYz", "..index.html.kov-rip.000000"};
    const char* kept[] = {".index.html.kov-rip",          "..index.html.kov-rip.aB3xY",
                          "..index.html.kov-rip.aB3xYz1", "..index.html.kov-rip.aB3-Yz",
                          "..other.html.kov-rip.aB3xYz",  ".index.html.aB3xYz"};
    for (const char* name : gone)
        ASSERT_TRUE(WriteFileAtomic(dir.File(name), "x", 0644));
    for (const char* name : kept)
        ASSERT_TRUE(WriteFileAtomic(dir.File(name), "x", 0644));
    EXPECT_EQ(file.RemoveLeftovers(), 2);
    for (const char* name : gone)
        EXPECT_FALSE(FileExists(dir.File(name))) << name;
    for (const char* name : kept)
        EXPECT_TRUE(FileExists(dir.File(name))) << name;
}

}  // namespace
}  // namespace kov
