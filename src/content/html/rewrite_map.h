#pragma once

#include <cstddef>
#include <vector>

namespace kov {

// Which parts of a text as first read the rewrites since have replaced: [begin, end) of the
// original became `length` bytes. The rewrites are told in the coordinates of the text as it
// stands before each one; ranges that meet or overlap become one.
struct RewrittenRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t length = 0;
    bool operator==(const RewrittenRange&) const = default;
};

class RewriteMap {
public:
    void Clear() { m_ranges.clear(); }
    // One pass of rewrites, each [begin, end) of the text before the pass replaced by length
    // bytes; in any order, not overlapping one another.
    void AddPass(std::vector<RewrittenRange> pass);
    // In order, apart from one another: every byte outside them is the original's, in order.
    const std::vector<RewrittenRange>& Ranges() const { return m_ranges; }

private:
    // One rewrite of the text as it stands.
    void Add(const RewrittenRange& rewrite);

    std::vector<RewrittenRange> m_ranges;
};

}  // namespace kov
