#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/settings/app_settings.h"
#include "core/settings/user_store.h"
#include "model/list_document.h"

namespace kov {

class Prompter;
class ProfileStore;
struct PageRules;

// The files and folders fixed at start-up.
struct AppPaths {
    std::string programFolder;  // with a trailing '/': the {APPFOLDER} macro
    std::string programDrive;   // mount point of the program folder: the {APPDRIVE} macro
    std::string settingsFile;
    std::string bannerFile;
    std::string siteRuleFile;
    std::string userStore;  // recent paths and the traffic counter
};

// What the process brings to start-up.
struct StartupInput {
    std::vector<std::string> args;  // the program's arguments without the program name
    bool ctrlHeld = false;          // a held Ctrl key makes the command line ignored
    std::string executablePath;     // "" = the running executable
    // Language "0" follows the user's locale; a console tool keeps English unless a language
    // is named.
    bool detectLanguage = true;
};

// The program from start-up to shut-down, shared by both front ends. Each step of the start-up
// and shut-down order is a method of its own; steps whose features come later do nothing yet.
class Application {
public:
    explicit Application(Prompter& prompter);
    virtual ~Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the start-up order. False when the program must end at once: sockets failed, or the
    // settings file or the per-user store exists but cannot be read (a message says which file
    // and why; nothing is saved over it). A current list that cannot be read is reported by the
    // document (Document().LastError()).
    [[nodiscard]] bool Startup(const StartupInput& input);
    // Runs the shut-down order. shiftHeld discards the changes of the current list. False when
    // any save failed; each failure was reported with its file and cause, and every later step
    // still ran.
    [[nodiscard]] bool Shutdown(bool shiftHeld);

    AppSettings& Settings() { return m_settings; }
    const AppSettings& Settings() const { return m_settings; }
    const AppPaths& Paths() const { return m_paths; }
    const CommandLine& Options() const { return m_commandLine; }
    RecentPaths& Recent() { return m_recent; }
    std::uint32_t VolumeSerialNumber() const { return m_volumeSerial; }
    std::uint64_t& LimitCounter() { return m_limitCounter; }
    // Takes the global traffic meter's count as the traffic counter: what runs the sessions
    // does this before the counter is written (TrafficCountScope does it for a front end).
    void TakeTrafficCount();
    // The log file every front end writes: Kov.log beside the settings file.
    std::string LogFile() const;
    // Writes the traffic counter to the per-user store (when LimitTrace is on); a session's end
    // does this too, not only the shut-down. False (reported) when the store was not written.
    virtual bool WriteLimitCounter();
    // Sets the traffic counter back to 0, in the meter and in the per-user store (whether or
    // not LimitTrace is on, so that an old count does not come back). False (reported) when
    // the store was not written.
    bool ResetLimitCounter();
    // Reads the settings file again, as accepting the preferences would set them, and reopens
    // the current list; a modified list is saved first. Only between sessions. The file must
    // pass the checks of the start: a file that is missing, is not a settings file or cannot
    // be read keeps the settings in use, and why tells why (a list that was not saved has been
    // reported). A missing file is written anew with the settings in use at the end; a file
    // that is not a settings file is never written over.
    [[nodiscard]] bool ReloadSettings(std::string& why);
    // The list catalogue and the current list; exists after Startup.
    ListDocument& Document() { return *m_document; }
    // Where language files are looked for: the program folder's Lang/, then the installed one.
    std::vector<std::string> LanguageFolders() const;
    // Banner rules, banned words and site rules; loaded by Startup (empty before).
    const std::shared_ptr<PageRules>& Rules() const { return m_pageRules; }

protected:
    // Start-up, in order.
    virtual bool InitSockets();
    virtual void TakeVolumeSerial();
    virtual void BuildPaths(const std::string& executablePath);
    virtual void ReadCommandLine(const StartupInput& input);
    virtual bool LoadAppSettings();
    virtual void LoadBannerAndSiteRules();
    virtual void LoadLanguage();
    virtual void CreateMainWindow();
    virtual void ReadRecentPaths();

    // Shut-down, in order; the saving steps give false when their file was not written.
    virtual bool WriteRecentPaths();
    virtual bool SaveCurrentList(bool shiftHeld);
    // Takes the window's position, splitter and column sizes into the settings and sets the
    // changed flag on any difference. Only a front end with a window has this step.
    virtual void TakeWindowLayout();
    virtual bool SaveSettingsIfChanged();
    virtual bool SaveSiteRules();
    virtual bool WriteColumnWidthsStep();

    // Flushes store; on failure tells the user which file and why. False on failure.
    bool FlushOrReport(ProfileStore& store);
    // FlushOrReport, unless the store's text is still before (its text when opened from the
    // file), so that the file is not written again as it is.
    bool FlushUnlessSame(ProfileStore& store, const std::string& before);
    // Something else put under the settings file's name while the program ran is never
    // written over; false (told once) when the file is such a thing.
    bool SettingsFileWritable();

    Prompter& m_prompter;
    AppPaths m_paths;
    CommandLine m_commandLine;
    AppSettings m_settings;
    RecentPaths m_recent;
    std::uint32_t m_volumeSerial = 0xF0F;
    std::uint64_t m_limitCounter = 0;
    bool m_detectLanguage = true;
    bool m_settingsFileRefused = false;
    std::unique_ptr<ListDocument> m_document;
    std::shared_ptr<PageRules> m_pageRules;
};

}  // namespace kov
