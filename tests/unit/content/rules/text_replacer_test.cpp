#include "content/rules/text_replacer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

ReplaceRule Rule(std::string find, std::string repl, int action, bool multiple = false,
                 bool icase = false) {
    return ReplaceRule{"", std::move(find), std::move(repl), action, icase, multiple};
}

struct ApplyCase {
    const char* name;
    std::string text;
    std::vector<ReplaceRule> rules;
    std::string expected;
    std::uint64_t count;
};

TEST(TextReplacer, ActionsChangeTheTextAndCountTheirMatches) {
    const std::vector<ApplyCase> cases = {
        {"replace first only", "a-b-a-b", {Rule("a", "xy", 0)}, "xy-b-a-b", 1},
        {"replace all", "a-b-a-b", {Rule("a", "", 0, true)}, "-b--b", 2},
        {"replace ignoring case", "Ad ad AD", {Rule("ad", "x", 0, true, true)}, "x x x", 3},
        {"case kept when asked", "Ad ad", {Rule("ad", "x", 0, true)}, "Ad x", 1},
        {"empty find does nothing", "abc", {Rule("", "x", 0, true)}, "abc", 0},
        {"cut from beginning keeps what follows the last match",
         "h<b>1<b>2",
         {Rule("<b>", "", 1, true)},
         "2",
         2},
        {"cut from beginning, first match only", "h<b>1<b>2", {Rule("<b>", "", 1)}, "1<b>2", 1},
        {"cut to the end stops at the first match",
         "body<!--a-->x<!--b-->",
         {Rule("<!--", "", 2, true)},
         "body",
         1},
        {"cut between markers", "a[ad]b[ad]c", {Rule("[", "]", 3, true)}, "abc", 2},
        {"cut between without an end marker changes nothing",
         "a[ad b",
         {Rule("[", "]", 3)},
         "a[ad b",
         0},
        {"rules work on what the ones before left",
         "one two",
         {Rule("one", "two", 0), Rule("two two", "2", 0)},
         "2",
         2},
        {"an unknown action does nothing", "abc", {Rule("b", "x", 9)}, "abc", 0},
        {"escaped line ends match an empty line",
         "a\r\n\r\nb",
         {Rule("\\r\\n\\r\\n", "\\_", 0)},
         "a b",
         1},
    };
    for (const ApplyCase& c : cases) {
        TextReplacer replacer;
        replacer.SetText(c.text);
        EXPECT_EQ(replacer.Apply(c.rules), c.count) << c.name;
        EXPECT_EQ(replacer.Text(), c.expected) << c.name;
    }
}

TEST(TextReplacer, ATextCutToNothingKeepsItsCountForTheNextRules) {
    // The page rules step counts each set's matches as the difference of two results.
    TextReplacer replacer;
    replacer.SetText("ab\ncd\n");
    EXPECT_EQ(replacer.Apply({Rule("\\n", "", 1, true, true)}), 2u);
    EXPECT_EQ(replacer.Text(), "");
    EXPECT_EQ(replacer.Apply({Rule("x", "y", 0)}), 2u);
}

TEST(TextReplacer, UnescapesInOrderAndNothingElse) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\\nb\\rc\\td\\_e", "a\nb\rc\td e"},
        {"\\\\n", "\\\n"},  // plain replacement in order: the second backslash and n go first
        {"\\x\\", "\\x\\"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(TextReplacer::Unescape(in), out) << in;
}

TEST(TextReplacer, FailuresCarryTheirCodes) {
    TextReplacer idle;
    EXPECT_EQ(idle.Apply({Rule("a", "b", 0)}), 0u);
    EXPECT_EQ(idle.ErrorCode(), kReplaceNoText);

    // A rule that could grow the text past the limit is skipped; the next one still runs.
    TextReplacer big;
    big.SetText(std::string(1000, 'a'));
    EXPECT_EQ(big.Apply({Rule("a", std::string(600000, 'b'), 0), Rule("aa", "c", 0)}), 1u);
    EXPECT_EQ(big.ErrorCode(), kReplaceTooLarge);
    EXPECT_EQ(big.Text(), "c" + std::string(998, 'a'));

    test::TempDir dir;
    const std::string page = dir.File("sub/p.html");
    ASSERT_TRUE(CreateFolders(dir.File("sub")) && WriteFileAtomic(page, "abc"));
    TextReplacer none;
    ASSERT_TRUE(none.Load(page));
    EXPECT_EQ(none.Apply({Rule("x", "y", 0)}), 0u);
    EXPECT_FALSE(none.Save(true));
    EXPECT_EQ(none.ErrorCode(), kReplaceNothingDone);

    TextReplacer gone;
    ASSERT_TRUE(gone.Load(page));
    gone.Apply({Rule("b", "x", 0)});
    std::filesystem::remove_all(dir.File("sub"));
    EXPECT_FALSE(gone.Save(false));
    EXPECT_EQ(gone.ErrorCode(), kReplaceCannotWrite);
    EXPECT_NE(gone.ErrorText().find("p.html"), std::string::npos) << gone.ErrorText();

    EXPECT_FALSE(LoadApplySave(dir.File("missing.html"), {Rule("a", "b", 0)}, false).loaded);
}

}  // namespace
}  // namespace kov
