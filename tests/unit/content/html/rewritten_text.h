#pragma once

#include <string>
#include <vector>

#include "content/html/rewrite_map.h"

namespace kov::test {

// The original with every rewritten range replaced by what the rewritten text holds there: the
// rewritten text again when the ranges are right.
inline std::string Rebuild(const std::string& original, const std::string& text,
                           const std::vector<RewrittenRange>& ranges) {
    std::string out;
    std::size_t from = 0;
    std::size_t at = 0;  // in text
    for (const RewrittenRange& r : ranges) {
        out += original.substr(from, r.begin - from);
        at += r.begin - from;
        out += text.substr(at, r.length);
        at += r.length;
        from = r.end;
    }
    return out + original.substr(from);
}

}  // namespace kov::test
