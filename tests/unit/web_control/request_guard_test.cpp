#include "web_control/request_guard.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "web_control/remote_token.h"

namespace kov {
namespace {

constexpr int kPort = 6990;

class RequestGuardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_token.LoadOrMake()); }

    RequestGuard GuardFor(const std::string& address) {
        RemoteSettings settings;
        settings.Address = address;
        return RequestGuard(settings, m_token, kPort, 1000);
    }
    RequestHead Head(std::string path = "/api/v1/items") {
        RequestHead head;
        head.method = "GET";
        head.path = std::move(path);
        head.host = "127.0.0.1:6990";
        head.authorization = "Bearer " + m_token.Value();
        return head;
    }

    test::TempDir m_dir;
    RemoteToken m_token{m_dir.File("token")};
};

struct HostCase {
    const char* address;  // configured
    const char* host;     // sent
    bool allowed;
};

TEST_F(RequestGuardTest, KnowsTheNamesOfThisMachine) {
    const HostCase cases[] = {
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", "127.0.0.1:6990", true},
        {"127.0.0.1", "localhost:6990", true},
        {"127.0.0.1", "LOCALHOST", true},
        {"127.0.0.1", "[::1]:6990", true},
        {"127.0.0.1", "127.0.0.1:6991", false},
        {"127.0.0.1", "127.0.0.1:", false},
        {"127.0.0.1", "127.0.0.1:69x0", false},
        {"127.0.0.1", "evil.example", false},
        {"127.0.0.1", "localhost.evil.example", false},
        {"127.0.0.1", "192.168.1.20", false},
        {"127.0.0.1", "", false},
        {"127.0.0.1", "[::1", false},
        {"192.168.1.20", "192.168.1.20:6990", true},
        {"192.168.1.20", "192.168.1.21:6990", false},
        {"::1", "[::1]:6990", true},
        {"fe80::1", "[FE80::1]:6990", true},
        {"[fe80::1]", "[fe80::1]", true},
        // Listening everywhere: any address literal reaches this machine; names still must be ours.
        {"0.0.0.0", "192.168.1.20:6990", true},
        {"0.0.0.0", "[2001:db8::5]:6990", true},
        {"::", "10.0.0.7", true},
        {"0.0.0.0", "evil.example:6990", false},
        {"0.0.0.0", "10.0.0.7:80", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " <- " + c.host);
        EXPECT_EQ(GuardFor(c.address).HostAllowed(c.host), c.allowed);
    }
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    EXPECT_TRUE(GuardFor("127.0.0.1").HostAllowed(std::string(name) + ":6990"));
}

TEST_F(RequestGuardTest, OriginMustBeTheServerAsReached) {
    struct Case {
        const char* origin;
        const char* host;
        bool allowed;
    } const cases[] = {
        {"http://127.0.0.1:6990", "127.0.0.1:6990", true},
        {"http://LocalHost:6990", "localhost:6990", true},
        {"http://localhost:6990", "127.0.0.1:6990", false},
        {"https://127.0.0.1:6990", "127.0.0.1:6990", false},
        {"http://127.0.0.1:6990/", "127.0.0.1:6990", false},
        {"null", "127.0.0.1:6990", false},
        {"", "127.0.0.1:6990", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.origin);
        EXPECT_EQ(RequestGuard::OriginAllowed(c.origin, c.host), c.allowed);
    }
}

TEST_F(RequestGuardTest, PageFilesArePlainNamesOnly) {
    struct Case {
        const char* path;
        const char* file;
    } const cases[] = {
        {"/", "index.html"},
        {"/app.js", "app.js"},
        {"/style.css", "style.css"},
        {"/icon-2_x.png", "icon-2_x.png"},
        {"/..", ""},
        {"/../etc/passwd", ""},
        {"/.hidden", ""},
        {"/a/b.js", ""},
        {"/a\\b", ""},
        {"", ""},
        {"app.js", ""},
        {"/app.js?x", ""},
        {"//app.js", ""},
        {"/app%2ejs", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(RequestGuard::PageFile(c.path), c.file);
    }
}

struct OrderCase {
    const char* name;
    void (*spoil)(RequestHead&);
    int status;
    bool badToken;
    RequestTarget target;
};

// The first failing check decides: an unknown path before the Host, the Host before the
// Origin, the Origin before the token, the token before the size.
TEST_F(RequestGuardTest, ChecksInAFixedOrder) {
    const OrderCase cases[] = {
        {"all good", [](RequestHead&) {}, 0, false, RequestTarget::Api},
        {"events", [](RequestHead& h) { h.path = "/api/v1/events"; }, 0, false,
         RequestTarget::Events},
        {"page without token",
         [](RequestHead& h) {
             h.path = "/";
             h.authorization.reset();
         },
         0, false, RequestTarget::Page},
        {"unknown path and everything wrong",
         [](RequestHead& h) {
             h.path = "/x/y";
             h.host = "evil.example";
             h.authorization.reset();
         },
         404, false, RequestTarget::Api},
        {"foreign host, foreign origin, no token",
         [](RequestHead& h) {
             h.host = "evil.example";
             h.origin = "http://evil.example";
             h.authorization.reset();
         },
         403, false, RequestTarget::Api},
        {"no host", [](RequestHead& h) { h.host.reset(); }, 403, false, RequestTarget::Api},
        {"foreign origin, wrong token",
         [](RequestHead& h) {
             h.origin = "http://evil.example";
             h.authorization = "Bearer nope";
         },
         403, false, RequestTarget::Api},
        {"wrong token, body too large",
         [](RequestHead& h) {
             h.authorization = "Bearer nope";
             h.contentLength = 5000;
         },
         401, true, RequestTarget::Api},
        {"token of another length", [](RequestHead& h) { h.authorization->pop_back(); }, 401, true,
         RequestTarget::Api},
        {"empty bearer", [](RequestHead& h) { h.authorization = "Bearer "; }, 401, true,
         RequestTarget::Api},
        {"no token", [](RequestHead& h) { h.authorization.reset(); }, 401, false,
         RequestTarget::Api},
        {"body at the limit", [](RequestHead& h) { h.contentLength = 1000; }, 0, false,
         RequestTarget::Api},
        {"body over the limit", [](RequestHead& h) { h.contentLength = 1001; }, 413, false,
         RequestTarget::Api},
        {"page posted",
         [](RequestHead& h) {
             h.path = "/app.js";
             h.method = "POST";
         },
         405, false, RequestTarget::Api},
        {"events deleted, no token",
         [](RequestHead& h) {
             h.path = "/api/v1/events";
             h.method = "DELETE";
             h.authorization.reset();
         },
         405, false, RequestTarget::Api},
    };
    const RequestGuard guard = GuardFor("127.0.0.1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RequestHead head = Head();
        c.spoil(head);
        const GuardVerdict verdict = guard.Check(head);
        EXPECT_EQ(verdict.status, c.status) << verdict.cause;
        EXPECT_EQ(verdict.badToken, c.badToken);
        if (c.status == 0) {
            EXPECT_EQ(verdict.target, c.target);
        }
    }
}

}  // namespace
}  // namespace kov
