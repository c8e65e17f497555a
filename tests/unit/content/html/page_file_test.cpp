#include "content/html/page_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

// A page is read whole whatever its size, and only a regular file is a page: a folder or a
// FIFO in its place gives nothing (and a FIFO is not waited on for a writer).
TEST(PageFile, LoadsRegularFilesWholeAndNothingElse) {
    test::TempDir dir;
    struct Case {
        const char* what;
        std::size_t size;  // of a regular file written first
        bool loads;
    } cases[] = {
        {"empty", 0, true},        {"one byte", 1, true},
        {"one read", 65536, true}, {"several reads", 200003, true},
        {"folder", 0, false},      {"fifo", 0, false},
        {"missing", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.File(c.what);
        std::string text;
        for (std::size_t i = 0; i < c.size; ++i)
            text += static_cast<char>('a' + i % 26);
        if (c.loads) {
            ASSERT_TRUE(WriteFileAtomic(path, text, 0640));
        }
        if (std::string(c.what) == "folder") {
            ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
        }
        if (std::string(c.what) == "fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        }
        PageFile page;
        EXPECT_EQ(page.Load(path), c.loads);
        if (c.loads) {
            EXPECT_EQ(page.text, text);
        }
    }
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

// A rewritten page takes the place of the old text whatever their sizes, keeps the mode and
// times it was read with, and stays the same file; a page with a second name is replaced
// instead, so the other name keeps the text it had.
TEST(PageFile, SavesOverTheFileItWasReadFrom) {
    test::TempDir dir;
    const std::string before = "<html>" + std::string(70000, 'o') + "</html>";
    struct Case {
        const char* what;
        std::string text;
        bool secondName;
        bool samePlace;  // the same inode afterwards
    } cases[] = {
        {"same size", std::string(before.size(), 's'), false, true},
        {"longer", before + std::string(9000, 'l'), false, true},
        {"shorter", "<html>short</html>", false, true},
        {"empty", "", false, true},
        {"hard linked", "<html>new</html>", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.File(std::string(c.what) + ".html");
        const std::string other = path + ".other";
        ASSERT_TRUE(WriteFileAtomic(path, before, 0604));
        ASSERT_TRUE(SetFileTimes(path, 1000000000, 1200000000));
        if (c.secondName) {
            ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
        }
        PageFile page;
        ASSERT_TRUE(page.Load(path));
        const struct stat read = StatOf(path);
        ASSERT_TRUE(page.Save(c.text));
        const struct stat written = StatOf(path);  // before a read sets the access time
        EXPECT_EQ(ReadFile(path).value_or("?"), c.text);
        EXPECT_EQ(written.st_ino == read.st_ino, c.samePlace);
        EXPECT_EQ(written.st_mode & 07777, 0604u);
        EXPECT_EQ(written.st_mtime, 1200000000);
        EXPECT_EQ(written.st_atime, 1000000000);
        if (c.secondName) {
            EXPECT_EQ(ReadFile(other).value_or("?"), before);
        }
    }
}

}  // namespace
}  // namespace kov
