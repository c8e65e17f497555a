#include "support/ftp_fault_server.h"

#include "support/fault_server.h"

namespace kov::test {

bool FtpFaultServer::Available() {
    return ScriptAvailable("ftp_fault_server.py");
}

bool FtpFaultServer::Start() {
    return StartScript("ftp_fault_server.py", m_process, m_port);
}

std::string FtpFaultServer::Url(std::string_view user, std::string_view path) const {
    return "ftp://" + std::string(user) + ":x@127.0.0.1:" + std::to_string(m_port) +
           std::string(path);
}

}  // namespace kov::test
