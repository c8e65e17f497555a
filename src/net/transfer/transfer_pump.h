#pragma once

// The loop every download shares, whatever the protocol: read a block, write it to the local
// file, pass it through the traffic meter and report it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>

#include "core/event_codes.h"
#include "net/transfer/traffic_meter.h"
#include "net/transfer/transfer_events.h"

namespace kov {

class TransferPump {
public:
    // Where the bytes come from.
    class Source {
    public:
        virtual ~Source() = default;
        // Up to count bytes: what has arrived, 0 at the end, -1 on failure (the source keeps
        // the cause).
        virtual long Read(char* buffer, std::size_t count) = 0;
        // A block before it is written: kResultOk, or the result that ends the transfer.
        virtual int Check(const char* /*data*/, std::size_t /*count*/) { return kResultOk; }
        // A block after it was written.
        virtual void Written(std::size_t /*count*/) {}
    };
    // A source that only reads.
    class ReadingSource final : public Source {
    public:
        explicit ReadingSource(std::function<long(char*, std::size_t)> read)
            : m_read(std::move(read)) {}
        long Read(char* buffer, std::size_t count) override { return m_read(buffer, count); }

    private:
        std::function<long(char*, std::size_t)> m_read;
    };

    // What the job lends the pump.
    struct Line {
        TransferSink* sink = nullptr;
        TrafficMeter& meter;
        const std::atomic<int>& stopRequest;  // 2 or more: stop at once
        std::function<bool()> limitReached;   // empty: no traffic limit
        bool local = false;                   // local traffic (metered apart, no limit)
        std::span<char> buffer;
    };

    // How much the source is to give. A size is exact when nothing may follow it (a whole
    // file), a cap when the rest is the caller's to end (a part of a larger file).
    struct Size {
        std::int64_t expected = -1;  // -1: unknown, to the source's end
        bool exact = true;
        std::int64_t total = 0;  // the second parameter of the block events
    };

    enum class End {
        Complete,     // everything expected (or the source's end) is written
        Stopped,      // the stop request was seen before a read
        Limit,        // the traffic limit was reached before a read
        Refused,      // Source::Check ended it
        ReadFailed,   // Read gave -1
        CutShort,     // the source ended before the expected size
        TooLong,      // bytes followed an exact size
        WriteFailed,  // the local file took no more (error holds errno)
    };
    struct Outcome {
        End end = End::Complete;
        // The file result: kResultOk, kResultStopped, kResultLimit, the check's result,
        // kResultBroken (a failed, short or long source; kResultStopped when the stop request
        // cut it), or kResultWriteError / kResultDiskFull.
        int result = kResultOk;
        int error = 0;
        std::uint64_t moved = 0;  // bytes written
    };

    explicit TransferPump(Line line) : m_line(std::move(line)) {}

    // Moves the source into fd (at its current offset). Before each read it looks at the stop
    // request, then at the traffic limit, not once everything expected is in. Every written
    // block is metered and reported, the one during which the meter saw the stop included.
    Outcome Run(Source& source, int fd, Size size);

private:
    Outcome Fail(Outcome outcome, End end, int result) const;
    bool MoreFollows(Source& source) const;

    Line m_line;
};

}  // namespace kov
