#include "core/settings/folded_name_index.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kov {
namespace {

// Names live with the caller, as they do in a store: scope s, position p -> names[s][p].
struct Names {
    std::vector<std::vector<std::string>> byScope = std::vector<std::vector<std::string>>(3);
    FoldedNameIndex index;

    std::string_view operator()(std::uint32_t scope, std::uint32_t pos) const {
        return byScope[scope][pos];
    }
    void Add(std::uint32_t scope, const std::string& name) {
        byScope[scope].push_back(name);
        index.AddFirst(scope, name, static_cast<std::uint32_t>(byScope[scope].size() - 1), *this);
    }
    std::uint32_t Find(std::uint32_t scope, std::string_view name) const {
        return index.Find(scope, name, *this);
    }
};

TEST(FoldedNameIndexTest, FindsTheFirstPositionOfANameInItsScopeIgnoringCase) {
    Names n;
    for (const char* name : {"Url", "Dest", "URL", "s_find1", "", "dest"})
        n.Add(0, name);
    n.Add(1, "url");
    struct Case {
        std::uint32_t scope;
        std::string name;
        std::uint32_t pos;
    };
    const Case cases[] = {
        {0, "url", 0},
        {0, "URL", 0},
        {0, "DEST", 1},
        {0, "S_FIND1", 3},
        {0, "", 4},
        {1, "Url", 0},
        {1, "Dest", FoldedNameIndex::kNone},
        {2, "url", FoldedNameIndex::kNone},
        {0, "ur", FoldedNameIndex::kNone},
        {0, "urlx", FoldedNameIndex::kNone},
        {0, "s_find1 ", FoldedNameIndex::kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(n.Find(c.scope, c.name), c.pos) << c.scope << " '" << c.name << "'";
    EXPECT_EQ(n.index.Size(), 5u);  // "URL" and "dest" were second and not recorded
}

TEST(FoldedNameIndexTest, ManyNamesSurviveGrowthAndClearEmptiesIt) {
    Names n;
    n.index.Reserve(100);
    for (int i = 0; i < 5000; ++i)
        n.Add(static_cast<std::uint32_t>(i % 3), "Key" + std::to_string(i));
    for (int i = 0; i < 5000; ++i) {
        const auto scope = static_cast<std::uint32_t>(i % 3);
        ASSERT_EQ(n.Find(scope, "KEY" + std::to_string(i)), static_cast<std::uint32_t>(i / 3)) << i;
        ASSERT_EQ(n.Find((scope + 1) % 3, "key" + std::to_string(i)), FoldedNameIndex::kNone);
    }
    n.index.Clear();
    EXPECT_EQ(n.index.Size(), 0u);
    EXPECT_EQ(n.Find(0, "Key0"), FoldedNameIndex::kNone);
}

}  // namespace
}  // namespace kov
