#include "ui/window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolBar>

#include "core/command_ids.h"
#include "core/language/ui_text_ids.h"
#include "core/prompter.h"
#include "core/text/unit_format.h"
#include "engine/worker_pool.h"
#include "model/list_document.h"
#include "platform/file_util.h"
#include "session/event_log.h"
#include "session/mail_check.h"
#include "ui/app/app_icons.h"
#include "ui/app/qt_main_loop.h"
#include "ui/app/ui_text.h"
#include "ui/window/command_table.h"
#include "ui/window/item_mime.h"
#include "ui/window/list_table_model.h"
#include "ui/window/lists_pane.h"
#include "ui/window/log_table_model.h"
#include "ui/window/progress_delegate.h"
#include "ui/window/session_tally.h"
#include "ui/window/window_placement.h"
#include "ui/window/window_tray.h"

namespace kov {

namespace {

constexpr auto kTickPeriod = std::chrono::milliseconds(250);
constexpr int kTimeColumnWidth = 130;
constexpr int kTimeColumnPadding = 24;  // the image's gap and the cell's margins
constexpr int kWorkerNiceSteps = 5;
constexpr auto kTitlePause = std::chrono::milliseconds(100);

void SetupReportView(QTableView* view) {
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setShowGrid(true);
    view->setWordWrap(false);
    view->setSortingEnabled(false);
    view->verticalHeader()->hide();
    // Rows of one height: a long list needs no measuring.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setSectionsClickable(false);
    view->horizontalHeader()->setHighlightSections(false);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    // The selection stays visible when the view loses the focus.
    QPalette palette = view->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(palette);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool IsWithin(const QWidget* widget, const QWidget* pane) {
    for (; widget; widget = widget->parentWidget())
        if (widget == pane) return true;
    return false;
}

}  // namespace

MainWindow::MainWindow(MainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent),
      m_settings(*setup.settings),
      m_document(*setup.document),
      m_prompter(*setup.prompter),
      m_setup(std::move(setup)) {
    m_loop = std::make_unique<QtMainLoop>();
    m_log = std::make_unique<EventLog>(m_settings, m_setup.logFile);
    m_pool = std::make_unique<WorkerPool>();
    // Downloads yield a contended core to the window, which must keep painting; they mostly
    // wait for the network anyway.
    m_pool->LowerWorkerPriority(kWorkerNiceSteps);
    SessionHooks hooks = m_setup.hooks;
    hooks.showTitle = [this](const std::string& title) { SetTitle(title); };
    hooks.sessionRunning = [this](bool running) { SessionRunning(running); };
    // The program closes, or the computer goes off, once the session's end is through.
    hooks.endOfSessionAction = [this](bool shutdown) {
        if (shutdown) {
            QTimer::singleShot(0, this, &MainWindow::PowerOffAfterSession);
        } else {
            QTimer::singleShot(0, this, &QWidget::close);
        }
    };
    m_session =
        std::make_unique<SessionController>(m_settings, m_document, *m_loop, *m_pool, *m_log,
                                            m_prompter, m_setup.jobEnvironment, std::move(hooks));
    m_session->SetAutoMode(m_setup.autoMode, m_setup.shutdownAfter);
    m_urlModel = std::make_unique<ListTableModel>(m_document.Rows());
    m_tally = std::make_unique<SessionTally>(m_document.Rows());
    if (!m_setup.programFolder.empty()) {
        m_mail = std::make_unique<MailCheck>(m_settings, m_setup.programFolder, m_document,
                                             *m_session, *m_loop, *m_log);
        m_mail->SetFinished([this](int, const std::vector<RowId>&) {
            UpdateTrayState();
            UpdateCommands();
        });
    }
    m_logModel = std::make_unique<LogTableModel>(*m_log);

    BuildRoutes();
    BuildPanes();
    BuildActions();
    BuildMenus();
    BuildStatusBar();
    m_ownTray = std::make_unique<WindowTray>([this](int command) { Execute(command); });
    m_tray = m_ownTray.get();
    m_titlePause.setSingleShot(true);
    m_titlePause.setInterval(kTitlePause);
    connect(&m_titlePause, &QTimer::timeout, this, &MainWindow::ShowTitle);
    m_title = kProductName;
    ShowTitle();
    ApplyPlacement();
    ApplyWindowFlags();

    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (IsWithin(now, m_listsPane)) m_pane = Pane::Lists;
        if (IsWithin(now, m_urlView)) m_pane = Pane::Urls;
        if (IsWithin(now, m_logView)) m_pane = Pane::Log;
    });
    m_tick.setInterval(kTickPeriod);
    connect(&m_tick, &QTimer::timeout, this, &MainWindow::Tick);
    m_tick.start();
    Retranslate();
    // The first New URL is a URL, not a list: the URL list has the focus at start.
    m_urlView->setFocus(Qt::OtherFocusReason);
    UpdateCommands();
}

MainWindow::~MainWindow() {
    disconnect(m_focusWatch);
    m_tick.stop();
    EndSessions();
    m_mail.reset();
    m_tally.reset();
    m_urlView->setModel(nullptr);
    m_logView->setModel(nullptr);
    m_urlModel.reset();
    m_logModel.reset();
    m_session.reset();
    m_loop->Shutdown();
}

void MainWindow::EndSessions() {
    if (!m_session) return;
    m_session->StopRunningThreads(false, {}, kStopNow);
    m_pool->WaitIdle();
}

// ---- construction ----

void MainWindow::BuildPanes() {
    m_listsPane = new ListsPane(m_document, m_settings);
    m_urlView = new QTableView;
    SetupReportView(m_urlView);
    m_urlView->setModel(m_urlModel.get());
    m_urlView->setItemDelegateForColumn(kColumnStatus, new ProgressDelegate(m_urlView));
    for (int i = 0; i < kColumnCount; ++i)
        if (m_settings.Column[static_cast<std::size_t>(i)] > 0)
            m_urlView->setColumnWidth(i, m_settings.Column[static_cast<std::size_t>(i)]);
    m_logView = new QTableView;
    SetupReportView(m_logView);
    m_logView->setModel(m_logModel.get());
    // At least wide enough for a whole time stamp behind the line's image in this font.
    const int stamp =
        m_logView->fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00:00:00"));
    m_logView->setColumnWidth(
        0, std::max(kTimeColumnWidth,
                    stamp + m_logView->style()->pixelMetric(QStyle::PM_SmallIconSize) +
                        kTimeColumnPadding));
    m_logView->horizontalHeader()->setStretchLastSection(true);
    m_listsPane->setContextMenuPolicy(Qt::CustomContextMenu);
    // Drops arrive through the window's event filter; the views themselves take none.
    m_urlView->setDragEnabled(false);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_urlView),
                                    static_cast<QAbstractItemView*>(m_listsPane)}) {
        view->setAcceptDrops(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }

    m_cols = new QSplitter(Qt::Horizontal);
    m_cols->addWidget(m_listsPane);
    m_cols->addWidget(m_urlView);
    m_cols->setChildrenCollapsible(false);
    m_rows = new QSplitter(Qt::Vertical);
    m_rows->setObjectName(QStringLiteral("rows"));
    m_rows->addWidget(m_cols);
    m_rows->addWidget(m_logView);
    m_rows->setChildrenCollapsible(false);
    setCentralWidget(m_rows);
    m_listsPane->setVisible(m_settings.ShowPaneLists != 0);

    for (QWidget* pane : {static_cast<QWidget*>(m_listsPane), static_cast<QWidget*>(m_urlView),
                          static_cast<QWidget*>(m_logView)}) {
        pane->installEventFilter(this);
    }
    installEventFilter(this);
    connect(m_listsPane, &ListsPane::listChosen, this, &MainWindow::ChooseList);
    connect(m_listsPane, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        PopupMenu(Pane::Lists, m_listsPane->viewport()->mapToGlobal(p));
    });
    connect(m_listsPane, &QTreeWidget::itemDoubleClicked, this, [this] {
        m_pane = Pane::Lists;
        Execute(kCmdEditUrl);
    });
    connect(m_urlView, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        PopupMenu(Pane::Urls, m_urlView->viewport()->mapToGlobal(p));
    });
    connect(m_urlView, &QAbstractItemView::doubleClicked, this, [this] {
        m_pane = Pane::Urls;
        Execute(kCmdEditUrl);
    });
    connect(m_logView, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        PopupMenu(Pane::Log, m_logView->viewport()->mapToGlobal(p));
    });
    connect(m_urlView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::UpdateCommands);
    connect(m_listsPane, &QTreeWidget::itemSelectionChanged, this, &MainWindow::UpdateCommands);
    // Another list was opened (also by the scheduler): the pane shows it as current.
    connect(m_urlModel.get(), &QAbstractItemModel::modelReset, this, [this] {
        m_listsPane->Reload();
        NoteMissingListFile();
        UpdateCommands();
    });
    connect(m_logModel.get(), &QAbstractItemModel::rowsInserted, m_logView,
            &QTableView::scrollToBottom);
}

void MainWindow::BuildActions() {
    for (const CommandDef& def : CommandTable()) {
        auto* action = new QAction(UiText(def.id, def.text), this);
        action->setData(def.id);
        action->setCheckable(def.checkable);
        action->setToolTip(UiToolTip(def.id));
        action->setIcon(AppIcons::Command(static_cast<CommandId>(def.id)));
        if (!def.shortcut.isEmpty()) {
            // Shown in the menus; the keys themselves are handled by the window.
            action->setShortcut(def.shortcut);
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        const int id = def.id;
        connect(action, &QAction::triggered, this,
                [this, id] { Execute(id, QApplication::keyboardModifiers()); });
        m_actions[id] = action;
    }
    m_toolbar = addToolBar(QStringLiteral("toolbar"));
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setIconSize(QSize(20, 20));
    m_toolbar->setMovable(false);
    // The menu's New URL follows the focused pane; the toolbar's + always adds a URL.
    m_toolbarNewUrl = new QAction(m_actions.at(kCmdNewUrl)->icon(), QString(), this);
    connect(m_toolbarNewUrl, &QAction::triggered, this,
            [this] { ExecuteIn(Pane::Urls, kCmdNewUrl, QApplication::keyboardModifiers()); });
    for (const int id : ToolbarCommands()) {
        if (id == 0) {
            m_toolbar->addSeparator();
        } else {
            m_toolbar->addAction(id == kCmdNewUrl ? m_toolbarNewUrl : m_actions.at(id));
        }
    }
}

void MainWindow::BuildMenus() {
    struct MenuDef {
        int key;
        const char* title;
        std::vector<int> commands;  // 0 a separator
    };
    const MenuDef menus[] = {
        {kGuiMnuFile, "&File", {kCmdAddFromIni, kCmdSaveList, 0, kCmdExit}},
        {kGuiMnuEdit,
         "&Edit",
         {kCmdNewUrl, kCmdEditUrl, kCmdMoveUp, kCmdMoveDown, kCmdDelete, 0, kCmdCut, kCmdCopy,
          kCmdPaste, kCmdUndo, 0, kCmdTakeEmailItems, kCmdPasteQuery}},
        {kGuiMnuJob,
         "&Job",
         {kCmdStartDownload, kCmdDownloadSelected, kCmdStop, kCmdCancelSelected, 0,
          kCmdSchedulerMode, kCmdSchedulerQueue, 0, kCmdCheckMail, kCmdDialUp, kCmdReleaseLine, 0,
          kCmdSpeedLimitOn, kCmdSpeedLimitOff}},
        {kGuiMnuTools,
         "&Tools",
         {kCmdPreferences, 0, kCmdOpenUrl, kCmdUrlInfo, kCmdCheckForUpdate, 0, kCmdToggleListsPane,
          kCmdNextPane, kCmdPreviousPane, 0, kCmdLogClear, kCmdLogSave}},
        {kGuiMnuHelp, "&Help", {kCmdHelp, kCmdAbout}},
    };
    for (const MenuDef& def : menus) {
        QMenu* menu = menuBar()->addMenu(UiText(def.key, def.title));
        menu->setProperty("textKey", def.key);
        menu->setProperty("english", QString::fromUtf8(def.title));
        for (const int id : def.commands) {
            if (id == 0) {
                menu->addSeparator();
            } else {
                menu->addAction(m_actions.at(id));
            }
        }
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateCommands);
        m_menus[def.key] = menu;
    }
}

void MainWindow::BuildStatusBar() {
    // The message pane stretches; the others have these widths at least. The last three are
    // seldom used: kept narrow so that the speeds of pane 3 are not cut off.
    static const int widths[] = {240, 100, 100, 140, 40, 40, 40};
    for (std::size_t i = 0; i < m_status.size(); ++i) {
        m_status[i] = new QLabel;
        m_status[i]->setMinimumWidth(widths[i]);
        if (i == 0) {
            statusBar()->addWidget(m_status[i], 1);
        } else {
            statusBar()->addPermanentWidget(m_status[i]);
        }
    }
}

// The byte count and the speeds fit without moving whatever they show.
void MainWindow::FitStatusPanes() {
    const QFontMetrics metrics = m_status[2]->fontMetrics();
    const int margin = metrics.horizontalAdvance(QStringLiteral("MM"));
    const QString size = QStringLiteral("1023 MB");
    const QString speed = QStringLiteral("1023 KB/s");
    m_status[2]->setMinimumWidth(
        metrics.horizontalAdvance(UiTextWith(kGuiStatusDownloaded, "", {size})) + margin);
    m_status[3]->setMinimumWidth(
        metrics.horizontalAdvance(UiTextWith(kGuiStatusSpeed, "", {speed, speed})) + margin);
}

void MainWindow::ApplyPlacement() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    setGeometry(InitialWindowRect(m_settings, work));
}

void MainWindow::ApplySplitters() {
    const int handle = m_rows->handleWidth();
    const QSize client(m_cols->width() + m_urlView->width() > 0 ? m_rows->width() - handle : 0,
                       m_rows->height() - handle);
    const SplitSizes s = InitialSplitSizes(m_settings, client);
    m_rows->setSizes({s.upper, s.lower});
    if (m_listsPane->isVisibleTo(this)) m_cols->setSizes({s.left, s.right});
}

void MainWindow::ApplyWindowFlags() {
    setWindowFlag(Qt::WindowStaysOnTopHint, m_settings.WndTopmost != 0);
    const int transparency = std::clamp(m_settings.Transparency, 0, 250);
    setWindowOpacity(transparency > 0 ? (255 - transparency) / 255.0 : 1.0);
}

void MainWindow::Retranslate() {
    for (auto& [id, action] : m_actions) {
        if (const CommandDef* def = FindCommand(id)) action->setText(UiText(id, def->text));
        action->setToolTip(UiToolTip(id));
    }
    m_toolbarNewUrl->setText(m_actions.at(kCmdNewUrl)->text());
    m_toolbarNewUrl->setToolTip(m_actions.at(kCmdNewUrl)->toolTip());
    for (auto& [key, menu] : m_menus)
        menu->setTitle(UiText(key, menu->property("english").toString().toUtf8().constData()));
    m_urlModel->Retranslate();
    m_logModel->Retranslate();
    FitStatusPanes();
    m_listsPane->Retranslate();
}

// ---- layout ----

void MainWindow::TakeLayout() {
    auto take = [this](std::int32_t& key, int value) {
        if (key == value) return;
        key = value;
        m_settings.changed = true;
    };
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->availableGeometry().topLeft() : QPoint();
    const QRect r = isMinimized() || isMaximized() ? normalGeometry() : geometry();
    if (r.isValid()) {
        take(m_settings.WndLeft, r.x() - origin.x());
        take(m_settings.WndTop, r.y() - origin.y());
        take(m_settings.WndWidth, r.width());
        take(m_settings.WndHeight, r.height());
    }
    // Sizes are only known once the window was shown.
    if (m_activated) {
        take(m_settings.WndSplitRow, m_rows->sizes().value(0));
        if (m_listsPane->isVisibleTo(this)) take(m_settings.WndSplitCol, m_cols->sizes().value(0));
    }
    for (int i = 0; i < kColumnCount; ++i)
        take(m_settings.Column[static_cast<std::size_t>(i)], m_urlView->columnWidth(i));
}

// ---- events ----

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_activated) return;
    m_activated = true;
    ApplySplitters();
    NoteMissingListFile();
    m_session->Activate();
    if (m_mail) m_mail->RestartPollTimer();
    if (m_setup.autoMode) m_session->StartRequest(false);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        event->accept();
        return;
    }
    if (m_session->State() != SessionState::Idle) {
        // The session stops as AbortMode says and the window closes at its end; closing again
        // meanwhile stops it at once.
        m_closePending = true;
        m_session->OnStop(false, false);
        if (m_session->State() != SessionState::Idle) {
            event->ignore();
            return;
        }
    }
    m_closePending = false;
    // Saved before the window goes: a save that fails must leave the user a window with the
    // changes, not an error box after which the program ends without them. Shift held while
    // closing the window discards the list's changes, the way out when the list cannot be
    // written.
    const bool shift = event->spontaneous() &&
                       QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    if (m_setup.saveOnClose && !m_setup.saveOnClose(shift)) {
        m_prompter.Inform(UiText(kGuiCloseKeptOpen, "").toStdString());
        event->ignore();
        return;
    }
    m_closed = true;
    if (m_tray) m_tray->HideIcon();
    event->accept();
    emit closed();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A hidden window's state changes come from the platform hiding it, not from the user.
    if (event->type() != QEvent::WindowStateChange || !isVisible()) return;
    if (isMinimized()) {
        emit minimised();
        // Without a tray to show the icon the window stays on the task bar, or it would be
        // lost.
        if (m_settings.MinToTray && m_tray && !m_inTray && m_tray->ShowIcon(m_title)) {
            m_inTray = true;
            QTimer::singleShot(0, this, [this] {
                if (m_inTray) hide();
            });
        }
    } else if (m_inTray) {
        m_inTray = false;
        m_tray->HideIcon();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (HandleDrag(watched, event)) return true;
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (HandleKey(watched, key->key(), key->modifiers())) return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::HandleKey(QObject* watched, int key, Qt::KeyboardModifiers mods) {
    if (watched == m_listsPane) m_pane = Pane::Lists;
    if (watched == m_urlView) m_pane = Pane::Urls;
    if (watched == m_logView) m_pane = Pane::Log;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const bool alt = mods & Qt::AltModifier;
    int command = 0;
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            command = ctrl || alt ? 0 : kCmdEditUrl;
            break;
        case Qt::Key_Delete:
            command = shift ? kCmdCut : kCmdDelete;
            break;
        case Qt::Key_F5:
            command = kCmdStartDownload;
            break;
        case Qt::Key_Escape:
            command = kCmdStop;
            break;
        case Qt::Key_F6:
            command = shift ? kCmdPreviousPane : kCmdNextPane;
            break;
        case Qt::Key_F1:
            command = kCmdHelp;
            break;
        case Qt::Key_Insert:
            command = alt ? static_cast<int>(kCmdNewUrl) : ctrl ? kCmdCopy : shift ? kCmdPaste : 0;
            break;
        case Qt::Key_Backspace:
            command = alt ? kCmdUndo : 0;
            break;
        case Qt::Key_P:
            command = alt ? kCmdToggleListsPane : 0;
            break;
        case Qt::Key_N:
            // A new item goes to the URL list whatever pane has the focus.
            if (alt) return false;
            RunHandler(kCmdNewUrl);
            return true;
        default:
            if (ctrl && !alt) {
                static const std::map<int, int> ctrlKeys = {{Qt::Key_S, kCmdSaveList},
                                                            {Qt::Key_Q, kCmdSchedulerQueue},
                                                            {Qt::Key_Y, kCmdSchedulerQueue},
                                                            {Qt::Key_L, kCmdToggleListsPane},
                                                            {Qt::Key_I, kCmdTakeEmailItems},
                                                            {Qt::Key_M, kCmdCheckMail},
                                                            {Qt::Key_H, kCmdReleaseLine},
                                                            {Qt::Key_D, kCmdDialUp},
                                                            {Qt::Key_B, kCmdPasteQuery},
                                                            {Qt::Key_C, kCmdCopy},
                                                            {Qt::Key_V, kCmdPaste},
                                                            {Qt::Key_X, kCmdCut},
                                                            {Qt::Key_Z, kCmdUndo}};
                const auto it = ctrlKeys.find(key);
                if (it != ctrlKeys.end()) command = it->second;
            }
    }
    if (command == 0) return false;
    Execute(command, mods);
    return true;
}

void MainWindow::PopupMenu(Pane pane, const QPoint& global) {
    static const std::map<Pane, std::vector<int>> entries = {
        {Pane::Urls,
         {kCmdEditUrl, kCmdMoveUp, kCmdMoveDown, kCmdDelete, kCmdDownloadSelected,
          kCmdCancelSelected, kCmdOpenUrl, kCmdUrlInfo}},
        {Pane::Lists,
         {kCmdToggleListsPane, kCmdDeleteList, kCmdAddListDefinition, kCmdListProperties}},
        {Pane::Log, {kCmdLogClear, kCmdLogSave}},
    };
    m_pane = pane;
    UpdateCommands();
    delete m_popup;
    m_popup = new QMenu(this);
    for (const int id : entries.at(pane))
        m_popup->addAction(m_actions.at(id));
    m_popup->popup(global);
}

// ---- session ----

void MainWindow::NoteMissingListFile() {
    // An empty list from a mistyped file name would otherwise look like a list emptied.
    const std::string path = m_document.ListFilePath(m_document.CurrentIndex());
    if (path.empty() || FileExists(path)) return;
    QString note = UiText(kGuiListFileMissing, "");
    note.replace(QStringLiteral("%s"), QString::fromStdString(path));
    m_log->AddLine(note.toStdString(), 0, kLogInfo);
}

void MainWindow::SetTitle(const std::string& title) {
    m_title = QString::fromStdString(title);
    // A session retitles the window at every job event; the desktop hears of it at most ten
    // times a second, and the newest title always follows when the pause is over.
    if (m_titlePause.isActive()) return;
    ShowTitle();
    m_titlePause.start();
}

void MainWindow::ShowTitle() {
    if (windowTitle() == m_title) return;
    setWindowTitle(m_title);
    if (m_tray) m_tray->SetTip(m_title);
    emit titleChanged(m_title);
}

void MainWindow::UpdateTrayState() {
    if (!m_tray) return;
    const bool polling = m_mail && m_mail->Server().State() != MailServer::PollState::Idle;
    m_tray->SetState(m_sessionRunning              ? TrayHook::State::Downloading
                     : polling                     ? TrayHook::State::MailCheck
                     : m_settings.schedule.Enabled ? TrayHook::State::Scheduler
                                                   : TrayHook::State::Idle);
}

void MainWindow::SessionRunning(bool running) {
    // The current list cannot change under a session.
    m_listsPane->SetLocked(running);
    // Told before the session's own state changes.
    m_sessionRunning = running;
    UpdateTrayState();
    if (running) {
        m_tally->Start(m_session->ErrorResults());
    } else {
        m_tally->Stop(m_session->ErrorResults());
        if (m_tray && m_tally->Files() + m_tally->Errors() > 0)
            m_tray->NotifySessionEnd(m_tally->Files(), m_tally->Errors());
    }
    if (!running) {
        for (const int pane : {2, 3, 4})
            m_status[static_cast<std::size_t>(pane)]->clear();
        // A list switch deferred by the session happens right after this.
        QTimer::singleShot(0, this, [this] {
            m_listsPane->Reload();
            UpdateCommands();
        });
        if (m_closePending && !m_closed) QTimer::singleShot(0, this, &QWidget::close);
    }
    UpdateCommands();
}

void MainWindow::Tick() {
    const SessionState state = m_session->State();
    if (state == SessionState::Downloading || state == SessionState::Stopping) {
        const SessionStats& stats = m_session->Stats();
        const auto bytes = static_cast<std::uint64_t>(std::max(0.0, stats.sessionBytes));
        m_status[2]->setText(UiTextWith(kGuiStatusDownloaded, "", {Q(SizeWithUnit(bytes))}));
        m_status[3]->setText(
            UiTextWith(kGuiStatusSpeed, "",
                       {Q(SpeedWithUnit(static_cast<double>(stats.currentSpeed))),
                        Q(SpeedWithUnit(static_cast<double>(stats.averageSpeed)))}));
    }
    m_status[0]->setText(QString::fromStdString(m_session->DialUp().Status()));
    // A poll started by its timer shows in the tray while no session runs.
    UpdateTrayState();
    // Cheap facts only: the selection-dependent ones change with the selection's signal.
    const bool modified = m_document.Rows().Modified();
    const bool logEmpty = m_log->Count() == 0;
    if (m_actions.at(kCmdSaveList)->isEnabled() != modified ||
        m_actions.at(kCmdLogClear)->isEnabled() == logEmpty ||
        m_actions.at(kCmdStop)->isEnabled() != (state != SessionState::Idle)) {
        UpdateCommands();
    }
}

void MainWindow::SettingsApplied() {
    if (m_settings.SpeedLimited) {
        m_session->SpeedLimitOn();
    } else {
        m_session->SpeedLimitOff();
    }
    m_session->SetMaxThreads(m_settings.MaxThreads);
    m_session->DialUp().Configure(false);
    m_session->Schedule().BuildTodayQueue();
    const bool wasVisible = isVisible();
    ApplyWindowFlags();
    // Changing the window flags hides a shown window.
    if (wasVisible && !isVisible()) show();
    if (m_listsPane->isVisibleTo(this) != (m_settings.ShowPaneLists != 0)) {
        const bool changed = m_settings.changed;
        ToggleListsPane();
        m_settings.changed = changed;
    }
    // Server mode may have been switched on or off, or its interval changed.
    if (m_mail) m_mail->RestartPollTimer();
    UpdateTrayState();
    UpdateCommands();
    emit settingsApplied();
}

}  // namespace kov
