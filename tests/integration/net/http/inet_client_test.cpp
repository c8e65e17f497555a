#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/http/inet.h"
#include "platform/file_util.h"
#include "support/env_guard.h"
#include "support/missing_server.h"
#include "support/server_process.h"
#include "support/suite_servers.h"
#include "support/temp_dir.h"
#include "support/tinyproxy_server.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

// Reads to the end in chunks of varying odd sizes; "<failed>" appended on a read error.
template <class Source>
std::string ReadAll(Source& source, std::chrono::milliseconds pause = 0ms) {
    static constexpr std::size_t kSizes[] = {1, 7, 4093, 65537, 300001, 13};
    std::string body;
    std::string chunk(300001, '\0');
    for (std::size_t i = 0;; ++i) {
        const long n = source.Read(chunk.data(), kSizes[i % std::size(kSizes)]);
        if (n < 0) return body + "<failed>";
        if (n == 0) return body;
        body.append(chunk.data(), static_cast<std::size_t>(n));
        if (pause > 0ms && i < 4) std::this_thread::sleep_for(pause);
    }
}

class InetClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        const std::string error = servers.Start([](test::NginxServer& n) {
            n.WriteFile("files/big.bin", test::FaultBody(5, 3 * 1024 * 1024 + 17));
            n.WriteFile("files/a.txt", "hello");
            n.AddLocation(
                "location = /echo { return 200 \"$http_user_agent|$http_referer|"
                "$http_pragma|$http_cache_control|$http_range\"; }");
        });
        ASSERT_TRUE(error.empty()) << error;
    }
    static void TearDownTestSuite() { servers.Stop(); }
    void SetUp() override {
        if (!servers.Ready()) KOV_SKIP_WITHOUT_SERVER() << "nginx or python3 is not installed";
        session = InternetSession::Create("kov-test", AccessType::Direct);
        ASSERT_TRUE(session);
    }

    std::unique_ptr<HttpRequest> Request(const std::string& object, unsigned flags = 0,
                                         int port = 0) {
        connection =
            session->GetHttpConnection("127.0.0.1", port ? port : servers.nginx->Port(), {}, {});
        return connection ? connection->OpenRequest(object, "http://referer.example/", flags)
                          : nullptr;
    }
    int OpenError(const std::string& url) {
        int error = 0;
        std::string text;
        EXPECT_EQ(session->OpenUrl(url, 0, &error, &text), nullptr) << url;
        EXPECT_FALSE(text.empty()) << url;
        return error;
    }

    static test::SuiteServers servers;
    const std::string big = test::FaultBody(5, 3 * 1024 * 1024 + 17);
    std::unique_ptr<InternetSession> session;
    std::unique_ptr<HttpConnection> connection;
};

test::SuiteServers InetClientTest::servers;

TEST_F(InetClientTest, RequestsDeliverStatusHeadersAndEveryByte) {
    auto request = Request("/files/big.bin");
    ASSERT_TRUE(request);
    // Of two Range headers the first stays.
    EXPECT_TRUE(request->AddRequestHeaders("Range: bytes=1000-\n", true));
    EXPECT_TRUE(request->AddRequestHeaders("range: bytes=0-\n", true));
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 206);
    const std::string headers = request->RawHeaders();
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 206")) << headers;
    EXPECT_TRUE(headers.ends_with("\r\n\r\n"));
    EXPECT_EQ(ReadAll(*request), big.substr(1000));
    char byte;
    EXPECT_EQ(request->Read(&byte, 1), 0);  // the end stays the end

    // Sent again mid-body: the response starts over.
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    ASSERT_GT(request->Read(&byte, 1), 0);
    ASSERT_TRUE(request->Send());
    EXPECT_EQ(ReadAll(*request), big.substr(1000));

    auto echo = Request("/echo", kRequestNoCache);
    EXPECT_FALSE(echo->AddRequestHeaders("Bad Name: x", true));
    EXPECT_TRUE(echo->AddRequestHeaders("Pragma: other\r\nRange: bytes=0-\r\n", true));
    ASSERT_TRUE(echo->Send()) << echo->ErrorText();
    EXPECT_EQ(ReadAll(*echo), "kov-test|http://referer.example/|no-cache|no-cache|bytes=0-");

    auto missing = Request("/missing");
    ASSERT_TRUE(missing->Send());
    EXPECT_EQ(missing->StatusCode(), 404);
}

// Following redirects (and their loops) is checked where transfers use it.
TEST_F(InetClientTest, RedirectsAreReportedOrStayOnTheWeb) {
    auto reported = Request("/redirect", kRequestNoRedirect);
    ASSERT_TRUE(reported->Send());
    EXPECT_EQ(reported->StatusCode(), 302);
    // Redirects lead to the web only, also when libcurl follows them.
    auto local = Request("/redirect?to=file:///etc/hostname", 0, servers.faults->Port());
    EXPECT_FALSE(local->Send());
    EXPECT_EQ(local->ErrorCode(), CURLE_UNSUPPORTED_PROTOCOL);
    EXPECT_EQ(OpenError(servers.faults->Url("/redirect?to=file:///etc/hostname")),
              kErrorUnrecognizedScheme);
    // Where only https may follow, a redirect to plain http is refused.
    const std::string toHttp =
        servers.faults->Url("/redirect?to=" + servers.nginx->Url("/files/a.txt"));
    int error = 0;
    std::string text;
    EXPECT_NE(session->OpenUrl(toHttp, 0, &error, &text), nullptr) << text;
    EXPECT_EQ(session->OpenUrl(toHttp, kRequestHttpsRedirectsOnly, &error, &text), nullptr);
    EXPECT_EQ(error, kErrorUnrecognizedScheme) << text;
}

TEST_F(InetClientTest, ClientFailuresGive917WithText) {
    auto refused = Request("/", 0, test::ServerProcess::FreePort());
    EXPECT_FALSE(refused->Send());
    EXPECT_EQ(refused->StatusCode(), kStatusClientError);
    EXPECT_EQ(refused->ErrorCode(), CURLE_COULDNT_CONNECT);
    EXPECT_NE(refused->ErrorText().find("Connection refused"), std::string::npos)
        << refused->ErrorText();
    char byte;
    EXPECT_EQ(refused->Read(&byte, 1), -1);
    auto unresolved =
        session->GetHttpConnection("kov-test.invalid", 80, {}, {})->OpenRequest("/", {}, 0);
    EXPECT_FALSE(unresolved->Send());
    EXPECT_EQ(unresolved->ErrorCode(), CURLE_COULDNT_RESOLVE_HOST);
    EXPECT_EQ(session->GetHttpConnection("bad/host", 80, {}, {}), nullptr);
    EXPECT_EQ(session->GetHttpConnection("127.0.0.1", 70000, {}, {}), nullptr);
    EXPECT_EQ(InternetSession::Create("a", AccessType::NamedProxy, ""), nullptr);

    auto request = Request("/files/a.txt");
    SetConnectedState(false);
    const bool sent = request->Send();
    const int offline = OpenError(servers.nginx->Url("/files/a.txt"));
    SetConnectedState(true);
    EXPECT_FALSE(sent);
    EXPECT_NE(request->ErrorText().find("offline"), std::string::npos);
    EXPECT_EQ(offline, ENETDOWN);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
}

TEST_F(InetClientTest, OpenUrlReadsHttpAndFilesAndTellsFailuresApart) {
    int error = 0;
    std::string text;
    auto http =
        session->OpenUrl(servers.nginx->Url("/files/big.bin"), kRequestNoCache, &error, &text);
    ASSERT_TRUE(http) << text;
    EXPECT_EQ(ReadAll(*http), big);
    test::TempDir dir;
    ASSERT_TRUE(WriteFileAtomic(dir.File("local file.bin"), big.substr(0, 70000), 0644));
    auto file = session->OpenUrl("file://" + dir.File("local file.bin"), 0, &error, &text);
    ASSERT_TRUE(file) << text;
    EXPECT_EQ(ReadAll(*file), big.substr(0, 70000));

    EXPECT_EQ(OpenError("http://[::1/x"), kErrorInvalidUrl);
    EXPECT_EQ(OpenError("dict://127.0.0.1/x"), kErrorUnrecognizedScheme);
    EXPECT_EQ(OpenError("http://kov-test.invalid/x"), kErrorNameNotResolved);
    EXPECT_EQ(OpenError(servers.nginx->Url("/missing")), 404);
    EXPECT_EQ(OpenError("file:///nonexistent/kov/file"), CURLE_FILE_COULDNT_READ_FILE);
}

// Silence fails after the idle time; a reader slower than that is no failure of the server.
TEST_F(InetClientTest, IdleServersFailButSlowReadersDoNot) {
    session = InternetSession::Create("kov-test", AccessType::Direct, {}, InetTimeouts{5s, 300ms});
    auto silent = Request("/silent", 0, servers.faults->Port());
    EXPECT_FALSE(silent->Send());
    EXPECT_EQ(silent->ErrorCode(), kErrorTooSlow);
    auto stalled = Request("/trickle?head=0&size=10&every=100", 0, servers.faults->Port());
    ASSERT_TRUE(stalled->Send()) << stalled->ErrorText();
    EXPECT_EQ(ReadAll(*stalled), test::FaultBody(0, 1) + "<failed>");
    EXPECT_EQ(stalled->ErrorCode(), CURLE_OPERATION_TIMEDOUT);

    auto slow = Request("/files/big.bin");
    ASSERT_TRUE(slow->Send()) << slow->ErrorText();
    EXPECT_EQ(ReadAll(*slow, 400ms), big);
}

TEST_F(InetClientTest, ProxiesAreUsedWithTheirCredentials) {
    if (!test::TinyproxyServer::Available())
        KOV_SKIP_WITHOUT_SERVER() << "tinyproxy is not installed";
    test::TinyproxyServer proxy;
    proxy.RequireAuth("pu", "pp");
    ASSERT_TRUE(proxy.Start()) << proxy.Log();
    // A named proxy with credentials is checked where transfers use it. The environment's
    // upper-case variable counts when the lower-case one is absent.
    const test::EnvGuard env({"http_proxy", "HTTP_PROXY"});
    ::unsetenv("http_proxy");
    ::setenv("HTTP_PROXY", proxy.Address().c_str(), 1);
    session = InternetSession::Create("kov-test", AccessType::Preconfigured);
    ASSERT_TRUE(session->SetProxyCredentials("pu", "pp"));
    int error = 0;
    std::string text;
    auto stream = session->OpenUrl(servers.nginx->Url("/files/a.txt?via=env"), 0, &error, &text);
    ASSERT_TRUE(stream) << text;
    EXPECT_EQ(ReadAll(*stream), "hello");
    EXPECT_NE(proxy.Log().find("a.txt?via=env"), std::string::npos) << proxy.Log();
}

TEST(InetClientTls, SelfSignedCertificateIsRefused) {
    ASSERT_TRUE(InternetGlobalInit());
    if (!test::NginxServer::Available()) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed";
    if (std::system("command -v openssl >/dev/null 2>&1") != 0)
        KOV_SKIP_WITHOUT_SERVER() << "openssl is not installed";
    test::TempDir dir;
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1 -keyout " +
        dir.File("key.pem") + " -out " + dir.File("cert.pem") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    test::NginxServer server;
    server.UseTls(dir.File("cert.pem"), dir.File("key.pem"));
    ASSERT_TRUE(server.WriteFile("a.txt", "secret"));
    ASSERT_TRUE(server.Start()) << server.ErrorLog();
    auto session = InternetSession::Create("kov-test", AccessType::Direct);
    auto request = session->GetHttpConnection("127.0.0.1", server.Port(), {}, {}, true)
                       ->OpenRequest("/a.txt", {}, 0);
    EXPECT_FALSE(request->Send());
    EXPECT_EQ(request->ErrorCode(), CURLE_PEER_FAILED_VERIFICATION);
    int error = 0;
    std::string text;
    EXPECT_EQ(session->OpenUrl(server.Url("/a.txt"), 0, &error, &text), nullptr);
    EXPECT_EQ(error, CURLE_PEER_FAILED_VERIFICATION);
}

}  // namespace
}  // namespace kov
