#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

constexpr std::array<int, 7> kDayTexts = {kGuiMonday, kGuiTuesday,  kGuiWednesday, kGuiThursday,
                                          kGuiFriday, kGuiSaturday, kGuiSunday};

// The task list on the left, the chosen task's fields on the right.
class SchedulePage : public PreferencesPage {
public:
    explicit SchedulePage(const AppSettings& s) : m_tasks(s.schedule.tasks) {
        auto* column = new QVBoxLayout(this);
        m_enabled = MakeCheck("SchedulerEnabled", kGuiPrefSchedulerOn, s.schedule.Enabled);
        m_stops = MakeCheck("NewTaskStopsCurrent", kGuiNextTaskStopsCurrent,
                            s.schedule.NewTaskStopsCurrent);
        column->addWidget(m_enabled);
        column->addWidget(m_stops);

        auto* row = new QHBoxLayout;
        column->addLayout(row, 1);
        auto* left = new QVBoxLayout;
        row->addLayout(left, 1);
        m_list = new QListWidget;
        m_list->setObjectName("Tasks");
        left->addWidget(m_list, 1);
        auto* buttons = new QHBoxLayout;
        auto* add = new QPushButton(UiText(kGuiAdd, ""));
        add->setObjectName("AddTask");
        auto* remove = new QPushButton(UiText(kGuiDelete, ""));
        remove->setObjectName("DeleteTask");
        buttons->addWidget(add);
        buttons->addWidget(remove);
        left->addLayout(buttons);

        m_editor = new QWidget;
        auto* form = new QFormLayout(m_editor);
        m_name = AddLine(form, "TaskName", kGuiTaskName, {}, ScheduleTask::kNameCapacity);
        m_listName = new QComboBox;
        m_listName->setObjectName("ListName");
        m_listName->setEditable(true);
        for (const ListRecord& list : s.lists)
            m_listName->addItem(QString::fromStdString(list.Name));
        form->addRow(UiText(kGuiListToDownload, ""), m_listName);
        m_start = AddLine(form, "StartTime", kGuiTimeStart, {}, 5);
        m_stop = AddLine(form, "StopTime", kGuiTimeStop, {}, 5);
        m_start->setPlaceholderText(QStringLiteral("hh:mm"));
        m_stop->setPlaceholderText(QStringLiteral("hh:mm"));
        for (std::size_t d = 0; d < kDayTexts.size(); ++d) {
            m_days[d] = AddCheck(form, "", kDayTexts[d], false);
            m_days[d]->setObjectName(QStringLiteral("Day%1").arg(d));
        }
        m_speed = AddChoice(form, "TaskSpeedLimit", kGuiTaskSpeedLimit,
                            {kGuiTaskSpeedLimit1, kGuiTaskSpeedLimit2, kGuiTaskSpeedLimit3}, 0);
        row->addWidget(m_editor, 2);

        for (const ScheduleTask& task : m_tasks)
            AddRow(task);
        connect(m_list, &QListWidget::currentRowChanged, this, [this](int r) { Show(r); });
        connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) {
            if (QListWidgetItem* item = m_list->item(m_current)) item->setText(text);
        });
        for (QLineEdit* time : {m_start, m_stop}) {
            connect(time, &QLineEdit::textEdited, time, [time] {
                MarkField(time,
                          IsClockTime(time->text()) ? QString() : UiText(kGuiPrefBadTime, ""));
            });
        }
        connect(add, &QPushButton::clicked, this, [this] { AddTask(); });
        connect(remove, &QPushButton::clicked, this, [this] { DeleteTask(); });
        m_list->setCurrentRow(m_tasks.empty() ? -1 : 0);
        Show(m_list->currentRow());
    }

    void Store(PreferencesData& data) override {
        Keep();
        ScheduleSettings& s = data.settings.schedule;
        s.Enabled = IsOn(m_enabled);
        s.NewTaskStopsCurrent = IsOn(m_stops);
        for (int i = 0; i < m_list->count(); ++i) {
            m_tasks[i].Enabled = m_list->item(i)->checkState() == Qt::Checked;
        }
        s.tasks = m_tasks;
    }

    QWidget* Invalid() override {
        Keep();
        for (std::size_t i = 0; i < m_tasks.size(); ++i) {
            const bool startBad = !IsClockTime(QString::fromStdString(m_tasks[i].StartTime));
            const bool stopBad = !IsClockTime(QString::fromStdString(m_tasks[i].StopTime));
            if (!startBad && !stopBad) continue;
            m_list->setCurrentRow(static_cast<int>(i));
            QLineEdit* field = startBad ? m_start : m_stop;
            MarkField(field, UiText(kGuiPrefBadTime, ""));
            return field;
        }
        return nullptr;
    }

private:
    void AddRow(const ScheduleTask& task) {
        auto* item = new QListWidgetItem(QString::fromStdString(task.TaskName), m_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(task.Enabled ? Qt::Checked : Qt::Unchecked);
    }

    // The editor's fields into the task they show.
    void Keep() {
        if (m_current < 0 || m_current >= static_cast<int>(m_tasks.size())) return;
        ScheduleTask& t = m_tasks[m_current];
        t.TaskName = TextOf(m_name);
        t.ListName = m_listName->currentText().toStdString().substr(0, ScheduleTask::kNameCapacity);
        t.StartTime = m_start->text().toStdString();
        t.StopTime = m_stop->text().toStdString();
        t.Days = 0;
        for (std::size_t d = 0; d < m_days.size(); ++d) {
            if (m_days[d]->isChecked()) t.Days |= 1 << d;
        }
        t.SpeedLimited = m_speed->currentIndex();
    }

    void Show(int row) {
        Keep();
        m_current = row;
        m_editor->setEnabled(row >= 0 && row < static_cast<int>(m_tasks.size()));
        const ScheduleTask t = m_editor->isEnabled() ? m_tasks[row] : ScheduleTask{};
        m_name->setText(QString::fromStdString(t.TaskName));
        m_listName->setCurrentText(QString::fromStdString(t.ListName));
        m_start->setText(QString::fromStdString(t.StartTime));
        m_stop->setText(QString::fromStdString(t.StopTime));
        MarkField(m_start, {});
        MarkField(m_stop, {});
        for (std::size_t d = 0; d < m_days.size(); ++d)
            m_days[d]->setChecked(t.Days & (1 << d));
        m_speed->setCurrentIndex(t.SpeedLimited >= 0 && t.SpeedLimited <= 2 ? t.SpeedLimited : 0);
    }

    void AddTask() {
        ScheduleTask task;  // starts enabled at 00:00
        task.TaskName = UiText(kGuiPrefNewTask, "").toStdString();
        if (m_listName->count() > 0) task.ListName = m_listName->itemText(0).toStdString();
        m_tasks.push_back(task);
        AddRow(task);
        m_list->setCurrentRow(m_list->count() - 1);
        m_name->setFocus();
        m_name->selectAll();
    }

    void DeleteTask() {
        const int row = m_list->currentRow();
        if (row < 0) return;
        m_current = -1;  // the task's fields go with it
        m_tasks.erase(m_tasks.begin() + row);
        delete m_list->takeItem(row);
        m_current = -1;
        Show(m_list->currentRow());
    }

    std::vector<ScheduleTask> m_tasks;
    int m_current = -1;
    QCheckBox *m_enabled, *m_stops;
    QListWidget* m_list;
    QWidget* m_editor;
    QLineEdit *m_name, *m_start, *m_stop;
    QComboBox *m_listName, *m_speed;
    std::array<QCheckBox*, 7> m_days{};
};

}  // namespace

PreferencesPage* MakeSchedulePage(const PreferencesData& data) {
    return new SchedulePage(data.settings);
}

}  // namespace kov
