#include "platform/atomic_file_writer.h"

#include "platform/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace kov {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// NAME of ".NAME.XXXXXX", as Open (and mkstemp) name a temporary of NAME; empty for any other
// name.
std::string_view TemporaryOf(std::string_view name) {
    if (name.size() < 9 || name[0] != '.' || name[name.size() - 7] != '.') return {};
    for (char c : name.substr(name.size() - 6))
        if (!std::isalnum(static_cast<unsigned char>(c))) return {};
    return name.substr(1, name.size() - 8);
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
    Abort();
}

bool AtomicFileWriter::Fail() {
    if (m_error.empty()) m_error = std::strerror(errno);
    m_failed = true;
    return false;
}

bool AtomicFileWriter::Open(const std::string& path, unsigned mode) {
    Abort();
    m_error.clear();
    if (path.empty() || path.back() == '/') {
        errno = EISDIR;
        return Fail();
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The temporary's name is cut so that a name near the 255-byte limit still leaves room for
    // the dot and the random suffix.
    std::string temp = folder + "." + name.substr(0, 200) + ".XXXXXX";
    m_fd.Reset(::mkostemp(temp.data(), O_CLOEXEC));
    if (!m_fd.Valid()) return Fail();
    m_path = path;
    m_temp = std::move(temp);
    m_mode = mode;
    m_failed = false;
    m_flushed = false;
    m_buffer.clear();
    m_buffer.reserve(kBufferSize);
    return true;
}

// The target is a regular file of its own (no link to it elsewhere) with the temporary's owner
// and group, the mode asked for and the buffer's bytes: what the rename would put there.
bool AtomicFileWriter::TargetHoldsBuffer() const {
    if (m_flushed) return false;
    const UniqueFd target(::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat held {};
    struct stat made {};
    if (!target.Valid() || ::fstat(target.Get(), &held) != 0 || ::fstat(m_fd.Get(), &made) != 0)
        return false;
    if (!S_ISREG(held.st_mode) || held.st_nlink != 1 || (held.st_mode & 07777) != m_mode ||
        held.st_uid != made.st_uid || held.st_gid != made.st_gid ||
        held.st_size != static_cast<off_t>(m_buffer.size())) {
        return false;
    }
    std::string content(m_buffer.size(), '\0');
    std::size_t got = 0;
    while (got < content.size()) {
        const ssize_t n = ::read(target.Get(), content.data() + got, content.size() - got);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return content == m_buffer;
}

bool AtomicFileWriter::FlushBuffer() {
    if (!m_buffer.empty()) m_flushed = true;
    if (!m_failed && !WriteAll(m_fd.Get(), m_buffer)) Fail();
    m_buffer.clear();
    return !m_failed;
}

void AtomicFileWriter::Write(std::string_view data) {
    if (!m_fd.Valid() || m_failed) return;
    if (m_buffer.size() + data.size() > kBufferSize) {
        FlushBuffer();
        if (data.size() >= kBufferSize) {
            m_flushed = true;
            if (!m_failed && !WriteAll(m_fd.Get(), data)) Fail();
            return;
        }
    }
    m_buffer.append(data);
}

bool AtomicFileWriter::Commit() {
    if (!m_fd.Valid()) return false;
    if (m_keepUnchanged && !m_failed && TargetHoldsBuffer()) {
        Abort();
        return true;
    }
    bool ok = FlushBuffer() && (::fchmod(m_fd.Get(), static_cast<mode_t>(m_mode)) == 0 || Fail()) &&
              (!m_durable || ::fsync(m_fd.Get()) == 0 || Fail());
    ok = (m_fd.Close() || Fail()) && ok;
    if (ok) ok = ::rename(m_temp.c_str(), m_path.c_str()) == 0 || Fail();
    if (!ok) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return false;
    }
    m_temp.clear();
    // Make the rename itself durable; the data is already safe, so a failure here is ignored.
    if (m_folderSync && m_durable) {
        const std::size_t slash = m_path.rfind('/');
        SyncFolder(slash == std::string::npos ? "." : m_path.substr(0, slash + 1));
    }
    return true;
}

bool SyncFolder(const std::string& folder) {
    const UniqueFd dirFd(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dirFd.Valid() && ::fsync(dirFd.Get()) == 0;
}

void AtomicFileWriter::Abort() {
    m_fd.Reset();
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

int RemoveStaleTemporaries(const std::string& folder) {
    // A settings, list or key file of Kov's.
    return RemoveStaleTemporaries(folder, [](std::string_view name) {
        return EndsWith(name, ".ini") || EndsWith(name, ".txt") || EndsWith(name, ".pending");
    });
}

int RemoveStaleTemporaries(const std::string& folder,
                           const std::function<bool(std::string_view name)>& ours) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
        const std::string_view target = TemporaryOf(entry->d_name);
        if (!target.empty() && ours(target) && ::unlink((prefix + entry->d_name).c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

int RemoveStaleTemporariesOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    // Open names the temporary after the name cut to 200 bytes.
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1, 200);
    return RemoveStaleTemporaries(folder,
                                  [&name](std::string_view found) { return found == name; });
}

}  // namespace kov
