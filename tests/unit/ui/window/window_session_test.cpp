#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>

#include "core/command_ids.h"
#include "core/language/message_table.h"
#include "mail_control/query_message.h"
#include "model/list_document.h"
#include "net/http/inet.h"
#include "platform/file_util.h"
#include "session/event_log.h"
#include "support/env_guard.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/pop3_server.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "ui/window/list_table_model.h"
#include "ui/window/lists_pane.h"
#include "ui/window/main_window.h"

namespace kov {
namespace {

// What the window shows in its tray, in order.
class RecordingTray : public TrayHook {
public:
    bool ShowIcon(const QString&) override { return false; }
    void HideIcon() override {}
    void SetTip(const QString&) override {}
    void SetState(State s) override {
        if (states.empty() || states.back() != s) states.push_back(s);
    }
    void NotifySessionEnd(int files, int errors) override { notices.push_back({files, errors}); }
    std::vector<State> states;
    std::vector<std::pair<int, int>> notices;
};

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
        if (!nginx) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed or did not start";
        settings.WriteLog = 0;
        settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback tests
        settings.MaxThreads = 2;
        settings.lists = {{"Main", dir.File("Default.ini"), dir.File("Download/")}};
        document = std::make_unique<ListDocument>(
            settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr}, prompter);
        document->LoadCatalogue();
        MakeWindow({});
    }
    // The window of the fixture; setup's pointers and folder are filled in.
    void MakeWindow(MainWindowSetup setup) {
        window.reset();
        setup.settings = &settings;
        setup.document = document.get();
        setup.prompter = &prompter;
        setup.programFolder = dir.path() + "/";
        window = std::make_unique<MainWindow>(setup);
        window->SetTrayHook(&tray);
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
    bool LogHas(const std::string& text) { return LogText().find(text) != std::string::npos; }
    std::string LogText() {
        std::string text;
        for (const LogLine& line : window->Log().Lines())
            text += line.text + "\n";
        return text;
    }

    static inline std::unique_ptr<test::NginxServer> nginx;
    test::TempDir dir;
    test::RecordingPrompter prompter;
    RecordingTray tray;
    AppSettings settings;
    std::unique_ptr<ListDocument> document;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowSessionTest, F5RunsTheListAndTheRowsLogAndTitleFollow) {
    for (int i = 1; i <= 3; ++i)
        Add("f" + std::to_string(i), "/files/f" + std::to_string(i) + ".txt");
    Add("missing", "/files/none.txt");
    QSignalSpy titles(window.get(), &MainWindow::titleChanged);
    QSignalSpy repaints(&window->UrlModel(), &QAbstractItemModel::dataChanged);
    window->FocusPane(MainWindow::Pane::Urls);
    QTest::keyClick(window->UrlView(), Qt::Key_F5);
    EXPECT_TRUE(window->Lists()->Locked()) << "the list cannot change under a session";
    EXPECT_TRUE(window->Lists()->isEnabled()) << "but the pane is not greyed";
    ASSERT_TRUE(UntilIdle());

    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(dir.Read("Download/f" + std::to_string(i) + ".txt"), std::string(5000, 'a' + i));
    EXPECT_FALSE(window->Lists()->Locked());
    EXPECT_TRUE(LogHas(GetString(EventCode::SessionSummary1)));
    // The pane shows new lines a tenth of a second later at most.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->LogView()->model()->rowCount() > 3; }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return repaints.count() > 0; }, 1000));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_FALSE(document->Rows().At(i).columns[kColumnStatus].empty());
    ASSERT_GE(titles.count(), 2);
    EXPECT_NE(titles.front().front().toString().indexOf("Kov, "), -1);
    // The title follows the session a tenth of a second later at most.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() == "Kov"; }, 1000));
    // The desktop hears how it went.
    EXPECT_EQ(tray.notices, (std::vector<std::pair<int, int>>{{3, 1}}));
    EXPECT_NE(std::find(tray.states.begin(), tray.states.end(), TrayHook::State::Downloading),
              tray.states.end());
    EXPECT_EQ(tray.states.back(), TrayHook::State::Idle);
}

TEST_F(WindowSessionTest, CheckingMailTakesTheQueriedItemsAndDownloadsThem) {
    if (!test::Pop3Server::Available())
        KOV_SKIP_WITHOUT_SERVER() << "dovecot-pop3d is not installed";
    test::TestCa ca;
    test::Pop3Server pop3;
    ASSERT_TRUE(ca.Make());
    ASSERT_TRUE(pop3.Start(ca));
    UrlItem item = FreshItem();
    item.Url = nginx->Url("/files/f2.txt");
    item.Dest = "f2.txt";
    ASSERT_TRUE(
        pop3.AddMessage("From: a@kov.test\r\nSubject: #KOVQUERY:pw\r\n"
                        "Message-ID: <w1@kov.test>\r\n\r\n\r\n" +
                        ItemQueryText(item) + "\r\n"));
    EmailSettings& email = settings.email;
    email.MailBox = test::Pop3Server::kUser;
    email.MailBoxPsw = test::Pop3Server::kPassword;
    email.Passphrase = "pw";
    email.SaveFolder = dir.File("queries/");
    email.QueryAllowLocal = 1;  // the item is on loopback
    EXPECT_FALSE(window->IsEnabled(kCmdCheckMail));
    email.Pop3Server = "127.0.0.1:" + std::to_string(pop3.Port());
    email.MyEmailAddr = "me@kov.test";
    ASSERT_TRUE(window->IsEnabled(kCmdCheckMail));

    QTest::keyClick(window->UrlView(), Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(tray.states.back(), TrayHook::State::MailCheck);
    ASSERT_TRUE(QTest::qWaitFor([&] { return document->Rows().Count() == 1; }, 20000)) << LogText();
    EXPECT_EQ(document->Rows().At(0).item.CEType, 10);
    // Saved first, then taken out of the mailbox.
    EXPECT_TRUE(QTest::qWaitFor([&] { return pop3.Count() == 0; }, 5000));
    // The item is downloaded at once, as the session's new item.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return document->Rows().At(0).runState != RunState::None || tray.notices.size(); },
        5000));
    ASSERT_TRUE(UntilIdle());
    EXPECT_EQ(tray.notices.size(), 1u);
    EXPECT_EQ(tray.states.back(), TrayHook::State::Idle);
    // Ctrl+I makes it an ordinary item of this list.
    window->SelectRows({document->Rows().At(0).id});
    QTest::keyClick(window->UrlView(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(document->Rows().At(0).item.CEType, 0);
    EXPECT_TRUE(document->Rows().Modified());
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

// OnEndSession 2: the window saves everything, then powers off and closes; a failed save or a
// refused power-off keeps the program running.
TEST_F(WindowSessionTest, PowerOffComesAfterTheSaveAndAFailureKeepsTheProgram) {
    test::EnvGuard env({"KOV_POWEROFF_COMMAND"});
    const std::string marker = dir.File("powered-off");
    struct Case {
        bool saved;
        std::string command;
        bool poweredOff;
        std::vector<std::string> told;
    };
    const Case cases[] = {
        {false, "touch " + marker, false, {}},  // the save has said why itself
        {true, "echo denied >&2; exit 1", false, {"You have no privileges to shutdown system !"}},
        {true, "touch " + marker, true, {}},
    };
    settings.OnEndSession = 2;
    Add("f1", "/files/f1.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + (c.saved ? "" : ", not saved"));
        setenv("KOV_POWEROFF_COMMAND", c.command.c_str(), 1);
        prompter.Reset();
        int saves = 0;
        MainWindowSetup setup;
        setup.hooks.confirmEndAction = [](bool) { return true; };
        setup.saveOnClose = [&](bool) { return ++saves, c.saved; };
        MakeWindow(setup);
        QSignalSpy closed(window.get(), &MainWindow::closed);
        window->Execute(kCmdStartDownload);
        ASSERT_TRUE(QTest::qWaitFor([&] { return saves > 0; }, 20000));
        if (c.poweredOff) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 20000));
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(FileExists(marker), c.poweredOff);
        EXPECT_EQ(closed.count(), c.poweredOff ? 1 : 0);
        EXPECT_EQ(saves, c.poweredOff ? 2 : 1);  // a power-off closes, which saves too
        EXPECT_EQ(window->isVisible(), !c.poweredOff);
        EXPECT_EQ(prompter.informed, c.told);
    }
}

}  // namespace
}  // namespace kov
