#include "mail_control/query_message.h"

#include <gtest/gtest.h>

#include <string>

#include "mail_control/clipboard_query.h"
#include "mail_control/job_result_mail.h"
#include "mail_control/query_destination.h"
#include "platform/clock.h"

namespace kov {
namespace {

EmailSettings Email() {
    EmailSettings e;
    e.MyEmailAddr = "me@example.org";
    e.hosts = {{1, "one@example.net", "pw1"}, {1, "two@example.net\r\nBcc: x@evil", "p\nw2"}};
    e.PrimaryHost = 1;
    return e;
}

TEST(QueryMessage, ComposedQueriesCarryMarkerPasswordAndList) {
    const std::string file =
        "<URLIST>\r\n\r\n<VERSION 1.0/>\n<URL>\nHREF:http://h/a\n</URL>\n</URLIST>\nafter\n";
    const auto mail = ComposeQuery(Email(), 0, file);
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->to, "one@example.net");
    EXPECT_EQ(mail->from, "me@example.org");
    EXPECT_EQ(mail->subject, "#KOVQUERY:pw1");
    EXPECT_EQ(mail->mailer, "KOV Downloader");
    EXPECT_EQ(mail->body, "<URLIST>\n<VERSION 1.0/>\n<URL>\nHREF:http://h/a\n</URL>\n</URLIST>");
    EXPECT_FALSE(ComposeQuery(Email(), 2, file));

    // Values from the settings cannot start header lines of their own.
    UrlItem item = FreshItem();
    item.Url = "http://h/b";
    item.Cmd = "local only";
    const auto second = ComposeItemQuery(Email(), item);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->to, "two@example.net  Bcc: x@evil");
    EXPECT_EQ(second->subject, "#KOVQUERY:p w2");
    EXPECT_EQ(second->body.find("<URLIST>\n<VERSION 1.0/>\n<URL>"), 0u);
    EXPECT_NE(second->body.find("http://h/b"), std::string::npos);
    EXPECT_EQ(second->body.substr(second->body.size() - 9), "</URLIST>");

    EmailSettings none = Email();
    none.PrimaryHost = -1;
    EXPECT_FALSE(ComposeItemQuery(none, item));
}

TEST(QueryMessage, JobResultListsFilesWithGroupedSizes) {
    const MailText mail =
        ComposeJobResult("me@example.org", "Them <them@example.org>",
                         {{"/srv/q/20261207-1/a.zip", 1234567}, {"b\r\nc.txt", 0}, {"c", 999}});
    EXPECT_EQ(mail.to, "them@example.org");
    EXPECT_EQ(mail.subject, "#KOV Job Result");
    EXPECT_EQ(mail.mailer, "SomeMailer");
    const std::string pad(29, ' ');
    EXPECT_EQ(mail.body,
              "Your Download query result, Files downloaded:\n"
              "File Name                                  Size\n"
              "a.zip" +
                  pad +
                  "    1,234,567\n\n"
                  "b  c.txt" +
                  std::string(26, ' ') +
                  "            0\n\n"
                  "c" +
                  std::string(33, ' ') + "          999\n");
}

TEST(QueryDestination, OnlyASafeLastPartStays) {
    const struct {
        const char* dest;
        const char* part;
    } cases[] = {
        {"/home/me/a.zip", "a.zip"},
        {"C:\\dl\\b.txt", "b.txt"},
        {"dir/", ""},
        {"..", ""},
        {"../../..", ""},
        {"a/..\\.", ""},
        {"{LISTFOLDER}", "_LISTFOLDER_"},
        {"x;rm -rf $HOME", "x_rm -rf _HOME"},
        {"c:evil", "evil"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SafeLastPart(c.dest), c.part) << c.dest;

    const std::string long_name(400, 'n');
    const std::string dest = QueryItemDest("/q/20231114-221320", 12, long_name);
    EXPECT_EQ(dest.size(), UrlItem::kDestCapacity);
    EXPECT_EQ(dest.rfind("/q/20231114-221320-12/nnn", 0), 0u);
}

TEST(QueryDestination, PollAndClipboardFoldersCarryLocalTime) {
    const std::time_t now = MakeTime({2024, 3, 5, 7, 8, 9});
    EXPECT_EQ(PollFolder("/srv/q", now), "/srv/q/20240305-070809");
    EXPECT_EQ(PollFolder("/srv/q/", now), "/srv/q/20240305-070809");
    EXPECT_EQ(QueryBaseFolder("/q/", "/dl/"), "/q/");
    EXPECT_EQ(QueryBaseFolder("q/", "/dl/"), "/dl/");

    const std::string text =
        "junk\n<URLIST>\n<VERSION 1.0/>\n<URL>\nHREF:http://h/a\n"
        "DEST:../../x/a.htm\n</URL>\n</URLIST>\n";
    const auto items = ItemsFromClipboardText(text, "/prog/", now);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Url, "http://h/a");
    EXPECT_EQ(items[0].Dest, "/prog/EmailQry/20240305-070809/a.htm");
    EXPECT_TRUE(ItemsFromClipboardText("<URL>\nHREF:http://h/a\n</URL>", "/p/", now).empty());
}

}  // namespace
}  // namespace kov
