#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "engine/job.h"
#include "engine/job_event.h"
#include "model/macro_expander.h"
#include "model/url_item.h"
#include "net/http_transfer.h"
#include "net/resource_info.h"
#include "net/transfer_events.h"

namespace kov {

class DownloadJob;
class Prompter;
class ResourceProber;
class SharedConnections;
class TrafficMeter;

// The FTP client's part of a job (connect, fetch, upload). FtpJobClient unless a caller puts
// its own in the environment.
class FtpJobHooks {
public:
    virtual ~FtpJobHooks() = default;
    // Connects and logs in for the URL's host; false with the reply text and the failed stage
    // (1 connect, 2 login).
    virtual bool Connect(DownloadJob& job, const std::string& url, int& stage,
                         std::string& replyText) = 0;
    virtual bool Connected() const = 0;
    virtual int Fetch(DownloadJob& job, const std::string& url, std::string& localPath) = 0;
    virtual void Quit() = 0;
    // Uploads a delivered file as the item says.
    virtual void Upload(DownloadJob& job, const std::string& localPath) = 0;
};

// What is done with a delivered HTML page (search and replace, ripping).
class PageProcessor {
public:
    virtual ~PageProcessor() = default;
    virtual void ProcessPage(DownloadJob& job, const std::string& url, const std::string& localPath,
                             ResourceInfo& info) = 0;
};

// Mails the list of delivered files to the sender of an e-mail query.
class ResultMailer {
public:
    virtual ~ResultMailer() = default;
    // True when the mail was sent.
    virtual bool SendResult(DownloadJob& job, const std::string& recipient,
                            const std::vector<std::pair<std::string, std::uint64_t>>& files) = 0;
};

// What a job needs besides its item; shared by the jobs of a session and read-only while they
// run.
struct JobEnvironment {
    const AppSettings* settings = nullptr;
    MacroContext macros;  // program folder and drive, current list; `now` is taken per use
    TrafficMeter* meter = nullptr;  // nullptr: the process-wide meter
    // The traffic limit (asked only for jobs that are not local).
    std::function<bool()> limitReached;
    std::function<bool(std::string_view url)> banned;
    Prompter* prompter = nullptr;
    JobEventSink* sink = nullptr;
    std::function<std::time_t()> now;  // the clock; empty: the system clock
    std::chrono::milliseconds retryWait{5000};
    // Pauses at the start and the end of a job; nothing here depends on them (events are
    // copies), so they are 0 unless a caller wants them.
    std::chrono::milliseconds startWait{0};
    std::chrono::milliseconds endWait{0};
    std::function<std::unique_ptr<FtpJobHooks>()> makeFtp;  // empty: FtpJobClient
    PageProcessor* pages = nullptr;
    ResultMailer* mailer = nullptr;
    // Connections shared by the jobs of a session; none: each job connects on its own.
    std::shared_ptr<SharedConnections> connections;
};

// One run of one list item in a session: expands the item's template into concrete URLs (a date
// or number series), fetches each over HTTP(S), FTP or file://, runs the after-download actions
// and reports every step as a JobEvent.
class DownloadJob : public Job, private TransferSink {
public:
    DownloadJob(UrlItem item, RowId ownerKey, int rowIndex,
                std::shared_ptr<const JobEnvironment> environment);
    ~DownloadJob() override;

    void Run() override;

    const UrlItem& Item() const { return m_item; }
    RowId OwnerKey() const { return m_ownerKey; }
    bool IsLocal() const { return m_isLocal; }
    const JobEnvironment& Environment() const { return *m_env; }
    HttpFetchJob& Transfer() { return m_transfer; }

    // Builds and posts one event with the job's link position.
    void PostEvent(int code, std::int64_t param1, std::int64_t param2,
                   const std::string& text1 = {}, const std::string& text2 = {});

    int linkIndex = 0;
    int linkCount = 0;

private:
    // TransferSink: transfers report through the job.
    void Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
              const std::string& text2) override;

    std::time_t Now() const;
    void Wait(std::chrono::milliseconds time) const;
    bool Stopping() const { return stopRequest.load() != 0; }
    bool LimitReached() const;
    std::unique_ptr<FtpJobHooks> MakeFtp() const;
    int FetchPass(std::string& url, std::string& localPath, bool& anySuccess,
                  std::int32_t& nextNum);
    void RunCommandLine(const std::string& commandLine, const std::string& localPath);
    void Finish();

    UrlItem m_item;
    RowId m_ownerKey;
    int m_rowIndex;
    std::shared_ptr<const JobEnvironment> m_env;
    bool m_isLocal = false;
    bool m_ftpViaProxy = false;
    bool m_destIsFile = false;
    std::string m_destTemplate;
    std::string m_scheme;
    std::unique_ptr<InternetSession> m_session;
    std::unique_ptr<ResourceProber> m_prober;
    std::unique_ptr<FtpJobHooks> m_ftp;
    HttpFetchJob m_transfer;
    ResourceInfo m_info;
    std::vector<std::pair<std::string, std::uint64_t>> m_resultFiles;
    std::string m_lastLocalPath;
    bool m_anySuccess = false;
    int m_lastResult = 0;
};

}  // namespace kov
