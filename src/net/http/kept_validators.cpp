#include "net/http/kept_validators.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include "core/text/text_util.h"
#include "net/http/response_headers.h"

namespace kov {

namespace {

constexpr const char* kAttribute = "user.kov.validators";
// A value that holds more than validators is not ours.
constexpr std::size_t kMaxValue = 1024;

// "<time> <size>" of the file as it is now.
std::optional<std::string> StateOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return std::to_string(st.st_mtime) + " " + std::to_string(st.st_size);
}

// The value without line breaks: it is stored one per line, and a header never holds one.
std::string OneLine(std::string_view value) {
    std::string out(value);
    std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
    return std::string(TrimBlanks(out));
}

}  // namespace

KeptValidators ValidatorsOfResponse(std::string_view raw) {
    KeptValidators found;
    if (const auto etag = HeaderValue(raw, "etag")) found.etag = CapText(OneLine(*etag), 256);
    if (const auto time = HeaderValue(raw, "last-modified"))
        found.lastModified = CapText(OneLine(*time), 64);
    return found;
}

// "<time> <size> <copy> <html>\n<etag>\n<last-modified>"
std::optional<KeptValidators> ReadKeptValidators(const std::string& path) {
    char buffer[kMaxValue];
    const ssize_t n = ::getxattr(path.c_str(), kAttribute, buffer, sizeof buffer);
    const std::optional<std::string> state = StateOf(path);
    if (n <= 0 || !state) return std::nullopt;
    const std::string_view value(buffer, static_cast<std::size_t>(n));
    const std::size_t first = value.find('\n');
    const std::size_t second =
        first == std::string_view::npos ? first : value.find('\n', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const std::string_view head = value.substr(0, first);
    const std::size_t at = state->size();
    if (head.size() != at + 4 || !head.starts_with(*state) || head[at] != ' ' ||
        head[at + 2] != ' ')
        return std::nullopt;
    const char copy = head[at + 1];
    if (copy != 'd' && copy != 'p' && copy != 'r') return std::nullopt;
    KeptValidators found;
    found.copy = static_cast<KeptValidators::Copy>(copy);
    found.html = head[at + 3] == '1';
    found.etag = std::string(value.substr(first + 1, second - first - 1));
    found.lastModified = std::string(value.substr(second + 1));
    if (found.Empty()) return std::nullopt;
    return found;
}

bool KeepValidators(const std::string& path, const KeptValidators& validators) {
    const std::optional<std::string> state = StateOf(path);
    if (!state || validators.Empty()) return false;
    const std::string value = *state + ' ' + static_cast<char>(validators.copy) +
                              (validators.html ? " 1\n" : " 0\n") + OneLine(validators.etag) +
                              "\n" + OneLine(validators.lastModified);
    if (value.size() > kMaxValue) return false;
    return ::setxattr(path.c_str(), kAttribute, value.data(), value.size(), 0) == 0;
}

void DropKeptValidators(int fd) {
    ::fremovexattr(fd, kAttribute);
}

std::string ConditionalHeaders(const KeptValidators& validators) {
    std::string headers;
    if (!validators.etag.empty()) headers += "If-None-Match: " + validators.etag;
    if (!validators.lastModified.empty()) {
        if (!headers.empty()) headers += '\n';
        headers += "If-Modified-Since: " + validators.lastModified;
    }
    return headers;
}

}  // namespace kov
