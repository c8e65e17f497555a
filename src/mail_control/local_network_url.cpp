#include "mail_control/local_network_url.h"

#include <string>

#include "core/text/text_util.h"
#include "model/url_parts.h"
#include "net/address.h"

namespace kov {

bool IsLocalNetworkHost(std::string_view host) {
    std::string_view h = TrimBlanks(host);
    while (!h.empty() && h.back() == '.')
        h.remove_suffix(1);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    if (h.empty() || h.find_first_of("{}%*<>[] ") != std::string_view::npos) return true;
    const std::string name(h);
    if (const auto literal = IpAddress::Parse(name)) return literal->IsClosedToStrangers();
    if (h.find('.') == std::string_view::npos) return true;
    if (IEquals(h, "localhost") || IEndsWith(h, ".localhost") || IEndsWith(h, ".local")) {
        return true;
    }
    return HostHasAddress(name, &IpAddress::IsClosedToStrangers, {}, {});
}

bool IsRemoteUrl(std::string_view url) {
    UrlParts parts;
    if (!SplitUrl(TrimBlanks(url), parts, false)) return false;
    if (parts.scheme != "http" && parts.scheme != "https" && parts.scheme != "ftp") return false;
    return !IsLocalNetworkHost(parts.host);
}

}  // namespace kov
