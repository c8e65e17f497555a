#include "net/http/segmented_fetch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "core/text/text_util.h"
#include "net/http/proxy_send.h"
#include "net/http/response_headers.h"
#include "net/transfer/traffic_meter.h"
#include "net/transfer/transfer_job_util.h"
#include "platform/file_util.h"

namespace kov {

namespace {

using namespace std::chrono_literals;

// A rest of twice this is shared with an idle connection.
constexpr std::int64_t kMinSteal = 1 << 20;
// A smaller rest goes whole to an idle connection when its own would need longer than this.
constexpr std::int64_t kSlowMs = 3000;
// Failures one connection takes before it leaves the rest to the others.
constexpr int kRetries = 3;
constexpr auto kReportEvery = 100ms;
// How often an idle connection looks again at a rest too small to share, which it takes over
// whole once that rest's connection turns out slow.
constexpr auto kLookAgain = 200ms;
constexpr auto kSaveEvery = 1s;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A failure that no retry mends: every connection ends with it.
bool Fatal(int result) {
    return result == kResultPartChanged || result == kResultRefused ||
           result == kResultWriteError || result == kResultDiskFull || result == kResultLimit ||
           result == kResultStopped;
}

}  // namespace

std::string RangeValidator(std::string_view rawHeaders) {
    // A weak ETag may not be named by If-Range.
    const std::string_view etag = HeaderValue(rawHeaders, "etag").value_or("");
    if (etag.size() >= 2 && etag.front() == '"') return std::string(etag);
    return std::string(HeaderValue(rawHeaders, "last-modified").value_or(""));
}

SegmentedFetch::SegmentedFetch(TransferJob& job, Target target)
    : m_job(job), m_target(std::move(target)) {}

SegmentedFetch::~SegmentedFetch() {
    if (m_fd >= 0) ::close(m_fd);
}

void SegmentedFetch::Failed(int result, std::string_view text) {
    std::lock_guard lock(m_mutex);
    if (m_errorText.empty() || Fatal(result)) m_errorText = text;
    if (Fatal(result) && m_fatal == kResultOk) m_fatal = result;
    if (!Fatal(result)) m_lastFailure = result;
}

std::unique_ptr<HttpRequest> SegmentedFetch::Send(std::int64_t from, std::int64_t end,
                                                  int& result) {
    std::unique_ptr<HttpRequest> request;
    {
        std::lock_guard lock(m_openMutex);
        request = m_open();
    }
    result = kResultBroken;
    if (!request) return nullptr;
    request->AddRequestHeaders("Range: bytes=" + std::to_string(from) + "-" +
                                   std::to_string(end - 1) + "\nIf-Range: " + m_target.validator,
                               true);
    // A 407 that cannot be answered is checked as the response it is: refused.
    if (SendThroughProxy(*request, m_job.proxyUser, m_job.proxyPsw) == ProxySend::NotSent) {
        Failed(kResultBroken, request->ErrorText());
        if (m_stop.load() >= 2) result = kResultStopped;
        return nullptr;
    }
    result = CheckResponse(*request, from);
    return request;
}

// The response must be the asked range of the same file.
int SegmentedFetch::CheckResponse(HttpRequest& request, std::int64_t from) {
    const int status = request.StatusCode();
    const std::string raw = request.RawHeaders();
    if (status == 200) {
        // If-Range did not hold: the whole of another file is on its way.
        Failed(kResultPartChanged, "the file changed on the server");
        return kResultPartChanged;
    }
    if (status >= 400 && status < 500) {
        // The file itself came: a server that refuses a range of it cannot be split, and the
        // file comes whole over one connection instead, as it does when it changed.
        Failed(kResultPartChanged, "HTTP " + std::to_string(status) + " for a range");
        return kResultPartChanged;
    }
    if (status != 206) {
        Failed(kResultBroken, "HTTP " + std::to_string(status) + " for a range");
        return kResultBroken;
    }
    const auto range = ParseContentRange(raw);
    const std::string validator = RangeValidator(raw);
    const bool sameFile =
        m_target.validator.front() != '"' || validator.empty() || validator == m_target.validator;
    if (!range || range->total != m_target.size || !sameFile) {
        Failed(kResultPartChanged, "the file changed on the server");
        return kResultPartChanged;
    }
    if (range->start != from) {
        // Nor can one that answers with other ranges than the ones asked for.
        Failed(kResultPartChanged, "the server sent another range than the one asked for");
        return kResultPartChanged;
    }
    return kResultOk;
}

int SegmentedFetch::WriteBlock(std::size_t index, const char* data, std::int64_t count,
                               bool& ended) {
    std::int64_t offset = 0;
    std::int64_t take = 0;
    {
        std::lock_guard lock(m_mutex);
        take = m_plan.Claim(index, count, &offset);
    }
    for (std::int64_t written = 0; written < take;) {
        const ssize_t n = ::pwrite(m_fd, data + written, static_cast<std::size_t>(take - written),
                                   static_cast<off_t>(offset + written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            std::lock_guard lock(m_mutex);
            if (m_fatal == kResultOk) m_fatal = WriteFailure(m_job, error);
            m_errorText = m_job.errorText;
            return m_fatal;
        }
        written += n;
    }
    std::lock_guard lock(m_mutex);
    m_plan.Commit(index, take);
    ended = m_plan.Segments()[index].Unclaimed() == 0;
    // The watch reports progress on its own clock; it is woken for a range's end only, which
    // may complete the file (a wake-up per block cost thousands a second).
    if (ended) m_changed.notify_all();
    return kResultOk;
}

int SegmentedFetch::Receive(HttpRequest& request, std::size_t index, std::vector<char>& buffer) {
    TrafficMeter& meter = Meter(m_job);
    for (bool ended = false; !ended;) {
        if (m_stop.load() >= 2) return kResultStopped;
        if (LimitReached(m_job)) {
            Failed(kResultLimit, {});
            return kResultLimit;
        }
        const std::size_t want = std::min(meter.PacketSize(m_job.isLocal), buffer.size());
        const long n = request.Read(buffer.data(), want);
        if (n <= 0) {
            if (m_stop.load() >= 2) return kResultStopped;
            Failed(kResultBroken,
                   n < 0 ? request.ErrorText() : "connection closed before the end of the range");
            return kResultBroken;
        }
        const int written = WriteBlock(index, buffer.data(), n, ended);
        if (written != kResultOk) return written;
        MeterBlock(meter, static_cast<std::uint64_t>(n), m_job.isLocal, m_stop);
    }
    return kResultOk;
}

int SegmentedFetch::FetchRange(std::size_t index, std::vector<char>& buffer) {
    std::int64_t from = 0;
    std::int64_t end = 0;
    {
        std::lock_guard lock(m_mutex);
        const SegmentPlan::Segment& s = m_plan.Segments()[index];
        from = s.start + s.claimed;
        end = s.end;
    }
    if (from >= end) return kResultOk;
    int result = kResultOk;
    std::unique_ptr<HttpRequest> request = Send(from, end, result);
    if (result != kResultOk) return result;
    return Receive(*request, index, buffer);
}

// One connection: takes ranges until none is left or a failure ends it.
void SegmentedFetch::Work() {
    std::vector<char> buffer(TransferJob::kBufferSize);
    for (int failures = 0;;) {
        std::optional<std::size_t> index;
        bool later = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_fatal != kResultOk || m_stop.load() >= 2) break;
            const std::size_t before = m_plan.Segments().size();
            index = m_plan.Take({kMinSteal, NowMs(), kSlowMs});
            if (m_plan.Segments().size() > before) ++m_steals;
            later = !index && m_plan.MayShareLater();
        }
        if (later) {
            // Ending here would leave a trickling last rest to its own connection.
            StopAwareSleep(kLookAgain, m_stop);
            continue;
        }
        if (!index) break;
        const int result = FetchRange(*index, buffer);
        {
            std::lock_guard lock(m_mutex);
            m_plan.Release(*index);
        }
        if (result == kResultOk) {
            failures = 0;
        } else if (Fatal(result) || ++failures > kRetries) {
            break;
        } else {
            StopAwareSleep(std::chrono::milliseconds(500 * failures), m_stop);
        }
    }
    std::lock_guard lock(m_mutex);
    --m_running;
    m_changed.notify_all();
}

bool SegmentedFetch::SaveState() {
    SegmentState state;
    state.size = m_target.size;
    state.validator = m_target.validator;
    {
        std::lock_guard lock(m_mutex);
        state.missing = m_plan.Missing();
    }
    return SaveSegmentState(SegmentStatePath(m_target.localPath), state);
}

// The bytes written since the last report, as blocks of the one file.
void SegmentedFetch::Report() {
    std::int64_t done = 0;
    {
        std::lock_guard lock(m_mutex);
        done = m_plan.Done();
    }
    if (done > m_reported) Post(m_job, kEventBlock, done - m_reported, m_target.size);
    m_reported = done;
}

// The job's thread while the connections work: stop, progress and state.
void SegmentedFetch::Watch() {
    auto saved = std::chrono::steady_clock::now();
    std::unique_lock lock(m_mutex);
    while (m_running > 0) {
        m_changed.wait_for(lock, kReportEvery);
        if (StopLevel(m_job) >= 2 || m_plan.Complete() || m_fatal != kResultOk) m_stop = 2;
        lock.unlock();
        Report();
        if (std::chrono::steady_clock::now() - saved >= kSaveEvery) {
            SaveState();
            saved = std::chrono::steady_clock::now();
        }
        lock.lock();
    }
}

int SegmentedFetch::OpenFile(bool fresh) {
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (fresh ? O_TRUNC : 0);
    m_fd = ::open(m_target.localPath.c_str(), flags, 0644);
    if (m_fd < 0 || ::ftruncate(m_fd, static_cast<off_t>(m_target.size)) != 0)
        return WriteFailure(m_job);
    MarkIncomplete(m_fd);
    return kResultOk;
}

int SegmentedFetch::Outcome() {
    if (m_plan.Complete()) {
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        if (!closed) return WriteFailure(m_job);
        // The state goes before the mark: a crash in between leaves a whole file still marked,
        // which the next run checks with the server. A whole unmarked file beside a state was
        // taken for a download to go on, and deleted when the server's copy had changed since,
        // even by an item that keeps existing files.
        ::unlink(SegmentStatePath(m_target.localPath).c_str());
        ClearIncomplete(m_target.localPath);
        return kResultOk;
    }
    SaveState();
    m_job.errorText = m_errorText;
    if (m_fatal != kResultOk) return m_fatal;
    if (StopLevel(m_job) >= 2) return kResultStopped;
    return m_lastFailure != kResultOk ? m_lastFailure : kResultBroken;
}

int SegmentedFetch::Run(Opener open, const SegmentPlan::Ranges* missing) {
    m_open = std::move(open);
    m_plan = missing ? SegmentPlan::FromMissing(m_target.size, *missing)
                     : SegmentPlan::Split(m_target.size, m_target.connections, kMinSegment);
    // The state comes first: a file without one is never taken for a complete copy.
    if (!SaveState()) return WriteFailure(m_job);
    const int opened = OpenFile(missing == nullptr);
    if (opened != kResultOk) return opened;
    m_reported = m_startDone = m_plan.Done();
    Post(m_job, kEventFileStarted, m_target.size, m_reported, m_target.url, m_target.localPath);
    if (m_reported > 0) Post(m_job, kEventResumed, m_reported, m_target.size);
    const int count = std::clamp(m_target.connections, 1, kMaxConnections);
    m_running = count;
    std::vector<std::jthread> connections;
    for (int i = 0; i < count; ++i)
        connections.emplace_back([this] { Work(); });
    Watch();
    connections.clear();
    Report();
    return Outcome();
}

}  // namespace kov
