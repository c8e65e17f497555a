#include "net/http/segmented_fetch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>

#include "core/text/text_util.h"
#include "net/http/proxy_send.h"
#include "net/http/response_headers.h"
#include "net/http/thread_multi.h"
#include "net/transfer/traffic_meter.h"
#include "net/transfer/transfer_job_util.h"
#include "platform/atomic_file_writer.h"
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
    : m_job(job),
      m_target(std::move(target)),
      // While the meter holds a block back, progress and state go on being kept; a stop of the
      // job ends the wait.
      m_meterWait([this](std::chrono::milliseconds step, const std::atomic<int>& stop) {
          StopAwareSleep(step, stop);
          Tick();
      }) {}

// The job's stop, which the requests see through the fetch's own flag.
bool SegmentedFetch::Stopping() {
    if (StopLevel(m_job) >= 2) m_stop = 2;
    return m_stop.load() >= 2;
}

int SegmentedFetch::BrokenOrStopped() const {
    return m_stop.load() >= 2 ? kResultStopped : kResultBroken;
}

SegmentedFetch::~SegmentedFetch() {
    if (m_fd >= 0) ::close(m_fd);
}

void SegmentedFetch::Failed(int result, std::string_view text) {
    if (m_errorText.empty() || Fatal(result)) m_errorText = text;
    if (Fatal(result) && m_fatal == kResultOk) m_fatal = result;
    if (!Fatal(result)) m_lastFailure = result;
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
    if (status >= 300 && status < 500) {
        // The file itself came: a server that refuses a range of it, or sends it elsewhere,
        // cannot be split, and the file comes whole over one connection instead, as it does
        // when it changed.
        Failed(kResultPartChanged, "HTTP " + std::to_string(status) + " for a range");
        return kResultPartChanged;
    }
    if (status != 206) {
        Failed(kResultBroken, "HTTP " + std::to_string(status) + " for a range");
        return kResultBroken;
    }
    const auto range = ParseContentRange(raw);
    // The file's strong ETag, else its date: a server that does not look at If-Range still
    // tells a changed file by another one.
    const bool byTag = m_target.validator.front() == '"';
    const std::string validator =
        byTag ? RangeValidator(raw) : std::string(HeaderValue(raw, "last-modified").value_or(""));
    const bool sameFile = validator.empty() || validator == m_target.validator;
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
    const std::int64_t take = m_plan.Claim(index, count, &offset);
    for (std::int64_t written = 0; written < take;) {
        const ssize_t n = ::pwrite(m_fd, data + written, static_cast<std::size_t>(take - written),
                                   static_cast<off_t>(offset + written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (m_fatal == kResultOk) m_fatal = WriteFailure(m_job, n < 0 ? errno : ENOSPC);
            m_errorText = m_job.errorText;
            return m_fatal;
        }
        written += n;
    }
    m_plan.Commit(index, take);
    ended = m_plan.Segments()[index].Unclaimed() == 0;
    return kResultOk;
}

// A range for an idle connection, and its request sent; false when none is to be had now.
bool SegmentedFetch::Begin(Connection& c, std::int64_t now) {
    if (now < c.idleUntil) return false;
    const std::size_t before = m_plan.Segments().size();
    const std::optional<std::size_t> index = m_plan.Take({kMinSteal, now, kSlowMs});
    if (m_plan.Segments().size() > before) ++m_steals;
    if (!index) {
        // Ending here would leave a trickling last rest to its own connection.
        if (m_plan.MayShareLater())
            c.idleUntil = now + kLookAgain.count();
        else
            c.ended = true;
        return false;
    }
    const SegmentPlan::Segment& s = m_plan.Segments()[*index];
    c.index = *index;
    c.from = s.start + s.claimed;
    c.answered = c.authenticated = c.progressed = false;
    c.request = m_open();
    if (!c.request) {
        Leave(c, kResultBroken, now);
        return true;
    }
    c.request->AddRequestHeaders("Range: bytes=" + std::to_string(c.from) + "-" +
                                     std::to_string(s.end - 1) +
                                     "\nIf-Range: " + m_target.validator,
                                 true);
    if (!c.request->Start()) {
        Failed(kResultBroken, c.request->ErrorText());
        Leave(c, BrokenOrStopped(), now);
    }
    return true;
}

// Whether the response of a connection's request came and is the range asked for.
int SegmentedFetch::Answered(Connection& c) {
    switch (c.request->Poll()) {
        case HttpRequest::Progress::Waiting:
            return kReadLater;
        case HttpRequest::Progress::Failed:
            Failed(kResultBroken, c.request->ErrorText());
            return BrokenOrStopped();
        case HttpRequest::Progress::Answered:
            break;
    }
    // A proxy that asks for credentials is given them once, as for any request; a 407 that
    // cannot be answered is checked as the response it is.
    if (!c.authenticated &&
        AnswerProxyChallenge(*c.request, m_job.proxyUser, m_job.proxyPsw) == ProxySend::SendAgain) {
        c.authenticated = true;
        if (c.request->Start()) return kReadLater;
        Failed(kResultBroken, c.request->ErrorText());
        return BrokenOrStopped();
    }
    const int result = CheckResponse(*c.request, c.from);
    if (result == kResultOk) c.answered = true;
    return result;
}

// What has arrived for a connection's range, written; moved tells whether any did.
int SegmentedFetch::Receive(Connection& c, std::vector<char>& buffer, bool& moved) {
    TrafficMeter& meter = Meter(m_job);
    for (bool ended = false; !ended;) {
        if (Stopping()) return kResultStopped;
        if (LimitReached(m_job)) {
            Failed(kResultLimit, {});
            return kResultLimit;
        }
        const std::size_t packet = meter.PacketSize(m_job.isLocal);
        const long n = c.request->ReadNoWait(buffer.data(), std::min(packet, buffer.size()));
        if (n == kReadLater) return kReadLater;
        if (n <= 0) {
            if (m_stop.load() >= 2) return kResultStopped;
            Failed(kResultBroken, n < 0 ? c.request->ErrorText()
                                        : "connection closed before the end of the range");
            return kResultBroken;
        }
        moved = c.progressed = true;
        const int written = WriteBlock(c.index, buffer.data(), n, ended);
        if (written != kResultOk) return written;
        MeterBlock(meter, static_cast<std::uint64_t>(n), m_job.isLocal, kov::StopFlag(m_job),
                   m_meterWait);
        // Small blocks (a speed limit, a slow start): the connections take turns block by block.
        if (packet < kBulkPacketSize && !ended) return kReadLater;
    }
    return kResultOk;
}

// The connection leaves its range (bytes claimed but not written are fetched again); after a
// failure it waits before its next range, and after too many in a row it leaves the rest to the
// others. A connection that broke after bytes arrived goes on at once: a server or a path that
// cuts connections now and then is no reason to give up.
void SegmentedFetch::Leave(Connection& c, int result, std::int64_t now) {
    c.request.reset();
    m_plan.Release(c.index);
    if (result == kResultOk || (c.progressed && !Fatal(result))) {
        c.failures = 0;
    } else if (Fatal(result) || ++c.failures > kRetries) {
        c.ended = true;
    } else {
        c.idleUntil = now + 500 * c.failures;
    }
}

// Moves one connection on as far as it goes without waiting; true when anything happened.
bool SegmentedFetch::Step(Connection& c, std::vector<char>& buffer, std::int64_t now) {
    if (!c.request) return Begin(c, now);
    int result = c.answered ? kResultOk : Answered(c);
    if (result == kReadLater) return false;
    bool moved = !c.answered || result != kResultOk;
    if (result == kResultOk) result = Receive(c, buffer, moved);
    if (result != kReadLater) Leave(c, result, now);
    return moved || result != kReadLater;
}

// Every connection on this thread until the file is complete, a failure ends them all, the job
// stops or none has anything left to do.
void SegmentedFetch::Drive() {
    TransferScope scope;
    m_connections.resize(
        static_cast<std::size_t>(std::clamp(m_target.connections, 1, kMaxConnections)));
    std::vector<char> buffer(TransferJob::kBufferSize);
    m_reportedAt = m_savedAt = std::chrono::steady_clock::now();
    for (;;) {
        if (Stopping() || m_fatal != kResultOk || m_plan.Complete()) break;
        scope.Perform();
        bool moved = false;
        bool working = false;
        std::int64_t wake = std::numeric_limits<std::int64_t>::max();
        const std::int64_t now = NowMs();
        for (Connection& c : m_connections) {
            if (c.ended) continue;
            if (Step(c, buffer, now)) moved = true;
            if (c.ended) continue;
            working = true;
            if (!c.request) wake = std::min(wake, c.idleUntil);
        }
        if (!working) break;
        Tick();
        if (moved) continue;
        const std::int64_t until =
            std::clamp<std::int64_t>(wake - NowMs(), 1, kReportEvery.count());
        scope.Wait(std::chrono::milliseconds(until));
    }
    // Requests still out (a range whose end another took, a stop) end before the scope does.
    m_connections.clear();
}

bool SegmentedFetch::SaveState() {
    SegmentState state;
    state.size = m_target.size;
    state.validator = m_target.validator;
    state.missing = m_plan.Missing();
    return SaveSegmentState(SegmentStatePath(m_target.localPath), state);
}

// Progress reported and the state saved, each on its own clock.
void SegmentedFetch::Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_reportedAt >= kReportEvery) {
        Report();
        m_reportedAt = now;
    }
    if (now - m_savedAt >= kSaveEvery) {
        SaveState();
        m_savedAt = now;
    }
}

// The bytes written since the last report, as blocks of the one file.
void SegmentedFetch::Report() {
    const std::int64_t done = m_plan.Done();
    if (done > m_reported) Post(m_job, kEventBlock, done - m_reported, m_target.size);
    m_reported = done;
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
        const std::string statePath = SegmentStatePath(m_target.localPath);
        ::unlink(statePath.c_str());
        // And what saves of the state cut short by a kill left beside it.
        RemoveStaleTemporariesOf(statePath);
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
    Drive();
    Report();
    return Outcome();
}

}  // namespace kov
