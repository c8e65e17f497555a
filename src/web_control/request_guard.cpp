#include "web_control/request_guard.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "web_control/remote_token.h"

namespace kov {

namespace {

constexpr std::string_view kApiPrefix = "/api/v1/";
constexpr std::string_view kEventsPath = "/api/v1/events";

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool IsIpv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// "name", "name:port", "[v6]" or "[v6]:port" into its name and port; false when malformed.
bool SplitHost(std::string_view host, std::string& name, std::string& port) {
    std::size_t end = 0;
    if (!host.empty() && host.front() == '[') {
        end = host.find(']');
        if (end == std::string_view::npos) return false;
        ++end;
    } else {
        end = std::min(host.find(':'), host.size());
    }
    name = Lower(host.substr(0, end));
    const std::string_view rest = host.substr(end);
    if (rest.empty()) {
        port.clear();
    } else if (rest.front() == ':' && AllDigits(rest.substr(1))) {
        port = std::string(rest.substr(1));
    } else {
        return false;
    }
    return !name.empty();
}

std::string MachineName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return Lower(name);
}

GuardVerdict Refuse(int status, std::string error, std::string cause) {
    GuardVerdict verdict;
    verdict.status = status;
    verdict.error = std::move(error);
    verdict.cause = std::move(cause);
    return verdict;
}

// The token of "Bearer TOKEN" (the scheme in any case); nullopt for another scheme.
std::optional<std::string_view> BearerToken(std::string_view value) {
    constexpr std::string_view kScheme = "bearer ";
    if (value.size() < kScheme.size() || Lower(value.substr(0, kScheme.size())) != kScheme) {
        return std::nullopt;
    }
    value.remove_prefix(kScheme.size());
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ')
        value.remove_suffix(1);
    return value;
}

}  // namespace

RequestGuard::RequestGuard(const RemoteSettings& settings, const RemoteToken& token, int port,
                           std::size_t maxBody)
    : m_token(token), m_port(std::to_string(port)), m_maxBody(maxBody) {
    std::string address = Lower(settings.Address);
    if (address.find(':') != std::string::npos && address.front() != '[') {
        address = "[" + address + "]";
    }
    m_anyAddress = address.empty() || address == "0.0.0.0" || address == "[::]";
    m_names = {"localhost", "127.0.0.1", "[::1]", address};
    if (std::string machine = MachineName(); !machine.empty()) m_names.push_back(machine);
}

bool RequestGuard::HostAllowed(std::string_view host) const {
    std::string name;
    std::string port;
    if (!SplitHost(host, name, port)) return false;
    if (!port.empty() && port != m_port) return false;
    if (std::find(m_names.begin(), m_names.end(), name) != m_names.end()) return true;
    // A rebound name always arrives as a name; an address literal names this host when the
    // server listens on all of them.
    return m_anyAddress && (IsIpv4(name) || name.front() == '[');
}

bool RequestGuard::OriginAllowed(std::string_view origin, std::string_view host) {
    return Lower(origin) == "http://" + Lower(host);
}

std::string RequestGuard::TooLargeCause(std::size_t maxBody) {
    return "more than " + std::to_string(maxBody) + " bytes in one request";
}

std::string RequestGuard::PageFile(std::string_view path) {
    if (path == "/") return "index.html";
    if (path.size() < 2 || path.front() != '/' || path[1] == '.') return {};
    const std::string_view name = path.substr(1);
    const bool plain = std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '.' || c == '-' || c == '_';
    });
    return plain ? std::string(name) : std::string();
}

std::optional<RequestTarget> RequestGuard::TargetOf(std::string_view path) const {
    if (path == kEventsPath) return RequestTarget::Events;
    if (path.starts_with(kApiPrefix) || path == kApiPrefix.substr(0, kApiPrefix.size() - 1)) {
        return RequestTarget::Api;
    }
    if (!PageFile(path).empty()) return RequestTarget::Page;
    return std::nullopt;
}

GuardVerdict RequestGuard::Check(const RequestHead& head) const {
    const std::optional<RequestTarget> target = TargetOf(head.path);
    if (!target) return Refuse(404, "not found", "no such path: " + head.path);
    if (!head.host || !HostAllowed(*head.host)) {
        return Refuse(403, "forbidden host", "the Host header names no address of this server");
    }
    if (head.origin && !OriginAllowed(*head.origin, *head.host)) {
        return Refuse(403, "forbidden origin", "the request comes from another site's page");
    }
    const bool reads = head.method == "GET" || head.method == "HEAD";
    if (*target != RequestTarget::Api && !reads) {
        return Refuse(405, "method not allowed", head.method + " " + head.path);
    }
    if (*target != RequestTarget::Page) {
        const auto token = head.authorization ? BearerToken(*head.authorization) : std::nullopt;
        if (!token) return Refuse(401, "unauthorized", "no \"Authorization: Bearer\" token");
        if (!m_token.Matches(*token)) {
            GuardVerdict verdict = Refuse(401, "unauthorized", "wrong token");
            verdict.badToken = true;
            return verdict;
        }
    }
    if (head.contentLength && *head.contentLength > m_maxBody) {
        return Refuse(413, "body too large", TooLargeCause(m_maxBody));
    }
    GuardVerdict pass;
    pass.target = *target;
    return pass;
}

}  // namespace kov
