#include "support/vsftpd_server.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_util.h"

namespace kov::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
constexpr const char* kDbLoad = "/usr/bin/db_load";
constexpr const char* kPamService = "kov-test-ftp";
constexpr const char* kPamFile = "/etc/pam.d/kov-test-ftp";
// pam_userdb adds ".db" to the name it is given.
constexpr const char* kUserDb = "/etc/kov-test-ftp-users";

// pam_userdb, not pam_exec: vsftpd's privileged process reaps any child in its SIGCHLD
// handler and so hangs once pam_exec has waited for its command itself. Fixed paths and
// content, so that every clone of the repository can share the file.
constexpr const char* kPamConfig =
    "# The Kov tests' own vsftpd login (tests/support/vsftpd_server.cpp).\n"
    "auth required pam_userdb.so db=/etc/kov-test-ftp-users\n"
    "account required pam_permit.so\n";

// The PAM service and the user database behind kUser's login; scratch is a folder for the
// database's source text.
bool InstallLogin(const TempDir& scratch) {
    // Atomic writes: tests running in parallel never see half a file.
    if (ReadFile(kPamFile) != kPamConfig && !WriteFileAtomic(kPamFile, kPamConfig, 0644))
        return false;
    const std::string database = std::string(kUserDb) + ".db";
    if (access(database.c_str(), R_OK) == 0) return true;
    // db_load -T reads alternating key and value lines.
    const std::string source = scratch.File("users.txt");
    if (!WriteFileAtomic(source,
                         std::string(VsftpdServer::kUser) + "\n" + VsftpdServer::kPassword + "\n"))
        return false;
    const std::string temporary = database + ".tmp-" + std::to_string(getpid());
    const std::string command = std::string(kDbLoad) + " -T -t hash -f '" + source + "' '" +
                                temporary + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    chmod(temporary.c_str(), 0600);
    return std::rename(temporary.c_str(), database.c_str()) == 0;
}

}  // namespace

VsftpdServer::VsftpdServer() : m_root(m_dir.File("root")) {
    // vsftpd drops to the ftp user (sessions) and nobody (before login): they must reach in.
    std::error_code ignored;
    const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(m_dir.path(), open, ignored);
    for (const std::string& folder : {m_root, UploadFolder(), m_dir.File("empty")}) {
        fs::create_directories(folder, ignored);
        fs::permissions(folder, open, ignored);
    }
}

bool VsftpdServer::Available() {
    return geteuid() == 0 && access(kVsftpd, X_OK) == 0 && access(kDbLoad, X_OK) == 0 &&
           getpwnam("ftp") != nullptr;
}

bool VsftpdServer::WriteFile(std::string_view relativePath, std::string_view content,
                             std::time_t mtime) const {
    while (relativePath.starts_with('/'))
        relativePath.remove_prefix(1);
    const std::string path = m_root + "/" + std::string(relativePath);
    // Folders 0755 and files 0644: the ftp user must read them.
    return CreateFolders(FolderOf(path), 0755) && WriteFileAtomic(path, content, 0644) &&
           (mtime == 0 || SetFileTimes(path, mtime, mtime));
}

std::string VsftpdServer::Url(std::string_view path) const {
    std::string url = "ftp://";
    url += m_ipv6 ? "[::1]" : "127.0.0.1";
    url += ":" + std::to_string(m_port);
    if (!path.starts_with('/')) url += '/';
    url += path;
    return url;
}

std::string VsftpdServer::UserUrl(std::string_view path) const {
    std::string url = Url(path);
    url.insert(6, std::string(kUser) + ":" + kPassword + "@");
    return url;
}

std::string VsftpdServer::Log() const {
    return m_dir.Read("startup.log") + m_dir.Read("vsftpd.log");
}

std::string VsftpdServer::Config(int port) const {
    std::ostringstream conf;
    if (m_ipv6) {
        conf << "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n";
    } else {
        conf << "listen=YES\nlisten_address=127.0.0.1\n";
    }
    conf << "listen_port=" << port << "\n"
         << "background=NO\n"
         // Anonymous: read-only, no password asked.
         << "anonymous_enable=YES\nno_anon_password=YES\nanon_root=" << m_root << "\n"
         << "anon_upload_enable=NO\nanon_mkdir_write_enable=NO\n"
         // kUser: checked by PAM, then a guest mapped onto the ftp user with its rights, locked
         // into the same root as the anonymous logins.
         << "local_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
         << "guest_enable=YES\nguest_username=ftp\nvirtual_use_local_privs=YES\n"
         << "local_root=" << m_root << "\nchroot_local_user=YES\n"
         << "pam_service_name=" << kPamService << "\n"
         << "delay_failed_login=0\n"
         // Containers: no seccomp filter, no new namespaces.
         << "secure_chroot_dir=" << m_dir.File("empty") << "\n"
         << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
         << "pasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
         << "use_localtime=NO\n"
         << "xferlog_enable=YES\nvsftpd_log_file=" << m_dir.File("vsftpd.log") << "\n"
         << "log_ftp_protocol=YES\n";
    return conf.str();
}

bool VsftpdServer::Start() {
    if (!Available() || !InstallLogin(m_dir)) return false;
    const passwd* ftp = getpwnam("ftp");
    if (ftp == nullptr || chown(UploadFolder().c_str(), ftp->pw_uid, ftp->pw_gid) != 0)
        return false;
    const std::string config = m_dir.File("vsftpd.conf");
    return m_process.StartOnFreePort(
        [&](int port) -> std::vector<std::string> {
            std::ofstream out(config, std::ios::trunc);
            out << Config(port);
            if (!out.flush()) return {};
            // Through a shell to keep vsftpd's start-up errors, which go to its standard output.
            return {"/bin/sh", "-c",   "exec \"$0\" \"$1\" >\"$2\" 2>&1",
                    kVsftpd,   config, m_dir.File("startup.log")};
        },
        m_port, m_ipv6);
}

}  // namespace kov::test
