#include "net/http/proxy_send.h"

#include <gtest/gtest.h>

#include <vector>

#include "net/http/inet.h"

namespace kov {
namespace {

// Answers each Send with the next status (0: the client fails); takes credentials or not.
class ScriptedRequest : public HttpRequest {
public:
    ScriptedRequest(std::vector<int> statuses, bool takesCredentials)
        : m_statuses(std::move(statuses)), m_takes(takesCredentials) {}
    bool AddRequestHeaders(std::string_view, bool) override { return true; }
    bool SetProxyCredentials(std::string user, std::string password) override {
        credentials = user + ":" + password;
        return m_takes;
    }
    bool Send() override {
        m_status = m_statuses.at(sends++);
        return m_status != 0;
    }
    int StatusCode() const override { return m_status; }
    std::string RawHeaders() const override { return {}; }
    long Read(char*, std::size_t) override { return 0; }
    std::string EffectiveUrl() const override { return {}; }
    const std::string& ErrorText() const override { return m_error; }
    int ErrorCode() const override { return 0; }

    int sends = 0;
    std::string credentials;

private:
    std::vector<int> m_statuses;
    bool m_takes;
    int m_status = 0;
    std::string m_error;
};

TEST(ProxySendTest, A407IsAnsweredOnceWithTheCredentials) {
    struct Case {
        std::vector<int> statuses;
        const char* user;
        const char* password;
        bool takes;
        ProxySend result;
        int sends;
        int status;
    };
    const Case cases[] = {
        {{200}, "u", "p", true, ProxySend::Answered, 1, 200},
        {{0}, "u", "p", true, ProxySend::NotSent, 1, 0},
        {{407, 200}, "u", "p", true, ProxySend::Answered, 2, 200},
        {{407, 407}, "u", "p", true, ProxySend::Answered, 2, 407},  // the second one is final
        {{407, 0}, "u", "p", true, ProxySend::NotSent, 2, 0},
        {{407}, "", "p", true, ProxySend::NoCredentials, 1, 407},
        {{407}, "u", "", true, ProxySend::NoCredentials, 1, 407},
        {{407}, "u", "p", false, ProxySend::CredentialsFailed, 1, 407},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.statuses.front() << " " << c.user << ":" << c.password);
        ScriptedRequest request(c.statuses, c.takes);
        EXPECT_EQ(SendThroughProxy(request, c.user, c.password), c.result);
        EXPECT_EQ(request.sends, c.sends);
        EXPECT_EQ(request.StatusCode(), c.status);
        const bool given = c.statuses.front() == 407 && c.result != ProxySend::NoCredentials;
        EXPECT_EQ(request.credentials, given ? "u:p" : "");
    }
}

}  // namespace
}  // namespace kov
