#include "support/smtp_server.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/file_util.h"

namespace kov::test {

namespace {

constexpr const char* kPython = "/usr/bin/python3";

std::string Script() {
    return std::string(KOV_TEST_SUPPORT_DIR) + "/smtp_server.py";
}

}  // namespace

bool SmtpServer::Available() {
    return access(kPython, X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") == 0;
}

bool SmtpServer::Start(Mode mode, const TestCa* ca, bool withAuth) {
    const char* modes[] = {"plain", "starttls", "tls"};
    return m_process.StartOnFreePort(
        [&](int port) {
            std::vector<std::string> argv = {"/bin/sh",
                                             "-c",
                                             "exec \"$@\" >/dev/null",
                                             "sh",
                                             kPython,
                                             Script(),
                                             std::to_string(port),
                                             m_dir.File("maildir"),
                                             modes[static_cast<int>(mode)]};
            if (ca != nullptr || withAuth) {
                argv.push_back(ca != nullptr ? ca->CertFile() : "-");
                argv.push_back(ca != nullptr ? ca->KeyFile() : "-");
            }
            if (withAuth) {
                argv.push_back(kUser);
                argv.push_back(kPassword);
            }
            return argv;
        },
        m_port);
}

std::vector<std::string> SmtpServer::Messages() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(m_dir.File("maildir/new"), ignored))
        names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> texts;
    for (const std::string& name : names)
        texts.push_back(ReadFile(name).value_or(""));
    return texts;
}

}  // namespace kov::test
