// Two installations of kov-cli, each with its own program folder, steering each other through
// real SMTP (aiosmtpd) and POP3 (dovecot) servers: A sends a query, B polls, downloads from
// nginx and mails the result back.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "mail_control/query_message.h"
#include "model/url_item.h"
#include "platform/file_util.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/pop3_server.h"
#include "support/smtp_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace kov {
namespace {

namespace fs = std::filesystem;
using test::Pop3Server;
using test::SmtpServer;

constexpr const char* kPassphrase = "open-sesame";

// One program folder and the kov-cli runs in it.
struct Installation {
    test::TempDir dir;

    void Settings(const std::string& email) const {
        fs::create_directories(dir.File("home"));
        ASSERT_TRUE(WriteFileAtomic(dir.File("home/kov.ini"), "[CtrByEmail]\n" + email, 0600));
    }
    // Runs kov-cli with args; output gets standard output and error.
    int Run(const std::string& args, std::string* output = nullptr) const {
        const std::string command = "KOV_HOME='" + dir.File("home") + "' XDG_CONFIG_HOME='" +
                                    dir.File("config") + "' XDG_DATA_HOME='" + dir.File("data") +
                                    "' " KOV_CLI " " + args + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string text;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        const int status = pclose(pipe);
        if (output) *output = text;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string List() const { return ReadFile(dir.File("home/Default.ini")).value_or(""); }
    // The files delivered under the query folder, by name.
    std::vector<std::string> Received() const {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& e : fs::recursive_directory_iterator(dir.File("queries"), ignored))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        return names;
    }
};

class MailLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SmtpServer::Available() || !Pop3Server::Available() || !test::TestCa::Available() ||
            !test::NginxServer::Available())
            KOV_SKIP_WITHOUT_SERVER() << "aiosmtpd, dovecot (as root), openssl or nginx is missing";
        ASSERT_TRUE(m_ca.Make());
        ASSERT_TRUE(m_nginx.WriteFile("files/report.txt", "quarterly figures\n"));
        ASSERT_TRUE(m_nginx.Start()) << m_nginx.ErrorLog();
        ASSERT_TRUE(m_pop3.Start(m_ca));
    }

    // B's settings: its mailbox, its SMTP server, and what queries may do.
    std::string MailboxSettings(bool tls, int smtpPort, const std::string& extra) const {
        return "Pop3Server=localhost:" + std::to_string(tls ? m_pop3.TlsPort() : m_pop3.Port()) +
               "\nPop3Security=" + (tls ? "3" : "0") + "\nMailBox=" + Pop3Server::kUser +
               "\nMailBoxPsw=" + Pop3Server::kPassword + "\nPassphrase=" + kPassphrase +
               "\nSaveFolder=" + m_b.dir.File("queries/") + "\nMyEmailAddr=b@kov.test" +
               "\nSmtpServer=localhost:" + std::to_string(smtpPort) +
               "\nTlsCaFile=" + m_ca.CaFile() + "\n" + extra;
    }

    std::string Query(const UrlItem& item, const std::string& password, int number) const {
        return "From: a@kov.test\r\nTo: b@kov.test\r\nSubject: #KOVQUERY:" + password +
               "\r\nMessage-ID: <" + std::to_string(number) + "@kov.test>\r\n\r\n\r\n" +
               ItemQueryText(item) + "\r\n";
    }

    test::TestCa m_ca;
    test::NginxServer m_nginx;
    Pop3Server m_pop3;
    Installation m_a, m_b;
};

TEST_F(MailLoopTest, QueryByMailIsDownloadedAndItsResultMailedBackPlainAndOverTls) {
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        const SmtpServer::Mode mode = tls ? SmtpServer::Mode::StartTls : SmtpServer::Mode::Plain;
        SmtpServer toB, toA;  // toB delivers into B's mailbox, toA keeps A's
        ASSERT_TRUE(toB.Start(mode, m_ca, tls, m_pop3.Maildir()));
        ASSERT_TRUE(toA.Start(mode, m_ca, tls));
        const std::string login = tls ? std::string("SmtpSecurity=2\nSmtpUser=") +
                                            SmtpServer::kUser +
                                            "\nSmtpPsw=" + SmtpServer::kPassword + "\n"
                                      : "";
        m_a.Settings("SmtpServer=localhost:" + std::to_string(toB.Port()) +
                     "\nMyEmailAddr=a@kov.test\nTlsCaFile=" + m_ca.CaFile() + "\n" + login +
                     "PrimaryHost=0\nHostEmail1=b@kov.test\nHostPsw1=" + kPassphrase + "\n");
        m_b.Settings(MailboxSettings(tls, toA.Port(), login + "QueryAllowLocal=1\n"));

        std::string out;
        ASSERT_EQ(m_a.Run("--add " + m_nginx.Url("/files/report.txt"), &out), 0) << out;
        ASSERT_EQ(m_a.Run("--servers", &out), 0) << out;
        EXPECT_NE(out.find("1\tyes\tb@kov.test\t*"), std::string::npos) << out;
        EXPECT_EQ(out.find(kPassphrase), std::string::npos) << out;
        ASSERT_EQ(m_a.Run("--send-query 1", &out), 0) << out;

        ASSERT_EQ(m_b.Run("--test-mail", &out), 0) << out;
        EXPECT_NE(out.find("SMTP: Connection to Server OK"), std::string::npos) << out;
        EXPECT_NE(out.find("Connection to Server OK, messages: 1"), std::string::npos) << out;
        ASSERT_EQ(m_b.Run("--check-mail", &out), 0) << out;
        EXPECT_NE(out.find("Received query from <a@kov.test>, URLs:=1"), std::string::npos) << out;
        EXPECT_NE(out.find("Notification sending to a@kov.test : OK"), std::string::npos) << out;
        EXPECT_EQ(out.find(Pop3Server::kPassword), std::string::npos) << out;
        EXPECT_EQ(m_pop3.Count(), 0u);
        EXPECT_EQ(m_b.Received(), std::vector<std::string>{"report.txt"});

        const auto results = toA.Messages();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_NE(results[0].find("Subject: #KOV Job Result"), std::string::npos) << results[0];
        EXPECT_NE(results[0].find("report.txt"), std::string::npos) << results[0];
        fs::remove_all(m_b.dir.File("queries"));
    }
}

TEST_F(MailLoopTest, HostileQueriesAreRefusedOrNeutralised) {
    const std::string marker = m_b.dir.File("command-ran");
    const std::string url = m_nginx.Url("/files/report.txt");
    struct Case {
        const char* name;
        std::string password;
        std::string url;
        std::string dest;
        std::string cmd;
        std::string padding;  // an extra line in the body
        bool allowLocal;
        const char* logged;
        int received;  // files downloaded under the query folder
    } cases[] = {
        {"wrong password", "guess", url, "", "", "", true, "cause: wrong password", 0},
        {"command", kPassphrase, url, "", "touch " + marker, "", true,
         "after-download command removed", 1},
        {"dest outside", kPassphrase, url, "../../../escape.txt", "", "", true, "URLs:=1", 1},
        {"file url", kPassphrase, "file:///etc/passwd", "", "", "", false, "refused", 0},
        {"10 MB line", kPassphrase, url, "", "", std::string(10 << 20, 'x'), true,
         "message too large", 0},
    };
    std::string out;
    m_b.Settings("MailBox=kovbox\n");
    EXPECT_EQ(m_b.Run("--check-mail", &out), 2);
    EXPECT_NE(out.find("Pop3Server is not set"), std::string::npos) << out;
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_b.Settings(MailboxSettings(false, 9, c.allowLocal ? "QueryAllowLocal=1\n" : ""));
        UrlItem item = FreshItem();
        item.Name = "hostile";
        item.Url = c.url;
        item.Dest = c.dest.empty() ? "report.txt" : c.dest;
        item.Cmd = c.cmd;
        std::string text = Query(item, c.password, ++number);
        if (!c.padding.empty()) text += c.padding + "\r\n";
        ASSERT_TRUE(m_pop3.AddMessage(text));
        m_b.Run("--check-mail", &out);
        EXPECT_NE(out.find(c.logged), std::string::npos) << out.substr(0, 2000);
        EXPECT_EQ(out.find(c.password == kPassphrase ? "no-such-text" : c.password),
                  std::string::npos);
        EXPECT_EQ(m_pop3.Count(), 0u);
        EXPECT_EQ(static_cast<int>(m_b.Received().size()), c.received);
        EXPECT_FALSE(fs::exists(marker));
        EXPECT_FALSE(fs::exists(m_b.dir.File("escape.txt")));
        EXPECT_FALSE(fs::exists(m_b.dir.File("home/escape.txt")));
        fs::remove_all(m_b.dir.File("queries"));
    }
}

std::string Sha256(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(digest), length);
}

TEST_F(MailLoopTest, DistributedDownloadInThreePartsByMailIsMergedIntact) {
    std::string source(50'000'000, '\0');
    std::mt19937 random(7);
    for (char& c : source)
        c = static_cast<char>(random());
    ASSERT_TRUE(m_nginx.WriteFile("files/big.bin", source));
    SmtpServer toB, toA;
    ASSERT_TRUE(toB.Start(SmtpServer::Mode::Plain, m_ca, false, m_pop3.Maildir()));
    ASSERT_TRUE(toA.Start(SmtpServer::Mode::Plain, m_ca, false));
    // Two enabled hosts for three portions: A keeps its own, B is asked for the other two.
    m_a.Settings("SmtpServer=localhost:" + std::to_string(toB.Port()) +
                 "\nMyEmailAddr=a@kov.test\nHostEmail1=b@kov.test\nHostPsw1=" + kPassphrase +
                 "\nHostEmail2=b@kov.test\nHostPsw2=" + kPassphrase + "\n");
    m_b.Settings(MailboxSettings(false, toA.Port(), "QueryAllowLocal=1\n"));

    std::string out;
    ASSERT_EQ(m_a.Run("--add " + m_nginx.Url("/files/big.bin"), &out), 0) << out;
    ASSERT_EQ(m_a.Run("--distribute 1 3", &out), 0) << out;
    EXPECT_NE(out.find("portion 2] send to b@kov.test result: OK"), std::string::npos) << out;
    EXPECT_NE(out.find("portion 3] send to b@kov.test result: OK"), std::string::npos) << out;
    ASSERT_EQ(m_b.Run("--check-mail", &out), 0) << out;
    ASSERT_EQ(m_a.Run("-a", &out), 0) << out;

    // The parts B fetched are carried back beside A's own.
    const std::string folder = m_a.dir.File("home/Download/Main/");
    std::set<std::string> parts;
    for (const auto& e : fs::recursive_directory_iterator(m_b.dir.File("queries"))) {
        if (!e.is_regular_file()) continue;
        parts.insert(e.path().filename().string());
        fs::copy_file(e.path(), folder + e.path().filename().string());
    }
    EXPECT_EQ(parts, (std::set<std::string>{"big.bin.002", "big.bin.003"}));
    ASSERT_EQ(m_a.Run("--merge " + folder, &out), 0) << out;
    EXPECT_EQ(Sha256(ReadFile(folder + "big.bin").value_or("")), Sha256(source));
    EXPECT_EQ(toA.Messages().size(), 2u);  // a job result for each portion
}

}  // namespace
}  // namespace kov
