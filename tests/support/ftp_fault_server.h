#pragma once

#include <string>
#include <string_view>

#include "support/server_process.h"

namespace kov::test {

// tests/support/ftp_fault_server.py on 127.0.0.1: a scripted FTP server whose behaviour the
// login name picks ("normal", "norest", "oddpasv", "stall", ...; the script lists them). Files
// are /files/a.txt ("hello ftp\n") and /files/data-N.bin (FaultBody(0, N)), all dated like
// kFaultLastModified.
class FtpFaultServer {
public:
    static bool Available();
    bool Start();
    int Port() const { return m_port; }
    // "ftp://<user>:x@127.0.0.1:<port>" followed by path.
    std::string Url(std::string_view user, std::string_view path) const;

private:
    int m_port = -1;
    ServerProcess m_process;
};

}  // namespace kov::test
