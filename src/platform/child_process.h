#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kov {

// The result a run gives when its time limit passed or it was cancelled (the program's whole
// process group was killed).
inline constexpr int kCommandTimedOut = 258;

// How to start a child.
struct SpawnRequest {
    std::string program;            // a path, or a name looked up on PATH
    std::vector<std::string> argv;  // argv[0] included
    std::string folder;             // the working folder; the caller's own when empty
    // "NAME=value" entries added to the environment (replacing inherited ones).
    std::vector<std::string> environment;
    int outFd = -1;  // becomes standard output when >= 0
    int errFd = -1;  // becomes standard error when >= 0
};

// Starts the program as the leader of a new process group, with standard input from
// /dev/null, no other descriptor of ours, no blocked and no ignored signal. -1 when it cannot
// be started (a folder that cannot be entered included).
pid_t SpawnInOwnGroup(const SpawnRequest& request);

// Blocks until the child is reaped: its exit code (128 + signal when a signal ended it), -1
// when it cannot be reaped (for example SIGCHLD is ignored).
int ReapChild(pid_t pid);

// Waits for the child until deadline or until cancelled() (may be empty; asked about every
// 50 ms) says true; then kills its whole group and gives kCommandTimedOut. Otherwise the exit
// code as ReapChild gives it.
int WaitOrKill(pid_t pid, std::chrono::steady_clock::time_point deadline,
               const std::function<bool()>& cancelled);

// Kills the child's whole group and reaps the child.
void KillGroupAndReap(pid_t pid);

// now + limit; a limit too large to add to the clock means no limit, a negative one none.
std::chrono::steady_clock::time_point DeadlineAfter(std::chrono::milliseconds limit);

}  // namespace kov
