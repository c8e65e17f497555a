#include "web_control/page_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "platform/unique_fd.h"

namespace kov {

std::optional<PageFiles::File> PageFiles::Read(const std::string& name) const {
    if (m_folder.empty() || name.empty() || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    const std::string path = m_folder + (m_folder.back() == '/' ? "" : "/") + name;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > kSizeLimit) {
        return std::nullopt;
    }
    File file{{}, ContentTypeOf(name)};
    file.body.reserve(static_cast<std::size_t>(info.st_size));
    std::array<char, 16384> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        file.body.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return file;
}

std::string PageFiles::ContentTypeOf(const std::string& name) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
    };
    for (const auto& [ending, type] : kTypes) {
        if (name.ends_with(ending)) return type;
    }
    return "application/octet-stream";
}

}  // namespace kov
