#include "web_control/remote_client.h"

#include <curl/curl.h>

#include <memory>

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

std::string RemoteClient::Escape(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

RemoteReply RemoteClient::Call(const std::string& method, const std::string& path,
                               const nlohmann::json& body) const {
    RemoteReply reply;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        reply.transport = "cannot start a transfer";
        return reply;
    }
    std::unique_ptr<curl_slist, CurlDeleter> headers;
    auto add = [&headers](const std::string& line) {
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    };
    add("Authorization: Bearer " + m_token);
    add("Accept: application/json");
    const std::string sent = body.is_null() ? std::string() : body.dump();
    if (!body.is_null()) add("Content-Type: application/json");
    const std::string url = m_base + path;
    std::string received;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!body.is_null()) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, sent.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(sent.size()));
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_PROXY, "");  // never through a proxy: the server is local
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, kTimeoutMs);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &received);
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        reply.transport = curl_easy_strerror(code);
        return reply;
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    reply.status = static_cast<int>(status);
    reply.body = nlohmann::json::parse(received, nullptr, false);
    if (reply.body.is_discarded()) reply.body = nullptr;
    return reply;
}

}  // namespace kov
