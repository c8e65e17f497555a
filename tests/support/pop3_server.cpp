#include "support/pop3_server.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>

#include "platform/file_util.h"

namespace kov::test {

namespace fs = std::filesystem;

bool Pop3Server::Available() {
    return geteuid() == 0 && access("/usr/sbin/dovecot", X_OK) == 0 &&
           getpwnam("dovenull") != nullptr && getpwnam("nobody") != nullptr && TestCa::Available();
}

bool Pop3Server::Start(const TestCa& ca) {
    // dovecot serves mail as an unprivileged user only: nobody owns the maildir.
    const std::string dir = m_dir.path();
    const passwd* nobody = getpwnam("nobody");
    const std::string uid = std::to_string(nobody->pw_uid), gid = std::to_string(nobody->pw_gid);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_exec);
    for (const char* sub : {"mail/new", "mail/cur", "mail/tmp"})
        fs::create_directories(m_dir.File(sub));
    if (std::system(("chown -R " + uid + ":" + gid + " '" + m_dir.File("mail") + "'").c_str()))
        return false;
    m_tlsPort = ServerProcess::FreePort();
    return WriteFileAtomic(m_dir.File("passwd"), std::string(kUser) + ":{PLAIN}" + kPassword + "\n",
                           0644) &&
           m_process.StartOnFreePort(
               [&](int port) -> std::vector<std::string> {
                   const std::string config =
                       "base_dir = " + dir + "/run\nstate_dir = " + dir +
                       "/state\n"
                       "log_path = " +
                       dir +
                       "/dovecot.log\nprotocols = pop3\n"
                       "listen = 127.0.0.1\nssl = yes\nssl_cert = <" +
                       ca.CertFile() +
                       "\n"
                       "ssl_key = <" +
                       ca.KeyFile() +
                       "\ndisable_plaintext_auth = no\n"
                       "first_valid_uid = 1\nmail_location = maildir:" +
                       dir +
                       "/mail\n"
                       "passdb {\n driver = passwd-file\n args = " +
                       dir +
                       "/passwd\n}\n"
                       "userdb {\n driver = static\n args = uid=" +
                       uid + " gid=" + gid + " home=" + dir +
                       "/mail\n}\n"
                       "service pop3-login {\n chroot =\n"
                       " inet_listener pop3 {\n  port = " +
                       std::to_string(port) +
                       "\n }\n"
                       " inet_listener pop3s {\n  port = " +
                       std::to_string(m_tlsPort) +
                       "\n  ssl = yes\n }\n}\nservice anvil {\n chroot =\n}\n";
                   if (!WriteFileAtomic(m_dir.File("dovecot.conf"), config, 0644)) return {};
                   return {"/usr/sbin/dovecot", "-F", "-c", m_dir.File("dovecot.conf")};
               },
               m_port);
}

bool Pop3Server::AddMessage(const std::string& text) {
    const std::string name = m_dir.File("mail/new/" + std::to_string(++m_added) + ".kov");
    const passwd* nobody = getpwnam("nobody");
    return WriteFileAtomic(name, text, 0644) &&
           chown(name.c_str(), nobody->pw_uid, nobody->pw_gid) == 0;
}

std::size_t Pop3Server::Count() const {
    std::size_t count = 0;
    for (const char* sub : {"mail/new", "mail/cur"})
        count += static_cast<std::size_t>(
            std::distance(fs::directory_iterator(m_dir.File(sub)), fs::directory_iterator()));
    return count;
}

}  // namespace kov::test
