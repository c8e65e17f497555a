#include "net/transfer/segment_state_file.h"

#include <gtest/gtest.h>

#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

const SegmentState kState{100, "\"5f2b-64\"", {{0, 10}, {40, 60}, {90, 100}}};

TEST(SegmentStateFileTest, SavedStateLoadsBackAndReplacesTheOldOne) {
    test::TempDir dir;
    const std::string path = SegmentStatePath(dir.File("a.iso"));
    EXPECT_EQ(path, dir.File("a.iso.kovseg"));
    ASSERT_TRUE(SaveSegmentState(path, {100, "x", {{0, 100}}}));
    ASSERT_TRUE(SaveSegmentState(path, kState));
    EXPECT_EQ(LoadSegmentState(path), kState);
    EXPECT_EQ(ListMatching(dir.File("*")).size(), 1u) << "a temporary file was left";
    EXPECT_FALSE(LoadSegmentState(dir.File("none.kovseg")));
}

TEST(SegmentStateFileTest, RejectsWhatIsNotAWholeConsistentState) {
    const std::string good = FormatSegmentState(kState);
    ASSERT_EQ(ParseSegmentState(good), kState);
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"another file", "hello\n"},
        {"cut short", good.substr(0, good.size() - 4)},
        {"no size", "kov-segments 1\nsize 0\nvalidator x\nend\n"},
        {"no validator", "kov-segments 1\nsize 9\nvalidator \nend\n"},
        {"beyond the size", "kov-segments 1\nsize 9\nvalidator x\nmissing 5 10\nend\n"},
        {"overlapping", "kov-segments 1\nsize 9\nvalidator x\nmissing 0 5\nmissing 4 6\nend\n"},
        {"empty range", "kov-segments 1\nsize 9\nvalidator x\nmissing 3 3\nend\n"},
        {"not a number", "kov-segments 1\nsize 9\nvalidator x\nmissing a b\nend\n"},
        {"a control character", "kov-segments 1\nsize 9\nvalidator a\tb\nend\n"},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(ParseSegmentState(c.text)) << c.what;
}

}  // namespace
}  // namespace kov
