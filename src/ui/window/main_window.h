#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/list_model.h"
#include "session/session_controller.h"
#include "ui/app/tray_hook.h"
#include "ui/window/command_routes.h"

class QAction;
class QLabel;
class QMenu;
class QMimeData;
class QSplitter;
class QTableView;
class QToolBar;

namespace kov {

class EventLog;
class ListDocument;
class ListTableModel;
class ListsPane;
class LogTableModel;
class MailCheck;
class Prompter;
class QtMainLoop;
class SessionTally;
class WindowTray;
class WorkerPool;

// What the window is made from.
struct MainWindowSetup {
    AppSettings* settings = nullptr;
    ListDocument* document = nullptr;
    Prompter* prompter = nullptr;
    std::string logFile;  // Kov.log; "" writes none
    std::shared_ptr<const JobEnvironment> jobEnvironment;
    // Sounds, the traffic counter, the end-of-session action; the window adds the title and
    // the session's start and end.
    SessionHooks hooks;
    bool autoMode = false;  // run one session at the first showing, then close
    bool shutdownAfter = false;
    // Where the user guide's front page may be, in search order.
    std::vector<std::string> userGuide;
    // The program folder (with its trailing '/'): server mode keeps its remembered messages
    // there. "" leaves the window without the mail check.
    std::string programFolder;
    // Saves what the shut-down saves while the window still stands (shiftHeld discards the
    // list's changes). False (reported) keeps the window open with the changes.
    // The power-off at a session's end saves with it first (shiftHeld false).
    std::function<bool(bool shiftHeld)> saveOnClose;
};

// The main window: the lists pane and the URL list above the log pane, menus, toolbar and
// status bar. Commands go to the pane that has the focus; the window runs the sessions of the
// current list and the scheduler.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    enum class Pane { Lists = 1, Urls = 2, Log = 3 };
    using Handler = std::function<void()>;

    explicit MainWindow(MainWindowSetup setup, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs a command as the menu, the toolbar or a key does, with this modifier state.
    void Execute(int command, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    bool IsEnabled(int command);
    // As if pane had the focus (the toolbar's + is a new URL whatever pane has it).
    void ExecuteIn(Pane pane, int command, Qt::KeyboardModifiers modifiers);
    bool IsEnabledIn(Pane pane, int command);
    QAction* Action(int command) const;

    // The single place where commands whose dialogs live elsewhere are connected: a handler
    // set for kCmdEditUrl (items), kCmdNewUrl (new item), kCmdListProperties,
    // kCmdAddListDefinition, kCmdUrlInfo, kCmdPreferences or kCmdAbout enables it. Without one
    // the command stays disabled.
    void SetCommandHandler(int command, Handler handler);
    // The modifier state of the command a handler runs for.
    Qt::KeyboardModifiers CommandModifiers() const { return m_commandModifiers; }

    // The window makes its own tray icon; another hook replaces it (null: no tray at all).
    void SetTrayHook(TrayHook* tray) { m_tray = tray; }
    TrayHook* Tray() const { return m_tray; }
    // Takes MIME data into the URL list as a paste does. False when nothing was taken; data
    // refused as too large has been reported.
    bool PasteMime(const QMimeData& data);
    // A drop on the URL list, or on the lists pane's row `list` (Shift held: the rows dragged
    // from the URL list move there). False when nothing was taken.
    bool DropMime(const QMimeData& data, bool fromOwnList);
    bool DropMimeOnList(const QMimeData& data, std::size_t list, Qt::KeyboardModifiers modifiers,
                        const std::vector<RowId>& dragged);
    // The selected rows as drag or clipboard data; null when none is selected.
    QMimeData* SelectionMime() const;
    // Server mode; null without a program folder.
    MailCheck* Mail() const { return m_mail.get(); }

    Pane FocusedPane() const { return m_pane; }
    void FocusPane(Pane pane);
    std::vector<RowId> SelectedRows() const;
    void SelectRows(const std::vector<RowId>& rows);

    // Writes the place, splitters and column widths into the settings (changed on difference).
    void TakeLayout();
    // The texts of menus, toolbar and columns in the current language.
    void Retranslate();
    // Accepted preferences take effect: speed limit, worker count, dial-up line, today's
    // schedule queue, window flags, the lists pane and the mail poll timer; settingsApplied()
    // then tells the others.
    void SettingsApplied();

    // Stops whatever still runs and waits for the jobs; the lists can then be saved.
    void EndSessions();

    SessionController& Session() { return *m_session; }
    EventLog& Log() { return *m_log; }
    ListTableModel& UrlModel() { return *m_urlModel; }
    QTableView* UrlView() const { return m_urlView; }
    ListsPane* Lists() const { return m_listsPane; }
    QTableView* LogView() const { return m_logView; }
    // The end-of-session power-off: saves everything, then powers off and closes. A failed
    // save or a refused power-off is reported and the program keeps running.
    void PowerOffAfterSession();

signals:
    void minimised();
    // The window has closed for good; the program may end.
    void closed();
    void titleChanged(const QString& title);
    void settingsApplied();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildRoutes();
    void RouteEditing();
    void RouteSession();
    void RouteViewing();
    CommandRoute HandlerRoute(int command, bool onSelection = false);
    int SelectedCount() const;
    bool Held(Qt::KeyboardModifier modifier) const;
    void BuildPanes();
    void BuildActions();
    void BuildMenus();
    void BuildStatusBar();
    void ApplyPlacement();
    void FitStatusPanes();
    void ApplySplitters();
    void ApplyWindowFlags();
    bool HandleKey(QObject* watched, int key, Qt::KeyboardModifiers mods);
    bool HandleDrag(QObject* watched, QEvent* event);
    void StartDrag();
    void UpdateTrayState();
    void NoteMissingListFile();
    void PopupMenu(Pane pane, const QPoint& global);
    void UpdateCommands();
    void Tick();
    void SessionRunning(bool running);
    void ChooseList(std::size_t index);
    void RunHandler(int command);
    void DeleteSelectedLists();
    void DeleteSelectedRows();
    void MoveSelectedList(int delta);
    void MoveSelectedRows(int delta);
    void CopySelection(bool cut);
    void OpenCurrentUrl();
    void TakeEmailItems();
    void PasteQuery();
    void ToggleListsPane();
    void SaveLog();
    void AddFromIni();
    void Restore();
    void ReloadList();
    void CancelSelected();
    void ToggleScheduler();
    bool MailCheckReady() const;
    void CheckMail();
    static bool ClipboardAcceptable();
    void PasteClipboard();
    void OpenHelp();
    void CyclePane(int step);
    void SetTitle(const std::string& title);
    void ShowTitle();

    AppSettings& m_settings;
    ListDocument& m_document;
    Prompter& m_prompter;
    MainWindowSetup m_setup;

    // Destroyed in reverse: the models before the session, the session before its pool.
    std::unique_ptr<QtMainLoop> m_loop;
    std::unique_ptr<EventLog> m_log;
    std::unique_ptr<WorkerPool> m_pool;
    std::unique_ptr<SessionController> m_session;
    std::unique_ptr<ListTableModel> m_urlModel;
    std::unique_ptr<LogTableModel> m_logModel;

    QSplitter* m_rows = nullptr;  // upper row over the log pane
    QSplitter* m_cols = nullptr;  // lists pane beside the URL list
    ListsPane* m_listsPane = nullptr;
    QTableView* m_urlView = nullptr;
    QTableView* m_logView = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_toolbarNewUrl = nullptr;  // the toolbar's +: a new URL in any pane
    std::array<QLabel*, 7> m_status{};
    std::map<int, QAction*> m_actions;
    std::map<int, QMenu*> m_menus;  // by text key
    std::map<int, Handler> m_handlers;
    CommandRoutes m_routes;
    QPointer<QMenu> m_popup;
    std::unique_ptr<WindowTray> m_ownTray;
    TrayHook* m_tray = nullptr;
    std::unique_ptr<SessionTally> m_tally;
    std::unique_ptr<MailCheck> m_mail;
    QPoint m_dragStart;
    std::vector<RowId> m_dragged;  // our own rows while they are being dragged
    Pane m_pane = Pane::Urls;
    bool m_sessionRunning = false;
    QTimer m_tick;
    QTimer m_titlePause;
    QMetaObject::Connection m_focusWatch;
    QString m_title;
    bool m_activated = false;
    bool m_inTray = false;
    bool m_closePending = false;  // closing waits for the session's end
    bool m_closed = false;
    Qt::KeyboardModifiers m_commandModifiers;
};

}  // namespace kov
