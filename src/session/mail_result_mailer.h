#pragma once

#include "engine/download_job.h"

namespace kov {

// Mails a job's delivered files to the sender of its query through the SMTP server of the
// session's settings. Holds no state, so one instance serves every job.
class SmtpResultMailer : public ResultMailer {
public:
    static SmtpResultMailer& Instance();

    bool SendResult(DownloadJob& job, const std::string& recipient,
                    const std::vector<std::pair<std::string, std::uint64_t>>& files,
                    std::string& error) override;
};

}  // namespace kov
