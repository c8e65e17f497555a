#include "session/mail_result_mailer.h"

#include "core/event_codes.h"
#include "engine/failure_cause.h"
#include "mail_control/job_result_mail.h"

namespace kov {

SmtpResultMailer::SmtpResultMailer(std::function<void(JobEvent event)> report,
                                   ResultMailQueue::Send send)
    : m_report(std::move(report)), m_queue(ResultMailQueue::kDefaultCapacity, std::move(send)) {}

bool SmtpResultMailer::QueueResult(DownloadJob& job, const std::string& recipient,
                                   const std::vector<std::pair<std::string, std::uint64_t>>& files,
                                   std::string& error) {
    const EmailSettings& email = job.Settings().email;
    JobEvent event;
    event.code = kEventMailSent;
    event.ownerKey = job.OwnerKey();
    event.jobId = job.jobId;
    event.internet = job.IsLocal() ? 0 : 1;
    if (recipient.size() < JobEvent::kTextLimit) event.text1 = recipient;
    return m_queue.Add(
        std::make_shared<const EmailSettings>(email),
        ComposeJobResult(email.MyEmailAddr, recipient, files),
        [this, event](bool sent, const std::string& why) mutable {
            event.param1 = sent ? 1 : 0;
            if (!sent) event.cause = ShortCause(why);
            if (m_report) m_report(std::move(event));
        },
        error);
}

}  // namespace kov
