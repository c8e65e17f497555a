// The commands of the main window: enabling and running them through their routes, and the
// actions behind them.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QSplitter>
#include <QTableView>
#include <QUrl>
#include <algorithm>
#include <ctime>

#include "core/command_ids.h"
#include "core/prompter.h"
#include "engine/job.h"
#include "mail_control/clipboard_query.h"
#include "model/list_document.h"
#include "model/url_template.h"
#include "platform/clock.h"
#include "session/event_log.h"
#include "session/mail_check.h"
#include "ui/app/ui_text.h"
#include "ui/app/user_guide.h"
#include "ui/window/command_table.h"
#include "ui/window/item_mime.h"
#include "ui/window/list_table_model.h"
#include "ui/window/lists_pane.h"
#include "ui/window/main_window.h"

namespace kov {

QAction* MainWindow::Action(int command) const {
    const auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void MainWindow::SetCommandHandler(int command, Handler handler) {
    if (handler) {
        m_handlers[command] = std::move(handler);
    } else {
        m_handlers.erase(command);
    }
    UpdateCommands();
}

void MainWindow::RunHandler(int command) {
    const auto it = m_handlers.find(command);
    if (it != m_handlers.end()) it->second();
}

bool MainWindow::IsEnabled(int command) {
    return IsEnabledIn(m_pane, command);
}

bool MainWindow::IsEnabledIn(Pane pane, int command) {
    const CommandRoute* route = m_routes.Find(command, pane == Pane::Lists);
    // A session holds the lists: what changes them waits for its end.
    const bool onLists = route != m_routes.Find(command, false) || command == kCmdDeleteList ||
                         command == kCmdListProperties || command == kCmdAddListDefinition;
    if (onLists && m_listsPane && m_listsPane->Locked()) return false;
    return !route || !route->enabled || route->enabled();
}

void MainWindow::UpdateCommands() {
    for (auto& [id, action] : m_actions)
        action->setEnabled(IsEnabled(id));
    const bool scheduler = m_settings.schedule.Enabled != 0;
    m_actions.at(kCmdSchedulerMode)->setChecked(scheduler);
    m_actions.at(kCmdSchedulerModeButton)->setChecked(scheduler);
    m_actions.at(kCmdSpeedLimitOn)->setChecked(m_settings.SpeedLimited != 0);
    m_actions.at(kCmdSpeedLimitOff)->setChecked(m_settings.SpeedLimited == 0);
    m_actions.at(kCmdToggleListsPane)->setCheckable(false);
    m_toolbarNewUrl->setEnabled(IsEnabledIn(Pane::Urls, kCmdNewUrl));
}

void MainWindow::Execute(int command, Qt::KeyboardModifiers modifiers) {
    ExecuteIn(m_pane, command, modifiers);
}

void MainWindow::ExecuteIn(Pane pane, int command, Qt::KeyboardModifiers modifiers) {
    if (!IsEnabledIn(pane, command)) return;
    m_commandModifiers = modifiers;
    // A command without a route runs the handler set for it, if any.
    if (const CommandRoute* route = m_routes.Find(command, pane == Pane::Lists)) {
        route->run();
    } else {
        RunHandler(command);
    }
    UpdateCommands();
}

std::vector<RowId> MainWindow::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_urlView->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<RowId> ids;
    for (const int row : rows)
        ids.push_back(m_urlModel->IdAt(row));
    return ids;
}

void MainWindow::SelectRows(const std::vector<RowId>& rows) {
    QItemSelectionModel* selection = m_urlView->selectionModel();
    selection->clearSelection();
    for (const RowId id : rows) {
        const int row = m_urlModel->RowOf(id);
        if (row >= 0)
            selection->select(m_urlModel->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    UpdateCommands();
}

void MainWindow::FocusPane(Pane pane) {
    QWidget* widget = pane == Pane::Lists  ? static_cast<QWidget*>(m_listsPane)
                      : pane == Pane::Urls ? static_cast<QWidget*>(m_urlView)
                                           : static_cast<QWidget*>(m_logView);
    widget->setFocus(Qt::OtherFocusReason);
    m_pane = pane;
    UpdateCommands();
}

void MainWindow::CyclePane(int step) {
    std::vector<Pane> panes;
    if (m_listsPane->isVisibleTo(this)) panes.push_back(Pane::Lists);
    panes.push_back(Pane::Urls);
    panes.push_back(Pane::Log);
    const auto it = std::find(panes.begin(), panes.end(), m_pane);
    const long at = it == panes.end() ? 0 : it - panes.begin();
    const long n = static_cast<long>(panes.size());
    FocusPane(panes[static_cast<std::size_t>(((at + step) % n + n) % n)]);
}

void MainWindow::DeleteSelectedLists() {
    if (m_document.DeleteLists(m_listsPane->SelectedLists()) > 0) m_listsPane->Reload();
}

void MainWindow::DeleteSelectedRows() {
    const std::vector<RowId> ids = SelectedRows();
    if (m_document.Rows().Remove(ids) > 0) m_document.Rows().SetModified(true);
}

void MainWindow::MoveSelectedList(int delta) {
    const auto selected = m_listsPane->SelectedLists();
    if (selected.size() == 1) m_listsPane->MoveList(selected.front(), delta);
}

void MainWindow::MoveSelectedRows(int delta) {
    const std::vector<RowId> ids = SelectedRows();
    ListModel& rows = m_document.Rows();
    if (delta < 0 ? rows.MoveUp(ids) : rows.MoveDown(ids)) {
        rows.SetModified(true);
        SelectRows(ids);  // the selection moves with its rows
    }
}

void MainWindow::ChooseList(std::size_t index) {
    if (m_session->State() != SessionState::Idle) return;
    const bool shift = QApplication::keyboardModifiers() & Qt::ShiftModifier;
    // A failed save keeps the current list; the document has told the user why.
    (void)m_document.SwitchList(index, shift);
    m_listsPane->Reload();
    UpdateCommands();
}

void MainWindow::ToggleListsPane() {
    const bool show = !m_listsPane->isVisibleTo(this);
    m_listsPane->setVisible(show);
    m_settings.ShowPaneLists = show ? 1 : 0;
    m_settings.changed = true;
    if (show) {
        m_cols->setSizes(
            {m_settings.WndSplitCol, std::max(m_cols->width() - m_settings.WndSplitCol, 0)});
    } else if (m_pane == Pane::Lists) {
        FocusPane(Pane::Urls);
    }
}

void MainWindow::OpenCurrentUrl() {
    const std::vector<RowId> ids = SelectedRows();
    if (ids.size() != 1) return;
    const Row* row = m_document.Rows().Find(ids.front());
    if (!row) return;
    const std::string url =
        ExpandTemplate(row->item.Url, std::time(nullptr), row->item.CurrentNum, true);
    QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(url)));
}

void MainWindow::TakeEmailItems() {
    ListModel& rows = m_document.Rows();
    CalendarTime epoch;
    epoch.year = 1990;
    const std::time_t lastDL = MakeTime(epoch);
    bool changed = false;
    for (const RowId id : SelectedRows()) {
        Row* row = rows.Find(id);
        // Sent to a server (1) or received from one (10): both become ordinary.
        if (!row || row->item.CEType == 0) continue;
        row->item.CEType = 0;
        row->item.lastDL = lastDL;
        ListModel::RefreshTexts(*row);
        rows.NotifyChanged(id);
        changed = true;
    }
    if (changed) rows.SetModified(true);
}

void MainWindow::PasteQuery() {
    const std::string text = QGuiApplication::clipboard()->text().toStdString();
    for (UrlItem& item :
         ItemsFromClipboardText(text, m_document.Macros().appFolder, std::time(nullptr)))
        m_document.AddItem(std::move(item));
}

void MainWindow::SaveLog() {
    const QString path =
        QFileDialog::getSaveFileName(this, UiText(kCmdLogSave, "Save current log to file"),
                                     QString(), QStringLiteral("*.log *.txt"));
    if (path.isEmpty()) return;
    if (!m_log->SaveTo(path.toStdString()))
        m_prompter.Inform(UiTextWith(kGuiLogSaveFailed, "", {path}).toStdString());
}

void MainWindow::AddFromIni() {
    const QString path =
        QFileDialog::getOpenFileName(this, UiText(kCmdAddFromIni, "Add From INI-file"), QString(),
                                     UiText(kGuiFilterIni, "") + ";;" + UiText(kGuiFilterAll, ""));
    // A file that cannot be read has been reported by the document.
    if (!path.isEmpty()) (void)m_document.ImportList(path.toStdString());
}

void MainWindow::ReloadList() {
    m_document.Rows().SetModified(false);
    m_document.LoadList(m_document.CurrentIndex());
}

void MainWindow::CancelSelected() {
    m_session->StopRunningThreads(true, SelectedRows(),
                                  m_settings.AbortMode < 1 ? kStopNow : kStopAfterFile);
}

void MainWindow::ToggleScheduler() {
    m_session->ToggleSchedulerMode();
    UpdateTrayState();
}

bool MainWindow::MailCheckReady() const {
    const EmailSettings& mail = m_settings.email;
    return m_mail && !mail.Pop3Server.empty() && !mail.MailBox.empty() && !mail.MyEmailAddr.empty();
}

void MainWindow::CheckMail() {
    m_mail->CheckQueriesFromEmail();
    UpdateTrayState();
}

bool MainWindow::ClipboardAcceptable() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && ItemMime::CanAccept(*data);
}

void MainWindow::PasteClipboard() {
    if (const QMimeData* data = QGuiApplication::clipboard()->mimeData()) PasteMime(*data);
}

void MainWindow::OpenHelp() {
    const std::string guide = FindUserGuide(m_setup.userGuide);
    if (!guide.empty() &&
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(guide))))
        return;
    QStringList places;
    for (const std::string& path : guide.empty() ? m_setup.userGuide : std::vector{guide})
        places << QString::fromStdString(path);
    const QString text = guide.empty()
                             ? UiTextWith(kGuiHelpMissing, "", {places.join(QStringLiteral(", "))})
                             : UiTextWith(kGuiHelpNoBrowser, "", {places.front()});
    m_prompter.Inform(text.toStdString());
}

void MainWindow::Restore() {
    if (m_tray && m_inTray) m_tray->HideIcon();
    m_inTray = false;
    showNormal();
    raise();
    activateWindow();
}

}  // namespace kov
