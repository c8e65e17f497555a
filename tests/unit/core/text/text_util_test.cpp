#include "core/text/text_util.h"

#include <gtest/gtest.h>

#include "core/language/message_table.h"
#include "core/text/display_format.h"

namespace kov {
namespace {

TEST(TextUtil, CapTextNeverSplitsAUtf8Sequence) {
    // "Ж" is two bytes, "€" three, "😀" four.
    EXPECT_EQ(CapText("abcdef", 3), "abc");
    EXPECT_EQ(CapText("a\xD0\x96", 2), "a");
    EXPECT_EQ(CapText("a\xD0\x96", 3), "a\xD0\x96");
    EXPECT_EQ(CapText("ab\xE2\x82\xAC", 4), "ab");
    EXPECT_EQ(CapText("\xF0\x9F\x98\x80x", 3), "");
    EXPECT_EQ(CapText("\xF0\x9F\x98\x80x", 4), "\xF0\x9F\x98\x80");
    // Bytes that are no UTF-8 at all are cut where asked.
    EXPECT_EQ(CapText(std::string(10, '\x80'), 5).size(), 5u);
    EXPECT_EQ(CapText("", 0), "");
}

TEST(TextUtil, CaseInsensitiveHelpersFoldAsciiOnly) {
    EXPECT_TRUE(IEquals("LastDL", "lastdl"));
    EXPECT_FALSE(IEquals("\xD0\x96", "\xD0\xB6"));  // Ж / ж stay different
    EXPECT_EQ(IFind("Hello World", "WORLD"), 6u);
    EXPECT_EQ(IFind("abc", "abcd"), std::string_view::npos);
    EXPECT_TRUE(IStartsWith("HTTP://x", "http://"));
    EXPECT_TRUE(IEndsWith("list.INI", ".ini"));
    EXPECT_EQ(TrimBlanks(" \t key \t"), "key");
}

TEST(TextUtil, ParseInt32ReadsLikeAtoiAndSaturates) {
    EXPECT_EQ(ParseInt32("12abc"), 12);
    EXPECT_EQ(ParseInt32("abc"), 0);
    EXPECT_EQ(ParseInt32("  -42"), -42);
    EXPECT_EQ(ParseInt32("+7"), 7);
    EXPECT_EQ(ParseInt32("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseInt32("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseUint64("18446744073709551615"), 18446744073709551615ull);
    EXPECT_EQ(ParseUint64("18446744073709551616"), 18446744073709551615ull);
    EXPECT_EQ(ParseUint64("-5"), 0u);
}

TEST(TextUtil, GroupDigitsWritesThousandsAndRoundsHalfUp) {
    EXPECT_EQ(GroupDigits(std::int64_t{0}), "0");
    EXPECT_EQ(GroupDigits(std::int64_t{999}), "999");
    EXPECT_EQ(GroupDigits(std::int64_t{1000}), "1,000");
    EXPECT_EQ(GroupDigits(std::int64_t{1234567}), "1,234,567");
    EXPECT_EQ(GroupDigits(std::int64_t{-1234567}), "-1,234,567");
    EXPECT_EQ(GroupDigits(std::int64_t{1234567}, '\0'), "1234567");
    EXPECT_EQ(GroupDigits(INT64_MIN), "-9,223,372,036,854,775,808");
    EXPECT_EQ(GroupDigits(0.5, 2), "0.50");
    EXPECT_EQ(GroupDigits(1234.565, 2), "1,234.57");
    EXPECT_EQ(GroupDigits(2.675, 2), "2.68");
    EXPECT_EQ(GroupDigits(-1999.995, 2), "-2,000.00");
    EXPECT_EQ(GroupDigits(12.0, 0), "12");
}

TEST(DisplayFormat, SizeTextSwitchesToKilobytesAbove512000) {
    EXPECT_EQ(SizeText(512000), "512,000");
    EXPECT_EQ(SizeText(512001), "500 Kb");
    EXPECT_EQ(SizeText(1234567), "1,205 Kb");
    EXPECT_EQ(SizeText(0), "0");
}

TEST(DisplayFormat, SpeedTextSwitchesToKilobytesAbove4096) {
    EXPECT_EQ(SpeedText(std::uint64_t{4096}), "4096 Bytes/sec");
    EXPECT_EQ(SpeedText(std::uint64_t{4097}), "4.00 KB/sec");
    EXPECT_EQ(SpeedText(4096.0), "4096 Bytes/sec");
    EXPECT_EQ(SpeedText(4096.5), "4.00 KB/sec");
    EXPECT_EQ(SpeedText(std::uint64_t{1048576}), "1024.00 KB/sec");
}

TEST(MessageTable, LookupsAndReplacedTexts) {
    const auto table = MessageTable();
    ASSERT_EQ(table.size(), static_cast<std::size_t>(EventCode::Count));
    EXPECT_EQ(GetString(static_cast<int>(table.size())), ":)");
    EXPECT_EQ(GetString(-1), ":)");
    EXPECT_EQ(FindMessageKey("jobfinished"), static_cast<int>(EventCode::JobFinished));
    EXPECT_EQ(FindMessageKey("NoSuchKey"), -1);

    // A replaced unit text shows in the speed text too.
    SetMessageText(static_cast<int>(EventCode::SpeedKB), "KB/s");
    EXPECT_EQ(SpeedText(std::uint64_t{8192}), "8.00 KB/s");
    ResetMessageTexts();
    EXPECT_EQ(GetString(EventCode::SpeedKB), "KB/sec");
}

}  // namespace
}  // namespace kov
