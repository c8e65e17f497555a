#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <thread>

#include "core/settings/app_settings.h"
#include "model/list_model.h"
#include "session/event_log.h"
#include "ui/app/qt_prompter.h"
#include "ui/window/list_table_model.h"
#include "ui/window/log_table_model.h"

namespace kov {
namespace {

UrlItem Named(const char* name) {
    UrlItem item = FreshItem();
    item.Name = name;
    return item;
}

TEST(ListTableModelTest, ProgressRepaintsARowAtMostTenTimesASecond) {
    ListModel rows;
    const RowId busy = rows.Append(Named("busy"));
    const RowId gone = rows.Append(Named("gone"));
    ListTableModel model(rows);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    // 10,000 progress events for one row within about 100 ms.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i) {
        rows.At(0).filePos = static_cast<std::uint64_t>(i);
        rows.NotifyChanged(busy);
        if (i % 500 == 0) QCoreApplication::processEvents();
    }
    const auto spent = std::chrono::steady_clock::now() - start;
    QTest::qWait(2 * static_cast<int>(ListTableModel::kRepaintPeriod.count()));
    const auto periods = 2 + spent / ListTableModel::kRepaintPeriod;
    EXPECT_GE(changed.count(), 1);
    EXPECT_LE(changed.count(), periods) << "repaints for " << periods << " periods";

    // A row deleted before the repaint is not repainted; the rest still is.
    changed.clear();
    rows.NotifyChanged(gone);
    rows.NotifyChanged(busy);
    rows.Remove({gone});
    model.Flush();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.front().front().value<QModelIndex>().row(), 0);
    EXPECT_EQ(model.rowCount(), 1);
}

TEST(ListTableModelTest, ProgressAndTextsComeFromTheRow) {
    ListModel rows;
    const RowId id = rows.Append(Named("one"));
    ListTableModel model(rows);
    Row& row = *rows.Find(id);
    row.columns[kColumnStatus] = "1,000 / 4,000";
    row.runState = RunState::Running;
    row.filePos = 1000;
    row.fileSize = 4000;
    EXPECT_EQ(model.data(model.index(0, kColumnName), Qt::DisplayRole).toString(), "one");
    EXPECT_EQ(model.data(model.index(0, kColumnStatus), ListTableModel::kProgressRole).toInt(), 25);
    row.fileSize = 0;
    EXPECT_EQ(model.data(model.index(0, kColumnStatus), ListTableModel::kProgressRole).toInt(), -1);
    EXPECT_EQ(model.headerData(kColumnSpeed, Qt::Horizontal, Qt::DisplayRole).toString(), "Speed");
}

TEST(LogTableModelTest, LinesFromOtherThreadsArriveInOrder) {
    AppSettings settings;
    settings.WriteLog = 0;
    EventLog log(settings, "");
    log.AddLine("before", 0, 0);
    LogTableModel model(log);
    int insertions = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    std::thread writer([&] {
        for (int i = 0; i < 50; ++i)
            log.AddLine("line " + std::to_string(i), 0, 2);
    });
    writer.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 51; }, 5000));
    EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "before");
    EXPECT_EQ(model.data(model.index(50, 1), Qt::DisplayRole).toString(), "line 49");
    EXPECT_LE(insertions, 2) << "a burst of lines must not repaint the pane line by line";
    log.Clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(QtPrompterTest, AQuestionFromAWorkerIsAnsweredOnTheGuiThread) {
    QtPrompter prompter;
    std::thread::id answeredOn;
    prompter.SetAnswerer([&](const std::string& text, bool question, bool) {
        answeredOn = std::this_thread::get_id();
        return question && text == "go?";
    });
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = prompter.Ask("go?", false) ? 1 : 0; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer >= 0; }, 5000));
    worker.join();
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace kov
