#include "support/tinyproxy_server.h"

#include <unistd.h>

#include <fstream>

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
    return m_dir.Read("tinyproxy.log");
}

bool TinyproxyServer::Start() {
    if (!Available()) return false;
    const std::string config = m_dir.File("tinyproxy.conf");
    return m_process.StartOnFreePort(
        [&](int port) -> std::vector<std::string> {
            // No User/Group lines: tinyproxy then keeps the current user (root in the test
            // containers) with a warning, and can write its log in the temp folder.
            std::ofstream out(config, std::ios::trunc);
            out << "Port " << port << "\nListen 127.0.0.1\nTimeout 60\n"
                << "LogFile \"" << m_dir.File("tinyproxy.log") << "\"\n"
                << "PidFile \"" << m_dir.File("tinyproxy.pid") << "\"\n"
                << "LogLevel Info\nMaxClients 64\nAllow 127.0.0.1\nDisableViaHeader Yes\n";
            if (!m_user.empty()) out << "BasicAuth " << m_user << " " << m_password << "\n";
            if (!out.flush()) return {};
            return {kTinyproxy, "-d", "-c", config};
        },
        m_port);
}

}  // namespace kov::test
