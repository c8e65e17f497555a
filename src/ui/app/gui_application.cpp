#include "ui/app/gui_application.h"

#include "platform/program_paths.h"
#include "session/event_log.h"
#include "session/session_controller.h"
#include "session/session_setup.h"
#include "session/session_state.h"
#include "ui/app/qt_main_loop.h"
#include "ui/app/qt_prompter.h"
#include "ui/app/user_guide.h"
#include "ui/dialogs/distributed_dialog.h"
#include "ui/dialogs/send_query_dialog.h"
#include "ui/dialogs/shutdown_countdown_dialog.h"
#include "ui/dialogs/url_test_commands.h"
#include "ui/dialogs/url_test_dialog.h"
#include "ui/item_editor/item_editor_commands.h"
#include "ui/preferences/preferences_commands.h"
#include "ui/window/main_window.h"
#include "web_control/remote_control.h"

namespace kov {

GuiApplication::GuiApplication(QtPrompter& prompter) : Application(prompter) {}

GuiApplication::~GuiApplication() {
    m_remote.reset();
    if (m_remoteLoop) m_remoteLoop->Shutdown();
}

void GuiApplication::CreateMainWindow() {
    Application::CreateMainWindow();
    MainWindowSetup setup;
    setup.settings = &m_settings;
    setup.document = m_document.get();
    setup.prompter = &m_prompter;
    setup.logFile = LogFile();
    setup.jobEnvironment = StandardJobEnvironment(*this);
    // The window closes the program at a session's end itself.
    setup.hooks = StandardSessionHooks(*this, {});
    setup.hooks.confirmEndAction = ConfirmEndWithCountdown;
    setup.autoMode = m_commandLine.autoMode;
    setup.shutdownAfter = m_commandLine.shutdownAfter;
    setup.userGuide = UserGuideCandidates(ExecutablePath());
    setup.programFolder = m_paths.programFolder;
    setup.saveOnClose = [this](bool shiftHeld) {
        if (m_remote) m_remote->Stop();
        TakeTrafficCount();
        return Shutdown(shiftHeld);
    };
    m_window = std::make_unique<MainWindow>(std::move(setup));
    ItemEditorHooks editorHooks;
    ListDocument* document = m_document.get();
    AppSettings* settings = &m_settings;
    editorHooks.testUrl = [document, settings](QWidget* parent, const UrlItem& item) {
        ShowUrlTest(parent, item, *settings, document->Macros());
    };
    // Queries go out on the dial-up line, and what was sent is logged.
    SessionController* session = &m_window->Session();
    QueryLine line;
    line.request = [session](std::function<void(bool)> ready) {
        session->DialUp().RequestLine(kRequesterQuery, std::move(ready));
    };
    line.release = [session] { session->DialUp().ReleaseLine(kRequesterQuery); };
    line.cancel = [session] { session->DialUp().CancelRequest(kRequesterQuery); };
    line.log = [session](const std::string& text, bool error) {
        session->PostLogLine(text, error ? kLogError : kLogMail);
    };
    editorHooks.distributed = [this, document, settings, line](QWidget* parent, UrlItem& item) {
        return ShowDistributed(parent, item, *settings, document->Macros(), m_prompter, line);
    };
    editorHooks.sendQuery = [settings, line](QWidget* parent, UrlItem& item) {
        return SendItemQuery(parent, item, *settings, line);
    };
    InstallItemEditor(
        {m_window.get(), m_document.get(), &m_settings, &m_recent, std::move(editorHooks), {}});
    RegisterPreferencesCommands(*m_window, *this);
    ConnectUrlTestCommands(*m_window, m_settings, *m_document);
    StartRemoteControl();
}

void GuiApplication::StartRemoteControl() {
    m_remoteLoop = std::make_unique<QtMainLoop>();
    m_remote = std::make_unique<RemoteControl>(
        RemoteTargets{m_settings, *m_document, m_window->Session(), m_window->Log(), *m_remoteLoop},
        FindDataPath(m_paths.programFolder, "web/"));
    m_remote->Start();
    QObject::connect(m_window.get(), &MainWindow::settingsApplied, m_remoteLoop.get(),
                     [remote = m_remote.get()] { remote->SettingsChanged(); });
}

void GuiApplication::TakeWindowLayout() {
    if (m_window) m_window->TakeLayout();
}

bool GuiApplication::SaveNow() {
    return Shutdown(false);
}

}  // namespace kov
