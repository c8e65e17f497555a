#include "net/transfer/proxy_settings.h"

#include <array>
#include <cstdlib>

#include "core/text/text_util.h"
#include "kov_version.h"

namespace kov {
namespace {

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
    {"KOV", "Kov/" KOV_VERSION " (Linux)"},
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
    return HostHasAddress(std::string(h), &IpAddress::IsOnLocalNetwork, stopped, resolver, limit)
               ? 1
               : 0;
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
