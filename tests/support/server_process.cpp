#include "support/server_process.h"

#include <fcntl.h>
#include <sys/prctl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace kov::test {

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// True when 127.0.0.1:port (with ipv6, [::1]:port) accepts a TCP connection.
bool PortAccepts(int port, bool ipv6) {
    int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(static_cast<uint16_t>(port));
    address6.sin6_addr = in6addr_loopback;
    sockaddr_in address = Loopback(port);
    const bool ok = ipv6 ? connect(fd, reinterpret_cast<sockaddr*>(&address6), sizeof address6) == 0
                         : connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Reaps pid if it has ended; true when it has.
bool Reaped(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

ServerProcess::~ServerProcess() {
    Stop();
}

int ServerProcess::FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool ServerProcess::StartOnFreePort(const std::function<std::vector<std::string>(int)>& command,
                                    int& port, bool ipv6) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = FreePort();
        if (port <= 0) return false;
        const std::vector<std::string> argv = command(port);
        if (argv.empty()) return false;
        if (Start(argv, port, ipv6)) return true;
    }
    return false;
}

bool ServerProcess::Start(const std::vector<std::string>& argv, int port, bool ipv6) {
    Stop();
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Only async-signal-safe calls until exec. A group of its own, so that Stop reaches
        // every process the server forks; killed with the test, so that a crashed test leaves
        // no server behind (which would also hold the test runner's output pipe open).
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    m_pid = pid;

    // Generous: a loaded machine running sanitizer builds starts servers slowly.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Reaped(m_pid)) {
            m_pid = -1;
            return false;
        }
        if (PortAccepts(port, ipv6)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void ServerProcess::Stop() {
    if (m_pid <= 0) return;
    kill(-m_pid, SIGTERM);
    for (int i = 0; i < 250; ++i) {
        if (Reaped(m_pid)) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(-m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

}  // namespace kov::test
