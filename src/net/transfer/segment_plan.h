#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace kov {

// The ranges of one file fetched over several connections at once: what is written, what a
// connection is on, and how the rest is shared out. Not locked; its owner serialises calls.
class SegmentPlan {
public:
    struct Segment {
        std::int64_t start = 0;      // first byte
        std::int64_t end = 0;        // one past the last byte
        std::int64_t done = 0;       // bytes from start that are written
        std::int64_t claimed = 0;    // bytes from start given to a writer (at least done)
        bool busy = false;           // a connection works on it
        std::int64_t since = 0;      // the caller's clock (ms) when a connection took it
        std::int64_t doneSince = 0;  // done at that time
        bool takenWhole = false;     // the whole rest of a slow one: not taken whole again
        std::int64_t Left() const { return end - start - done; }
        std::int64_t Unclaimed() const { return end - start - claimed; }
    };
    // [from, end) byte ranges still to fetch.
    using Ranges = std::vector<std::pair<std::int64_t, std::int64_t>>;

    SegmentPlan() = default;
    // The file of size in up to count equal ranges of at least minSegment bytes (one when it is
    // smaller).
    static SegmentPlan Split(std::int64_t size, int count, std::int64_t minSegment);
    // The missing ranges of an earlier run (checked by the caller to lie within size).
    static SegmentPlan FromMissing(std::int64_t size, const Ranges& missing);

    // When an idle connection takes over the rest of a busy one.
    struct Stealing {
        std::int64_t minSteal = 0;  // a rest of twice this is split in two halves
        std::int64_t now = 0;       // the caller's clock in ms
        // A smaller rest goes whole to the idle connection when its connection, measured over
        // at least a second, would need longer than this for it.
        std::int64_t slowMs = 0;
    };
    // The segment an idle connection takes: one nobody works on, else the back half of the
    // largest rest of a busy one, else the whole rest of a slow one. nullopt: none.
    std::optional<std::size_t> Take(const Stealing& how);
    // Whether a busy segment has bytes nobody claimed yet that a Take may still hand out, once
    // their connection has shown itself slow. A rest taken whole is not moved on again: with
    // every connection equally slow it would only change hands every second.
    bool MayShareLater() const;
    // Of count bytes that arrived for the segment, how many belong to it (its end may have
    // moved); they go to the file at *offset. Commit them once written.
    std::int64_t Claim(std::size_t index, std::int64_t count, std::int64_t* offset);
    void Commit(std::size_t index, std::int64_t count);
    // The connection left the segment; bytes claimed but not committed are fetched again.
    void Release(std::size_t index);

    std::int64_t Size() const { return m_size; }
    std::int64_t Done() const;
    bool Complete() const { return Done() == m_size; }
    Ranges Missing() const;
    const std::vector<Segment>& Segments() const { return m_segments; }

private:
    bool Slow(const Segment& s, const Stealing& how) const;
    std::size_t Occupy(std::size_t index, std::int64_t now);

    std::int64_t m_size = 0;
    std::vector<Segment> m_segments;
};

}  // namespace kov
