#pragma once

#include <string>

#include "platform/unique_fd.h"

namespace kov {

// An advisory lock (flock) on a file and on the folder that holds it, held from TryLock until
// Unlock or destruction. The folder's lock is the one that counts: a lock file can be deleted
// while it is held, and a second process would then lock a new file of the same name, but the
// folder stays while it holds the program's files. The holder writes a line naming itself into
// the file, so a process that finds the lock taken can say who holds it. The lock ends with the
// process, however it ends.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock without waiting and writes holder (with the process id) into the file.
    // False when another holds it (Holder() then names it) or the file or its folder cannot be
    // opened (Error() says why).
    bool TryLock(const std::string& path, const std::string& holder);
    void Unlock();
    bool Locked() const { return m_folderFd.Valid(); }

    // After a refused TryLock: the line the holder wrote ("kov-cli --serve (pid 4711)"); may be
    // empty when it has not written it yet or the file was deleted.
    const std::string& Holder() const { return m_holder; }
    const std::string& Error() const { return m_error; }

private:
    bool Refuse(const std::string& path, int error);

    UniqueFd m_folderFd;
    UniqueFd m_fd;
    std::string m_holder;
    std::string m_error;
};

}  // namespace kov
