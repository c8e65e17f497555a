#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp_socket.h"

namespace kov::test {

// A line server on loopback for the faults real mail servers do not make on demand: it sends
// the first reply at once and each further one after a received line. An empty reply means
// silence until the client gives up; kClose closes the connection, and the replies after it
// serve the client's next connection. With a trickle pause every
// reply goes out one byte at a time. The lines it received are kept.
class ScriptedServer {
public:
    static constexpr const char* kClose = "\x04close";

    explicit ScriptedServer(std::vector<std::string> replies,
                            std::chrono::milliseconds trickle = std::chrono::milliseconds(0));
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return m_listener.LocalPort(); }
    std::vector<std::string> Lines() const;

private:
    void Serve(const std::vector<std::string>& replies, std::chrono::milliseconds trickle);

    TcpSocket m_listener;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::thread m_thread;
};

}  // namespace kov::test
