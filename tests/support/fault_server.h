#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/server_process.h"

namespace kov::test {

// tests/support/fault_server.py on 127.0.0.1: an HTTP server that makes, on demand, the faults
// real servers do not (short bodies, no length, bad ranges, redirect loops, raw
// Content-Disposition names, silence, ...). The script's comment lists its paths. Byte i of
// every body is (i * 7 + 3) % 256 (FaultBody); Last-Modified is kFaultLastModified.
//
//   FaultServer server;
//   ASSERT_TRUE(server.Start());
//   Fetch(server.Url("/short?size=1000&got=400"));
class FaultServer {
public:
    FaultServer() = default;
    ~FaultServer() { Stop(); }
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // True when python3 and the script are there.
    static bool Available();

    // Starts the script on a free port; false when it does not come up.
    bool Start();
    void Stop() { m_process.Stop(); }

    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path ("/range?size=10").
    std::string Url(std::string_view path) const;

private:
    int m_port = -1;
    ServerProcess m_process;
};

// The Last-Modified date every fault-server response carries (unless lm=0).
inline constexpr const char* kFaultLastModified = "Sun, 06 Nov 1994 08:49:37 GMT";

// Bytes begin..begin+count-1 of a fault-server body.
std::string FaultBody(std::size_t begin, std::size_t count);

}  // namespace kov::test
