#include "session/application.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/language/localiser.h"
#include "core/language/message_table.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "session/traffic_count_scope.h"
#include "support/env_guard.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

std::string Slurp(const std::string& path) {
    return ReadFile(path).value_or("");
}

// Points the program folder and the per-user store into a temporary folder.
class ApplicationTest : public ::testing::Test {
protected:
    ApplicationTest() {
        setenv("KOV_HOME", m_dir.File("home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_dir.File("config").c_str(), 1);
    }

    std::string Home(const std::string& name) const { return m_dir.File("home") + "/" + name; }
    std::string UserIni() const { return m_dir.File("config") + "/kov/user.ini"; }

    bool Start(Application& app, std::vector<std::string> args = {}, bool ctrlHeld = false) {
        StartupInput input;
        input.args = std::move(args);
        input.ctrlHeld = ctrlHeld;
        input.executablePath = "/nonexistent/bin/kov-cli";
        return app.Startup(input);
    }
    void Run(std::vector<std::string> args, const std::function<void(Application&)>& during = {},
             bool saved = true) {
        Application app(m_prompter);
        ASSERT_TRUE(Start(app, std::move(args)));
        if (during) during(app);
        EXPECT_EQ(app.Shutdown(false), saved);
    }

    test::EnvGuard m_env{{"KOV_HOME", "XDG_CONFIG_HOME"}};
    test::TempDir m_dir;
    test::RecordingPrompter m_prompter;
};

TEST_F(ApplicationTest, FirstRunCreatesTheMainListAndSavesTheSettings) {
    Run({}, [&](Application& app) {
        EXPECT_EQ(app.Document().ListCount(), 1u);
        EXPECT_EQ(app.Document().ListFilePath(0), Home("Default.ini"));
    });
    const std::string text = Slurp(Home("kov.ini"));
    EXPECT_EQ(text.rfind("[KOV-Main]\n", 0), 0u);
    EXPECT_NE(text.find("\n[UrlList 1]\nName=Main\nFileName=" + Home("Default.ini") +
                        "\nSaveFolder=" + Home("Download/Main/") + "\n[NewUrlDefaults]\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nColumn6=182\n"), std::string::npos);
    // Nothing else: no empty list file, no download folder, no per-user store.
    EXPECT_FALSE(FileExists(Home("Default.ini")));
    EXPECT_FALSE(FileExists(Home("Download")));
    EXPECT_FALSE(FileExists(UserIni()));
    EXPECT_TRUE(m_prompter.informed.empty());
    struct stat st {};
    ASSERT_EQ(stat(Home("kov.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A close that would write the settings file as it is leaves it alone; a change writes it.
TEST_F(ApplicationTest, UnchangedSettingsFileIsNotWrittenAgain) {
    auto inode = [&] {
        struct stat st {};
        EXPECT_EQ(stat(Home("kov.ini").c_str(), &st), 0);
        return st.st_ino;
    };
    Run({});
    const ino_t first = inode();
    Run({}, [](Application& app) { app.Settings().changed = true; });
    EXPECT_EQ(inode(), first);
    Run({}, [](Application& app) {
        app.Settings().MaxThreads = 7;
        app.Settings().changed = true;
    });
    EXPECT_NE(inode(), first);
    EXPECT_NE(Slurp(Home("kov.ini")).find("\nMaxThreads=7\n"), std::string::npos);
}

TEST_F(ApplicationTest, HandEditedFileIsRewrittenInPlace) {
    CreateFolders(m_dir.File("home"));
    WriteFileAtomic(Home("kov.ini"),
                    "; mine\n[ KOV-Main ] old text\n  LogDetail = 5 \nWndStatus=1\n\n[Empty]\n"
                    "[UrlList 1]\nName=Main\nFileName=/x/Default.ini\n");
    Run({}, [](Application& app) { EXPECT_EQ(app.Settings().LogDetail, 2); });
    // Nothing was changed, so only the column widths are added, after the last line of their
    // section; the rest keeps its place and the empty section is gone.
    EXPECT_EQ(Slurp(Home("kov.ini")),
              "; mine\n[KOV-Main]\nLogDetail=5\nWndStatus=1\n\nColumn0=176\nColumn1=248\n"
              "Column2=166\nColumn3=240\nColumn4=140\nColumn5=182\nColumn6=182\n"
              "[UrlList 1]\nName=Main\nFileName=/x/Default.ini\n");
}

TEST_F(ApplicationTest, ChangedSettingsAreSavedInFull) {
    CreateFolders(m_dir.File("home"));
    WriteFileAtomic(Home("kov.ini"),
                    "; top\n[KOV-Main]\nWndStatus=1\nMaxThreads=4\n; below\n"
                    "[UrlList 1]\nName=Main\nFileName=/x/Default.ini\n");
    Run({}, [](Application& app) {
        app.Settings().WndSplitCol = 200;
        app.Settings().changed = true;
    });
    const std::string text = Slurp(Home("kov.ini"));
    EXPECT_EQ(text.rfind("; top\n[KOV-Main]\n", 0), 0u);
    EXPECT_EQ(text.find("; below"), std::string::npos);
    EXPECT_NE(text.find("\nMaxThreads=4\n"), std::string::npos);
    EXPECT_NE(text.find("\nWndSplitCol=200\n"), std::string::npos);
    EXPECT_NE(text.find("\n[CtrByEmail]\n"), std::string::npos);
}

TEST_F(ApplicationTest, CommandLineMovesFilesAndPicksTheList) {
    const std::string other = m_dir.File("other.ini");
    WriteFileAtomic(other,
                    "[KOV-Main]\nCurLstNum=0\n[UrlList 1]\nName=A\nFileName=a.ini\n[UrlList 2]\n"
                    "Name=B\nFileName=b.ini\n[UrlList 3]\nName=C\nFileName=c.ini\n");
    Run({other, "-n3", "-b\"" + m_dir.File("my banners.ini") + "\""}, [&](Application& app) {
        EXPECT_EQ(app.Paths().settingsFile, other);
        EXPECT_EQ(app.Paths().bannerFile, m_dir.File("my banners.ini"));
        EXPECT_EQ(app.Paths().siteRuleFile, Home("SiteRipper.ini"));
        EXPECT_EQ(app.Settings().CurLstNum, 2);
        EXPECT_EQ(app.Paths().programFolder, m_dir.File("home") + "/");
    });
    EXPECT_FALSE(FileExists(Home("kov.ini")));
    EXPECT_NE(Slurp(other).find("Column0=176"), std::string::npos);

    // With Ctrl held the command line counts for nothing.
    Application app(m_prompter);
    ASSERT_TRUE(Start(app, {other, "-n2"}, true));
    EXPECT_EQ(app.Paths().settingsFile, Home("kov.ini"));
    EXPECT_EQ(app.Settings().CurLstNum, 0);
}

TEST_F(ApplicationTest, UserStoreKeepsRecentPathsAndTheCounter) {
    CreateFolders(m_dir.File("home"));
    WriteFileAtomic(Home("kov.ini"), "[KOV-Main]\nLimitTrace=1\n");
    Run({}, [](Application& app) {
        app.Recent().Use("/srv/downloads/");
        app.LimitCounter() = 123456789012ull;
    });
    const std::string user = Slurp(UserIni());
    EXPECT_NE(user.find("[MRUpaths]\npath1=/srv/downloads/\n"), std::string::npos);
    EXPECT_NE(user.find("LimitCounter=123456789012"), std::string::npos);
    Run({}, [](Application& app) {
        EXPECT_EQ(app.Recent().First(), "/srv/downloads/");
        EXPECT_EQ(app.LimitCounter(), 123456789012ull);
    });

    // A reset reaches the meter and the store even with LimitTrace off: the old count must
    // not come back at the next start.
    WriteFileAtomic(Home("kov.ini"), "[KOV-Main]\nLimitTrace=0\n");
    Run({}, [](Application& app) {
        GlobalTrafficMeter().SetTrafficCount(77);
        EXPECT_TRUE(app.ResetLimitCounter());
        EXPECT_EQ(app.LimitCounter(), 0u);
        EXPECT_EQ(GlobalTrafficMeter().TrafficCount(), 0u);
    });
    EXPECT_NE(Slurp(UserIni()).find("LimitCounter=0\n"), std::string::npos) << Slurp(UserIni());
}

// Every front end counts a run's traffic in a scope: the meter goes on from the saved count,
// and what it counted reaches the counter (once, at End or at the scope's end) and the store.
TEST_F(ApplicationTest, TrafficCountedInAScopeReachesTheStore) {
    CreateFolders(m_dir.File("home"));
    WriteFileAtomic(Home("kov.ini"), "[KOV-Main]\nLimitTrace=1\n");
    Run({}, [&](Application& app) {
        EXPECT_EQ(app.LogFile(), Home("Kov.log"));
        app.LimitCounter() = 1000;
        {
            TrafficCountScope scope(app);
            EXPECT_EQ(GlobalTrafficMeter().TrafficCount(), 1000u);
            GlobalTrafficMeter().SetTrafficCount(1500);
        }
        EXPECT_EQ(app.LimitCounter(), 1500u);
        TrafficCountScope scope(app);
        GlobalTrafficMeter().SetTrafficCount(2500);
        scope.End();
        GlobalTrafficMeter().SetTrafficCount(9999);  // after End: no longer the scope's
    });
    EXPECT_NE(Slurp(UserIni()).find("LimitCounter=2500\n"), std::string::npos) << Slurp(UserIni());
}

TEST_F(ApplicationTest, FailedSavesNameTheFileAndTheCauseAndFailTheShutDown) {
    const std::string settings = m_dir.File("missing-folder/kov.ini");
    Run({settings}, {}, false);
    ASSERT_FALSE(m_prompter.informed.empty());
    EXPECT_EQ(m_prompter.informed[0],
              "Error saving INI file ! " + settings + ": No such file or directory");

    // A list that cannot be written stays modified; the other files are still saved.
    m_prompter.Reset();
    Application app(m_prompter);
    ASSERT_TRUE(Start(app));
    app.Document().AddUrl("http://example.com/a.html");
    ASSERT_TRUE(CreateFolders(Home("Default.ini")));
    EXPECT_FALSE(app.Shutdown(false));
    EXPECT_TRUE(app.Document().Rows().Modified());
    EXPECT_EQ(m_prompter.informed,
              std::vector<std::string>{"Error saving INI file ! " + Home("Default.ini") +
                                       ": Is a directory"});
    EXPECT_TRUE(FileExists(Home("kov.ini")));
}

// Defaults in place of settings that exist but cannot be read would be saved over them.
TEST_F(ApplicationTest, TheLanguageSettingChoosesTheTextsOfLogAndPrompts) {
    test::EnvGuard locale{{"LC_ALL", "LC_MESSAGES", "LANG"}};
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "de_DE.UTF-8", 1);
    CreateFolders(Home("Lang"));
    WriteFileAtomic(Home("Lang/German.lng"), "[Strings]\nAddedToQueue=eingereiht\n");
    const struct {
        const char* setting;
        bool detect;
        const char* text;
    } cases[] = {{"German", false, "eingereiht"},
                 {"0", true, "eingereiht"},
                 {"0", false, "added to queue"},
                 {"", true, "added to queue"}};
    for (const auto& c : cases) {
        WriteFileAtomic(Home("kov.ini"), std::string("[KOV-Main]\nLanguage=") + c.setting + "\n");
        Application app(m_prompter);
        StartupInput input;
        input.executablePath = "/nonexistent/bin/kov";
        input.detectLanguage = c.detect;
        ASSERT_TRUE(app.Startup(input));
        EXPECT_EQ(GetString(EventCode::AddedToQueue), c.text) << c.setting << c.detect;
    }
    Texts().Reset();
    Texts().PublishMessages();
}

TEST_F(ApplicationTest, UnreadableSettingsStopTheStartAndStayUntouched) {
    for (const std::string& unreadable : {Home("kov.ini"), UserIni()}) {
        m_prompter.Reset();
        ASSERT_TRUE(CreateFolders(unreadable));
        Application app(m_prompter);
        EXPECT_FALSE(Start(app));
        EXPECT_EQ(m_prompter.informed, std::vector<std::string>{"Cannot read the settings: " +
                                                                unreadable + ": Is a directory"});
        EXPECT_TRUE(FolderExists(unreadable));
        ASSERT_EQ(rmdir(unreadable.c_str()), 0);
    }
}

}  // namespace
}  // namespace kov
