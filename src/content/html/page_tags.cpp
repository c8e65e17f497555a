#include "content/html/page_tags.h"

#include <algorithm>
#include <utility>

#include "content/html/html_tag.h"
#include "content/html/needle_search.h"
#include "content/html/page_scan_cursor.h"
#include "core/text/text_util.h"

namespace kov {

std::uint64_t PageTags::Key(std::string_view name) {
    if (name.empty() || name.size() > 7) return 0;
    std::uint64_t key = static_cast<std::uint64_t>(name.size()) << 56;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const unsigned lower = static_cast<unsigned>(c - 'A') < 26u ? c + 32u : c;
        key |= static_cast<std::uint64_t>(lower) << (8 * i);
    }
    return key;
}

void PageTags::Clear() {
    m_tags.clear();
    m_ready = false;
    m_marksReady = false;
    m_absent = 0;
}

void PageTags::FindMarks(std::string_view text) {
    m_marksReady = true;
    m_opens.clear();
    m_closes.clear();
    for (std::size_t at = FindNeedleNoCase(text, "<script"); at != std::string_view::npos;
         at = FindNeedleNoCase(text, "<script", at + 1))
        m_opens.push_back(at);
    for (std::size_t at = FindNeedleNoCase(text, "</script>"); at != std::string_view::npos;
         at = FindNeedleNoCase(text, "</script>", at + 1))
        m_closes.push_back(at);
}

namespace {

constexpr std::pair<PageTags::Needle, std::string_view> kNeedles[] = {
    {PageTags::kBaseTag, "<base"}, {PageTags::kStyleUrl, "url("}};
// Bytes before and after a rewrite in which a needle may begin or end across its edge.
constexpr std::size_t kNeedleReach = 5;

// The needles of wanted that stand in a short text: looked for where a '<' or a '(' is, which
// the text of a rewrite (a tag) holds once or not at all.
unsigned Found(std::string_view text, unsigned wanted) {
    unsigned found = 0;
    if ((wanted & PageTags::kBaseTag) != 0) {
        for (std::size_t at = text.find('<'); at != std::string_view::npos;
             at = text.find('<', at + 1)) {
            if (IEquals(text.substr(at, 5), "<base")) found |= PageTags::kBaseTag;
        }
    }
    if ((wanted & PageTags::kStyleUrl) != 0) {
        for (std::size_t at = text.find('('); at != std::string_view::npos;
             at = text.find('(', at + 1)) {
            if (at >= 3 && IEquals(text.substr(at - 3, 4), "url(")) found |= PageTags::kStyleUrl;
        }
    }
    return found & wanted;
}

}  // namespace

void PageTags::FindAbsent(std::string_view text) {
    m_absent = 0;
    for (const auto& [needle, lower] : kNeedles) {
        if (FindNeedleNoCase(text, lower) == std::string_view::npos) m_absent |= needle;
    }
}

void PageTags::KeepAbsent(std::string_view text, const std::vector<RewrittenRange>& pass) {
    std::ptrdiff_t delta = 0;
    for (const RewrittenRange& r : pass) {
        if (m_absent == 0) return;
        const auto begin = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(r.begin) + delta);
        const std::size_t from = begin > kNeedleReach ? begin - kNeedleReach : 0;
        const std::string_view around =
            text.substr(std::min(from, text.size()), begin + r.length + kNeedleReach - from);
        m_absent &= ~Found(around, m_absent);
        delta +=
            static_cast<std::ptrdiff_t>(r.length) - static_cast<std::ptrdiff_t>(r.end - r.begin);
    }
}

namespace {

// Positions at or past the end of a rewrite move by what it added; earlier ones stay.
void Move(std::vector<std::size_t>& positions, const std::vector<RewrittenRange>& pass) {
    std::size_t next = 0;
    std::ptrdiff_t delta = 0;
    for (std::size_t& pos : positions) {
        for (; next < pass.size() && pass[next].end <= pos; ++next) {
            delta += static_cast<std::ptrdiff_t>(pass[next].length) -
                     static_cast<std::ptrdiff_t>(pass[next].end - pass[next].begin);
        }
        pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + delta);
    }
}

}  // namespace

void PageTags::ShiftMarks(const std::vector<RewrittenRange>& pass) {
    if (!m_marksReady) return;
    Move(m_opens, pass);
    Move(m_closes, pass);
}

namespace {

// A bit of a 64-bit mask per key: most tags of a page are of names no pass takes, and one test
// of their bit turns nearly all of them away before the keys are compared.
std::uint64_t KeyBit(std::uint64_t key) {
    return std::uint64_t{1} << ((key * 0x9E3779B97F4A7C15ULL) >> 58);
}

}  // namespace

void PageTags::Read(std::string_view text, std::span<const std::uint64_t> keys) {
    m_tags.clear();
    m_ready = true;
    std::uint64_t bits = 0;
    for (const std::uint64_t wanted : keys)
        bits |= KeyBit(wanted);
    PageScanCursor cursor(text);
    while (cursor.NextTag()) {
        const std::size_t at = cursor.Start();
        const std::size_t nameEnd = cursor.NameEnd();
        if (text[at + 1] == '/' || nameEnd >= text.size() || !IsTagSpace(text[nameEnd])) continue;
        const std::uint64_t key = Key(text.substr(at + 1, nameEnd - at - 1));
        if (key == 0 || (bits & KeyBit(key)) == 0) continue;
        for (const std::uint64_t wanted : keys) {
            if (key != wanted) continue;
            m_tags.push_back({at, cursor.End(), key});
            break;
        }
    }
}

void PageTags::Shift(const std::vector<RewrittenRange>& pass) {
    if (!m_ready || pass.empty()) return;
    // Positions at or past the end of a rewrite move by what it added; earlier ones stay.
    std::size_t next = 0;
    std::ptrdiff_t delta = 0;
    std::ptrdiff_t endDelta = 0;
    std::size_t endNext = 0;
    for (Tag& tag : m_tags) {
        while (next < pass.size() && pass[next].end <= tag.pos) {
            delta += static_cast<std::ptrdiff_t>(pass[next].length) -
                     static_cast<std::ptrdiff_t>(pass[next].end - pass[next].begin);
            ++next;
        }
        if (endNext < next) {
            endNext = next;
            endDelta = delta;
        }
        while (endNext < pass.size() && pass[endNext].end <= tag.end) {
            endDelta += static_cast<std::ptrdiff_t>(pass[endNext].length) -
                        static_cast<std::ptrdiff_t>(pass[endNext].end - pass[endNext].begin);
            ++endNext;
        }
        tag.pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(tag.pos) + delta);
        tag.end = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(tag.end) + endDelta);
    }
}

}  // namespace kov
