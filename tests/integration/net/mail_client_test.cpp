#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "net/pop3_connection.h"
#include "net/smtp_connection.h"
#include "platform/tcp_socket.h"
#include "support/pop3_server.h"
#include "support/smtp_server.h"
#include "support/test_ca.h"

namespace kov {
namespace {

using namespace std::chrono_literals;
using test::Pop3Server;
using test::SmtpServer;

class MailClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_ca = std::make_unique<test::TestCa>();
        if (!test::TestCa::Available() || !s_ca->Make()) s_ca.reset();
    }
    static void TearDownTestSuite() { s_ca.reset(); }
    void SetUp() override {
        if (!s_ca) GTEST_SKIP() << "openssl is not installed";
    }
    static std::unique_ptr<test::TestCa> s_ca;
};
std::unique_ptr<test::TestCa> MailClientTest::s_ca;

TEST_F(MailClientTest, SmtpSendsOverEachTransportAndRefusesBadLogins) {
    if (!SmtpServer::Available()) GTEST_SKIP() << "python3-aiosmtpd is not installed";
    using Mode = SmtpServer::Mode;
    struct Case {
        const char* name;
        Mode mode;
        bool auth;
        MailSecurity security;
        const char* host;
        const char* password;  // nullptr: no login
        bool caFile;
        const char* error;  // nullptr: sent
    } cases[] = {
        {"plain", Mode::Plain, false, MailSecurity::Plain, "127.0.0.1", nullptr, false, nullptr},
        {"starttls", Mode::StartTls, false, MailSecurity::StartTls, "localhost", nullptr, true,
         nullptr},
        {"implicit", Mode::Tls, false, MailSecurity::Implicit, "localhost", nullptr, true, nullptr},
        {"auth", Mode::StartTls, true, MailSecurity::StartTls, "localhost", SmtpServer::kPassword,
         true, nullptr},
        {"wrong password", Mode::StartTls, true, MailSecurity::StartTls, "localhost", "wrong-one",
         true, "535:SMTP authentication failed"},
        {"unknown CA", Mode::Tls, false, MailSecurity::Implicit, "localhost", nullptr, false,
         "certificate refused"},
        {"other host name", Mode::StartTls, false, MailSecurity::StartTls, "127.0.0.1", nullptr,
         true, "certificate refused"},
        {"no STARTTLS", Mode::Plain, false, MailSecurity::StartTls, "127.0.0.1", nullptr, false,
         "does not offer STARTTLS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpServer server;
        ASSERT_TRUE(server.Start(c.mode, *s_ca, c.auth));
        SmtpConnection smtp(c.host, server.Port());
        smtp.SetTimeout(10s);
        smtp.SetSecurity(c.security);
        if (c.caFile) smtp.SetCaFile(s_ca->CaFile());
        if (c.password != nullptr) smtp.SetLogin(SmtpServer::kUser, c.password);
        const int connected = smtp.Connect();
        if (c.error != nullptr) {
            EXPECT_EQ(connected, 0);
            EXPECT_NE(smtp.GetLastError().find(c.error), std::string::npos) << smtp.GetLastError();
            if (c.password != nullptr) {
                EXPECT_EQ(smtp.GetLastError().find(c.password), std::string::npos);
            }
            continue;
        }
        ASSERT_EQ(connected, 1) << smtp.GetLastError();
        EXPECT_EQ(smtp.IsTls(), c.security != MailSecurity::Plain);
        smtp.SetMailer("KOV Downloader");
        MailMessage query;
        query.SetSender("a@kov.test");
        query.SetSubject("query");
        query.AddRecipient("b@kov.test");
        for (const char* line : {"URLIST", ".", ".hidden\n..two"})
            query.AddBodyLine(line);
        EXPECT_EQ(smtp.Send(query), 1) << smtp.GetLastError();
        smtp.Disconnect();
        const auto received = server.Messages();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_NE(received[0].find("To: <b@kov.test>\r\nSubject: query\r\nMessage-ID: <"),
                  std::string::npos);
        EXPECT_NE(received[0].find("X-Mailer: KOV Downloader\r\n\r\n\r\nURLIST\r\n.\r\n"
                                   ".hidden\r\n..two\r\n"),
                  std::string::npos)
            << received[0];
    }
}

TEST_F(MailClientTest, Pop3ReadsAndDeletesOverEachTransportAndRefusesBadLogins) {
    if (!Pop3Server::Available()) GTEST_SKIP() << "dovecot-pop3d is not installed (or not root)";
    struct Case {
        const char* name;
        bool tlsPort;
        MailSecurity security;
        const char* host;
        const char* password;
        bool caFile;
        const char* error;  // nullptr: logged in
    } cases[] = {
        {"plain", false, MailSecurity::Plain, "127.0.0.1", Pop3Server::kPassword, false, nullptr},
        {"stls", false, MailSecurity::StartTls, "localhost", Pop3Server::kPassword, true, nullptr},
        {"implicit", true, MailSecurity::Implicit, "localhost", Pop3Server::kPassword, true,
         nullptr},
        {"wrong password", false, MailSecurity::Plain, "127.0.0.1", "wrong-one", false,
         "CPop3Connection::Connect, Failed to read a PASS command response from the POP3 "
         "server\n"},
        {"line break in password", false, MailSecurity::Plain, "127.0.0.1", "x\r\nDELE 1", false,
         "Failed to send the PASS command"},
        {"unknown CA", true, MailSecurity::Implicit, "localhost", Pop3Server::kPassword, false,
         "certificate refused"},
        {"other host name", false, MailSecurity::StartTls, "127.0.0.1", Pop3Server::kPassword, true,
         "certificate refused"},
    };
    const std::string folded =
        "From: a@kov.test\r\nSubject: first\r\n\tsecond\r\n\r\nURLIST\r\n..\r\n...x\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Server server;
        ASSERT_TRUE(server.Start(*s_ca));
        ASSERT_TRUE(server.AddMessage(folded));
        ASSERT_TRUE(server.AddMessage("Subject: two\r\n\r\nbody\r\n"));
        Pop3Connection pop3;
        pop3.SetTimeout(10s);
        pop3.SetSecurity(c.security);
        if (c.caFile) pop3.SetCaFile(s_ca->CaFile());
        const bool connected = pop3.Connect(c.host, Pop3Server::kUser, c.password,
                                            c.tlsPort ? server.TlsPort() : server.Port());
        if (c.error != nullptr) {
            EXPECT_FALSE(connected);
            EXPECT_NE(pop3.GetLastError().find(c.error), std::string::npos) << pop3.GetLastError();
            EXPECT_EQ(pop3.GetLastError().find(c.password), std::string::npos);
            continue;
        }
        ASSERT_TRUE(connected) << pop3.GetLastError();
        EXPECT_EQ(pop3.IsTls(), c.security != MailSecurity::Plain);
        int count = 0;
        long long size = 0;
        ASSERT_TRUE(pop3.Statistics(count, size)) << pop3.GetLastError();
        EXPECT_EQ(count, 2);
        Pop3Message message;
        ASSERT_TRUE(pop3.Retrieve(1, message)) << pop3.GetLastError();
        EXPECT_EQ(message.GetHeaderItem("subject"), "first second");
        EXPECT_EQ(message.GetBody(), "URLIST\r\n..\r\n...x\r\n");  // as stored
        ASSERT_EQ(pop3.Sizes().size(), 2u);
        EXPECT_EQ(pop3.Sizes()[0], static_cast<long long>(folded.size()));
        EXPECT_TRUE(pop3.Delete(1)) << pop3.GetLastError();
        EXPECT_TRUE(pop3.Noop());
        pop3.Disconnect();
        EXPECT_EQ(server.Count(), 1u);
    }
}

// A server on loopback that answers each received line with the next scripted reply; an
// empty reply means silence until the client gives up.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> replies) {
        m_listener.Listen("127.0.0.1");
        m_thread = std::thread([this, replies = std::move(replies)] {
            TcpSocket client;
            if (!m_listener.Accept(client, 5s, [this] { return m_stop.load(); })) return;
            std::string line;
            for (const std::string& reply : replies) {
                if (reply.empty()) break;
                if (!client.SendAll(reply, 5s)) return;
                for (char c = 0; c != '\n';)
                    if (client.Receive(&c, 1, 5s, [this] { return m_stop.load(); }) != 1) return;
            }
            char c;
            while (!m_stop && client.Receive(&c, 1, 100ms) != 0) {
            }
        });
    }
    ~ScriptedServer() {
        m_stop = true;
        m_thread.join();
    }
    int Port() const { return m_listener.LocalPort(); }

private:
    TcpSocket m_listener;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(MailClientTest, SmtpFailsCleanlyOnSilentBrokenAndEndlessServers) {
    const std::string endless = "250-" + std::string(70000, 'x') + "\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        const char* error;
    } cases[] = {
        {"silent", {""}, "Server didn't respond."},
        {"busy", {"421 busy\r\n"}, "Server didn't respond."},
        {"HELO refused", {"220 hi\r\n", "501 no\r\n"}, "501:SMTP server error"},
        {"endless reply", {"220 hi\r\n", endless}, "SMTP reply too long"},
        {"closes", {"220 hi\r\n"}, "Socket Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.replies);
        SmtpConnection smtp("127.0.0.1", server.Port());
        smtp.SetTimeout(300ms);
        EXPECT_EQ(smtp.Connect(), 0);
        EXPECT_EQ(smtp.GetLastError().rfind(c.error, 0), 0u) << smtp.GetLastError();
        EXPECT_FALSE(smtp.IsConnected());
    }
}

TEST_F(MailClientTest, Pop3FailsCleanlyOnSilentBrokenAndOversizedReplies) {
    const std::string login[] = {"+OK hi\r\n", "+OK\r\n", "+OK\r\n"};
    const std::string big = std::string(50000, 'y') + "\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        bool loggedIn;
        const char* error;  // nullptr: the 50 kB message arrives although LIST said 10
    } cases[] = {
        {"silent", {""}, false, "CPop3Connection::Connect, Failed to read a command response"},
        {"half a line", {"+OK hel"}, false, "(+OK hel)"},
        {"refused", {"-ERR go away\r\n"}, false, "-ERR go away"},
        {"oversized",
         {"+OK 1 10\r\n1 10\r\n.\r\n", "+OK\r\n" + big + big + ".\r\n"},
         true,
         "POP3 reply too long"},
        {"bigger than listed",
         {"+OK 1 10\r\n1 10\r\n.\r\n", "+OK\r\n" + big + ".\r\n"},
         true,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> replies = c.replies;
        if (c.loggedIn) replies.insert(replies.begin(), std::begin(login), std::end(login));
        ScriptedServer server(replies);
        Pop3Connection pop3;
        pop3.SetTimeout(300ms);
        pop3.SetMaxMessage(80000);
        const bool connected = pop3.Connect("127.0.0.1", "u", "p", server.Port());
        ASSERT_EQ(connected, c.loggedIn) << pop3.GetLastError();
        Pop3Message message;
        if (c.loggedIn && pop3.Retrieve(1, message)) {
            EXPECT_EQ(c.error, nullptr);
            EXPECT_EQ(message.Text(), big);
            continue;
        }
        ASSERT_NE(c.error, nullptr) << pop3.GetLastError();
        EXPECT_NE(pop3.GetLastError().find(c.error), std::string::npos) << pop3.GetLastError();
    }
}

}  // namespace
}  // namespace kov
