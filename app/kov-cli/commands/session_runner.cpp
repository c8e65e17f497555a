#include "commands/session_runner.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli_options.h"
#include "commands/session_frame.h"
#include "commands/session_interrupts.h"
#include "core/event_loop.h"
#include "core/language/message_table.h"
#include "core/prompter.h"
#include "engine/worker_pool.h"
#include "output/log_printer.h"
#include "platform/system_power.h"
#include "session/application.h"
#include "session/end_of_session.h"
#include "session/session_controller.h"
#include "session/session_setup.h"

namespace kov::cli {

SessionHooks CliSessionHooks(Application& app, EventLoop& loop, bool& powerOffRequested) {
    // The computer goes off only after the shut-down has saved everything.
    return StandardSessionHooks(app, [&powerOffRequested, &loop](bool shutdown) {
        powerOffRequested = shutdown;
        loop.Quit();
    });
}

bool PowerOffAfterShutdown() {
    const long error = ExitWindows(2);
    if (error == 0) return true;
    std::fprintf(stderr, "kov-cli: %s\n", ShutdownErrorText(error).c_str());
    return false;
}

int RunAutoSession(Application& app, const SessionOutput& output, bool& powerOffRequested) {
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    LogPrinter printer(output.json, output.quiet, terminal);
    // Off a terminal the lines go out with the timer below, not one write each.
    printer.SetHoldLines(!terminal);
    SessionFrame frame(app, printer);
    EventLoop& loop = frame.loop;
    int status = 0;
    {
        WorkerPool pool;
        SessionHooks hooks = CliSessionHooks(app, loop, powerOffRequested);
        SessionController session(app.Settings(), app.Document(), loop, pool, frame.log,
                                  DefaultPrompter(), frame.env, hooks);
        session.SetAutoMode(true, app.Options().shutdownAfter);

        const SessionInterrupts interrupts(loop, printer, session);

        // At most four redraws a second, and only on a terminal; log lines held off one go out.
        const std::size_t width = TerminalWidth();
        loop.StartTimer(2, std::chrono::milliseconds(250), [&] {
            printer.Flush();
            if (session.State() != SessionState::Downloading &&
                session.State() != SessionState::Stopping) {
                return;
            }
            printer.ShowLive(LiveLine(app.Document().Rows(), width));
        });

        session.Activate();
        session.StartRequest(false);
        loop.Run();
        printer.Flush();
        printer.ShowLive("");
        // Whatever is still queued or running (a stop that did not finish) ends now.
        session.StopRunningThreads(false, {}, kStopNow);
        pool.WaitIdle();
        // Ctrl+C asks to stop, not to power the computer off as -d would at the session's end.
        if (interrupts.Raised()) powerOffRequested = false;
        // A line that could not be had or dropped left items undone: that is no success.
        status = interrupts.Raised()                                        ? kExitInterrupted
                 : session.SaveFailures() > 0                               ? kExitNotSaved
                 : session.ErrorResults() > 0 || session.LineFailures() > 0 ? kExitItemFailed
                                                                            : kExitOk;
    }
    return status;
}

}  // namespace kov::cli
