#include "net/http/http_resource_fetch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "core/language/message_table.h"
#include "core/text/text_util.h"
#include "net/http/inet_util.h"
#include "net/http/proxy_send.h"
#include "net/http/response_headers.h"
#include "net/http/segmented_fetch.h"
#include "net/http/stub_scanner.h"
#include "net/transfer/transfer_job_util.h"
#include "platform/file_util.h"

namespace kov {

namespace {

bool IsWebScheme(const std::string& scheme, bool https) {
    return scheme == "http" || (https && scheme == "https");
}

// "404 Not Found": the status line after its protocol, or the bare number when the response
// gave no reason (HTTP/2 has none).
std::string StatusLineCause(const std::string& rawHeaders, int status) {
    const std::string line = rawHeaders.substr(0, rawHeaders.find_first_of("\r\n"));
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) return std::to_string(status);
    const std::string rest = line.substr(line.find_first_not_of(' ', space));
    return rest.find(' ') == std::string::npos ? std::to_string(status) : rest;
}

// What Request gives when the request is to go once more.
constexpr int kAskAgain = -1;
// What Request gives when the body is to come over several connections.
constexpr int kSegmented = -2;

constexpr int kMaxRedirects = 20;
// How often, in bytes written, the free space of the disk is looked at.
constexpr std::uint64_t kFreeSpaceEvery = 1 << 20;
// A body left unread up to this size is read to its end, so that the connection stays usable.
constexpr std::int64_t kDrainLimit = 65536;

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Size and time from one look at the file: a small file costs little more than its lookups.
// Whether an earlier run left it unfinished matters only to a job that keeps existing files.
LocalFileState LocalStateOf(const std::string& path, int updateMode) {
    LocalFileState state;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return state;
    state.exists = true;
    state.size = static_cast<std::int64_t>(st.st_size);
    state.time = st.st_mtime;
    state.incomplete = LeftUnfinished(updateMode, path);
    return state;
}

// A name the server chose makes no hidden file: a stranger's ".bashrc" must not land on the
// user's own when the destination is a home folder.
std::string UnhiddenName(std::string name) {
    for (char& c : name) {
        if (c != '.') break;
        c = '_';
    }
    return name;
}

std::string PartPath(const std::string& path, const TransferJob& job) {
    if (!job.distributed) return path;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%03lld", static_cast<long long>(job.partNo));
    return path + suffix;
}

// Whether the disk of path has room for size bytes; true when it cannot be told. A split file
// is made at its full size at once, with holes where the ranges go: one that cannot fit (or a
// size a server made up) would stand there at a size the disk never had, where one connection
// fills the disk as far as it goes, as any download does.
bool FitsDisk(const std::string& path, std::uint64_t size) {
    const std::string folder = FolderOf(path);
    struct statvfs disk {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &disk) != 0 || disk.f_frsize == 0)
        return true;
    return size / disk.f_frsize < static_cast<std::uint64_t>(disk.f_bavail);
}

}  // namespace

HttpResourceFetch::HttpResourceFetch(const std::string& url, std::string& localPath, int conType,
                                     int nfsize, const std::string& nfString, TransferJob& job)
    : m_url(url),
      m_localPath(localPath),
      m_conType(conType),
      m_nfsize(nfsize),
      m_nfString(nfString),
      m_job(job) {}

HttpResourceFetch::Origin HttpResourceFetch::OriginOf(const UrlParts& parts) {
    return {parts.scheme, ToLowerAscii(parts.host),
            parts.port != 0 ? parts.port : DefaultPort(parts.scheme)};
}

int HttpResourceFetch::Finish(int result) {
    m_request.reset();
    if (m_job.session) m_job.session->SetDeadline(nullptr);  // m_deadline goes with this object
    const std::int64_t deadline = m_deadline.load();
    if (result != kResultOk && m_job.boundHit == FetchBound::None && deadline != 0 &&
        std::chrono::steady_clock::now().time_since_epoch() >= std::chrono::nanoseconds(deadline)) {
        m_job.boundHit = FetchBound::Time;
        m_job.errorText = GetString(EventCode::RipResourceTimedOut);
    }
    const std::string& url = m_current.empty() ? m_url : m_current;
    // A refused portion says why before its result.
    if (result == kResultNoPartSize) Post(m_job, kEventDistrNoResume, 0, 0, url, m_localPath);
    if (result == kResultPartChanged) Post(m_job, kEventDistrFileChanged, 0, 0, url, m_localPath);
    Post(m_job, kEventFileResult, result, m_job.lastError, url, m_localPath);
    if (m_stub) Post(m_job, kEventStubDeleted, kResultStub, 0, m_localPath);
    return result;
}

std::string HttpResourceFetch::LocalPathForHop(bool redirected) const {
    if (!m_pinnedPath.empty()) return m_pinnedPath;
    if (redirected && !m_job.destIsFile && !m_job.urlFileName.empty())
        return FolderOf(m_localPath) + m_job.urlFileName;
    return m_localPath;
}

// What to ask for, from the local copy alone: its last byte on (so that an unchanged complete
// copy costs one byte), or a part's range, or everything.
void HttpResourceFetch::PlanRequest() {
    m_askedFrom = -1;
    m_localLooked = PartPath(m_localPath, m_job);
    m_local = LocalStateOf(m_localLooked, m_job.updateMode);
    if (m_job.distributed) {
        RemoteFileState assumed;
        assumed.hasSize = true;
        assumed.size = static_cast<std::uint64_t>(std::max<std::int64_t>(m_job.fileSize, 0));
        m_plan = PlanFetch(m_job.updateMode, m_local, assumed,
                           {true, m_job.fileSize, m_job.partCount, m_job.partSize, m_job.partNo});
        if (m_plan.action == FetchAction::Part) m_askedFrom = m_plan.offset;
        return;
    }
    if (m_job.updateMode != 1 && !m_noRange && m_local.exists && m_local.size > 0)
        m_askedFrom = m_local.size - 1;
    m_validators.reset();
    if (m_job.conditional && m_job.updateMode == 0 && m_local.exists) {
        m_validators = ReadKeptValidators(m_localPath);
        if (m_validators && !CopyIsFinal(*m_validators)) m_validators.reset();
    }
}

// A copy may be asked about when it is what this job makes of the file: as delivered for a
// file it keeps so, rewritten to the end for one it rewrites (never one whose rewrite is due).
bool HttpResourceFetch::CopyIsFinal(const KeptValidators& kept) const {
    using Copy = KeptValidators::Copy;
    if (kept.copy == Copy::Pending) return false;
    const Rewrite rewrite =
        m_job.rewriteOf ? m_job.rewriteOf(m_current, m_localPath, kept.html) : Rewrite::None;
    return (kept.copy == Copy::Rewritten) == (rewrite != Rewrite::None);
}

// The range of the plan, and the validators of a complete local copy.
std::string HttpResourceFetch::RequestHeaders() const {
    std::string headers;
    if (m_askedFrom >= 0) {
        headers = "Range: bytes=" + std::to_string(m_askedFrom) + "-";
        if (m_job.distributed) {
            headers += std::to_string(m_plan.offset + m_plan.expected - 1);
        } else if (m_askedFrom > 0 && m_local.time % 2 != 0) {
            // A changed file comes back whole. Only an odd time is surely the server's own: an
            // even one may be an older copy's, rounded down, which no server would match; then
            // the response's headers decide, and a changed file costs a second request. A page
            // the rules edit carries the server's time shifted (PlanFetch): the copy is complete
            // when the server still has that time, and any other copy is to be replaced.
            const bool settled = m_job.rewriteOf &&
                                 m_job.rewriteOf(m_current, m_localPath, true) == Rewrite::Settled;
            headers +=
                "\nIf-Range: " + FormatHttpTime(m_local.time - (settled ? kRewrittenShift : 0));
        }
    }
    // An unchanged copy then costs no byte of the body (304).
    if (m_validators) {
        if (!headers.empty()) headers += '\n';
        headers += ConditionalHeaders(*m_validators);
    }
    return headers;
}

int HttpResourceFetch::SendOne(const UrlParts& parts) {
    m_connection = Connect(parts);
    if (!m_connection) return kResultNoConnection;
    const std::string object = parts.object.empty() ? "/" : parts.object;
    m_request = m_connection->OpenRequest(
        object, m_job.expandedReferer,
        kRequestNoRedirect | (m_job.noCache ? kRequestNoCache : 0u) |
            (m_job.acceptCompressed && m_askedFrom < 0 ? kRequestCompressed : 0u));
    const std::string headers = m_request ? RequestHeaders() : std::string();
    if (!headers.empty()) m_request->AddRequestHeaders(headers, true);
    const ProxySend sent = m_request ? SendThroughProxy(*m_request, m_job.proxyUser, m_job.proxyPsw)
                                     : ProxySend::NotSent;
    if (sent == ProxySend::NotSent) {
        m_job.errorText = m_request ? m_request->ErrorText() : "cannot open the request";
        m_job.lastError = kStatusClientError;
        // A server too slow to finish its headers is as broken as one that stops in the body.
        const bool tooSlow = m_request && m_request->ErrorCode() == kErrorTooSlow;
        m_request.reset();
        if (StopLevel(m_job) >= 2) return kResultStopped;
        return tooSlow ? kResultBroken : kResultRefused;
    }
    if (sent == ProxySend::NoCredentials) return kResultNoConnection;
    if (sent == ProxySend::CredentialsFailed) {
        m_job.errorText = "Setting cfg.Proxy Password error:" + std::to_string(errno);
        return kResultProxyPassword;
    }
    m_status = m_request->StatusCode();
    m_job.lastError = m_status;
    return kResultOk;
}

int HttpResourceFetch::SendFollowingRedirects() {
    m_current = m_url;
    for (int hop = 0;; ++hop) {
        UrlParts parts;
        if (!SplitUrl(m_current, parts, false) || !IsWebScheme(parts.scheme, m_job.enableHttps)) {
            // Nothing is sent to an address that is not the web's (a redirect's included).
            if (hop > 0) m_job.errorText = "redirected to an address that is not http(s)";
            return kResultNotHttp;
        }
        if (!m_origin) m_origin = OriginOf(parts);
        if (hop > 0) m_localPath = LocalPathForHop(true);
        PlanRequest();
        if (m_job.distributed && m_plan.action != FetchAction::Part) return m_plan.result;
        // A file kept whatever the server has, under a name no response can change.
        if (m_job.updateMode == 2 && m_job.destIsFile && m_local.exists && !m_local.incomplete)
            return kResultSkipped;
        if (StopLevel(m_job) >= 2) return kResultStopped;
        const int sent = SendOne(parts);
        if (sent != kResultOk) return sent;
        if (!IsRedirect(m_status)) return kResultOk;
        ResourceInfo moved;
        ParseResponseHeaders(m_request->RawHeaders(), moved, true);
        if (!(moved.flags & kHasLocation)) return kResultOk;
        if (hop >= kMaxRedirects) {
            m_job.errorText = "too many redirects";
            return kResultRefused;
        }
        auto next = CombineUrl(m_current, moved.finalUrl);
        if (!next) return kResultRefused;
        if (m_job.redirectAllowed && !m_job.redirectAllowed(*next)) {
            m_job.boundHit = FetchBound::Redirect;
            m_job.errorText = GetString(EventCode::RipRedirectOffSite) + " " + *next;
            return kResultRefused;
        }
        m_request.reset();
        m_current = *next;
        // The name in the address asked for is the caller's choice; a new one the server's.
        std::string name = FileNameOfUrl(m_current);
        m_job.urlFileName = name == FileNameOfUrl(m_url) ? name : UnhiddenName(name);
    }
}

int HttpResourceFetch::ReadResponse() {
    if (m_status != 200 && m_status != 206) {
        m_job.errorText = StatusLineCause(m_request->RawHeaders(), m_status);
        return kResultRefused;
    }
    ParseResponseHeaders(m_request->RawHeaders(), m_info, false);
    m_info.status = m_status;
    m_delivered = ValidatorsOfResponse(m_request->RawHeaders());
    m_bodyLength =
        (m_info.flags & kHasLength) && m_info.size <= static_cast<std::uint64_t>(INT64_MAX)
            ? static_cast<std::int64_t>(m_info.size)
            : -1;
    m_range.reset();
    if (m_status == 206) {
        m_range = ParseContentRange(m_request->RawHeaders());
        if (!m_range) return kResultBroken;
        // The size of the whole resource, not of the range that came.
        if (m_range->total >= 0) {
            m_info.size = static_cast<std::uint64_t>(m_range->total);
            m_info.flags |= kHasLength;
        } else {
            m_info.flags &= ~kHasLength;
        }
    }
    if (m_info.flags & kHasFileName && !m_job.destIsFile) {
        m_localPath = FolderOf(m_localPath) + UnhiddenName(m_info.fileName);
    }
    return kResultOk;
}

int HttpResourceFetch::CheckContent() const {
    if (m_conType != 0 && m_conType != m_info.category) return kResultWrongType;
    if ((m_info.flags & kHasLength) && m_info.isHtml && m_nfsize != 0 &&
        m_info.size < static_cast<std::uint64_t>(m_nfsize))
        return kResultStub;
    return kResultOk;
}

// The response must carry what the plan needs; when it does not (a range of a changed file,
// a name that came only with the response), the caller asks once more.
bool HttpResourceFetch::ResponseFitsPlan() {
    m_overlap = false;
    const std::int64_t start = m_range ? m_range->start : 0;
    const std::int64_t length =
        (m_info.flags & kHasLength) ? static_cast<std::int64_t>(m_info.size) : -1;
    switch (m_plan.action) {
        case FetchAction::Part:
            m_writeFrom = m_plan.fileOffset;
            m_remaining = m_plan.expected;
            return m_range && start == m_plan.offset;
        case FetchAction::Resume:
            // From our last byte on (checked against the copy) or from the first missing one.
            if (m_range && (start == m_plan.fileOffset || start == m_plan.fileOffset - 1)) {
                m_overlap = start < m_plan.fileOffset;
                m_writeFrom = m_plan.fileOffset;
                m_remaining = length >= 0 ? length - m_plan.fileOffset : -1;
                return true;
            }
            m_plan.action = FetchAction::Whole;
            [[fallthrough]];
        default:
            m_writeFrom = 0;
            m_remaining = length;
            return start == 0;
    }
}

// The byte before the rest must be the one the local copy ends with: a server time alone does
// not prove that the copy is a prefix of this file.
bool HttpResourceFetch::OverlapMatches() {
    if (!m_overlap) return true;
    char got = 0;
    if (m_request->Read(&got, 1) != 1) return false;
    const int fd = ::open(m_localPath.c_str(), O_RDONLY | O_CLOEXEC);
    char held = 0;
    const bool read =
        fd >= 0 && ::pread(fd, &held, 1, static_cast<off_t>(m_plan.fileOffset - 1)) == 1;
    if (fd >= 0) ::close(fd);
    return read && held == got;
}

void HttpResourceFetch::LogResource() {
    if (m_job.logDetail <= 1) return;
    char text[160];
    std::snprintf(text, sizeof text, "http Resource:%u, content-type:%s, Size:%llu", m_info.flags,
                  m_info.contentType.c_str(), static_cast<unsigned long long>(m_info.size));
    Post(m_job, kEventMessage, 1, 0, text);
}

// Reads what is left of a small body to its end, so that the connection can serve the next
// request; a large one is cut off with its connection.
void HttpResourceFetch::DrainOrClose() {
    if (m_request && m_bodyLength >= 0 && m_bodyLength <= kDrainLimit) {
        char sink[4096];
        std::int64_t budget = kDrainLimit;
        long n;
        while (budget > 0 && (n = m_request->Read(sink, sizeof sink)) > 0)
            budget -= n;
    }
    m_request.reset();
}

int HttpResourceFetch::OpenLocalFile(int& fd) {
    const bool resuming = m_writeFrom > 0;
    // A file that was not there when the request was planned is made anew: a file this open
    // creates carries no validators, so there are none to drop. Should one have come meanwhile,
    // the open fails and the one below takes it over.
    const bool fresh = !resuming && !m_local.exists;
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (resuming ? 0 : O_TRUNC);
    fd = ::open(m_localPath.c_str(), fresh ? flags | O_EXCL : flags, 0644);
    // The job has made the folder already; only a caller that has not pays for making it.
    if (fd < 0 && errno == ENOENT) {
        const std::string folder = FolderOf(m_localPath);
        if (!folder.empty() && CreateFolders(folder))
            fd = ::open(m_localPath.c_str(), fresh ? flags | O_EXCL : flags, 0644);
    }
    const bool created = fd >= 0 && fresh;
    m_created = created;
    if (fd < 0 && fresh && errno == EEXIST) fd = ::open(m_localPath.c_str(), flags, 0644);
    if (fd < 0) return WriteFailure(m_job);
    // Whatever comes, the copy is no longer the one its validators describe: the mark takes
    // their place.
    MarkIncomplete(fd, created);
    if (resuming && (::lseek(fd, static_cast<off_t>(m_writeFrom), SEEK_SET) < 0 ||
                     ::ftruncate(fd, static_cast<off_t>(m_writeFrom)) != 0)) {
        const int result = WriteFailure(m_job);
        ::close(fd);
        fd = -1;
        return result;
    }
    return kResultOk;
}

// A slow but steady resource gets more time as its bytes come; a stalled one does not.
void HttpResourceFetch::MoveDeadline() {
    if (m_start.time_since_epoch().count() == 0) m_start = std::chrono::steady_clock::now();
    const auto end =
        m_start + m_job.timeAllowed + std::chrono::seconds(m_received / TransferJob::kMinRate);
    m_deadline =
        std::chrono::duration_cast<std::chrono::nanoseconds>(end.time_since_epoch()).count();
}

// A body beyond the size cap, or one that would leave the disk nearly full, is not written on.
int HttpResourceFetch::CheckBounds(int fd, std::size_t adding) {
    const std::int64_t total = m_writeFrom + static_cast<std::int64_t>(m_received + adding);
    const std::int64_t announced = m_remaining >= 0 ? m_writeFrom + m_remaining : -1;
    if (m_job.maxBytes > 0 && (total > m_job.maxBytes || announced > m_job.maxBytes)) {
        m_job.boundHit = FetchBound::Size;
        m_job.errorText =
            GetString(EventCode::RipResourceTooLarge) + " (" + std::to_string(m_job.maxBytes) + ")";
        return kResultRefused;
    }
    if (m_job.minFreeBytes == 0 || m_received + adding < m_nextSpaceCheck) return kResultOk;
    m_nextSpaceCheck = m_received + adding + kFreeSpaceEvery;
    struct statvfs disk {};
    if (::fstatvfs(fd, &disk) == 0 &&
        static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < m_job.minFreeBytes) {
        m_job.boundHit = FetchBound::Disk;
        m_job.errorText = GetString(EventCode::RipDiskNearlyFull);
        return kResultDiskFull;
    }
    return kResultOk;
}

long HttpResourceFetch::Read(char* buffer, std::size_t count) {
    const long n = m_request->Read(buffer, count);
    if (n < 0) {
        m_job.errorText = m_request->ErrorText();
        m_job.lastError = m_request->ErrorCode();
    }
    return n;
}

int HttpResourceFetch::Check(const char* data, std::size_t count) {
    if (m_scanner.Found(data, count)) {
        m_stub = true;
        return kResultStub;
    }
    return CheckBounds(m_fd, count);
}

void HttpResourceFetch::Written(std::size_t count) {
    m_received += count;
    if (m_deadline.load() != 0) MoveDeadline();
    if (m_remaining >= 0) m_remaining -= static_cast<std::int64_t>(count);
}

int HttpResourceFetch::ReadBlocks(int fd) {
    m_fd = fd;
    m_scanner = StubScanner(m_info.isHtml ? m_nfString : std::string());
    const int bounded = CheckBounds(fd, 0);
    if (bounded != kResultOk) return bounded;
    // A part ends where the plan says; what the server sends beyond it is not ours.
    const bool part = m_plan.action == FetchAction::Part;
    const TransferPump::Outcome moved =
        PumpOf(m_job).Run(*this, fd, {m_remaining, !part, m_plan.total});
    switch (moved.end) {
        case TransferPump::End::WriteFailed:
            return WriteFailure(m_job, moved.error);
        case TransferPump::End::CutShort:
            // The part that arrived is kept and stamped with the server's time, so that the
            // retry (or the next run) resumes it.
            m_job.errorText = "connection closed before the end of the resource";
            break;
        case TransferPump::End::TooLong:
            m_job.errorText = "more data than the response announced";
            break;
        case TransferPump::End::Complete:
            if (part) {
                // One more read lets the client see the end, so the connection can be reused.
                char end;
                m_request->Read(&end, 1);
            }
            break;
        default:
            break;
    }
    return moved.result;
}

int HttpResourceFetch::ReceiveBody() {
    const std::int64_t expected = m_plan.total;
    Post(m_job, kEventFileStarted, expected, m_writeFrom, m_current, m_localPath);
    int fd = -1;
    const int opened = OpenLocalFile(fd);
    if (opened != kResultOk) return opened;
    if (m_writeFrom > 0) Post(m_job, kEventResumed, m_writeFrom, expected);
    const std::uint64_t before = m_received;
    int result = ReadBlocks(fd);
    // Time and validators go on through the open file, which saves looking its path up three
    // times more: felt with many small files. Keeping the validators ends the mark with the
    // same write; a file that keeps none loses the mark alone. A page is judged first
    // (CheckDeliveredPage).
    const std::optional<std::time_t> stamp = StampServerTime(fd);
    if (result == kResultOk) {
        m_kept = !m_info.isHtml;
        // A file this open made holds exactly the bytes written, and the time just set (every
        // file system keeps whole seconds of this range as they are): no need to look at it
        // again.
        const bool known = m_created && m_writeFrom == 0 && stamp && *stamp >= 0 &&
                           *stamp <= std::numeric_limits<std::int32_t>::max();
        const auto written = static_cast<std::int64_t>(m_received - before);
        const bool kept =
            m_kept && (known ? KeepDelivered(fd, *stamp, written) : KeepDelivered(fd));
        if (!kept) ClearIncomplete(fd);
    }
    if (::close(fd) != 0 && result == kResultOk) {
        result = WriteFailure(m_job);
        // Not complete after all: nothing may take it for the copy the validators describe.
        DropKeptValidators(m_localPath);
    }
    return result;
}

// The server's exact time, so that If-Range of the next run can name it.
std::optional<std::time_t> HttpResourceFetch::ServerTime() const {
    if (!(m_info.flags & kHasLastModified)) return std::nullopt;
    return ParseHttpTime(m_info.lastModifiedText).value_or(m_info.lastModified);
}

void HttpResourceFetch::StampServerTime() {
    if (const auto stamp = ServerTime()) SetFileTimes(m_localPath, *stamp, *stamp);
}

std::optional<std::time_t> HttpResourceFetch::StampServerTime(int fd) {
    const auto stamp = ServerTime();
    if (!stamp || !SetFileTimes(fd, *stamp, *stamp)) return std::nullopt;
    return stamp;
}

KeptValidators HttpResourceFetch::Delivered() const {
    KeptValidators delivered = m_delivered;
    delivered.html = m_info.isHtml != 0;
    delivered.copy = m_rewrite == Rewrite::None ? KeptValidators::Copy::Delivered
                                                : KeptValidators::Copy::Pending;
    return delivered;
}

// The file is whole: the next run may ask whether it changed, once the job has rewritten what
// it rewrites. A part of a distributed file is no copy of the file.
bool HttpResourceFetch::KeepDelivered(int fd) const {
    if (m_job.distributed) return false;
    return fd >= 0 ? KeepValidators(fd, Delivered()) : KeepValidators(m_localPath, Delivered());
}

bool HttpResourceFetch::KeepDelivered(int fd, std::time_t time, std::int64_t size) const {
    return !m_job.distributed && KeepValidators(fd, Delivered(), time, size);
}

// Several connections need ranges, a known size and a validator that If-Range can name; the
// bounded resources of a page and its pages keep to one.
bool HttpResourceFetch::SegmentsAllowed() {
    m_validator = RangeValidator(m_request->RawHeaders());
    return !m_noSegments && !m_job.distributed && m_job.maxBytes == 0 &&
           m_job.timeAllowed.count() == 0 && !m_info.isHtml && (m_info.flags & kHasLength) &&
           (m_info.acceptRanges || m_status == 206) && !m_validator.empty() &&
           CheckContent() == kResultOk;
}

// A state file beside the file: the earlier run goes on when it was for this very file; else
// what it left is no copy of anything and goes.
bool HttpResourceFetch::ResumesSegments() {
    m_resume.reset();
    if (m_job.distributed) return false;
    // States are written for bodies of two segments or more only, so a smaller body can never
    // go on from one; with no file here either there is nothing to clear away but a state that
    // lost its file, and that goes (with the file) when the file is next fetched. Not looking saves
    // a lookup of a name that is not there per small file.
    const bool small = !(m_info.flags & kHasLength) ||
                       m_info.size < 2 * static_cast<std::uint64_t>(SegmentedFetch::kMinSegment);
    if (small && !m_local.exists && m_localLooked == m_localPath) return false;
    const std::string statePath = SegmentStatePath(m_localPath);
    if (!FileSize(statePath)) return false;
    auto state = LoadSegmentState(statePath);
    if (state && SegmentsAllowed() && state->size == static_cast<std::int64_t>(m_info.size) &&
        state->validator == m_validator && FileSize(m_localPath) == state->size) {
        m_resume = std::move(state);
        return true;
    }
    ::unlink(m_localPath.c_str());
    ::unlink(statePath.c_str());
    m_localLooked.clear();
    return false;
}

std::unique_ptr<HttpConnection> HttpResourceFetch::Connect(const UrlParts& parts) {
    const bool sameOrigin = m_origin && *m_origin == OriginOf(parts);
    return m_job.session->GetHttpConnection(
        parts.host, parts.port, sameOrigin ? m_job.userName : std::string(),
        sameOrigin ? m_job.userPsw : std::string(), parts.scheme == "https");
}

int HttpResourceFetch::RunSegments() {
    m_request.reset();
    UrlParts parts;
    if (!SplitUrl(m_current, parts, false)) return kResultNotHttp;
    const auto size = static_cast<std::int64_t>(m_info.size);
    SegmentedFetch fetch(
        m_job, {m_current, m_localPath, size, m_validator, std::max(m_job.connections, 1)});
    // The connections' requests watch the fetch's flag, which follows the job's.
    m_job.session->SetStopFlag(fetch.StopFlag());
    const std::unique_ptr<HttpConnection> connection = Connect(parts);
    m_job.session->SetStopFlag(m_job.stopRequest);
    if (!connection) return kResultNoConnection;
    const std::string object = parts.object.empty() ? "/" : parts.object;
    const unsigned flags = kRequestNoRedirect | (m_job.noCache ? kRequestNoCache : 0u);
    const int result =
        fetch.Run([&] { return connection->OpenRequest(object, m_job.expandedReferer, flags); },
                  m_resume ? &m_resume->missing : nullptr);
    m_received = static_cast<std::uint64_t>(fetch.Fetched());
    if (result == kResultOk) StampServerTime();
    if (result == kResultPartChanged) {
        ::unlink(m_localPath.c_str());
        ::unlink(SegmentStatePath(m_localPath).c_str());
    }
    return result;
}

// The body of an accepted response, or of a file too large for one connection.
int HttpResourceFetch::Deliver(int answer) {
    if (answer == kSegmented) {
        const int result = RunSegments();
        if (result != kResultPartChanged) return result;
        // The file changed on the server, or the server's ranges cannot be trusted: it comes
        // again, whole, over one connection.
        m_noSegments = true;
        m_job.errorText.clear();
        answer = Request(1);
        if (answer == kAskAgain) return kResultBroken;
    }
    return answer == kResultOk ? ReceiveBody() : answer;
}

// The finished file is judged, not the bytes of this run: a resumed page holds more.
int HttpResourceFetch::CheckDeliveredPage() {
    if (!m_info.isHtml) return kResultOk;
    if ((m_nfsize != 0 && FileSize(m_localPath).value_or(0) < m_nfsize) ||
        FileContains(m_localPath, m_nfString)) {
        m_stub = true;
        return kResultStub;
    }
    return kResultOk;
}

// The plan from the response and the local copy, and whether the response is to be received.
int HttpResourceFetch::PlanFromResponse() {
    RemoteFileState remote;
    remote.hasSize = (m_info.flags & kHasLength) != 0;
    remote.size = m_info.size;
    remote.hasTime = (m_info.flags & kHasLastModified) != 0;
    remote.time = m_info.lastModified;
    // The look before the request still holds unless the response named another file.
    if (const std::string path = PartPath(m_localPath, m_job); path != m_localLooked) {
        m_localLooked = path;
        m_local = LocalStateOf(path, m_job.updateMode);
    }
    m_rewrite = m_job.rewriteOf && !m_job.distributed
                    ? m_job.rewriteOf(m_current, m_localPath, m_info.isHtml != 0)
                    : Rewrite::None;
    m_plan = PlanFetch(
        m_job.updateMode, m_local, remote,
        {m_job.distributed, m_job.fileSize, m_job.partCount, m_job.partSize, m_job.partNo},
        m_rewrite);
    m_localPath = PartPath(m_localPath, m_job);
    int verdict = m_plan.action == FetchAction::Skip ? kResultSkipped : CheckContent();
    if (verdict == kResultOk && m_plan.action == FetchAction::Fail) verdict = m_plan.result;
    return verdict;
}

// The request goes once more, for the file at path; with whole, for all of it.
int HttpResourceFetch::AskAgain(std::string path, bool whole) {
    m_request.reset();
    m_pinnedPath = std::move(path);
    if (whole) m_job.updateMode = 1;
    return kAskAgain;
}

// Whether the body can be written as planned: kResultOk, kAskAgain, or the result that ends the
// fetch.
int HttpResourceFetch::AcceptBody(int attempt) {
    const bool fits = ResponseFitsPlan();
    if (fits && !OverlapMatches()) {
        // Not a prefix of this file after all: it comes again, whole.
        return attempt > 0 ? kResultBroken : AskAgain(m_localPath, true);
    }
    if (fits) return kResultOk;
    if (m_plan.action == FetchAction::Part) {
        // A part cannot start over at the file's beginning.
        m_request.reset();
        return kResultNoPartSize;
    }
    if (attempt > 0) return kResultBroken;
    return AskAgain(m_job.distributed ? std::string() : m_localPath, true);
}

// One request and its response up to the body: kResultOk, kAskAgain, or the result that ends
// the fetch.
int HttpResourceFetch::Request(int attempt) {
    const int sent = SendFollowingRedirects();
    if (sent != kResultOk) return sent;
    if (m_status == 304 && m_validators) {
        // Not modified since the complete copy we hold: up to date, and nothing to read.
        m_info.status = 304;
        m_bodyLength = 0;
        DrainOrClose();
        return kResultSkipped;
    }
    if (m_status == 416 && m_askedFrom > 0 && attempt == 0) {
        // The copy we hold is longer than the server's: ask for all of it, and let the update
        // mode decide on that answer (an edited page may well be up to date).
        m_noRange = true;
        return AskAgain(m_localPath, false);
    }
    const std::string asked = m_localPath;
    const int read = ReadResponse();
    if (read != kResultOk) return read;
    LogResource();
    // The server named the file only now; the range was for another one.
    if (m_localPath != asked && m_askedFrom >= 0 && attempt == 0)
        return AskAgain(m_localPath, false);
    if (ResumesSegments()) return kSegmented;
    const int verdict = PlanFromResponse();
    if (verdict != kResultOk) {
        DrainOrClose();
        return verdict;
    }
    const bool large = m_info.size >= 2 * static_cast<std::uint64_t>(SegmentedFetch::kMinSegment);
    if (m_plan.action == FetchAction::Whole && m_job.connections > 1 && large &&
        FitsDisk(m_localPath, m_info.size) && SegmentsAllowed())
        return kSegmented;
    return AcceptBody(attempt);
}

void HttpResourceFetch::Prepare() {
    if (m_job.buffer.size() < TransferJob::kBufferSize)
        m_job.buffer.resize(TransferJob::kBufferSize);
    m_job.session->SetStopFlag(m_job.stopRequest);
    if (m_job.timeAllowed.count() > 0) {
        MoveDeadline();
        m_job.session->SetDeadline(&m_deadline);
    }
}

int HttpResourceFetch::Run() {
    m_job.errorText.clear();
    m_job.boundHit = FetchBound::None;
    if (m_job.banned && m_job.banned(m_url)) return Finish(kResultBanned);
    if (!m_job.session) {
        UrlParts parts;
        return Finish(SplitUrl(m_url, parts, false) && IsWebScheme(parts.scheme, m_job.enableHttps)
                          ? kResultNoSession
                          : kResultNotHttp);
    }
    Prepare();
    // At most one more request: when the answer was for another copy than the one to write.
    int answer = Request(0);
    if (answer == kAskAgain) answer = Request(1);
    if (answer != kResultOk && answer != kSegmented) return Finish(answer);
    int result = Deliver(answer);
    if (result == kResultOk) result = CheckDeliveredPage();
    if (result == kResultOk && !m_kept) KeepDelivered(-1);
    // Nothing of a resource that went beyond its bounds is kept.
    const bool overBound = m_job.boundHit == FetchBound::Size || m_job.boundHit == FetchBound::Disk;
    if (m_stub || overBound) ::unlink(m_localPath.c_str());
    return Finish(result);
}

}  // namespace kov
