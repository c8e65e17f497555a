// A poll against dovecot: a message leaves the mailbox only once its items were saved, and a
// message fetched again after its items were saved adds nothing.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <ctime>

#include "mail_control/incoming_requests.h"
#include "mail_control/query_message.h"
#include "support/missing_server.h"
#include "support/pop3_server.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace kov {
namespace {

using test::Pop3Server;

// Polls into a scratch folder; Poll runs one against a scripted server that takes the login
// and then answers with the replies given.
class IncomingRequestsTest : public ::testing::Test {
protected:
    struct Outcome {
        int result = 0;
        std::string log;                 // the poll's lines, one a line
        std::vector<std::string> lines;  // what the poll sent
    };

    IncomingRequestsTest() {
        email.MailBox = "u";
        email.MailBoxPsw = "p";
        email.Passphrase = "pw";
    }

    Outcome Poll(const std::vector<std::string>& replies, IncomingHooks hooks) {
        std::vector<std::string> script = kLogin;
        script.insert(script.end(), replies.begin(), replies.end());
        test::ScriptedServer server(script);
        email.Pop3Server = "127.0.0.1:" + std::to_string(server.Port());
        Outcome outcome;
        hooks.log = [&outcome](const std::string& text, bool) { outcome.log += text + "\n"; };
        outcome.result = GetIncomingRequests(email, dir.File("q/"), hooks, std::time(nullptr));
        outcome.lines = server.Lines();
        return outcome;
    }

    static inline const std::vector<std::string> kLogin = {"+OK hi\r\n", "+OK\r\n", "+OK\r\n"};
    EmailSettings email;
    test::TempDir dir;
};

TEST_F(IncomingRequestsTest, MessagesLeaveOnlyAfterTheSaveAndAreNeverTakenTwice) {
    if (!Pop3Server::Available())
        KOV_SKIP_WITHOUT_SERVER() << "dovecot-pop3d is not installed (or not root)";
    test::TestCa ca;
    Pop3Server pop3;
    ASSERT_TRUE(ca.Make());
    ASSERT_TRUE(pop3.Start(ca));
    SeenMessages seen(dir.File("seen.txt"));

    UrlItem item = FreshItem();
    item.Url = "http://203.0.113.7/a.txt";
    item.Dest = "a.txt";
    ASSERT_TRUE(
        pop3.AddMessage("From: a@kov.test\r\nSubject: #KOVQUERY:pw\r\n"
                        "Message-ID: <q1@kov.test>\r\n\r\n\r\n" +
                        ItemQueryText(item) + "\r\n"));
    ASSERT_TRUE(pop3.AddMessage("From: someone@kov.test\r\nSubject: hello\r\n\r\nnot a query\r\n"));

    email.Pop3Server = "127.0.0.1:" + std::to_string(pop3.Port());
    email.MailBox = Pop3Server::kUser;
    email.MailBoxPsw = Pop3Server::kPassword;
    email.Passphrase = "pw";

    // Each poll: whether its save succeeds and whether the keys were written before a crash
    // that kept the deletion from happening.
    struct Poll {
        const char* name;
        bool saveSucceeds;
        bool keysSavedThenCrash;
        int result;
        int saveCalls;
        std::size_t left;  // messages in the mailbox afterwards
    } polls[] = {
        {"the save fails", false, false, -1, 1, 2},
        {"saved, then a crash before the deletion", false, true, -1, 1, 2},
        {"fetched again", true, false, 0, 0, 1},
    };
    for (const Poll& p : polls) {
        SCOPED_TRACE(p.name);
        int saveCalls = 0;
        std::vector<std::string> lines;
        IncomingHooks hooks;
        hooks.log = [&lines](const std::string& text, bool) { lines.push_back(text); };
        hooks.seenBefore = [&seen](const std::string& key) { return seen.Contains(key); };
        hooks.save = [&](IncomingQueries& queries) {
            ++saveCalls;
            EXPECT_EQ(queries.items.size(), 1u);
            EXPECT_EQ(queries.keys, std::vector<std::string>{"q1@kov.test"});
            if (p.keysSavedThenCrash) {
                for (const auto& key : queries.keys)
                    seen.Add(key);
            }
            return p.saveSucceeds;
        };
        EXPECT_EQ(GetIncomingRequests(email, dir.File("queries/"), hooks, std::time(nullptr)),
                  p.result);
        EXPECT_EQ(saveCalls, p.saveCalls);
        EXPECT_EQ(pop3.Count(), p.left);
    }

    // A mailbox that refuses the login says so, without the password.
    email.MailBoxPsw = "not-the-password";
    std::string failure;
    IncomingHooks hooks;
    hooks.log = [&failure](const std::string& text, bool) { failure += text; };
    EXPECT_EQ(GetIncomingRequests(email, dir.File("queries/"), hooks, std::time(nullptr)), -1);
    EXPECT_NE(failure.find("Connecting POP3 server Error !"), std::string::npos) << failure;
    EXPECT_EQ(failure.find("not-the-password"), std::string::npos) << failure;
}

// A server that breaks off or lies about its mailbox ends the poll with the reason, and no
// message is deleted.
TEST_F(IncomingRequestsTest, ABrokenMailboxEndsThePollAndKeepsEveryMessage) {
    const std::string query = "+OK\r\nFrom: a@kov.test\r\nSubject: #KOVQUERY:pw\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // after the login
        const char* logged;
    } cases[] = {
        // The message is not logged: its subject holds the password. The server refuses the
        // poll's second connection.
        {"cut off after +OK",
         {"+OK 1 2000000\r\n", "+OK\r\n1 90\r\n.\r\n", query, test::ScriptedServer::kClose,
          "-ERR busy\r\n"},
         "Message 1 cannot be read; left in the mailbox (+OK ... broken off after"},
        {"a count of 2^31", {"+OK 2147483648 90\r\n", "+OK\r\n"}, "STAT reply not understood"},
        // Sizes and numbers out of range are not listed rather than wrapped.
        {"counts more than it lists",
         {"+OK 5 90\r\n", "+OK\r\n1 99999999999999999999\r\n2 -5\r\n4000000 1\r\n.\r\n", "+OK\r\n"},
         "counts 5 messages but lists 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IncomingHooks hooks;
        hooks.save = [](IncomingQueries&) { return true; };
        const Outcome poll = Poll(c.replies, hooks);
        EXPECT_LE(poll.result, 0);
        EXPECT_NE(poll.log.find(c.logged), std::string::npos) << poll.log;
        EXPECT_EQ(poll.log.find("KOVQUERY"), std::string::npos) << poll.log;
        for (const std::string& line : poll.lines)
            EXPECT_NE(line.rfind("DELE", 0), 0u) << line;
    }
}

// One poll takes every query it can read exactly once: a message the server cannot give (or
// breaks off) stays for the next poll while the later ones are taken, a second copy of a query
// leaves with the first, and a query a mail program encoded is read.
TEST_F(IncomingRequestsTest, EveryReadableQueryIsTakenOnceAndTheRestWait) {
    UrlItem item = FreshItem();
    item.Url = "http://203.0.113.7/a.txt";
    item.Dest = "a.txt";
    std::string list = ItemQueryText(item) + "\n";
    for (std::size_t at = 0; (at = list.find('\n', at)) != std::string::npos; at += 2)
        list.replace(at, 1, "\r\n");
    const auto message = [&](const std::string& id, const std::string& extra,
                             const std::string& body) {
        return "+OK\r\nFrom: A <a@kov.test>\r\nSubject: #KOVQUERY:pw\r\n" +
               (id.empty() ? "" : "Message-ID: <" + id + ">\r\n") + extra + "\r\n" + body + ".\r\n";
    };
    const std::string base64 = "Content-Transfer-Encoding: base64\r\n";
    std::string encoded(4 * (list.size() + 2) / 3 + 1, '\0');
    encoded.resize(static_cast<std::size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(encoded.data()),
        reinterpret_cast<const unsigned char*>(list.data()), static_cast<int>(list.size()))));
    encoded += "\r\n";

    const std::vector<std::string>& login = kLogin;
    const std::string two = "+OK 2 400\r\n";
    const std::string listTwo = "+OK\r\n1 200\r\n2 200\r\n.\r\n";
    const std::string ok = "+OK\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // after the first login
        std::size_t items;
        std::vector<std::string> deleted;
    } cases[] = {
        {"the first is refused",
         {two, listTwo, "-ERR cannot read it now\r\n", message("q2", "", list), ok, ok},
         1,
         {"DELE 2\r\n"}},
        {"the first breaks off",
         {two, listTwo, "+OK\r\nFrom: a", test::ScriptedServer::kClose, login[0], login[1],
          login[2], two, listTwo, message("q2", "", list), ok, ok},
         1,
         {"DELE 2\r\n"}},
        {"the same Message-ID twice",
         {two, listTwo, message("q1", "", list), message("q1", "", list), ok, ok, ok},
         1,
         {"DELE 1\r\n", "DELE 2\r\n"}},
        {"identical without Message-ID",
         {two, listTwo, message("", "", list), message("", "", list), ok, ok, ok},
         1,
         {"DELE 1\r\n", "DELE 2\r\n"}},
        {"base64",
         {"+OK 1 200\r\n", "+OK\r\n1 200\r\n.\r\n", message("q3", base64, encoded), ok, ok},
         1,
         {"DELE 1\r\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t saved = 0;
        IncomingHooks hooks;
        hooks.save = [&saved](IncomingQueries& queries) {
            saved += queries.items.size();
            for (const UrlItem& taken : queries.items)
                EXPECT_EQ(taken.CEComeFrom, "a@kov.test");
            return true;
        };
        const Outcome poll = Poll(c.replies, hooks);
        EXPECT_EQ(poll.result, static_cast<int>(c.items)) << poll.log;
        EXPECT_EQ(saved, c.items) << poll.log;
        std::vector<std::string> deleted;
        for (const std::string& line : poll.lines)
            if (line.rfind("DELE", 0) == 0) deleted.push_back(line);
        EXPECT_EQ(deleted, c.deleted) << poll.log;
    }
}

}  // namespace
}  // namespace kov
