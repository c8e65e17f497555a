// Job results wait for a silent SMTP server on the mailer's own thread, never on the job's.

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "session/mail_result_mailer.h"
#include "support/scripted_server.h"

namespace kov {
namespace {

TEST(ResultMailerTest, ASilentServerHoldsNoJobAndTheOutcomeIsReportedForTheJob) {
    test::ScriptedServer silent({""});
    test::ScriptedServer refusing(
        {"220 hi\r\n", "250 hello\r\n", "250 ok\r\n", "550 no such user\r\n", "221 bye\r\n"});
    std::mutex lock;
    std::vector<JobEvent> reports;
    auto report = [&](JobEvent e) {
        std::lock_guard guard(lock);
        reports.push_back(std::move(e));
    };
    const auto jobFor = [](int port) {
        auto settings = std::make_shared<AppSettings>();
        settings->email.SmtpServer = "127.0.0.1:" + std::to_string(port);
        settings->email.MyEmailAddr = "b@kov.test";
        auto env = std::make_shared<JobEnvironment>();
        env->settings = settings;
        UrlItem item = FreshItem();
        item.CEType = 10;
        return std::make_unique<DownloadJob>(item, 42, 0, env);
    };
    const std::vector<std::pair<std::string, std::uint64_t>> files = {{"a.txt", 5}};
    {
        SmtpResultMailer mailer(report);
        auto job = jobFor(silent.Port());
        std::string error;
        // Handed over while the server has not even greeted.
        ASSERT_TRUE(mailer.QueueResult(*job, "a@kov.test", files, error)) << error;
        EXPECT_EQ(mailer.Pending(), 1u);
    }  // stops the wait
    EXPECT_TRUE(reports.empty());

    SmtpResultMailer mailer(report);
    auto job = jobFor(refusing.Port());
    std::string error;
    ASSERT_TRUE(mailer.QueueResult(*job, "a@kov.test", files, error)) << error;
    const auto reported = [&] {
        std::lock_guard guard(lock);
        return !reports.empty();
    };
    while (!reported())
        std::this_thread::yield();
    EXPECT_EQ(mailer.Pending(), 0u);
    std::lock_guard guard(lock);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, kEventMailSent);
    EXPECT_EQ(reports[0].ownerKey, 42u);
    EXPECT_EQ(reports[0].param1, 0);
    EXPECT_EQ(reports[0].text1, "a@kov.test");
    EXPECT_NE(reports[0].cause.find("refused the recipient <a@kov.test>"), std::string::npos)
        << reports[0].cause;
}

}  // namespace
}  // namespace kov
