#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace kov::test {

// A server program run by a test: started in a process group of its own, stopped (and
// reaped) on destruction.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts argv[0] (a path) with argv and waits until 127.0.0.1:port (with ipv6, [::1]:port)
    // accepts connections. False, with the process stopped, when it cannot start or exits
    // before listening.
    bool Start(const std::vector<std::string>& argv, int port, bool ipv6 = false);
    // Start with the argv that command gives for a free port, kept in port. The port is free
    // only until the server binds it, so a lost race is tried again; an empty argv gives up.
    bool StartOnFreePort(const std::function<std::vector<std::string>(int)>& command, int& port,
                         bool ipv6 = false);
    // SIGTERM to the group, SIGKILL when it does not end within a few seconds.
    void Stop();

    // A port on 127.0.0.1 that was free a moment ago (bound to port 0 and released).
    static int FreePort();

private:
    pid_t m_pid = -1;
};

}  // namespace kov::test
