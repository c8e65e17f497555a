#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/settings/app_settings.h"
#include "web_control/api_message.h"
#include "web_control/server_limits.h"

namespace kov {

class EventHub;
class RemoteToken;

// The HTTP server of remote control (libmicrohttpd, on threads of its own). It checks every
// request (token, Host, Origin, size, connection limits, time-outs), serves the web page's
// files at "/", streams the hub's events at /api/v1/events and hands every other /api/v1/
// request to the routes. The routes run on the server's threads; they reach the lists and the
// session only by posting to the main loop.
class RemoteServer {
public:
    using Routes = std::function<ApiResponse(const ApiRequest&)>;

    // pageFolder: the web page's files (index.html, ...); "" serves no page.
    RemoteServer(RemoteSettings settings, const RemoteToken& token, Routes routes, EventHub& hub,
                 std::string pageFolder);
    ~RemoteServer();  // stops
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // Before Start: other limits than the defaults (tests make the times short).
    void SetLimits(const ServerLimits& limits);

    // Binds and starts. False with Error() when the address or port cannot be taken.
    bool Start();
    // Refuses new requests with 503, ends the event streams and waits for the threads.
    void Stop();

    // The port bound (Port 0 in the settings picks a free one: tests).
    int Port() const;
    const std::string& Error() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace kov
