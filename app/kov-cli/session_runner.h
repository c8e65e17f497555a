#pragma once

namespace kov {
class Application;
}

namespace kov::cli {

// Runs a download session of the current list as the command-line auto mode says, printing
// the log to standard output. Returns the exit status: 0 when the session ended with no error
// result, 1 otherwise.
int RunAutoSession(Application& app);

}  // namespace kov::cli
