#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/server_process.h"
#include "support/temp_dir.h"

namespace kov::test {

// tests/support/ftp_fault_server.py on 127.0.0.1: a scripted FTP server whose behaviour the
// login name picks ("normal", "norest", "oddpasv", "stall", ...; the script's comment lists
// them). Every greeting is multi-line. Files are /files/a.txt ("hello ftp\n") and
// /files/data-N.bin (N bytes, FaultBody(0, N)); every MDTM is 19941106084937, the date of
// kFaultLastModified. STOR stores into the existing folders ("/upload" among them); Stored()
// reads what arrived.
//
//   FtpFaultServer server;
//   ASSERT_TRUE(server.Start());
//   Fetch(server.Url("oddpasv", "/files/data-1000.bin"));
class FtpFaultServer {
public:
    FtpFaultServer() = default;
    ~FtpFaultServer() { Stop(); }
    FtpFaultServer(const FtpFaultServer&) = delete;
    FtpFaultServer& operator=(const FtpFaultServer&) = delete;

    // True when python3 and the script are there.
    static bool Available();

    // Starts the script on a free port; false when it does not come up.
    bool Start();
    void Stop() { m_process.Stop(); }

    int Port() const { return m_port; }
    // "ftp://127.0.0.1:<port>" followed by path ("/files/a.txt"): an anonymous, normal login.
    std::string Url(std::string_view path) const;
    // "ftp://<user>:x@127.0.0.1:<port>" followed by path: the session behaves as user says.
    std::string Url(std::string_view user, std::string_view path) const;
    // What STOR stored at path ("/upload/x.bin"), once the server has answered 226;
    // nullopt when nothing was stored there.
    std::optional<std::string> Stored(std::string_view path) const;
    // The commands the server received, one "[client port] VERB argument" a line.
    std::string Log() const;

private:
    TempDir m_dir;
    int m_port = -1;
    ServerProcess m_process;
};

}  // namespace kov::test
