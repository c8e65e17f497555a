#include "session_runner.h"

#include <csignal>
#include <cstdio>
#include <memory>

#include "core/event_loop.h"
#include "core/message_table.h"
#include "core/prompter.h"
#include "engine/worker_pool.h"
#include "net/traffic_meter.h"
#include "platform/file_util.h"
#include "platform/system_power.h"
#include "session/application.h"
#include "session/event_log.h"
#include "session/session_controller.h"

namespace kov::cli {

namespace {

std::atomic<int> g_interrupts{0};

extern "C" void OnInterrupt(int) {
    g_interrupts.fetch_add(1);
}

// Log lines go to standard output in the log file's form.
class StdoutLog : public EventLogListener {
public:
    void LineAdded(const LogLine& line) override {
        std::printf("%s - %s\n", line.time.c_str(), line.text.c_str());
        std::fflush(stdout);
    }
};

}  // namespace

int RunAutoSession(Application& app) {
    AppSettings& settings = app.Settings();
    EventLoop loop;
    EventLog log(settings, FolderOf(app.Paths().settingsFile) + "Kov.log");
    StdoutLog printer;
    log.AddListener(&printer);
    GlobalLimitCounter() = app.LimitCounter();

    auto env = std::make_shared<JobEnvironment>();
    env->settings = &settings;
    int status = 0;
    {
        WorkerPool pool;
        SessionHooks hooks;
        hooks.endOfSessionAction = [&](bool shutdown) {
            if (shutdown && !PowerOff()) {
                log.AddLine(GetString(EventCode::NoShutdownRights), 1, kLogError);
            }
            loop.Quit();
        };
        SessionController session(settings, app.Document(), loop, pool, log, DefaultPrompter(), env,
                                  hooks);
        session.SetAutoMode(true, app.Options().shutdownAfter);

        // Ctrl+C: the first is the Stop command, the second stops at once.
        g_interrupts = 0;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        int handled = 0;
        loop.StartTimer(1, std::chrono::milliseconds(100), [&] {
            const int seen = g_interrupts.load();
            if (seen == handled) return;
            handled = seen;
            session.OnStop(seen >= 2, false);
        });

        session.Activate();
        session.StartRequest(false);
        loop.Run();
        // Whatever is still queued or running (a stop that did not finish) ends now.
        session.StopRunningThreads(false);
        pool.WaitIdle();
        status = session.ErrorResults() > 0 ? 1 : 0;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    app.LimitCounter() = GlobalLimitCounter().load();
    log.RemoveListener(&printer);
    return status;
}

}  // namespace kov::cli
