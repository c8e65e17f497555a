#pragma once

// Job results waiting for the SMTP server. They are sent one at a time on a thread of their
// own, so that a slow or silent server holds no download worker; the queue is bounded, and a
// result that finds it full is refused at once.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/settings/app_settings.h"
#include "mail_control/mail_text.h"
#include "mail_control/query_sender.h"

namespace kov {

class ResultMailQueue {
public:
    static constexpr std::size_t kDefaultCapacity = 64;
    // Sends one mail; SendMailText unless a test gives another.
    using Send = std::function<bool(const EmailSettings& email, const MailText& mail,
                                    const MailStop& stop, std::string* error)>;
    // The outcome of one mail, on the queue's thread.
    using Done = std::function<void(bool sent, const std::string& error)>;

    explicit ResultMailQueue(std::size_t capacity = kDefaultCapacity, Send send = {});
    // Stops the send under way (its waits watch the stop) and drops the waiting mails; their
    // done never runs.
    ~ResultMailQueue();
    ResultMailQueue(const ResultMailQueue&) = delete;
    ResultMailQueue& operator=(const ResultMailQueue&) = delete;

    // Any thread; returns at once. False, with the reason in error, when the queue is full.
    bool Add(std::shared_ptr<const EmailSettings> email, MailText mail, Done done,
             std::string& error);
    // Mails waiting or being sent; 0 before the done of the last one runs.
    std::size_t Pending() const;

private:
    struct Entry {
        std::shared_ptr<const EmailSettings> email;
        MailText mail;
        Done done;
    };
    void Run();

    const std::size_t m_capacity;
    const Send m_send;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Entry> m_entries;
    bool m_sending = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;  // started with the first mail
};

}  // namespace kov
