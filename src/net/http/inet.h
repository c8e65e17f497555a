#pragma once

// The Internet client: sessions, HTTP connections and requests, and open-by-URL streams over
// libcurl. Every call reports failure by its result; an error raised inside libcurl becomes the
// pseudo status kStatusClientError with libcurl's message text. One thread uses an object at a
// time; different objects may be used on different threads at once.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kov {

// The status a request reports when the client itself failed (no HTTP status was received).
inline constexpr int kStatusClientError = 917;

// How a session reaches servers.
enum class AccessType : int {
    Preconfigured = 0,  // the proxies of the environment (http_proxy, ..., no_proxy; any case)
    Direct = 1,
    NamedProxy = 3,  // the proxy given to the session
};

// Open-by-URL errors, numbered as callers report them.
inline constexpr int kErrorInvalidUrl = 12005;
inline constexpr int kErrorUnrecognizedScheme = 12006;
inline constexpr int kErrorNameNotResolved = 12007;
// ErrorCode() of a request or stream whose server sent under one byte a second for the idle
// time (libcurl's time-out code).
inline constexpr int kErrorTooSlow = 28;
// HttpRequest::ReadNoWait: nothing has arrived yet.
inline constexpr long kReadLater = -2;

// Request flags.
enum RequestFlags : unsigned {
    kRequestNoCache = 1,     // ask caches on the way for a fresh copy (Pragma/Cache-Control)
    kRequestNoRedirect = 2,  // report 3xx replies instead of following them
    // OpenUrl: follow redirects to https addresses only (an https address must not be led
    // back to plain http).
    kRequestHttpsRedirectsOnly = 4,
    // A page fetched whole may come compressed; the body read is always the decoded one, and
    // the headers then carry no Content-Length or Content-Encoding (they would describe the
    // compressed bytes). Never for files: their sizes and resume offsets are the server's.
    kRequestCompressed = 8,
};

struct InetTimeouts {
    std::chrono::milliseconds connect{30000};
    // A transfer that receives nothing for this long fails.
    std::chrono::milliseconds idle{120000};
};

// Once per process, before any other thread uses the client. False when libcurl cannot start.
bool InternetGlobalInit();

// The process-wide connected state: a forced-offline client refuses new requests.
void SetConnectedState(bool connected);
bool GetConnectedState();

class HttpRequest;
class HttpConnection;
class SharedConnections;
class UrlStream;

class InternetSession {
public:
    // nullptr when the session cannot be created. With shared, the session's transfers reuse
    // the connections of every other session holding the same object.
    static std::unique_ptr<InternetSession> Create(
        std::string userAgent, AccessType access, std::string proxyName = {},
        InetTimeouts timeouts = {}, std::shared_ptr<SharedConnections> shared = nullptr);
    virtual ~InternetSession() = default;

    // A job's stop request: at 2 or more every request and stream of the session ends within a
    // fraction of a second (those made before the call too is not promised; set it first).
    virtual void SetStopFlag(const std::atomic<int>* flag) = 0;
    // Requests made after the call fail once the steady clock (nanoseconds since its epoch)
    // passes *deadline, however steadily the server trickles; the owner may move it while they
    // run. nullptr or 0: only the idle time-out applies.
    virtual void SetDeadline(const std::atomic<std::int64_t>* deadline) = 0;

    // Proxy user name and password for the requests of this session.
    virtual bool SetProxyCredentials(std::string user, std::string password) = 0;

    // A connection to server:port; https when secure. User and password are sent when not
    // empty. nullptr on failure.
    virtual std::unique_ptr<HttpConnection> GetHttpConnection(std::string server, int port,
                                                              std::string user,
                                                              std::string password,
                                                              bool secure = false) = 0;

    // Opens any URL libcurl speaks (http, https, ftp through a proxy, file) and starts the
    // transfer; nullptr with *error set (one of the kError* numbers above, or another system
    // number) and *errorText when it cannot be opened.
    virtual std::unique_ptr<UrlStream> OpenUrl(std::string_view url, unsigned flags, int* error,
                                               std::string* errorText) = 0;

    virtual const std::string& UserAgent() const = 0;
};

class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    // A GET request for the object path ("/a/b?c"); the referrer is sent when not empty.
    virtual std::unique_ptr<HttpRequest> OpenRequest(std::string object, std::string referer,
                                                     unsigned flags) = 0;
};

class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Adds header lines ("Name: value", several separated by line ends); with addIfNew a header
    // already present is kept. Before Send only.
    virtual bool AddRequestHeaders(std::string_view headers, bool addIfNew) = 0;
    // Proxy credentials for this request (after a 407, before sending again).
    virtual bool SetProxyCredentials(std::string user, std::string password) = 0;
    // Sends the request and waits for the response headers. False when the client failed:
    // StatusCode() is then kStatusClientError and ErrorText() says why. May be called again to
    // repeat the request.
    virtual bool Send() = 0;
    virtual int StatusCode() const = 0;
    // The raw headers of the final response, lines separated by CR LF.
    virtual std::string RawHeaders() const = 0;
    // Up to count bytes of the body: what has arrived, waiting only when nothing has.
    // 0 at the end, -1 on failure (ErrorText says why; an idle time-out included).
    virtual long Read(char* buffer, std::size_t count) = 0;

    // For a loop that drives several requests of its thread at once (made while a TransferScope
    // of the thread lives) and waits for any of them: the calls below never wait. Start sends
    // the request; Poll says whether its final response's headers are here. ReadNoWait is Read
    // without the wait: kReadLater when nothing has arrived yet. A request without this ability
    // waits in Start and ReadNoWait instead.
    enum class Progress { Waiting, Answered, Failed };
    virtual bool Start() { return Send(); }
    virtual Progress Poll() {
        return StatusCode() == kStatusClientError ? Progress::Failed : Progress::Answered;
    }
    virtual long ReadNoWait(char* buffer, std::size_t count) { return Read(buffer, count); }

    // The URL after redirects that were followed.
    virtual std::string EffectiveUrl() const = 0;
    virtual const std::string& ErrorText() const = 0;
    // libcurl's code of the last failure, 0 when none.
    virtual int ErrorCode() const = 0;
};

class UrlStream {
public:
    virtual ~UrlStream() = default;
    // As HttpRequest::Read.
    virtual long Read(char* buffer, std::size_t count) = 0;
    virtual const std::string& ErrorText() const = 0;
    virtual int ErrorCode() const = 0;
};

// base and relative combined as a browser would, without encoding anything. nullopt when the
// result is not a URL.
std::optional<std::string> CombineUrl(std::string_view base, std::string_view relative);

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT" and the older forms). nullopt when it does not
// parse.
std::optional<std::time_t> ParseHttpTime(std::string_view text);

}  // namespace kov
