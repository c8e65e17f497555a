#include "platform/unique_fd.h"

#include <unistd.h>

namespace kov {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

int UniqueFd::Release() noexcept {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::Reset(int fd) noexcept {
    if (m_fd >= 0 && m_fd != fd) ::close(m_fd);
    m_fd = fd;
}

bool UniqueFd::Close() noexcept {
    const int fd = Release();
    return fd < 0 || ::close(fd) == 0;
}

}  // namespace kov
