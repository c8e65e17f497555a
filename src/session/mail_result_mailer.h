#pragma once

#include <functional>
#include <memory>

#include "engine/download_job.h"
#include "engine/job_event.h"
#include "mail_control/result_mail_queue.h"

namespace kov {

// Mails a job's delivered files to the sender of its query through the SMTP server of the
// session's settings, from a bounded queue of its own: the job goes on at once, and the outcome
// comes later as the job's kEventMailSent through report (on the queue's thread).
class SmtpResultMailer : public ResultMailer {
public:
    explicit SmtpResultMailer(std::function<void(JobEvent event)> report,
                              ResultMailQueue::Send send = {});

    bool QueueResult(DownloadJob& job, const std::string& recipient,
                     const std::vector<std::pair<std::string, std::uint64_t>>& files,
                     std::string& error) override;
    // Results waiting or being sent.
    std::size_t Pending() const { return m_queue.Pending(); }

private:
    std::function<void(JobEvent)> m_report;
    ResultMailQueue m_queue;  // last: its thread ends before the report goes
};

}  // namespace kov
