#include "ui/app/tray_icon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <fstream>
#include <set>

#include "core/language/localiser.h"

#include "model/list_model.h"
#include "support/temp_dir.h"
#include "ui/app/app_icons.h"

namespace kov {
namespace {

QImage Render(const QIcon& icon, int size = 32) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    icon.paint(&painter, image.rect());
    return image;
}

TEST(TrayIconTest, MenuEntriesFireTheirCallbacksAndDoubleClickRestores) {
    std::map<std::string, int> fired;
    const auto count = [&](const char* name) { return [&fired, name] { ++fired[name]; }; };
    TrayIcon tray({count("restore"), count("start"), count("stop"), count("preferences"),
                   count("help"), count("exit")});
    const std::vector<std::pair<QString, std::string>> expected = {
        {"&Restore", "restore"},        {"&Start download", "start"}, {"Stop Download", "stop"},
        {"Preferences", "preferences"}, {"Help (HTML)", "help"},      {"&Exit", "exit"},
    };
    std::vector<QAction*> entries;
    for (QAction* a : tray.Menu()->actions())
        if (!a->isSeparator()) entries.push_back(a);
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(expected[i].second);
        EXPECT_EQ(entries[i]->text(), expected[i].first);
        entries[i]->trigger();
        EXPECT_EQ(fired[expected[i].second], 1);
    }
    Q_EMIT tray.SystemIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(fired["restore"], 1);
    Q_EMIT tray.SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(fired["restore"], 2);

    tray.SetTip("Kov - 3 of 10");
    EXPECT_EQ(tray.Tip(), "Kov - 3 of 10");
    TrayIcon silent({});  // entries without callbacks do nothing
    for (QAction* a : silent.Menu()->actions())
        a->trigger();

    // The entries speak the loaded language; what it lacks stays English.
    test::TempDir lang;
    std::ofstream(lang.File("German.lng")) << "[GUI]\nAppRestore=&Wiederherstellen\n";
    ASSERT_TRUE(Texts().LoadLanguage("German", {lang.path() + "/"}));
    TrayIcon german({});
    Texts().Reset();
    EXPECT_EQ(german.Menu()->actions()[0]->text(), "&Wiederherstellen");
    EXPECT_EQ(german.Menu()->actions().back()->text(), "&Exit");
}

// The offscreen platform has no tray, as a bare X server has none.
TEST(TrayIconTest, WithoutATrayNothingShows) {
    ASSERT_FALSE(TrayIcon::Available());
    TrayIcon tray({});
    EXPECT_FALSE(tray.Show());
    EXPECT_FALSE(tray.Visible());
    EXPECT_FALSE(tray.NotifySessionEnd(3, 1));
    tray.SetState(TrayState::Downloading);
    EXPECT_EQ(tray.State(), TrayState::Downloading);
}

TEST(TrayIconTest, SessionEndTexts) {
    const std::tuple<int, int, const char*> cases[] = {
        {0, 0, "0 files downloaded, no errors"},
        {1, 0, "1 file downloaded, no errors"},
        {12, 1, "12 files downloaded, 1 error"},
        {2, 3, "2 files downloaded, 3 errors"},
    };
    for (const auto& [files, errors, text] : cases)
        EXPECT_EQ(TrayIcon::SessionEndText(files, errors).toStdString(), text);
}

TEST(AppIconsTest, EveryStateAndRowImageLooksDifferentAndStaysSharpWhenScaled) {
    std::vector<QImage> tray;
    for (TrayState s :
         {TrayState::Idle, TrayState::Downloading, TrayState::Scheduler, TrayState::MailCheck})
        tray.push_back(Render(AppIcons::Tray(s)));
    std::vector<QImage> rows;
    for (int image = kImageNotDue; image <= kImageLocalJob; ++image)
        rows.push_back(Render(AppIcons::Row(image)));
    for (const auto* set : {&tray, &rows}) {
        for (std::size_t i = 0; i < set->size(); ++i)
            for (std::size_t j = i + 1; j < set->size(); ++j)
                EXPECT_NE((*set)[i], (*set)[j]) << i << " and " << j;
    }
    EXPECT_EQ(Render(AppIcons::Row(99)), rows[kImageOrdinary]);

    const QPixmap hidpi = AppIcons::Application().pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(hidpi.size(), QSize(32, 32));
    EXPECT_EQ(Render(AppIcons::Application(), 256).pixelColor(128, 128).alpha(), 255);
}

TEST(AppIconsTest, ToolbarCommandsHaveIcons) {
    for (CommandId id :
         {kCmdNewUrl, kCmdEditUrl, kCmdSaveList, kCmdMoveUp, kCmdMoveDown, kCmdDelete, kCmdOpenUrl,
          kCmdUrlInfo, kCmdPreferences, kCmdStartDownload, kCmdStop, kCmdDialUp,
          kCmdSchedulerModeButton, kCmdSpeedLimitOn, kCmdSpeedLimitOff, kCmdHelp}) {
        EXPECT_FALSE(AppIcons::Command(id).pixmap(24, 24).isNull()) << id;
    }
    EXPECT_TRUE(AppIcons::Command(kCmdLogClear).isNull());
    EXPECT_NE(Render(AppIcons::Command(kCmdSpeedLimitOn)),
              Render(AppIcons::Command(kCmdSpeedLimitOff)));
}

}  // namespace
}  // namespace kov
