#pragma once

#include <string>

#include "support/server_process.h"
#include "support/temp_dir.h"

namespace kov::test {

// tinyproxy on 127.0.0.1 with its configuration, log and pid file in a temp folder. It sends
// no Via header; with RequireAuth it answers 407 unless the request carries those Basic
// credentials. Its log names every request it forwarded ("Request (file descriptor N): GET
// http://..."), so a test can tell whether a transfer went through it.
class TinyproxyServer {
public:
    static bool Available();

    // Before Start: only requests with these Basic proxy credentials are forwarded.
    void RequireAuth(std::string user, std::string password);

    // False when tinyproxy does not come up (see Log()).
    bool Start();

    int Port() const { return m_port; }
    // "127.0.0.1:<port>", the form of a proxy address setting.
    std::string Address() const;
    // tinyproxy's log so far.
    std::string Log() const;

private:
    TempDir m_dir;
    std::string m_user;
    std::string m_password;
    int m_port = -1;
    ServerProcess m_process;
};

}  // namespace kov::test
