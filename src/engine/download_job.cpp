#include "engine/download_job.h"

#include <unistd.h>

#include <thread>

#include "core/text_util.h"
#include "engine/ftp_job_client.h"
#include "engine/job_command.h"
#include "engine/local_copy.h"
#include "model/local_path.h"
#include "model/url_parts.h"
#include "model/url_template.h"
#include "net/proxy_settings.h"
#include "net/resource_prober.h"
#include "net/response_headers.h"
#include "net/traffic_meter.h"
#include "platform/clock.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr std::time_t kDay = 86400;

// The name part of a URL (after the last '/' or '\'), made safe to use as a local name.
std::string UrlFileName(std::string_view url) {
    const std::size_t cut = url.find_last_of("/\\");
    std::string name = PlainFileName(cut == std::string_view::npos ? url : url.substr(cut + 1));
    for (char& c : name) {
        if (c == '?' || c == '*') c = '_';
    }
    return name;
}

bool HasNamePart(std::string_view path) {
    return !path.empty() && path.back() != '/' && path.back() != '\\';
}

}  // namespace

DownloadJob::DownloadJob(UrlItem item, RowId ownerKey, int rowIndex,
                         std::shared_ptr<const JobEnvironment> environment)
    : m_item(std::move(item)),
      m_ownerKey(ownerKey),
      m_rowIndex(rowIndex),
      m_env(std::move(environment)) {
    m_transfer.sink = this;
    m_transfer.meter = m_env->meter;
    m_transfer.stopRequest = &stopRequest;
    m_transfer.prompter = m_env->prompter;
    m_transfer.banned = m_env->banned;
    m_transfer.limitReached = m_env->limitReached;
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
                            const std::string& text1, const std::string& text2) {
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
    m_env->sink->Post(std::move(e));
}

void DownloadJob::Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
                       const std::string& text2) {
    PostEvent(code, param1, param2, text1, text2);
}

void DownloadJob::Run() {
    const AppSettings& settings = *m_env->settings;
    MacroContext macros = m_env->macros;
    m_transfer.lastError = 0;
    // Allocated now rather than when queued: a session may queue thousands of jobs.
    m_transfer.buffer.resize(HttpFetchJob::kBufferSize);

    // A.
    Wait(m_env->startWait);
    if (Stopping()) {
        PostEvent(kEventJobCancelled, m_rowIndex, 0);
        return;
    }
    const std::time_t start = Now();
    std::string url = ExpandTemplate(m_item.Url, start, m_item.CurrentNum, true);
    UrlParts parts;
    const bool split = SplitUrl(url, parts, false);
    m_scheme = split ? parts.scheme : std::string();
    m_isLocal = m_scheme == "file" || (split && IsLocalHost(parts.host) == 1);
    PostEvent(kEventJobStarted, m_isLocal ? 1 : 0, 0);

    macros.now = start;
    if (!ExpandMacros(m_destTemplate, UrlItem::kDestCapacity, "", m_item.Dest, kPathMacroSet,
                      macros)) {
        m_destTemplate = m_item.Dest;
    }
    if (m_item.ClearFolder) {
        const std::string folder = FolderOf(m_destTemplate);
        if (!folder.empty()) {
            for (const FolderEntry& entry : ListMatching(folder + "*")) {
                if (!entry.isFolder) ::unlink((folder + entry.name).c_str());
            }
        }
    }

    m_ftpViaProxy = FtpViaProxy(settings) && !(m_isLocal && settings.BypassProxyLocal);
    const std::string agent = UserAgent(settings);
    const AccessChoice access = ChooseAccess(settings, m_isLocal);
    m_prober = std::make_unique<ResourceProber>(settings);

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

    bool ok = true;
    if (!IStartsWith(m_item.Url, "file://")) {
        m_session =
            InternetSession::Create(agent, access.access, access.proxyName, {}, m_env->connections);
        if (!m_session) {
            PostEvent(kEventConnectionError, 1, 0);
            ok = false;
        } else if (!settings.ProxyAddress.empty() &&
                   (!settings.ProxyUser.empty() || !settings.ProxyPsw.empty()) &&
                   !m_session->SetProxyCredentials(settings.ProxyUser, settings.ProxyPsw)) {
            PostEvent(kEventConnectionError, 3, errno);
        }
    }
    m_transfer.session = m_session.get();

    std::time_t t = start - static_cast<std::time_t>(m_item.dayShift) * kDay;
    if (ok) {
        url = ExpandTemplate(m_item.Url, t, m_item.CurrentNum, true);
        m_transfer.urlFileName = UrlFileName(url);
        PostEvent(kEventConnecting, 0, 0);

        // The scheme gate.
        const bool web = m_scheme == "http" || (m_scheme == "https" && settings.EnableHttps);
        if (m_scheme == "ftp") {
            if (!m_ftpViaProxy) {
                m_ftp = MakeFtp();
                int stage = 0;
                std::string reply;
                if (m_ftp && !m_ftp->Connect(*this, url, stage, reply)) {
                    PostEvent(kEventConnectionError, stage, 0, reply);
                    ok = false;
                }
            }
        } else if (!web && m_scheme != "file") {
            ok = false;
        }
        if (!ok) m_lastResult = 2;
    } else {
        m_lastResult = 2;
    }

    // B. The series loop.
    if (ok) {
        std::int32_t tolerance = m_item.Tolerance;
        int dayIndex = 0;
        const bool perFile = IsPerFileCommand(m_item.Cmd);
        for (bool more = true; more;) {
            std::int32_t nextNum = 0;
            url = ExpandTemplate(m_item.Url, t, m_item.CurrentNum, true);
            if (!m_item.Referer.empty()) {
                const std::time_t refTime =
                    Now() - static_cast<std::time_t>(m_item.dayShift) * kDay;
                m_transfer.expandedReferer =
                    CapText(ExpandTemplate(m_item.Referer, refTime, m_item.CurrentNum, true), 300);
                m_prober->SetReferer(m_transfer.expandedReferer);
            }
            UrlParts p;
            if (SplitUrl(url, p, true)) {
                if (!p.user.empty()) m_item.UserName = p.user;
                if (!p.password.empty()) m_item.UserPsw = p.password;
            }
            m_transfer.userName = m_item.UserName;
            m_transfer.userPsw = m_item.UserPsw;
            m_transfer.urlFileName = UrlFileName(url);

            m_destIsFile = HasNamePart(ExpandTemplate(m_destTemplate, t, m_item.CurrentNum, true));
            m_transfer.destIsFile = m_destIsFile;
            macros.now = Now();
            std::string localPath = MakeLocalPath(m_item, t, "", macros);

            bool endSeries = false;
            int result = 0;
            const std::string folder = FolderOf(localPath);
            if (!folder.empty() && !CreateFolders(folder)) {
                PostEvent(kEventMkDirError, 0, 0, folder);
                result = 2;
                endSeries = true;
            } else {
                if (!m_destTemplate.empty() &&
                    (m_destTemplate.back() == '/' || m_destTemplate.back() == '\\')) {
                    const std::size_t dot = localPath.rfind('.');
                    const std::size_t slash = localPath.find_last_of('/');
                    if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
                        IStartsWith(std::string_view(localPath).substr(dot), ".shtm")) {
                        localPath = localPath.substr(0, dot) + ".htm";
                    }
                }
                result = FetchPass(url, localPath, m_anySuccess, nextNum);
            }
            m_lastResult = result;

            if (LimitReached()) break;

            if (result == 0) {
                m_lastLocalPath = localPath;
                bool deleteAfter = false;
                if (perFile) {
                    RunCommandLine(PerFileCommandLine(m_item.Cmd, localPath, deleteAfter),
                                   localPath);
                }
                if (m_item.CEType == 10 && !m_item.CEComeFrom.empty()) {
                    m_resultFiles.emplace_back(
                        localPath, static_cast<std::uint64_t>(FileSize(localPath).value_or(0)));
                }
                m_item.lastDL = Now();
                if (m_item.Upload && !m_item.UploadServer.empty()) {
                    auto uploader = MakeFtp();
                    if (uploader) uploader->Upload(*this, localPath);
                }
                if (deleteAfter) ::unlink(localPath.c_str());
            }

            // G. Series control.
            if (m_item.NumBased && m_item.StopNumber != 0 && nextNum > m_item.StopNumber) {
                endSeries = true;
            }
            if (result >= 2 && result != kResultSkipped) {
                if (m_item.NumBased) {
                    --tolerance;
                    if (tolerance < 0 || (m_item.StopNumber > 0 && nextNum >= m_item.StopNumber)) {
                        endSeries = true;
                    } else {
                        ++m_item.CurrentNum;  // the missing number is skipped
                    }
                } else if (m_item.days == 0) {
                    endSeries = true;
                }
            }
            if (m_item.Url.find('%') == std::string::npos) endSeries = true;
            if (result != kResultLimit) {
                if (m_item.NumBased) {
                    if ((result == 0 || result == kResultSkipped) && !endSeries) {
                        tolerance = m_item.Tolerance;
                        ++m_item.CurrentNum;
                        PostEvent(kEventSeriesAdvanced, m_item.CurrentNum, 0);
                    }
                } else {
                    t -= kDay;
                    if (m_item.interval == -1 || dayIndex++ >= m_item.days || Stopping() ||
                        m_item.UpdateMode == 0) {
                        endSeries = true;
                    }
                }
            }
            more = !endSeries && !Stopping();
        }
    }
    Finish();
}

int DownloadJob::FetchPass(std::string& url, std::string& localPath, bool& anySuccess,
                           std::int32_t& nextNum) {
    const AppSettings& settings = *m_env->settings;
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
        if (result == 0 || result == kResultSkipped) nextNum = m_item.CurrentNum + 1;
        return result;
    }

    result = FetchHttpWithRetries(url, localPath, m_item.ConType, m_item.nfsize, m_item.nfString,
                                  m_info, m_transfer, m_env->retryWait);
    if (result == 0 || result == kResultSkipped) nextNum = m_item.CurrentNum + 1;
    if (result <= 0) anySuccess = true;
    if (result == 0 && m_info.isHtml && m_env->pages) {
        m_env->pages->ProcessPage(*this, url, localPath, m_info);
    }
    return result;
}

void DownloadJob::RunCommandLine(const std::string& commandLine, const std::string& localPath) {
    const int run = RunJobCommand(commandLine, FolderOf(localPath), &stopRequest);
    PostEvent(kEventCommandRun, run, 0, commandLine);
}

void DownloadJob::Finish() {
    if (m_ftp && m_ftp->Connected()) m_ftp->Quit();
    if (!IsPerFileCommand(m_item.Cmd) && !m_item.Cmd.empty() && m_anySuccess &&
        m_lastResult != kResultLimit) {
        bool deleteAfter = false;
        const std::string line = FinalCommandLine(m_item.Cmd, m_lastLocalPath, deleteAfter);
        RunCommandLine(line, m_lastLocalPath);
        if (deleteAfter && !m_lastLocalPath.empty()) ::unlink(m_lastLocalPath.c_str());
    }
    m_transfer.session = nullptr;
    m_session.reset();
    if (!m_resultFiles.empty() && m_env->mailer) {
        const bool sent = m_env->mailer->SendResult(*this, m_item.CEComeFrom, m_resultFiles);
        PostEvent(kEventMailSent, sent ? 1 : 0, 0, m_item.CEComeFrom);
    }
    PostEvent(Stopping() ? kEventJobAborted : kEventJobFinished, m_rowIndex, 0);
    Wait(m_env->endWait);
}

}  // namespace kov
