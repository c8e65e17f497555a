// A poll against dovecot: a message leaves the mailbox only once its items were saved, and a
// message fetched again after its items were saved adds nothing.

#include <gtest/gtest.h>

#include <ctime>

#include "mail/incoming_requests.h"
#include "mail/query_message.h"
#include "support/pop3_server.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace kov {
namespace {

using test::Pop3Server;

TEST(IncomingRequestsTest, MessagesLeaveOnlyAfterTheSaveAndAreNeverTakenTwice) {
    if (!Pop3Server::Available()) GTEST_SKIP() << "dovecot-pop3d is not installed (or not root)";
    test::TestCa ca;
    Pop3Server pop3;
    ASSERT_TRUE(ca.Make());
    ASSERT_TRUE(pop3.Start(ca));
    test::TempDir dir;
    SeenMessages seen(dir.File("seen.txt"));

    UrlItem item = FreshItem();
    item.Url = "http://203.0.113.7/a.txt";
    item.Dest = "a.txt";
    ASSERT_TRUE(
        pop3.AddMessage("From: a@kov.test\r\nSubject: #KOVQUERY:pw\r\n"
                        "Message-ID: <q1@kov.test>\r\n\r\n\r\n" +
                        ItemQueryText(item) + "\r\n"));
    ASSERT_TRUE(pop3.AddMessage("From: someone@kov.test\r\nSubject: hello\r\n\r\nnot a query\r\n"));

    EmailSettings email;
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
TEST(IncomingRequestsTest, ABrokenMailboxEndsThePollAndKeepsEveryMessage) {
    const std::vector<std::string> login = {"+OK hi\r\n", "+OK\r\n", "+OK\r\n"};
    const std::string query = "+OK\r\nFrom: a@kov.test\r\nSubject: #KOVQUERY:pw\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // after the login
        const char* logged;
    } cases[] = {
        {"cut off after +OK",
         {"+OK 1 2000000\r\n", "+OK\r\n1 90\r\n.\r\n", query, test::ScriptedServer::kClose},
         "Subject: #KOVQUERY:pw"},
        {"a count of 2^31", {"+OK 2147483648 90\r\n", "+OK\r\n"}, "STAT reply not understood"},
        // Sizes and numbers out of range are not listed rather than wrapped.
        {"counts more than it lists",
         {"+OK 5 90\r\n", "+OK\r\n1 99999999999999999999\r\n2 -5\r\n4000000 1\r\n.\r\n", "+OK\r\n"},
         "counts 5 messages but lists 0"},
    };
    EmailSettings email;
    email.MailBox = "u";
    email.MailBoxPsw = "p";
    email.Passphrase = "pw";
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> replies = login;
        replies.insert(replies.end(), c.replies.begin(), c.replies.end());
        test::ScriptedServer server(replies);
        email.Pop3Server = "127.0.0.1:" + std::to_string(server.Port());
        std::string log;
        IncomingHooks hooks;
        hooks.log = [&log](const std::string& text, bool) { log += text + "\n"; };
        hooks.save = [](IncomingQueries&) { return true; };
        const int result = GetIncomingRequests(email, dir.File("q/"), hooks, std::time(nullptr));
        EXPECT_LE(result, 0);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        for (const std::string& line : server.Lines())
            EXPECT_NE(line.rfind("DELE", 0), 0u) << line;
    }
}

}  // namespace
}  // namespace kov
