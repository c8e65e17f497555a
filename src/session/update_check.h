#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "core/settings/app_settings.h"

namespace kov {

class EventLog;
class ListDocument;
class MainLoop;
class Prompter;

// This program's entry of a program-information file.
struct ProgramInfo {
    static constexpr std::size_t kVersionCapacity = 15;
    static constexpr std::size_t kUrlCapacity = 253;
    std::string section = "KOV";
    std::string Version;
    std::uint32_t Build = 0;
    std::string URL;
};

// FetchProgramInfo results.
enum ProgramInfoResult : int { kInfoOk = 0, kInfoDownloadFailed = 2, kInfoUnusable = 3 };

// The file comes from a server, so it is read strictly: at most kMaxInfoSize bytes of text, each
// line blank, a comment (";" or "#"), "[section]" or "key=value". In the KOV section "Build" is
// a plain decimal number that fits 32 bits, "Version" short text, and "URL" an http, https or
// ftp address (https only when httpsOnly) that names a plain file, with no blanks, macros or
// "..". kInfoOk, or kInfoUnusable with why set.
inline constexpr std::size_t kMaxInfoSize = 64 * 1024;
int ParseProgramInfo(std::string_view text, bool httpsOnly, ProgramInfo& info, std::string& why);

// Fetches the file from settings.UpdateUrl (through the configured proxy, at most kMaxInfoSize
// bytes, watching stop) and parses it; a fetch that takes longer than limit, headers included,
// fails. Any thread.
inline constexpr std::chrono::milliseconds kInfoFetchLimit{60000};
int FetchProgramInfo(const AppSettings& settings, ProgramInfo& info, std::string& why,
                     const std::atomic<int>* stop = nullptr,
                     std::chrono::milliseconds limit = kInfoFetchLimit);

// The build number of this program: the fourth number of its version.
std::uint32_t OwnBuild();

enum class UpdateOutcome { NotConfigured, Failed, NotNeeded, Ready };

struct UpdateResult {
    UpdateOutcome outcome = UpdateOutcome::Failed;
    std::string message;
};

// Looks for a newer build of the program and puts its installer into the current list as a
// once-only item. Main thread; the fetch itself runs on a thread of its own except in
// CheckNow.
class UpdateCheck {
public:
    struct Environment {
        std::string programFolder;             // with a trailing '/'
        std::function<bool()> sessionRunning;  // empty: none
        std::function<bool()> lineUp;          // the dial-up line; empty: always up
        std::function<std::time_t()> now;      // empty: the system clock
    };

    UpdateCheck(AppSettings& settings, ListDocument& document, EventLog& log, Prompter& prompter,
                MainLoop& loop, Environment environment);
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // The whole check at once, for the command line; the result is not shown.
    UpdateResult CheckNow();
    // "Check for update" (interactive) and the automatic check: fetches in the background and
    // shows the result in a message box when interactive or an update was found, else logs it.
    void CheckForUpdate(bool interactive);
    // The monitor tick: once per program run, when ChkUpdInterval days have passed since the
    // last successful check.
    void MonitorTick();
    bool Running() const { return m_running; }

private:
    UpdateResult Apply(int result, const ProgramInfo& info, const std::string& why);
    void Show(const UpdateResult& result, bool interactive);
    std::time_t Now() const;

    AppSettings& m_settings;
    ListDocument& m_document;
    EventLog& m_log;
    Prompter& m_prompter;
    MainLoop& m_loop;
    Environment m_env;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    int m_updateChecked = 0;
    bool m_running = false;
    std::atomic<int> m_stop{0};
    std::thread m_thread;
};

}  // namespace kov
