// The test servers themselves, checked with raw HTTP over a socket so that a fault in the
// project's client cannot hide a fault in a server.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>

#include "support/fault_server.h"
#include "support/tinyproxy_server.h"

namespace kov::test {
namespace {

struct RawResponse {
    std::string head;  // status line and headers
    std::string body;
};

// Sends request to 127.0.0.1:port and reads until the server closes the connection.
RawResponse Exchange(int port, const std::string& request) {
    RawResponse response;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return response;
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string all;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            all.append(buffer, n);
    }
    close(fd);
    const std::size_t end = all.find("\r\n\r\n");
    if (end == std::string::npos) {
        response.head = all;
    } else {
        response.head = all.substr(0, end + 2);
        response.body = all.substr(end + 4);
    }
    return response;
}

std::string Get(const std::string& target, const std::string& extraHeaders = {}) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
           extraHeaders + "\r\n";
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(FaultServer, ServesDeterministicBodiesAndFaults) {
    if (!FaultServer::Available()) GTEST_SKIP() << "python3 is not installed";
    FaultServer server;
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.Url("/x"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/x");

    RawResponse range = Exchange(server.Port(), Get("/range?size=300", "Range: bytes=100-\r\n"));
    EXPECT_TRUE(range.head.starts_with("HTTP/1.1 206")) << range.head;
    EXPECT_TRUE(Has(range.head, "Content-Range: bytes 100-299/300")) << range.head;
    EXPECT_TRUE(Has(range.head, std::string("Last-Modified: ") + kFaultLastModified));
    EXPECT_EQ(range.body, FaultBody(100, 200));

    // Content-Length promises 1000 bytes, 400 arrive before the close.
    RawResponse shortBody = Exchange(server.Port(), Get("/short?size=1000&got=400&lm=0"));
    EXPECT_TRUE(Has(shortBody.head, "Content-Length: 1000")) << shortBody.head;
    EXPECT_FALSE(Has(shortBody.head, "Last-Modified"));
    EXPECT_EQ(shortBody.body, FaultBody(0, 400));

    RawResponse loop = Exchange(server.Port(), Get("/loop"));
    EXPECT_TRUE(loop.head.starts_with("HTTP/1.1 302")) << loop.head;
    EXPECT_TRUE(Has(loop.head, "Location: /loop"));

    RawResponse name = Exchange(server.Port(), Get("/disposition?name=../../etc/passwd&size=5"));
    EXPECT_TRUE(Has(name.head, "filename=\"../../etc/passwd\"")) << name.head;
    EXPECT_EQ(name.body, FaultBody(0, 5));
}

TEST(TinyproxyServer, ForwardsRequestsAndDemandsConfiguredCredentials) {
    if (!TinyproxyServer::Available()) GTEST_SKIP() << "tinyproxy is not installed";
    if (!FaultServer::Available()) GTEST_SKIP() << "python3 is not installed";
    FaultServer origin;
    ASSERT_TRUE(origin.Start());
    const std::string target = origin.Url("/range?size=64");

    TinyproxyServer open;
    ASSERT_TRUE(open.Start()) << open.Log();
    EXPECT_EQ(open.Address(), "127.0.0.1:" + std::to_string(open.Port()));
    RawResponse forwarded = Exchange(open.Port(), Get(target));
    EXPECT_TRUE(Has(forwarded.head, " 200 ")) << forwarded.head;
    EXPECT_FALSE(Has(forwarded.head, "Via:"));
    EXPECT_EQ(forwarded.body, FaultBody(0, 64));
    EXPECT_TRUE(Has(open.Log(), "GET " + target)) << open.Log();

    TinyproxyServer guarded;
    guarded.RequireAuth("kov", "secret");
    ASSERT_TRUE(guarded.Start()) << guarded.Log();
    RawResponse refused = Exchange(guarded.Port(), Get(target));
    EXPECT_TRUE(Has(refused.head, " 407 ")) << refused.head;
    RawResponse allowed =
        Exchange(guarded.Port(), Get(target, "Proxy-Authorization: Basic a292OnNlY3JldA==\r\n"));
    EXPECT_TRUE(Has(allowed.head, " 200 ")) << allowed.head;
    EXPECT_EQ(allowed.body, FaultBody(0, 64));
}

}  // namespace
}  // namespace kov::test
