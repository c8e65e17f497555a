// Transfers of one thread share its multi handle: several alive at once each get their own
// body, HTTP/2 carries them over one TLS connection (but not in a scope of one loop), and pages
// may come compressed.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/http/curl_easy_reader.h"
#include "net/http/curl_http_request.h"
#include "net/http/shared_connections.h"
#include "net/http/thread_multi.h"
#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "support/test_ca.h"

namespace kov {
namespace {

const std::string kBig = test::FaultBody(3, 2 * 1024 * 1024 + 5);
const std::string kPage = "<html><body>" + std::string(20000, 'k') + "</body></html>\n";

// Connection numbers of the access log's lines.
std::set<std::string> Connections(const std::string& log) {
    std::set<std::string> numbers;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        numbers.insert(line.substr(0, line.find(' ')));
    return numbers;
}

class TransferSharingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!test::NginxServer::Available() || !test::TestCa::Available()) return;
        s_ca = std::make_unique<test::TestCa>();
        if (!s_ca->Make()) return;
        for (auto* server : {&s_plain, &s_tls}) {
            *server = std::make_unique<test::NginxServer>();
            (*server)->WriteFile("big.bin", kBig);
            (*server)->WriteFile("small.bin", kBig.substr(0, 777));
            (*server)->WriteFile("gz/page.html", kPage);
        }
        s_plain->AddLocation("location /gz/ { gzip on; gzip_min_length 1; }");
        s_plain->AddLocation("location = /asked { return 200 \"$http_accept_encoding\"; }");
        s_tls->UseTls(s_ca->CertFile(), s_ca->KeyFile());
        s_tls->OfferHttp2();
        if (!s_plain->Start() || !s_tls->Start()) s_plain.reset();
    }
    static void TearDownTestSuite() {
        s_plain.reset();
        s_tls.reset();
        s_ca.reset();
    }
    void SetUp() override {
        if (!s_plain) GTEST_SKIP() << "nginx or openssl is missing";
        config.userAgent = "kov-test";
        config.shared = SharedConnections::Create();
        ASSERT_TRUE(config.shared);
    }

    // A reader of a TLS address of the http2 server, trusting the test's CA.
    std::unique_ptr<CurlEasyReader> TlsReader(const std::string& path) const {
        auto reader = std::make_unique<CurlEasyReader>(config);
        const std::string url = "https://localhost:" + std::to_string(s_tls->Port()) + path;
        curl_easy_setopt(reader->Easy(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(reader->Easy(), CURLOPT_CAINFO, s_ca->CaFile().c_str());
        return reader;
    }
    std::unique_ptr<CurlEasyReader> PlainReader(const std::string& path) const {
        auto reader = std::make_unique<CurlEasyReader>(config);
        curl_easy_setopt(reader->Easy(), CURLOPT_URL, s_plain->Url(path).c_str());
        return reader;
    }

    // Opens every reader, then reads them in turn, chunk by chunk, to their ends.
    static std::vector<std::string> ReadInTurn(std::vector<std::unique_ptr<CurlEasyReader>>& all,
                                               std::size_t chunk) {
        std::vector<std::string> bodies(all.size());
        for (auto& reader : all)
            EXPECT_TRUE(reader->Open(CurlEasyReader::OpenUntil::Headers)) << reader->ErrorText();
        std::vector<char> buffer(chunk);
        for (bool more = true; more;) {
            more = false;
            for (std::size_t i = 0; i < all.size(); ++i) {
                const long n = all[i]->Read(buffer.data(), buffer.size());
                if (n < 0) bodies[i] += "<failed>";
                if (n <= 0) continue;
                bodies[i].append(buffer.data(), static_cast<std::size_t>(n));
                more = true;
            }
        }
        return bodies;
    }

    static inline std::unique_ptr<test::TestCa> s_ca;
    static inline std::unique_ptr<test::NginxServer> s_plain;
    static inline std::unique_ptr<test::NginxServer> s_tls;
    CurlSessionConfig config;
};

TEST_F(TransferSharingTest, ReadersOfOneThreadAliveAtOnceGetTheirOwnBodies) {
    struct Case {
        bool tls;
        std::size_t chunk;
    };
    // Small chunks keep every transfer open while the others end; large ones let the small
    // transfer end while another one drives the thread's multi handle.
    for (const Case& c :
         {Case{false, 1000}, Case{false, 1 << 20}, Case{true, 1000}, Case{true, 1 << 20}}) {
        std::vector<std::unique_ptr<CurlEasyReader>> readers;
        for (const char* path : {"/big.bin", "/small.bin", "/big.bin"})
            readers.push_back(c.tls ? TlsReader(path) : PlainReader(path));
        const auto bodies = ReadInTurn(readers, c.chunk);
        ASSERT_EQ(bodies.size(), 3u);
        EXPECT_TRUE(bodies[0] == kBig) << c.tls << " " << c.chunk << ": " << bodies[0].size();
        EXPECT_TRUE(bodies[1] == kBig.substr(0, 777)) << c.tls << " " << c.chunk;
        EXPECT_TRUE(bodies[2] == kBig) << c.tls << " " << c.chunk << ": " << bodies[2].size();
        EXPECT_EQ(readers[1]->StatusCode(), 200);
    }
}

TEST_F(TransferSharingTest, Http2CarriesTheTransfersOfAThreadOverOneConnection) {
    const std::size_t before = s_tls->AccessLog().size();
    std::vector<std::unique_ptr<CurlEasyReader>> readers;
    for (int i = 0; i < 4; ++i)
        readers.push_back(TlsReader(i % 2 ? "/big.bin" : "/small.bin"));
    const auto bodies = ReadInTurn(readers, 4096);
    for (std::size_t i = 0; i < readers.size(); ++i) {
        EXPECT_TRUE(readers[i]->RawHeaders().starts_with("HTTP/2 200")) << readers[i]->RawHeaders();
        EXPECT_TRUE(bodies[i] == (i % 2 ? kBig : kBig.substr(0, 777))) << i;
    }
    EXPECT_EQ(Connections(s_tls->AccessLog().substr(before)).size(), 1u);

    // Threads keep to their own connections, each reused for the thread's next transfers.
    const std::size_t threadsBefore = s_tls->AccessLog().size();
    std::vector<std::thread> threads;
    std::vector<int> matches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) {
                std::vector<std::unique_ptr<CurlEasyReader>> one;
                one.push_back(TlsReader("/big.bin"));
                matches[t] += ReadInTurn(one, 65536)[0] == kBig;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(matches, std::vector<int>(4, 3));
    EXPECT_LE(Connections(s_tls->AccessLog().substr(threadsBefore)).size(), 4u);
}

// One loop drives the transfers of a scope without waiting on any one of them; each has a
// connection of its own, even where HTTP/2 could carry them all over one (a file split over
// connections would otherwise share one).
TEST_F(TransferSharingTest, AScopesTransfersMoveOnTogetherEachOverItsOwnConnection) {
    for (const bool tls : {false, true}) {
        const test::NginxServer& server = tls ? *s_tls : *s_plain;
        const std::size_t before = server.AccessLog().size();
        TransferScope scope;
        std::vector<std::unique_ptr<CurlEasyReader>> readers;
        for (const char* path : {"/big.bin", "/small.bin", "/big.bin"}) {
            readers.push_back(tls ? TlsReader(path) : PlainReader(path));
            ASSERT_TRUE(readers.back()->Start());
            // The later ones start once the first connection is up (and known to be HTTP/2).
            while (!readers[0]->HeadersComplete() && scope.Perform())
                scope.Wait(std::chrono::milliseconds(10));
        }
        std::vector<std::string> bodies(readers.size());
        std::vector<char> buffer(4096);
        for (std::size_t open = readers.size(); open > 0;) {
            scope.Perform();
            open = 0;
            for (std::size_t i = 0; i < readers.size(); ++i) {
                long n = 0;
                while ((n = readers[i]->ReadNoWait(buffer.data(), buffer.size())) > 0)
                    bodies[i].append(buffer.data(), static_cast<std::size_t>(n));
                ASSERT_NE(n, -1L) << readers[i]->ErrorText();
                open += n == kReadLater;
            }
            if (open > 0) scope.Wait(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(bodies[0] == kBig && bodies[2] == kBig) << tls;
        EXPECT_TRUE(bodies[1] == kBig.substr(0, 777)) << tls;
        readers.clear();
        EXPECT_EQ(Connections(server.AccessLog().substr(before)).size(), 3u) << tls;
    }
}

// A transfer of a scope's loop that gets nothing for the idle time fails as one that waits by
// itself does, before its headers and after them; the loop's other transfers carry no weight.
TEST_F(TransferSharingTest, AScopesSilentTransfersFailAfterTheIdleTime) {
    test::FaultServer faults;
    ASSERT_TRUE(faults.Start());
    config.timeouts.idle = std::chrono::milliseconds(400);
    TransferScope scope;
    std::vector<std::unique_ptr<CurlEasyReader>> readers;
    for (const char* path : {"/silent", "/trickle?size=20&every=5&head=0"}) {
        readers.push_back(std::make_unique<CurlEasyReader>(config));
        curl_easy_setopt(readers.back()->Easy(), CURLOPT_URL, faults.Url(path).c_str());
    }
    readers.push_back(PlainReader("/big.bin"));
    for (auto& reader : readers)
        ASSERT_TRUE(reader->Start());
    const auto start = std::chrono::steady_clock::now();
    std::vector<long> last(readers.size(), kReadLater);
    std::vector<char> buffer(65536);
    while ((last[0] == kReadLater || last[1] == kReadLater) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        scope.Perform();
        for (std::size_t i = 0; i < readers.size(); ++i) {
            long n = kReadLater;
            while (last[i] != -1 && last[i] != 0 &&
                   (n = readers[i]->ReadNoWait(buffer.data(), buffer.size())) > 0) {
            }
            if (last[i] != -1 && last[i] != 0) last[i] = n;
        }
        scope.Wait(std::chrono::milliseconds(50));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(last[0], -1);
    EXPECT_EQ(last[1], -1);
    EXPECT_EQ(readers[0]->ErrorCode(), kErrorTooSlow) << readers[0]->ErrorText();
    EXPECT_EQ(readers[1]->ErrorCode(), kErrorTooSlow) << readers[1]->ErrorText();
    EXPECT_NE(last[2], -1) << readers[2]->ErrorText();
}

TEST_F(TransferSharingTest, OnlyPagesAskedCompressedComeCompressedAndAreSavedDecoded) {
    struct Case {
        const char* path;
        unsigned flags;
        std::string body;
        bool encodingHeaders;  // Content-Encoding or Content-Length in the headers
    };
    const std::vector<Case> cases = {
        {"/gz/page.html", kRequestCompressed, kPage, false},
        {"/gz/page.html", 0, kPage, true},
        {"/asked", 0, "", true},
        {"/big.bin", 0, kBig, true},
    };
    for (const Case& c : cases) {
        auto request = CurlHttpRequest::Create(config, s_plain->Url(c.path), {}, {}, {}, c.flags);
        ASSERT_TRUE(request);
        ASSERT_TRUE(request->Send()) << request->ErrorText();
        std::string body;
        std::vector<char> buffer(70000);
        for (long n; (n = request->Read(buffer.data(), buffer.size())) > 0;)
            body.append(buffer.data(), static_cast<std::size_t>(n));
        EXPECT_TRUE(body == c.body) << c.path << " " << c.flags << ": " << body.size();
        const std::string headers = request->RawHeaders();
        const bool encoding = headers.find("Content-Encoding") != std::string::npos ||
                              headers.find("Content-Length") != std::string::npos;
        EXPECT_EQ(encoding, c.encodingHeaders) << c.path << "\n" << headers;
    }
    // The compressed request really was compressed on the wire.
    auto asked =
        CurlHttpRequest::Create(config, s_plain->Url("/asked"), {}, {}, {}, kRequestCompressed);
    ASSERT_TRUE(asked->Send());
    char text[200];
    const long n = asked->Read(text, sizeof text);
    EXPECT_NE(std::string(text, static_cast<std::size_t>(std::max(n, 0L))).find("gzip"),
              std::string::npos);
}

}  // namespace
}  // namespace kov
