#include "ui/app/gui_application.h"

#include <gtest/gtest.h>

#include <QSplitter>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/list_document.h"
#include "platform/file_util.h"
#include "support/env_guard.h"
#include "support/temp_dir.h"
#include "ui/app/qt_prompter.h"
#include "ui/window/main_window.h"

namespace kov {
namespace {

// A program folder and a settings folder of the test's own; the prompter's questions are
// answered with their defaults and kept.
class GuiApplicationTest : public ::testing::Test {
protected:
    GuiApplicationTest() {
        setenv("KOV_HOME", dir.File("home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
        prompter.SetAnswerer([this](const std::string& text, bool, bool def) {
            messages.push_back(text);
            return def;
        });
        input.executablePath = "/nonexistent/bin/kov";
    }

    test::EnvGuard env{{"KOV_HOME", "XDG_CONFIG_HOME"}};
    test::TempDir dir;
    QtPrompter prompter;
    std::vector<std::string> messages;
    StartupInput input;
};

TEST_F(GuiApplicationTest, SavingAtTheDesktopSessionsEndKeepsListAndLayoutForTheNextStart) {
    auto splitRow = [](GuiApplication& app) {
        return app.Window()->findChild<QSplitter*>(QStringLiteral("rows"));
    };
    {
        GuiApplication app(prompter);
        ASSERT_TRUE(app.Startup(input));
        app.Window()->resize(900, 700);  // room for the upper row
        app.Window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(app.Window()));
        QSplitter* rows = splitRow(app);
        rows->setSizes({180, rows->height() - 180 - rows->handleWidth()});
        app.Document().AddUrl("http://127.0.0.1/a.txt");
        ASSERT_TRUE(app.SaveNow());  // while the program still runs
        EXPECT_FALSE(app.Document().Rows().Modified());
        EXPECT_NE(ReadFile(dir.File("home/kov.ini")).value_or("").find("WndSplitRow=180"),
                  std::string::npos);
        EXPECT_NE(ReadFile(dir.File("home/Default.ini")).value_or("").find("a.txt"),
                  std::string::npos);
        EXPECT_TRUE(app.Shutdown(false)) << "saving a second time loses nothing";
    }
    GuiApplication next(prompter);
    ASSERT_TRUE(next.Startup(input));
    next.Window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(next.Window()));
    EXPECT_EQ(splitRow(next)->sizes().value(0), 180);
    EXPECT_EQ(next.Document().Rows().Count(), 1u);
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(GuiApplicationTest, AListThatCannotBeSavedKeepsTheWindowOpenWithItsChanges) {
    GuiApplication app(prompter);
    ASSERT_TRUE(app.Startup(input));
    MainWindow& window = *app.Window();
    int closed = 0;
    QObject::connect(&window, &MainWindow::closed, [&] { ++closed; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    app.Document().AddUrl("http://127.0.0.1/a.txt");
    // A folder in the list file's place: the new file cannot be renamed over it.
    ASSERT_TRUE(CreateFolders(dir.File("home/Default.ini"), 0700));

    EXPECT_FALSE(window.close());
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(app.Document().Rows().Modified());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("Default.ini"), std::string::npos) << messages[0];
    EXPECT_NE(messages[1].find("stays open"), std::string::npos) << messages[1];

    // Once the list can be written, closing saves it.
    ASSERT_TRUE(std::filesystem::remove(dir.File("home/Default.ini")));
    EXPECT_TRUE(window.close());
    EXPECT_EQ(closed, 1);
    EXPECT_NE(ReadFile(dir.File("home/Default.ini")).value_or("").find("a.txt"), std::string::npos);
}

}  // namespace
}  // namespace kov
