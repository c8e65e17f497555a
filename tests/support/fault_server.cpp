#include "support/fault_server.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace kov::test {

namespace {

std::string ScriptPath(const char* script) {
    return std::string(KOV_TEST_SUPPORT_DIR) + "/" + script;
}

// The python3 that a shell would run; empty when there is none.
std::string FindPython() {
    std::string dirs = "/usr/bin:";
    if (const char* path = std::getenv("PATH")) dirs += path;
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t colon = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, colon - start) + "/python3";
        if (colon > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = colon + 1;
    }
    return {};
}

}  // namespace

bool ScriptAvailable(const char* script) {
    return !FindPython().empty() && access(ScriptPath(script).c_str(), R_OK) == 0;
}

bool StartScript(const char* script, ServerProcess& process, int& port) {
    const std::string python = FindPython();
    // Through a shell only to keep the script's "ready" line out of the test output.
    return !python.empty() && process.StartOnFreePort(
                                  [&](int free) -> std::vector<std::string> {
                                      return {"/bin/sh",
                                              "-c",
                                              "exec \"$0\" \"$1\" \"$2\" >/dev/null",
                                              python,
                                              ScriptPath(script),
                                              std::to_string(free)};
                                  },
                                  port);
}

std::string FaultServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

std::string FaultBody(std::size_t begin, std::size_t count) {
    std::string body(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        body[i] = static_cast<char>(((begin + i) * 7 + 3) % 256);
    return body;
}

}  // namespace kov::test
