#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/settings/app_settings.h"
#include "core/thread_owner.h"
#include "engine/download_job.h"
#include "engine/job_event.h"
#include "model/list_model.h"
#include "net/dialup/dialup_link.h"
#include "session/dialup_use.h"
#include "session/scheduler.h"
#include "session/session_observer.h"
#include "session/session_state.h"
#include "session/update_check.h"

namespace kov {

// The program's name as the window title and the tray tip show it.
inline constexpr const char* kProductName = "Kov";

class EventLog;
class ListDocument;
class SmtpResultMailer;
class MainLoop;
class Prompter;
class TrafficMeter;
class WorkerPool;

// What the end of a session may do besides logging.
struct SessionHooks {
    std::function<void(int sound)> playSound;
    // The end-of-session action: close the program (or, with shutdown, save everything and
    // power the computer off).
    std::function<void(bool shutdown)> endOfSessionAction;
    std::function<std::time_t()> now;        // empty: the system clock
    std::function<void()> saveLimitCounter;  // writes the traffic counter (LimitTrace)
    DialUpLink* dialUpLink = nullptr;        // the program's dial-up link; null: one of its own
    // The window title (and tray tip) as the session goes: "Kov", "Kov, Running; ...".
    std::function<void(const std::string& title)> showTitle;
    // A session began (true) or is over (false; the state is Idle again).
    std::function<void(bool running)> sessionRunning;
    // Asks whether the end-of-session action may go ahead; empty: the prompter's question.
    std::function<bool(bool shutdown)> confirmEndAction;
};

// The one download session that can exist at a time: turns a start request into jobs for the
// due rows, follows the jobs through their events, keeps the progress columns and statistics,
// stops jobs on request and ends the session when no job is queued or running. Runs on the
// main loop's thread. A session's jobs read a snapshot of the settings taken at its start;
// the speed limit and the worker count are handed over at once by their own calls.
//
// Destruction stops the rows' jobs and waits for them; nothing posted outlives the controller.
class SessionController {
public:
    static constexpr int kProgressTimer = 28184;
    static constexpr int kMonitorTimer = 38500;
    static constexpr int kConnectTimeoutTicks = 180;

    // The document's session rules (deferred list switch, the current list kept, new rows
    // joining the queue) are wired to this controller for its lifetime.
    SessionController(AppSettings& settings, ListDocument& document, MainLoop& loop,
                      WorkerPool& pool, EventLog& log, Prompter& prompter,
                      std::shared_ptr<const JobEnvironment> jobEnvironment,
                      SessionHooks hooks = {});
    ~SessionController();
    SessionController(const SessionController&) = delete;
    SessionController& operator=(const SessionController&) = delete;

    // Command-line auto mode: run, then close (or shut down).
    void SetAutoMode(bool autoMode, bool shutdownAfter);

    // Starts the monitor tick (the program's first activation) and builds today's schedule
    // queue, unless auto mode keeps the scheduler off for this run.
    void Activate();
    // A service left alone: while idle with no line to watch, the monitor tick comes only at
    // each half minute (the scheduler compares whole minutes) instead of every second.
    void SleepWhenIdle(bool on) { m_sleepWhenIdle = on; }

    // "Start download": all due rows, or only the selected ones. A user's start makes the
    // session the user's: a scheduled stop time no longer applies to it.
    void StartRequest(bool selectedOnly, const std::vector<RowId>& selection = {});
    // "Stop": shiftHeld stops immediately whatever AbortMode says; ctrlHeld stops only the
    // selected rows and the session goes on. A second stop of the whole session ends it at
    // once, whatever its jobs still do.
    void OnStop(bool shiftHeld = false, bool ctrlHeld = false,
                const std::vector<RowId>& selection = {});
    // Whether a plain stop lets the running files finish (AbortMode), rather than ending them.
    bool StopsAfterCurrentFiles() const;
    // A stop of the whole session that lets the running files finish, whatever AbortMode says
    // (a program asked so); a second stop still ends the session at once.
    void StopAfterCurrentFiles();
    // Asks the jobs of the rows to stop (stopLevel kStopAfterFile or kStopNow).
    void StopRunningThreads(bool selectedOnly, const std::vector<RowId>& selection, int stopLevel);

    // Speed limit commands.
    void SpeedLimitOn();
    void SpeedLimitOff();
    // A changed MaxThreads, applied to a running session at once.
    void SetMaxThreads(int maxThreads);

    // Scheduler mode on or off; the queue is rebuilt either way.
    void ToggleSchedulerMode();
    // Shows today's schedule queue to the user.
    void ShowScheduleQueue();
    // For the preferences (rebuild after changes) and the end-of-session rules.
    Scheduler& Schedule() { return m_scheduler; }

    // The dial-up line (the mail check asks for it here too) and the update check.
    DialupUse& DialUp() { return m_dialup; }
    UpdateCheck& Updates() { return m_updates; }

    // One observer of sessions and row failures (null: none); it must outlive the controller
    // or be set back to null first.
    void SetObserver(SessionObserver* observer) { m_observer = observer; }

    // Adds a log line from any thread; the main loop writes it (to the file too).
    void PostLogLine(std::string text, int image);

    SessionState State() const { return m_state; }
    const SessionStats& Stats() const { return m_stats; }
    bool UserStopped() const { return m_userStopped; }
    // Sessions of this program run that ended because the line failed: the dial failed, the
    // connect time-out passed or the line dropped during the downloads.
    int LineFailures() const { return m_lineFailures; }
    // Gives an edited item to the row's job while that job still waits in the queue, so the
    // session downloads the edit. False when the row has no waiting job (or it just started).
    bool ReplaceQueuedItem(RowId id, const UrlItem& item);
    // File results other than success and skip seen in this program run.
    int ErrorResults() const { return m_errorResults; }
    // Of those, the files that could not be saved: a write error, a full disk, a local folder
    // that could not be made.
    int SaveFailures() const { return m_saveFailures; }

private:
    struct SessionEnvironment;

    TrafficMeter& Meter() const;
    void Request(bool selectedOnly, const std::vector<RowId>& selection);
    bool SelectList(const std::string& name);
    void StartSession();
    void ConnectionReady();
    void ConnectionFailed();
    void FillQueue();
    void JoinQueue(RowId id);
    // The row's job, marked queued and announced; the caller hands it to the pool.
    std::unique_ptr<Job> MakeJob(Row& row, long index);
    void OnJobEvent(const JobEvent& event);
    void CountErrorResult(const JobEvent& event);
    void RecountAndCheckEnd();
    void HaltJobs();
    // Stops the whole session at the given level; a second stop ends it at once.
    void StopSession(int level);
    void EndSession(bool halted);
    // The session cannot go on without its line.
    void LineFailed();
    void ResetRowsToIdle();
    void LogSummary(bool halted);
    void ProgressTick();
    void MonitorTick();
    void ArmMonitorTimer();
    void SchedulerCheck();
    void ApplySpeedLimit(bool on);
    std::time_t Now() const;
    std::time_t DayStart() const;
    bool IsDue(const UrlItem& item, std::time_t dayStart) const;

    AppSettings& m_settings;
    ListDocument& m_document;
    MainLoop& m_loop;
    WorkerPool& m_pool;
    EventLog& m_log;
    Prompter& m_prompter;
    const std::shared_ptr<const JobEnvironment> m_baseEnv;
    SessionHooks m_hooks;
    SessionObserver* m_observer = nullptr;
    EventContext m_context;
    // Cleared by the destructor; every task posted to the loop checks it first.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    ThreadOwner m_owner;  // commands come from the main loop only

    // The running session's settings snapshot and job environment (with its event sink).
    std::shared_ptr<const AppSettings> m_snapshot;
    std::shared_ptr<SessionEnvironment> m_sessionEnv;
    // Environments of sessions whose jobs may still run; the destructor waits for them.
    std::vector<std::weak_ptr<const JobEnvironment>> m_jobEnvironments;
    // The edit slots of this session's jobs, by row.
    std::unordered_map<RowId, std::shared_ptr<QueuedItem>> m_queuedItems;

    SessionState m_state = SessionState::Idle;
    SessionStats m_stats;
    bool m_selectedOnly = false;
    std::vector<RowId> m_selection;
    bool m_userStopped = false;
    bool m_lineFailed = false;  // this session's line could not be had or dropped
    int m_lineFailures = 0;
    bool m_endingGuard = false;
    bool m_autoMode = false;
    bool m_shutdownAfter = false;
    bool m_speedLimitOn = false;
    int m_connectTicks = 0;
    int m_monitorTicks = 0;
    bool m_sleepWhenIdle = false;
    bool m_idleSleeping = false;  // the monitor timer sleeps until the next half minute
    int m_errorResults = 0;
    int m_saveFailures = 0;
    std::uint64_t m_limitValue = 0;
    Scheduler m_scheduler;
    std::unique_ptr<SmtpResultMailer> m_resultMailer;
    std::unique_ptr<DialUpLink> m_ownLink;
    DialupUse m_dialup;
    UpdateCheck m_updates;
};

}  // namespace kov
