#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "content/html/rip_names.h"
#include "core/settings/app_settings.h"
#include "engine/job.h"
#include "engine/job_command.h"
#include "engine/job_event.h"
#include "engine/queued_item.h"
#include "model/macro_expander.h"
#include "model/url_item.h"
#include "net/transfer/proxy_settings.h"
#include "net/transfer/resource_info.h"
#include "net/transfer/transfer_events.h"
#include "net/transfer/transfer_job.h"

namespace kov {

class DownloadJob;
struct PageRules;
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
    // What ProcessPage will do to the page at url, which the update of its local copy follows.
    virtual Rewrite RewriteOf(const DownloadJob&, const std::string&) const {
        return Rewrite::None;
    }
};

// Mails the list of delivered files to the sender of an e-mail query.
class ResultMailer {
public:
    virtual ~ResultMailer() = default;
    // Hands the mail over and returns at once: the job does not wait for the mail server. The
    // mailer reports the outcome itself (as the job's kEventMailSent). False, with the reason
    // in error, when it was refused at once; the job then reports that.
    virtual bool QueueResult(DownloadJob& job, const std::string& recipient,
                             const std::vector<std::pair<std::string, std::uint64_t>>& files,
                             std::string& error) = 0;
};

// What a job needs besides its item; shared by the jobs of a session and read-only while they
// run.
struct JobEnvironment {
    // The settings as they were when the session started; later changes reach the next session
    // only.
    std::shared_ptr<const AppSettings> settings;
    MacroContext macros;  // program folder and drive, current list; `now` is taken per use
    TrafficMeter* meter = nullptr;  // nullptr: the process-wide meter
    // The traffic limit (asked only for jobs that are not local).
    std::function<bool()> limitReached;
    std::function<bool(std::string_view url)> banned;
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
    // Banner rules, banned words and site rules; none: no rules beside the item's own.
    std::shared_ptr<const PageRules> rules;
    // Resolves host names for the local-network test (empty: the system's resolver), waiting
    // at most this long.
    HostResolver resolveHost;
    std::chrono::milliseconds lookupLimit = kLocalLookupLimit;
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
    // Ends a job whose run threw like a failed one: an error result with the reason, then the
    // final event, unless that was posted already.
    void RunFailed(std::string_view reason) noexcept override;

    const UrlItem& Item() const { return m_item; }
    // An edit made while the job waits in the queue replaces its item when it starts.
    void SetQueuedItem(std::shared_ptr<QueuedItem> slot) { m_queued = std::move(slot); }
    RowId OwnerKey() const { return m_ownerKey; }
    bool IsLocal() const { return m_isLocal; }
    const JobEnvironment& Environment() const { return *m_env; }
    // The session's settings; the defaults when the environment has none.
    const AppSettings& Settings() const { return *m_settings; }
    TransferJob& Transfer() { return m_transfer; }

    // Builds and posts one event with the job's link position.
    void PostEvent(int code, std::int64_t param1, std::int64_t param2,
                   const std::string& text1 = {}, const std::string& text2 = {},
                   std::string_view cause = {});

    int linkIndex = 0;
    int linkCount = 0;
    // The local names the rips of this job's passes have given.
    RipNames ripNames;

private:
    // TransferSink: transfers report through the job.
    void Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
              const std::string& text2) override;

    // Where a date or number series stands between passes.
    struct Series {
        std::time_t t = 0;           // the date the next pass expands
        std::int64_t tolerance = 0;  // misses in a row still allowed
        std::int64_t dayIndex = 0;   // passes of a date series so far
        std::int64_t nextNum = 0;    // the number after the last one delivered or up to date
        bool ended = false;          // set by a pass that must be the last
    };

    std::time_t Now() const;
    void Wait(std::chrono::milliseconds time) const;
    bool Stopping() const { return stopRequest.load() != kStopNone; }
    bool LimitReached() const;
    std::unique_ptr<FtpJobHooks> MakeFtp() const;
    // The cause a transfer left for the event it posts: the system's text of a local copy's
    // error number, else what the transfer wrote into errorText.
    std::string TransferCause(int code, std::int64_t param1, std::int64_t param2) const;

    // The steps of a run, in order.
    void Prepare(std::time_t start);
    void ConfigureTransfer();
    bool OpenSession();
    bool PassSchemeGate(std::time_t seriesTime);
    void RunSeries(std::time_t seriesTime);
    int RunPass(Series& series, std::string& localPath);
    std::string PassUrl(std::time_t t);
    std::string PassLocalPath(std::time_t t);
    int FetchPass(std::string& url, std::string& localPath, bool& anySuccess);
    void DeliverFile(const std::string& localPath);
    bool SeriesGoesOn(Series& series, int result);
    bool AdvanceNumber();
    CommandRun RunAfterDownload(const JobCommand& command, const std::string& localPath);
    void Finish();

    UrlItem m_item;
    std::shared_ptr<QueuedItem> m_queued;
    RowId m_ownerKey;
    int m_rowIndex;
    std::shared_ptr<const JobEnvironment> m_env;
    std::shared_ptr<const AppSettings> m_settings;
    bool m_isLocal = false;
    bool m_ftpViaProxy = false;
    bool m_destIsFile = false;
    std::string m_destTemplate;
    std::string m_scheme;
    std::unique_ptr<InternetSession> m_session;
    std::unique_ptr<FtpJobHooks> m_ftp;
    TransferJob m_transfer;
    ResourceInfo m_info;
    std::vector<std::pair<std::string, std::uint64_t>> m_resultFiles;
    std::string m_lastLocalPath;
    bool m_anySuccess = false;
    int m_lastResult = 0;
    bool m_finalPosted = false;  // 510, 511 or 512 went out
};

}  // namespace kov
