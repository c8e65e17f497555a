#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace kov {

// The result RunCommand gives when the time limit ended the command.
inline constexpr int kCommandTimedOut = 258;

// Runs "/bin/sh -c command" in a process group of its own, with standard input from /dev/null,
// and waits up to the limit. Returns the exit code (128 + signal when a signal ended it),
// kCommandTimedOut after killing the whole group when the limit passed or cancel became true,
// and -1 when the command cannot be started.
int RunCommand(const std::string& command, std::chrono::milliseconds limit,
               const std::atomic<bool>* cancel = nullptr);

// The same, started in the working folder (the caller's own when empty). A folder that cannot
// be entered means the command cannot be started: -1.
int RunCommand(const std::string& command, std::chrono::milliseconds limit,
               const std::string& folder, const std::atomic<bool>* cancel = nullptr);

// The same, ended like a time-out as soon as cancelled() returns true; it is asked about every
// 50 ms from the calling thread, so callers can watch a flag of any type.
int RunCommandUntil(const std::string& command, std::chrono::milliseconds limit,
                    const std::string& folder, const std::function<bool()>& cancelled);

// Starts "/bin/sh -c command" in its own process group without waiting; the child is reaped
// in the background. False when it cannot be started.
bool StartCommand(const std::string& command);

}  // namespace kov
