#include "support/fault_server.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace kov::test {

namespace {

std::string Script() {
    return std::string(KOV_TEST_SUPPORT_DIR) + "/fault_server.py";
}

// The python3 that a shell would run; empty when there is none.
std::string FindPython() {
    if (access("/usr/bin/python3", X_OK) == 0) return "/usr/bin/python3";
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::string candidate(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (candidate.empty()) continue;
        candidate += "/python3";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

bool FaultServer::Available() {
    return !FindPython().empty() && access(Script().c_str(), R_OK) == 0;
}

bool FaultServer::Start() {
    const std::string python = FindPython();
    if (python.empty()) return false;
    // The port is free only until the script binds it; a lost race is tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = ServerProcess::FreePort();
        if (m_port <= 0) return false;
        // Through a shell only to keep the script's "ready" line out of the test output.
        const std::vector<std::string> argv = {
            "/bin/sh", "-c",     "exec \"$0\" \"$1\" \"$2\" >/dev/null",
            python,    Script(), std::to_string(m_port)};
        if (m_process.Start(argv, m_port)) return true;
    }
    return false;
}

std::string FaultServer::Url(std::string_view path) const {
    std::string url = "http://127.0.0.1:" + std::to_string(m_port);
    url += path;
    return url;
}

std::string FaultBody(std::size_t begin, std::size_t count) {
    std::string body(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        body[i] = static_cast<char>(((begin + i) * 7 + 3) % 256);
    }
    return body;
}

}  // namespace kov::test
