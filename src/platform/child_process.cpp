#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/unique_fd.h"

extern char** environ;

namespace kov {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// How often a waiting caller looks at the cancel flag.
constexpr milliseconds kCancelCheck{50};
// The polling step when pidfd_open is not available.
constexpr milliseconds kPollStep{5};

// The process's environment with the given "NAME=value" entries put in place of inherited
// entries of the same name.
std::vector<char*> Environment(const std::vector<std::string>& extra) {
    std::vector<char*> env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* eq = std::strchr(*entry, '=');
        const std::size_t nameLength = eq ? static_cast<std::size_t>(eq - *entry) : 0;
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& e) {
            return nameLength > 0 && e.size() > nameLength && e[nameLength] == '=' &&
                   e.compare(0, nameLength, *entry, nameLength) == 0;
        });
        if (!replaced) env.push_back(*entry);
    }
    for (const std::string& e : extra)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    return env;
}

void AddFileActions(posix_spawn_file_actions_t& actions, const SpawnRequest& request) {
    // glibc reports a failed file action as the result of posix_spawn itself.
    if (!request.folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, request.folder.c_str());
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (request.outFd >= 0) posix_spawn_file_actions_adddup2(&actions, request.outFd, 1);
    if (request.errFd >= 0) posix_spawn_file_actions_adddup2(&actions, request.errFd, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Sockets and files the program happens to hold open must not live on in the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
}

// A signal mask or ignored signal (SIGPIPE above all) of the calling thread must not leak into
// the child.
void SetAttributes(posix_spawnattr_t& attr) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

int ExitCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Reaps the child if it has ended. True with the exit code in code when it has.
bool TryReap(pid_t pid, int& code) {
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    code = r == pid ? ExitCode(status) : -1;
    return true;
}

int PidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Milliseconds until the next look at the flags, rounded up so that poll never spins.
int WaitStep(steady_clock::time_point deadline, milliseconds cap) {
    auto left = deadline - steady_clock::now();
    if (left > cap) return static_cast<int>(cap.count());
    auto ms = std::chrono::ceil<milliseconds>(left).count();
    return static_cast<int>(std::max<decltype(ms)>(ms, 0));
}

}  // namespace

pid_t SpawnInOwnGroup(const SpawnRequest& request) {
    if (request.program.empty() || request.argv.empty()) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    AddFileActions(actions, request);
    SetAttributes(attr);
    std::vector<char*> argv;
    for (const std::string& a : request.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> env = Environment(request.environment);
    pid_t pid = -1;
    // A program with a slash in its name is taken as it is, without a PATH search.
    const int rc =
        posix_spawnp(&pid, request.program.c_str(), &actions, &attr, argv.data(), env.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int ReapChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return ExitCode(status);
}

int WaitOrKill(pid_t pid, steady_clock::time_point deadline,
               const std::function<bool()>& cancelled) {
    // A pidfd becomes readable when the child ends, so we sleep in poll instead of spinning.
    const UniqueFd pidfd(PidFd(pid));
    int code = -1;
    for (;;) {
        if (TryReap(pid, code)) return code;
        if ((cancelled && cancelled()) || steady_clock::now() >= deadline) break;
        if (pidfd.Valid()) {
            pollfd p{pidfd.Get(), POLLIN, 0};
            ::poll(&p, 1, WaitStep(deadline, kCancelCheck));
        } else {
            std::this_thread::sleep_for(milliseconds{WaitStep(deadline, kPollStep)});
        }
    }
    KillGroupAndReap(pid);
    return kCommandTimedOut;
}

void KillGroupAndReap(pid_t pid) {
    // The child leads its group, so the group id is its pid; this reaches its children too.
    ::kill(-pid, SIGKILL);
    ReapChild(pid);
}

steady_clock::time_point DeadlineAfter(milliseconds limit) {
    const auto now = steady_clock::now();
    limit = std::max(limit, milliseconds{0});
    // Adding a huge limit to now would overflow.
    const auto room =
        std::chrono::duration_cast<milliseconds>(steady_clock::time_point::max() - now);
    return limit >= room ? steady_clock::time_point::max() : now + limit;
}

}  // namespace kov
