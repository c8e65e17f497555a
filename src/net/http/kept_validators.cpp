#include "net/http/kept_validators.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <charconv>
#include <ctime>

#include "core/text/text_util.h"
#include "net/http/inet.h"
#include "net/http/response_headers.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr const char* kAttribute = kFileStateAttribute;
// A value that holds more than validators is not ours.
constexpr std::size_t kMaxValue = 1024;

std::string StateText(std::time_t time, std::int64_t size) {
    return std::to_string(time) + " " + std::to_string(size);
}

// "<time> <size>" of the file as it is now.
std::optional<std::string> StateOf(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    return StateText(st.st_mtime, st.st_size);
}

std::optional<std::string> StateOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return StateOf(st);
}

// The value without line breaks: it is stored one per line, and a header never holds one.
std::string OneLine(std::string_view value) {
    std::string out(value);
    std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
    return std::string(TrimBlanks(out));
}

// The preferred HTTP date form of a time ("Sun, 06 Nov 1994 08:49:37 GMT"), without the
// locale's names.
std::string HttpDateText(std::time_t time) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    if (!::gmtime_r(&time, &tm) || tm.tm_year + 1900 < 0 || tm.tm_year + 1900 > 9999) return {};
    // Put together by hand: formatting it cost a few per cent of the time of a small file.
    std::string text = "Ddd, 00 Mmm 0000 00:00:00 GMT";
    const auto put = [&text](std::size_t at, int value, int digits) {
        for (std::size_t i = at + static_cast<std::size_t>(digits); i-- > at; value /= 10)
            text[i] = static_cast<char>('0' + value % 10);
    };
    text.replace(0, 3, kDays[tm.tm_wday]);
    put(5, tm.tm_mday, 2);
    text.replace(8, 3, kMonths[tm.tm_mon]);
    put(12, tm.tm_year + 1900, 4);
    put(17, tm.tm_hour, 2);
    put(20, tm.tm_min, 2);
    put(23, tm.tm_sec, 2);
    return text;
}

// A Last-Modified in the preferred form is kept as "@<seconds>": the whole value then fits in
// the inode's own room for attributes with most servers' ETags, where a longer one takes a
// block of its own, and changing such a block costs the file system a block freed and taken
// (with "discard" mounts, a wait on the disk) per file. Any other form is kept as sent; one
// that itself reads as "@<digits>" is not kept, as it would come back as another text.
bool IsSeconds(std::string_view text) {
    return text.size() > 1 && text.size() <= 13 && text[0] == '@' &&
           std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string StoredDate(const std::string& lastModified) {
    if (IsSeconds(lastModified)) return {};
    const std::optional<std::time_t> time = ParseHttpTime(lastModified);
    if (time && HttpDateText(*time) == lastModified) return "@" + std::to_string(*time);
    return lastModified;
}

std::string DateOfStored(std::string_view stored) {
    if (!IsSeconds(stored)) return std::string(stored);
    long long seconds = 0;
    std::from_chars(stored.data() + 1, stored.data() + stored.size(), seconds);
    return HttpDateText(static_cast<std::time_t>(seconds));
}

// "<time> <size> <copy> <html>\n<etag>\n<last-modified>"; nullopt when there is nothing to
// keep or it would not fit.
std::optional<std::string> AttributeValue(const std::optional<std::string>& state,
                                          const KeptValidators& validators) {
    if (!state || validators.Empty()) return std::nullopt;
    std::string value = *state + ' ' + static_cast<char>(validators.copy) +
                        (validators.html ? " 1\n" : " 0\n") + OneLine(validators.etag) + "\n" +
                        StoredDate(OneLine(validators.lastModified));
    if (value.size() > kMaxValue) return std::nullopt;
    return value;
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
    found.lastModified = DateOfStored(value.substr(second + 1));
    if (found.Empty()) return std::nullopt;
    return found;
}

bool KeepValidators(const std::string& path, const KeptValidators& validators) {
    const std::optional<std::string> value = AttributeValue(StateOf(path), validators);
    return value && ::setxattr(path.c_str(), kAttribute, value->data(), value->size(), 0) == 0;
}

bool KeepValidators(int fd, const KeptValidators& validators) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    const std::optional<std::string> value = AttributeValue(StateOf(st), validators);
    return value && ::fsetxattr(fd, kAttribute, value->data(), value->size(), 0) == 0;
}

bool KeepValidators(int fd, const KeptValidators& validators, std::time_t time, std::int64_t size) {
    const std::optional<std::string> value = AttributeValue(StateText(time, size), validators);
    return value && ::fsetxattr(fd, kAttribute, value->data(), value->size(), 0) == 0;
}

void DropKeptValidators(const std::string& path) {
    ::removexattr(path.c_str(), kAttribute);
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
