#include <nlohmann/json.hpp>

#include "remote_server_fixture.h"

namespace kov::test {
namespace {

using std::chrono::milliseconds;

class RemoteServerTest : public RemoteServerFixture {
protected:
    void SetUp() override {
        RemoteServerFixture::SetUp();
        ASSERT_TRUE(StartServer()) << m_server->Error();
    }
};

struct RefusalCase {
    const char* name;
    RequestText request;
    int status;
    const char* cause;  // part of the error's "cause"
};

TEST_F(RemoteServerTest, RefusesWhatTheGuardForbids) {
    const std::string port = std::to_string(m_server->Port());
    const std::string twoMegabytes = "Content-Length: " + std::to_string(2 * 1024 * 1024);
    const RefusalCase cases[] = {
        {"no token", Request().NoToken(), 401, "no \"Authorization"},
        {"wrong token", Request().NoToken().Header("Authorization: Bearer 00"), 401, "wrong token"},
        {"other scheme", Request().NoToken().Header("Authorization: Basic eDp5"), 401, "no \""},
        {"no Host", Request().Version("HTTP/1.0").OwnHost(), 403, "Host"},
        {"foreign Host", Request().OwnHost().Header("Host: attacker.example"), 403, "Host"},
        {"rebound name with our port", Request().OwnHost().Header("Host: attacker.example:" + port),
         403, "Host"},
        {"our address, other port", Request().OwnHost().Header("Host: 127.0.0.1:1"), 403, "Host"},
        {"foreign Origin", Request().Header("Origin: http://attacker.example"), 403,
         "another site"},
        {"Origin of another port", Request().Header("Origin: http://127.0.0.1:1"), 403,
         "another site"},
        {"null Origin", Request().Header("Origin: null"), 403, "another site"},
        {"unknown path", Request("/etc/passwd"), 404, "no such path"},
        {"other version", Request("/api/v2/items"), 404, "no such path"},
        {"dot-dot encoded", Request("/%2e%2e/remote-token"), 404, "no such path"},
        {"hidden file", Request("/.remote-token").NoToken(), 404, "no such path"},
        {"missing page file", Request("/remote-token.js").NoToken(), 404, "no such file"},
        {"body declared too large", Request().Method("POST").Header(twoMegabytes), 413, "bytes"},
        {"page written to", Request("/index.html").Method("POST").NoToken(), 405, "POST"},
        {"events written to", Request("/api/v1/events").Method("POST"), 405, "POST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HttpReply reply = Call(c.request);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.Header("content-type"), "application/json; charset=utf-8");
        const auto body = nlohmann::json::parse(reply.body, nullptr, false);
        ASSERT_TRUE(body.is_object()) << reply.body;
        EXPECT_NE(body.value("cause", "").find(c.cause), std::string::npos) << reply.body;
        EXPECT_EQ(reply.headers.contains("www-authenticate"), c.status == 401);
    }
    EXPECT_TRUE(m_seen.empty()) << "a refused request reached the routes";
}

struct PassCase {
    const char* name;
    RequestText request;
};

TEST_F(RemoteServerTest, LetsThroughTheNamesOfThisMachine) {
    const std::string port = std::to_string(m_server->Port());
    const std::string token = "Authorization: bEaReR  " + m_token->Value();
    const PassCase cases[] = {
        {"address and port", Request()},
        {"address alone", Request().OwnHost().Header("Host: 127.0.0.1")},
        {"localhost", Request().OwnHost().Header("Host: LocalHost:" + port)},
        {"IPv6 loopback", Request().OwnHost().Header("Host: [::1]:" + port)},
        {"own Origin", Request().Header("Origin: http://127.0.0.1:" + port)},
        {"scheme in any case", Request().NoToken().Header(token)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Call(c.request).status, 200);
    }
}

TEST_F(RemoteServerTest, HandsTheRoutesTheWholeRequest) {
    const HttpReply reply = Call(Request("/api/v1/items/7?list=2&after=a%20b")
                                     .Method("PATCH")
                                     .Header("Content-Type: application/json")
                                     .Body(R"({"Name":"x"})"));
    ASSERT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.Header("cache-control"), "no-store");
    const auto echo = nlohmann::json::parse(reply.body);
    EXPECT_EQ(echo["method"], "PATCH");
    EXPECT_EQ(echo["path"], "/api/v1/items/7");
    EXPECT_EQ(echo["query"], (nlohmann::json{{"list", "2"}, {"after", "a b"}}));
    EXPECT_EQ(echo["body"], R"({"Name":"x"})");
    EXPECT_EQ(echo["loopback"], true);

    const HttpReply empty = Call(Request("/api/v1/nothing").Method("DELETE"));
    EXPECT_EQ(empty.status, 204);
    EXPECT_FALSE(empty.headers.contains("content-type"));

    const HttpReply failed = Call(Request("/api/v1/throw"));
    EXPECT_EQ(failed.status, 500);
    EXPECT_EQ(Call(Request()).status, 200) << "the server lives on after a route's fault";
}

TEST_F(RemoteServerTest, SendsATextInPiecesWithItsTagAndNoBodyTo304) {
    const HttpReply whole = Call(Request("/api/v1/pieces"));
    ASSERT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, "[1,2,3]");
    EXPECT_EQ(whole.Header("etag"), "\"t1\"");
    const HttpReply unchanged = Call(Request("/api/v1/pieces").Header("If-None-Match: \"t1\""));
    EXPECT_EQ(unchanged.status, 304);
    EXPECT_EQ(unchanged.body, "");
    EXPECT_EQ(unchanged.Header("etag"), "\"t1\"");
    EXPECT_EQ(Call(Request()).status, 200) << "the connection's next request";
}

TEST_F(RemoteServerTest, ServesThePageWithoutTokenAndNothingBesideIt) {
    struct Case {
        const char* path;
        const char* file;
        const char* type;
    } const cases[] = {
        {"/", "index.html", "text/html; charset=utf-8"},
        {"/index.html", "index.html", "text/html; charset=utf-8"},
        {"/app.js", "app.js", "text/javascript; charset=utf-8"},
        {"/style.css", "style.css", "text/css; charset=utf-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const HttpReply reply = Call(Request(c.path).NoToken());
        ASSERT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, m_dir.Read(std::string("web/") + c.file));
        EXPECT_EQ(reply.Header("content-type"), c.type);
        EXPECT_EQ(reply.Header("content-security-policy"), "default-src 'self'");
        EXPECT_EQ(reply.Header("x-content-type-options"), "nosniff");
    }
    // The token file lies beside the page's folder.
    for (const char* path : {"/remote-token", "/..%2fremote-token", "/web/index.html"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Call(Request(path).NoToken()).status, 404);
    }
}

std::vector<std::string> EventNames(const std::string& stream) {
    std::vector<std::string> names;
    for (std::size_t at = stream.find("event: "); at != std::string::npos;
         at = stream.find("event: ", at + 1)) {
        names.push_back(stream.substr(at + 7, stream.find('\n', at) - at - 7));
    }
    return names;
}

TEST_F(RemoteServerTest, StreamsPublishedEventsInOrderUntilStop) {
    auto first = OpenEvents();
    auto second = OpenEvents();
    ASSERT_FALSE(first->Closed());
    for (int i = 1; i <= 50; ++i)
        m_hub.Publish("item", R"({"id":)" + std::to_string(i) + "}");
    m_hub.Publish("session", "{\"state\":\"ended\",\n\"files\":50}");
    for (auto* client : {first.get(), second.get()}) {
        const std::string text = client->ReadUntil("event: session");
        EXPECT_NE(text.find("Content-Type: text/event-stream"), std::string::npos);
        const auto names = EventNames(text);
        ASSERT_EQ(names.size(), 51u);
        std::size_t at = 0;
        for (int i = 1; i <= 50; ++i) {
            const std::size_t next = text.find("data: {\"id\":" + std::to_string(i) + "}\n\n", at);
            ASSERT_NE(next, std::string::npos) << "event " << i << " missing or out of order";
            at = next;
        }
        EXPECT_NE(text.find("data: {\"state\":\"ended\",\ndata: \"files\":50}\n\n"),
                  std::string::npos);
    }
    m_server->Stop();
    for (auto* client : {first.get(), second.get()}) {
        client->ReadReply();
        EXPECT_TRUE(client->Closed()) << "the stream ends when the server stops";
    }
}

TEST_F(RemoteServerTest, SaysWhyItCannotStartAndStartsAgainAfterStop) {
    RemoteSettings taken;
    taken.Address = "127.0.0.1";
    taken.Port = m_server->Port();
    RemoteServer second(
        taken, *m_token, [](const ApiRequest&) { return ApiResponse{}; }, m_hub, "");
    EXPECT_FALSE(second.Start());
    EXPECT_NE(second.Error().find("port " + std::to_string(taken.Port)), std::string::npos)
        << second.Error();

    auto stream = OpenEvents();
    m_server->Stop();
    m_server->Stop();  // a second time does nothing
    stream->ReadReply();
    EXPECT_TRUE(stream->Closed());
    ASSERT_TRUE(m_server->Start()) << m_server->Error();
    EXPECT_EQ(Call(Request()).status, 200);
    auto again = OpenEvents();
    m_hub.Publish("log", "{}");
    EXPECT_NE(again->ReadUntil("event: log").find("event: log"), std::string::npos);
}

}  // namespace
}  // namespace kov::test
