#include "support/test_ca.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/file_util.h"

namespace kov::test {

bool TestCa::Available() {
    return access("/usr/bin/openssl", X_OK) == 0;
}

bool TestCa::Make() {
    const std::string dir = m_dir.path();
    if (!WriteFileAtomic(m_dir.File("server.ext"),
                         "subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\n"))
        return false;
    const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    const std::string command =
        "(cd '" + dir + "' && openssl req -x509 " + key +
        "-keyout ca.key -out ca.pem -days 2 -subj '/CN=Kov Test CA' "
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign && "
        "openssl req " +
        key +
        "-keyout server.key -out server.csr -subj /CN=localhost && "
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
        "-out server.pem -days 2 -extfile server.ext)";
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return false;
    // The servers may run as other users (dovecot's login processes read the key as root,
    // but the folder must be reachable).
    chmod(dir.c_str(), 0755);
    for (const char* name : {"ca.pem", "server.pem", "server.key"})
        chmod(m_dir.File(name).c_str(), 0644);
    return true;
}

}  // namespace kov::test
