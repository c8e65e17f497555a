#include "session/mail_result_mailer.h"

#include "mail/job_result_mail.h"
#include "mail/query_sender.h"

namespace kov {

SmtpResultMailer& SmtpResultMailer::Instance() {
    static SmtpResultMailer mailer;
    return mailer;
}

bool SmtpResultMailer::SendResult(DownloadJob& job, const std::string& recipient,
                                  const std::vector<std::pair<std::string, std::uint64_t>>& files,
                                  std::string& error) {
    const EmailSettings& email = job.Settings().email;
    const MailText mail = ComposeJobResult(email.MyEmailAddr, recipient, files);
    return SendMailText(
        email, mail, [&job] { return job.stopRequest.load() >= kStopNow; }, &error);
}

}  // namespace kov
