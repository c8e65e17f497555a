#include "web_control/remote_server.h"

#include <microhttpd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "web_control/address_quota.h"
#include "web_control/auth_throttle.h"
#include "web_control/client_address.h"
#include "web_control/event_hub.h"
#include "web_control/event_stream.h"
#include "web_control/listen_socket.h"
#include "web_control/page_files.h"
#include "web_control/request_guard.h"
#include "web_control/server_response.h"
#include "web_control/slow_client_watch.h"

namespace kov {

namespace {

// One request while it is read: where it goes and its body so far.
struct Exchange {
    RequestTarget target = RequestTarget::Api;
    ClientAddress client;
    std::string body;
    bool answered = false;  // a refusal went out before the body was read
    bool tooLarge = false;  // the body grew over the limit while it was read
};

std::optional<std::string> HeaderOf(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

RequestHead HeadOf(MHD_Connection* connection, const char* url, const char* method) {
    RequestHead head;
    head.method = method;
    head.path = url;
    head.host = HeaderOf(connection, MHD_HTTP_HEADER_HOST);
    head.origin = HeaderOf(connection, MHD_HTTP_HEADER_ORIGIN);
    head.authorization = HeaderOf(connection, MHD_HTTP_HEADER_AUTHORIZATION);
    if (const auto length = HeaderOf(connection, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(length->c_str(), &end, 10);
        if (end != length->c_str() && *end == '\0') head.contentLength = value;
    }
    return head;
}

MHD_Result AddQuery(void* cls, MHD_ValueKind, const char* key, const char* value) {
    (*static_cast<std::map<std::string, std::string>*>(cls))[key] = value ? value : "";
    return MHD_YES;
}

ApiResponse ShuttingDown() {
    return ApiResponse::Error(503, "shutting down", "the program is stopping");
}

// How long Stop lets requests in progress finish (they see the stop flag) before it closes
// their connections.
constexpr std::chrono::seconds kStopGrace{2};

}  // namespace

struct RemoteServer::State {
    State(RemoteSettings settings, const RemoteToken& token, Routes routes, EventHub& hub,
          std::string pageFolder)
        : settings(std::move(settings)),
          token(token),
          routes(std::move(routes)),
          hub(hub),
          page(std::move(pageFolder)) {}

    RemoteSettings settings;
    const RemoteToken& token;
    Routes routes;
    EventHub& hub;
    PageFiles page;
    ServerLimits limits;
    std::unique_ptr<RequestGuard> guard;
    std::unique_ptr<AuthThrottle> throttle;
    std::unique_ptr<SlowClientWatch> watch;
    std::unique_ptr<AddressQuota> quota;
    std::atomic<bool> stopping{false};
    std::atomic<int> active{0};  // requests between their head and their answer's end
    MHD_Daemon* daemon = nullptr;
    int port = 0;
    std::string error;

    static MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url,
                                const char* method, const char*, const char* data,
                                std::size_t* size, void** context);
    static void OnCompleted(void* cls, MHD_Connection* connection, void** context,
                            MHD_RequestTerminationCode);
    static void OnConnection(void* cls, MHD_Connection* connection, void**,
                             MHD_ConnectionNotificationCode code);
    static MHD_Result OnAccept(void* cls, const sockaddr* address, socklen_t);

    MHD_Result Begin(MHD_Connection* connection, const char* url, const char* method,
                     Exchange& exchange);
    MHD_Result Collect(Exchange& exchange, const char* data, std::size_t size);
    MHD_Result Finish(MHD_Connection* connection, const char* url, const char* method,
                      Exchange& exchange);
    MHD_Result ServePage(MHD_Connection* connection, const std::string& path);
    MHD_Result ServeEvents(MHD_Connection* connection);
    void WaitUnlessStopping(std::chrono::milliseconds delay) const;
};

MHD_Result RemoteServer::State::OnRequest(void* cls, MHD_Connection* connection, const char* url,
                                          const char* method, const char*, const char* data,
                                          std::size_t* size, void** context) {
    auto* state = static_cast<State*>(cls);
    if (*context == nullptr) {
        auto* exchange = new Exchange;
        *context = exchange;
        ++state->active;
        return state->Begin(connection, url, method, *exchange);
    }
    auto& exchange = *static_cast<Exchange*>(*context);
    if (*size > 0) {
        const std::size_t got = *size;
        *size = 0;
        return state->Collect(exchange, data, got);
    }
    return state->Finish(connection, url, method, exchange);
}

void RemoteServer::State::OnCompleted(void* cls, MHD_Connection* connection, void** context,
                                      MHD_RequestTerminationCode) {
    auto* state = static_cast<State*>(cls);
    if (*context != nullptr) --state->active;
    delete static_cast<Exchange*>(*context);
    *context = nullptr;
    state->watch->Waiting(connection);
}

void RemoteServer::State::OnConnection(void* cls, MHD_Connection* connection, void**,
                                       MHD_ConnectionNotificationCode code) {
    auto* state = static_cast<State*>(cls);
    const MHD_ConnectionInfo* peer =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    const ClientAddress client = ClientAddress::Of(peer ? peer->client_addr : nullptr);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info != nullptr) state->watch->Opened(connection, info->connect_fd);
        if (!client.loopback) state->quota->Opened(client.text);
    } else {
        state->watch->Closed(connection);
        if (!client.loopback) state->quota->Closed(client.text);
    }
}

MHD_Result RemoteServer::State::OnAccept(void* cls, const sockaddr* address, socklen_t) {
    const ClientAddress client = ClientAddress::Of(address);
    return client.loopback || static_cast<State*>(cls)->quota->Admits(client.text) ? MHD_YES
                                                                                   : MHD_NO;
}

void RemoteServer::State::WaitUnlessStopping(std::chrono::milliseconds delay) const {
    const auto until = std::chrono::steady_clock::now() + delay;
    while (!stopping.load() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::min(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 until - std::chrono::steady_clock::now()),
                                             std::chrono::milliseconds(50)));
    }
}

MHD_Result RemoteServer::State::Begin(MHD_Connection* connection, const char* url,
                                      const char* method, Exchange& exchange) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    exchange.client = ClientAddress::Of(info ? info->client_addr : nullptr);
    if (stopping.load()) {
        exchange.answered = true;
        watch->Answering(connection);
        return SendError(connection, ShuttingDown());
    }
    const RequestHead head = HeadOf(connection, url, method);
    const GuardVerdict verdict = guard->Check(head);
    // Only an API call's body is still to come; everything else is answered now.
    if (verdict.status != 0 || verdict.target != RequestTarget::Api) watch->Answering(connection);
    if (verdict.status != 0) {
        if (verdict.badToken) {
            WaitUnlessStopping(
                throttle->Failure(exchange.client.text, std::chrono::steady_clock::now()));
        }
        exchange.answered = true;
        return SendError(connection,
                         ApiResponse::Error(verdict.status, verdict.error, verdict.cause));
    }
    exchange.target = verdict.target;
    if (verdict.target == RequestTarget::Page) {
        exchange.answered = true;
        return ServePage(connection, head.path);
    }
    throttle->Success(exchange.client.text);
    if (verdict.target == RequestTarget::Events) {
        exchange.answered = true;
        return ServeEvents(connection);
    }
    return MHD_YES;  // the body follows
}

MHD_Result RemoteServer::State::Collect(Exchange& exchange, const char* data, std::size_t size) {
    if (exchange.answered || exchange.tooLarge) return MHD_YES;  // read and dropped
    if (exchange.body.size() + size > limits.maxBody) {
        // A body sent without its length (chunked): the rest is read and dropped, so that the
        // client is still reading when the refusal comes (the request deadline bounds this).
        exchange.tooLarge = true;
        exchange.body.clear();
        return MHD_YES;
    }
    exchange.body.append(data, size);
    return MHD_YES;
}

MHD_Result RemoteServer::State::Finish(MHD_Connection* connection, const char* url,
                                       const char* method, Exchange& exchange) {
    if (exchange.answered) return MHD_YES;
    exchange.answered = true;
    watch->Answering(connection);
    if (exchange.tooLarge) {
        return SendError(
            connection,
            ApiResponse::Error(413, "body too large", RequestGuard::TooLargeCause(limits.maxBody)));
    }
    if (stopping.load()) return SendError(connection, ShuttingDown());
    ApiRequest request;
    request.method = method;
    request.path = url;
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &AddQuery, &request.query);
    request.body = std::move(exchange.body);
    request.ifNoneMatch = HeaderOf(connection, MHD_HTTP_HEADER_IF_NONE_MATCH).value_or("");
    request.fromLoopback = exchange.client.loopback;
    request.stopping = &stopping;
    ApiResponse response;
    try {
        response = routes(request);
    } catch (const std::exception& failure) {
        // A route's fault must not take the server's thread down with it.
        response = ApiResponse::Error(500, "internal error", failure.what());
    }
    return SendJson(connection, std::move(response));
}

MHD_Result RemoteServer::State::ServePage(MHD_Connection* connection, const std::string& path) {
    const auto file = page.Read(RequestGuard::PageFile(path));
    if (!file) {
        return SendError(connection, ApiResponse::Error(404, "not found", "no such file: " + path));
    }
    return SendPageFile(connection, std::move(file->body), file->contentType);
}

MHD_Result RemoteServer::State::ServeEvents(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    auto* stream =
        new EventStream(hub.Subscribe(), stopping, limits.keepAlive, info ? info->connect_fd : -1);
    MHD_Response* response = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 32 * 1024,
        [](void* cls, std::uint64_t, char* buffer, std::size_t max) -> ssize_t {
            return static_cast<EventStream*>(cls)->Read(buffer, max);
        },
        stream, [](void* cls) { delete static_cast<EventStream*>(cls); });
    if (response == nullptr) {
        delete stream;
        return MHD_NO;
    }
    return SendStream(connection, response);
}

RemoteServer::RemoteServer(RemoteSettings settings, const RemoteToken& token, Routes routes,
                           EventHub& hub, std::string pageFolder)
    : m_state(std::make_unique<State>(std::move(settings), token, std::move(routes), hub,
                                      std::move(pageFolder))) {}

RemoteServer::~RemoteServer() {
    Stop();
}

void RemoteServer::SetLimits(const ServerLimits& limits) {
    m_state->limits = limits;
}

bool RemoteServer::Start() {
    State& state = *m_state;
    if (state.daemon != nullptr) return true;
    ListenSocket socket = ListenSocket::Open(state.settings.Address, state.settings.Port);
    if (socket.fd < 0) {
        state.error = socket.error;
        return false;
    }
    state.port = socket.port;
    state.stopping = false;
    state.guard = std::make_unique<RequestGuard>(state.settings, state.token, socket.port,
                                                 state.limits.maxBody);
    state.throttle =
        std::make_unique<AuthThrottle>(state.limits.failureDelay, state.limits.failureDelayCap);
    state.quota = std::make_unique<AddressQuota>(state.limits.connectionsPerAddress);
    state.watch = std::make_unique<SlowClientWatch>(state.limits.requestDeadline);
    state.watch->Start();
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_ITC;
    if (socket.ipv6) flags |= MHD_USE_IPv6;
    state.daemon = MHD_start_daemon(
        flags, 0, &State::OnAccept, &state, &State::OnRequest, &state, MHD_OPTION_LISTEN_SOCKET,
        socket.fd, MHD_OPTION_CONNECTION_LIMIT, state.limits.connections,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(state.limits.idleTimeout.count()),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(64 * 1024),
        MHD_OPTION_NOTIFY_COMPLETED, &State::OnCompleted, &state, MHD_OPTION_NOTIFY_CONNECTION,
        &State::OnConnection, &state, MHD_OPTION_END);
    if (state.daemon == nullptr) {
        ::close(socket.fd);
        state.watch->Stop();
        state.error =
            "the remote-control server could not start on port " + std::to_string(socket.port);
        return false;
    }
    return true;
}

void RemoteServer::Stop() {
    State& state = *m_state;
    if (state.daemon == nullptr) return;
    // Streams and waiting requests see the flag within a short wait; then no connection is
    // taken any more and the threads are joined.
    state.stopping = true;
    const MHD_socket listening = MHD_quiesce_daemon(state.daemon);
    if (listening != MHD_INVALID_SOCKET) ::close(listening);
    const auto until = std::chrono::steady_clock::now() + kStopGrace;
    while (state.active.load() > 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    MHD_stop_daemon(state.daemon);
    state.daemon = nullptr;
    state.watch->Stop();
}

int RemoteServer::Port() const {
    return m_state->port;
}

const std::string& RemoteServer::Error() const {
    return m_state->error;
}

}  // namespace kov
