#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kov {

namespace {

// The holder's line is short; whatever else is in the file is not read to its end.
constexpr std::size_t kMaxHolderText = 1024;

std::string ReadAll(int fd) {
    std::string text;
    char buffer[256];
    off_t offset = 0;
    while (text.size() < kMaxHolderText) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, offset);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

}  // namespace

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::Refuse(const std::string& path, int error) {
    if (error == EWOULDBLOCK) {
        const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
        if (fd.Valid()) m_holder = ReadAll(fd.Get());
    } else {
        m_error = path + ": " + std::strerror(error);
    }
    Unlock();
    return false;
}

bool FileLock::TryLock(const std::string& path, const std::string& holder) {
    Unlock();
    m_holder.clear();
    m_error.clear();
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    m_folderFd.Reset(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_folderFd.Valid()) return Refuse(folder, errno);
    if (flock(m_folderFd.Get(), LOCK_EX | LOCK_NB) != 0) return Refuse(path, errno);
    // The file keeps its lock as well, for a program of an older version that looks only there.
    m_fd.Reset(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!m_fd.Valid()) return Refuse(path, errno);
    if (flock(m_fd.Get(), LOCK_EX | LOCK_NB) != 0) return Refuse(path, errno);
    // The file is never deleted: a holder that deleted it would leave nothing for the next one
    // to name.
    // Written over the old line, cut only where that was longer: a truncation to nothing
    // waits for the file system's journal, which a busy disk makes take many milliseconds.
    // Failures are ignored: the lock holds all the same, only its holder's name is missing.
    const std::string line = holder + " (pid " + std::to_string(getpid()) + ")\n";
    const auto size = static_cast<off_t>(line.size());
    struct stat st {};
    if (pwrite(m_fd.Get(), line.data(), line.size(), 0) == static_cast<ssize_t>(line.size()) &&
        fstat(m_fd.Get(), &st) == 0 && st.st_size > size) {
        (void)ftruncate(m_fd.Get(), size);
    }
    return true;
}

void FileLock::Unlock() {
    // Closing releases the locks.
    m_fd.Reset();
    m_folderFd.Reset();
}

}  // namespace kov
