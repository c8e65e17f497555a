#include "support/smtp_server.h"

#include <cstdlib>
#include <filesystem>

#include "platform/file_util.h"

namespace kov::test {

bool SmtpServer::Available() {
    return std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") == 0;
}

bool SmtpServer::Start(Mode mode, const TestCa& ca, bool withAuth, const std::string& maildir) {
    const char* modes[] = {"plain", "starttls", "tls"};
    return m_process.StartOnFreePort(
        [&](int port) {
            std::vector<std::string> argv = {"/bin/sh",
                                             "-c",
                                             "exec \"$@\" >/dev/null 2>&1",
                                             "sh",
                                             "/usr/bin/python3",
                                             std::string(KOV_TEST_SUPPORT_DIR) + "/smtp_server.py",
                                             std::to_string(port),
                                             maildir.empty() ? m_dir.File("maildir") : maildir,
                                             modes[static_cast<int>(mode)],
                                             ca.CertFile(),
                                             ca.KeyFile()};
            if (withAuth) argv.insert(argv.end(), {kUser, kPassword});
            return argv;
        },
        m_port);
}

std::vector<std::string> SmtpServer::Messages() const {
    std::vector<std::string> texts;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(m_dir.File("maildir/new"), ignored))
        texts.push_back(ReadFile(entry.path().string()).value_or(""));
    return texts;
}

}  // namespace kov::test
