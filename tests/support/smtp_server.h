#pragma once

#include <string>
#include <vector>

#include "support/server_process.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace kov::test {

// aiosmtpd on 127.0.0.1 (tests/support/smtp_server.py), storing what it accepts in a maildir.
class SmtpServer {
public:
    enum class Mode { Plain, StartTls, Tls };
    static constexpr const char* kUser = "kovsender";
    static constexpr const char* kPassword = "s3cret-smtp";

    static bool Available();
    // ca is needed for the TLS modes; withAuth requires kUser's login before MAIL. maildir:
    // deliver there (another server's mailbox) instead of into a folder of its own.
    bool Start(Mode mode, const TestCa& ca, bool withAuth, const std::string& maildir = {});
    int Port() const { return m_port; }
    // The raw texts received so far.
    std::vector<std::string> Messages() const;

private:
    TempDir m_dir;
    ServerProcess m_process;
    int m_port = -1;
};

}  // namespace kov::test
