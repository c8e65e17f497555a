#pragma once

namespace kov {
class Application;
}

namespace kov::cli {

// Runs a download session of the current list as the command-line auto mode says, printing
// the log to standard output. Returns the exit status: 0 when the session ended with no error
// result, 1 otherwise. powerOffRequested tells whether the session ended asking for the
// computer to go off, which the caller does after the shut-down has saved everything.
int RunAutoSession(Application& app, bool& powerOffRequested);

// Powers the computer off; false (with a message) when the system refused.
bool PowerOffAfterShutdown();

}  // namespace kov::cli
