#include "mail_control/local_network_url.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "core/text/text_util.h"
#include "model/url_parts.h"
#include "net/transfer/proxy_settings.h"

namespace kov {
namespace {

bool IsLocalV4(std::uint32_t a) {
    const auto in = [a](std::uint32_t net, int bits) {
        const std::uint32_t mask = bits == 0 ? 0 : ~0u << (32 - bits);
        return (a & mask) == net;
    };
    return in(0x00000000, 8) || in(0x0A000000, 8) || in(0x7F000000, 8) || in(0x64400000, 10) ||
           in(0xA9FE0000, 16) || in(0xAC100000, 12) || in(0xC0A80000, 16) || a == 0xFFFFFFFF;
}

bool IsLocalV6(const in6_addr& a) {
    const unsigned char* b = a.s6_addr;
    bool zeroTo10 = true;
    for (int i = 0; i < 10; ++i)
        zeroTo10 = zeroTo10 && b[i] == 0;
    if (zeroTo10 && b[10] == 0xff && b[11] == 0xff) {
        return IsLocalV4(std::uint32_t(b[12]) << 24 | std::uint32_t(b[13]) << 16 |
                         std::uint32_t(b[14]) << 8 | b[15]);
    }
    bool zeroTo15 = zeroTo10 && b[10] == 0 && b[11] == 0 && b[12] == 0 && b[13] == 0 && b[14] == 0;
    if (zeroTo15 && (b[15] == 0 || b[15] == 1)) return true;  // :: and ::1
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) return true;   // fe80::/10
    return (b[0] & 0xfe) == 0xfc;                             // fc00::/7
}

}  // namespace

bool IsLocalNetworkHost(std::string_view host) {
    std::string_view h = TrimBlanks(host);
    while (!h.empty() && h.back() == '.')
        h.remove_suffix(1);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    if (h.empty() || h.find_first_of("{}%*<>[] ") != std::string_view::npos) return true;
    const std::string name(h);
    in_addr v4{};
    if (inet_aton(name.c_str(), &v4) != 0) return IsLocalV4(ntohl(v4.s_addr));
    in6_addr v6{};
    if (inet_pton(AF_INET6, name.c_str(), &v6) == 1) return IsLocalV6(v6);
    if (h.find('.') == std::string_view::npos) return true;
    if (IEquals(h, "localhost") || IEndsWith(h, ".localhost") || IEndsWith(h, ".local")) {
        return true;
    }
    return IsLocalHost(name) != 0;
}

bool IsRemoteUrl(std::string_view url) {
    UrlParts parts;
    if (!SplitUrl(TrimBlanks(url), parts, false)) return false;
    if (parts.scheme != "http" && parts.scheme != "https" && parts.scheme != "ftp") return false;
    return !IsLocalNetworkHost(parts.host);
}

}  // namespace kov
