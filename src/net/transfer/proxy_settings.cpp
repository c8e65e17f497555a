#include "net/transfer/proxy_settings.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/text/text_util.h"

namespace kov {
namespace {

bool IsLocalIpv4(const std::uint8_t* b) {
    if (b[0] == 127 && b[1] == 0 && b[2] == 0) return true;  // "127.0.0."
    if (b[0] == 10) return true;                             // "10."
    if (b[0] == 192 && b[1] == 168) return true;             // "192.168."
    return b[0] == 172 && b[1] >= 16 && b[1] <= 31;          // 172.16 .. 172.31
}

bool IsLocalIpv6(const std::uint8_t* b) {
    static constexpr std::array<std::uint8_t, 12> kMappedPrefix = {0, 0, 0, 0, 0,    0,
                                                                   0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(b, kMappedPrefix.data(), kMappedPrefix.size()) == 0) {
        return IsLocalIpv4(b + 12);
    }
    static constexpr std::array<std::uint8_t, 16> kLoopback = {0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 0, 1};
    if (std::memcmp(b, kLoopback.data(), kLoopback.size()) == 0) return true;
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) return true;  // link-local fe80::/10
    return (b[0] & 0xfe) == 0xfc;                            // unique-local fc00::/7
}

bool IsLocalAddress(const addrinfo* ai) {
    if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
        sockaddr_in sin{};
        std::memcpy(&sin, ai->ai_addr, sizeof sin);
        std::uint8_t bytes[4];
        std::memcpy(bytes, &sin.sin_addr, 4);
        return IsLocalIpv4(bytes);
    }
    if (ai->ai_family == AF_INET6 && ai->ai_addrlen >= sizeof(sockaddr_in6)) {
        sockaddr_in6 sin6{};
        std::memcpy(&sin6, ai->ai_addr, sizeof sin6);
        return IsLocalIpv6(sin6.sin6_addr.s6_addr);
    }
    return false;
}

// 1 when a numeric host is a local address, 0 when it is another, -1 when it is no address.
int NumericHostIsLocal(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return -1;
    int local = 0;
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (IsLocalAddress(ai)) {
            local = 1;
            break;
        }
    }
    ::freeaddrinfo(list);
    return local;
}

// The value of the first of the two variables that is set and not empty.
std::string_view Env(const char* lower, const char* upper) {
    for (const char* name : {lower, upper}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

bool IsSeparator(char c) {
    return c == ',' || c == ' ' || c == '\t';
}

struct UserAgentEntry {
    std::string_view label;
    const char* text;
};

// Indexed by StdUserAgent - 1. The Opera text lacked its closing parenthesis, which made it
// a malformed product comment; it is sent complete.
constexpr std::array<UserAgentEntry, kLastStdUserAgent> kUserAgents = {{
    {"KOV", "Mozilla/4.0 (compatible, Kov, Windows 9x/NT)"},
    {"MSIE 6.x", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)"},
    {"MSIE 5.5", "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"},
    {"MSIE 5.0", kProberUserAgent},
    {"Opera 5.x", "Mozilla/4.0 (compatible; Opera 5.0; Windows 98)"},
    {"Netscape 4.x", "Mozilla/4.06 [en] (WinNT;I)"},
}};

AccessChoice Choose(const AppSettings& settings) {
    AccessChoice choice;
    if (settings.ProxyFromIE != 0) {
        choice.access = AccessType::Preconfigured;
    } else if (settings.Proxy != 0 && !settings.ProxyAddress.empty()) {
        choice.access = AccessType::NamedProxy;
        choice.proxyName = settings.ProxyAddress;
        choice.proxyUser = settings.ProxyUser;
        choice.proxyPassword = settings.ProxyPsw;
    }
    return choice;
}

}  // namespace

int IsLocalHost(std::string_view host, const std::function<bool()>& stopped,
                const HostResolver& resolver, std::chrono::milliseconds limit) {
    std::string_view h = TrimBlanks(host);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    if (h.empty()) return 0;
    const std::string name(h);
    // A literal address is judged as it is: a missing reverse entry must not make a LAN
    // address "remote", and no DNS traffic is needed for it.
    const int numeric = NumericHostIsLocal(name);
    if (numeric >= 0) return numeric;
    // A name needs DNS, which may not answer: the wait is bounded and a stop ends it.
    HostAddresses addresses;
    if (LookUpHostBounded(name, addresses, limit, stopped, resolver) != LookupStatus::Found) {
        return 0;
    }
    for (const auto& a : addresses) {
        if ((a.size() == 4 && IsLocalIpv4(a.data())) || (a.size() == 16 && IsLocalIpv6(a.data())))
            return 1;
    }
    return 0;
}

bool GetSystemProxy(int protocol, std::string& out) {
    std::string_view value;
    switch (protocol) {
        case kSystemProxyHttp:
            value = Env("http_proxy", "HTTP_PROXY");
            break;
        case kSystemProxyFtp:
            value = Env("ftp_proxy", "FTP_PROXY");
            break;
        case kSystemProxyHttps:
            value = Env("https_proxy", "HTTPS_PROXY");
            break;
        default:
            break;
    }
    if (value.empty()) value = Env("all_proxy", "ALL_PROXY");
    value = TrimBlanks(value);
    if (IStartsWith(value, "http://")) value.remove_prefix(7);
    while (!value.empty() && value.back() == '/')
        value.remove_suffix(1);
    out.assign(value);
    return !out.empty();
}

bool NoProxyMatches(std::string_view host, std::string_view noProxyList) {
    std::string_view h = TrimBlanks(host);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    while (!h.empty() && h.back() == '.')
        h.remove_suffix(1);
    std::size_t pos = 0;
    while (pos < noProxyList.size()) {
        if (IsSeparator(noProxyList[pos])) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < noProxyList.size() && !IsSeparator(noProxyList[end]))
            ++end;
        std::string_view entry = noProxyList.substr(pos, end - pos);
        pos = end;
        if (entry == "*") return true;
        if (entry.front() == '[') {
            const std::size_t close = entry.find(']');
            entry = close == std::string_view::npos ? entry.substr(1) : entry.substr(1, close - 1);
        } else if (entry.find(':') == entry.rfind(':')) {
            // One colon: host:port. More than one: a bare IPv6 address, kept whole.
            entry = entry.substr(0, entry.find(':'));
        }
        while (!entry.empty() && entry.front() == '.')
            entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == '.')
            entry.remove_suffix(1);
        if (entry.empty() || h.empty()) continue;
        if (IEquals(h, entry)) return true;
        if (h.size() > entry.size() && h[h.size() - entry.size() - 1] == '.' &&
            IEndsWith(h, entry)) {
            return true;
        }
    }
    return false;
}

std::string SystemNoProxy() {
    return std::string(Env("no_proxy", "NO_PROXY"));
}

bool FtpViaProxy(const AppSettings& settings) {
    if (settings.ProxyFromIE != 0) {
        std::string proxy;
        return GetSystemProxy(kSystemProxyFtp, proxy);
    }
    return settings.FtpProxy != 0 && !settings.FtpProxyAddress.empty();
}

AccessChoice ChooseAccess(const AppSettings& settings, bool isLocal) {
    if (isLocal && settings.BypassProxyLocal != 0) return AccessChoice{};
    return Choose(settings);
}

AccessChoice ChooseProberAccess(const AppSettings& settings) {
    return Choose(settings);
}

std::string UserAgent(const AppSettings& settings) {
    const int value = settings.StdUserAgent;
    if (value >= kFirstStdUserAgent && value <= kLastStdUserAgent) {
        return kUserAgents[static_cast<std::size_t>(value - 1)].text;
    }
    std::string text;
    for (char c : settings.UserAgent) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) text += c;
    }
    text = std::string(TrimBlanks(text));
    if (text.empty()) return kUserAgents[0].text;
    return text;
}

std::string_view UserAgentLabel(int value) {
    if (value < kFirstStdUserAgent || value > kLastStdUserAgent) return {};
    return kUserAgents[static_cast<std::size_t>(value - 1)].label;
}

}  // namespace kov
