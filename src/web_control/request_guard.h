#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/app_settings.h"

namespace kov {

class RemoteToken;

// What a request is after: a file of the web page, the event stream or another API call.
enum class RequestTarget { Page, Events, Api };

// The parts of a request the guard judges (its head; the body is judged by its size alone).
struct RequestHead {
    std::string method;
    std::string path;  // decoded, without the query
    std::optional<std::string> host;
    std::optional<std::string> origin;
    std::optional<std::string> authorization;
    std::optional<std::uint64_t> contentLength;
};

// Status 0 lets the request through; any other is the refusal to send.
struct GuardVerdict {
    int status = 0;
    std::string error;
    std::string cause;
    RequestTarget target = RequestTarget::Api;
    bool badToken = false;  // the caller showed no token or a wrong one
};

// Decides, from a request's head alone, whether the server answers it: the path must be known,
// the Host one of this machine's names (a page on another site that resolves its own name to
// this machine must not reach the API), a browser's Origin this server itself, and an API call
// must show the token.
class RequestGuard {
public:
    RequestGuard(const RemoteSettings& settings, const RemoteToken& token, int port,
                 std::size_t maxBody);

    GuardVerdict Check(const RequestHead& head) const;

    bool HostAllowed(std::string_view host) const;
    // origin must name the server as the browser reached it: "http://" + the Host sent.
    static bool OriginAllowed(std::string_view origin, std::string_view host);
    static std::string TooLargeCause(std::size_t maxBody);
    // "/" and plain file names are the page's; "" when path is neither.
    static std::string PageFile(std::string_view path);

private:
    std::optional<RequestTarget> TargetOf(std::string_view path) const;

    const RemoteToken& m_token;
    std::vector<std::string> m_names;  // lower case, IPv6 addresses in brackets
    std::string m_port;
    bool m_anyAddress = false;  // listening on every address: any address literal is this host
    std::size_t m_maxBody;
};

}  // namespace kov
