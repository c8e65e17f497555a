#include "model/item_section_values.h"

#include <gtest/gtest.h>

#include <string>

#include "core/settings/profile_store.h"
#include "model/item_fields.h"
#include "model/list_file.h"
#include "support/recording_prompter.h"

namespace kov {
namespace {

struct Asked {
    int slot;
    std::string key;
};

// Every key an item load asks for: the fields, the old flags and the first rules.
std::vector<Asked> AskedKeys() {
    std::vector<Asked> keys;
    for (const ItemField& f : ItemFields())
        keys.push_back({ItemSectionValues::FieldSlot(f), std::string(f.key)});
    keys.push_back({ItemSectionValues::OverWriteSlot(), "OverWrite"});
    keys.push_back({ItemSectionValues::UpdateSlot(), "update"});
    const char* parts[] = {"s_find", "s_repl", "s_action", "s_icase", "s_mult"};
    for (std::size_t n : {1u, 2u, 10u, 127u}) {
        for (int part = 0; part < 5; ++part)
            keys.push_back({ItemSectionValues::RuleSlot(n, part),
                            ProfileStore::NumberedKey(parts[part], static_cast<int>(n))});
    }
    return keys;
}

// The one-pass reader answers every key exactly as the store's lookups do, whatever the
// section holds and whatever the section before held: repeated keys, other cases, near-miss
// rule names, long values, lines added to the section after another section's.
TEST(ItemSectionValues, AnswersAsTheStoresLookups) {
    const std::string longValue(700, 'v');
    const char* sections[] = {
        "[item 1]\nName=a\nUrl=http://x/\nDisabled=1\nnfsize=-5\n",
        // The same places with other keys, or the same keys spelt otherwise.
        "[item 1]\nName=b\nUrl=http://y/\nnfsize=3\nDisabled=0\n",
        "[item 1]\nNAME=c\nurl=http://z/\nDISABLED=1\n",
        "[item 1]\nURL=http://first/\nurl=http://second/\nNAME=  padded  \nlastdl=2020.02.03\n",
        "[item 1]\nUrl=u\nOverWrite=1\nupdate=1\ns_find1=a\ns_repl1=b\ns_action1=2\n"
        "S_ICASE1=1\ns_mult1=1\ns_find01=no\ns_find2=c\ns_find10=j\ns_find127=z\n"
        "s_find128=beyond\ns_findx=no\n",
        "[item 1]\nUrl=u\n[item 2]\nUrl=other\n[item 1]\nName=later\nUrl=again\n",
        "[item 1]\nUrl=u\nDstDlFileSize=99999999999\nDstDlPartSize= 12 \n; note=1\nCmd=",
        "[other]\nUrl=u\n",
    };
    const std::vector<Asked> asked = AskedKeys();
    ItemSectionValues values;  // one reader for all: nothing of one section may reach the next
    for (std::string text : sections) {
        SCOPED_TRACE(text);
        text += "Referer=" + longValue + "\n";
        test::RecordingPrompter prompter;
        ProfileStore store(&prompter);
        store.LoadText(text);
        const bool read = values.Read(store, "item 1");
        EXPECT_EQ(read, text.starts_with("[item 1]"));
        if (!read) continue;
        for (const Asked& a : asked) {
            for (std::size_t size : {std::size_t{0}, std::size_t{4}, std::size_t{512}}) {
                EXPECT_EQ(values.GetString(a.slot, "dflt", size),
                          store.GetString("item 1", a.key, "dflt", size))
                    << a.key << " size " << size;
            }
            EXPECT_EQ(values.GetInt(a.slot, -7), store.GetInt("item 1", a.key, -7)) << a.key;
        }
        EXPECT_TRUE(prompter.informed.empty());
    }
}

// A section with an empty key is left to the store, whose lookups tell the user about it; the
// load through either path gives the same item.
TEST(ItemSectionValues, ASectionWithAnEmptyKeyIsTheStoresAndLoadsTheSame) {
    const std::string keys = "Name=n\nUrl=http://x/a\ns_find1=f\ns_mult1=1\nDisabled=1\n";
    for (const bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "with an empty key" : "without");
        test::RecordingPrompter prompter;
        ProfileStore store(&prompter);
        store.LoadText("[item 1]\n" + keys + (empty ? "=stray\n" : ""));
        ItemSectionValues values;
        EXPECT_EQ(values.Read(store, "item 1"), !empty);
        UrlItem item = FreshItem();
        ASSERT_TRUE(LoadItem(store, 1, item, 0, values));
        EXPECT_EQ(item.Name, "n");
        EXPECT_EQ(item.Url, "http://x/a");
        EXPECT_EQ(item.Disabled, 1);
        ASSERT_EQ(item.rules.size(), 1u);
        EXPECT_EQ(item.rules[0].multiple, 1);
        EXPECT_EQ(prompter.informed.size(), empty ? 1u : 0u);
    }
}

}  // namespace
}  // namespace kov
