#pragma once

namespace kov {

// Owns one file descriptor and closes it on destruction, so that no early return or exception
// leaks it. Move-only; -1 means "none".
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release() noexcept;
    // Closes the one held (if any) and takes fd.
    void Reset(int fd = -1) noexcept;
    // Closes now and says whether close succeeded, for writers whose last error may show only
    // there (an NFS write-back, a full disk). True when none was held.
    bool Close() noexcept;

private:
    int m_fd = -1;
};

}  // namespace kov
