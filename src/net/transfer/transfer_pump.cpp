#include "net/transfer/transfer_pump.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/file_util.h"

namespace kov {

TransferPump::Outcome TransferPump::Fail(Outcome outcome, End end, int result) const {
    outcome.end = end;
    // A source that fails or ends while the job stops was most likely cut off by the stop.
    const bool cut = end == End::ReadFailed || end == End::CutShort;
    outcome.result = cut && m_line.stopRequest.load() >= 2 ? kResultStopped : result;
    return outcome;
}

// One more read after an exact size: a source that gives more has changed under the transfer,
// so what was written is neither the old file nor the new one. It also lets a client see the
// end of its response, so that the connection can be used again.
bool TransferPump::MoreFollows(Source& source) const {
    return source.Read(m_line.buffer.data(), 1) > 0;
}

TransferPump::Outcome TransferPump::Run(Source& source, int fd, Size size) {
    Outcome outcome;
    std::int64_t remaining = size.expected;
    for (;;) {
        std::size_t want = std::min(m_line.meter.PacketSize(m_line.local), m_line.buffer.size());
        if (remaining >= 0)
            want = static_cast<std::size_t>(std::min<std::int64_t>(remaining, want));
        if (want == 0) break;
        if (m_line.stopRequest.load() >= 2) return Fail(outcome, End::Stopped, kResultStopped);
        if (!m_line.local && m_line.limitReached && m_line.limitReached())
            return Fail(outcome, End::Limit, kResultLimit);
        const long n = source.Read(m_line.buffer.data(), want);
        if (n < 0) return Fail(outcome, End::ReadFailed, kResultBroken);
        if (n == 0) {
            if (remaining > 0) return Fail(outcome, End::CutShort, kResultBroken);
            return outcome;
        }
        const auto got = static_cast<std::size_t>(n);
        const int checked = source.Check(m_line.buffer.data(), got);
        if (checked != kResultOk) return Fail(outcome, End::Refused, checked);
        if (!WriteAll(fd, std::string_view(m_line.buffer.data(), got))) {
            outcome.error = errno;
            const bool full = outcome.error == ENOSPC || outcome.error == EDQUOT;
            return Fail(outcome, End::WriteFailed, full ? kResultDiskFull : kResultWriteError);
        }
        outcome.moved += got;
        if (remaining > 0) remaining -= static_cast<std::int64_t>(got);
        source.Written(got);
        // A stop seen while metering ends the transfer at the next read, if one is due.
        MeterBlock(m_line.meter, got, m_line.local, m_line.stopRequest);
        if (m_line.sink) m_line.sink->Post(kEventBlock, static_cast<std::int64_t>(got), size.total);
    }
    if (size.exact && MoreFollows(source)) return Fail(outcome, End::TooLong, kResultBroken);
    return outcome;
}

}  // namespace kov
