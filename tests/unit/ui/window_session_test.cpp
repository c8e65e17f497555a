#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <memory>
#include <string>

#include "core/command_ids.h"
#include "core/message_table.h"
#include "model/list_document.h"
#include "net/inet.h"
#include "session/event_log.h"
#include "support/nginx_server.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"
#include "ui/list_table_model.h"
#include "ui/lists_pane.h"
#include "ui/main_window.h"

namespace kov {
namespace {

// Sessions started from the window against nginx on loopback.
class WindowSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!test::NginxServer::Available()) return;
        InternetGlobalInit();
        nginx = std::make_unique<test::NginxServer>();
        nginx->AddLocation("location /slow/ { limit_rate 2k; }");
        for (int i = 1; i <= 3; ++i)
            nginx->WriteFile("files/f" + std::to_string(i) + ".txt", std::string(5000, 'a' + i));
        nginx->WriteFile("slow/big", std::string(400000, 'b'));
        if (!nginx->Start()) nginx.reset();
    }
    static void TearDownTestSuite() { nginx.reset(); }

    void SetUp() override {
        if (!nginx) GTEST_SKIP() << "nginx is not installed or did not start";
        settings.WriteLog = 0;
        settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback tests
        settings.MaxThreads = 2;
        settings.lists = {{"Main", dir.File("Default.ini"), dir.File("Download/")}};
        document = std::make_unique<ListDocument>(
            settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr}, prompter);
        document->LoadCatalogue();
        MainWindowSetup setup;
        setup.settings = &settings;
        setup.document = document.get();
        setup.prompter = &prompter;
        window = std::make_unique<MainWindow>(setup);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    RowId Add(const std::string& name, const std::string& path) {
        UrlItem item = FreshItem();
        item.Name = name;
        item.Url = nginx->Url(path);
        item.Dest = dir.File("Download/");
        return document->AddItem(item);
    }
    bool UntilIdle() {
        return QTest::qWaitFor([&] { return window->Session().State() == SessionState::Idle; },
                               20000);
    }
    bool LogHas(const std::string& text) {
        for (const LogLine& line : window->Log().Lines())
            if (line.text.find(text) != std::string::npos) return true;
        return false;
    }

    static inline std::unique_ptr<test::NginxServer> nginx;
    test::TempDir dir;
    test::RecordingPrompter prompter;
    AppSettings settings;
    std::unique_ptr<ListDocument> document;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowSessionTest, F5RunsTheListAndTheRowsLogAndTitleFollow) {
    for (int i = 1; i <= 3; ++i)
        Add("f" + std::to_string(i), "/files/f" + std::to_string(i) + ".txt");
    QSignalSpy titles(window.get(), &MainWindow::titleChanged);
    QSignalSpy repaints(&window->UrlModel(), &QAbstractItemModel::dataChanged);
    window->FocusPane(MainWindow::Pane::Urls);
    QTest::keyClick(window->UrlView(), Qt::Key_F5);
    EXPECT_FALSE(window->Lists()->isEnabled()) << "the list cannot change under a session";
    ASSERT_TRUE(UntilIdle());

    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(dir.Read("Download/f" + std::to_string(i) + ".txt"), std::string(5000, 'a' + i));
    EXPECT_TRUE(window->Lists()->isEnabled());
    EXPECT_TRUE(LogHas(GetString(EventCode::SessionSummary1)));
    // The pane shows new lines a tenth of a second later at most.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->LogView()->model()->rowCount() > 3; }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return repaints.count() > 0; }, 1000));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_FALSE(document->Rows().At(i).columns[kColumnStatus].empty());
    ASSERT_GE(titles.count(), 2);
    EXPECT_NE(titles.front().front().toString().indexOf("Kovrun, "), -1);
    EXPECT_EQ(window->windowTitle(), "Kovrun");
}

TEST_F(WindowSessionTest, ClosingDuringASessionStopsItFirstAndClosingAgainStopsAtOnce) {
    settings.AbortMode = 1;  // stop when the current file is done
    const RowId big = Add("big", "/slow/big");
    QSignalSpy closed(window.get(), &MainWindow::closed);
    window->Execute(kCmdStartDownload);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return document->Rows().Find(big)->runState == RunState::Running; }, 10000));

    window->close();
    EXPECT_TRUE(window->isVisible()) << "the window waits for the session";
    EXPECT_EQ(window->Session().State(), SessionState::Stopping);
    EXPECT_EQ(closed.count(), 0);

    window->close();  // the user insists
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 5000));
    EXPECT_EQ(window->Session().State(), SessionState::Idle);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace kov
