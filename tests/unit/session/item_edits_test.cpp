#include "session/item_edits.h"

#include <gtest/gtest.h>

#include <string>

#include "model/item_fields.h"

namespace kov {
namespace {

struct NewItemsCase {
    const char* what;
    NewItemsRequest request;
    bool enableHttps;
    const char* field;  // "" when nothing is refused
    const char* reasonPart;
};

TEST(ItemEditsTest, NewItemsAreCheckedBeforeAnyIsMade) {
    const std::string longName(UrlItem::kNameCapacity + 1, 'n');
    const NewItemsCase cases[] = {
        {"plain", {{"http://a/b", "ftp://c/d"}, "N", "/tmp/x/", false}, true, "", ""},
        {"https allowed", {{"https://a/"}, "", "", false}, true, "", ""},
        {"https off", {{"https://a/"}, "", "", false}, false, "url", "EnableHttps=0"},
        {"second url bad",
         {{"http://a/", "gopher://b/"}, "", "", false},
         true,
         "url",
         "unsupported scheme"},
        {"no scheme", {{"example.com/a"}, "", "", false}, true, "url", "not a URL"},
        {"url too long", {{"http://a/" + std::string(400, 'u')}, "", "", false}, true, "url", ""},
        {"name too long", {{"http://a/"}, longName, "", false}, true, "name", ""},
        {"line break in the folder", {{"http://a/"}, "", "/tmp/a\nb/", false}, true, "dest", ""},
    };
    for (const NewItemsCase& c : cases) {
        const ItemRefusal r = CheckNewItems(c.request, c.enableHttps);
        EXPECT_EQ(r.field, c.field) << c.what;
        EXPECT_EQ(r.Refused(), *c.field != '\0') << c.what;
        EXPECT_NE(r.reason.find(c.reasonPart), std::string::npos) << c.what << ": " << r.reason;
    }
}

struct KeyCase {
    const char* key;
    const char* value;
    bool enableHttps;
    bool taken;
};

TEST(ItemEditsTest, AKeyIsSetOnlyWithAValueTheFileCanKeep) {
    const KeyCase cases[] = {
        {"Name", "new", true, true},
        {"url", "ftp://host/file", true, true},
        {"Url", "https://host/", false, false},
        {"Url", "gopher://host/", true, false},
        {"days", "366", true, false},
        {"days", "3", true, true},
        {"Colour", "red", true, false},
    };
    for (const KeyCase& c : cases) {
        UrlItem item = FreshItem();
        item.Name = "old";
        item.Url = "http://old/";
        const UrlItem before = item;
        const std::string e = SetCheckedKey(item, c.key, c.value, c.enableHttps);
        EXPECT_EQ(e.empty(), c.taken) << c.key << "=" << c.value << ": " << e;
        if (!c.taken) {
            EXPECT_EQ(item.Name, before.Name);
            EXPECT_EQ(item.Url, before.Url);
            EXPECT_EQ(item.days, before.days);
        }
    }
}

}  // namespace
}  // namespace kov
