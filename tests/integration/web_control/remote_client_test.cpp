#include "web_control/remote_client.h"

#include <gtest/gtest.h>

#include "support/fault_server.h"
#include "support/missing_server.h"

namespace kov {
namespace {

class RemoteClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::FaultServer::Available() || !server.Start())
            KOV_SKIP_WITHOUT_SERVER() << "python3 with tests/support/fault_server.py";
        settings.Port = server.Port();
    }
    test::FaultServer server;
    RemoteSettings settings;
};

TEST_F(RemoteClientTest, SendsTheToken) {
    const RemoteClient client(settings, "0123abcd");
    const RemoteReply plain = client.Call("GET", "/echo");
    ASSERT_TRUE(plain.Answered()) << plain.transport;
    EXPECT_EQ(plain.status, 200);
    EXPECT_TRUE(plain.body.is_null());  // text, not JSON
    EXPECT_NE(plain.text.find("GET /echo"), std::string::npos) << plain.text;
    EXPECT_NE(plain.text.find("Authorization: Bearer 0123abcd"), std::string::npos);
    EXPECT_NE(plain.text.find("Accept: application/json"), std::string::npos);
    EXPECT_EQ(plain.text.find("Content-Type"), std::string::npos) << "no body, no type";
}

TEST_F(RemoteClientTest, AnAnswerThatIsNoSuccessIsAnsweredButNotOk) {
    const struct {
        const char* method;
        const char* path;
        int status;
    } cases[] = {
        {"GET", "/range?size=10", 200},
        {"GET", "/redirect?to=/range", 302},  // not followed: the API never redirects
        {"PATCH", "/echo", 501},
    };
    for (const auto& c : cases) {
        const RemoteReply reply = RemoteClient(settings, "t").Call(c.method, c.path);
        EXPECT_TRUE(reply.Answered()) << c.path;
        EXPECT_EQ(reply.status, c.status) << c.path;
        EXPECT_EQ(reply.Ok(), c.status == 200) << c.path;
    }
}

}  // namespace
}  // namespace kov
