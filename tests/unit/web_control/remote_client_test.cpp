#include "web_control/remote_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kov {
namespace {

TEST(RemoteClient, ReachesTheServerWhereItListens) {
    const struct {
        const char* address;
        int port;
        const char* url;
    } cases[] = {
        {"127.0.0.1", 6990, "http://127.0.0.1:6990"},
        {"0.0.0.0", 8080, "http://127.0.0.1:8080"},  // every address: loopback is one of them
        {"", 6990, "http://127.0.0.1:6990"},
        {"::", 7000, "http://[::1]:7000"},
        {"[::]", 7000, "http://[::1]:7000"},
        {"::1", 1, "http://[::1]:1"},
        {"fe80::1", 80, "http://[fe80::1]:80"},
        {"192.168.1.20", 65535, "http://192.168.1.20:65535"},
    };
    for (const auto& c : cases) {
        RemoteSettings s;
        s.Address = c.address;
        s.Port = c.port;
        EXPECT_EQ(RemoteClient::BaseUrl(s), c.url) << c.address;
    }
}

TEST(RemoteClient, SaysWhatWentWrong) {
    using nlohmann::json;
    const struct {
        RemoteReply reply;
        const char* text;
    } cases[] = {
        {{0, nullptr, "", "Couldn't connect to server"}, "Couldn't connect to server"},
        {{0, nullptr, "", ""}, "no answer"},
        {{400, json{{"error", "bad URL"}, {"cause", "no host"}}, "", ""}, "bad URL: no host"},
        {{409, json{{"error", "item is running"}, {"cause", ""}}, "", ""}, "item is running"},
        {{404, json{{"error", "no such item"}}, "", ""}, "no such item"},
        {{500, json{{"error", 5}}, "", ""}, "HTTP status 500"},
        {{502, nullptr, "<html>", ""}, "HTTP status 502"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.reply.ErrorText(), c.text);
    EXPECT_TRUE((RemoteReply{204, nullptr, "", ""}.Ok()));
    EXPECT_FALSE((RemoteReply{301, nullptr, "", ""}.Ok()));
    EXPECT_FALSE(RemoteReply{}.Answered());
}

TEST(RemoteClient, APortNobodyListensOnIsNoAnswer) {
    // A port that was free a moment ago: bound, then closed.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t length = sizeof a;
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length), 0);
    ::close(fd);
    RemoteSettings s;
    s.Port = ntohs(a.sin_port);
    const RemoteReply reply = RemoteClient(s, "token").Call("GET", "/api/v1/lists");
    EXPECT_FALSE(reply.Answered());
    EXPECT_FALSE(reply.Ok());
    EXPECT_FALSE(reply.transport.empty());
}

}  // namespace
}  // namespace kov
