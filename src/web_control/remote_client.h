#pragma once

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/settings/app_settings.h"

namespace kov {

// What one call of the remote-control API came back with. status 0: no answer at all (the
// server is not running, refused the connection or timed out); transport then says why.
struct RemoteReply {
    int status = 0;
    nlohmann::json body;  // null for an empty or non-JSON body
    std::string text;     // the body as received
    std::string transport;

    bool Answered() const { return status != 0; }
    bool Ok() const { return status >= 200 && status < 300; }
    // "error: cause" of an error body, else the status or the transport's reason.
    std::string ErrorText() const;
};

// A small client of a running program's remote-control API on this machine, for the commands
// that hand their changes over instead of being refused. Short time-outs: a server that does
// not answer at once is taken for one that is not there.
class RemoteClient {
public:
    RemoteClient(const RemoteSettings& settings, std::string token);

    // GET/POST/PATCH/DELETE path ("/api/v1/items"); body is sent as JSON unless null.
    RemoteReply Call(const std::string& method, const std::string& path,
                     const nlohmann::json& body = nullptr) const;

    // Reads the event stream at path ("/api/v1/events"), handing each event to onEvent, until
    // onEvent returns false, stop() returns true (asked about once a second at least) or the
    // stream ends. No overall time-out: a session may run for hours. The reply's status is the
    // stream's (200 while it ran); status 0 when it could not be opened.
    RemoteReply Follow(const std::string& path,
                       const std::function<bool(const std::string&, const std::string&)>& onEvent,
                       const std::function<bool()>& stop) const;

    // The base URL the calls go to: a server listening on every address (0.0.0.0, ::) is
    // reached on loopback, an IPv6 address goes in brackets.
    static std::string BaseUrl(const RemoteSettings& settings);

private:
    class Transfer;

    std::string m_base;
    std::string m_token;
};

}  // namespace kov
