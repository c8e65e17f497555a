#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace kov {

// Runs "/bin/sh -c command" in a process group of its own, with standard input from /dev/null,
// and waits up to the limit. Returns the exit code (128 + signal when a signal ended it),
// kCommandTimedOut after killing the whole group when the limit passed or cancel became true,
// and -1 when the command cannot be started.
int RunCommand(const std::string& command, std::chrono::milliseconds limit,
               const std::atomic<bool>* cancel = nullptr);

// Where and how a command runs besides its text.
struct CommandOptions {
    std::string folder;  // the working folder; the caller's own when empty
    // "NAME=value" entries added to the command's environment (replacing inherited ones).
    std::vector<std::string> environment;
    // Asked about every 50 ms from the calling thread; true ends the command like a time-out.
    std::function<bool()> cancelled;
};

// The same with options. A folder that cannot be entered means the command cannot be started:
// -1.
int RunCommand(const std::string& command, std::chrono::milliseconds limit,
               const CommandOptions& options);

// Starts "/bin/sh -c command" in its own process group without waiting; the child is reaped
// in the background. False when it cannot be started.
bool StartCommand(const std::string& command);

}  // namespace kov
