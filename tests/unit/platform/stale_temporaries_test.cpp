#include <gtest/gtest.h>

#include "platform/atomic_file_writer.h"
#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

// What a writer killed mid-save leaves goes at the next start; everything else in the folder
// stays, the user's own hidden files included.
TEST(StaleTemporaries, OnlyTheTemporariesOfOurSavesGo) {
    struct Case {
        const char* name;
        bool removed;
    } cases[] = {
        {".kov.ini.uI8QzP", true},
        {".Default.ini.a1B2c3", true},
        {".seen_queries.txt.XYZ123", true},
        {".seen_queries.pending.abcdef", true},
        {"kov.ini", false},
        {".kov.ini", false},
        {".kov.ini.short", false},
        {".kov.ini.ab-def", false},
        {".bashrc.abcdef", false},
        {".photo.jpg.abcdef", false},
    };
    test::TempDir dir;
    for (const Case& c : cases)
        ASSERT_TRUE(WriteFileAtomic(dir.File(c.name), "x"));
    // The name the writer itself gives its temporary is recognised (the fifth).
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir.File("lists.ini")));
    EXPECT_EQ(RemoveStaleTemporaries(dir.File("")), 5);
    for (const Case& c : cases)
        EXPECT_EQ(FileExists(dir.File(c.name)), !c.removed) << c.name;
}

}  // namespace
}  // namespace kov
