#include "ui/gui_application.h"

#include "net/traffic_meter.h"
#include "platform/file_util.h"
#include "session/session_setup.h"
#include "ui/distributed_dialog.h"
#include "ui/item_editor_commands.h"
#include "ui/main_window.h"
#include "ui/preferences_commands.h"
#include "ui/probe_dialog_commands.h"
#include "ui/qt_prompter.h"
#include "ui/send_query_dialog.h"
#include "ui/shutdown_countdown_dialog.h"
#include "ui/url_test_dialog.h"

namespace kov {

GuiApplication::GuiApplication(QtPrompter& prompter) : Application(prompter) {}

GuiApplication::~GuiApplication() = default;

void GuiApplication::CreateMainWindow() {
    Application::CreateMainWindow();
    MainWindowSetup setup;
    setup.settings = &m_settings;
    setup.document = m_document.get();
    setup.prompter = &m_prompter;
    setup.logFile = FolderOf(m_paths.settingsFile) + "Kov.log";
    setup.jobEnvironment = StandardJobEnvironment(*this);
    // The window closes the program at a session's end itself.
    setup.hooks = StandardSessionHooks(*this, {});
    setup.hooks.confirmEndAction = ConfirmEndWithCountdown;
    setup.autoMode = m_commandLine.autoMode;
    setup.shutdownAfter = m_commandLine.shutdownAfter;
    setup.helpFile = m_paths.helpFile;
    setup.programFolder = m_paths.programFolder;
    setup.saveOnClose = [this](bool shiftHeld) {
        m_limitCounter = GlobalTrafficMeter().TrafficCount();
        return Shutdown(shiftHeld);
    };
    m_window = std::make_unique<MainWindow>(std::move(setup));
    ItemEditorHooks editorHooks;
    ListDocument* document = m_document.get();
    AppSettings* settings = &m_settings;
    editorHooks.testUrl = [document, settings](QWidget* parent, const UrlItem& item) {
        ShowUrlTest(parent, item, *settings, document->Macros());
    };
    editorHooks.distributed = [this, document, settings](QWidget* parent, UrlItem& item) {
        return ShowDistributed(parent, item, *settings, document->Macros(), m_prompter);
    };
    editorHooks.sendQuery = [settings](QWidget* parent, UrlItem& item) {
        return SendItemQuery(parent, item, *settings);
    };
    InstallItemEditor(
        {m_window.get(), m_document.get(), &m_settings, &m_recent, std::move(editorHooks), {}});
    RegisterPreferencesCommands(*m_window, *this);
    ConnectProbeDialogCommands(*m_window, m_settings, *m_document);
}

void GuiApplication::TakeWindowLayout() {
    if (m_window) m_window->TakeLayout();
}

bool GuiApplication::SaveNow() {
    return Shutdown(false);
}

}  // namespace kov
