// kov-screenshots FOLDER: draws the dialogs offscreen into PNG files for the documentation.
// The URL test and the distributed download probe a local nginx; without one those pictures
// are left out.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "content/rules/page_rules.h"
#include "core/language/localiser.h"
#include "model/list_document.h"
#include "support/nginx_server.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"
#include "ui/dialogs/distributed_dialog.h"
#include "ui/dialogs/list_properties_dialog.h"
#include "ui/dialogs/rule_editor_dialog.h"
#include "ui/dialogs/shutdown_countdown_dialog.h"
#include "ui/dialogs/url_test_dialog.h"
#include "ui/item_editor/item_editor.h"
#include "ui/preferences/preferences_dialog.h"

namespace kov {
namespace {

class Shots {
public:
    explicit Shots(QString folder) : m_folder(std::move(folder)) {}

    void Take(QWidget& widget, const char* name) {
        widget.show();
        QTest::qWait(50);
        if (!widget.grab().save(QDir(m_folder).filePath(name))) {
            std::fprintf(stderr, "kov-screenshots: cannot write %s\n", name);
            m_failed = true;
        }
    }
    bool Failed() const { return m_failed; }

private:
    QString m_folder;
    bool m_failed = false;
};

UrlItem Item(const std::string& name, const std::string& url, const std::string& dest) {
    UrlItem item = FreshItem();
    item.Name = name;
    item.Url = url;
    item.Dest = dest;
    return item;
}

void ItemDialogs(Shots& shots) {
    ItemEditorSetup setup;
    setup.item = Item("Evening news", "http://example.org/news/%Y-%M-%D/evening.html",
                      "/home/user/Download/news/");
    setup.item.ConType = 1;
    setup.item.days = 3;
    setup.item.interval = 1;
    setup.item.WithPics = 1;
    setup.item.rules = {{"", "<script", "<!--script", 0, 1, 1}, {"", "<!-- ad -->", "", 1, 0, 0}};
    setup.recentPaths = {"/home/user/Download/news/", "/home/user/Download/"};
    ItemEditor editor(setup);
    editor.adjustSize();
    shots.Take(editor, "item-editor.png");
    RuleEditorDialog rules(setup.item.rules);
    shots.Take(rules, "rule-editor.png");
    if (Texts().LoadLanguage("German", {KOV_LANG_DIR})) {
        ItemEditor german(setup);
        german.adjustSize();
        shots.Take(german, "item-editor-de.png");
        Texts().Reset();
    }
}

class PreferencesShots {
public:
    PreferencesShots() {
        m_settings.lists = {{"Main", "Default.ini", ""}, {"Second", "Second.ini", ""}};
        m_rules.banner.rules = {{"", "<blink>", "", 0, 1, 1}};
        m_rules.sites = {{"s1", 1, "News", "http://news.test/", {}}};
        m_setup = {&m_settings,
                   &m_rules,
                   m_dir.File("kov.ini"),
                   m_dir.File("banners.ini"),
                   m_dir.File("SiteRipper.ini"),
                   {}};
        m_setup.context.languageChoices = {"  Auto-Detect", "English", "German"};
        // The remote-control page makes its token here, not in the user's folder.
        setenv("XDG_CONFIG_HOME", m_dir.File("config").c_str(), 1);
    }

    void Take(Shots& shots) {
        Open();
        m_dialog->ShowPage(0);
        shots.Take(*m_dialog, "preferences.png");
        for (const auto& [field, text] : {std::pair{"SmtpServer", "smtp.example.org:587"},
                                          {"Pop3Server", "pop.example.org:995"},
                                          {"MailBox", "kov"},
                                          {"MailBoxPsw", "secret"},
                                          {"MyEmailAddr", "kov@example.org"}})
            Type(field, text);
        auto* hosts = m_dialog->findChild<QTableWidget*>("Hosts");
        for (const char* address : {"office@example.org", "home@example.org"}) {
            Click("AddHost");
            if (hosts) hosts->item(hosts->rowCount() - 1, 0)->setText(address);
        }
        m_dialog->resize(860, 930);  // the whole page, without scrolling
        shots.Take(*m_dialog, "preferences-email.png");
        // Remote control turned on: the token is made (in the scratch folder) and shown.
        Type("RemoteAddress", "0.0.0.0");
        if (auto* enable = m_dialog->findChild<QCheckBox*>("RemoteEnabled"))
            enable->setChecked(true);
        m_dialog->resize(860, 640);
        shots.Take(*m_dialog, "preferences-remote.png");
        if (Texts().LoadLanguage("German", {KOV_LANG_DIR})) {
            Open();
            m_dialog->ShowPage(3);
            shots.Take(*m_dialog, "preferences-de.png");
            Texts().Reset();
        }
    }

private:
    void Open() {
        m_dialog = std::make_unique<PreferencesDialog>(m_setup);
        m_dialog->show();
    }
    // The page that holds w comes to the front, as a user would open it.
    void ShowPageOf(QWidget* w) {
        for (int i = 0; i < m_dialog->PageCount() && !w->isVisible(); ++i)
            m_dialog->ShowPage(i);
    }
    void Type(const char* name, const char* text) {
        if (auto* edit = m_dialog->findChild<QLineEdit*>(name)) {
            ShowPageOf(edit);
            edit->clear();
            QTest::keyClicks(edit, text);
        }
    }
    void Click(const char* name) {
        if (auto* button = m_dialog->findChild<QPushButton*>(name)) {
            ShowPageOf(button);
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }

    test::TempDir m_dir;
    AppSettings m_settings;
    PageRules m_rules;
    PreferencesSetup m_setup;
    std::unique_ptr<PreferencesDialog> m_dialog;
};

void ProbeDialogs(Shots& shots) {
    test::TempDir dir;
    test::RecordingPrompter prompter;
    AppSettings settings;
    settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback
    MacroContext macros;
    macros.appFolder = dir.path() + "/";
    macros.now = std::time(nullptr);
    const std::string dest = dir.File("Download/");
    test::NginxServer nginx;
    const bool served = test::NginxServer::Available() &&
                        nginx.WriteFile("files/a.txt", std::string(1234, 'a')) && nginx.Start();
    if (served) {
        UrlItem item = Item("x", nginx.Url("/redirect"), dest);
        item.lastDL = std::time(nullptr) - 86400;
        UrlTestDialog test(item, settings, macros);
        test.Start();
        if (!QTest::qWaitFor([&] { return !test.Probing(); }, 20000))
            std::fputs("kov-screenshots: the URL test is still probing\n", stderr);
        shots.Take(test, "url-test.png");
    }
    settings.lists = {{"Daily news", "/home/me/kov/news.ini", "/home/me/kov/Download/news/"}};
    ListDocument document(settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr},
                          prompter);
    document.LoadCatalogue();
    ListPropertiesDialog list(document, 0);
    shots.Take(list, "list-properties.png");
    ShutdownCountdownDialog countdown(false, 27);
    shots.Take(countdown, "shutdown-countdown.png");
    if (!served) return;
    UrlItem big = Item("x", nginx.Url("/files/a.txt"), dest);
    big.DstDlActive = 1;
    big.DstDlFileSize = 734003200;
    big.DstDlPartCount = 3;
    settings.email.hosts = {{1, "kov@office.example.org", ""}, {1, "kov@home.example.net", ""}};
    DistributedDialog distributed(big, settings, macros, prompter);
    shots.Take(distributed, "distributed.png");
}

}  // namespace
}  // namespace kov

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: kov-screenshots FOLDER\n", stderr);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    kov::Shots shots(QString::fromLocal8Bit(argv[1]));
    kov::ItemDialogs(shots);
    kov::PreferencesShots().Take(shots);
    kov::ProbeDialogs(shots);
    return shots.Failed() ? 1 : 0;
}
