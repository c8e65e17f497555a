#include "net/mail/mail_message.h"

#include <gtest/gtest.h>

#include <vector>

#include "net/mail/pop3_message.h"
#include "support/env_guard.h"

namespace kov {
namespace {

TEST(MailMessageTest, DateCarriesTheLocalZoneOffset) {
    constexpr std::time_t kMoment = 1700000000;  // Tue, 14 Nov 2023 22:13:20 UTC
    const struct {
        const char* tz;
        const char* date;
    } cases[] = {
        {"UTC0", "Tue, 14 Nov 2023 22:13:20 +0000"},
        {"EST5", "Tue, 14 Nov 2023 17:13:20 -0500"},
        {"IST-5:30", "Wed, 15 Nov 2023 03:43:20 +0530"},
    };
    for (const auto& c : cases) {
        test::TimeZone zone(c.tz);
        EXPECT_EQ(MailDate(kMoment), c.date) << c.tz;
    }
}

TEST(MailMessageTest, BodyIsDotStuffedWithEveryLineBreakNormalised) {
    const struct {
        std::vector<std::string> lines;
        const char* body;
    } cases[] = {
        {{"a", "."}, "\r\na\r\n..\r\n"},
        {{".x", "..y"}, "\r\n..x\r\n...y\r\n"},
        {{"x\n.\ny"}, "\r\nx\r\n..\r\ny\r\n"},  // a bare LF must not hide the end marker
        {{"x\r.\r\n"}, "\r\nx\r\n..\r\n"},
        {{"end\r\n"}, "\r\nend\r\n"},  // no second break before the end marker
        {{}, "\r\n"},
    };
    for (const auto& c : cases) {
        MailMessage message;
        message.AddRecipient("b@kov.test");
        for (const std::string& line : c.lines)
            message.AddBodyLine(line);
        std::string header, body, error;
        ASSERT_TRUE(message.Prepare(header, body, error)) << error;
        EXPECT_EQ(body, c.body);
    }
}

TEST(MailMessageTest, PrepareRefusesLineBreaksInHeaderValuesAndNoRecipient) {
    const struct {
        const char* sender;
        const char* subject;
        const char* address;
        const char* name;
        const char* error;
    } cases[] = {
        {"a@x", "s", nullptr, "", "Message has no recipients"},
        {"a@x\r\nBcc: v@x", "s", "b@x", "", "A header value holds a line break"},
        {"a@x", "s\nBcc: v@x", "b@x", "", "A header value holds a line break"},
        {"a@x", "s", "b@x>\r\nRCPT TO:<v@x", "", "A header value holds a line break"},
    };
    for (const auto& c : cases) {
        MailMessage message;
        message.SetSender(c.sender);
        message.SetSubject(c.subject);
        if (c.address != nullptr) message.AddRecipient(c.address, c.name);
        std::string header, body, error;
        EXPECT_FALSE(message.Prepare(header, body, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(Pop3MessageTest, HeaderItemsAreFoundWithoutCaseAndUnfolded) {
    const Pop3Message message(
        "From: a@kov.test\r\nsubject:  KOV\r\n\tquery \r\nX-Empty:\r\nX-Stray: a\rb\nc\r\n\r\n"
        "Subject: body\r\n");
    const struct {
        const char* name;
        const char* value;
    } cases[] = {
        {"Subject", "KOV query"}, {"FROM", "a@kov.test"}, {"X-Empty", ""}, {"To", ""}, {"rom", ""},
        {"X-Stray", "a b c"},  // a stray CR or LF does not end or break the value
    };
    for (const auto& c : cases)
        EXPECT_EQ(message.GetHeaderItem(c.name), c.value) << c.name;
    EXPECT_EQ(message.GetBody(), "Subject: body\r\n");
    EXPECT_EQ(Pop3Message("A: b\r\n").GetHeaderItem("a"), "b");  // no body at all
}

}  // namespace
}  // namespace kov
