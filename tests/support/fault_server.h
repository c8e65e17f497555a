#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/server_process.h"

namespace kov::test {

// True when python3 and the script (a file in this folder) are there.
bool ScriptAvailable(const char* script);
// Starts the script on a free port, set in port; false when it does not come up.
bool StartScript(const char* script, ServerProcess& process, int& port);

// tests/support/fault_server.py on 127.0.0.1: an HTTP server that makes, on demand, the faults
// real servers do not (short bodies, no length, bad ranges, redirect loops, raw
// Content-Disposition names, silence, ...; the script lists its paths). Bodies are FaultBody;
// Last-Modified is kFaultLastModified.
class FaultServer {
public:
    static bool Available() { return ScriptAvailable("fault_server.py"); }
    bool Start() { return StartScript("fault_server.py", m_process, m_port); }
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path ("/range?size=10").
    std::string Url(std::string_view path) const;

private:
    int m_port = -1;
    ServerProcess m_process;
};

inline constexpr const char* kFaultLastModified = "Sun, 06 Nov 1994 08:49:37 GMT";

// Bytes begin..begin+count-1 of a fault-server body.
std::string FaultBody(std::size_t begin, std::size_t count);

}  // namespace kov::test
