#pragma once

#include <memory>
#include <string>

#include "engine/download_job.h"
#include "net/ftp/ftp_client.h"

namespace kov {

// The data-connection mode a setting value stands for: 1 always active, 2 always passive,
// anything else passive with a fall-back to active.
FtpDataMode DataModeFromSetting(int ftpPasvMode);

// A job's FTP side: one client connected for the series' host, used for every FTP address of
// the series, and a fresh client for each upload.
class FtpJobClient : public FtpJobHooks {
public:
    bool Connect(DownloadJob& job, const std::string& url, int& stage,
                 std::string& replyText) override;
    bool Connected() const override;
    int Fetch(DownloadJob& job, const std::string& url, std::string& localPath) override;
    void Quit() override;
    void Upload(DownloadJob& job, const std::string& localPath) override;

private:
    std::unique_ptr<FtpClient> m_client;
};

}  // namespace kov
