#include "net/http/stub_scanner.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/text/text_util.h"

namespace kov {

bool StubScanner::Found(const char* data, std::size_t n) {
    if (m_needle.empty()) return false;
    m_window.append(data, n);
    if (IFind(m_window, m_needle) != std::string::npos) return true;
    const std::size_t keep = m_needle.size() - 1;
    if (m_window.size() > keep) m_window.erase(0, m_window.size() - keep);
    return false;
}

bool FileContains(const std::string& path, const std::string& needle) {
    if (needle.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    StubScanner scanner(needle);
    char block[65536];
    bool found = false;
    ssize_t n;
    while (!found && (n = ::read(fd, block, sizeof block)) > 0) {
        found = scanner.Found(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return found;
}

}  // namespace kov
