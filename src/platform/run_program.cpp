#include "platform/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace kov {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kStep = 50;  // milliseconds between looks at the deadline and the cancel flag

struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe() { CloseBoth(); }
    void CloseBoth() {
        for (int& f : fd) {
            if (f >= 0) ::close(f);
            f = -1;
        }
    }
};

int ExitCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

pid_t Spawn(const std::vector<std::string>& args, Pipe& out, Pipe& err) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Reads what is there; false at the end of the stream.
bool Drain(int fd, std::string& into, std::size_t bound, bool& truncated) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    const std::size_t room = bound > into.size() ? bound - into.size() : 0;
    const std::size_t keep = std::min(room, static_cast<std::size_t>(n));
    into.append(buffer, keep);
    if (keep < static_cast<std::size_t>(n)) truncated = true;
    return true;
}

}  // namespace

ProgramOutput RunProgram(const std::vector<std::string>& argv, milliseconds limit,
                         std::size_t maxOutput, const std::function<bool()>& cancelled) {
    ProgramOutput result;
    if (argv.empty() || argv[0].empty()) return result;
    Pipe out, err;
    if (::pipe2(out.fd, O_CLOEXEC) != 0 || ::pipe2(err.fd, O_CLOEXEC) != 0) return result;
    const pid_t pid = Spawn(argv, out, err);
    ::close(out.fd[1]);
    ::close(err.fd[1]);
    out.fd[1] = err.fd[1] = -1;
    if (pid < 0) return result;

    const auto deadline = steady_clock::now() + std::max(limit, milliseconds{0});
    bool killed = false;
    auto overdue = [&] { return steady_clock::now() >= deadline || (cancelled && cancelled()); };
    pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && !killed) {
        const int ready = ::poll(fds, 2, kStep);
        if (ready < 0 && errno != EINTR) break;
        for (pollfd& p : fds) {
            if (p.fd < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            std::string& into = &p == &fds[0] ? result.out : result.err;
            if (!Drain(p.fd, into, maxOutput, result.truncated)) {
                p.fd = -1;
                --open;
            }
        }
        if (open > 0 && overdue()) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
    }
    // The streams are closed; the program may still linger.
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) {
            result.exitCode = -1;
            return result;
        }
        if (!killed && overdue()) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
        if (r == 0) std::this_thread::sleep_for(milliseconds{5});
    }
    result.exitCode = killed ? kProgramTimedOut : ExitCode(status);
    return result;
}

std::string FindOnPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (folder.empty()) folder = ".";
        const std::string candidate = folder + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace kov
