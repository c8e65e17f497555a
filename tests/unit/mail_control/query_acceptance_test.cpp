#include "mail_control/query_acceptance.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/settings/profile_store.h"
#include "mail_control/query_message.h"
#include "model/exchange_format.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

constexpr std::time_t kNow = 1700000000;
const std::string kFolder = "/srv/q/20231114-221320";

std::string Block(const std::vector<UrlItem>& items) {
    std::ostringstream out;
    WriteBlock(out, items, kExchangeModeFull);
    return out.str();
}

UrlItem Item(std::string url, std::string dest = "/home/them/file.zip") {
    UrlItem item = FreshItem();
    item.Name = "it";
    item.Url = std::move(url);
    item.Dest = std::move(dest);
    return item;
}

MailText Query(std::string subject, std::string body, std::string id = "<a1@x>") {
    MailText mail;
    mail.from = "Them <them@example.org>";
    mail.subject = std::move(subject);
    mail.body = std::move(body);
    mail.messageId = std::move(id);
    return mail;
}

struct ReceivedQuery : ::testing::Test {
    QueryPolicy policy{.passphrase = "s3cret"};
    QueryDecision Judge(const MailText& mail, const SeenMessages* seen = nullptr) {
        QueryAcceptance acceptance(policy, kFolder);
        return acceptance.Judge(mail, seen, kNow);
    }
};

TEST_F(ReceivedQuery, HostileAndForeignMessagesAreRefused) {
    const std::string good = Block({Item("http://93.184.216.34/a.zip")});
    const struct {
        const char* what;
        std::string subject;
        std::string body;
        QueryVerdict verdict;
    } cases[] = {
        {"no marker", "Hello", good, QueryVerdict::NotQuery},
        {"marker in lower case", "#kovquery:s3cret", good, QueryVerdict::NotQuery},
        {"text before the marker", "Re: #KOVQUERY:s3cret", good, QueryVerdict::NotQuery},
        {"wrong password", "#KOVQUERY:guess", good, QueryVerdict::WrongPassword},
        {"password prefix", "#KOVQUERY:s3cre", good, QueryVerdict::WrongPassword},
        {"password longer", "#KOVQUERY:s3cret ", good, QueryVerdict::WrongPassword},
        {"password case", "#KOVQUERY:S3CRET", good, QueryVerdict::WrongPassword},
        {"no list in the body", "#KOVQUERY:s3cret", "just text", QueryVerdict::Accepted},
        {"10 MB line", "#KOVQUERY:s3cret", good + std::string(10 << 20, 'A'),
         QueryVerdict::TooLarge},
    };
    for (const auto& c : cases) {
        const QueryDecision d = Judge(Query(c.subject, c.body));
        EXPECT_EQ(d.verdict, c.verdict) << c.what;
        EXPECT_TRUE(d.items.empty()) << c.what;
        EXPECT_EQ(d.DeleteMessage(), c.verdict != QueryVerdict::NotQuery) << c.what;
        // The guess is never logged: it may be the user's password for something else.
        EXPECT_EQ(d.logLine.find("guess"), std::string::npos) << c.what;
    }
    EXPECT_EQ(Judge(Query("#KOVQUERY:guess", good)).logLine,
              "Denied query from <Them <them@example.org>>, cause: wrong password");
}

TEST_F(ReceivedQuery, TheItemKeepsTheSendersBareAddressWhateverItsName) {
    const std::string body = Block({Item("http://93.184.216.34/a.zip")});
    const struct {
        std::string from;
        std::string address;
    } cases[] = {
        {"Alexander Featherstonehaugh-Montgomery of Clan Fraser "
         "<alexander.featherstonehaugh@example.org>",
         "alexander.featherstonehaugh@example.org"},
        {"\"Long, Name\" <" + std::string(80, 'a') + "@example.org>",
         std::string(80, 'a') + "@example.org"},
        {"plain@example.org", "plain@example.org"},
    };
    for (const auto& c : cases) {
        MailText mail = Query("#KOVQUERY:s3cret", body);
        mail.from = c.from;
        const QueryDecision d = Judge(mail);
        ASSERT_EQ(d.items.size(), 1u) << c.from;
        EXPECT_EQ(d.items[0].CEComeFrom, c.address);
    }
    // A body that could not be decoded is refused with its reason, never taken as empty.
    MailText unreadable = Query("#KOVQUERY:s3cret", "");
    unreadable.bodyProblem = "unknown transfer encoding x-uue";
    const QueryDecision d = Judge(unreadable);
    EXPECT_EQ(d.verdict, QueryVerdict::Unreadable);
    EXPECT_TRUE(d.DeleteMessage());
    EXPECT_EQ(
        d.logLine,
        "Denied query from <Them <them@example.org>>, cause: unknown transfer encoding x-uue");
}

TEST_F(ReceivedQuery, EmptyPassphraseNeedsOpenAccess) {
    policy.passphrase.clear();
    const std::string body = Block({Item("http://93.184.216.34/a.zip")});
    EXPECT_EQ(Judge(Query("#KOVQUERY:", body)).verdict, QueryVerdict::Closed);
    policy.openAccess = true;
    EXPECT_EQ(Judge(Query("#KOVQUERY:", body)).verdict, QueryVerdict::Accepted);
    EXPECT_EQ(Judge(Query("#KOVQUERY:x", body)).verdict, QueryVerdict::WrongPassword);
}

TEST_F(ReceivedQuery, ItemsAreNeutralisedOrRefused) {
    UrlItem withCmd = Item("http://93.184.216.34/a.zip", "../../etc/cron.d/evil");
    withCmd.Cmd = "rm -rf ~";
    withCmd.ID = UrlItem::kUpdateProgramId;
    UrlItem withUpload = Item("ftp://93.184.216.34/b.bin", "C:\\dir\\..");
    withUpload.Upload = 1;
    withUpload.UploadServer = "ftp.example.org";
    withUpload.UploadPassword = "pw";
    withUpload.Disabled = 1;
    withUpload.ClearFolder = 1;
    const std::vector<UrlItem> sent = {
        withCmd,
        withUpload,
        Item("file:///etc/passwd"),
        Item("http://127.0.0.1/x"),
        Item("http://192.168.1.1/admin"),
        Item("http://printer.local/"),
        Item("http://[::1]:8080/"),
        Item("http://{LISTFOLDER}/x"),
        Item("gopher://93.184.216.34/"),
    };
    const QueryDecision d = Judge(Query("#KOVQUERY:s3cret", Block(sent)));
    ASSERT_EQ(d.verdict, QueryVerdict::Accepted);
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.notes.size(), 2u + 7u);
    EXPECT_EQ(d.logLine, "Received query from <Them <them@example.org>>, URLs:=2");

    const UrlItem& a = d.items[0];
    EXPECT_EQ(a.Cmd, "");
    EXPECT_EQ(a.ID, "");
    EXPECT_EQ(a.Dest, kFolder + "-1/evil");
    EXPECT_EQ(a.CEType, 10);
    EXPECT_EQ(a.CEComeFrom, "them@example.org");
    EXPECT_EQ(a.interval, -1);

    const UrlItem& b = d.items[1];
    EXPECT_EQ(b.Upload, 0);
    EXPECT_EQ(b.UploadServer, "");
    EXPECT_EQ(b.UploadPassword, "");
    EXPECT_EQ(b.Dest, kFolder + "-2/");
    EXPECT_EQ(b.Disabled, 0);
    EXPECT_EQ(b.ClearFolder, 0);
}

TEST_F(ReceivedQuery, HostChecksStopWhenThePollsTimeIsSpent) {
    const std::string body =
        Block({Item("http://93.184.216.34/a"), Item("http://93.184.216.34/b")});
    // The first check spends the whole budget: the rest of this query is refused, and a
    // later query of the same poll stays in the mailbox untouched.
    policy.hostCheckBudget = std::chrono::nanoseconds(1);
    QueryAcceptance acceptance(policy, kFolder);
    const QueryDecision cut = acceptance.Judge(Query("#KOVQUERY:s3cret", body), nullptr, kNow);
    EXPECT_EQ(cut.items.size(), 1u);
    ASSERT_EQ(cut.notes.size(), 1u);
    EXPECT_NE(cut.notes[0].find("took too long"), std::string::npos);
    const QueryDecision later = acceptance.Judge(Query("#KOVQUERY:s3cret", body), nullptr, kNow);
    EXPECT_EQ(later.verdict, QueryVerdict::Deferred);
    EXPECT_FALSE(later.DeleteMessage());
    EXPECT_TRUE(later.items.empty());
    policy.allowLocal = true;  // nothing to look up
    EXPECT_EQ(Judge(Query("#KOVQUERY:s3cret", body)).items.size(), 2u);
}

TEST_F(ReceivedQuery, PollNumbersItemsAcrossQueriesAndSkipsSeenMessages) {
    QueryAcceptance acceptance(policy, kFolder);
    const std::string two = Block(
        {Item("http://93.184.216.34/a", "/x/a.htm"), Item("http://93.184.216.34/b", "/x/sub/")});
    const std::string one = Block({Item("http://93.184.216.34/c", "c.txt")});
    SeenMessages seen("/nonexistent/seen");
    const QueryDecision first =
        acceptance.Judge(Query("#KOVQUERY:s3cret", two, "<m1>"), &seen, kNow);
    seen.Add(first.key);
    const QueryDecision second =
        acceptance.Judge(Query("#KOVQUERY:s3cret", one, "<m2>"), &seen, kNow);
    ASSERT_EQ(first.items.size(), 2u);
    ASSERT_EQ(second.items.size(), 1u);
    EXPECT_EQ(first.items[0].Dest, kFolder + "-1/a.htm");
    EXPECT_EQ(first.items[1].Dest, kFolder + "-2/");
    EXPECT_EQ(second.items[0].Dest, kFolder + "-3/c.txt");

    const QueryDecision again =
        acceptance.Judge(Query("#KOVQUERY:s3cret", two, "<m1>"), &seen, kNow);
    EXPECT_EQ(again.verdict, QueryVerdict::Duplicate);
    EXPECT_TRUE(again.items.empty());
    EXPECT_TRUE(again.DeleteMessage());
}

TEST_F(ReceivedQuery, SettingsKeysOpenWhatTheUserAllowed) {
    test::TempDir dir;
    const auto policyOf = [&](const std::string& ini) {
        std::ofstream(dir.File("kov.ini")) << "[CtrByEmail]\nPassphrase=pw\n" << ini;
        ProfileStore store;
        EXPECT_TRUE(store.Open(dir.File("kov.ini")));
        AppSettings settings;
        LoadSettings(store, settings, dir.path() + "/");
        return QueryPolicy::From(settings.email);
    };
    const QueryPolicy closed = policyOf("");
    EXPECT_EQ(closed.passphrase, "pw");
    EXPECT_FALSE(closed.openAccess || closed.allowCommand || closed.allowUpload ||
                 closed.allowLocal);
    policy = policyOf(
        "QueryOpenAccess=1\nQueryAllowCommand=1\nQueryAllowUpload=1\n"
        "QueryAllowLocal=1\n");
    EXPECT_TRUE(policy.openAccess);
    UrlItem item = Item("file:///srv/data/a.txt");
    item.Cmd = "true";
    item.UploadServer = "127.0.0.1";
    const QueryDecision d = Judge(Query("#KOVQUERY:pw", Block({item})));
    ASSERT_EQ(d.items.size(), 1u);
    EXPECT_EQ(d.items[0].Cmd, "true");
    EXPECT_EQ(d.items[0].UploadServer, "127.0.0.1");
    EXPECT_TRUE(d.notes.empty());
}

}  // namespace
}  // namespace kov
