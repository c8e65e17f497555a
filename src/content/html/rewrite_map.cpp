#include "content/html/rewrite_map.h"

#include <algorithm>

namespace kov {

void RewriteMap::AddPass(std::vector<RewrittenRange> pass) {
    // From the last to the first: a rewrite leaves the positions before it as they were.
    std::sort(pass.begin(), pass.end(),
              [](const RewrittenRange& a, const RewrittenRange& b) { return a.begin > b.begin; });
    for (const RewrittenRange& rewrite : pass)
        Add(rewrite);
}

void RewriteMap::Add(const RewrittenRange& rewrite) {
    using Signed = std::ptrdiff_t;
    // shift: a position of the current text less the original's, up to range k.
    Signed shift = 0;
    const auto currentBegin = [&](std::size_t i) {
        return static_cast<Signed>(m_ranges[i].begin) + shift;
    };
    const auto grown = [&](std::size_t i) {
        return static_cast<Signed>(m_ranges[i].length) -
               static_cast<Signed>(m_ranges[i].end - m_ranges[i].begin);
    };
    const auto begin = static_cast<Signed>(rewrite.begin);
    const auto end = static_cast<Signed>(rewrite.end);
    std::size_t k = 0;
    for (; k < m_ranges.size() && currentBegin(k) + static_cast<Signed>(m_ranges[k].length) < begin;
         ++k)
        shift += grown(k);
    Signed first = begin - shift, last = end - shift;  // in the original
    Signed spanBegin = begin, spanEnd = end;           // in the current text
    std::size_t next = k;
    for (; next < m_ranges.size() && currentBegin(next) <= end; ++next) {
        spanBegin = std::min(spanBegin, currentBegin(next));
        spanEnd =
            std::max(spanEnd, currentBegin(next) + static_cast<Signed>(m_ranges[next].length));
        first = std::min(first, static_cast<Signed>(m_ranges[next].begin));
        shift += grown(next);
        last = std::max(static_cast<Signed>(m_ranges[next].end), end - shift);
    }
    const RewrittenRange merged{
        static_cast<std::size_t>(first), static_cast<std::size_t>(last),
        static_cast<std::size_t>(spanEnd - spanBegin - (end - begin)) + rewrite.length};
    m_ranges.erase(m_ranges.begin() + static_cast<Signed>(k),
                   m_ranges.begin() + static_cast<Signed>(next));
    m_ranges.insert(m_ranges.begin() + static_cast<Signed>(k), merged);
}

}  // namespace kov
