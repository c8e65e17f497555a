#include "engine/download_job.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/text/text_util.h"
#include "engine/failure_cause.h"
#include "engine/ftp_job_client.h"
#include "engine/job_command.h"
#include "engine/local_copy.h"
#include "model/local_path.h"
#include "model/url_parts.h"
#include "model/url_template.h"
#include "net/http/http_download.h"
#include "net/http/response_headers.h"
#include "net/http/url_download.h"
#include "net/transfer/proxy_settings.h"
#include "net/transfer/traffic_meter.h"
#include "platform/clock.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr std::time_t kDay = 86400;

bool HasNamePart(std::string_view path) {
    return !path.empty() && path.back() != '/' && path.back() != '\\';
}

// A page saved into a folder under a ".shtm..." name is kept as ".htm".
std::string ShtmlAsHtm(const std::string& localPath) {
    const std::size_t dot = localPath.rfind('.');
    const std::size_t slash = localPath.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
        IStartsWith(std::string_view(localPath).substr(dot), ".shtm")) {
        return localPath.substr(0, dot) + ".htm";
    }
    return localPath;
}

// The parts before the last one must lie within the file, so that no offset computed from the
// stored values can overflow or point past its end.
bool PartFitsFile(const UrlItem& item) {
    if (item.DstDlPartCount < 1 || item.DstDlPartNo < 1 || item.DstDlPartNo > item.DstDlPartCount ||
        item.DstDlPartSize < 0) {
        return false;
    }
    return item.DstDlPartCount == 1 ||
           item.DstDlPartSize <= item.DstDlFileSize / (item.DstDlPartCount - 1);
}

// The transfer buffer of a worker's last job, kept for its next one: a fresh one per job was
// allocated and zeroed per file, felt in a session of many small files.
thread_local std::vector<char> t_spareBuffer;

// Lends the thread's spare buffer to a job for the length of its run.
class BorrowedBuffer {
public:
    explicit BorrowedBuffer(std::vector<char>& buffer) : m_buffer(buffer) {
        if (m_buffer.empty()) m_buffer.swap(t_spareBuffer);
        if (m_buffer.size() < TransferJob::kBufferSize) m_buffer.resize(TransferJob::kBufferSize);
    }
    ~BorrowedBuffer() { t_spareBuffer.swap(m_buffer); }
    BorrowedBuffer(const BorrowedBuffer&) = delete;
    BorrowedBuffer& operator=(const BorrowedBuffer&) = delete;

private:
    std::vector<char>& m_buffer;
};

}  // namespace

DownloadJob::DownloadJob(UrlItem item, RowId ownerKey, int rowIndex,
                         std::shared_ptr<const JobEnvironment> environment)
    : m_item(std::move(item)),
      m_ownerKey(ownerKey),
      m_rowIndex(rowIndex),
      m_env(std::move(environment)),
      m_settings(m_env->settings ? m_env->settings : std::make_shared<const AppSettings>()) {
    m_transfer.sink = this;
    m_transfer.meter = m_env->meter;
    m_transfer.stopRequest = &stopRequest;
    m_transfer.banned = m_env->banned;
    m_transfer.limitReached = m_env->limitReached;
    m_transfer.rewriteOf = [this](const std::string& url, const std::string&, bool html) {
        return html && m_env->pages ? m_env->pages->RewriteOf(*this, url) : Rewrite::None;
    };
    // An item that came by mail runs a command or an upload only while the user allows it:
    // one given to it after it arrived, or allowed once and withdrawn since, is left out.
    if (m_item.CEType == 10) {
        if (m_settings->email.QueryAllowCommand == 0) m_item.Cmd.clear();
        if (m_settings->email.QueryAllowUpload == 0) m_item.Upload = 0;
    }
}

DownloadJob::~DownloadJob() = default;

std::time_t DownloadJob::Now() const {
    return m_env->now ? m_env->now() : SystemClock().Now();
}

void DownloadJob::Wait(std::chrono::milliseconds time) const {
    // Waits end early on a stop, so that "stop immediately" is immediate.
    StopAwareSleep(time, stopRequest);
}

std::unique_ptr<FtpJobHooks> DownloadJob::MakeFtp() const {
    if (m_env->makeFtp) return m_env->makeFtp();
    return std::make_unique<FtpJobClient>();
}

bool DownloadJob::LimitReached() const {
    return !m_isLocal && m_env->limitReached && m_env->limitReached();
}

void DownloadJob::PostEvent(int code, std::int64_t param1, std::int64_t param2,
                            const std::string& text1, const std::string& text2,
                            std::string_view cause) {
    if (code == kEventJobAborted || code == kEventJobCancelled || code == kEventJobFinished)
        m_finalPosted = true;
    if (!m_env->sink) return;
    JobEvent e;
    e.code = code;
    e.ownerKey = m_ownerKey;
    e.jobId = jobId;
    e.param1 = param1;
    e.param2 = param2;
    e.internet = m_isLocal ? 0 : 1;
    e.linkIndex = linkIndex;
    e.linkCount = linkCount;
    if (text1.size() < JobEvent::kTextLimit) e.text1 = text1;
    if (text2.size() < JobEvent::kTextLimit) e.text2 = text2;
    e.cause = ShortCause(cause);
    m_env->sink->Post(std::move(e));
}

std::string DownloadJob::TransferCause(int code, std::int64_t param1, std::int64_t param2) const {
    const bool failed = code == kEventFileResult
                            ? param1 != kResultOk && param1 != kResultSkipped &&
                                  param1 != kResultStub && param1 != kResultStopped &&
                                  param1 != kResultLimit
                            : code == kEventFtpNoFolder || code == kEventFtpNoListing ||
                                  code == kEventFtpNotRetrieved;
    if (!failed) return {};
    if (m_scheme == "file") return SystemErrorText(static_cast<int>(param2));
    return m_transfer.errorText;
}

void DownloadJob::Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
                       const std::string& text2) {
    PostEvent(code, param1, param2, text1, text2, TransferCause(code, param1, param2));
}

void DownloadJob::Run() {
    m_transfer.lastError = 0;
    // Taken now rather than when queued: a session may queue thousands of jobs.
    const BorrowedBuffer buffer(m_transfer.buffer);

    Wait(m_env->startWait);
    if (Stopping()) {
        PostEvent(kEventJobCancelled, m_rowIndex, 0);
        return;
    }
    if (m_queued) {
        if (std::optional<UrlItem> edited = m_queued->Take()) m_item = std::move(*edited);
    }
    const std::time_t start = Now();
    Prepare(start);
    const std::time_t seriesTime = start - static_cast<std::time_t>(m_item.dayShift) * kDay;
    if (!Stopping() && OpenSession() && PassSchemeGate(seriesTime)) {
        RunSeries(seriesTime);
    } else {
        m_lastResult = kResultNothing;
    }
    Finish();
}

void DownloadJob::RunFailed(std::string_view reason) noexcept {
    try {
        if (m_finalPosted) return;
        // Not 512: that would record the item as downloaded.
        PostEvent(kEventFileResult, kResultClientError, 0, "job failed: " + std::string(reason),
                  m_lastLocalPath);
        PostEvent(kEventJobAborted, m_rowIndex, 0);
    } catch (...) {
        // Nothing left to report with.
    }
}

// Finds the scheme and locality, names the destination and sets the transfer up.
void DownloadJob::Prepare(std::time_t start) {
    const std::string url = ExpandTemplate(m_item.Url, start, m_item.CurrentNum, true);
    UrlParts parts;
    const bool split = SplitUrl(url, parts, false);
    m_scheme = split ? parts.scheme : std::string();
    // A DNS server that does not answer must not keep a stop waiting.
    const auto stopped = [this] { return Stopping(); };
    m_isLocal = m_scheme == "file" || (split && IsLocalHost(parts.host, stopped, m_env->resolveHost,
                                                            m_env->lookupLimit) == 1);
    PostEvent(kEventJobStarted, m_isLocal ? 1 : 0, 0);

    MacroContext macros = m_env->macros;
    macros.now = start;
    if (!ExpandMacros(m_destTemplate, UrlItem::kDestCapacity, "", m_item.Dest, kPathMacroSet,
                      macros)) {
        m_destTemplate = m_item.Dest;
    }
    if (m_item.ClearFolder) {
        const std::string folder = FolderOf(m_destTemplate);
        if (!folder.empty()) {
            // Not the files other jobs of the session are writing there: gone, they would be
            // reported downloaded all the same.
            const std::unordered_set<std::string> busy = FilesOpenHere();
            char* real = ::realpath(folder.c_str(), nullptr);
            const std::string canonical = real != nullptr ? WithTrailingSlash(real) : folder;
            std::free(real);
            for (const FolderEntry& entry : ListMatching(folder + "*")) {
                if (!entry.isFolder && !busy.contains(canonical + entry.name))
                    ::unlink((folder + entry.name).c_str());
            }
        }
    }
    ConfigureTransfer();
}

void DownloadJob::ConfigureTransfer() {
    const AppSettings& settings = *m_settings;
    m_ftpViaProxy = FtpViaProxy(settings) && !(m_isLocal && settings.BypassProxyLocal);

    m_transfer.isLocal = m_isLocal;
    m_transfer.noCache = settings.NoCache != 0;
    m_transfer.enableHttps = settings.EnableHttps != 0;
    m_transfer.logDetail = settings.LogDetail;
    m_transfer.updateMode = m_item.UpdateMode;
    m_transfer.proxyUser = settings.ProxyUser;
    m_transfer.proxyPsw = settings.ProxyPsw;
    m_transfer.distributed =
        m_item.DstDlActive && m_item.DstDlFileSize > 0 && m_item.DstDlPartNo > 0;
    m_transfer.fileSize = m_item.DstDlFileSize;
    m_transfer.partCount = std::max(m_item.DstDlPartCount, 1);
    m_transfer.partSize = m_item.DstDlPartSize;
    m_transfer.partNo = m_item.DstDlPartNo;
    m_transfer.connections = m_item.Connections > 0 ? m_item.Connections : settings.Connections;
}

// The Internet session; file:// needs none. False when it cannot be made.
bool DownloadJob::OpenSession() {
    if (IStartsWith(m_item.Url, "file://")) return true;
    const AppSettings& settings = *m_settings;
    const AccessChoice access = ChooseAccess(settings, m_isLocal);
    m_session = InternetSession::Create(UserAgent(settings), access.access, access.proxyName, {},
                                        m_env->connections);
    if (!m_session) {
        PostEvent(kEventConnectionError, 1, 0);
        return false;
    }
    if (!settings.ProxyAddress.empty() &&
        (!settings.ProxyUser.empty() || !settings.ProxyPsw.empty()) &&
        !m_session->SetProxyCredentials(settings.ProxyUser, settings.ProxyPsw)) {
        PostEvent(kEventConnectionError, 3, errno);
    }
    m_transfer.session = m_session.get();
    return true;
}

// Lets http(s) and file:// through, connects and logs in for FTP, and refuses the rest and a
// part definition that does not fit its file.
bool DownloadJob::PassSchemeGate(std::time_t seriesTime) {
    const std::string url = ExpandTemplate(m_item.Url, seriesTime, m_item.CurrentNum, true);
    m_transfer.urlFileName = FileNameOfUrl(url);
    PostEvent(kEventConnecting, 0, 0);

    if (m_transfer.distributed && !PartFitsFile(m_item)) {
        PostEvent(kEventFileResult, kResultNothing, 0, url, "invalid part definition");
        return false;
    }
    if (m_scheme == "ftp") {
        if (m_ftpViaProxy) return true;
        m_ftp = MakeFtp();
        int stage = 0;
        std::string reply;
        if (m_ftp && !m_ftp->Connect(*this, url, stage, reply)) {
            PostEvent(kEventConnectionError, stage, 0, reply);
            return false;
        }
        return true;
    }
    if (m_scheme == "http" || m_scheme == "file" ||
        (m_scheme == "https" && m_settings->EnableHttps)) {
        return true;
    }
    // A malformed address, an unknown scheme or https switched off: nothing is fetched, and the
    // log says so as for any failed file.
    PostEvent(kEventFileResult, kResultNotHttp, 0, url, {},
              m_scheme == "https" ? "https is switched off" : "unsupported address");
    return false;
}

void DownloadJob::RunSeries(std::time_t seriesTime) {
    Series series;
    series.t = seriesTime;
    series.tolerance = m_item.Tolerance;
    for (;;) {
        std::string localPath;
        const int result = RunPass(series, localPath);
        m_lastResult = result;
        if (LimitReached()) return;
        if (result == kResultOk) DeliverFile(localPath);
        if (!SeriesGoesOn(series, result)) return;
    }
}

int DownloadJob::RunPass(Series& series, std::string& localPath) {
    series.ended = false;
    // A pass begun with the limit reached would fetch nothing and yet look like a success.
    if (LimitReached()) {
        PostEvent(kEventFileResult, kResultLimit, 0, m_item.Url);
        return kResultLimit;
    }
    std::string url = PassUrl(series.t);
    localPath = PassLocalPath(series.t);

    const std::string folder = FolderOf(localPath);
    if (!folder.empty() && !CreateFolders(folder)) {
        PostEvent(kEventMkDirError, 0, 0, folder, {}, SystemErrorText(errno));
        series.ended = true;
        return kResultNothing;
    }
    const int result = FetchPass(url, localPath, m_anySuccess);
    // An FTP pass does not move the series' end mark.
    if (m_scheme != "ftp" && (result == kResultOk || result == kResultSkipped))
        series.nextNum = std::int64_t{m_item.CurrentNum} + 1;
    return result;
}

// The pass's address; sets the referer and the credentials it carries for the transfer.
std::string DownloadJob::PassUrl(std::time_t t) {
    const std::string url = ExpandTemplate(m_item.Url, t, m_item.CurrentNum, true);
    if (!m_item.Referer.empty()) {
        const std::time_t refTime = Now() - static_cast<std::time_t>(m_item.dayShift) * kDay;
        m_transfer.expandedReferer =
            CapText(ExpandTemplate(m_item.Referer, refTime, m_item.CurrentNum, true), 300);
    }
    UrlParts parts;
    if (SplitUrl(url, parts, true)) {
        if (!parts.user.empty()) m_item.UserName = parts.user;
        if (!parts.password.empty()) m_item.UserPsw = parts.password;
    }
    m_transfer.userName = m_item.UserName;
    m_transfer.userPsw = m_item.UserPsw;
    m_transfer.urlFileName = FileNameOfUrl(url);
    return url;
}

// Where the pass's file goes, and whether the destination names that file itself.
std::string DownloadJob::PassLocalPath(std::time_t t) {
    m_destIsFile = HasNamePart(ExpandTemplate(m_destTemplate, t, m_item.CurrentNum, true));
    m_transfer.destIsFile = m_destIsFile;
    MacroContext macros = m_env->macros;
    macros.now = Now();
    const std::string localPath = MakeLocalPath(m_item, t, "", macros);
    const bool intoFolder =
        !m_destTemplate.empty() && (m_destTemplate.back() == '/' || m_destTemplate.back() == '\\');
    return intoFolder ? ShtmlAsHtm(localPath) : localPath;
}

// Runs the per-file command, notes the file for a result mail, records the time and uploads.
void DownloadJob::DeliverFile(const std::string& localPath) {
    m_lastLocalPath = localPath;
    JobCommand command;
    CommandRun run;
    if (IsPerFileCommand(m_item.Cmd)) {
        command = PerFileCommand(m_item.Cmd, localPath);
        run = RunAfterDownload(command, localPath);
    }
    if (m_item.CEType == 10 && !m_item.CEComeFrom.empty()) {
        m_resultFiles.emplace_back(localPath,
                                   static_cast<std::uint64_t>(FileSize(localPath).value_or(0)));
    }
    m_item.lastDL = Now();
    if (m_item.Upload && !m_item.UploadServer.empty()) {
        auto uploader = MakeFtp();
        if (uploader) uploader->Upload(*this, localPath);
    }
    // A file that could not be run is kept: it is all the user has.
    if (command.runsFile && run.Started()) ::unlink(localPath.c_str());
}

// Decides after each pass whether the series goes on; advances the number of a number series.
bool DownloadJob::SeriesGoesOn(Series& series, int result) {
    const bool numbered = m_item.NumBased != 0;
    if (numbered && m_item.StopNumber != 0 && series.nextNum > m_item.StopNumber) {
        series.ended = true;
    }
    if (result >= 2 && result != kResultSkipped) {
        if (numbered) {
            --series.tolerance;
            // The missing number being the stop number ends the series too, or a gap just
            // before it would carry the series past it.
            const std::int64_t reached = std::max<std::int64_t>(series.nextNum, m_item.CurrentNum);
            if (series.tolerance < 0 || (m_item.StopNumber > 0 && reached >= m_item.StopNumber)) {
                series.ended = true;
            } else if (!AdvanceNumber()) {  // the missing number is skipped
                series.ended = true;
            }
        } else if (m_item.days == 0) {
            series.ended = true;
        }
    }
    if (m_item.Url.find('%') == std::string::npos) series.ended = true;
    if (result != kResultLimit) {
        if (numbered) {
            if ((result == kResultOk || result == kResultSkipped) && !series.ended) {
                series.tolerance = m_item.Tolerance;
                if (AdvanceNumber())
                    PostEvent(kEventSeriesAdvanced, m_item.CurrentNum, 0);
                else
                    series.ended = true;
            }
        } else {
            series.t -= kDay;
            if (m_item.interval == -1 || series.dayIndex++ >= m_item.days || Stopping() ||
                m_item.UpdateMode == kUpdateAuto) {
                series.ended = true;
            }
        }
    }
    return !series.ended && !Stopping();
}

// The series ends at the largest number a list file can hold.
bool DownloadJob::AdvanceNumber() {
    if (m_item.CurrentNum == std::numeric_limits<std::int32_t>::max()) return false;
    ++m_item.CurrentNum;
    return true;
}

int DownloadJob::FetchPass(std::string& url, std::string& localPath, bool& anySuccess) {
    const AppSettings& settings = *m_settings;
    int result = 0;
    if (m_scheme == "ftp") {
        if (!m_ftpViaProxy && m_ftp && m_ftp->Connected()) {
            result = m_ftp->Fetch(*this, url, localPath);
        } else {
            std::unique_ptr<InternetSession> ftpSession;
            if (m_ftpViaProxy) {
                ftpSession =
                    settings.FtpProxyAddress.empty()
                        ? InternetSession::Create(UserAgent(settings), AccessType::Preconfigured)
                        : InternetSession::Create(UserAgent(settings), AccessType::NamedProxy,
                                                  settings.FtpProxyAddress);
            }
            // The transfer state is the job's own; only the session differs for this fetch.
            InternetSession* jobSession = m_transfer.session;
            m_transfer.session = ftpSession.get();
            result = FetchByUrl(url, localPath, m_transfer, UserAgent(settings));
            m_transfer.session = jobSession;
        }
        if (result <= 0) anySuccess = true;
        return result;
    }
    if (m_scheme == "file") {
        LocalCopyContext copy;
        copy.sink = this;
        copy.meter = m_env->meter;
        copy.stopRequest = &stopRequest;
        copy.buffer = &m_transfer.buffer;
        copy.subFolders = settings.FileSubFolders != 0;
        copy.updateMode = m_item.UpdateMode;
        result = CopyFileUrlPass(url, localPath, copy, anySuccess);
        m_transfer.lastError = copy.lastError;
        return result;
    }

    result = FetchHttpWithRetries(url, localPath, m_item.ConType, m_item.nfsize, m_item.nfString,
                                  m_info, m_transfer, m_env->retryWait);
    if (result <= 0) anySuccess = true;
    // An unchanged page (304) may still have records of its rip to check.
    const bool unchanged = result == kResultSkipped && m_info.status == 304;
    if ((result == 0 && m_info.isHtml) || unchanged) {
        if (m_env->pages) m_env->pages->ProcessPage(*this, url, localPath, m_info);
    }
    return result;
}

CommandRun DownloadJob::RunAfterDownload(const JobCommand& command, const std::string& localPath) {
    const CommandRun run = RunJobCommand(command, FolderOf(localPath), &stopRequest);
    PostEvent(kEventCommandRun, run.result, run.exitStatus, command.line);
    return run;
}

void DownloadJob::Finish() {
    if (m_ftp && m_ftp->Connected()) m_ftp->Quit();
    if (!IsPerFileCommand(m_item.Cmd) && !m_item.Cmd.empty() && m_anySuccess &&
        m_lastResult != kResultLimit) {
        const JobCommand command = FinalCommand(m_item.Cmd, m_lastLocalPath);
        if (!command.runsFile || !m_lastLocalPath.empty()) {
            const CommandRun run = RunAfterDownload(command, m_lastLocalPath);
            if (command.runsFile && run.Started()) ::unlink(m_lastLocalPath.c_str());
        }
    }
    m_transfer.session = nullptr;
    m_session.reset();
    if (!m_resultFiles.empty() && m_env->mailer) {
        std::string error;
        if (!m_env->mailer->QueueResult(*this, m_item.CEComeFrom, m_resultFiles, error))
            PostEvent(kEventMailSent, 0, 0, m_item.CEComeFrom, {}, error);
    }
    // A job that fetched nothing and did not find its file up to date leaves the item's last
    // download date alone, so the next session tries again.
    const bool done = m_anySuccess || m_lastResult == kResultSkipped;
    PostEvent(Stopping() ? kEventJobAborted : kEventJobFinished, m_rowIndex, done ? 1 : 0);
    Wait(m_env->endWait);
}

}  // namespace kov
