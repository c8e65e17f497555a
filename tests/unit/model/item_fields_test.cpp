#include "model/item_fields.h"

#include <gtest/gtest.h>

#include "core/settings/profile_store.h"
#include "model/list_file.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

std::string Value(const UrlItem& item, std::string_view key) {
    for (const FieldValue& v : ItemFieldValues(item)) {
        if (v.key == key) return v.text;
    }
    return "<absent>";
}

// A value unlike the fresh item's for every key: the range's far end, or a text of its own.
std::string OtherValue(const ItemField& f) {
    switch (f.kind) {
        case FieldKind::Text:
            return "v " + std::string(f.key);
        case FieldKind::Flag:
            return "1";
        case FieldKind::Date:
            return "2005.03.07";
        default:
            return std::to_string(f.max);
    }
}

// Each key set by name is written by the list file under that name and read back as it was
// set, so the table and the file agree on every key.
TEST(ItemFieldsTest, EveryKeyReachesTheListFileAndComesBack) {
    UrlItem item = FreshItem();
    for (const ItemField& f : ItemFields())
        ASSERT_EQ(SetItemField(item, f.key, OtherValue(f)), "") << f.key;
    for (const char* rule :
         {"s_find1=a", "s_repl1=b", "s_action1=3", "s_icase1=1", "s_mult1=1", "s_find2=c"}) {
        const std::string_view pair = rule;
        const std::size_t eq = pair.find('=');
        ASSERT_EQ(SetItemField(item, pair.substr(0, eq), pair.substr(eq + 1)), "") << rule;
    }
    ASSERT_EQ(CheckItemFields(item), "");

    test::TempDir dir;
    test::RecordingPrompter prompter;
    const std::string path = dir.path() + "/list.ini";
    ASSERT_TRUE(WriteListFile(path, {&item}, prompter));
    ProfileStore store(&prompter);
    ASSERT_TRUE(store.Open(path));
    for (const ItemField& f : ItemFields())
        EXPECT_EQ(store.GetString("item 1", f.key, "<missing>", 512), OtherValue(f)) << f.key;
    const ListFileContent read = ReadListFile(path, 0xF0F, prompter);
    ASSERT_EQ(read.items.size(), 1u);
    const std::vector<FieldValue> before = ItemFieldValues(item);
    const std::vector<FieldValue> after = ItemFieldValues(read.items[0]);
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(before[i].text, after[i].text) << before[i].key;
}

// Both ends of every range are taken, one step beyond is refused and changes nothing.
TEST(ItemFieldsTest, RangesAreEnforcedAtBothEnds) {
    for (const ItemField& f : ItemFields()) {
        UrlItem item = FreshItem();
        const std::string key(f.key);
        if (f.kind == FieldKind::Integer) {
            EXPECT_EQ(SetItemField(item, key, std::to_string(f.min)), "") << key;
            EXPECT_EQ(SetItemField(item, key, std::to_string(f.max)), "") << key;
            EXPECT_EQ(Value(item, key), std::to_string(f.max));
            EXPECT_NE(SetItemField(item, key, std::to_string(f.min - 1)), "") << key;
            EXPECT_NE(SetItemField(item, key, std::to_string(f.max + 1)), "") << key;
            EXPECT_EQ(Value(item, key), std::to_string(f.max)) << key;
        } else if (f.kind == FieldKind::Text) {
            const auto capacity = static_cast<std::size_t>(f.max);
            EXPECT_EQ(SetItemField(item, key, std::string(capacity, 'x')), "") << key;
            EXPECT_NE(SetItemField(item, key, std::string(capacity + 1, 'y')), "") << key;
            EXPECT_NE(SetItemField(item, key, "a\nUrl=http://evil/"), "") << key;
            EXPECT_EQ(Value(item, key), std::string(capacity, 'x')) << key;
        }
    }
}

// What the editor accepts and what a missing key loads as must be values a file may hold, or
// a load and a save would change an item nobody touched.
TEST(ItemFieldsTest, DefaultsAndEditorRangesLieWithinTheRange) {
    for (const ItemField& f : ItemFields()) {
        if (f.kind == FieldKind::Text) {
            EXPECT_LE(f.absentText.size(), static_cast<std::size_t>(f.max)) << f.key;
        } else if (f.kind != FieldKind::Date) {
            EXPECT_TRUE(f.min <= f.absent && f.absent <= f.max) << f.key;
            const bool resetInRange = f.min <= f.reset && f.reset <= f.max;
            EXPECT_TRUE(f.load != OutOfRange::Reset || resetInRange) << f.key;
            EXPECT_TRUE(f.min <= f.editMin && f.editMin <= f.editMax && f.editMax <= f.max)
                << f.key;
        }
    }
}

TEST(ItemFieldsTest, TextFormsOfFlagsDatesAndRules) {
    struct Case {
        const char* key;
        const char* value;
        const char* stored;  // nullptr: refused
    };
    const Case cases[] = {
        {"disabled", "yes", "1"},
        {"Disabled", "OFF", "0"},
        {"Disabled", "2", nullptr},
        {"lastdl", "2024.02.29", "2024.02.29"},
        {"LastDL", "2023.02.29", nullptr},
        {"LastDL", "2005.3.7", nullptr},
        {"LastDL", "never", "1990.01.01"},
        {"days", "+3", nullptr},
        {"days", "", nullptr},
        {"s_find1", "ad", "ad"},
        {"s_find2", "ad", nullptr},
        {"s_find0", "ad", nullptr},
        {"s_findx", "ad", nullptr},
        {"Colour", "red", nullptr},
    };
    for (const Case& c : cases) {
        UrlItem item = FreshItem();
        const std::string error = SetItemField(item, c.key, c.value);
        if (c.stored) {
            EXPECT_EQ(error, "") << c.key << "=" << c.value;
            const ItemField* f = FindItemField(c.key);
            EXPECT_EQ(Value(item, f ? f->key : "s_find1"), c.stored) << c.key << "=" << c.value;
        } else {
            EXPECT_NE(error, "") << c.key << "=" << c.value;
        }
    }
    // An empty find text removes its rule.
    UrlItem item = FreshItem();
    ASSERT_EQ(SetItemField(item, "s_find1", "a"), "");
    ASSERT_EQ(SetItemField(item, "s_find1", ""), "");
    EXPECT_TRUE(item.rules.empty());
}

TEST(ItemFieldsTest, SchemesAreCheckedWithTheReason) {
    EXPECT_EQ(UnsupportedScheme("HTTP://a/b", false), "");
    EXPECT_EQ(UnsupportedScheme("ftp://a/b", false), "");
    EXPECT_EQ(UnsupportedScheme("file:///tmp/a", false), "");
    EXPECT_EQ(UnsupportedScheme("https://a/", true), "");
    EXPECT_NE(UnsupportedScheme("https://a/", false).find("EnableHttps=0"), std::string::npos);
    EXPECT_NE(UnsupportedScheme("gopher://a/", true).find("unsupported scheme gopher"),
              std::string::npos);
    EXPECT_NE(UnsupportedScheme("www.example.com/a", true).find("not a URL"), std::string::npos);
}

}  // namespace
}  // namespace kov
