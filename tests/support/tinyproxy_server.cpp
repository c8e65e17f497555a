#include "support/tinyproxy_server.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace kov::test {

namespace {

constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";

}  // namespace

bool TinyproxyServer::Available() {
    return access(kTinyproxy, X_OK) == 0;
}

void TinyproxyServer::RequireAuth(std::string user, std::string password) {
    m_user = std::move(user);
    m_password = std::move(password);
}

std::string TinyproxyServer::Address() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string TinyproxyServer::Log() const {
    std::ifstream in(m_dir.File("tinyproxy.log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool TinyproxyServer::Start() {
    if (!Available()) return false;
    const std::string config = m_dir.File("tinyproxy.conf");
    // The port is free only until tinyproxy binds it; a lost race is tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = ServerProcess::FreePort();
        if (m_port <= 0) return false;
        // No User/Group lines: tinyproxy then keeps the current user (root in the test
        // containers) with a warning, and can write its log in the temp folder.
        std::ofstream out(config, std::ios::trunc);
        out << "Port " << m_port << "\n"
            << "Listen 127.0.0.1\n"
            << "Timeout 60\n"
            << "LogFile \"" << m_dir.File("tinyproxy.log") << "\"\n"
            << "PidFile \"" << m_dir.File("tinyproxy.pid") << "\"\n"
            << "LogLevel Info\n"
            << "MaxClients 64\n"
            << "Allow 127.0.0.1\n"
            << "DisableViaHeader Yes\n";
        if (!m_user.empty()) out << "BasicAuth " << m_user << " " << m_password << "\n";
        out.close();
        if (!out) return false;
        if (m_process.Start({kTinyproxy, "-d", "-c", config}, m_port)) return true;
    }
    return false;
}

}  // namespace kov::test
