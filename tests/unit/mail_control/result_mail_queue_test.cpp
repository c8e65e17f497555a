#include "mail_control/result_mail_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace kov {
namespace {

using namespace std::chrono_literals;

// A mail server that answers only when the test lets it (or the queue stops it).
struct HeldServer {
    std::atomic<bool> open{false};
    std::atomic<int> sends{0};
    ResultMailQueue::Send Send() {
        return [this](const EmailSettings&, const MailText& mail, const MailStop& stop,
                      std::string* error) {
            ++sends;
            while (!open && !stop())
                std::this_thread::sleep_for(1ms);
            if (error && !open) *error = "stopped";
            return open && mail.to != "refused@kov.test";
        };
    }
};

MailText To(std::string address) {
    MailText mail;
    mail.to = std::move(address);
    return mail;
}

TEST(ResultMailQueue, AHangingServerHoldsNoSenderAndTheQueueIsBounded) {
    HeldServer server;
    std::mutex lock;
    std::vector<std::pair<std::string, bool>> done;
    auto email = std::make_shared<const EmailSettings>();
    {
        ResultMailQueue queue(2, server.Send());
        std::string error;
        for (const char* to : {"a@kov.test", "refused@kov.test", "c@kov.test"}) {
            // Each Add returns while the server still holds the first mail.
            EXPECT_TRUE(queue.Add(
                email, To(to),
                [&, to = std::string(to)](bool sent, const std::string&) {
                    std::lock_guard guard(lock);
                    done.emplace_back(to, sent);
                },
                error))
                << to;
            while (server.sends == 0)
                std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(queue.Pending(), 3u);
        EXPECT_FALSE(queue.Add(email, To("d@kov.test"), {}, error));
        EXPECT_NE(error.find("too many job results"), std::string::npos) << error;
        server.open = true;
        while (queue.Pending() != 0)
            std::this_thread::sleep_for(1ms);
        std::lock_guard guard(lock);
        const std::vector<std::pair<std::string, bool>> expected = {
            {"a@kov.test", true}, {"refused@kov.test", false}, {"c@kov.test", true}};
        EXPECT_EQ(done, expected);
    }
    // Destroying the queue stops a send that hangs; the mails behind it are dropped.
    server.open = false;
    int reported = 0;
    {
        ResultMailQueue queue(2, server.Send());
        std::string error;
        for (int i = 0; i < 2; ++i)
            queue.Add(
                email, To("x@kov.test"), [&](bool, const std::string&) { ++reported; }, error);
    }
    EXPECT_EQ(reported, 0);
}

}  // namespace
}  // namespace kov
