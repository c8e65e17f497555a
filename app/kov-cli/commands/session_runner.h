#pragma once

#include "session/session_controller.h"

namespace kov {
class Application;
class EventLoop;
}  // namespace kov

namespace kov::cli {

// How a session shows itself.
struct SessionOutput {
    bool json = false;   // the log as one JSON object per line on standard output
    bool quiet = false;  // only the error lines
};

// Runs a download session of the current list as the command-line auto mode says. Log lines
// go to standard output, error lines to standard error; on a terminal a live line below them
// shows each running file. Returns the exit status: kExitInterrupted after Ctrl+C or a
// termination signal, kExitNotSaved when a file could not be saved, kExitItemFailed for any
// other error result or a line that failed (dial, connect time-out, dropped), else kExitOk.
// powerOffRequested tells whether the session ended asking for the computer to go off (never after
// Ctrl+C), which the caller does after the shut-down has saved everything.
int RunAutoSession(Application& app, const SessionOutput& output, bool& powerOffRequested);

// The hooks every kov-cli session gets: sounds, the end-of-session action (noted in
// powerOffRequested, then the loop quits) and the traffic counter's save after each session.
SessionHooks CliSessionHooks(Application& app, EventLoop& loop, bool& powerOffRequested);

// Powers the computer off; false (with a message) when the system refused.
bool PowerOffAfterShutdown();

}  // namespace kov::cli
