#include "support/pop3_server.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>

#include "platform/file_util.h"

namespace kov::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDovecot = "/usr/sbin/dovecot";

}  // namespace

bool Pop3Server::Available() {
    return geteuid() == 0 && access(kDovecot, X_OK) == 0 && getpwnam("dovenull") != nullptr &&
           getpwnam("nobody") != nullptr && TestCa::Available();
}

bool Pop3Server::Start(const TestCa& ca) {
    const std::string dir = m_dir.path();
    const passwd* nobody = getpwnam("nobody");
    std::error_code ignored;
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec,
                    ignored);
    for (const char* sub : {"mail/new", "mail/cur", "mail/tmp", "run", "state"})
        fs::create_directories(m_dir.File(sub), ignored);
    // The mail user owns its maildir; dovecot refuses to serve mail as root.
    for (const char* sub : {"mail", "mail/new", "mail/cur", "mail/tmp"})
        if (chown(m_dir.File(sub).c_str(), nobody->pw_uid, nobody->pw_gid) != 0) return false;
    if (!WriteFileAtomic(m_dir.File("passwd"), std::string(kUser) + ":{PLAIN}" + kPassword + "\n",
                         0644))
        return false;
    m_tlsPort = ServerProcess::FreePort();
    return m_process.StartOnFreePort(
        [&](int port) -> std::vector<std::string> {
            const std::string config =
                "base_dir = " + dir +
                "/run\n"
                "state_dir = " +
                dir +
                "/state\n"
                "log_path = " +
                dir +
                "/dovecot.log\n"
                "protocols = pop3\n"
                "listen = 127.0.0.1\n"
                "ssl = yes\n"
                "ssl_cert = <" +
                ca.CertFile() +
                "\n"
                "ssl_key = <" +
                ca.KeyFile() +
                "\n"
                "disable_plaintext_auth = no\n"
                "auth_mechanisms = plain\n"
                "first_valid_uid = 1\n"
                "mail_location = maildir:" +
                dir +
                "/mail\n"
                "pop3_uidl_format = %08Xu%08Xv\n"
                "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " +
                dir +
                "/passwd\n}\n"
                "userdb {\n  driver = static\n  args = uid=" +
                std::to_string(nobody->pw_uid) + " gid=" + std::to_string(nobody->pw_gid) +
                " home=" + dir +
                "/mail\n}\n"
                "service pop3-login {\n"
                "  inet_listener pop3 {\n    port = " +
                std::to_string(port) +
                "\n  }\n"
                "  inet_listener pop3s {\n    port = " +
                std::to_string(m_tlsPort) +
                "\n    ssl = yes\n  }\n}\n"
                "service anvil {\n  chroot =\n}\nservice imap-login {\n  chroot =\n}\n"
                "service pop3-login {\n  chroot =\n}\n";
            if (!WriteFileAtomic(m_dir.File("dovecot.conf"), config, 0644)) return {};
            return {kDovecot, "-F", "-c", m_dir.File("dovecot.conf")};
        },
        m_port);
}

bool Pop3Server::AddMessage(const std::string& text) {
    const std::string name = "mail/new/" + std::to_string(++m_added) + ".kov";
    const passwd* nobody = getpwnam("nobody");
    return WriteFileAtomic(m_dir.File(name), text, 0644) &&
           chown(m_dir.File(name).c_str(), nobody->pw_uid, nobody->pw_gid) == 0;
}

std::size_t Pop3Server::Count() const {
    std::size_t count = 0;
    std::error_code ignored;
    for (const char* sub : {"mail/new", "mail/cur"})
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir.File(sub), ignored))
            ++count;
    return count;
}

}  // namespace kov::test
