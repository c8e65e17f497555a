#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "core/command_ids.h"
#include "model/item_fields.h"
#include "model/list_document.h"
#include "net/http/inet.h"
#include "platform/file_util.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"
#include "ui/dialogs/rule_editor_dialog.h"
#include "ui/item_editor/item_editor_commands.h"
#include "ui/widgets/number_field.h"
#include "ui/window/main_window.h"

namespace kov {
namespace {

using Field = ItemEditor::Field;
using C = EditorControl;

QLineEdit* LineOf(QWidget* w) {
    if (auto* number = qobject_cast<NumberField*>(w)) return number->Edit();
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->lineEdit();
    return qobject_cast<QLineEdit*>(w);
}

// Replaces a field's text as the user would.
void Type(ItemEditor& editor, Field field, const QString& text) {
    QLineEdit* line = LineOf(editor.Control(field));
    line->setFocus();
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, text);
}

UrlItem Item(const std::string& name, const std::string& url) {
    UrlItem item = FreshItem();
    item.Name = name;
    item.Url = url;
    item.ConType = 1;
    return item;
}

EditorState State(const char* url, int conType, bool series, bool docMode, bool multiple) {
    EditorState s;
    s.url = url;
    s.conType = conType;
    s.series = series;
    s.docMode = docMode;
    s.multiple = multiple;
    return s;
}

TEST(ItemEditorEnabling, FollowsUrlCategorySeriesAndMode) {
    struct Case {
        const char* url;
        int conType;
        bool series, docMode, multiple;
        std::vector<C> on, off;
    } cases[] = {
        {"http://h/a.html",
         1,
         false,
         false,
         false,
         {C::PageOptions, C::Replace, C::ContentType, C::Referer, C::Distributed},
         {C::DateValues, C::SeriesValues, C::NestedDepth}},
        {"HTTP://h/%Y/a.jpg",
         2,
         false,
         true,
         false,
         {C::DateValues, C::NestedDepth, C::ContentType},
         {C::PageOptions, C::Replace}},
        {"http://h/%u.html",
         1,
         true,
         false,
         false,
         {C::SeriesValues, C::Tolerance},
         {C::DateValues, C::Distributed}},
        {"ftp://h/%Y.txt",
         1,
         false,
         true,
         false,
         {C::Replace, C::DateValues},
         {C::PageOptions, C::Referer, C::ContentType, C::NestedDepth}},
        {"file:///tmp/a", 0, false, false, false, {C::UrlTest}, {C::Distributed, C::Referer}},
        {"http://h/a.html",
         1,
         true,
         false,
         true,
         {C::PageOptions, C::Referer},
         {C::Name, C::Url, C::UrlTest, C::Series, C::SeriesValues, C::SendQuery, C::Distributed,
          C::Upload, C::ContentType}},
        {"http://h/%u.html", 1, true, false, true, {C::Tolerance}, {C::SeriesValues}},
    };
    for (const Case& c : cases) {
        const EditorEnabling e =
            ComputeEditorEnabling(State(c.url, c.conType, c.series, c.docMode, c.multiple));
        for (C on : c.on)
            EXPECT_TRUE(Enabled(e, on)) << c.url << " control " << int(on);
        for (C off : c.off)
            EXPECT_FALSE(Enabled(e, off)) << c.url << " control " << int(off);
    }
    EXPECT_FALSE(
        Enabled(ComputeEditorEnabling({"http://h/", 1, false, false, false, false, true}), C::Name))
        << "the update item keeps its name";
}

// A query that went out cannot go a second time, and the row it came from is marked as sent
// (not fetched here as well); a failed send leaves the button for another try.
TEST(ItemEditor, SendQueryGoesOnceAndMarksTheItemAsSent) {
    for (const bool succeeds : {false, true}) {
        SCOPED_TRACE(succeeds ? "sent" : "failed");
        ItemEditorSetup setup;
        setup.item = Item("a", "http://h/a.zip");
        int sends = 0;
        ItemEditorHooks hooks;
        hooks.sendQuery = [&](QWidget*, UrlItem& item) {
            ++sends;
            if (succeeds) item.CEType = 1;
            return succeeds;
        };
        ItemEditor editor(setup, hooks);
        QAbstractButton* send = editor.ButtonOf(ItemEditor::Button::SendQuery);
        ASSERT_TRUE(send->isEnabled());
        send->click();
        EXPECT_EQ(send->isEnabled(), !succeeds);
        send->click();
        EXPECT_EQ(sends, succeeds ? 1 : 2);
        UrlItem row = setup.item;
        editor.ApplyTo(row);
        EXPECT_EQ(row.CEType, succeeds ? 1 : 0);
    }
}

TEST(ItemEditor, ControlsFollowTheRulesAndRangesAreCheckedAtTheField) {
    ItemEditorSetup setup;
    setup.item = Item("a", "http://h/a.html");
    setup.listFolder = "/lists/Main";
    setup.item.Dest = "/lists/Main/";
    setup.defaultStopNumber = 10;
    ItemEditor editor(setup);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    EXPECT_FALSE(editor.Control(Field::Days)->isEnabled()) << "no % in the URL";
    EXPECT_TRUE(editor.ButtonOf(ItemEditor::Button::SearchReplace)->isEnabled());
    static_cast<QComboBox*>(editor.Control(Field::ConType))->setCurrentIndex(2);  // Image
    EXPECT_FALSE(editor.ButtonOf(ItemEditor::Button::SearchReplace)->isEnabled());
    EXPECT_FALSE(editor.Control(Field::WithPics)->isEnabled());

    // The name leaving its field names the folder under the list's default folder.
    Type(editor, Field::Name, "News");
    editor.Control(Field::Url)->setFocus();
    EXPECT_EQ(editor.Item().Dest, "/lists/Main/News/");

    // Shift, days: typed up to 700, the arrows stop at 600.
    Type(editor, Field::Url, "http://h/%Y/a.html");
    ASSERT_TRUE(editor.Control(Field::DayShift)->isEnabled());
    Type(editor, Field::DayShift, "650");
    EXPECT_EQ(editor.Problem(), "");
    Type(editor, Field::DayShift, "701");
    editor.accept();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.Problem(), "-700..700");
    EXPECT_TRUE(LineOf(editor.Control(Field::DayShift))->hasFocus());
    Type(editor, Field::DayShift, "600");
    QTest::mouseClick(editor.Control(Field::DayShift)->findChildren<QAbstractButton*>().front(),
                      Qt::LeftButton);
    EXPECT_EQ(editor.Item().dayShift, 600);

    // The series switch makes the last number a series and back.
    Type(editor, Field::Url, "http://h/img/p0123.jpg");
    static_cast<QAbstractButton*>(editor.Control(Field::NumBased))->click();
    EXPECT_EQ(editor.Item().Url, "http://h/img/p%4u.jpg");
    EXPECT_EQ(editor.Item().CurrentNum, 123);
    EXPECT_EQ(editor.Item().StopNumber, 133);
    Type(editor, Field::CurrentNum, "124");
    static_cast<QAbstractButton*>(editor.Control(Field::NumBased))->click();
    EXPECT_EQ(editor.Item().Url, "http://h/img/p0124.jpg");

    Type(editor, Field::Url, "");
    editor.accept();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.Problem(), "The URL must not be empty");
}

TEST(ItemEditor, GoingAwayWithTheNameFocusedCallsNothingBack) {
    ItemEditorSetup setup;
    setup.item = Item("a", "http://h/a.html");
    auto editor = std::make_unique<ItemEditor>(setup);
    editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    editor->Control(Field::Name)->setFocus();
    ASSERT_TRUE(editor->Control(Field::Name)->hasFocus());
    editor.reset();  // the name field loses the focus while its dialog is half gone
}

// Each field of the editor is held to its key's declaration: a text as long as the model
// keeps it, a number never beyond what a list file may hold.
TEST(ItemEditor, FieldsTakeTheCapacityAndRangeOfTheirKey) {
    ItemEditorSetup setup;
    setup.item = FreshItem();
    ItemEditor editor(setup);
    const std::pair<Field, const char*> texts[] = {
        {Field::Name, "Name"},         {Field::Url, "Url"},           {Field::Referer, "Referer"},
        {Field::Dest, "Dest"},         {Field::UserName, "UserName"}, {Field::UserPsw, "UserPsw"},
        {Field::NfString, "nfString"}, {Field::Cmd, "Cmd"},
    };
    for (const auto& [field, key] : texts)
        EXPECT_EQ(LineOf(editor.Control(field))->maxLength(), ItemFieldOf(key).max) << key;
    const std::pair<Field, const char*> numbers[] = {
        {Field::Interval, "interval"},
        {Field::DayShift, "dayShift"},
        {Field::Days, "days"},
        {Field::NestedDepth, "NestedDepth"},
        {Field::NfSize, "nfsize"},
        {Field::CurrentNum, "CurrentNum"},
        {Field::StopNumber, "StopNumber"},
        {Field::Tolerance, "Tolerance"},
    };
    for (const auto& [field, key] : numbers) {
        const QStringList range =
            static_cast<NumberField*>(editor.Control(field))->RangeText().split("..");
        ASSERT_EQ(range.size(), 2) << key;
        EXPECT_GE(range[0].toLongLong(), ItemFieldOf(key).min) << key;
        EXPECT_LE(range[1].toLongLong(), ItemFieldOf(key).max) << key;
    }
}

// The item commands in the window, each dialog driven by the test.
class ItemCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.WriteLog = 0;
        settings.ProxyFromIE = 0;
        settings.lists = {{"Main", dir.File("Default.ini"), dir.File("Download/")}};
        document = std::make_unique<ListDocument>(
            settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr}, prompter);
        document->LoadCatalogue();
        MainWindowSetup setup;
        setup.settings = &settings;
        setup.document = document.get();
        setup.prompter = &prompter;
        window = std::make_unique<MainWindow>(setup);
        context = {window.get(), document.get(), &settings, nullptr, {}, {}};
        context.run = [this](ItemEditor& editor) {
            ++dialogs;
            return drive ? drive(editor) : int(QDialog::Rejected);
        };
        InstallItemEditor(context);
    }
    RowId Add(const std::string& name, const std::string& url, int disabled = 0) {
        UrlItem item = Item(name, url);
        item.Dest = dir.File("Download/");
        item.Disabled = disabled;
        return document->AddItem(item);
    }
    const UrlItem& ItemOf(RowId id) { return document->Rows().Find(id)->item; }

    test::TempDir dir;
    test::RecordingPrompter prompter;
    AppSettings settings;
    std::unique_ptr<ListDocument> document;
    std::unique_ptr<MainWindow> window;
    ItemEditorContext context;
    std::function<int(ItemEditor&)> drive;
    int dialogs = 0;
};

TEST_F(ItemCommandsTest, CtrlTogglesDisabledAndSeveralRowsGetOnlyTheChangedField) {
    const RowId rows[] = {Add("a", "http://h/a"), Add("b", "ftp://h/b", 1), Add("c", "http://h/c")};
    window->SelectRows({rows[0], rows[1], rows[2]});
    window->FocusPane(MainWindow::Pane::Urls);
    window->Execute(kCmdEditUrl, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(ItemOf(rows[0]).Disabled, 1);
    EXPECT_EQ(ItemOf(rows[1]).Disabled, 0);
    EXPECT_EQ(ItemOf(rows[2]).Disabled, 1);
    document->Rows().SetModified(false);
    document->Rows().Find(rows[0])->item.NumBased = 1;  // the editor shows the first row

    // Cancel writes nothing, whatever was typed.
    drive = [&](ItemEditor& editor) {
        Type(editor, Field::Tolerance, "9");
        // The session advances the first row's series while the dialog is open.
        Row* first = document->Rows().Find(rows[0]);
        first->item.CurrentNum = 42;
        document->Rows().NotifyChanged(rows[0]);
        EXPECT_EQ(static_cast<NumberField*>(editor.Control(Field::CurrentNum))->Value(), 42);
        first->item.CurrentNum = 0;
        return int(QDialog::Rejected);
    };
    window->Execute(kCmdEditUrl);
    EXPECT_EQ(ItemOf(rows[0]).Tolerance, 0);
    EXPECT_FALSE(document->Rows().Modified());

    drive = [](ItemEditor& editor) {
        EXPECT_EQ(editor.windowTitle(), "Multiple URLs editing");
        EXPECT_FALSE(editor.Control(Field::Name)->isEnabled());
        Type(editor, Field::Tolerance, "7");
        editor.accept();
        return editor.result();
    };
    window->Execute(kCmdEditUrl);
    EXPECT_EQ(dialogs, 2);
    const char* names[] = {"a", "b", "c"};
    const char* urls[] = {"http://h/a", "ftp://h/b", "http://h/c"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ItemOf(rows[i]).Tolerance, 7);
        EXPECT_EQ(ItemOf(rows[i]).Name, names[i]);
        EXPECT_EQ(ItemOf(rows[i]).Url, urls[i]);
        EXPECT_EQ(ItemOf(rows[i]).Disabled, i == 1 ? 0 : 1);
    }
    EXPECT_TRUE(document->Rows().Modified());

    // A new item is appended on OK.
    drive = [](ItemEditor& editor) {
        Type(editor, Field::Url, "http://h/new.txt");
        editor.accept();
        return editor.result();
    };
    window->Execute(kCmdNewUrl);
    ASSERT_EQ(document->Rows().Count(), 4u);
    EXPECT_EQ(document->Rows().At(3).item.Url, "http://h/new.txt");
}

// A new item's name and folder come from the new-URL defaults once its URL is known, never
// from their macros as text.
TEST_F(ItemCommandsTest, ANewItemTakesItsNameAndFolderFromItsUrl) {
    const std::string list = dir.File("Download/");
    const struct {
        const char* localDir;
        std::string before, after;
    } cases[] = {
        {"{LISTFOLDER}", list, list},
        {"{LISTFOLDER}{SITE}/", list, list + "news.test/"},
    };
    for (const auto& c : cases) {
        settings.newUrl.LocalDir = c.localDir;
        drive = [&](ItemEditor& editor) {
            editor.show();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&editor));
            EXPECT_EQ(editor.Item().Name, "");
            EXPECT_EQ(editor.Item().Dest, c.before);
            // Leaving the empty name makes no folder of it.
            editor.Control(Field::Name)->setFocus();
            Type(editor, Field::Url, "http://news.test/today.html");
            EXPECT_EQ(editor.Item().Name, "news.test");
            EXPECT_EQ(editor.Item().Dest, c.after);
            editor.accept();
            return editor.result();
        };
        window->Execute(kCmdNewUrl);
        ASSERT_GT(document->Rows().Count(), 0u);
        const UrlItem& added = document->Rows().At(document->Rows().Count() - 1).item;
        EXPECT_EQ(added.Name, "news.test") << c.localDir;
        EXPECT_EQ(added.Dest, c.after) << c.localDir;
    }
    // What the user typed stays as typed.
    drive = [&](ItemEditor& editor) {
        editor.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&editor));
        Type(editor, Field::Name, "News");
        Type(editor, Field::Url, "http://other.test/x.html");
        EXPECT_EQ(editor.Item().Name, "News");
        EXPECT_EQ(editor.Item().Dest, list + "News/");
        return int(QDialog::Rejected);
    };
    window->Execute(kCmdNewUrl);
}

TEST_F(ItemCommandsTest, AQueuedJobDownloadsTheEdit) {
    if (!test::NginxServer::Available()) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed";
    InternetGlobalInit();
    test::NginxServer nginx;
    nginx.AddLocation("location /slow/ { limit_rate 20k; }");
    nginx.WriteFile("slow/big", std::string(60000, 'b'));
    nginx.WriteFile("files/old.txt", "old");
    nginx.WriteFile("files/new.txt", "new");
    ASSERT_TRUE(nginx.Start());
    settings.MaxThreads = 1;  // the second row waits for the first
    window->show();
    const RowId slow = Add("slow", nginx.Url("/slow/big"));
    const RowId queued = Add("q", nginx.Url("/files/old.txt"));
    window->Execute(kCmdStartDownload);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return document->Rows().Find(slow)->runState == RunState::Running; }, 10000));
    ASSERT_EQ(document->Rows().Find(queued)->runState, RunState::Queued);

    window->SelectRows({queued});
    drive = [&](ItemEditor& editor) {
        Type(editor, Field::Url, QString::fromStdString(nginx.Url("/files/new.txt")));
        editor.accept();
        return editor.result();
    };
    window->Execute(kCmdEditUrl);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->Session().State() == SessionState::Idle; }, 20000));
    EXPECT_EQ(dir.Read("Download/new.txt"), "new");
    EXPECT_EQ(dir.Read("Download/old.txt"), "");
}

// The results arrive through the window's event loop, so a run that returned without them
// works on another thread.
TEST(RuleEditor, AppliesToAFolderAndRestoresItInTheBackground) {
    test::TempDir dir;
    std::ofstream(dir.File("a.html")) << "foo and foo";
    std::ofstream(dir.File("b.bin")) << "foo";
    RuleEditorDialog dialog({{"", "foo", "bar", 0, 0, 1}});
    ASSERT_TRUE(dialog.ApplyTo(dir.path() + "/"));
    EXPECT_TRUE(dialog.ResultLines().empty()) << "the window's thread did the work";
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ResultLines().size() == 1u; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
    EXPECT_EQ(dir.Read("a.html"), "bar and bar");
    EXPECT_EQ(dir.Read("b.bin"), "foo") << "not a text file";
    ASSERT_EQ(dialog.ResultLines().size(), 1u);
    EXPECT_EQ(dialog.ResultLines()[0].second, "2");
    ASSERT_TRUE(dialog.RestoreFrom(dir.path() + "/", true));
    EXPECT_EQ(dialog.ResultLines().size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
    EXPECT_EQ(dir.Read("a.html"), "foo and foo");
    EXPECT_EQ(dir.Read("a.html.bak"), "") << "Shift removes the backups";
    EXPECT_EQ(dialog.ResultLines().back().second, "1 files restored");
}

TEST(RuleEditor, ACancelledRunLeavesEveryFileDoneOrUntouched) {
    test::TempDir dir;
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        std::ofstream(dir.File("p" + std::to_string(i) + ".html")) << "foo " << i;
    RuleEditorDialog dialog({{"", "foo", "bar", 0, 0, 1}});
    dialog.show();
    ASSERT_TRUE(dialog.ApplyTo(dir.path() + "/"));
    auto* cancel = dialog.findChild<QAbstractButton*>("cancelRun");
    ASSERT_TRUE(cancel && cancel->isVisible());
    cancel->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
    EXPECT_FALSE(cancel->isVisible());
    int done = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "p" + std::to_string(i) + ".html";
        const std::string text = dir.Read(name), backup = dir.Read(name + ".bak");
        const bool isDone =
            text == "bar " + std::to_string(i) && backup == "foo " + std::to_string(i);
        const bool untouched =
            text == "foo " + std::to_string(i) && !FileExists(dir.File(name + ".bak"));
        EXPECT_TRUE(isDone || untouched) << name << ": " << text << " / " << backup;
        done += isDone;
    }
    // One line per file done, then the note that the run was cancelled.
    const auto lines = dialog.ResultLines();
    if (done < kFiles) {
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(done) + 1);
        EXPECT_EQ(lines.back().second, "Cancelled; the other files were left as they were");
    }
}

}  // namespace
}  // namespace kov
