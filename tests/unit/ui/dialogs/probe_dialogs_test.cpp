// The URL test, list properties, countdown and distributed download dialogs against real
// servers on loopback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/language/localiser.h"
#include "model/list_document.h"
#include "support/fault_server.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_prompter.h"
#include "support/smtp_server.h"
#include "support/temp_dir.h"
#include "ui/dialogs/distributed_dialog.h"
#include "ui/dialogs/list_properties_dialog.h"
#include "ui/dialogs/send_query_dialog.h"
#include "ui/dialogs/shutdown_countdown_dialog.h"
#include "ui/dialogs/url_test_dialog.h"

namespace kov {
namespace {

using Field = UrlTestDialog::Field;

class ProbeDialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (test::NginxServer::Available()) {
            nginx = std::make_unique<test::NginxServer>();
            nginx->WriteFile("files/a.txt", std::string(1234, 'a'));
            if (!nginx->Start()) nginx.reset();
        }
        if (test::FaultServer::Available()) {
            faults = std::make_unique<test::FaultServer>();
            if (!faults->Start()) faults.reset();
        }
    }
    static void TearDownTestSuite() {
        nginx.reset();
        faults.reset();
    }
    void SetUp() override {
        settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback tests
        macros.appFolder = dir.path() + "/";
        macros.now = std::time(nullptr);
    }
    UrlItem Item(const std::string& url) const {
        UrlItem item = FreshItem();
        item.Name = "x";
        item.Url = url;
        item.Dest = dir.File("Download/");
        return item;
    }
    // Probes url and waits for the result.
    std::unique_ptr<UrlTestDialog> Probe(const UrlItem& item) {
        auto dialog = std::make_unique<UrlTestDialog>(item, settings, macros);
        dialog->Start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->Probing(); }, 20000));
        return dialog;
    }

    static inline std::unique_ptr<test::NginxServer> nginx;
    static inline std::unique_ptr<test::FaultServer> faults;
    test::TempDir dir;
    test::RecordingPrompter prompter;
    AppSettings settings;
    MacroContext macros;
};

TEST_F(ProbeDialogsTest, ProbeShowsWhatTheServerAndTheDiskSay) {
    if (!nginx || !faults) KOV_SKIP_WITHOUT_SERVER() << "nginx or python3 is missing";
    std::filesystem::create_directories(dir.File("Download"));
    std::FILE* f = std::fopen(dir.File("Download/a.txt").c_str(), "w");
    std::fputs("seven!!", f);
    std::fclose(f);
    struct Case {
        std::string url, size, type, partial, finalUrl, localSize;
    } cases[] = {
        {nginx->Url("/files/a.txt"), "1,234", "text/plain", "Yes", "", "7"},
        // The local copy is the one the final address gives.
        {nginx->Url("/redirect"), "1,234", "text/plain", "Yes", "==> " + nginx->Url("/files/a.txt"),
         "7"},
        {faults->Url("/nolength"), "Unknown", "application/octet-stream", "No", "", "--"},
    };
    for (const Case& c : cases) {
        auto dialog = Probe(Item(c.url));
        EXPECT_EQ(dialog->FieldText(Field::Url).toStdString(), c.url);
        EXPECT_EQ(dialog->FieldText(Field::FileSize).toStdString(), c.size) << c.url;
        EXPECT_EQ(dialog->FieldText(Field::ContentType).toStdString(), c.type) << c.url;
        EXPECT_EQ(dialog->FieldText(Field::Partial).toStdString(), c.partial) << c.url;
        EXPECT_EQ(dialog->FieldText(Field::FinalUrl).toStdString(), c.finalUrl) << c.url;
        EXPECT_EQ(dialog->FieldText(Field::LocalSize).toStdString(), c.localSize) << c.url;
        EXPECT_EQ(dialog->FieldText(Field::LastDownload), "--");  // never downloaded
    }
}

TEST_F(ProbeDialogsTest, LocalFilesAndUnreachableAddresses) {
    const std::string file = dir.File("here.bin");
    std::FILE* f = std::fopen(file.c_str(), "w");
    std::fputs("12345", f);
    std::fclose(f);
    auto local = Probe(Item("file://" + file));
    EXPECT_EQ(local->FieldText(Field::FileSize), "5");
    EXPECT_EQ(local->FieldText(Field::LocalNetwork), "Resource is in Local Network");

    // Under the address: what the server answered, or that none did (with the code).
    struct Case {
        std::string url, said;
    } cases[] = {
        {"http://127.0.0.1:1/x", "URL unreachable (no Internet ?) , "},
        {nginx ? nginx->Url("/files/missing.txt") : "", "The server answered 404 Not Found"},
    };
    for (const Case& c : cases) {
        if (c.url.empty()) continue;  // no nginx here
        auto failed = Probe(Item(c.url));
        const std::string shown = failed->FieldText(Field::Url).toStdString();
        EXPECT_EQ(shown.rfind(c.url + "\n" + c.said, 0), 0u) << shown;
        EXPECT_EQ(failed->FieldText(Field::FileSize), "Unknown");
    }
}

TEST_F(ProbeDialogsTest, ClosingDuringASilentProbeDoesNotWait) {
    if (!faults) KOV_SKIP_WITHOUT_SERVER() << "python3 is missing";
    UrlItem item = Item(faults->Url("/silent"));
    item.CEType = 10;
    item.CEComeFrom = "a@example.org";
    auto dialog = std::make_unique<UrlTestDialog>(item, settings, macros);
    dialog->show();
    EXPECT_TRUE(dialog->Probing());
    EXPECT_EQ(dialog->FieldText(Field::Origin), "Query for URL received from <a@example.org>");
    QTest::qWait(200);
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
    // A dialog deleted during its probe: the probe goes on without it and must not touch it.
    auto gone = std::make_unique<UrlTestDialog>(item, settings, macros);
    gone->show();
    gone.reset();
    // Closing told the probe to stop: it ends long before the server would time out.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->Probing(); }, 5000));
}

TEST_F(ProbeDialogsTest, ListPropertiesRoundTrip) {
    settings.lists = {{"Main", dir.File("Default.ini"), dir.File("Download/")}};
    ListDocument document(settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr},
                          prompter);
    document.LoadCatalogue();
    {
        ListPropertiesDialog dialog(document, std::nullopt);
        EXPECT_FALSE(dialog.CanAccept());
        QTest::keyClicks(dialog.NameField(), "News");
        EXPECT_EQ(dialog.FileField()->text(), "{APPFOLDER}News.ini");
        EXPECT_EQ(dialog.FolderField()->text(), "{APPFOLDER}Downloads/News/");
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    ASSERT_EQ(document.ListCount(), 2u);
    EXPECT_EQ(document.GetList(1)->FileName, "{APPFOLDER}News.ini");
    {
        // An emptied name is refused at the field; Cancel keeps the old one.
        ListPropertiesDialog dialog(document, 1);
        EXPECT_EQ(dialog.NameField()->text(), "News");
        dialog.NameField()->clear();
        EXPECT_FALSE(
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled());
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        dialog.reject();
    }
    EXPECT_EQ(document.GetList(1)->Name, "News");
    {
        ListPropertiesDialog dialog(document, 1);
        dialog.NameField()->setText("Papers");
        dialog.accept();
    }
    EXPECT_EQ(document.GetList(1)->Name, "Papers");
    EXPECT_EQ(document.GetList(1)->FileName, "{APPFOLDER}News.ini");  // only new lists follow
}

TEST_F(ProbeDialogsTest, CountdownRunsOutOrIsCancelled) {
    ShutdownCountdownDialog cancelled(true, 30);
    EXPECT_EQ(cancelled.LineText(), "Windows will Shutdown in 30 seconds");
    QTimer::singleShot(0, &cancelled, [&] {
        for (QPushButton* button : cancelled.findChildren<QPushButton*>())
            if (button->text() == "Cancel shutdown") QTest::mouseClick(button, Qt::LeftButton);
    });
    EXPECT_EQ(cancelled.exec(), QDialog::Rejected);

    ShutdownCountdownDialog close(false, 1);
    EXPECT_EQ(close.LineText(), "Program will be closed in 1 seconds");
    EXPECT_EQ(close.exec(), QDialog::Accepted);  // the time ran out

    // Both lines are translated.
    ASSERT_TRUE(
        Texts().LoadLanguage("German", {std::string(KOV_TEST_SUPPORT_DIR) + "/../../Lang/"}));
    EXPECT_EQ(ShutdownCountdownDialog(false, 30).LineText(),
              "Das Programm wird beendet in 30 Sekunden");
    EXPECT_EQ(ShutdownCountdownDialog(true, 9).LineText(),
              "Der Rechner wird heruntergefahren in 9 Sekunden");
    Texts().Reset();
}

TEST_F(ProbeDialogsTest, DistributedPartSizes) {
    UrlItem item = Item("http://127.0.0.1:1/big");
    item.DstDlFileSize = 1000001;
    DistributedDialog dialog(item, settings, macros, prompter);
    struct Case {
        int count, part;
        const char* lines;
    } cases[] = {
        {2, 1, "One part size is : 500,000 Bytes\nFile size : 1,000,001 Bytes"},
        {3, 3, "One part size is : 333,333 Bytes\nFile size : 1,000,001 Bytes"},
    };
    for (const Case& c : cases) {
        dialog.PartCountBox()->setValue(c.count);
        dialog.PartNumberBox()->setValue(c.part);
        EXPECT_EQ(dialog.PartInfoText().toStdString(), c.lines);
        EXPECT_EQ(dialog.Item().DstDlPartNo, c.part);
    }
    // The part number never passes the count.
    dialog.PartCountBox()->setValue(2);
    EXPECT_EQ(dialog.Item().DstDlPartNo, 2);

    if (!nginx) return;
    DistributedDialog probed(Item(nginx->Url("/files/a.txt")), settings, macros, prompter);
    probed.ActiveBox()->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !probed.Busy(); }, 20000));
    EXPECT_EQ(probed.Item().DstDlFileSize, 1234);
    EXPECT_EQ(probed.PartInfoText().toStdString(),
              "One part size is : 617 Bytes\nFile size : 1,234 Bytes");
}

TEST_F(ProbeDialogsTest, QueriesGoToTheCheckedHostsOnly) {
    if (!test::SmtpServer::Available())
        KOV_SKIP_WITHOUT_SERVER() << "python3-aiosmtpd is not installed";
    test::TestCa unused;  // plain SMTP needs no certificate
    test::SmtpServer smtp;
    ASSERT_TRUE(smtp.Start(test::SmtpServer::Mode::Plain, unused, false));
    settings.email.SmtpServer = "127.0.0.1:" + std::to_string(smtp.Port());
    settings.email.MyEmailAddr = "me@example.org";
    settings.email.hosts = {
        {1, "a@example.org", "pa"}, {1, "b@example.org", "pb"}, {1, "c@example.org", "pc"}};
    UrlItem item = Item("http://127.0.0.1:1/big.iso");
    item.DstDlActive = 1;
    item.DstDlFileSize = 3000;
    item.DstDlPartCount = 3;
    item.DstDlPartNo = 3;
    DistributedDialog dialog(item, settings, macros, prompter);
    // Two of three hosts for three portions: the own portion stays here.
    dialog.HostList()->item(0)->setCheckState(Qt::Checked);
    dialog.HostList()->item(2)->setCheckState(Qt::Checked);
    dialog.SendQueries();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
    const std::string log = dialog.LogText().toStdString();
    EXPECT_NE(log.find("1 -> a@example.org ..."), std::string::npos) << log;
    EXPECT_NE(log.find("2 -> c@example.org ..."), std::string::npos) << log;
    EXPECT_EQ(log.find("b@example.org"), std::string::npos) << log;
    EXPECT_NE(log.find("All distributed-download queries sent"), std::string::npos) << log;
    EXPECT_EQ(smtp.Messages().size(), 2u);

    SendQueryDialog one(item, settings.email, 1);
    one.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !one.isVisible(); }, 20000));
    EXPECT_TRUE(one.Sent()) << one.Error();
    ASSERT_EQ(smtp.Messages().size(), 3u);
}

// Both dialogs send only once the dial-up line is up, let it go afterwards, and the portions'
// results reach the program log; without a line nothing is sent.
TEST_F(ProbeDialogsTest, QueriesWaitForTheLineAndAreLogged) {
    if (!test::SmtpServer::Available())
        KOV_SKIP_WITHOUT_SERVER() << "python3-aiosmtpd is not installed";
    test::TestCa unused;
    test::SmtpServer smtp;
    ASSERT_TRUE(smtp.Start(test::SmtpServer::Mode::Plain, unused, false));
    settings.email.SmtpServer = "127.0.0.1:" + std::to_string(smtp.Port());
    settings.email.MyEmailAddr = "me@example.org";
    settings.email.hosts = {{1, "a@example.org", "pa"}, {1, "b@example.org", "pb"}};
    UrlItem item = Item("http://127.0.0.1:1/big.iso");
    item.Name = "big";
    item.DstDlActive = 1;
    item.DstDlFileSize = 2000;
    item.DstDlPartCount = 2;
    for (const bool lineUp : {false, true}) {
        SCOPED_TRACE(lineUp ? "line up" : "no line");
        std::vector<std::string> steps;  // line requests and releases, sends seen meanwhile
        std::vector<std::string> logged;
        QueryLine line;
        line.request = [&](std::function<void(bool)> ready) {
            steps.push_back("request, mails so far: " + std::to_string(smtp.Messages().size()));
            QTimer::singleShot(0, [ready, lineUp] { ready(lineUp); });
        };
        line.release = [&] { steps.push_back("release"); };
        line.log = [&](const std::string& text, bool) { logged.push_back(text); };
        const std::size_t before = smtp.Messages().size();

        DistributedDialog dialog(item, settings, macros, prompter, nullptr, line);
        dialog.HostList()->item(0)->setCheckState(Qt::Checked);
        dialog.HostList()->item(1)->setCheckState(Qt::Checked);
        dialog.SendQueries();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
        SendQueryDialog one(item, settings.email, 0, nullptr, line);
        one.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !one.isVisible(); }, 20000));

        EXPECT_EQ(smtp.Messages().size(), before + (lineUp ? 3u : 0u));
        EXPECT_EQ(one.Sent(), lineUp) << one.Error();
        const std::string request = "request, mails so far: " + std::to_string(before);
        const std::vector<std::string> held =
            lineUp
                ? std::vector<std::string>{request, "release",
                                           "request, mails so far: " + std::to_string(before + 2),
                                           "release"}
                : std::vector<std::string>{request,
                                           "request, mails so far: " + std::to_string(before)};
        EXPECT_EQ(steps, held);
        const std::vector<std::string> log =
            lineUp ? std::vector<std::string>{"[big- portion 1] send to a@example.org result: OK",
                                              "[big- portion 2] send to b@example.org result: OK",
                                              "All distributed-download queries sent"}
                   : std::vector<std::string>{"Error connecting to host"};
        EXPECT_EQ(logged, log);
        if (!lineUp) {
            EXPECT_EQ(one.Error(), "Error connecting to host");
        }
    }
}

TEST_F(ProbeDialogsTest, MergeJoinsThePartFilesOrStopsAtAMissingOne) {
    std::filesystem::create_directories(dir.File("Download"));
    UrlItem item = Item("http://127.0.0.1:1/big.bin");
    item.DstDlFileSize = 7;
    const std::string whole = dir.File("whole.bin");
    struct Case {
        const char* second;  // nullptr: the part file is missing
        const char* merged;
        const char* logged;
    } cases[] = {
        {nullptr, "", "File read error - "},
        {"defg", "abcdefg", "7 Bytes"},
    };
    for (const Case& c : cases) {
        std::ofstream(dir.File("Download/big.bin.001")) << "abc";
        std::filesystem::remove(dir.File("Download/big.bin.002"));
        if (c.second) std::ofstream(dir.File("Download/big.bin.002")) << c.second;
        DistributedDialog dialog(item, settings, macros, prompter);
        dialog.Merge(whole);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
        EXPECT_NE(dialog.LogText().toStdString().find(c.logged), std::string::npos)
            << dialog.LogText().toStdString();
        EXPECT_EQ(dir.Read("whole.bin"), c.merged);
        // The question to delete the parts takes its default answer, no.
        EXPECT_TRUE(std::filesystem::exists(dir.File("Download/big.bin.001")));
    }
}

}  // namespace
}  // namespace kov
