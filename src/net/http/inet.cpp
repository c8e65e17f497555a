#include "net/http/inet.h"

#include <cerrno>

#include "core/text/text_util.h"
#include "net/http/curl_easy_reader.h"
#include "net/http/curl_http_request.h"
#include "net/http/curl_session_config.h"
#include "net/http/inet_util.h"

namespace kov {

namespace {

// Schemes a URL given to the session may use; others (telnet, dict, ...) have no business in
// a download list.
constexpr const char* kOpenUrlProtocols = "http,https,ftp,ftps,file";
// A server's redirect never leads to a local file or to another kind of service.
constexpr const char* kRedirectProtocols = "http,https,ftp,ftps";

class CurlHttpConnection final : public HttpConnection {
public:
    CurlHttpConnection(const CurlSessionConfig& config, std::string origin, std::string user,
                       std::string password)
        : m_config(config),
          m_origin(std::move(origin)),
          m_user(std::move(user)),
          m_password(std::move(password)) {}

    std::unique_ptr<HttpRequest> OpenRequest(std::string object, std::string referer,
                                             unsigned flags) override {
        if (object.empty() || object[0] != '/') object.insert(0, 1, '/');
        return CurlHttpRequest::Create(m_config, m_origin + EscapeForRequest(object), m_user,
                                       m_password, referer, flags);
    }

private:
    CurlSessionConfig m_config;
    std::string m_origin;  // "http://host:port"
    std::string m_user;
    std::string m_password;
};

class CurlUrlStream final : public UrlStream {
public:
    explicit CurlUrlStream(std::unique_ptr<CurlEasyReader> transfer)
        : m_transfer(std::move(transfer)) {}
    long Read(char* buffer, std::size_t count) override { return m_transfer->Read(buffer, count); }
    const std::string& ErrorText() const override { return m_transfer->ErrorText(); }
    int ErrorCode() const override { return m_transfer->ErrorCode(); }

private:
    std::unique_ptr<CurlEasyReader> m_transfer;
};

bool ValidHostName(std::string_view host) {
    if (host.empty()) return false;
    for (char c : host) {
        // Anything that would change the meaning of the URL built from it.
        if (c <= ' ' || c >= 0x7F || c == '/' || c == '\\' || c == '@' || c == '?' || c == '#')
            return false;
    }
    return true;
}

int OpenErrorOf(int curlCode) {
    switch (curlCode) {
        case CURLE_URL_MALFORMAT:
            return kErrorInvalidUrl;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kErrorUnrecognizedScheme;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kErrorNameNotResolved;
        default:
            return curlCode;
    }
}

class CurlSession final : public InternetSession {
public:
    explicit CurlSession(CurlSessionConfig config) : m_config(std::move(config)) {}

    void SetStopFlag(const std::atomic<int>* flag) override { m_config.stopFlag = flag; }
    void SetDeadline(const std::atomic<std::int64_t>* deadline) override {
        m_config.deadline = deadline;
    }

    bool SetProxyCredentials(std::string user, std::string password) override {
        m_config.proxyUser = std::move(user);
        m_config.proxyPassword = std::move(password);
        return true;
    }

    std::unique_ptr<HttpConnection> GetHttpConnection(std::string server, int port,
                                                      std::string user, std::string password,
                                                      bool secure) override {
        if (port == 0) port = secure ? 443 : 80;
        if (port < 0 || port > 65535 || !ValidHostName(server)) return nullptr;
        // An IPv6 literal needs its brackets inside a URL.
        if (server.find(':') != std::string::npos && server.front() != '[')
            server = "[" + server + "]";
        std::string origin =
            (secure ? "https://" : "http://") + server + ":" + std::to_string(port);
        return std::make_unique<CurlHttpConnection>(m_config, std::move(origin), std::move(user),
                                                    std::move(password));
    }

    std::unique_ptr<UrlStream> OpenUrl(std::string_view url, unsigned flags, int* error,
                                       std::string* errorText) override;

    const std::string& UserAgent() const override { return m_config.userAgent; }

private:
    CurlSessionConfig m_config;
};

std::unique_ptr<UrlStream> CurlSession::OpenUrl(std::string_view url, unsigned flags, int* error,
                                                std::string* errorText) {
    auto fail = [&](int code, std::string text) -> std::unique_ptr<UrlStream> {
        if (error != nullptr) *error = code;
        if (errorText != nullptr) *errorText = std::move(text);
        return nullptr;
    };
    if (!GetConnectedState()) return fail(ENETDOWN, "The client is offline");
    auto transfer = std::make_unique<CurlEasyReader>(m_config);
    if (!transfer->Valid()) return fail(CURLE_FAILED_INIT, "libcurl could not create a transfer");
    if (url.find('\0') != std::string_view::npos)
        return fail(kErrorInvalidUrl, "The URL contains a NUL byte");

    CURL* easy = transfer->Easy();
    std::string escaped = EscapeForRequest(TrimBlanks(url));
    curl_easy_setopt(easy, CURLOPT_URL, escaped.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kOpenUrlProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     (flags & kRequestHttpsRedirectsOnly) != 0 ? "https" : kRedirectProtocols);
    ApplySessionOptions(easy, m_config, escaped);
    bool follow = (flags & kRequestNoRedirect) == 0;
    transfer->SetFollowsRedirects(follow);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
    curl_slist* headers = nullptr;
    if ((flags & kRequestNoCache) != 0) {
        headers = curl_slist_append(headers, "Pragma: no-cache");
        if (headers != nullptr) {
            curl_slist* longer = curl_slist_append(headers, "Cache-Control: no-cache");
            if (longer != nullptr) headers = longer;
        }
    }
    transfer->SetRequestHeaders(headers);
    if (!transfer->Open(CurlEasyReader::OpenUntil::HeadersOrData))
        return fail(OpenErrorOf(transfer->ErrorCode()), transfer->ErrorText());
    if (transfer->StatusCode() >= 400) {
        // An error page is no content of the URL.
        int status = transfer->StatusCode();
        return fail(status, "The server replied " + std::to_string(status));
    }
    return std::make_unique<CurlUrlStream>(std::move(transfer));
}

}  // namespace

std::unique_ptr<InternetSession> InternetSession::Create(
    std::string userAgent, AccessType access, std::string proxyName, InetTimeouts timeouts,
    std::shared_ptr<SharedConnections> shared) {
    if (!InternetGlobalInit()) return nullptr;
    if (access != AccessType::Preconfigured && access != AccessType::Direct &&
        access != AccessType::NamedProxy)
        return nullptr;
    if (access == AccessType::NamedProxy && TrimBlanks(proxyName).empty()) return nullptr;
    if (timeouts.connect.count() <= 0 || timeouts.idle.count() <= 0) return nullptr;
    CurlSessionConfig config;
    config.userAgent = std::move(userAgent);
    config.access = access;
    config.proxyName = std::string(TrimBlanks(proxyName));
    config.timeouts = timeouts;
    config.shared = std::move(shared);
    return std::make_unique<CurlSession>(std::move(config));
}

}  // namespace kov
