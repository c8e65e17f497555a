#include "mail_control/result_mail_queue.h"

namespace kov {

ResultMailQueue::ResultMailQueue(std::size_t capacity, Send send)
    : m_capacity(capacity == 0 ? 1 : capacity),
      m_send(send ? std::move(send) : Send(SendMailText)) {}

ResultMailQueue::~ResultMailQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_entries.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool ResultMailQueue::Add(std::shared_ptr<const EmailSettings> email, MailText mail, Done done,
                          std::string& error) {
    {
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= m_capacity) {
            error = "too many job results wait for the SMTP server (" + std::to_string(m_capacity) +
                    ")";
            return false;
        }
        m_entries.push_back({std::move(email), std::move(mail), std::move(done)});
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
    return true;
}

std::size_t ResultMailQueue::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size() + (m_sending ? 1 : 0);
}

void ResultMailQueue::Run() {
    const MailStop stop = [this] { return m_stop.load(); };
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_entries.empty(); });
        if (m_stop) return;
        Entry entry = std::move(m_entries.front());
        m_entries.pop_front();
        m_sending = true;
        lock.unlock();
        std::string error;
        const bool sent = m_send(*entry.email, entry.mail, stop, &error);
        lock.lock();
        // Counted as done before its owner hears of it, so that the owner sees the queue empty.
        m_sending = false;
        if (m_stop) return;
        lock.unlock();
        if (entry.done) entry.done(sent, error);
        lock.lock();
    }
}

}  // namespace kov
