#include "web_control/remote_client.h"

#include <curl/curl.h>

#include <memory>

#include "web_control/event_stream_reader.h"

namespace kov {

namespace {

constexpr long kConnectTimeoutMs = 2000;
constexpr long kTimeoutMs = 15000;
constexpr std::size_t kMaxBody = 16u << 20;  // a reply larger than this is not the API's

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    if (body->size() + size * count > kMaxBody) return 0;  // ends the transfer as an error
    body->append(data, size * count);
    return size * count;
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

std::string RemoteReply::ErrorText() const {
    if (!Answered()) return transport.empty() ? "no answer" : transport;
    if (body.is_object() && body.contains("error") && body["error"].is_string()) {
        std::string text = body["error"].get<std::string>();
        if (body.contains("cause") && body["cause"].is_string() &&
            !body["cause"].get<std::string>().empty())
            text += ": " + body["cause"].get<std::string>();
        return text;
    }
    return "HTTP status " + std::to_string(status);
}

RemoteClient::RemoteClient(const RemoteSettings& settings, std::string token)
    : m_base(BaseUrl(settings)), m_token(std::move(token)) {}

std::string RemoteClient::BaseUrl(const RemoteSettings& settings) {
    std::string host = settings.Address;
    if (host.empty() || host == "0.0.0.0") host = "127.0.0.1";
    if (host == "::" || host == "[::]") host = "::1";
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(settings.Port);
}

// One transfer: the handle set up for a URL of the server with the token, no proxy and the
// short connect time-out; the caller adds the rest.
class RemoteClient::Transfer {
public:
    Transfer(const RemoteClient& client, const std::string& method, const std::string& path)
        : m_curl(curl_easy_init()), m_url(client.m_base + path) {
        Add("Authorization: Bearer " + client.m_token);
        if (!m_curl) return;
        CURL* c = m_curl.get();
        curl_easy_setopt(c, CURLOPT_URL, m_url.c_str());
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
        curl_easy_setopt(c, CURLOPT_PROXY, "");  // never through a proxy: the server is local
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    }

    CURL* Get() const { return m_curl.get(); }
    void Add(const std::string& line) {
        m_headers.reset(curl_slist_append(m_headers.release(), line.c_str()));
    }

    RemoteReply Perform() {
        RemoteReply reply;
        if (!m_curl) {
            reply.transport = "cannot start a transfer";
            return reply;
        }
        curl_easy_setopt(m_curl.get(), CURLOPT_HTTPHEADER, m_headers.get());
        const CURLcode code = curl_easy_perform(m_curl.get());
        long status = 0;
        curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
        if (code != CURLE_OK) reply.transport = curl_easy_strerror(code);
        return reply;
    }

private:
    std::unique_ptr<CURL, CurlDeleter> m_curl;
    std::unique_ptr<curl_slist, CurlDeleter> m_headers;
    std::string m_url;
};

RemoteReply RemoteClient::Call(const std::string& method, const std::string& path,
                               const nlohmann::json& body) const {
    Transfer transfer(*this, method, path);
    transfer.Add("Accept: application/json");
    const std::string sent = body.is_null() ? std::string() : body.dump();
    CURL* c = transfer.Get();
    if (c && !body.is_null()) {
        transfer.Add("Content-Type: application/json");
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, sent.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(sent.size()));
    }
    std::string received;
    if (c) {
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, kTimeoutMs);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &received);
    }
    RemoteReply reply = transfer.Perform();
    if (!reply.transport.empty()) {
        reply.status = 0;  // a reply cut short is no answer to go by
        return reply;
    }
    reply.body = nlohmann::json::parse(received, nullptr, false);
    if (reply.body.is_discarded()) reply.body = nullptr;
    reply.text = std::move(received);
    return reply;
}

namespace {

struct Following {
    EventStreamReader reader;
    const std::function<bool()>& stop;
    bool ended = false;  // by the handler or stop(), not by the server
};

std::size_t FeedEvents(char* data, std::size_t size, std::size_t count, void* user) {
    auto* f = static_cast<Following*>(user);
    if (f->reader.Feed(std::string_view(data, size * count))) return size * count;
    f->ended = true;
    return 0;
}

int WatchStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* f = static_cast<Following*>(user);
    if (!f->stop()) return 0;
    f->ended = true;
    return 1;
}

}  // namespace

RemoteReply RemoteClient::Follow(
    const std::string& path,
    const std::function<bool(const std::string&, const std::string&)>& onEvent,
    const std::function<bool()>& stop) const {
    Transfer transfer(*this, "GET", path);
    transfer.Add("Accept: text/event-stream");
    Following following{EventStreamReader(onEvent), stop};
    if (CURL* c = transfer.Get()) {
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &FeedEvents);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &following);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &WatchStop);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &following);
    }
    RemoteReply reply = transfer.Perform();
    if (following.ended) reply.transport.clear();  // we ended it
    return reply;
}

}  // namespace kov
