#include "remote_server_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

namespace kov::test {

RawClient::RawClient(int port, const std::string& host) {
    sockaddr_storage address{};
    socklen_t length = sizeof(sockaddr_in);
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in6);
    } else {
        return;
    }
    m_fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

RawClient::~RawClient() {
    if (m_fd >= 0) ::close(m_fd);
}

bool RawClient::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string RawClient::ReadSome(std::chrono::milliseconds wait) {
    if (m_fd < 0 || m_closed) return {};
    pollfd ready{m_fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(wait.count())) <= 0) return {};
    char buffer[65536];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        m_closed = true;
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string RawClient::ReadUntil(const std::string& needle, std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (m_read.find(needle) == std::string::npos && !m_closed &&
           std::chrono::steady_clock::now() < until) {
        m_read += ReadSome(std::chrono::milliseconds(100));
    }
    return m_read;
}

HttpReply RawClient::ReadReply(std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!m_closed && std::chrono::steady_clock::now() < until) {
        m_read += ReadSome(std::chrono::milliseconds(100));
    }
    return ParseReply(m_read);
}

HttpReply ParseReply(const std::string& raw) {
    HttpReply reply;
    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return reply;
    reply.status = std::stoi(raw.substr(9, 3));
    std::size_t line = raw.find("\r\n") + 2;
    while (line < end) {
        const std::size_t next = raw.find("\r\n", line);
        const std::string header = raw.substr(line, next - line);
        const std::size_t colon = header.find(':');
        std::string name = header.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        reply.headers[name] = header.substr(header.find_first_not_of(' ', colon + 1));
        line = next + 2;
    }
    reply.body = raw.substr(end + 4);
    return reply;
}

void RemoteServerFixture::SetUp() {
    m_token = std::make_unique<RemoteToken>(m_dir.File("remote-token"));
    ASSERT_TRUE(m_token->LoadOrMake()) << m_token->Error();
    ASSERT_EQ(::mkdir(PageFolder().c_str(), 0700), 0);
    std::ofstream(PageFolder() + "/index.html") << "<!doctype html><title>Kov</title>";
    std::ofstream(PageFolder() + "/app.js") << "'use strict';";
    std::ofstream(PageFolder() + "/style.css") << "body { color: black; }";
}

void RemoteServerFixture::TearDown() {
    if (m_server) m_server->Stop();
}

ServerLimits RemoteServerFixture::QuickLimits() {
    ServerLimits limits;
    limits.failureDelay = std::chrono::milliseconds(1);
    limits.failureDelayCap = std::chrono::milliseconds(4);
    return limits;
}

bool RemoteServerFixture::StartServer(const ServerLimits& limits, const std::string& address) {
    RemoteSettings settings;
    settings.Enabled = 1;
    settings.Address = address;
    settings.Port = 0;
    auto routes = [this](const ApiRequest& request) {
        {
            std::lock_guard lock(m_lock);
            m_seen.push_back(request);
        }
        if (request.path == "/api/v1/throw") throw std::runtime_error("route failed");
        if (request.path == "/api/v1/wait") {
            // Stands for a route waiting on the main loop: it gives up when the server stops.
            while (!request.stopping->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return ApiResponse::Error(503, "shutting down", "stopped while waiting");
        }
        if (request.path == "/api/v1/nothing") return ApiResponse{204, ""};
        if (request.path == "/api/v1/pieces") {
            // A text in pieces with its tag, or 304 to a caller who has it.
            static const std::string text = "[1,2,3]";
            ApiResponse tagged;
            tagged.etag = "\"t1\"";
            if (request.ifNoneMatch == tagged.etag) {
                tagged.status = 304;
                return tagged;
            }
            using Pieces = std::vector<std::string_view>;
            tagged.pieces = std::make_shared<const Pieces>(
                Pieces{std::string_view(text).substr(0, 3), "", std::string_view(text).substr(3)});
            return tagged;
        }
        return ApiResponse::Json(200, nlohmann::json{{"method", request.method},
                                                     {"path", request.path},
                                                     {"query", request.query},
                                                     {"body", request.body},
                                                     {"loopback", request.fromLoopback}});
    };
    m_server = std::make_unique<RemoteServer>(settings, *m_token, routes, m_hub, PageFolder());
    m_server->SetLimits(limits);
    return m_server->Start();
}

std::string RemoteServerFixture::Build(const RequestText& request) const {
    std::string text = request.method + " " + request.path + " " + request.version + "\r\n";
    if (request.withHost) text += "Host: " + HostHeader() + "\r\n";
    if (request.withToken) text += "Authorization: Bearer " + m_token->Value() + "\r\n";
    for (const auto& header : request.headers)
        text += header + "\r\n";
    if (!request.body.empty())
        text += "Content-Length: " + std::to_string(request.body.size()) + "\r\n";
    text += "Connection: close\r\n\r\n" + request.body;
    return text;
}

HttpReply RemoteServerFixture::Call(const RequestText& request) {
    RawClient client(m_server->Port());
    if (!client.Connected() || !client.Send(Build(request))) return {};
    return client.ReadReply();
}

std::unique_ptr<RawClient> RemoteServerFixture::OpenEvents() {
    auto client = std::make_unique<RawClient>(m_server->Port());
    // HTTP/1.0: no chunks around the stream's text.
    client->Send(Build(Request("/api/v1/events").Version("HTTP/1.0")));
    client->ReadUntil(": ok\n\n");
    return client;
}

}  // namespace kov::test
