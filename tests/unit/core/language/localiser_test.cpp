#include "core/language/localiser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "core/settings/profile_store.h"
#include "core/text/display_format.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

class LocaliserTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir.File("a"));
        std::filesystem::create_directories(m_dir.File("b"));
    }
    void TearDown() override { ResetMessageTexts(); }

    // Writes Lang folder a or b file <name>.lng.
    void Write(const std::string& folder, const std::string& name, const std::string& text) {
        std::ofstream(m_dir.File(folder + "/" + name + ".lng"), std::ios::binary) << text;
    }
    Localiser WithEnv(std::map<std::string, std::string> env) {
        Localiser l;
        l.SetEnvReader([env](const char* name) {
            auto it = env.find(name);
            return it == env.end() ? std::string() : it->second;
        });
        return l;
    }
    std::vector<std::string> Folders() const { return {m_dir.File("a") + "/", m_dir.File("b")}; }

    test::TempDir m_dir;
};

TEST_F(LocaliserTest, ChoosesTheFileBySettingLocaleAndFallback) {
    struct Case {
        const char* setting;
        std::map<std::string, std::string> env;
        std::vector<std::pair<std::string, std::string>> files;  // folder, name
        const char* loaded;                                      // "" = built-in texts
    } cases[] = {
        {"0", {{"LANG", "ru_RU.UTF-8"}}, {{"a", "Russian"}, {"a", "default"}}, "Russian"},
        {"0",
         {{"LC_ALL", "C"}, {"LANG", "ru_RU"}},
         {{"a", "Russian"}, {"a", "English"}},
         "English"},
        {"0",
         {{"LC_MESSAGES", "de_CH.UTF-8"}},
         {{"b", "German (Switzerland)"}},
         "German (Switzerland)"},
        {"0", {{"LANG", "xx_YY"}}, {{"a", "Default"}}, "Default"},
        {"Spanish", {}, {{"a", "default"}}, "default"},
        {"Spanish", {}, {{"a", "default"}, {"b", "Spanish"}}, "Spanish"},
        {"", {}, {{"a", "default"}}, "default"},
        {"7", {}, {{"a", "7"}}, ""},
        {"../a/x", {}, {{"a", "x"}}, ""},
        {"German", {}, {}, ""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(m_dir.File("a"));
        std::filesystem::remove_all(m_dir.File("b"));
        SetUp();
        for (const auto& [folder, name] : c.files)
            Write(folder, name, "[GUI]\nOK=Ok!\n");
        Localiser l = WithEnv(c.env);
        EXPECT_TRUE(l.LoadLanguage(c.setting, Folders())) << c.setting;
        EXPECT_EQ(l.LanguageName(), c.loaded) << c.setting;
        EXPECT_EQ(l.Text(kGuiOK), *c.loaded ? "Ok!" : "OK") << c.setting;
    }
}

TEST_F(LocaliserTest, AnEmptyFileIsPassedOverForDefault) {
    Write("a", "Russian", "");
    Write("b", "default", "[GUI]\nOK=D\n");
    Localiser l;
    ASSERT_TRUE(l.LoadLanguage("Russian", Folders()));
    EXPECT_EQ(l.LanguageName(), "default");
}

TEST_F(LocaliserTest, WithoutAFileTheBuiltInTextsAnswer) {
    Localiser l;
    ASSERT_TRUE(l.LoadLanguage("0", {}));
    EXPECT_EQ(l.Text(kGuiURLUpdate1), "Auto (Resume,Update)");
    EXPECT_EQ(l.Text(kGuiURLUpdate2), "Always overwrite)");
    EXPECT_EQ(l.Text(kGuiURLUpdate3), "Always skip if file exist");
    EXPECT_EQ(l.Text(kTextChooseFolder), "Choose a folder");
    EXPECT_EQ(l.GetToolTip(kCmdAddFromIni), ":)");
    EXPECT_EQ(l.ToolTipOrNotFound(kCmdAddFromIni), "Add the items of another list file");
    EXPECT_EQ(l.ToolTipOrNotFound(1), "not found tooltip 1");
    EXPECT_EQ(l.GetMessage(static_cast<int>(EventCode::AddedToQueue)), "added to queue");
    EXPECT_EQ(l.GetMessage(static_cast<int>(EventCode::Count)), ":)");
    EXPECT_EQ(l.GetMessage(-1), ":)");
}

TEST_F(LocaliserTest, LoadedTextsReplaceTheBuiltInOnesWhereTheyHaveWords) {
    const std::string longText(1000, 'x');  // beyond the store's usual 511
    Write("a", "Test",
          "\xEF\xBB\xBF[GUI]\nOK=\nCancel=Abbrechen\nMnuEditNew=&Neu\nColumnName=" + longText +
              "\n[ToolTips]\nMnuAddFromIni=Import\nURL=Adresse\nURLName=\n"
              "[Strings]\nAddedToQueue=eingereiht\nJobFinished=\n"
              "ScheduledStarting=Start, Ende:\n");
    Localiser l;
    ASSERT_TRUE(l.LoadLanguage("Test", Folders()));
    EXPECT_EQ(l.Text(kGuiOK), "OK");  // empty value keeps the built-in caption
    EXPECT_EQ(l.Text(kGuiCancel), "Abbrechen");
    EXPECT_EQ(l.GetText(kCmdNewUrl, "fallback"), "&Neu");
    EXPECT_EQ(l.GetText(kGuiDelete, "fallback"), "fallback");
    EXPECT_EQ(l.Text(kGuiColumnName), longText);
    EXPECT_EQ(l.ToolTipOrNotFound(kCmdAddFromIni), "Import");
    EXPECT_EQ(l.GetToolTip(kTipURL), "Adresse");
    EXPECT_EQ(l.GetToolTip(kGuiURLName), ":)");
    EXPECT_EQ(l.GetMessage(static_cast<int>(EventCode::AddedToQueue)), "eingereiht");
    EXPECT_EQ(l.GetMessage(static_cast<int>(EventCode::JobFinished)), "Job finished");
    EXPECT_EQ(l.GetMessage(static_cast<int>(EventCode::ScheduledStarting)), "Start, Ende: ");

    EXPECT_EQ(GetString(EventCode::AddedToQueue), "added to queue");
    l.PublishMessages();
    EXPECT_EQ(GetString(EventCode::AddedToQueue), "eingereiht");
    l.Reset();
    l.PublishMessages();
    EXPECT_EQ(GetString(EventCode::AddedToQueue), "added to queue");
}

// A section's texts are gathered in one pass; they answer as the store's own lookups do: any
// case, the first of a key and of a section, a section with an empty key, none at all.
TEST_F(LocaliserTest, TextsAnswerAsTheStoreLooksThemUp) {
    const std::string texts[] = {
        "[gui]\nok=Gut\ncancel=Nein\n[strings]\njobfinished=fertig\n",
        "[GUI]\nOK=Gut\nOK=Besser\n[GUI]\nCancel=Nein\n",
        "[GUI]\n=leer\nOK=Gut\n[Strings]\nJobFinished=fertig\n=leer\n",
        "[ToolTips]\nURL=Adresse\n",
        "[GUI]\nOK= Gut \n[Strings]\nJobFinished=\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        Localiser l;
        l.LoadText("T", text);
        ProfileStore store;
        store.SetValueCapacity(Localiser::kValueCapacity);
        store.LoadText(text);
        for (const auto& [id, key] : {std::pair{kGuiOK, "OK"}, std::pair{kGuiCancel, "Cancel"}})
            EXPECT_EQ(l.GetText(id, "-"), store.GetString("GUI", key, "-", 1024));
        const std::string message = store.GetString("Strings", "JobFinished", "", 1024);
        EXPECT_EQ(l.GetMessage(static_cast<int>(EventCode::JobFinished)),
                  message.empty() ? "Job finished" : message);
    }
}

// The contents of a file taken from memory read as the file does, and replace what was loaded.
TEST_F(LocaliserTest, TextFromMemoryReadsAsTheFile) {
    const std::string text =
        "\xEF\xBB\xBF[GUI]\nCancel=Abbrechen\n[ToolTips]\nURL=Adresse\n"
        "[Strings]\nAddedToQueue=eingereiht\n";
    Write("a", "Mem", text);
    Localiser file;
    ASSERT_TRUE(file.LoadLanguage("Mem", Folders()));
    Localiser memory;
    memory.LoadText("Old", "[GUI]\nOK=Gut\n[Strings]\nJobFinished=fertig\n");
    memory.LoadText("Mem", text);
    EXPECT_TRUE(memory.IsLoaded());
    EXPECT_EQ(memory.LanguageName(), file.LanguageName());
    for (const int id : {kGuiCancel, kGuiOK})
        EXPECT_EQ(memory.Text(id), file.Text(id)) << id;
    EXPECT_EQ(memory.GetToolTip(kTipURL), file.GetToolTip(kTipURL));
    for (const EventCode code : {EventCode::AddedToQueue, EventCode::JobFinished}) {
        const int index = static_cast<int>(code);
        EXPECT_EQ(memory.GetMessage(index), file.GetMessage(index)) << index;
    }
}

TEST_F(LocaliserTest, SizesAndSpeedsUseTheLoadedUnits) {
    Write("a", "Units", "[Strings]\nSpeedByte=B/s\nSpeedKB=KiB/s\n");
    Localiser l;
    ASSERT_TRUE(l.LoadLanguage("Units", Folders()));
    l.PublishMessages();
    EXPECT_EQ(SpeedText(std::uint64_t{4096}), "4096 B/s");
    EXPECT_EQ(SpeedText(std::uint64_t{4097}), "4.00 KiB/s");
    EXPECT_EQ(SpeedText(4097.0), "4.00 KiB/s");
    EXPECT_EQ(SizeText(600000), "585 Kb");
    EXPECT_EQ(SizeText(1234567), "1,205 Kb");
}

TEST(LanguageNames, PosixLocalesMapToLanguageFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"de_DE.UTF-8", "German"},
        {"de_CH", "German (Switzerland)"},
        {"de_AT.UTF-8@euro", "German (Austria)"},
        {"ru_RU.UTF-8", "Russian"},
        {"en_US.UTF-8", "English"},
        {"en_GB", "English (United Kingdom)"},
        {"en_IN", "English"},
        {"es_MX.UTF-8", "Spanish"},
        {"es_ES@euro", "Spanish"},
        {"zh_CN.GB2312", "Chinese (PRC)"},
        {"zh_XX", "Default"},
        {"sr_RS@latin", "Serbian (Latin)"},
        {"sr_RS", "Serbian"},
        {"C", "English"},
        {"POSIX", "English"},
        {"C.UTF-8", "English"},
        {"tlh", "Default"},
        {"", ""},
    };
    for (const auto& [locale, name] : cases)
        EXPECT_EQ(LanguageNameForLocale(locale), name) << locale;
}

TEST_F(LocaliserTest, LanguageChoicesListEachFileOnceAfterAutoDetect) {
    Write("b", "Russian", "x");
    Write("a", "German", "x");
    Write("b", "German", "x");
    std::ofstream(m_dir.File("a/readme.txt")) << "x";
    std::vector<std::string> choices =
        LanguageChoices(Folders(), [](const char*) { return std::string(); });
    EXPECT_EQ(choices, (std::vector<std::string>{"  Auto-Detect", "German", "Russian"}));
    EXPECT_EQ(SelectLanguageChoice(choices, "0"), 0);
    EXPECT_EQ(SelectLanguageChoice(choices, "2"), 2);
    EXPECT_EQ(SelectLanguageChoice(choices, "9"), 0);
    EXPECT_EQ(SelectLanguageChoice(choices, "Russian"), 2);
    EXPECT_EQ(SelectLanguageChoice(choices, "French"), 0);
    auto russian = [](const char* name) {
        return std::string(name == std::string("LANG") ? "ru_RU" : "");
    };
    EXPECT_EQ(LanguageChoices({}, russian), (std::vector<std::string>{"  Авто-определение"}));
}

}  // namespace
}  // namespace kov
