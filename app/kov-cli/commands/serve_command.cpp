#include "commands/serve_command.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <thread>

#include "commands/session_frame.h"
#include "commands/session_runner.h"
#include "core/event_loop.h"
#include "core/language/message_table.h"
#include "core/prompter.h"
#include "core/text/terminal_text.h"
#include "engine/worker_pool.h"
#include "platform/atomic_file_writer.h"
#include "platform/file_lock.h"
#include "platform/program_paths.h"
#include "platform/sound_player.h"
#include "session/application.h"
#include "session/event_log.h"
#include "session/mail_check.h"
#include "session/session_controller.h"
#include "web_control/remote_control.h"

namespace kov::cli {

namespace {

constexpr int kServiceWorkerNiceSteps = 5;
constexpr int kQuitCheckTimer = 3;  // runs only while a stop or a reload waits for the session

// One log line per line of output, flushed at once: under systemd the output is a pipe.
class LineLog : public EventLogListener {
public:
    void LineAdded(const LogLine& line) override {
        std::printf("%s - %s\n", line.time.c_str(), TerminalSafe(line.text).c_str());
        std::fflush(stdout);
    }
};

// Waits for the service's signals on a thread of its own and hands them to the main loop, so
// that the loop sleeps until something is due instead of polling a flag.
class SignalWaiter {
public:
    // Blocks the signals in the calling thread, and so in every thread it starts later.
    SignalWaiter() {
        sigemptyset(&m_set);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
            sigaddset(&m_set, s);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
    }
    ~SignalWaiter() {
        Stop();
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

    // After this no signal reaches the loop any more.
    void Stop() {
        if (!m_thread.joinable()) return;
        m_done = true;
        pthread_kill(m_thread.native_handle(), SIGUSR1);
        m_thread.join();
    }

    void Start(MainLoop& loop, std::function<void(int)> handler) {
        m_thread = std::thread([this, &loop, handler = std::move(handler)] {
            for (;;) {
                int signal = 0;
                if (sigwait(&m_set, &signal) != 0 || m_done) return;
                if (signal != SIGUSR1) loop.Post([handler, signal] { handler(signal); });
            }
        });
    }

private:
    sigset_t m_set{};
    sigset_t m_old{};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// A hook for the tests only: KOV_CLOCK_SHIFT (seconds) moves the service's clock, so that a
// test need not wait for a scheduled minute; "@FILE" reads the shift from FILE whenever the
// clock is asked, so that the test moves the clock when it is ready. With the hook set the
// service checks its tasks every few seconds instead of sleeping to the next half minute,
// which would not see the clock jump.
std::function<std::time_t()> ServiceClock() {
    const char* shift = std::getenv("KOV_CLOCK_SHIFT");
    if (!shift || !*shift) return {};
    if (*shift == '@') {
        return [file = std::string(shift + 1)] {
            long seconds = 0;
            std::ifstream(file) >> seconds;
            return std::time(nullptr) + seconds;
        };
    }
    const long seconds = std::strtol(shift, nullptr, 10);
    return [seconds] { return std::time(nullptr) + seconds; };
}

const char* kDayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

std::string DaysText(std::int32_t days) {
    std::string text;
    for (int i = 0; i < 7; ++i) {
        if (!(days & (1 << i))) continue;
        if (!text.empty()) text += ',';
        text += kDayNames[i];
    }
    return text.empty() ? "-" : text;
}

// Rereads kov.ini between sessions and applies it as accepted preferences would: the line's
// settings and the queue anew. The service keeps its scheduler on; schedulerSetting takes the
// file's own choice. False (logged) when the settings in use stay.
bool ReloadService(Application& app, SessionController& session, EventLog& log,
                   std::int32_t& schedulerSetting) {
    std::string why;
    if (!app.ReloadSettings(why)) {
        log.AddLine("kov.ini not reloaded (" + why + "); the settings in use stay", 0, kLogError);
        return false;
    }
    AppSettings& settings = app.Settings();
    schedulerSetting = settings.schedule.Enabled;
    settings.schedule.Enabled = 1;
    if (settings.SpeedLimited) {
        session.SpeedLimitOn();
    } else {
        session.SpeedLimitOff();
    }
    session.DialUp().Configure(false);
    session.Schedule().BuildTodayQueue();
    return true;
}

}  // namespace

bool TakeWriterLock(const Application& app, const std::string& holder, FileLock& lock) {
    const std::string& folder = app.Paths().programFolder;
    if (lock.TryLock(folder + ".lock", holder)) {
        RemoveStaleTemporaries(folder);  // left by a writer that was killed mid-save
        return true;
    }
    if (!lock.Error().empty()) {
        std::fprintf(stderr, "kov-cli: cannot lock the program folder: %s\n", lock.Error().c_str());
    } else {
        std::fprintf(
            stderr,
            "kov-cli: %s is in use by %s, which changes its lists and settings; "
            "try again when it has ended\n",
            folder.c_str(),
            lock.Holder().empty() ? "another Kov program" : TerminalSafe(lock.Holder()).c_str());
    }
    return false;
}

void PrintQueue(Application& app, std::FILE* out) {
    // The queue as the service builds it: with the scheduler on, whatever the settings say.
    AppSettings settings = app.Settings();
    settings.schedule.Enabled = 1;
    settings.WriteLog = 0;
    EventLog log(settings, "");
    LineLog printer;  // a task with a broken time says so
    log.AddListener(&printer);
    auto now = ServiceClock();
    if (!now) now = [] { return std::time(nullptr); };
    Scheduler scheduler(settings, log, {}, now);
    scheduler.BuildTodayQueue();
    log.RemoveListener(&printer);
    std::fprintf(out, "%s\n", TerminalSafe(scheduler.QueueText(), true).c_str());
}

void PrintTasks(const Application& app, std::FILE* out) {
    const ScheduleSettings& schedule = app.Settings().schedule;
    std::fprintf(out, "#\tname\tlist\tstart\tstop\tdays\tenabled\tspeed limit\n");
    const char* speed[] = {"default", "on", "off"};
    int n = 0;
    for (const ScheduleTask& t : schedule.tasks) {
        std::fprintf(out, "%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", ++n, TerminalSafe(t.TaskName).c_str(),
                     TerminalSafe(t.ListName).c_str(), t.StartTime.c_str(),
                     t.StopTime == "00:00" ? "-" : t.StopTime.c_str(), DaysText(t.Days).c_str(),
                     t.Enabled ? "yes" : "no",
                     speed[t.SpeedLimited >= 0 && t.SpeedLimited <= 2 ? t.SpeedLimited : 0]);
    }
}

int RunServe(Application& app, bool& powerOffRequested) {
    SignalWaiter signals;  // first: the threads started below inherit the blocked signals
    AppSettings& settings = app.Settings();
    LineLog printer;
    SessionFrame frame(app, printer);
    EventLoop& loop = frame.loop;
    EventLog& log = frame.log;
    // The service runs with the scheduler on; the settings keep their own choice.
    std::int32_t schedulerSetting = settings.schedule.Enabled;
    settings.schedule.Enabled = 1;
    {
        // Downloads run a few steps below the service itself, as in the window: the scheduler,
        // the mailbox and remote control answer at once even while every worker is busy.
        WorkerPool pool;
        pool.LowerWorkerPriority(kServiceWorkerNiceSteps);
        SessionHooks hooks = CliSessionHooks(app, loop, powerOffRequested);
        hooks.now = ServiceClock();
        SessionController session(settings, app.Document(), loop, pool, log, DefaultPrompter(),
                                  frame.env, hooks);
        MailCheck mail(settings, app.Paths().programFolder, app.Document(), session, loop, log);
        auto restartMail = [&] {
            mail.RestartPollTimer();
            if (mail.Server().TimerRunning()) {
                log.AddLine("Server mode: the mailbox is polled every " +
                                std::to_string(settings.email.PollInterval) + " minute(s)",
                            0, kLogInfo);
            }
        };
        // Remote control steers this service over HTTP when [Remote] Enabled=1.
        RemoteControl remote({settings, app.Document(), session, log, loop},
                             FindDataPath(app.Paths().programFolder, "web/"));
        auto announce = [&](const std::string& what) {
            log.AddLine(what + ", " + std::to_string(session.Schedule().Queue().size()) +
                            " scheduled task(s) left today",
                        0, kLogInfo);
        };
        bool quitting = false;
        bool reloadPending = false;
        // A stop or a reload asked for during a session waits for its end.
        auto whenIdle = [&] {
            if (session.State() != SessionState::Idle) return;
            loop.StopTimer(kQuitCheckTimer);
            if (quitting) {
                loop.Quit();
            } else if (reloadPending) {
                reloadPending = false;
                if (!ReloadService(app, session, log, schedulerSetting)) return;
                restartMail();
                remote.SettingsChanged();
                announce("kov.ini reloaded");
            }
        };
        signals.Start(loop, [&](int signal) {
            if (signal == SIGHUP) {
                reloadPending = true;
            } else {
                // A second signal stops at once, whatever the jobs still do.
                if (quitting || session.State() != SessionState::Idle) session.OnStop(quitting);
                quitting = true;
            }
            whenIdle();
            if (session.State() != SessionState::Idle) {
                loop.StartTimer(kQuitCheckTimer, std::chrono::milliseconds(200), whenIdle);
            }
        });

        session.SleepWhenIdle(!hooks.now);
        session.Activate();
        announce("kov-cli --serve started");
        restartMail();
        remote.Start();
        loop.Run();
        // Callers waiting on the loop get 503 now, before the session and the lists go.
        remote.Stop();
        signals.Stop();
        session.StopRunningThreads(false, {}, kStopNow);
        pool.WaitIdle();
    }
    settings.schedule.Enabled = schedulerSetting;
    return 0;
}

}  // namespace kov::cli
