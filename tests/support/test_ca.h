#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace kov::test {

// A CA made for one test run (openssl command line) and a server certificate it signed for
// "localhost" only, so a client that asks for 127.0.0.1 sees a name mismatch.
class TestCa {
public:
    static bool Available() { return access("/usr/bin/openssl", X_OK) == 0; }
    bool Make() {
        const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
        const std::string command =
            "(cd '" + m_dir.path() +
            "' && printf 'subjectAltName=DNS:localhost\\n' >ext && "
            "openssl req -x509 " +
            key +
            "-keyout ca.key -out ca.pem -days 2 -subj /CN=KovCA "
            "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign && "
            "openssl req " +
            key +
            "-keyout server.key -out server.csr -subj /CN=localhost && "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
            "-out server.pem -days 2 -extfile ext && chmod 644 server.key) >/dev/null 2>&1";
        // The servers' own users must reach the files.
        return std::system(command.c_str()) == 0 && chmod(m_dir.path().c_str(), 0755) == 0;
    }
    std::string CaFile() const { return m_dir.File("ca.pem"); }
    std::string CertFile() const { return m_dir.File("server.pem"); }
    std::string KeyFile() const { return m_dir.File("server.key"); }

private:
    TempDir m_dir;
};

}  // namespace kov::test
