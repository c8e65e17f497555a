// A query as it reaches the other installation's SMTP server (aiosmtpd).

#include <gtest/gtest.h>

#include "mail_control/query_message.h"
#include "mail_control/query_sender.h"
#include "support/missing_server.h"
#include "support/smtp_server.h"
#include "support/test_ca.h"

namespace kov {
namespace {

TEST(QueryWireTest, AQueryHasOneEmptyLineBeforeItsListAndAFourDigitYear) {
    if (!test::SmtpServer::Available())
        KOV_SKIP_WITHOUT_SERVER() << "python3-aiosmtpd is not installed";
    test::TestCa ca;  // not made: plain SMTP needs none
    test::SmtpServer server;
    ASSERT_TRUE(server.Start(test::SmtpServer::Mode::Plain, ca, false));
    EmailSettings email;
    email.SmtpServer = "127.0.0.1:" + std::to_string(server.Port());
    email.MyEmailAddr = "a@kov.test";
    email.hosts = {{1, "b@kov.test", "pw"}};
    UrlItem item = FreshItem();
    item.Url = "http://example.org/a.zip";
    std::string error;
    ASSERT_TRUE(SendQuery(email, 0, ItemQueryText(item), {}, &error)) << error;
    const auto received = server.Messages();
    ASSERT_EQ(received.size(), 1u);
    const std::string& text = received[0];
    // The header's end, then the one empty line of the body's start.
    EXPECT_NE(text.find("X-Mailer: KOV Downloader\r\n\r\n\r\n<URLIST>\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("\r\n\r\n\r\n\r\n<URLIST>"), std::string::npos) << text;
    // "Date: Mon, 07 Dec 2026 ...": day, month, then the year with its century.
    const std::size_t date = text.find("Date: ");
    ASSERT_NE(date, std::string::npos);
    const std::string year = text.substr(date + 18, 5);
    EXPECT_TRUE(year.size() == 5 && year[4] == ' ' && year.find_first_not_of("0123456789") == 4)
        << text.substr(date, 40);
}

}  // namespace
}  // namespace kov
