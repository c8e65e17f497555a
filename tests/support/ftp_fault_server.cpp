#include "support/ftp_fault_server.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/fault_server.h"

namespace kov::test {

namespace {

std::string Script() {
    return std::string(KOV_TEST_SUPPORT_DIR) + "/ftp_fault_server.py";
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool FtpFaultServer::Available() {
    // The HTTP fault server needs the same python3.
    return FaultServer::Available() && access(Script().c_str(), R_OK) == 0;
}

bool FtpFaultServer::Start() {
    if (!Available()) return false;
    const std::string python =
        access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    // The port is free only until the script binds it; a lost race is tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = ServerProcess::FreePort();
        if (m_port <= 0) return false;
        // Through a shell to find python3 on PATH, to drop the "ready" line and to keep the log.
        const std::vector<std::string> argv = {
            "/bin/sh",
            "-c",
            "exec \"$0\" \"$1\" \"$2\" \"$3\" >/dev/null 2>>\"$4\"",
            python,
            Script(),
            std::to_string(m_port),
            m_dir.File("stored"),
            m_dir.File("commands.log")};
        if (m_process.Start(argv, m_port)) return true;
    }
    return false;
}

std::string FtpFaultServer::Url(std::string_view path) const {
    std::string url = "ftp://127.0.0.1:" + std::to_string(m_port);
    url += path;
    return url;
}

std::string FtpFaultServer::Url(std::string_view user, std::string_view path) const {
    std::string url = "ftp://";
    url += user;
    url += ":x@127.0.0.1:" + std::to_string(m_port);
    url += path;
    return url;
}

std::optional<std::string> FtpFaultServer::Stored(std::string_view path) const {
    while (path.starts_with('/'))
        path.remove_prefix(1);
    const std::string file = m_dir.File("stored/" + std::string(path));
    if (!std::filesystem::is_regular_file(file)) return std::nullopt;
    return ReadFile(file);
}

std::string FtpFaultServer::Log() const {
    return ReadFile(m_dir.File("commands.log")).value_or("");
}

}  // namespace kov::test
