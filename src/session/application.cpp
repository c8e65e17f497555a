#include "session/application.h"

#include <csignal>

#include "content/rules/page_rules.h"
#include "core/language/localiser.h"
#include "core/language/message_table.h"
#include "core/prompter.h"
#include "core/settings/profile_store.h"
#include "core/settings/settings_file_check.h"
#include "net/http/inet.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "platform/program_paths.h"

namespace kov {

Application::Application(Prompter& prompter)
    : m_prompter(prompter), m_pageRules(std::make_shared<PageRules>()) {}

bool Application::Startup(const StartupInput& input) {
    if (!InitSockets()) {
        m_prompter.Inform("Windows sockets initialization failed.");
        return false;
    }
    // The serial belongs to the file system of the program folder, so the paths come first.
    BuildPaths(input.executablePath.empty() ? ExecutablePath() : input.executablePath);
    TakeVolumeSerial();
    ReadCommandLine(input);
    if (!LoadAppSettings()) return false;
    LoadBannerAndSiteRules();
    m_detectLanguage = input.detectLanguage;
    LoadLanguage();
    CreateMainWindow();
    ReadRecentPaths();
    return true;
}

bool Application::Shutdown(bool shiftHeld) {
    // Every step runs even after a failure: one file that cannot be written must not cost
    // the others their changes.
    bool ok = WriteRecentPaths();
    ok = SaveCurrentList(shiftHeld) && ok;
    TakeWindowLayout();
    ok = SaveSettingsIfChanged() && ok;
    ok = WriteLimitCounter() && ok;
    ok = SaveSiteRules() && ok;
    ok = WriteColumnWidthsStep() && ok;
    return ok;
}

bool Application::FlushOrReport(ProfileStore& store) {
    if (store.Flush()) return true;
    m_prompter.Inform(GetString(EventCode::ErrorSavingIni) + " " + store.Error());
    return false;
}

bool Application::FlushUnlessSame(ProfileStore& store, const std::string& before) {
    // A file that already holds every value as it is stays untouched: its write and the syncs
    // that make it safe are the larger part of a short run's shut-down.
    if (!before.empty() && store.Error().empty() && store.Serialize() == before) {
        store.LoadText("");  // nor from the destructor
        return true;
    }
    return FlushOrReport(store);
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
    m_paths.userStore = UserStorePath();
}

void Application::ReadCommandLine(const StartupInput& input) {
    m_commandLine = ParseCommandLine(input.args, input.ctrlHeld);
    if (!m_commandLine.settingsFile.empty()) m_paths.settingsFile = m_commandLine.settingsFile;
    if (!m_commandLine.bannerFile.empty()) m_paths.bannerFile = m_commandLine.bannerFile;
    if (!m_commandLine.siteRuleFile.empty()) m_paths.siteRuleFile = m_commandLine.siteRuleFile;
}

bool Application::LoadAppSettings() {
    // Defaults in place of a file that exists but cannot be read would be saved over it at
    // the end, so such a file stops the start.
    ProfileStore store(&m_prompter);
    if (!store.Open(m_paths.settingsFile)) {
        m_prompter.Inform("Cannot read the settings: " + store.Error());
        return false;
    }
    LoadSettings(store, m_settings, m_paths.programFolder);
    if (m_commandLine.listNumber > 0) m_settings.CurLstNum = m_commandLine.listNumber - 1;

    ProfileStore user(&m_prompter);
    if (!user.Open(m_paths.userStore)) {
        m_prompter.Inform("Cannot read the settings: " + user.Error());
        return false;
    }
    m_limitCounter = LoadLimitCounter(user);
    return true;
}

bool Application::ReloadSettings(std::string& why) {
    // A deleted or garbled file would otherwise give the defaults: the schedule and the mail
    // passphrase gone, and the defaults written back at the end.
    const bool missing = !FileExists(m_paths.settingsFile);
    why = missing ? m_paths.settingsFile + ": No such file or directory"
                  : SettingsFileProblem(m_paths.settingsFile, false);
    if (!why.empty()) {
        // A deleted file is written anew at the end, with the settings in use.
        if (missing) m_settings.changed = true;
        return false;
    }
    if (!SaveCurrentList(false)) {
        why = "the current list was not saved";
        return false;
    }
    ProfileStore store(&m_prompter);
    if (!store.Open(m_paths.settingsFile)) {
        why = store.Error();
        return false;
    }
    // Loaded into a fresh object, so that nothing of the old settings lingers; the document and
    // the session refer to m_settings itself and see the new values.
    AppSettings fresh;
    LoadSettings(store, fresh, m_paths.programFolder);
    m_settings = std::move(fresh);
    m_document->LoadCatalogue();
    return true;
}

void Application::LoadBannerAndSiteRules() {
    // A rule file that cannot be read costs its rules, not the start; it is never saved over.
    std::string error;
    if (!LoadPageRules(m_paths.bannerFile, m_paths.siteRuleFile, *m_pageRules, error)) {
        m_prompter.Inform("Cannot read the rules: " + error);
    }
}

std::vector<std::string> Application::LanguageFolders() const {
    return {m_paths.programFolder + "Lang/", FindDataPath("", "Lang/")};
}

void Application::LoadLanguage() {
    Localiser& texts = Texts();
    const std::string& setting = m_settings.Language;
    if (setting == "0" && !m_detectLanguage) {
        texts.Reset();
    } else if (!texts.LoadLanguage(setting, LanguageFolders())) {
        m_prompter.Inform("Cannot read the language file " + texts.FilePath());
    }
    // Log lines and prompts take their texts from the loaded file from now on.
    texts.PublishMessages();
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
    // Readability was checked with the traffic counter.
    ProfileStore user(&m_prompter);
    if (user.Open(m_paths.userStore)) m_recent.Load(user);
}

bool Application::WriteRecentPaths() {
    // Nothing to write when no path was used: a run must not create the per-user store
    // for nothing.
    if (!m_recent.Changed()) return true;
    CreateFolders(FolderOf(m_paths.userStore), 0700);
    ProfileStore user(&m_prompter);
    // A store that could not be opened refuses the writes and the flush, and says why.
    if (user.Open(m_paths.userStore) && !m_recent.Save(user)) return false;
    return FlushOrReport(user);
}

bool Application::SaveCurrentList(bool shiftHeld) {
    // SaveList reports a failure itself and keeps the list marked as modified.
    return !m_document || !m_document->Rows().Modified() ||
           m_document->SaveList(false, shiftHeld) == 0;
}

void Application::TakeWindowLayout() {}

bool Application::SettingsFileWritable() {
    const std::string problem = SettingsFileProblem(m_paths.settingsFile, true);
    if (problem.empty()) return true;
    if (!m_settingsFileRefused)
        m_prompter.Inform(GetString(EventCode::ErrorSavingIni) + " " + problem +
                          "; it was not written over");
    m_settingsFileRefused = true;
    return false;
}

bool Application::SaveSettingsIfChanged() {
    if (!m_settings.changed) return true;
    if (!SettingsFileWritable()) return false;
    ProfileStore store(&m_prompter);
    const bool opened = store.Open(m_paths.settingsFile);
    const std::string before = opened ? store.Serialize() : std::string();
    if (opened && !SaveSettings(store, m_settings)) return false;
    if (!FlushUnlessSame(store, before)) return false;
    m_settings.changed = false;
    return true;
}

void Application::TakeTrafficCount() {
    m_limitCounter = GlobalTrafficMeter().TrafficCount();
}

std::string Application::LogFile() const {
    return FolderOf(m_paths.settingsFile) + "Kov.log";
}

bool Application::WriteLimitCounter() {
    if (!m_settings.LimitTrace) return true;
    CreateFolders(FolderOf(m_paths.userStore), 0700);
    ProfileStore user(&m_prompter);
    if (user.Open(m_paths.userStore) && !SaveLimitCounter(user, m_limitCounter)) return false;
    return FlushOrReport(user);
}

bool Application::ResetLimitCounter() {
    m_limitCounter = 0;
    GlobalTrafficMeter().SetTrafficCount(0);
    CreateFolders(FolderOf(m_paths.userStore), 0700);
    ProfileStore user(&m_prompter);
    if (user.Open(m_paths.userStore) && !SaveLimitCounter(user, 0)) return false;
    return FlushOrReport(user);
}

bool Application::SaveSiteRules() {
    bool ok = true;
    std::string error;
    if (m_pageRules->sitesModified && !SaveSiteFile(m_paths.siteRuleFile, *m_pageRules, error)) {
        m_prompter.Inform(GetString(EventCode::ErrorSavingIni) + " " + error);
        ok = false;
    }
    if (m_pageRules->banner.modified &&
        !SaveBannerFile(m_paths.bannerFile, m_pageRules->banner, error)) {
        m_prompter.Inform(GetString(EventCode::ErrorSavingIni) + " " + error);
        ok = false;
    }
    return ok;
}

bool Application::WriteColumnWidthsStep() {
    // The widths are written at every close, even when nothing else changed; the file only
    // when they differ from what it holds. Not over something else: only the widths would be
    // lost, and the step before has said so when more was.
    if (!SettingsFileWritable()) return true;
    ProfileStore store(&m_prompter);
    const bool opened = store.Open(m_paths.settingsFile);
    const std::string before = opened ? store.Serialize() : std::string();
    if (opened && !WriteColumnWidths(store, m_settings)) return false;
    return FlushUnlessSame(store, before);
}

}  // namespace kov
