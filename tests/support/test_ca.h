#pragma once

#include <string>

#include "support/temp_dir.h"

namespace kov::test {

// A CA made for one test run (openssl command line) and a server certificate it signed for
// "localhost" only, so a client that asks for 127.0.0.1 sees a name mismatch.
class TestCa {
public:
    static bool Available();
    // Makes the files; false when openssl fails.
    bool Make();
    std::string CaFile() const { return m_dir.File("ca.pem"); }
    std::string CertFile() const { return m_dir.File("server.pem"); }
    std::string KeyFile() const { return m_dir.File("server.key"); }

private:
    TempDir m_dir;
};

}  // namespace kov::test
