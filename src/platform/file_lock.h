#pragma once

#include <string>

namespace kov {

// An advisory lock (flock) on a file, held from TryLock until Unlock or destruction. The
// holder writes a line naming itself into the file, so a process that finds the lock taken
// can say who holds it. The lock ends with the process, however it ends.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock without waiting and writes holder (with the process id) into the file.
    // False when another holds it (Holder() then names it) or the file cannot be opened
    // (Error() says why).
    bool TryLock(const std::string& path, const std::string& holder);
    void Unlock();
    bool Locked() const { return m_fd >= 0; }

    // After a refused TryLock: the line the holder wrote ("kov-cli --serve (pid 4711)"); may be
    // empty when it has not written it yet.
    const std::string& Holder() const { return m_holder; }
    const std::string& Error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_holder;
    std::string m_error;
};

}  // namespace kov
