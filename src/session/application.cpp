#include "session/application.h"

#include <csignal>

#include "core/message_table.h"
#include "core/profile_store.h"
#include "core/prompter.h"
#include "net/inet.h"
#include "platform/file_util.h"
#include "platform/program_paths.h"

namespace kov {

Application::Application(Prompter& prompter) : m_prompter(prompter) {}

bool Application::Startup(const StartupInput& input) {
    if (!InitSockets()) {
        m_prompter.Inform("Windows sockets initialization failed.");
        return false;
    }
    // The serial belongs to the file system of the program folder, so the paths come first.
    BuildPaths(input.executablePath.empty() ? ExecutablePath() : input.executablePath);
    TakeVolumeSerial();
    ReadCommandLine(input);
    LoadAppSettings();
    LoadBannerAndSiteRules();
    LoadLanguage();
    CreateMainWindow();
    ReadRecentPaths();
    return true;
}

void Application::Shutdown(bool shiftHeld) {
    WriteRecentPaths();
    SaveCurrentList(shiftHeld);
    TakeWindowLayout();
    SaveSettingsIfChanged();
    WriteLimitCounter();
    SaveSiteRules();
    WriteColumnWidthsStep();
}

bool Application::InitSockets() {
    // A peer that closes a connection must give an error on the socket, not end the process.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) return false;
    return InternetGlobalInit();
}

void Application::TakeVolumeSerial() {
    m_volumeSerial = VolumeSerial(m_paths.programFolder);
}

void Application::BuildPaths(const std::string& executablePath) {
    m_paths.programFolder = ResolveProgramFolder(executablePath);
    m_paths.programDrive = MountPoint(m_paths.programFolder);
    m_paths.settingsFile = m_paths.programFolder + "kov.ini";
    m_paths.bannerFile = m_paths.programFolder + "banners.ini";
    m_paths.siteRuleFile = m_paths.programFolder + "SiteRipper.ini";
    m_paths.helpFile = m_paths.programFolder + "Help/Kov.chm";
    m_paths.userStore = UserStorePath();
}

void Application::ReadCommandLine(const StartupInput& input) {
    m_commandLine = ParseCommandLine(input.args, input.ctrlHeld);
    if (!m_commandLine.settingsFile.empty()) m_paths.settingsFile = m_commandLine.settingsFile;
    if (!m_commandLine.bannerFile.empty()) m_paths.bannerFile = m_commandLine.bannerFile;
    if (!m_commandLine.siteRuleFile.empty()) m_paths.siteRuleFile = m_commandLine.siteRuleFile;
}

void Application::LoadAppSettings() {
    ProfileStore store(&m_prompter);
    store.Open(m_paths.settingsFile);
    LoadSettings(store, m_settings, m_paths.programFolder);
    if (m_commandLine.listNumber > 0) m_settings.CurLstNum = m_commandLine.listNumber - 1;

    ProfileStore user(&m_prompter);
    user.Open(m_paths.userStore);
    m_limitCounter = LoadLimitCounter(user);
}

void Application::LoadBannerAndSiteRules() {
    // The banner and site-rule files are read here once the content rules exist.
}

void Application::LoadLanguage() {
    // The language file is read here once localisation exists; until then the built-in
    // English texts are used.
}

void Application::CreateMainWindow() {
    DocumentEnvironment env;
    env.programFolder = m_paths.programFolder;
    env.programDrive = m_paths.programDrive;
    env.volumeSerial = m_volumeSerial;
    env.recent = &m_recent;
    m_document = std::make_unique<ListDocument>(m_settings, env, m_prompter);
    m_document->LoadCatalogue();
}

void Application::ReadRecentPaths() {
    ProfileStore user(&m_prompter);
    user.Open(m_paths.userStore);
    m_recent.Load(user);
}

void Application::WriteRecentPaths() {
    // Nothing to write when no path was used: a run must not create the per-user store
    // for nothing.
    if (!m_recent.Changed()) return;
    CreateFolders(FolderOf(m_paths.userStore), 0700);
    ProfileStore user(&m_prompter);
    user.Open(m_paths.userStore);
    m_recent.Save(user);
    if (!user.Flush()) m_prompter.Inform(GetString(EventCode::ErrorSavingIni));
}

void Application::SaveCurrentList(bool shiftHeld) {
    if (m_document && m_document->Rows().Modified()) {
        m_document->SaveList(false, shiftHeld);
        m_document->Rows().SetModified(false);
    }
}

void Application::TakeWindowLayout() {}

void Application::SaveSettingsIfChanged() {
    if (!m_settings.changed) return;
    ProfileStore store(&m_prompter);
    store.Open(m_paths.settingsFile);
    SaveSettings(store, m_settings);
    if (store.Flush()) {
        m_settings.changed = false;
    } else {
        m_prompter.Inform(GetString(EventCode::ErrorSavingIni) + " " + m_paths.settingsFile);
    }
}

void Application::WriteLimitCounter() {
    if (!m_settings.LimitTrace) return;
    CreateFolders(FolderOf(m_paths.userStore), 0700);
    ProfileStore user(&m_prompter);
    user.Open(m_paths.userStore);
    SaveLimitCounter(user, m_limitCounter);
    if (!user.Flush()) m_prompter.Inform(GetString(EventCode::ErrorSavingIni));
}

void Application::SaveSiteRules() {
    // The site rules are saved here, when changed, once the content rules exist.
}

void Application::WriteColumnWidthsStep() {
    // The widths are written at every close, so the file is rewritten even when nothing else
    // changed.
    ProfileStore store(&m_prompter);
    store.Open(m_paths.settingsFile);
    WriteColumnWidths(store, m_settings);
    if (!store.Flush()) {
        m_prompter.Inform(GetString(EventCode::ErrorSavingIni) + " " + m_paths.settingsFile);
    }
}

}  // namespace kov
