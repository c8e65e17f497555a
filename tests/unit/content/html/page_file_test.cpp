#include "content/html/page_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace kov
