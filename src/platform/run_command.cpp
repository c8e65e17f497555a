#include "platform/run_command.h"

#include "platform/child_process.h"
#include "platform/helper_threads.h"

namespace kov {

namespace {

SpawnRequest ShellRequest(const std::string& command) {
    SpawnRequest request;
    request.program = "/bin/sh";
    request.argv = {"sh", "-c", command};
    return request;
}

}  // namespace

int RunCommand(const std::string& command, std::chrono::milliseconds limit,
               const std::atomic<bool>* cancel) {
    CommandOptions options;
    if (cancel != nullptr) options.cancelled = [cancel] { return cancel->load(); };
    return RunCommand(command, limit, options);
}

int RunCommand(const std::string& command, std::chrono::milliseconds limit,
               const CommandOptions& options) {
    const auto deadline = DeadlineAfter(limit);
    SpawnRequest request = ShellRequest(command);
    request.folder = options.folder;
    request.environment = options.environment;
    const pid_t pid = SpawnInOwnGroup(request);
    if (pid < 0) return -1;
    return WaitOrKill(pid, deadline, options.cancelled);
}

bool StartCommand(const std::string& command) {
    const pid_t pid = SpawnInOwnGroup(ShellRequest(command));
    if (pid < 0) return false;
    // Without a thread the child stays a zombie until we exit; it did start, though.
    StartHelperThread([pid] { ReapChild(pid); });
    return true;
}

}  // namespace kov
