#include "ui/window/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <memory>
#include <string>
#include <vector>

#include "core/command_ids.h"
#include "core/language/localiser.h"
#include "model/list_document.h"
#include "model/list_file.h"
#include "session/event_log.h"
#include "session/mail_check.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"
#include "ui/window/command_table.h"
#include "ui/window/item_mime.h"
#include "ui/window/list_table_model.h"
#include "ui/window/lists_pane.h"
#include "ui/window/window_placement.h"

namespace kov {
namespace {

class FakeTray : public TrayHook {
public:
    bool ShowIcon(const QString&) override {
        ++shown;
        return available;
    }
    void HideIcon() override { ++hidden; }
    void SetTip(const QString& text) override { tip = text; }
    void SetState(State s) override { state = s; }
    bool available = true;
    int shown = 0, hidden = 0;
    QString tip;
    State state = State::Idle;
};

// The dialog commands are handled elsewhere; here each handler notes that it ran.
const int kDialogCommands[] = {kCmdEditUrl,           kCmdNewUrl,  kCmdListProperties,
                               kCmdAddListDefinition, kCmdUrlInfo, kCmdPreferences};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.WriteLog = 0;
        settings.lists = {{"Main", dir.File("Default.ini"), dir.File("Download/")},
                          {"Second", dir.File("Second.ini"), dir.File("Second/")}};
        document = std::make_unique<ListDocument>(
            settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr}, prompter);
        document->LoadCatalogue();
        MakeWindow();
    }

    void MakeWindow(bool fakeTray = true) {
        window.reset();
        MainWindowSetup setup;
        setup.settings = &settings;
        setup.document = document.get();
        setup.prompter = &prompter;
        setup.programFolder = dir.path() + "/";
        setup.userGuide = {dir.File("nowhere/index.html"), dir.File("none/index.html")};
        window = std::make_unique<MainWindow>(setup);
        if (fakeTray) window->SetTrayHook(&tray);
    }
    void WithDialogs() {
        for (const int id : kDialogCommands)
            window->SetCommandHandler(id, [this, id] { ran.push_back(id); });
    }
    RowId Add(const std::string& name, const std::string& url = "http://127.0.0.1/x") {
        UrlItem item = FreshItem();
        item.Name = name;
        item.Url = url;
        item.Dest = dir.File("Download/");
        return document->AddItem(item);
    }
    void Show() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    bool Enabled(int id) { return window->Action(id)->isEnabled(); }

    test::TempDir dir;
    test::RecordingPrompter prompter;
    AppSettings settings;
    std::unique_ptr<ListDocument> document;
    FakeTray tray;
    std::unique_ptr<MainWindow> window;
    std::vector<int> ran;
};

TEST_F(MainWindowTest, KeysActOnThePaneThatHasTheFocus) {
    WithDialogs();
    const RowId row = Add("a");
    Show();
    struct Case {
        MainWindow::Pane pane;
        int key;
        Qt::KeyboardModifiers mods;
        int handled;
    } cases[] = {
        // Enter on the lists pane opens the list's properties, not the item's.
        {MainWindow::Pane::Lists, Qt::Key_Return, Qt::NoModifier, kCmdListProperties},
        {MainWindow::Pane::Urls, Qt::Key_Return, Qt::NoModifier, kCmdEditUrl},
        {MainWindow::Pane::Lists, Qt::Key_Insert, Qt::AltModifier, kCmdAddListDefinition},
        {MainWindow::Pane::Urls, Qt::Key_Insert, Qt::AltModifier, kCmdNewUrl},
        {MainWindow::Pane::Log, Qt::Key_Insert, Qt::AltModifier, kCmdNewUrl},
        // N makes a new item in the URL list whatever pane has the focus.
        {MainWindow::Pane::Lists, Qt::Key_N, Qt::NoModifier, kCmdNewUrl},
        {MainWindow::Pane::Log, Qt::Key_N, Qt::ControlModifier, kCmdNewUrl},
    };
    for (const Case& c : cases) {
        window->SelectRows({row});
        window->FocusPane(c.pane);
        ran.clear();
        QWidget* target = window->UrlView();
        if (c.pane == MainWindow::Pane::Lists) target = window->Lists();
        if (c.pane == MainWindow::Pane::Log) target = window->LogView();
        QTest::keyClick(target, static_cast<Qt::Key>(c.key), c.mods);
        EXPECT_EQ(ran, std::vector<int>{c.handled})
            << "pane " << static_cast<int>(c.pane) << " key " << c.key;
    }

    // F6 and Shift+F6 walk the panes; a hidden lists pane is left out.
    window->FocusPane(MainWindow::Pane::Urls);
    QTest::keyClick(window->UrlView(), Qt::Key_F6);
    EXPECT_EQ(window->FocusedPane(), MainWindow::Pane::Log);
    QTest::keyClick(window->LogView(), Qt::Key_F6);
    EXPECT_EQ(window->FocusedPane(), MainWindow::Pane::Lists);
    QTest::keyClick(window->Lists(), Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(settings.ShowPaneLists, 0);
    EXPECT_EQ(window->FocusedPane(), MainWindow::Pane::Urls);
    QTest::keyClick(window->UrlView(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(window->FocusedPane(), MainWindow::Pane::Log);
}

TEST_F(MainWindowTest, TheFirstNewUrlIsAUrlAndTheToolbarPlusAlwaysIs) {
    WithDialogs();
    Show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(window->UrlView()->hasFocus());
    EXPECT_EQ(window->FocusedPane(), MainWindow::Pane::Urls);

    QAction* plus = window->findChild<QToolBar*>()->actions().front();
    struct Case {
        MainWindow::Pane pane;
        QAction* action;
        int handled;
    } cases[] = {
        {MainWindow::Pane::Lists, plus, kCmdNewUrl},
        {MainWindow::Pane::Lists, window->Action(kCmdNewUrl), kCmdAddListDefinition},
        {MainWindow::Pane::Log, plus, kCmdNewUrl},
        {MainWindow::Pane::Urls, plus, kCmdNewUrl},
    };
    for (const Case& c : cases) {
        window->FocusPane(c.pane);
        ran.clear();
        c.action->trigger();
        EXPECT_EQ(ran, std::vector<int>{c.handled}) << "pane " << static_cast<int>(c.pane);
    }
}

TEST_F(MainWindowTest, AMissingUserGuideSaysWhereItWasLookedFor) {
    window->Execute(kCmdHelp);
    ASSERT_EQ(prompter.informed.size(), 1u);
    EXPECT_EQ(prompter.informed.front(), "The user guide is not installed (looked in " +
                                             dir.File("nowhere/index.html") + ", " +
                                             dir.File("none/index.html") + ").");
}

TEST_F(MainWindowTest, DeleteAndMoveActOnListsOrRowsByPane) {
    const RowId a = Add("a");
    const RowId b = Add("b");
    ASSERT_EQ(document->SaveList(true, false), 0);
    Show();
    window->SelectRows({b});
    window->FocusPane(MainWindow::Pane::Urls);
    window->Execute(kCmdMoveUp);
    EXPECT_EQ(document->Rows().Ids(), (std::vector<RowId>{b, a}));
    EXPECT_EQ(window->SelectedRows(), std::vector<RowId>{b}) << "the selection moves along";

    window->Lists()->clearSelection();
    window->Lists()->topLevelItem(1)->setSelected(true);
    window->FocusPane(MainWindow::Pane::Lists);
    QTest::keyClick(window->Lists(), Qt::Key_Delete);
    ASSERT_EQ(settings.lists.size(), 1u);
    EXPECT_EQ(document->Rows().Count(), 2u) << "the rows stay when a list goes";
    EXPECT_TRUE(settings.changed);

    window->SelectRows({a});
    window->FocusPane(MainWindow::Pane::Urls);
    QTest::keyClick(window->UrlView(), Qt::Key_Delete);
    EXPECT_EQ(document->Rows().Ids(), std::vector<RowId>{b});
    EXPECT_TRUE(document->Rows().Modified());
}

// Enabling and running read one route: a command runs exactly when it shows enabled, and goes
// where the focused pane sends it.
TEST_F(MainWindowTest, ACommandRunsExactlyWhereItsEnablingSaysItGoes) {
    WithDialogs();
    const RowId row = Add("a");
    Show();
    using P = MainWindow::Pane;
    struct Case {
        P pane;
        bool selected;
        int command, handled;  // handled 0: disabled, nothing runs
    } cases[] = {
        {P::Lists, false, kCmdNewUrl, kCmdAddListDefinition},
        {P::Log, false, kCmdNewUrl, kCmdNewUrl},
        {P::Lists, false, kCmdEditUrl, kCmdListProperties},
        {P::Urls, true, kCmdEditUrl, kCmdEditUrl},
        {P::Urls, false, kCmdEditUrl, 0},
        {P::Log, true, kCmdUrlInfo, kCmdUrlInfo},
        {P::Urls, false, kCmdUrlInfo, 0},
        {P::Urls, true, kCmdAbout, 0},  // no handler set
    };
    for (const Case& c : cases) {
        window->SelectRows(c.selected ? std::vector<RowId>{row} : std::vector<RowId>{});
        window->FocusPane(c.pane);
        ran.clear();
        EXPECT_EQ(window->IsEnabled(c.command), c.handled != 0) << c.command;
        window->Execute(c.command);
        EXPECT_EQ(ran, c.handled ? std::vector<int>{c.handled} : std::vector<int>{}) << c.command;
    }
}

TEST_F(MainWindowTest, AListOpenedWithoutItsFileSaysSoInTheLog) {
    auto notes = [this](const std::string& file) {
        int n = 0;
        for (const LogLine& line : window->Log().Lines())
            n += line.text.find(dir.File(file) + " does not exist yet") != std::string::npos;
        return n;
    };
    Add("a");
    Show();
    EXPECT_EQ(notes("Default.ini"), 1);
    emit window->Lists()->listChosen(1);  // saves Default.ini, then opens Second.ini
    EXPECT_EQ(notes("Second.ini"), 1);
    emit window->Lists()->listChosen(0);
    EXPECT_EQ(notes("Default.ini"), 1);
}

TEST_F(MainWindowTest, CommandsAreGreyedByTheirRules) {
    Add("a");
    Add("b");
    ASSERT_EQ(document->SaveList(true, false), 0);
    Show();
    window->FocusPane(MainWindow::Pane::Urls);
    // Save is greyed without unsaved changes.
    window->Execute(kCmdReloadList);
    EXPECT_FALSE(Enabled(kCmdSaveList));
    window->SelectRows({document->Rows().At(0).id});
    window->Execute(kCmdMoveDown);
    EXPECT_TRUE(Enabled(kCmdSaveList));
    window->Execute(kCmdSaveList);
    EXPECT_FALSE(Enabled(kCmdSaveList));

    // Dialog commands stay greyed until a dialog is connected.
    const RowId a = document->Rows().At(0).id;  // the reload made new rows
    const RowId b = document->Rows().At(1).id;
    window->SelectRows({a});
    EXPECT_FALSE(Enabled(kCmdUrlInfo));
    EXPECT_FALSE(Enabled(kCmdPreferences));
    WithDialogs();
    EXPECT_TRUE(Enabled(kCmdPreferences));

    // Open URL wants exactly one row; Get URL info at least one.
    struct Case {
        std::vector<RowId> rows;
        bool openUrl, urlInfo;
    } cases[] = {{{}, false, false}, {{a}, true, true}, {{a, b}, false, true}};
    for (const Case& c : cases) {
        window->SelectRows(c.rows);
        EXPECT_EQ(Enabled(kCmdOpenUrl), c.openUrl) << c.rows.size() << " rows";
        EXPECT_EQ(Enabled(kCmdUrlInfo), c.urlInfo) << c.rows.size() << " rows";
    }

    // Speed limit commands need a limit; checking mail needs the mailbox settings.
    EXPECT_FALSE(Enabled(kCmdSpeedLimitOn));
    EXPECT_FALSE(Enabled(kCmdCheckMail));
    settings.SpeedLimitInet = 10;
    settings.email.Pop3Server = "127.0.0.1";
    settings.email.MailBox = "me";
    settings.email.MyEmailAddr = "me@example.org";
    window->SelectRows({a});
    EXPECT_TRUE(Enabled(kCmdSpeedLimitOn));
    EXPECT_TRUE(Enabled(kCmdCheckMail));
    window->Execute(kCmdSpeedLimitOn);
    EXPECT_TRUE(window->Action(kCmdSpeedLimitOn)->isChecked());
    EXPECT_FALSE(window->Action(kCmdSpeedLimitOff)->isChecked());

    // Accepted preferences set the mail poll timer up again.
    EXPECT_FALSE(window->Mail()->Server().TimerRunning());
    settings.email.ActAsHost = 1;
    settings.email.PollInterval = 5;
    settings.email.MailBoxPsw = "secret";
    window->SettingsApplied();
    EXPECT_TRUE(window->Mail()->Server().TimerRunning());
}

TEST_F(MainWindowTest, MinimisingHidesTheWindowOnlyIntoAnExistingTray) {
    // Without a tray the window stays on the task bar, or it could not be found again.
    const struct {
        int minToTray;
        bool trayAvailable;
        bool hidden;
    } cases[] = {{0, true, false}, {1, false, false}, {1, true, true}};
    Show();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.minToTray << c.trayAvailable);
        tray = FakeTray{};
        tray.available = c.trayAvailable;
        settings.MinToTray = c.minToTray;
        window->showMinimized();
        if (c.hidden) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 2000));
        } else {
            QTest::qWait(20);
            EXPECT_TRUE(window->isVisible());
        }
        EXPECT_EQ(tray.shown > 0, c.minToTray != 0);
        window->Execute(kCmdRestore);
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->isMinimized());
    }
    EXPECT_GE(tray.hidden, 1);
    // The window's own tray icon: the offscreen platform has no tray, so the window stays.
    MakeWindow(false);
    Show();
    settings.MinToTray = 1;
    window->showMinimized();
    QTest::qWait(50);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ClipboardAndDropsTakeItemsIntoTheRightList) {
    const RowId a = Add("a", "http://127.0.0.1/a");
    const RowId b = Add("b", "http://127.0.0.1/b");
    Show();
    auto urls = [this] {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < document->Rows().Count(); ++i)
            out.push_back(document->Rows().At(i).item.Url);
        return out;
    };
    using Urls = std::vector<std::string>;
    // As a drag does: the drop goes to the widget that accepted the drag's entry.
    auto dropOn = [](QWidget* viewport, QPoint at, const QMimeData* data) {
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
    };

    // Cut and paste go through our own format.
    window->FocusPane(MainWindow::Pane::Urls);
    window->SelectRows({a});
    window->Execute(kCmdCut);
    EXPECT_EQ(urls(), Urls{"http://127.0.0.1/b"});
    ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(kItemsMimeType));
    window->Execute(kCmdPaste);
    EXPECT_EQ(urls(), (Urls{"http://127.0.0.1/b", "http://127.0.0.1/a"}));

    // A browser's link dropped on the URL list, through the view's own events.
    QMimeData link;
    link.setUrls({QUrl("http://127.0.0.1/c")});
    dropOn(window->UrlView()->viewport(), QPoint(10, 10), &link);
    EXPECT_EQ(urls().back(), "http://127.0.0.1/c");
    // Our own rows dropped back on their list are not doubled.
    window->SelectRows({b});
    std::unique_ptr<QMimeData> own(window->SelectionMime());
    ASSERT_TRUE(own);
    EXPECT_FALSE(window->DropMime(*own, true));
    EXPECT_EQ(urls().size(), 3u);
    EXPECT_TRUE(window->DropMime(*own, false)) << "from another Kov window";
    EXPECT_EQ(urls().size(), 4u);

    // Onto the second list's row: a copy, or with Shift a move of the dragged rows.
    const QRect second = window->Lists()->visualItemRect(window->Lists()->topLevelItem(1));
    dropOn(window->Lists()->viewport(), second.center(), own.get());
    // A drag entering below the rows is taken, so that it can still reach a row; there it is
    // refused.
    const QPoint below(5, window->Lists()->viewport()->height() - 5);
    QDragEnterEvent enter(below, Qt::CopyAction, own.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->Lists()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(below, Qt::CopyAction, own.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->Lists()->viewport(), &move);
    EXPECT_FALSE(move.isAccepted());
    EXPECT_EQ(urls().size(), 4u);
    const RowId c = document->Rows().At(2).id;
    window->SelectRows({c});
    own.reset(window->SelectionMime());
    EXPECT_TRUE(window->DropMimeOnList(*own, 1, Qt::ShiftModifier, {c}));
    EXPECT_EQ(urls().size(), 3u);
    const ListFileContent target = ReadListFile(dir.File("Second.ini"), 0, prompter);
    ASSERT_EQ(target.items.size(), 2u) << "the copy and the moved row";
    EXPECT_EQ(target.items[0].Url, "http://127.0.0.1/b");
    EXPECT_EQ(target.items[1].Url, "http://127.0.0.1/c");

    // Too much data is refused with a reason, never half taken.
    QMimeData huge;
    huge.setText(QString(static_cast<int>(ItemMime::kMaxBytes) + 10, QLatin1Char('x')));
    EXPECT_FALSE(window->PasteMime(huge));
    EXPECT_EQ(urls().size(), 3u);
    EXPECT_EQ(prompter.informed.size(), 1u);
}

TEST_F(MainWindowTest, LayoutIsSavedAndRestored) {
    settings.WndLeft = 40;
    settings.WndTop = 30;
    settings.WndWidth = 900;
    settings.WndHeight = 640;
    settings.WndSplitRow = 250;
    settings.WndSplitCol = 170;
    for (std::size_t i = 0; i < 7; ++i)
        settings.Column[i] = 60 + static_cast<int>(i) * 10;
    MakeWindow();
    Show();
    window->TakeLayout();
    EXPECT_EQ(settings.WndSplitRow, 250);
    EXPECT_EQ(settings.WndSplitCol, 170);
    EXPECT_EQ(settings.WndWidth, 900);
    EXPECT_EQ(settings.Column[3], 90);
    // The lists column is at least 20 narrower than the pane and fills what is left of it.
    EXPECT_GE(window->Lists()->columnWidth(0), 150);
    EXPECT_EQ(window->Lists()->columnWidth(0), window->Lists()->viewport()->width());
    const QTableView* log = window->LogView();
    EXPECT_GT(log->columnWidth(0), log->fontMetrics().horizontalAdvance("07.12.2026 13:00:00"))
        << "a whole time stamp fits";

    auto* rows = window->findChild<QSplitter*>(QStringLiteral("rows"));
    ASSERT_NE(rows, nullptr);
    rows->setSizes({200, rows->height() - 200 - rows->handleWidth()});
    window->UrlView()->setColumnWidth(1, 222);
    settings.changed = false;
    window->TakeLayout();
    EXPECT_TRUE(settings.changed);
    EXPECT_EQ(settings.WndSplitRow, 200);
    EXPECT_EQ(settings.Column[1], 222);

    MakeWindow();  // the next start
    Show();
    settings.changed = false;
    window->TakeLayout();
    EXPECT_FALSE(settings.changed) << "the layout comes back as it was saved";
}

TEST_F(MainWindowTest, ALanguageSwitchChangesMenusTooltipsAndColumnTitles) {
    auto menuTitle = [this] { return window->menuBar()->actions().front()->text(); };
    auto column = [this](int i) {
        return window->UrlModel().headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
    };
    EXPECT_EQ(menuTitle(), "&File");
    EXPECT_EQ(column(kColumnDest), "Save to");
    const QString englishTip = window->Action(kCmdNewUrl)->toolTip();
    std::vector<std::pair<QAction*, QString>> english;
    for (QAction* title : window->menuBar()->actions()) {
        english.emplace_back(title, title->text());
        for (QAction* entry : title->menu()->actions())
            english.emplace_back(entry, entry->text());
    }
    for (QAction* button : window->findChild<QToolBar*>()->actions())
        english.emplace_back(button, button->text());

    ASSERT_TRUE(
        Texts().LoadLanguage("German", {std::string(KOV_TEST_SUPPORT_DIR) + "/../../Lang/"}));
    window->Retranslate();
    EXPECT_EQ(menuTitle(), "&Datei");
    EXPECT_EQ(column(kColumnDest), "Speichern in");
    EXPECT_EQ(window->Action(kCmdNewUrl)->text(), "&Neue URL");
    EXPECT_NE(window->Action(kCmdNewUrl)->toolTip(), englishTip);

    // Every entry of the menus and the toolbar is German, bar words German shares.
    const QStringList same = {"OK", "Status", "Start", "&Start"};
    for (const auto& [action, english] : english) {
        if (english.isEmpty()) continue;  // a separator
        EXPECT_TRUE(action->text() != english || same.contains(english))
            << "untranslated: " << english.toStdString();
    }

    Texts().Reset();
    window->Retranslate();
    EXPECT_EQ(menuTitle(), "&File");
    // Without a language file (a system language Kov has none for) the English tips show.
    EXPECT_EQ(window->Action(kCmdNewUrl)->toolTip(), "New URL (Alt+Ins)");
}

TEST(WindowPlacementTest, TheWindowNeverOpensOffScreen) {
    const QRect work(0, 0, 1280, 1024);
    struct Case {
        int left, top, width, height;
        QRect expected;
    } cases[] = {
        {10, 20, 800, 600, {10, 20, 800, 600}},
        {0, 0, 100, 50, {0, 0, 480, 240}},              // at least 480 x 240
        {0, 0, 0, 0, {0, 0, 1000, 680}},                // never saved: room for the columns
        {5000, 3000, 800, 600, {1248, 992, 800, 600}},  // an icon's size stays on screen
        {-2000, -50, 800, 600, {-768, 0, 800, 600}},
    };
    for (const Case& c : cases) {
        AppSettings s;
        s.WndLeft = c.left;
        s.WndTop = c.top;
        s.WndWidth = c.width;
        s.WndHeight = c.height;
        EXPECT_EQ(InitialWindowRect(s, work), c.expected) << c.left << "," << c.top;
    }
}

}  // namespace
}  // namespace kov
