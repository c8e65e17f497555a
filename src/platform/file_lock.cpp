#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kov {

namespace {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[256];
    off_t offset = 0;
    for (;;) {
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

bool FileLock::TryLock(const std::string& path, const std::string& holder) {
    Unlock();
    m_holder.clear();
    m_error.clear();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            m_holder = ReadAll(fd);
        } else {
            m_error = path + ": " + std::strerror(error);
        }
        close(fd);
        return false;
    }
    // The file is never deleted: removing it would let two processes lock two different files.
    const std::string line = holder + " (pid " + std::to_string(getpid()) + ")\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, line.data(), line.size(), 0) < 0) {
        // The lock holds all the same; only the name of its holder is missing.
    }
    m_fd = fd;
    return true;
}

void FileLock::Unlock() {
    if (m_fd < 0) return;
    close(m_fd);  // releases the lock
    m_fd = -1;
}

}  // namespace kov
