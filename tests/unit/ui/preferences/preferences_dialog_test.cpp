#include "ui/preferences/preferences_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>

#include "content/rules/page_rules.h"
#include "core/language/localiser.h"
#include "core/settings/profile_store.h"
#include "model/list_document.h"
#include "platform/file_util.h"
#include "support/missing_server.h"
#include "support/pop3_server.h"
#include "support/recording_prompter.h"
#include "support/smtp_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "ui/preferences/preferences_rule_editing.h"
#include "ui/window/lists_pane.h"
#include "ui/window/main_window.h"

namespace kov {
namespace {

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.lists = {{"Main", "Default.ini", ""}, {"Second", "Second.ini", ""}};
        rules.banner.rules = {{"", "<blink>", "", 0, 1, 1}};
        rules.sites = {{"s1", 1, "News", "http://news.test/", {}}};
        Open();
    }
    void TearDown() override { SetRuleListEditor({}); }

    void Open() {
        PreferencesSetup setup;
        setup.settings = &settings;
        setup.rules = &rules;
        setup.settingsFile = dir.File("kov.ini");
        setup.bannerFile = dir.File("banners.ini");
        setup.siteFile = dir.File("SiteRipper.ini");
        setup.context.languageChoices = {"  Auto-Detect", "English", "German"};
        setup.context.rulesLocked = rulesLocked;
        setup.context.trafficCount = trafficCount;
        setup.context.resetTraffic = resetTraffic;
        dialog = std::make_unique<PreferencesDialog>(std::move(setup));
        dialog->show();
    }

    template <typename W>
    W* Field(const char* name) {
        W* w = dialog->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void ShowPageOf(QWidget* w) {
        for (int i = 0; i < dialog->PageCount(); ++i) {
            dialog->ShowPage(i);
            if (w->isVisible()) return;
        }
    }
    void Click(const char* button) {
        auto* b = Field<QPushButton>(button);
        ShowPageOf(b);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void Type(QLineEdit* edit, const QString& text) {
        ShowPageOf(edit);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // Sets a field the way its widget takes input; "1"/"0" for check boxes, an index for
    // choices.
    void Set(const char* name, const QString& value) {
        QWidget* w = Field<QWidget>(name);
        ASSERT_NE(w, nullptr);
        ShowPageOf(w);
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            Type(e, value);
        } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
            if (c->isChecked() != (value == "1")) QTest::mouseClick(c, Qt::LeftButton, {}, {4, 4});
        } else if (auto* s = qobject_cast<QSpinBox*>(w)) {
            s->selectAll();
            QTest::keyClicks(s, value);
            s->interpretText();
        } else if (auto* b = qobject_cast<QComboBox*>(w)) {
            b->setCurrentIndex(value.toInt());
        }
    }
    AppSettings Reloaded() {
        ProfileStore store;
        EXPECT_TRUE(store.Open(dir.File("kov.ini")));
        AppSettings loaded;
        LoadSettings(store, loaded, dir.path() + "/");
        return loaded;
    }
    void AddTask(const QString& start, const QString& stop) {
        Click("AddTask");
        Type(Field<QLineEdit>("StartTime"), start);
        Type(Field<QLineEdit>("StopTime"), stop);
    }

    test::TempDir dir;
    AppSettings settings;
    PageRules rules;
    bool rulesLocked = false;
    std::function<std::uint64_t()> trafficCount;
    std::function<bool()> resetTraffic;
    std::unique_ptr<PreferencesDialog> dialog;
};

using Read = std::function<std::string(const AppSettings&)>;
std::string N(std::int32_t v) {
    return std::to_string(v);
}

TEST_F(PreferencesTest, EveryPageRoundTripsThroughTheSettingsFile) {
    const struct {
        const char* field;
        const char* value;
        Read read;
    } cases[] = {
        {"Language", "2", [](auto& s) { return s.Language == "German" ? "2" : s.Language; }},
        {"MinToTray", "1", [](auto& s) { return N(s.MinToTray); }},
        {"Transparency", "120", [](auto& s) { return N(s.Transparency); }},
        {"WndTopmost", "1", [](auto& s) { return N(s.WndTopmost); }},
        {"ShowPaneLists", "0", [](auto& s) { return N(s.ShowPaneLists); }},
        {"ChkUpdInterval", "7", [](auto& s) { return N(s.ChkUpdInterval); }},
        {"UpdateUrl", "https://u.test/i", [](auto& s) { return s.UpdateUrl; }},
        {"MaxThreads", "5", [](auto& s) { return N(s.MaxThreads); }},
        {"NotNeededAction", "1", [](auto& s) { return N(s.NotNeededAction); }},
        {"AbortMode", "1", [](auto& s) { return N(s.AbortMode); }},
        {"OnEndSession", "2", [](auto& s) { return N(s.OnEndSession); }},
        {"LimitTrace", "1", [](auto& s) { return N(s.LimitTrace); }},
        {"LimitSum", "500", [](auto& s) { return s.LimitSum; }},
        {"WriteLog", "1", [](auto& s) { return N(s.WriteLog); }},
        {"MaxLogSize", "2048", [](auto& s) { return N(s.MaxLogSize); }},
        {"LogDetail", "2", [](auto& s) { return N(s.LogDetail); }},
        {"Debug", "1", [](auto& s) { return N(s.Debug); }},
        {"StdUserAgent", "0", [](auto& s) { return N(s.StdUserAgent); }},
        {"User-Agent", "Kov/1", [](auto& s) { return s.UserAgent; }},
        {"FtpPasvMode", "2", [](auto& s) { return N(s.FtpPasvMode); }},
        {"NoCache", "1", [](auto& s) { return N(s.NoCache); }},
        {"EnableHttps", "0", [](auto& s) { return N(s.EnableHttps); }},
        {"ProxyFromIE", "0", [](auto& s) { return N(s.ProxyFromIE); }},
        {"BypassProxyLocal", "0", [](auto& s) { return N(s.BypassProxyLocal); }},
        {"Proxy", "1", [](auto& s) { return N(s.Proxy); }},
        {"ProxyAddress", "proxy.test:3128", [](auto& s) { return s.ProxyAddress; }},
        {"ProxyUser", "pu", [](auto& s) { return s.ProxyUser; }},
        {"ProxyPsw", "pp", [](auto& s) { return s.ProxyPsw; }},
        {"FtpProxy", "1", [](auto& s) { return N(s.FtpProxy); }},
        {"FtpProxyAddress", "fp.test:21", [](auto& s) { return s.FtpProxyAddress; }},
        {"FtpProxyUser", "fu", [](auto& s) { return s.FtpProxyUser; }},
        {"FtpProxyPsw", "fw", [](auto& s) { return s.FtpProxyPsw; }},
        {"FtpProxyType", "3", [](auto& s) { return N(s.FtpProxyType); }},
        {"SpeedLimited", "1", [](auto& s) { return N(s.SpeedLimited); }},
        {"SpeedLimitInet", "64", [](auto& s) { return N(s.SpeedLimitInet); }},
        {"SpeedLimitLoc", "900", [](auto& s) { return N(s.SpeedLimitLoc); }},
        {"UseDialUp", "1", [](auto& s) { return N(s.UseDialUp); }},
        {"DialupItem", "dsl", [](auto& s) { return s.DialupItem; }},
        {"RasMonitoring", "1", [](auto& s) { return N(s.RasMonitoring); }},
        {"Hangup", "1", [](auto& s) { return N(s.Hangup); }},
        {"ReDialCount", "4", [](auto& s) { return N(s.ReDialCount); }},
        {"DownloadFlags3", "1", [](auto& s) { return N(s.DownloadFlags); }},  // bit 3: 8
        {"DownloadFlagsFull0", "0", [](auto& s) { return N(s.DownloadFlagsFull); }},
        {"DetectUrlTypes", "1", [](auto& s) { return N(s.DetectUrlTypes); }},
        {"SaveOriginalNames", "0", [](auto& s) { return N(s.SaveOriginalNames); }},
        {"DocModeFlags", "1", [](auto& s) { return N(s.DocModeFlags); }},
        {"FileSubFolders", "1", [](auto& s) { return N(s.FileSubFolders); }},
        {"ModernHtml", "0", [](auto& s) { return N(s.ModernHtml); }},
        {"SrFileMasks", "*.txt", [](auto& s) { return s.SrFileMasks; }},
        {"UseSound", "1", [](auto& s) { return N(s.UseSound); }},
        {"SoundStart", "/s/a.wav", [](auto& s) { return s.SoundStart; }},
        {"SoundEnd", "/s/b.wav", [](auto& s) { return s.SoundEnd; }},
        {"SoundErr1", "/s/c.wav", [](auto& s) { return s.SoundErr1; }},
        {"SoundErr2", "/s/d.wav", [](auto& s) { return s.SoundErr2; }},
        {"Name", "{SITE}-x", [](auto& s) { return s.newUrl.Name; }},
        {"Referer", "http://r.test/", [](auto& s) { return s.newUrl.Referer; }},
        {"LocalDir", "/dl/", [](auto& s) { return s.newUrl.LocalDir; }},
        {"Cmd", "echo", [](auto& s) { return s.newUrl.Cmd; }},
        {"PutNewToQueue", "1", [](auto& s) { return N(s.newUrl.PutNewToQueue); }},
        {"ParseUrl", "1", [](auto& s) { return N(s.newUrl.ParseUrl); }},
        {"RipBanners", "1", [](auto& s) { return N(s.newUrl.RipBanners); }},
        {"WithLinks", "1", [](auto& s) { return N(s.newUrl.WithLinks); }},
        {"WithPics", "1", [](auto& s) { return N(s.newUrl.WithPics); }},
        {"Disabled", "1", [](auto& s) { return N(s.newUrl.Disabled); }},
        {"interval", "-1", [](auto& s) { return N(s.newUrl.interval); }},
        {"days", "30", [](auto& s) { return N(s.newUrl.days); }},
        {"dayShift", "-2", [](auto& s) { return N(s.newUrl.dayShift); }},
        {"StopNumber", "99", [](auto& s) { return N(s.newUrl.StopNumber); }},
        {"Tolerance", "3", [](auto& s) { return N(s.newUrl.Tolerance); }},
        {"nfsize", "512", [](auto& s) { return N(s.newUrl.nfsize); }},
        {"nfString", "404", [](auto& s) { return s.newUrl.nfString; }},
        {"UpdateMode", "2", [](auto& s) { return N(s.newUrl.UpdateMode); }},
        {"SchedulerEnabled", "1", [](auto& s) { return N(s.schedule.Enabled); }},
        {"NewTaskStopsCurrent", "1", [](auto& s) { return N(s.schedule.NewTaskStopsCurrent); }},
        {"SmtpServer", "127.0.0.1:2525", [](auto& s) { return s.email.SmtpServer; }},
        {"SmtpSecurity", "2", [](auto& s) { return N(s.email.SmtpSecurity); }},
        {"SmtpUser", "su", [](auto& s) { return s.email.SmtpUser; }},
        {"SmtpPsw", "sp", [](auto& s) { return s.email.SmtpPsw; }},
        {"Pop3Server", "127.0.0.1:1110", [](auto& s) { return s.email.Pop3Server; }},
        {"Pop3Security", "3", [](auto& s) { return N(s.email.Pop3Security); }},
        {"MailBox", "box", [](auto& s) { return s.email.MailBox; }},
        {"MailBoxPsw", "bp", [](auto& s) { return s.email.MailBoxPsw; }},
        {"TlsCaFile", "/ca.pem", [](auto& s) { return s.email.TlsCaFile; }},
        {"MyEmailAddr", "me@kov.test", [](auto& s) { return s.email.MyEmailAddr; }},
        {"ActAsHost", "1", [](auto& s) { return N(s.email.ActAsHost); }},
        {"Passphrase", "pw", [](auto& s) { return s.email.Passphrase; }},
        {"PollInterval", "5", [](auto& s) { return N(s.email.PollInterval); }},
        {"SaveFolder", "/q/", [](auto& s) { return s.email.SaveFolder; }},
        {"QueryAllowCommand", "1", [](auto& s) { return N(s.email.QueryAllowCommand); }},
        {"QueryAllowUpload", "1", [](auto& s) { return N(s.email.QueryAllowUpload); }},
        {"QueryAllowLocal", "1", [](auto& s) { return N(s.email.QueryAllowLocal); }},
        {"QueryOpenAccess", "1", [](auto& s) { return N(s.email.QueryOpenAccess); }},
    };
    for (const auto& c : cases)
        Set(c.field, c.value);

    // A task and two hosts, the second made primary and the first disabled.
    AddTask("23:00", "01:30");
    Type(Field<QLineEdit>("TaskName"), "Night");
    Field<QComboBox>("ListName")->setCurrentIndex(1);
    Set("Day6", "1");
    Field<QComboBox>("TaskSpeedLimit")->setCurrentIndex(2);
    auto* hosts = Field<QTableWidget>("Hosts");
    for (const char* address : {"a@kov.test", "b@kov.test"}) {
        Click("AddHost");
        hosts->item(hosts->rowCount() - 1, 0)->setText(address);
        static_cast<QLineEdit*>(hosts->cellWidget(hosts->rowCount() - 1, 1))->setText("hp");
    }
    hosts->item(0, 0)->setCheckState(Qt::Unchecked);
    Click("SetPrimary");

    dialog->accept();
    ASSERT_EQ(dialog->result(), QDialog::Accepted) << dialog->Error().toStdString();
    const AppSettings loaded = Reloaded();
    for (const auto& c : cases) {
        const std::string expected = std::string(c.field) == "DownloadFlags3"       ? "8"
                                     : std::string(c.field) == "DownloadFlagsFull0" ? "254"
                                                                                    : c.value;
        EXPECT_EQ(c.read(loaded), expected) << c.field;
        EXPECT_EQ(c.read(settings), expected) << c.field << " in memory";
    }
    ASSERT_EQ(loaded.schedule.tasks.size(), 1u);
    const ScheduleTask& t = loaded.schedule.tasks[0];
    EXPECT_EQ(t.TaskName, "Night");
    EXPECT_EQ(t.ListName, "Second");
    EXPECT_EQ(t.StartTime, "23:00");
    EXPECT_EQ(t.StopTime, "01:30");
    EXPECT_EQ(t.Days, 1 << 6);
    EXPECT_EQ(t.Enabled, 1);
    EXPECT_EQ(t.SpeedLimited, 2);
    ASSERT_EQ(loaded.email.hosts.size(), 2u);
    EXPECT_EQ(loaded.email.hosts[0].Enabled, 0);
    EXPECT_EQ(loaded.email.hosts[1].HostEmail, "b@kov.test");
    EXPECT_EQ(loaded.email.hosts[1].HostPsw, "hp");
    EXPECT_EQ(loaded.email.PrimaryHost, 1);
    EXPECT_EQ(loaded.lists.size(), 2u) << "the catalogue is saved along";
    EXPECT_FALSE(settings.changed) << "saved already";
}

TEST_F(PreferencesTest, CancelChangesNothing) {
    const AppSettings before = settings;
    Set("MaxThreads", "9");
    Set("LimitSum", "5x0");
    EXPECT_EQ(Field<QLineEdit>("LimitSum")->text(), "50") << "not a number: refused as typed";
    Set("ProxyAddress", "x.test:1");
    Click("AddTask");
    Field<QLineEdit>("bannedWords")->setText("ads");
    dialog->reject();
    EXPECT_EQ(settings.MaxThreads, before.MaxThreads);
    EXPECT_EQ(settings.ProxyAddress, before.ProxyAddress);
    EXPECT_TRUE(settings.schedule.tasks.empty());
    EXPECT_TRUE(rules.banner.bannedWords.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.File("kov.ini"))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.File("banners.ini"))));
}

TEST_F(PreferencesTest, AFileThatIsNotASettingsFileIsNeverWrittenOver) {
    const std::string garbled("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    ASSERT_TRUE(WriteFileAtomic(dir.File("kov.ini"), garbled));
    Set("MaxThreads", "9");
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->Error().toStdString().find("not a settings file"), std::string::npos)
        << dialog->Error().toStdString();
    EXPECT_EQ(dir.Read("kov.ini"), garbled);
    EXPECT_NE(settings.MaxThreads, 9);
}

TEST_F(PreferencesTest, ABadTimeIsRefusedAtItsField) {
    const struct {
        const char* start;
        const char* stop;
        const char* badField;  // nullptr: taken
    } cases[] = {
        {"24:00", "00:00", "StartTime"}, {"7:00", "00:00", "StartTime"},
        {"12:60", "00:00", "StartTime"}, {"10:00", "ab:cd", "StopTime"},
        {"00:00", "23:59", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + "-" + c.stop);
        Open();
        AddTask(c.start, c.stop);
        dialog->accept();
        if (!c.badField) {
            EXPECT_EQ(dialog->result(), QDialog::Accepted);
            continue;
        }
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), Field<QLineEdit>(c.badField));
        EXPECT_FALSE(dialog->Error().isEmpty());
        EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.File("kov.ini"))));
    }
}

TEST_F(PreferencesTest, RulePagesRoundTripThroughTheirFiles) {
    SetRuleListEditor([](std::vector<ReplaceRule>& list, QWidget*) {
        list.push_back({"", "<script>", "</script>", 3, 1, 1});
        return true;
    });
    Click("EditBannerRules");
    Type(Field<QLineEdit>("bannedWords"), "ads tracker");
    auto* sites = Field<QTableWidget>("Sites");
    Click("AddSite");
    sites->item(1, 0)->setText("Shop");
    sites->item(1, 1)->setText("http://shop.test/");
    sites->setCurrentCell(1, 0);
    Click("EditSiteRules");
    sites->item(0, 0)->setCheckState(Qt::Unchecked);
    dialog->accept();
    ASSERT_EQ(dialog->result(), QDialog::Accepted) << dialog->Error().toStdString();

    PageRules loaded;
    std::string error;
    ASSERT_TRUE(LoadPageRules(dir.File("banners.ini"), dir.File("SiteRipper.ini"), loaded, error));
    ASSERT_EQ(loaded.banner.rules.size(), 2u);
    EXPECT_EQ(loaded.banner.rules[1].replace, "</script>");
    EXPECT_EQ(loaded.banner.bannedWords, "ads tracker");
    ASSERT_EQ(loaded.sites.size(), 2u);
    EXPECT_EQ(loaded.sites[0].enabled, 0);
    EXPECT_EQ(loaded.sites[1].url, "http://shop.test/");
    ASSERT_EQ(loaded.sites[1].rules.size(), 1u);
    EXPECT_EQ(loaded.sites[1].rules[0].find, "<script>");
    EXPECT_EQ(rules.banner.bannedWords, "ads tracker") << "in memory too";
    EXPECT_FALSE(rules.sitesModified);
}

TEST_F(PreferencesTest, ASiteWithoutUrlIsRefusedAndRulesStayWhileASessionRuns) {
    Click("AddSite");
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->focusWidget(), Field<QTableWidget>("Sites"));

    rulesLocked = true;
    Open();
    EXPECT_NE(Field<QLabel>("RulesLocked"), nullptr);
    EXPECT_FALSE(Field<QPushButton>("AddSite")->isEnabled());
    dialog->accept();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.File("SiteRipper.ini"))));
}

// What OK took reaches the window at once: the lists pane and today's schedule queue.
TEST_F(PreferencesTest, AcceptedSettingsTakeEffectInTheWindow) {
    settings.lists = {{"Main", dir.File("Default.ini"), dir.File("Download/")}};
    test::RecordingPrompter prompter;
    ListDocument document(settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr},
                          prompter);
    document.LoadCatalogue();
    MainWindowSetup setup;
    setup.settings = &settings;
    setup.document = &document;
    setup.prompter = &prompter;
    MainWindow window(setup);
    window.show();
    ASSERT_TRUE(window.Lists()->isVisible());
    ASSERT_TRUE(window.Session().Schedule().Queue().empty());

    settings.ShowPaneLists = 0;
    settings.schedule.Enabled = 1;
    // Every day at 23:59: still to come today unless the test runs in that very minute.
    settings.schedule.tasks = {{"Late", "Main", "23:59", "00:00", 0x7f, 1, 0}};
    window.SettingsApplied();
    EXPECT_FALSE(window.Lists()->isVisible());
    const std::time_t now = std::time(nullptr);
    if (std::localtime(&now)->tm_hour * 60 + std::localtime(&now)->tm_min < 23 * 60 + 59) {
        EXPECT_EQ(window.Session().Schedule().Queue().size(), 1u);
    }
    EXPECT_EQ(settings.ShowPaneLists, 0);
}

// The two server tests run on a thread; the page shows their outcome when it comes.
TEST_F(PreferencesTest, MailTestButtonsReportTheServers) {
    if (!test::SmtpServer::Available() || !test::Pop3Server::Available()) {
        KOV_SKIP_WITHOUT_SERVER() << "aiosmtpd or dovecot is missing (or not root)";
    }
    test::TestCa ca;
    ASSERT_TRUE(ca.Make());
    test::SmtpServer smtp;
    test::Pop3Server pop3;
    ASSERT_TRUE(smtp.Start(test::SmtpServer::Mode::Plain, ca, false));
    ASSERT_TRUE(pop3.Start(ca));
    ASSERT_TRUE(pop3.AddMessage("From: a@kov.test\r\nSubject: hi\r\n\r\nhello\r\n"));
    Set("SmtpServer", QStringLiteral("127.0.0.1:%1").arg(smtp.Port()));
    Set("Pop3Server", QStringLiteral("127.0.0.1:%1").arg(pop3.Port()));
    Set("MailBox", test::Pop3Server::kUser);
    Set("MailBoxPsw", test::Pop3Server::kPassword);

    const struct {
        const char* button;
        QString expected;
    } cases[] = {
        {"SmtpTest", "SMTP: Connection to Server OK"},
        {"Pop3Test",
         QStringLiteral("127.0.0.1:%1 - Connection to Server OK, messages: 1").arg(pop3.Port())},
    };
    auto* result = Field<QLabel>("MailTestResult");
    for (const auto& c : cases) {
        Click(c.button);
        EXPECT_FALSE(Field<QPushButton>(c.button)->isEnabled()) << "busy while it runs";
        for (int i = 0; i < 300 && !Field<QPushButton>(c.button)->isEnabled(); ++i) {
            QTest::qWait(50);
        }
        EXPECT_EQ(result->text(), c.expected) << c.button;
    }
}

// Once LimitSum is reached nothing downloads: the page shows the count and resets it at once.
TEST_F(PreferencesTest, TheTrafficCounterIsShownAndResetOnTheSessionPage) {
    std::uint64_t counted = 1234567;
    trafficCount = [&] { return counted; };
    resetTraffic = [&] {
        counted = 0;
        return true;
    };
    Open();
    auto* shown = Field<QLabel>("LimitCounter");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text(), "1,234,567");
    Click("LimitReset");
    EXPECT_EQ(counted, 0u);
    EXPECT_EQ(shown->text(), "0");
    dialog->reject();
    EXPECT_EQ(counted, 0u) << "not undone by Cancel";
}

// A translation made from the key list: each choice shows the text of the key bound to its value.
TEST_F(PreferencesTest, ChoicesShowTheTextsOfTheirValuesKeys) {
    test::TempDir lang;
    std::ofstream(lang.File("Keys.lng"))
        << "[GUI]\nStopAction1=StopAction1\nStopAction2=StopAction2\nOnEndSession1=OnEndSession1\n"
           "OnEndSession2=OnEndSession2\nOnEndSession3=OnEndSession3\n";
    const std::string shipped = std::string(KOV_TEST_SUPPORT_DIR) + "/../../Lang/";
    const struct {
        const char* language;
        std::string folder;
        std::vector<QString> stop, end;
    } cases[] = {
        {"Keys",
         lang.path() + "/",
         {"StopAction1", "StopAction2"},
         {"OnEndSession1", "OnEndSession2", "OnEndSession3"}},
        {"",
         "",
         {"Stop immediately", "Stop when current file done"},
         {"keep working", "Close program", "Shutdown Windows and PC"}},
        {"German",
         shipped,
         {"Sofort anhalten", "Nach der aktuellen Datei anhalten"},
         {"weiterarbeiten", "Programm beenden", "Rechner herunterfahren"}},
    };
    for (const auto& c : cases) {
        if (*c.language) {
            ASSERT_TRUE(Texts().LoadLanguage(c.language, {c.folder}));
        }
        Open();
        Texts().Reset();
        for (const auto& [field, texts] :
             {std::pair{"AbortMode", c.stop}, {"OnEndSession", c.end}}) {
            auto* combo = Field<QComboBox>(field);
            ASSERT_EQ(combo->count(), static_cast<int>(texts.size())) << field;
            for (int value = 0; value < combo->count(); ++value)
                EXPECT_EQ(combo->itemText(value), texts[static_cast<std::size_t>(value)])
                    << c.language << " " << field << " " << value;
        }
    }
    // The ids count up with the values: 23670 + AbortMode, 24000 + OnEndSession.
    EXPECT_EQ(Texts().Text(23670), "Stop immediately");
    EXPECT_EQ(Texts().Text(24001), "Close program");
    EXPECT_EQ(Texts().Text(24002), "Shutdown Windows and PC");
}

}  // namespace
}  // namespace kov
