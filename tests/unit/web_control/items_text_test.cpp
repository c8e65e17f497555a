#include "web_control/items_text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "web_control/item_json.h"

namespace kov {
namespace {

// Rows by id; a row's text names its id and its version, so a changed row has a new text.
struct Layout {
    std::size_t list = 1;
    std::vector<std::pair<RowId, int>> rows;  // id, version
};

Layout Ids(std::size_t count, std::size_t list = 1) {
    Layout layout{list, {}};
    for (std::size_t i = 0; i < count; ++i)
        layout.rows.push_back({static_cast<RowId>(i + 1), 0});
    return layout;
}

Layout With(Layout layout, std::size_t at, int version) {
    layout.rows[at].second = version;
    return layout;
}

Layout Without(Layout layout, std::size_t at) {
    layout.rows.erase(layout.rows.begin() + static_cast<long>(at));
    return layout;
}

// The texts stay alive across layouts, as the keeper keeps them: same id and version, same text.
class Tails {
public:
    ItemsText::Rows Of(const Layout& layout) {
        ItemsText::Rows rows;
        for (const auto& [id, version] : layout.rows) {
            auto& tail = m_tails[{id, version}];
            if (!tail) {
                tail = std::make_shared<const std::string>("\"name\":\"" + std::to_string(id) +
                                                           "v" + std::to_string(version) + "\"}");
            }
            rows.push_back({id, tail});
        }
        return rows;
    }

private:
    std::map<std::pair<RowId, int>, std::shared_ptr<const std::string>> m_tails;
};

std::string Expected(const Layout& layout, Tails& tails) {
    std::string text = "[";
    const ItemsText::Rows rows = tails.Of(layout);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i) text += ',';
        AppendItemHead(text, rows[i].id, layout.list, i + 1);
        text += *rows[i].tail;
    }
    return text + ']';
}

std::string Joined(const ItemsText& items) {
    std::string text;
    for (const std::string_view piece : *items.Text())
        text += piece;
    return text;
}

// Each case assembles its layouts in turn on one keeper's last text: every text must be what
// a text made from nothing would be, whichever blocks were taken over.
TEST(ItemsTextTest, EveryAssemblyEqualsOneMadeFromNothing) {
    const std::size_t n = 3 * ItemsText::kBlock + 5;
    struct Case {
        const char* what;
        std::vector<Layout> layouts;
    } const cases[] = {
        {"unchanged", {Ids(n), Ids(n)}},
        {"one row changed in a middle block", {Ids(n), With(Ids(n), ItemsText::kBlock + 3, 1)}},
        {"first and last rows changed", {Ids(n), With(With(Ids(n), 0, 1), n - 1, 2)}},
        {"a row removed shifts the rest", {Ids(n), Without(Ids(n), 2)}},
        {"rows added to the last block", {Ids(n), Ids(n + 3)}},
        {"rows added make a new block", {Ids(2 * ItemsText::kBlock), Ids(n)}},
        {"another list", {Ids(n), Ids(n, 2)}},
        {"emptied and filled again", {Ids(n), Ids(0), Ids(n)}},
        {"changed back", {Ids(n), With(Ids(n), 7, 1), Ids(n)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tails tails;
        auto last = std::make_shared<ItemsText::Last>();
        int made = 0;
        for (const Layout& layout : c.layouts) {
            const ItemsText items(layout.list, tails.Of(layout), std::to_string(++made), last);
            EXPECT_EQ(Joined(items), Expected(layout, tails));
            EXPECT_TRUE(items.Same(layout.list, tails.Of(layout)));
        }
    }
}

TEST(ItemsTextTest, OneItemIsItsPartOfTheList) {
    Tails tails;
    const Layout layout = Ids(5, 3);
    const ItemsText items(3, tails.Of(layout), "t", std::make_shared<ItemsText::Last>());
    std::string fourth;
    AppendItemHead(fourth, 4, 3, 4);
    EXPECT_EQ(items.Item(4), fourth + "\"name\":\"4v0\"}");
    EXPECT_FALSE(items.Item(6).has_value());
    EXPECT_FALSE(items.Same(3, tails.Of(With(layout, 1, 1))));
    EXPECT_FALSE(items.Same(2, tails.Of(layout)));
}

}  // namespace
}  // namespace kov
