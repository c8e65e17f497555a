#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "net/mail/pop3_connection.h"
#include "net/mail/smtp_connection.h"
#include "platform/tcp_socket.h"
#include "support/missing_server.h"
#include "support/pop3_server.h"
#include "support/scripted_server.h"
#include "support/smtp_server.h"
#include "support/test_ca.h"

namespace kov {
namespace {

using namespace std::chrono_literals;
using test::Pop3Server;
using test::ScriptedServer;
using test::SmtpServer;

class MailClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_ca = std::make_unique<test::TestCa>();
        if (!test::TestCa::Available() || !s_ca->Make()) s_ca.reset();
    }
    static void TearDownTestSuite() { s_ca.reset(); }
    void SetUp() override {
        if (!s_ca) KOV_SKIP_WITHOUT_SERVER() << "openssl is not installed";
    }
    static std::unique_ptr<test::TestCa> s_ca;
};
std::unique_ptr<test::TestCa> MailClientTest::s_ca;

TEST_F(MailClientTest, SmtpSendsOverEachTransportAndRefusesBadLogins) {
    if (!SmtpServer::Available()) KOV_SKIP_WITHOUT_SERVER() << "python3-aiosmtpd is not installed";
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
    if (!Pop3Server::Available())
        KOV_SKIP_WITHOUT_SERVER() << "dovecot-pop3d is not installed (or not root)";
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
         "server\n (-ERR "},
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

TEST_F(MailClientTest, SmtpFailsCleanlyOnSilentBrokenAndEndlessServers) {
    const std::string endless = "250-" + std::string(70000, 'x') + "\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        const char* error;
        bool trickle = false;
        const char* host = "127.0.0.1";
    } cases[] = {
        {"silent", {""}, "Server didn't respond."},
        {"busy", {"421 busy\r\n"}, "Server didn't respond. (421:SMTP server not available)"},
        {"HELO refused", {"220 hi\r\n", "501 no\r\n"}, "501:SMTP server error"},
        {"endless reply", {"220 hi\r\n", endless}, "SMTP reply too long"},
        {"closes", {"220 hi\r\n"}, "Socket Error"},
        {"closes at once", {ScriptedServer::kClose}, "Server didn't respond. (Socket Error)"},
        // A byte every 20 ms: no single wait is long, the whole reply would take minutes.
        {"trickles", {"220-" + std::string(5000, 'x')}, "Server didn't respond. (Socket", true},
        {"mistyped name",
         {""},
         "Unable to connect to server (no-such-host.invalid: host not",
         false,
         "no-such-host.invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.replies, c.trickle ? 20ms : 0ms);
        SmtpConnection smtp(c.host, server.Port());
        smtp.SetTimeout(300ms);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(smtp.Connect(), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);  // a hang, not a speed
        EXPECT_EQ(smtp.GetLastError().rfind(c.error, 0), 0u) << smtp.GetLastError();
        EXPECT_FALSE(smtp.IsConnected());
    }
}

// With every recipient refused nothing would be delivered: the refusal is the error, not the
// "503" a server gives to DATA without recipients, and no DATA is sent.
TEST_F(MailClientTest, SmtpSaysWhichRecipientTheServerRefused) {
    ScriptedServer server({"220 hi\r\n", "250 hello\r\n", "250 ok\r\n",
                           "550 5.1.1 <b@kov.test>: no such user\r\n", "503 need RCPT\r\n",
                           "221 bye\r\n"});
    SmtpConnection smtp("127.0.0.1", server.Port());
    smtp.SetTimeout(2s);
    ASSERT_EQ(smtp.Connect(), 1) << smtp.GetLastError();
    MailMessage message;
    message.SetSender("a@kov.test");
    message.AddRecipient("b@kov.test");
    message.AddBodyLine("x");
    EXPECT_EQ(smtp.Send(message), 0);
    EXPECT_EQ(smtp.GetLastError(),
              "550:SMTP server refused the recipient <b@kov.test> (550 5.1.1 <b@kov.test>: no "
              "such user)");
    smtp.Disconnect();
    for (const std::string& line : server.Lines())
        EXPECT_NE(line, "DATA\r\n");
}

TEST_F(MailClientTest, Pop3FailsCleanlyOnSilentBrokenAndOversizedReplies) {
    const std::string login[] = {"+OK hi\r\n", "+OK\r\n", "+OK\r\n"};
    const std::string big = std::string(50000, 'y') + "\r\n";
    const std::string listed = "+OK 1 10\r\n1 10\r\n.\r\n";
    const std::string odd = "Subject: a\rb\r\n\r\nx" + std::string(1, '\0') + "y\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        bool loggedIn;
        const char* error;  // nullptr: message 1 arrives whole and holds text
        std::string text = "";
        bool trickle = false;
    } cases[] = {
        {"silent",
         {""},
         false,
         "CPop3Connection::Connect, Failed to read a command response from the POP3 server, "
         "GetLastError:110 ("},
        {"half a line", {"+OK hel"}, false, "(+OK hel)"},
        {"refused", {"-ERR go away\r\n"}, false, "-ERR go away"},
        {"endless line", {"+OK " + std::string(70000, 'z')}, false, "(POP3 reply too long)"},
        // A byte every 20 ms: no single wait is long, the whole greeting would take minutes.
        {"trickles", {"+OK " + std::string(5000, 'z')}, false, "(+OK zz", "", true},
        {"oversized", {listed, "+OK\r\n" + big + big + ".\r\n"}, true, "POP3 reply too long"},
        {"bigger than listed", {listed, "+OK\r\n" + big + ".\r\n"}, true, nullptr, big},
        // Only the status line: the rest is mail, and a query's subject holds its password.
        {"cut off after +OK",
         {listed, "+OK\r\nSubject: #KOVQUERY:pw\r\n", ScriptedServer::kClose},
         true,
         "+OK ... broken off after 28 bytes"},
        {"NUL and bare CR", {listed, "+OK\r\n" + odd + ".\r\n"}, true, nullptr, odd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> replies = c.replies;
        if (c.loggedIn) replies.insert(replies.begin(), std::begin(login), std::end(login));
        ScriptedServer server(replies, c.trickle ? 20ms : 0ms);
        Pop3Connection pop3;
        pop3.SetTimeout(300ms);
        pop3.SetMaxMessage(80000);
        const auto start = std::chrono::steady_clock::now();
        const bool connected = pop3.Connect("127.0.0.1", "u", "p", server.Port());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);  // a hang, not a speed
        ASSERT_EQ(connected, c.loggedIn) << pop3.GetLastError();
        Pop3Message message;
        if (c.loggedIn && pop3.Retrieve(1, message)) {
            EXPECT_EQ(c.error, nullptr);
            EXPECT_EQ(message.Text(), c.text);
            continue;
        }
        ASSERT_NE(c.error, nullptr) << pop3.GetLastError();
        EXPECT_NE(pop3.GetLastError().find(c.error), std::string::npos) << pop3.GetLastError();
        EXPECT_LT(pop3.GetLastError().size(), 400u);
        EXPECT_EQ(pop3.GetLastError().find("KOVQUERY"), std::string::npos);
        EXPECT_FALSE(pop3.IsConnected());  // the rest of a broken reply must not pass for one
    }
}

}  // namespace
}  // namespace kov
