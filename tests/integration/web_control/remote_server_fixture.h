#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "web_control/event_hub.h"
#include "web_control/remote_server.h"
#include "web_control/remote_token.h"

namespace kov::test {

// An answer as it came over the wire: header names in lower case.
struct HttpReply {
    int status = 0;  // 0: the connection closed before a status line
    std::map<std::string, std::string> headers;
    std::string body;

    std::string Header(const std::string& lowerName) const {
        const auto found = headers.find(lowerName);
        return found == headers.end() ? std::string() : found->second;
    }
};

// A plain TCP client for the server: requests written as bytes, so that malformed and
// trickled ones can be sent as well as good ones.
class RawClient {
public:
    // host: an IPv4 or IPv6 address.
    explicit RawClient(int port, const std::string& host = "127.0.0.1");
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    // What arrived within wait ("" on time-out or end); Closed() tells the end apart.
    std::string ReadSome(std::chrono::milliseconds wait = std::chrono::seconds(10));
    // Reads until the text holds needle (or the end, or wait passed); returns all read.
    std::string ReadUntil(const std::string& needle,
                          std::chrono::milliseconds wait = std::chrono::seconds(10));
    // Everything until the server closes; the reply parsed.
    HttpReply ReadReply(std::chrono::milliseconds wait = std::chrono::seconds(20));
    bool Closed() const { return m_closed; }

private:
    int m_fd = -1;
    bool m_closed = false;
    std::string m_read;
};

HttpReply ParseReply(const std::string& raw);

// A request's text: "Host: 127.0.0.1:PORT", the token and "Connection: close" unless told
// otherwise.
struct RequestText {
    std::string method = "GET";
    std::string path = "/api/v1/status";
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    bool withToken = true;
    bool withHost = true;
    std::string version = "HTTP/1.1";

    RequestText& Method(std::string value) { return Set(method, std::move(value)); }
    RequestText& Path(std::string value) { return Set(path, std::move(value)); }
    RequestText& Header(std::string value) {
        headers.push_back(std::move(value));
        return *this;
    }
    RequestText& Body(std::string value) { return Set(body, std::move(value)); }
    RequestText& Version(std::string value) { return Set(version, std::move(value)); }
    RequestText& NoToken() { return Set(withToken, false); }
    // Host given by a header of the case (or none at all).
    RequestText& OwnHost() { return Set(withHost, false); }

private:
    template <typename T>
    RequestText& Set(T& field, T value) {
        field = std::move(value);
        return *this;
    }
};

inline RequestText Request(std::string path = "/api/v1/status") {
    return RequestText().Path(std::move(path));
}

// The real server on a free loopback port, a token in a temporary file, a page folder with
// index.html, app.js and style.css, and routes that echo what they were given.
class RemoteServerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static ServerLimits QuickLimits();
    bool StartServer(const ServerLimits& limits = QuickLimits(),
                     const std::string& address = "127.0.0.1");

    std::string Build(const RequestText& request) const;
    HttpReply Call(const RequestText& request);
    // Opens /api/v1/events and reads until the stream's first line (the subscription is made).
    std::unique_ptr<RawClient> OpenEvents();

    // The page's files; the token file lies beside this folder, not in it.
    std::string PageFolder() const { return m_dir.File("web"); }
    std::string HostHeader() const { return "127.0.0.1:" + std::to_string(m_server->Port()); }

    TempDir m_dir;
    std::unique_ptr<RemoteToken> m_token;
    EventHub m_hub;
    std::unique_ptr<RemoteServer> m_server;
    std::mutex m_lock;
    std::vector<ApiRequest> m_seen;
};

}  // namespace kov::test
