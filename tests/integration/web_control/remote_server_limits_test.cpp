#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "remote_server_fixture.h"

namespace kov::test {
namespace {

using std::chrono::milliseconds;

// Sends a request's head one header line at a time until the server hangs up (or a bound far
// beyond any deadline passes); true when it hung up.
bool TrickleUntilDropped(RawClient& client) {
    if (!client.Send("GET /api/v1/status HTTP/1.1\r\n")) return true;
    for (int i = 0; i < 400; ++i) {
        if (!client.Send("X-Slow: " + std::to_string(i) + "\r\n")) return true;
        client.ReadSome(milliseconds(50));
        if (client.Closed()) return true;
    }
    return false;
}

TEST_F(RemoteServerFixture, CutsOffAChunkedBodyOverTheLimit) {
    ServerLimits limits = QuickLimits();
    limits.maxBody = 64 * 1024;
    ASSERT_TRUE(StartServer(limits));
    RawClient client(m_server->Port());
    std::string text = Build(Request().Method("POST").Header("Transfer-Encoding: chunked"));
    const std::string chunk(16 * 1024, 'x');
    for (int i = 0; i < 8; ++i)
        text += "4000\r\n" + chunk + "\r\n";
    client.Send(text + "0\r\n\r\n");  // the server may hang up before all of it arrived
    EXPECT_EQ(client.ReadReply().status, 413);

    RawClient declared(m_server->Port());
    declared.Send(Build(Request().Method("POST").Body(std::string(2 * limits.maxBody, 'z'))));
    EXPECT_EQ(declared.ReadReply().status, 413);
    EXPECT_TRUE(m_seen.empty());

    const std::string whole(limits.maxBody, 'y');
    const HttpReply fits = Call(Request().Method("POST").Body(whole));
    ASSERT_EQ(fits.status, 200);
    EXPECT_EQ(nlohmann::json::parse(fits.body)["body"], whole);
}

TEST_F(RemoteServerFixture, ASlowReaderLosesEventsWithoutHoldingThePublisher) {
    ASSERT_TRUE(StartServer());
    auto reader = OpenEvents();
    const std::string payload(4096, 'p');
    const int count = 8000;  // 32 MB: more than the queue and the sockets' buffers hold
    for (int i = 1; i <= count; ++i) {
        m_hub.Publish("progress", "{\"n\":" + std::to_string(i) + ",\"pad\":\"" + payload + "\"}");
    }
    m_hub.Publish("session", R"({"state":"ended"})");
    const std::string text = reader->ReadUntil("event: session", std::chrono::seconds(60));
    const std::size_t lost = text.find("event: lost\ndata: {\"dropped\":");
    ASSERT_NE(lost, std::string::npos);
    ASSERT_NE(text.find("event: session"), std::string::npos);
    // Whatever came after the gap is the newest, in order, up to the last one.
    const std::size_t resumed = text.find("\"n\":", lost);
    ASSERT_NE(resumed, std::string::npos);
    const int next = std::stoi(text.substr(resumed + 4));
    EXPECT_NE(text.find("\"n\":" + std::to_string(count) + ","), std::string::npos);
    EXPECT_GT(next, 1);
    EXPECT_EQ(text.find("\"n\":" + std::to_string(next - 1) + ",", lost), std::string::npos);
}

TEST_F(RemoteServerFixture, StopEndsStreamsAndWaitingRoutes) {
    ASSERT_TRUE(StartServer());
    std::vector<std::unique_ptr<RawClient>> streams;
    for (int i = 0; i < 3; ++i)
        streams.push_back(OpenEvents());
    RawClient waiting(m_server->Port());
    waiting.Send(Build(Request("/api/v1/wait")));
    for (int i = 0; i < 1000; ++i) {
        {
            std::lock_guard lock(m_lock);
            if (!m_seen.empty()) break;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    ASSERT_FALSE(m_seen.empty()) << "the waiting route was never entered";
    m_server->Stop();
    EXPECT_EQ(waiting.ReadReply().status, 503);
    for (auto& stream : streams) {
        stream->ReadReply();
        EXPECT_TRUE(stream->Closed());
    }
}

TEST_F(RemoteServerFixture, ClosingTheHubEndsStreamsButNotTheServer) {
    ASSERT_TRUE(StartServer());
    auto stream = OpenEvents();
    m_hub.Close();
    stream->ReadReply();
    EXPECT_TRUE(stream->Closed());
    EXPECT_EQ(Call(Request()).status, 200);
}

struct SlowCase {
    const char* name;
    std::chrono::seconds idleTimeout;
    milliseconds requestDeadline;
};

TEST_F(RemoteServerFixture, DropsIdleAndTricklingClients) {
    // Each case leaves the other limit far away, so that the one it names does the dropping.
    const SlowCase cases[] = {
        {"idle time-out", std::chrono::seconds(1), milliseconds(60'000)},
        {"request deadline", std::chrono::seconds(60), milliseconds(300)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerLimits limits = QuickLimits();
        limits.idleTimeout = c.idleTimeout;
        limits.requestDeadline = c.requestDeadline;
        ASSERT_TRUE(StartServer(limits));
        RawClient silent(m_server->Port());
        RawClient halfHead(m_server->Port());
        halfHead.Send("GET /api/v1/status HTTP/1.1\r\nHost: ");
        if (c.requestDeadline < milliseconds(1000)) {
            RawClient trickling(m_server->Port());
            EXPECT_TRUE(TrickleUntilDropped(trickling));
        }
        for (RawClient* client : {&silent, &halfHead}) {
            EXPECT_EQ(client->ReadReply().status, 0);
            EXPECT_TRUE(client->Closed());
        }
        EXPECT_EQ(Call(Request()).status, 200) << "the server answers others meanwhile";
        m_server->Stop();
    }
}

TEST_F(RemoteServerFixture, AnOpenStreamIsNotASlowClient) {
    ServerLimits limits = QuickLimits();
    limits.requestDeadline = milliseconds(100);
    limits.keepAlive = milliseconds(50);
    ASSERT_TRUE(StartServer(limits));
    auto stream = OpenEvents();
    // Several keep-alive lines, each after the deadline would have run out for a request.
    const std::string text = stream->ReadUntil(": keep-alive\n\n: keep-alive\n\n: keep-alive");
    EXPECT_FALSE(stream->Closed());
    m_hub.Publish("log", R"({"seq":1})");
    EXPECT_NE(stream->ReadUntil("event: log").find("data: {\"seq\":1}"), std::string::npos);
}

TEST_F(RemoteServerFixture, ConnectionsBeyondTheLimitWaitForAFreePlace) {
    ServerLimits limits = QuickLimits();
    limits.connections = 4;
    ASSERT_TRUE(StartServer(limits));
    std::vector<std::unique_ptr<RawClient>> streams;
    for (unsigned i = 0; i < limits.connections; ++i)
        streams.push_back(OpenEvents());
    RawClient extra(m_server->Port());
    ASSERT_TRUE(extra.Send(Build(Request())));
    EXPECT_EQ(extra.ReadSome(milliseconds(300)), "") << "answered beyond the limit";
    EXPECT_FALSE(extra.Closed());
    streams.pop_back();
    EXPECT_EQ(extra.ReadReply().status, 200);
}

TEST_F(RemoteServerFixture, AHundredClientsAtOnceAreAllAnswered) {
    ASSERT_TRUE(StartServer());
    constexpr int kClients = 100;  // more than the connection limit: some wait their turn
    constexpr int kEach = 10;
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([this, c, &answered] {
            for (int i = 0; i < kEach; ++i) {
                const std::string path = "/api/v1/items/" + std::to_string(c * kEach + i);
                const HttpReply reply = Call(Request(path).Method("PATCH").Body("{}"));
                if (reply.status == 200 && nlohmann::json::parse(reply.body)["path"] == path)
                    ++answered;
            }
        });
    }
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(answered.load(), kClients * kEach);
    std::set<std::string> paths;
    for (const auto& request : m_seen)
        paths.insert(request.path);
    EXPECT_EQ(paths.size(), static_cast<std::size_t>(kClients * kEach))
        << "each reached the routes once";
}

// An address of this machine that is not a loopback one ("" when it has none).
std::string OutwardAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    std::string found;
    for (ifaddrs* entry = list; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
                  sizeof text);
        if (std::string(text).rfind("127.", 0) != 0) found = text;
    }
    ::freeifaddrs(list);
    return found;
}

std::string EchoOver(int port, const std::string& address, const std::string& host,
                     const std::string& token) {
    RawClient client(port, address);
    client.Send("GET /api/v1/status HTTP/1.1\r\nHost: " + host + "\r\nAuthorization: Bearer " +
                token + "\r\nConnection: close\r\n\r\n");
    const HttpReply reply = client.ReadReply();
    return reply.status == 200 ? reply.body : "status " + std::to_string(reply.status);
}

TEST_F(RemoteServerFixture, ListensOnIpv6Loopback) {
    ASSERT_TRUE(StartServer(QuickLimits(), "::1")) << m_server->Error();
    const std::string port = std::to_string(m_server->Port());
    const auto echo = nlohmann::json::parse(
        EchoOver(m_server->Port(), "::1", "[::1]:" + port, m_token->Value()), nullptr, false);
    ASSERT_TRUE(echo.is_object());
    EXPECT_EQ(echo["loopback"], true);
}

TEST_F(RemoteServerFixture, TellsTheRoutesAboutCallersFromOutside) {
    const std::string outward = OutwardAddress();
    if (outward.empty()) GTEST_SKIP() << "this machine has no address but loopback";
    ASSERT_TRUE(StartServer(QuickLimits(), "0.0.0.0")) << m_server->Error();
    const int port = m_server->Port();
    const std::string token = m_token->Value();
    // Listening everywhere, the address the caller used is a good Host; a name still is not.
    const auto outside = nlohmann::json::parse(
        EchoOver(port, outward, outward + ":" + std::to_string(port), token), nullptr, false);
    ASSERT_TRUE(outside.is_object());
    EXPECT_EQ(outside["loopback"], false);
    const auto inside =
        nlohmann::json::parse(EchoOver(port, "127.0.0.1", "localhost", token), nullptr, false);
    ASSERT_TRUE(inside.is_object());
    EXPECT_EQ(inside["loopback"], true);
    EXPECT_EQ(EchoOver(port, outward, "rebound.example", token), "status 403");
}

}  // namespace
}  // namespace kov::test
