#include "core/language/language_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "core/language/localiser.h"
#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "core/settings/profile_store.h"

namespace kov {
namespace {

const std::string kLangFolder = KOV_TEST_SUPPORT_DIR "/../../Lang/";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The printf conversions of a text, in order ("%-5.2f", "%s", "%%").
std::vector<std::string> Conversions(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i)) {
        const std::size_t end = text.find_first_not_of("-+ #0123456789.*hlz", i + 1);
        if (end == std::string::npos) break;
        found.push_back(text.substr(i, end + 1 - i));
        i = end + 1;
    }
    return found;
}

TEST(LanguageFile, TheTablesAreCompleteAndTheirIdsUnique) {
    for (auto table : {GuiTextTable(), ToolTipTable()}) {
        std::set<int> ids;
        std::set<std::string> keys;
        for (const UiTextEntry& e : table) {
            ASSERT_NE(e.key, nullptr);
            EXPECT_TRUE(ids.insert(e.id).second) << e.key;
            EXPECT_TRUE(keys.insert(e.key).second) << e.key;
            EXPECT_NE(*e.text, '\0') << e.key;
        }
    }
    EXPECT_EQ(GuiTextTable().size(), 336u);
    EXPECT_EQ(ToolTipTable().size(), 137u);
}

TEST(LanguageFile, TheShippedEnglishFileIsTheGeneratedOne) {
    EXPECT_EQ(ReadFile(kLangFolder + "English.lng"), BuiltInLanguageFile())
        << "run kov-lang Lang/English.lng after changing a built-in text";
    // Read back, it gives every built-in text.
    Localiser l;
    ASSERT_TRUE(l.LoadLanguage("English", {kLangFolder}));
    ASSERT_EQ(l.LanguageName(), "English");
    for (const UiTextEntry& e : GuiTextTable())
        EXPECT_EQ(l.GetText(e.id, ""), e.text);
    for (const UiTextEntry& e : ToolTipTable())
        EXPECT_EQ(l.GetToolTip(e.id), e.text);
    const auto messages = MessageTable();
    for (std::size_t i = 0; i < messages.size(); ++i)
        EXPECT_EQ(l.GetMessage(static_cast<int>(i)), messages[i].text);
}

TEST(LanguageFile, TheGermanFileTranslatesEveryKeyKeepingItsConversions) {
    ProfileStore german;
    german.LoadText(ReadFile(kLangFolder + "German.lng"));
    struct Section {
        const char* name;
        std::vector<std::pair<std::string, std::string>> entries;  // key, English
    } sections[3] = {{"GUI", {}}, {"ToolTips", {}}, {"Strings", {}}};
    for (const UiTextEntry& e : GuiTextTable())
        sections[0].entries.emplace_back(e.key, e.text);
    for (const UiTextEntry& e : ToolTipTable())
        sections[1].entries.emplace_back(e.key, e.text);
    for (const MessageEntry& e : MessageTable())
        sections[2].entries.emplace_back(e.key, e.text);
    for (const Section& s : sections) {
        for (const auto& [key, english] : s.entries) {
            const std::string text = german.GetString(s.name, key, "", 1024);
            EXPECT_FALSE(text.empty()) << s.name << "/" << key;
            EXPECT_EQ(Conversions(text), Conversions(english)) << s.name << "/" << key;
        }
    }
}

}  // namespace
}  // namespace kov
