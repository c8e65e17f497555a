#include "net/transfer/segment_plan.h"

#include <algorithm>

namespace kov {

namespace {

// Split points fall on this grain, so that writes stay aligned to the disk's blocks.
constexpr std::int64_t kGrain = 64 * 1024;

}  // namespace

SegmentPlan SegmentPlan::Split(std::int64_t size, int count, std::int64_t minSegment) {
    SegmentPlan plan;
    plan.m_size = std::max<std::int64_t>(size, 0);
    const std::int64_t fit = minSegment > 0 ? plan.m_size / minSegment : count;
    const std::int64_t n =
        std::clamp<std::int64_t>(std::min<std::int64_t>(count, fit), 1, std::max(count, 1));
    std::int64_t start = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::int64_t end = i == n ? plan.m_size : plan.m_size / n * i / kGrain * kGrain;
        if (end > start) plan.m_segments.push_back({start, end});
        start = std::max(start, end);
    }
    return plan;
}

SegmentPlan SegmentPlan::FromMissing(std::int64_t size, const Ranges& missing) {
    SegmentPlan plan;
    plan.m_size = size;
    for (const auto& [from, end] : missing) {
        if (end > from) plan.m_segments.push_back({from, end});
    }
    // What is not missing is written: one finished segment stands for it.
    const std::int64_t written = plan.Done();
    if (written > 0) plan.m_segments.push_back({0, written, written, written});
    return plan;
}

std::size_t SegmentPlan::Occupy(std::size_t index, std::int64_t now) {
    Segment& s = m_segments[index];
    s.busy = true;
    s.since = now;
    s.doneSince = s.done;
    return index;
}

bool SegmentPlan::Slow(const Segment& s, const Stealing& how) const {
    const std::int64_t measured = how.now - s.since;
    if (measured < 1000) return false;
    const std::int64_t bytes = s.done - s.doneSince;
    // rest / (bytes / measured) > slowMs, without dividing by a rate of 0.
    return s.Unclaimed() * measured > how.slowMs * bytes;
}

std::optional<std::size_t> SegmentPlan::Take(const Stealing& how) {
    std::optional<std::size_t> largest;
    for (std::size_t i = 0; i < m_segments.size(); ++i) {
        const Segment& s = m_segments[i];
        if (!s.busy && s.Left() > 0) return Occupy(i, how.now);
        if (s.busy && s.Unclaimed() > 0 &&
            (!largest || s.Unclaimed() > m_segments[*largest].Unclaimed()))
            largest = i;
    }
    if (!largest) return std::nullopt;
    Segment& victim = m_segments[*largest];
    const std::int64_t rest = victim.Unclaimed();
    const std::int64_t from = victim.start + victim.claimed;
    std::int64_t cut = from;
    if (rest >= 2 * std::max<std::int64_t>(how.minSteal, 1)) {
        cut = (from + rest / 2) / kGrain * kGrain;
        if (cut <= from) cut = from + rest / 2;
    } else if (victim.takenWhole || !Slow(victim, how)) {
        return std::nullopt;
    }
    const std::int64_t end = victim.end;
    victim.end = cut;
    m_segments.push_back({cut, end});
    m_segments.back().takenWhole = cut == from;
    return Occupy(m_segments.size() - 1, how.now);
}

bool SegmentPlan::MayShareLater() const {
    return std::any_of(m_segments.begin(), m_segments.end(), [](const Segment& s) {
        return s.busy && s.Unclaimed() > 0 && !s.takenWhole;
    });
}

std::int64_t SegmentPlan::Claim(std::size_t index, std::int64_t count, std::int64_t* offset) {
    Segment& s = m_segments[index];
    const std::int64_t take = std::clamp<std::int64_t>(count, 0, s.Unclaimed());
    *offset = s.start + s.claimed;
    s.claimed += take;
    return take;
}

void SegmentPlan::Commit(std::size_t index, std::int64_t count) {
    Segment& s = m_segments[index];
    s.done = std::min(s.done + count, s.claimed);
}

void SegmentPlan::Release(std::size_t index) {
    Segment& s = m_segments[index];
    s.busy = false;
    s.claimed = s.done;
}

std::int64_t SegmentPlan::Done() const {
    std::int64_t left = 0;
    for (const Segment& s : m_segments)
        left += s.Left();
    return m_size - left;
}

SegmentPlan::Ranges SegmentPlan::Missing() const {
    Ranges missing;
    for (const Segment& s : m_segments) {
        if (s.Left() > 0) missing.emplace_back(s.start + s.done, s.end);
    }
    std::sort(missing.begin(), missing.end());
    return missing;
}

}  // namespace kov
