#include "platform/program_paths.h"

#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/file_util.h"

#ifndef KOV_INSTALLED_DATA_DIR
#define KOV_INSTALLED_DATA_DIR "/usr/local/share/kov"
#endif
// The data folder seen from the folder of the installed programs.
#ifndef KOV_DATA_DIR_FROM_BIN
#define KOV_DATA_DIR_FROM_BIN "../share/kov"
#endif

namespace kov {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The XDG base folders must be absolute; anything else is ignored as if unset.
std::string XdgFolder(const char* name) {
    std::string value = Env(name);
    return !value.empty() && value.front() == '/' ? WithTrailingSlash(value) : std::string();
}

// $HOME, else the password database; "" (the current folder) when neither knows it.
std::string HomeFolder() {
    std::string home = Env("HOME");
    if (home.empty()) {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
        struct passwd pw;
        struct passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr)
            home = found->pw_dir;
    }
    return home.empty() ? home : WithTrailingSlash(home);
}

}  // namespace

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return "";
        if (static_cast<std::size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        buffer.resize(buffer.size() * 2);  // truncated: try again with more room
    }
}

std::string ResolveProgramFolder(const std::string& executablePath) {
    std::string folder = Env("KOV_HOME");
    if (!folder.empty()) {
        folder = WithTrailingSlash(folder);
    } else {
        auto slash = executablePath.rfind('/');
        std::string exeFolder =
            slash == std::string::npos ? "" : executablePath.substr(0, slash + 1);
        if (!exeFolder.empty() && FileExists(exeFolder + "kov.ini")) return exeFolder;
        std::string data = XdgFolder("XDG_DATA_HOME");
        folder = (data.empty() ? HomeFolder() + ".local/share/" : data) + "kov/";
    }
    // A failure shows up later, when the first file cannot be written there.
    CreateFolders(folder, 0700);
    return folder;
}

std::string UserStorePath() {
    std::string config = XdgFolder("XDG_CONFIG_HOME");
    return (config.empty() ? HomeFolder() + ".config/" : config) + "kov/user.ini";
}

std::string FindDataPath(const std::string& programFolder, const std::string& relative) {
    if (!programFolder.empty()) {
        std::string local = WithTrailingSlash(programFolder) + relative;
        if (FileExists(local)) return local;
    }
    // An installation placed under another prefix than the one it was built for (cmake
    // --install --prefix, an unpacked package) has its data beside its programs.
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        const std::string self(exe, static_cast<std::size_t>(n));
        std::string beside =
            self.substr(0, self.rfind('/') + 1) + KOV_DATA_DIR_FROM_BIN "/" + relative;
        if (FileExists(beside)) return beside;
    }
    return std::string(KOV_INSTALLED_DATA_DIR "/") + relative;
}

std::uint32_t VolumeSerial(const std::string& folder) {
    struct statvfs vfs;
    if (::statvfs(folder.c_str(), &vfs) != 0) return 0xF0F;
    auto serial = static_cast<std::uint32_t>(vfs.f_fsid & 0xFFFFFFFFu);
    return serial != 0 ? serial : 0xF0F;
}

}  // namespace kov
