#include "content/html/rewrite_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rewritten_text.h"

namespace kov {
namespace {

using Pass = std::vector<RewrittenRange>;

// Applies a pass to a text as the ripper does: each range of the text before the pass becomes
// as many copies of fill as its length asks.
std::string Apply(const std::string& text, Pass pass, char fill) {
    std::string out = text;
    std::sort(pass.begin(), pass.end(),
              [](const RewrittenRange& a, const RewrittenRange& b) { return a.begin > b.begin; });
    for (const RewrittenRange& r : pass)
        out.replace(r.begin, r.end - r.begin, std::string(r.length, fill));
    return out;
}

TEST(RewriteMap, RangesOfTheOriginalFollowEveryPass) {
    const std::string original = "0123456789abcdefghij";
    struct Case {
        const char* what;
        std::vector<Pass> passes;
        std::vector<RewrittenRange> ranges;
    } cases[] = {
        {"nothing", {}, {}},
        {"one longer, one shorter", {{{2, 4, 5}, {10, 15, 1}}}, {{2, 4, 5}, {10, 15, 1}}},
        {"a later pass behind a grown range",
         {{{2, 4, 5}}, {{12, 13, 2}}},
         {{2, 4, 5}, {9, 10, 2}}},
        {"a later pass inside an earlier range", {{{2, 6, 8}}, {{3, 5, 1}}}, {{2, 6, 7}}},
        {"a later pass over two ranges and what lies between",
         {{{2, 4, 1}, {8, 9, 3}}, {{2, 10, 2}}},
         {{2, 9, 2}}},
        {"ranges that meet become one", {{{2, 4, 2}}, {{4, 6, 0}}}, {{2, 6, 2}}},
        {"an insertion and an emptied range", {{{5, 5, 3}, {0, 2, 0}}}, {{0, 2, 0}, {5, 5, 3}}},
        {"three passes",
         {{{1, 2, 4}}, {{0, 1, 1}, {10, 12, 0}}, {{3, 8, 2}}},
         {{0, 5, 5}, {7, 9, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RewriteMap map;
        std::string text = original;
        char fill = 'A';
        for (const Pass& pass : c.passes) {
            text = Apply(text, pass, fill++);
            map.AddPass(pass);
        }
        EXPECT_EQ(map.Ranges(), c.ranges);
        EXPECT_EQ(test::Rebuild(original, text, map.Ranges()), text);
    }
}

}  // namespace
}  // namespace kov
