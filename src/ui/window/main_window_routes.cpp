// Where each command of the main window goes: when it is enabled and what it does, by pane.
#include <QTableView>

#include "core/command_ids.h"
#include "model/list_document.h"
#include "session/event_log.h"
#include "ui/window/command_table.h"
#include "ui/window/lists_pane.h"
#include "ui/window/main_window.h"

namespace kov {

void MainWindow::BuildRoutes() {
    RouteEditing();
    RouteSession();
    RouteViewing();
}

// A command whose dialog lives elsewhere: enabled once its handler is set (and, for one about
// the selected items, while some are selected).
CommandRoute MainWindow::HandlerRoute(int command, bool onSelection) {
    return {[this, command, onSelection] {
                return m_handlers.count(command) > 0 && (!onSelection || SelectedCount() > 0);
            },
            [this, command] { RunHandler(command); }};
}

int MainWindow::SelectedCount() const {
    return static_cast<int>(m_urlView->selectionModel()->selectedRows().size());
}

bool MainWindow::Held(Qt::KeyboardModifier modifier) const {
    return m_commandModifiers.testFlag(modifier);
}

// The item commands; in the lists pane they act on the lists.
void MainWindow::RouteEditing() {
    const auto selection = [this] { return SelectedCount() > 0; };
    m_routes.Add({kCmdNewUrl}, HandlerRoute(kCmdNewUrl));
    m_routes.AddForLists(kCmdNewUrl, HandlerRoute(kCmdAddListDefinition));
    m_routes.Add({kCmdEditUrl}, HandlerRoute(kCmdEditUrl, true));
    m_routes.AddForLists(kCmdEditUrl, HandlerRoute(kCmdListProperties));
    for (const int delta : {-1, 1}) {
        const int id = delta < 0 ? kCmdMoveUp : kCmdMoveDown;
        m_routes.Add({id}, {selection, [this, delta] { MoveSelectedRows(delta); }});
        m_routes.AddForLists(id, {[this] { return m_listsPane->SelectedLists().size() == 1; },
                                  [this, delta] { MoveSelectedList(delta); }});
    }
    m_routes.Add({kCmdDelete}, {selection, [this] { DeleteSelectedRows(); }});
    const CommandRoute deleteLists{
        [this] { return m_document.ListCount() > 1 && !m_listsPane->SelectedLists().empty(); },
        [this] { DeleteSelectedLists(); }};
    m_routes.AddForLists(kCmdDelete, deleteLists);
    m_routes.Add({kCmdDeleteList}, deleteLists);
    m_routes.Add({kCmdCopy}, {selection, [this] { CopySelection(false); }});
    m_routes.Add({kCmdCut}, {selection, [this] { CopySelection(true); }});
    m_routes.Add({kCmdPaste}, {[] { return ClipboardAcceptable(); }, [this] { PasteClipboard(); }});
    m_routes.Add({kCmdTakeEmailItems}, {selection, [this] { TakeEmailItems(); }});
    m_routes.Add({kCmdPasteQuery}, {{}, [this] { PasteQuery(); }});
    m_routes.Add({kCmdUndo}, HandlerRoute(kCmdUndo));
    // A failure has been shown with the file and its cause; the list stays modified.
    m_routes.Add({kCmdSaveList}, {[this] { return m_document.Rows().Modified(); },
                                  [this] { (void)m_document.SaveList(true, false); }});
    m_routes.Add({kCmdAddFromIni}, {{}, [this] { AddFromIni(); }});
}

// Downloads, the scheduler, the line and the mail check.
void MainWindow::RouteSession() {
    const auto idle = [this] { return m_session->State() == SessionState::Idle; };
    const auto selection = [this] { return SelectedCount() > 0; };
    m_routes.Add({kCmdReloadList}, {idle, [this] { ReloadList(); }});
    m_routes.Add(
        {kCmdStartDownload},
        {{}, [this] { m_session->StartRequest(Held(Qt::ControlModifier), SelectedRows()); }});
    m_routes.Add({kCmdDownloadSelected},
                 {selection, [this] { m_session->StartRequest(true, SelectedRows()); }});
    m_routes.Add({kCmdStop}, {[idle] { return !idle(); },
                              [this] {
                                  m_session->OnStop(Held(Qt::ShiftModifier),
                                                    Held(Qt::ControlModifier), SelectedRows());
                              }});
    m_routes.Add({kCmdCancelSelected}, {selection, [this] { CancelSelected(); }});
    m_routes.Add({kCmdSchedulerMode, kCmdSchedulerModeButton}, {{}, [this] { ToggleScheduler(); }});
    m_routes.Add({kCmdSchedulerQueue}, {{}, [this] { m_session->ShowScheduleQueue(); }});
    m_routes.Add({kCmdDialUp}, {{}, [this] { m_session->DialUp().ToggleConnection(); }});
    m_routes.Add({kCmdReleaseLine}, {{}, [this] { m_session->DialUp().ReleaseSessionLine(); }});
    const auto limitSet = [this] {
        return m_settings.SpeedLimitInet != 0 || m_settings.SpeedLimitLoc != 0;
    };
    m_routes.Add({kCmdSpeedLimitOn}, {limitSet, [this] { m_session->SpeedLimitOn(); }});
    m_routes.Add({kCmdSpeedLimitOff}, {limitSet, [this] { m_session->SpeedLimitOff(); }});
    m_routes.Add({kCmdCheckForUpdate}, {{}, [this] { m_session->Updates().CheckForUpdate(true); }});
    m_routes.Add({kCmdCheckMail}, {[this] { return MailCheckReady(); }, [this] { CheckMail(); }});
}

// The panes, the log, the dialogs and the window itself.
void MainWindow::RouteViewing() {
    m_routes.Add({kCmdOpenUrl},
                 {[this] { return SelectedCount() == 1; }, [this] { OpenCurrentUrl(); }});
    m_routes.Add({kCmdUrlInfo}, HandlerRoute(kCmdUrlInfo, true));
    for (const int id : std::initializer_list<int>{kCmdListProperties, kCmdAddListDefinition,
                                                   kCmdPreferences, kCmdAbout})
        m_routes.Add({id}, HandlerRoute(id));
    const auto logged = [this] { return m_log->Count() > 0; };
    m_routes.Add({kCmdLogClear}, {logged, [this] { m_log->Clear(); }});
    m_routes.Add({kCmdLogSave}, {logged, [this] { SaveLog(); }});
    m_routes.Add({kCmdToggleListsPane}, {{}, [this] { ToggleListsPane(); }});
    m_routes.Add({kCmdNextPane}, {{}, [this] { CyclePane(1); }});
    m_routes.Add({kCmdPreviousPane}, {{}, [this] { CyclePane(-1); }});
    m_routes.Add({kCmdRestore}, {{}, [this] { Restore(); }});
    m_routes.Add({kCmdExit}, {{}, [this] { close(); }});
    m_routes.Add({kCmdHelp}, {{}, [this] { OpenHelp(); }});
}

}  // namespace kov
