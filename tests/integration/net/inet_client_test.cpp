#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "net/inet.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "support/tinyproxy_server.h"

namespace kov {
namespace {

using namespace std::chrono_literals;
using test::NginxServer;

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7919 + i / 251) & 0xFF);
    return data;
}

// Reads to the end in chunks of varying odd sizes; "<failed>" appended on a read error.
std::string ReadAll(HttpRequest& request, std::chrono::milliseconds pause = 0ms) {
    static constexpr std::size_t kSizes[] = {1, 7, 4093, 65537, 300001, 13};
    std::string body;
    std::string chunk(300001, '\0');
    for (std::size_t i = 0;; ++i) {
        long n = request.Read(chunk.data(), kSizes[i % std::size(kSizes)]);
        if (n < 0) return body + "<failed>";
        if (n == 0) return body;
        body.append(chunk.data(), static_cast<std::size_t>(n));
        if (pause > 0ms && i < 4) std::this_thread::sleep_for(pause);
    }
}

std::string ReadAll(UrlStream& stream) {
    std::string body;
    char chunk[5000];
    for (;;) {
        long n = stream.Read(chunk, sizeof chunk);
        if (n < 0) return body + "<failed>";
        if (n == 0) return body;
        body.append(chunk, static_cast<std::size_t>(n));
    }
}

class InetClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InternetGlobalInit());
        if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
        m_big = Pattern(3 * 1024 * 1024 + 17);
        ASSERT_TRUE(m_server.WriteFile("files/big.bin", m_big));
        ASSERT_TRUE(m_server.WriteFile("files/a.txt", "hello"));
        m_server.AddLocation(
            "location = /echo { return 200 "
            "\"$http_user_agent|$http_referer|$http_pragma|$http_cache_control|$http_range\"; }");
        ASSERT_TRUE(m_server.Start()) << m_server.ErrorLog();
    }

    std::unique_ptr<HttpRequest> Request(const std::string& object, unsigned flags = 0,
                                         InetTimeouts timeouts = {}) {
        m_session = InternetSession::Create("kov-test", AccessType::Direct, {}, timeouts);
        if (!m_session) return nullptr;
        m_connection = m_session->GetHttpConnection("127.0.0.1", m_server.Port(), {}, {});
        if (!m_connection) return nullptr;
        return m_connection->OpenRequest(object, "http://referer.example/", flags);
    }

    NginxServer m_server;
    std::string m_big;
    std::unique_ptr<InternetSession> m_session;
    std::unique_ptr<HttpConnection> m_connection;
};

TEST_F(InetClientTest, GetDeliversStatusHeadersAndEveryByte) {
    auto request = Request("/files/big.bin");
    ASSERT_TRUE(request);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 200);
    std::string headers = request->RawHeaders();
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << headers;
    EXPECT_NE(headers.find("Content-Length: " + std::to_string(m_big.size()) + "\r\n"),
              std::string::npos);
    EXPECT_NE(headers.find("Last-Modified: "), std::string::npos);
    EXPECT_NE(headers.find("Accept-Ranges: bytes\r\n"), std::string::npos);
    EXPECT_TRUE(headers.ends_with("\r\n\r\n"));
    EXPECT_EQ(ReadAll(*request), m_big);
    char byte;
    EXPECT_EQ(request->Read(&byte, 1), 0);  // the end stays the end
    EXPECT_EQ(request->ErrorCode(), 0);
}

TEST_F(InetClientTest, MissingFileIsAStatusNotAFailure) {
    auto request = Request("/missing");
    ASSERT_TRUE(request);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 404);
    EXPECT_TRUE(request->RawHeaders().starts_with("HTTP/1.1 404"));
}

TEST_F(InetClientTest, RedirectIsFollowedOrReported) {
    auto followed = Request("/redirect");
    ASSERT_TRUE(followed);
    ASSERT_TRUE(followed->Send()) << followed->ErrorText();
    EXPECT_EQ(followed->StatusCode(), 200);
    EXPECT_EQ(followed->RawHeaders().find("302"), std::string::npos);
    EXPECT_EQ(followed->EffectiveUrl(), m_server.Url("/files/a.txt"));
    EXPECT_EQ(ReadAll(*followed), "hello");

    auto reported = Request("/redirect", kRequestNoRedirect);
    ASSERT_TRUE(reported);
    ASSERT_TRUE(reported->Send()) << reported->ErrorText();
    EXPECT_EQ(reported->StatusCode(), 302);
    EXPECT_NE(reported->RawHeaders().find("Location: " + m_server.Url("/files/a.txt") + "\r\n"),
              std::string::npos)
        << reported->RawHeaders();
}

TEST_F(InetClientTest, RedirectLoopFailsAsClientError) {
    NginxServer loop;
    loop.AddLocation("location = /loop { return 302 /loop; }");
    ASSERT_TRUE(loop.Start()) << loop.ErrorLog();
    auto session = InternetSession::Create("kov-test", AccessType::Direct);
    auto connection = session->GetHttpConnection("127.0.0.1", loop.Port(), {}, {});
    auto request = connection->OpenRequest("/loop", {}, 0);
    EXPECT_FALSE(request->Send());
    EXPECT_EQ(request->StatusCode(), kStatusClientError);
    EXPECT_EQ(request->ErrorCode(), CURLE_TOO_MANY_REDIRECTS);
}

TEST_F(InetClientTest, RangeHeaderKeepsTheFirstAndGives206) {
    auto request = Request("/files/big.bin");
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->AddRequestHeaders("Range: bytes=1000-\n", true));
    EXPECT_TRUE(request->AddRequestHeaders("range: bytes=0-\n", true));
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 206);
    EXPECT_EQ(ReadAll(*request), m_big.substr(1000));
}

TEST_F(InetClientTest, RequestHeadersReachTheServer) {
    auto request = Request("/echo", kRequestNoCache);
    ASSERT_TRUE(request);
    EXPECT_FALSE(request->AddRequestHeaders("Bad Name: x", true));
    EXPECT_TRUE(request->AddRequestHeaders("Pragma: other\r\nRange: bytes=0-\r\n", true));
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(ReadAll(*request), "kov-test|http://referer.example/|no-cache|no-cache|bytes=0-");
}

TEST_F(InetClientTest, SendAgainRepeatsTheRequest) {
    auto request = Request("/files/big.bin");
    ASSERT_TRUE(request);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    char part[1000];
    ASSERT_GT(request->Read(part, sizeof part), 0);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 200);
    EXPECT_EQ(ReadAll(*request), m_big);
}

TEST_F(InetClientTest, SlowReaderGetsEveryByteWithoutIdleTimeOut) {
    // Sleeps well past the idle time-out between reads while libcurl holds the transfer.
    auto request = Request("/files/big.bin", 0, InetTimeouts{5000ms, 150ms});
    ASSERT_TRUE(request);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(ReadAll(*request, 400ms), m_big);
}

TEST_F(InetClientTest, ClientFailuresGive917WithText) {
    int closedPort = test::ServerProcess::FreePort();
    auto session = InternetSession::Create("kov-test", AccessType::Direct);
    ASSERT_TRUE(session);
    auto refused =
        session->GetHttpConnection("127.0.0.1", closedPort, {}, {})->OpenRequest("/", {}, 0);
    EXPECT_FALSE(refused->Send());
    EXPECT_EQ(refused->StatusCode(), kStatusClientError);
    EXPECT_EQ(refused->ErrorCode(), CURLE_COULDNT_CONNECT);
    EXPECT_FALSE(refused->ErrorText().empty());
    char byte;
    EXPECT_EQ(refused->Read(&byte, 1), -1);

    auto unresolved =
        session->GetHttpConnection("kov-test.invalid", 80, {}, {})->OpenRequest("/", {}, 0);
    EXPECT_FALSE(unresolved->Send());
    EXPECT_EQ(unresolved->StatusCode(), kStatusClientError);
    EXPECT_EQ(unresolved->ErrorCode(), CURLE_COULDNT_RESOLVE_HOST);
    EXPECT_FALSE(unresolved->ErrorText().empty());

    EXPECT_EQ(session->GetHttpConnection("bad/host", 80, {}, {}), nullptr);
    EXPECT_EQ(session->GetHttpConnection("127.0.0.1", 70000, {}, {}), nullptr);
    EXPECT_EQ(InternetSession::Create("a", AccessType::NamedProxy, ""), nullptr);
}

TEST_F(InetClientTest, OfflineClientRefusesRequests) {
    auto request = Request("/files/a.txt");
    ASSERT_TRUE(request);
    SetConnectedState(false);
    EXPECT_FALSE(GetConnectedState());
    bool sent = request->Send();
    int error = 0;
    std::string text;
    auto stream = m_session->OpenUrl(m_server.Url("/files/a.txt"), 0, &error, &text);
    SetConnectedState(true);
    EXPECT_FALSE(sent);
    EXPECT_EQ(request->StatusCode(), kStatusClientError);
    EXPECT_NE(request->ErrorText().find("offline"), std::string::npos);
    EXPECT_EQ(stream, nullptr);
    EXPECT_NE(text.find("offline"), std::string::npos);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 200);
}

TEST_F(InetClientTest, OpenUrlReadsHttpAndFiles) {
    auto session = InternetSession::Create("kov-test", AccessType::Preconfigured);
    ASSERT_TRUE(session);
    int error = 0;
    std::string text;
    auto http = session->OpenUrl(m_server.Url("/files/big.bin"), kRequestNoCache, &error, &text);
    ASSERT_TRUE(http) << text;
    EXPECT_EQ(ReadAll(*http), m_big);

    test::TempDir dir;
    std::string path = dir.File("local file.bin");
    std::ofstream(path, std::ios::binary) << m_big.substr(0, 70000);
    auto file = session->OpenUrl("file://" + path, 0, &error, &text);
    ASSERT_TRUE(file) << text;
    EXPECT_EQ(ReadAll(*file), m_big.substr(0, 70000));

    std::string empty = dir.File("empty");
    std::ofstream(empty).flush();
    auto nothing = session->OpenUrl("file://" + empty, 0, &error, &text);
    ASSERT_TRUE(nothing) << text;
    EXPECT_EQ(ReadAll(*nothing), "");
}

TEST_F(InetClientTest, OpenUrlTellsFailuresApart) {
    auto session = InternetSession::Create("kov-test", AccessType::Direct);
    ASSERT_TRUE(session);
    auto failure = [&](const std::string& url) {
        int error = 0;
        std::string text;
        auto stream = session->OpenUrl(url, 0, &error, &text);
        EXPECT_EQ(stream, nullptr) << url;
        EXPECT_FALSE(text.empty()) << url;
        return error;
    };
    EXPECT_EQ(failure("http://[::1/x"), kErrorInvalidUrl);
    EXPECT_EQ(failure("nosuch://host/x"), kErrorUnrecognizedScheme);
    EXPECT_EQ(failure("dict://127.0.0.1/x"), kErrorUnrecognizedScheme);
    EXPECT_EQ(failure("http://kov-test.invalid/x"), kErrorNameNotResolved);
    EXPECT_EQ(failure(m_server.Url("/missing")), 404);
    EXPECT_EQ(failure("file:///nonexistent/kov/file"), CURLE_FILE_COULDNT_READ_FILE);
}

TEST_F(InetClientTest, ProxiesAreUsedWithTheirCredentials) {
    if (!test::TinyproxyServer::Available()) GTEST_SKIP() << "tinyproxy is not installed";
    test::TinyproxyServer proxy;
    proxy.RequireAuth("pu", "pp");
    ASSERT_TRUE(proxy.Start()) << proxy.Log();

    // Named proxy: a 407 first, then the request's own credentials get through.
    auto named = InternetSession::Create("kov-test", AccessType::NamedProxy, proxy.Address());
    ASSERT_TRUE(named);
    auto request = named->GetHttpConnection("127.0.0.1", m_server.Port(), {}, {})
                       ->OpenRequest("/files/a.txt", {}, 0);
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 407);
    ASSERT_TRUE(request->SetProxyCredentials("pu", "pp"));
    ASSERT_TRUE(request->Send()) << request->ErrorText();
    EXPECT_EQ(request->StatusCode(), 200);
    EXPECT_EQ(ReadAll(*request), "hello");

    // The environment's upper-case variable counts when the lower-case one is absent.
    const char* lower = std::getenv("http_proxy");
    std::string savedLower = lower != nullptr ? lower : "";
    unsetenv("http_proxy");
    setenv("HTTP_PROXY", proxy.Address().c_str(), 1);
    auto preconfigured = InternetSession::Create("kov-test", AccessType::Preconfigured);
    ASSERT_TRUE(preconfigured);
    ASSERT_TRUE(preconfigured->SetProxyCredentials("pu", "pp"));
    int error = 0;
    std::string text;
    auto stream = preconfigured->OpenUrl(m_server.Url("/files/a.txt?via=env"), 0, &error, &text);
    unsetenv("HTTP_PROXY");
    if (lower != nullptr) setenv("http_proxy", savedLower.c_str(), 1);
    ASSERT_TRUE(stream) << text;
    EXPECT_EQ(ReadAll(*stream), "hello");
    EXPECT_NE(proxy.Log().find("a.txt?via=env"), std::string::npos) << proxy.Log();
}

// A TCP listener on loopback that accepts and then sends only what it is told to.
class SilentServer {
public:
    explicit SilentServer(std::string greeting) : m_greeting(std::move(greeting)) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 4) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            int client = accept(m_fd, nullptr, nullptr);
            if (client < 0) return;
            if (!m_greeting.empty()) (void)!write(client, m_greeting.data(), m_greeting.size());
            while (!m_done)
                std::this_thread::sleep_for(10ms);
            close(client);
        });
    }
    ~SilentServer() {
        m_done = true;
        shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable()) m_thread.join();
        close(m_fd);
    }
    int Port() const { return m_port; }

private:
    std::string m_greeting;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

TEST(InetClientIdle, SilentServerFailsInsteadOfHanging) {
    ASSERT_TRUE(InternetGlobalInit());
    auto session =
        InternetSession::Create("kov-test", AccessType::Direct, {}, InetTimeouts{5000ms, 300ms});
    ASSERT_TRUE(session);

    SilentServer silent("");
    auto request =
        session->GetHttpConnection("127.0.0.1", silent.Port(), {}, {})->OpenRequest("/", {}, 0);
    EXPECT_FALSE(request->Send());
    EXPECT_EQ(request->StatusCode(), kStatusClientError);
    EXPECT_EQ(request->ErrorCode(), CURLE_OPERATION_TIMEDOUT);

    // Headers and a little body, then silence: the data arrives, then the read fails.
    SilentServer stalling("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
    auto stalled =
        session->GetHttpConnection("127.0.0.1", stalling.Port(), {}, {})->OpenRequest("/", {}, 0);
    ASSERT_TRUE(stalled->Send()) << stalled->ErrorText();
    EXPECT_EQ(stalled->StatusCode(), 200);
    char buffer[200];
    EXPECT_EQ(stalled->Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(stalled->Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(stalled->ErrorCode(), CURLE_OPERATION_TIMEDOUT);
    EXPECT_FALSE(stalled->ErrorText().empty());
}

TEST(InetClientTls, SelfSignedCertificateIsRefused) {
    ASSERT_TRUE(InternetGlobalInit());
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    if (std::system("command -v openssl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "openssl is not installed";
    test::TempDir dir;
    std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1"
        " -keyout " +
        dir.File("key.pem") + " -out " + dir.File("cert.pem") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    NginxServer server;
    server.UseTls(dir.File("cert.pem"), dir.File("key.pem"));
    ASSERT_TRUE(server.WriteFile("a.txt", "secret"));
    ASSERT_TRUE(server.Start()) << server.ErrorLog();

    auto session = InternetSession::Create("kov-test", AccessType::Direct);
    auto request = session->GetHttpConnection("127.0.0.1", server.Port(), {}, {}, true)
                       ->OpenRequest("/a.txt", {}, 0);
    EXPECT_FALSE(request->Send());
    EXPECT_EQ(request->StatusCode(), kStatusClientError);
    EXPECT_EQ(request->ErrorCode(), CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_NE(request->ErrorText().find("certificate"), std::string::npos) << request->ErrorText();
    int error = 0;
    std::string text;
    EXPECT_EQ(session->OpenUrl(server.Url("/a.txt"), 0, &error, &text), nullptr);
    EXPECT_EQ(error, CURLE_PEER_FAILED_VERIFICATION);
}

}  // namespace
}  // namespace kov
