#include "support/scripted_server.h"

namespace kov::test {

using namespace std::chrono_literals;

ScriptedServer::ScriptedServer(std::vector<std::string> replies,
                               std::chrono::milliseconds trickle) {
    m_listener.Listen("127.0.0.1");
    m_thread =
        std::thread([this, replies = std::move(replies), trickle] { Serve(replies, trickle); });
}

ScriptedServer::~ScriptedServer() {
    m_stop = true;
    m_thread.join();
}

std::vector<std::string> ScriptedServer::Lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

void ScriptedServer::Serve(const std::vector<std::string>& replies,
                           std::chrono::milliseconds trickle) {
    const auto stopped = [this] { return m_stop.load(); };
    TcpSocket client;
    if (!m_listener.Accept(client, 5s, stopped)) return;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        const std::string& reply = replies[i];
        if (reply.empty()) break;
        if (reply == kClose) {
            // Replies after it are for the client's next connection.
            if (i + 1 >= replies.size()) return;
            client.Close();
            if (!m_listener.Accept(client, 5s, stopped)) return;
            continue;
        }
        if (trickle.count() == 0) {
            if (!client.SendAll(reply, 5s)) return;
        } else {
            for (const char c : reply) {
                if (m_stop || !client.SendAll(std::string_view(&c, 1), 5s)) return;
                std::this_thread::sleep_for(trickle);
            }
        }
        if (i + 1 < replies.size() && replies[i + 1] == kClose) continue;
        std::string line;
        for (char c = 0; c != '\n'; line += c) {
            if (client.Receive(&c, 1, 5s, stopped) != 1) return;
        }
        std::lock_guard lock(m_mutex);
        m_lines.push_back(line);
    }
    char c;
    while (!m_stop && client.Receive(&c, 1, 100ms) != 0) {
    }
}

}  // namespace kov::test
