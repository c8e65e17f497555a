#pragma once

#include <cstddef>
#include <string>

#include "support/server_process.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace kov::test {

// dovecot's POP3 server on 127.0.0.1 with a configuration of its own in a temporary folder and
// one passwd-file user whose maildir the test fills. Port() is plain POP3 offering STLS,
// TlsPort() TLS from the first byte. Needs root (dovecot drops to its own users).
class Pop3Server {
public:
    static constexpr const char* kUser = "kovbox";
    static constexpr const char* kPassword = "s3cret-pop";

    static bool Available();
    bool Start(const TestCa& ca);
    int Port() const { return m_port; }
    int TlsPort() const { return m_tlsPort; }
    // Puts a message into the mailbox; call before the client connects.
    bool AddMessage(const std::string& text);
    // The mailbox's maildir, for a mail server that delivers into it.
    std::string Maildir() const { return m_dir.File("mail"); }
    // Messages still in the mailbox.
    std::size_t Count() const;

private:
    TempDir m_dir;
    ServerProcess m_process;
    int m_port = -1;
    int m_tlsPort = -1;
    int m_added = 0;
};

}  // namespace kov::test
