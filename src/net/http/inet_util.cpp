#include "net/http/inet_util.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "core/text/text_util.h"
#include "net/http/inet.h"

namespace kov {

namespace {

std::atomic<bool> g_connected{true};

// Lower case wins over upper case, as in most tools that read these variables.
std::string ReadProxyVariable(std::string_view lowerName) {
    std::string name(lowerName);
    if (const char* value = std::getenv(name.c_str()); value != nullptr && *value != '\0')
        return value;
    for (char& c : name)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (const char* value = std::getenv(name.c_str()); value != nullptr && *value != '\0')
        return value;
    return {};
}

struct UrlHandle {
    CURLU* handle = curl_url();
    ~UrlHandle() { curl_url_cleanup(handle); }
};

// The scheme of an absolute URL ("mailto" of "mailto:a@b"), empty when text has none.
std::string_view SchemeOf(std::string_view text) {
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    for (std::size_t i = 0; i < colon; ++i) {
        char c = text[i];
        bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!alpha && !(i > 0 && other)) return {};
    }
    return text.substr(0, colon);
}

// libcurl escapes spaces and bytes above 0x7F of a relative reference. They are swapped for
// a marker that it keeps as it is and swapped back afterwards.
bool NeedsMarker(char c) {
    return c == ' ' || static_cast<unsigned char>(c) >= 0x80;
}

std::string ChooseMarker(std::string_view a, std::string_view b) {
    for (unsigned n = 0;; ++n) {
        std::string marker = "~k" + std::to_string(n) + "~";
        if (a.find(marker) == std::string_view::npos && b.find(marker) == std::string_view::npos)
            return marker;
    }
}

std::string HideBytes(std::string_view text, const std::string& marker) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (char c : text) {
        if (!NeedsMarker(c)) {
            out += c;
            continue;
        }
        auto byte = static_cast<unsigned char>(c);
        out += marker;
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

std::string RestoreBytes(std::string_view text, const std::string& marker) {
    std::string out;
    while (!text.empty()) {
        std::size_t at = text.find(marker);
        if (at == std::string_view::npos || at + marker.size() + 2 > text.size()) {
            out += text;
            break;
        }
        out += text.substr(0, at);
        auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
        const char* hex = text.data() + at + marker.size();
        out += static_cast<char>(digit(hex[0]) * 16 + digit(hex[1]));
        text.remove_prefix(at + marker.size() + 2);
    }
    return out;
}

}  // namespace

bool InternetGlobalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; });
    return ok;
}

void SetConnectedState(bool connected) {
    g_connected.store(connected);
}

bool GetConnectedState() {
    return g_connected.load();
}

std::string EscapeForRequest(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

EnvironmentProxy ProxyFromEnvironment(std::string_view scheme) {
    EnvironmentProxy result;
    if (scheme.empty() || IEquals(scheme, "file")) return result;
    result.proxy = ReadProxyVariable(ToLowerAscii(scheme) + "_proxy");
    if (result.proxy.empty()) result.proxy = ReadProxyVariable("all_proxy");
    result.noProxy = ReadProxyVariable("no_proxy");
    return result;
}

std::optional<std::string> CombineUrl(std::string_view base, std::string_view relative) {
    if (!InternetGlobalInit()) return std::nullopt;
    // The base's fragment plays no part. The library joins a path to a fragment that holds a
    // '/' ("a/b#x/y/" and "s" gave "a/b#x/y/s"), so a page's <base> could hand every link a
    // fragment of its choosing, markup included.
    base = base.substr(0, base.find('#'));
    // Keep what the page wrote: no escaping, spaces allowed, any scheme.
    constexpr unsigned kFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE;
    std::string rel(TrimBlanks(relative));
    if (rel.find('\0') != std::string::npos || base.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string relScheme(SchemeOf(rel));
    if (!relScheme.empty() && !std::string_view(rel).substr(relScheme.size()).starts_with("://")) {
        // "http:x.html" on an http page is relative as browsers read it; "mailto:a@b" is
        // a URL of its own.
        if (!IEquals(relScheme, SchemeOf(base))) return rel;
        rel.erase(0, relScheme.size() + 1);
        relScheme.clear();
    }

    UrlHandle url;
    if (url.handle == nullptr) return std::nullopt;
    std::string baseText(base);
    if (!baseText.empty() &&
        curl_url_set(url.handle, CURLUPART_URL, baseText.c_str(), kFlags) != CURLUE_OK) {
        // Without a usable base only an absolute address will do.
        baseText.clear();
    }
    if (baseText.empty() && relScheme.empty()) return std::nullopt;
    std::string marker = ChooseMarker(base, rel);
    // Only a path reference is escaped; an address with a host is kept (or refused) as is.
    bool pathOnly = relScheme.empty() && !rel.starts_with("//");
    std::string hidden = pathOnly ? HideBytes(rel, marker) : rel;
    // "#f" names a place in the base itself; the library would put it after the base's folder.
    const bool fragmentOnly = pathOnly && hidden.starts_with('#');
    if (curl_url_set(url.handle, fragmentOnly ? CURLUPART_FRAGMENT : CURLUPART_URL,
                     hidden.c_str() + (fragmentOnly ? 1 : 0), kFlags) != CURLUE_OK)
        return std::nullopt;
    char* combined = nullptr;
    if (curl_url_get(url.handle, CURLUPART_URL, &combined, 0) != CURLUE_OK) return std::nullopt;
    std::string result = RestoreBytes(combined, marker);
    curl_free(combined);
    return result;
}

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The digits at text[at, at + count) as a number; -1 when one is not a digit.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

template <std::size_t N>
int NameIndex(std::string_view name, const char* const (&names)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (name == names[i]) return static_cast<int>(i);
    }
    return -1;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = year / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return std::int64_t{era} * 146097 + dayOfEra - 719468;
}

// "Sun, 06 Nov 1994 08:49:37 GMT", the form every current server sends, read without the
// general parser; nullopt for anything else (or an impossible date), which that parser judges.
std::optional<std::time_t> ParsePreferredHttpTime(std::string_view text) {
    if (text.size() != 29 || text.substr(3, 2) != ", " || text[7] != ' ' || text[11] != ' ' ||
        text[16] != ' ' || text[19] != ':' || text[22] != ':' || text.substr(25) != " GMT" ||
        NameIndex(text.substr(0, 3), kDayNames) < 0) {
        return std::nullopt;
    }
    const int day = Digits(text, 5, 2);
    const int month = NameIndex(text.substr(8, 3), kMonthNames) + 1;
    const int year = Digits(text, 12, 4);
    const int hour = Digits(text, 17, 2);
    const int minute = Digits(text, 20, 2);
    const int second = Digits(text, 23, 2);
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (month < 1 || year < 1970 || day < 1 || day > kMonthDays[month - 1] ||
        (month == 2 && day == 29 && !leap) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return std::nullopt;
    }
    return static_cast<std::time_t>(DaysFromCivil(year, month, day) * 86400 + hour * 3600 +
                                    minute * 60 + second);
}

}  // namespace

std::optional<std::time_t> ParseHttpTime(std::string_view text) {
    // Three reads per file: the general parser's scanf is felt with many small files.
    if (auto preferred = ParsePreferredHttpTime(TrimBlanks(text))) return preferred;
    std::string copy(TrimBlanks(text));
    if (copy.empty() || copy.find('\0') != std::string::npos) return std::nullopt;
    // Digits are needed for a date; curl_getdate reads "now"-relative words otherwise.
    if (copy.find_first_of("0123456789") == std::string::npos) return std::nullopt;
    std::time_t parsed = curl_getdate(copy.c_str(), nullptr);
    if (parsed == -1) return std::nullopt;
    return parsed;
}

std::string FormatHttpTime(std::time_t t) {
    std::tm c{};
    if (::gmtime_r(&t, &c) == nullptr) return {};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDayNames[c.tm_wday],
                  c.tm_mday, kMonthNames[c.tm_mon], c.tm_year + 1900, c.tm_hour, c.tm_min,
                  c.tm_sec);
    return text;
}

}  // namespace kov
