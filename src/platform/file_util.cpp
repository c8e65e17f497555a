#include "platform/file_util.h"

#include "platform/atomic_file_writer.h"
#include "platform/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace kov {

namespace {

// Splits at the last '/' only: on Linux a backslash is an ordinary character of a name.
std::string::size_type LastSlash(const std::string& path) {
    return path.rfind('/');
}

std::string ParentOf(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    auto slash = LastSlash(p);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

// "*" and "?" are the only wildcards: every other character, '[' included, matches itself.
std::string EscapeForFnmatch(const std::string& wildcard) {
    std::string out;
    out.reserve(wildcard.size());
    for (char ch : wildcard) {
        if (ch == '[' || ch == ']' || ch == '\\') out += '\\';
        out += ch;
    }
    return out;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

std::optional<std::time_t> LastWriteTime(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return st.st_mtime;
}

bool SetFileTimes(const std::string& path, std::time_t accessTime, std::time_t modifyTime) {
    struct timespec times[2] = {};
    times[0].tv_sec = accessTime;
    times[1].tv_sec = modifyTime;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetFileTimes(int fd, std::time_t accessTime, std::time_t modifyTime) {
    struct timespec times[2] = {};
    times[0].tv_sec = accessTime;
    times[1].tv_sec = modifyTime;
    return ::futimens(fd, times) == 0;
}

bool CreateFolders(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    if (FolderExists(path)) return true;
    // Create each prefix in turn; one that already is a folder is fine whatever mkdir says
    // (a read-only parent may answer EROFS or EACCES rather than EEXIST).
    for (std::string::size_type pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        std::string prefix = path.substr(0, pos);
        if (prefix.back() != '/' && ::mkdir(prefix.c_str(), static_cast<mode_t>(mode)) != 0) {
            // errno stays mkdir's, for the caller's message; something else in the way of a
            // folder is "Not a directory".
            const int error = errno == EEXIST ? ENOTDIR : errno;
            if (!FolderExists(prefix)) {
                errno = error;
                return false;
            }
        }
        if (pos == std::string::npos) break;
    }
    return FolderExists(path);
}

std::vector<FolderEntry> ListMatching(const std::string& pattern) {
    std::vector<FolderEntry> entries;
    auto slash = LastSlash(pattern);
    std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    std::string wildcard =
        EscapeForFnmatch(slash == std::string::npos ? pattern : pattern.substr(slash + 1));

    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return entries;
    while (const dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (::fnmatch(wildcard.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
        bool isFolder = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            // Links count as what they point to.
            struct stat st;
            isFolder = ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({std::move(name), isFolder});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

bool WriteFileAtomic(const std::string& path, std::string_view data, unsigned mode, bool durable) {
    AtomicFileWriter writer;
    writer.SetDurable(durable);
    if (!writer.Open(path, mode)) return false;
    writer.Write(data);
    return writer.Commit();
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadFile(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    return content;
}

std::string MountPoint(const std::string& path) {
    // A path that does not exist yet lives on the file system of its nearest existing parent.
    std::string probe = path.empty() ? "." : path;
    char resolved[PATH_MAX];
    while (::realpath(probe.c_str(), resolved) == nullptr) {
        std::string parent = ParentOf(probe);
        if (parent == probe) return "/";
        probe = parent;
    }
    std::string current = resolved;
    struct stat st;
    if (::stat(current.c_str(), &st) != 0) return "/";
    // Start from a folder: a single file can be bind-mounted, which is not a file system.
    if (!S_ISDIR(st.st_mode)) {
        current = ParentOf(current);
        if (::stat(current.c_str(), &st) != 0) return "/";
    }
    while (current != "/") {
        std::string parent = ParentOf(current);
        struct stat parentSt;
        if (::stat(parent.c_str(), &parentSt) != 0 || parentSt.st_dev != st.st_dev) break;
        current = parent;
    }
    return WithTrailingSlash(current);
}

std::unordered_set<std::string> FilesOpenHere() {
    std::unordered_set<std::string> files;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return files;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        char target[PATH_MAX];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
        if (n > 0 && n < static_cast<ssize_t>(sizeof target) && target[0] == '/')
            files.emplace(target, static_cast<std::size_t>(n));
    }
    ::closedir(dir);
    return files;
}

std::string FolderOf(std::string_view path) {
    auto pos = path.find_last_of("/\\");
    if (pos == std::string_view::npos) return "";
    return std::string(path.substr(0, pos + 1));
}

std::string WithTrailingSlash(std::string path) {
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return path;
}

namespace {

constexpr char kUnfinished[] = "unfinished";
// The mark of older runs, an attribute of its own.
constexpr const char* kOldIncompleteAttribute = "user.kov.incomplete";

}  // namespace

void MarkIncomplete(int fd, bool created) {
    // Replaces whatever was kept about the file: it no longer describes it.
    ::fsetxattr(fd, kFileStateAttribute, kUnfinished, sizeof kUnfinished - 1, 0);
    if (!created) ::fremovexattr(fd, kOldIncompleteAttribute);
}

void ClearIncomplete(int fd) {
    ::fremovexattr(fd, kFileStateAttribute);
}

void ClearIncomplete(const std::string& path) {
    ::removexattr(path.c_str(), kFileStateAttribute);
}

bool MarkedIncomplete(const std::string& path) {
    char value[sizeof kUnfinished];
    const ssize_t n = ::getxattr(path.c_str(), kFileStateAttribute, value, sizeof value);
    if (n >= 0 || errno == ERANGE) {
        return n == sizeof kUnfinished - 1 &&
               std::memcmp(value, kUnfinished, sizeof kUnfinished - 1) == 0;
    }
    // A file that holds what was kept about it carries no older mark: older runs dropped the
    // mark before keeping anything, and a run of ours drops it when it opens the file.
    return ::getxattr(path.c_str(), kOldIncompleteAttribute, nullptr, 0) >= 0;
}

}  // namespace kov
