#include "platform/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/unique_fd.h"

namespace kov {

namespace {

using std::chrono::milliseconds;

constexpr int kStep = 50;  // milliseconds between looks at the deadline and the cancel flag

// Both ends of a pipe whose descriptors close on exec.
struct Pipe {
    UniqueFd read;
    UniqueFd write;
    bool Open() {
        int fd[2];
        if (::pipe2(fd, O_CLOEXEC) != 0) return false;
        read.Reset(fd[0]);
        write.Reset(fd[1]);
        return true;
    }
};

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

// Reads both streams to their ends. False when overdue() said true first.
bool ReadStreams(const Pipe& out, const Pipe& err, ProgramOutput& result, std::size_t maxOutput,
                 const std::function<bool()>& overdue) {
    pollfd fds[2] = {{out.read.Get(), POLLIN, 0}, {err.read.Get(), POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const int ready = ::poll(fds, 2, kStep);
        if (ready < 0 && errno != EINTR) return true;
        for (pollfd& p : fds) {
            if (p.fd < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            std::string& into = &p == &fds[0] ? result.out : result.err;
            if (!Drain(p.fd, into, maxOutput, result.truncated)) {
                p.fd = -1;
                --open;
            }
        }
        if (open > 0 && overdue()) return false;
    }
    return true;
}

}  // namespace

ProgramOutput RunProgram(const std::vector<std::string>& argv, milliseconds limit,
                         std::size_t maxOutput, const std::function<bool()>& cancelled) {
    ProgramOutput result;
    if (argv.empty() || argv[0].empty()) return result;
    Pipe out, err;
    if (!out.Open() || !err.Open()) return result;
    const auto deadline = DeadlineAfter(limit);
    SpawnRequest request;
    request.program = argv[0];
    request.argv = argv;
    request.outFd = out.write.Get();
    request.errFd = err.write.Get();
    const pid_t pid = SpawnInOwnGroup(request);
    out.write.Reset();
    err.write.Reset();
    if (pid < 0) return result;

    auto overdue = [&] {
        return std::chrono::steady_clock::now() >= deadline || (cancelled && cancelled());
    };
    if (!ReadStreams(out, err, result, maxOutput, overdue)) {
        KillGroupAndReap(pid);
        result.exitCode = kCommandTimedOut;
        return result;
    }
    // The streams are closed; the program may still linger.
    result.exitCode = WaitOrKill(pid, deadline, cancelled);
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
