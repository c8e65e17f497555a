#include "content/html/page_scan_cursor.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "content/html/html_tag.h"
#include "core/text/text_util.h"

namespace kov {

namespace {

// What a byte is to the walk of a tag, looked up rather than compared byte by byte.
enum : unsigned char { kSpace = 1, kNameStop = 2, kValueStop = 4, kTagNameStop = 8 };

constexpr std::array<unsigned char, 256> kClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (const char c : {' ', '\t', '\n', '\r', '\f'})
        classes[static_cast<unsigned char>(c)] = kSpace | kNameStop | kValueStop | kTagNameStop;
    classes['='] |= kNameStop;
    classes['>'] |= kNameStop | kValueStop | kTagNameStop;
    classes['/'] |= kNameStop | kTagNameStop;
    return classes;
}();

bool Is(char c, unsigned char what) {
    return (kClasses[static_cast<unsigned char>(c)] & what) != 0;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The next '<' at or after from, npos when none. Tags stand a few dozen bytes apart: a look at 16
// bytes at a time finds the next one sooner than a call of memchr, which takes the long gaps.
std::size_t NextOpen(std::string_view text, std::size_t from) {
#if defined(__SSE2__)
    const char* data = text.data();
    const std::size_t n = text.size();
    const __m128i opens = _mm_set1_epi8('<');
    for (int round = 0; round < 4 && from <= n && n - from >= 16; ++round, from += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, opens)));
        if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    return text.find('<', from);
}

// A start or end tag begins with '<' or "</" and a letter; "<!--", "<?" and a lone '<' do not.
bool BeginsTag(std::string_view text, std::size_t pos) {
    std::size_t i = pos + 1;
    if (i < text.size() && text[i] == '/') ++i;
    return i < text.size() && IsLetter(text[i]);
}

// The name of the tag at pos ends at white space, '/' or '>'.
std::size_t TagNameEnd(std::string_view text, std::size_t pos) {
    std::size_t i = pos + 1;
    if (i < text.size() && text[i] == '/') ++i;
    while (i < text.size() && !Is(text[i], kTagNameStop))
        ++i;
    return i;
}

}  // namespace

// The same reading as HtmlTag::Read: attributes separated by white space, a value after '=' in
// quotes or up to white space or '>'.
std::size_t PageScanCursor::Walk(std::size_t pos, std::vector<Range>* values) const {
    return WalkFrom(TagNameEnd(m_text, pos), values);
}

std::size_t PageScanCursor::WalkFrom(std::size_t i, std::vector<Range>* values) const {
    const std::string_view text = m_text;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && Is(text[i], kSpace))
            ++i;
        if (i >= n) break;
        if (text[i] == '>') return i + 1;
        if (text[i] == '/') {
            if (i + 1 < n && text[i + 1] == '>') return i + 2;
            ++i;
            continue;
        }
        // The name ends at white space, '=', '>' or "/>"; a '/' alone is part of it.
        for (;;) {
            while (i < n && !Is(text[i], kNameStop))
                ++i;
            if (i < n && text[i] == '/' && !(i + 1 < n && text[i + 1] == '>')) {
                ++i;
                continue;
            }
            break;
        }
        std::size_t after = i;
        while (after < n && Is(text[after], kSpace))
            ++after;
        if (after >= n || text[after] != '=') continue;
        i = after + 1;
        while (i < n && Is(text[i], kSpace))
            ++i;
        if (i >= n) break;
        std::size_t start = i;
        std::size_t end = i;
        if (text[i] == '"' || text[i] == '\'') {
            const std::size_t close = text.find(text[i], i + 1);
            if (close == std::string_view::npos) break;
            start = i + 1;
            end = close;
            i = close + 1;
        } else {
            while (i < n && !Is(text[i], kValueStop))
                ++i;
            end = i;
        }
        if (values != nullptr) values->emplace_back(start, end);
    }
    return n;
}

std::size_t PageScanCursor::TagEnd(std::size_t pos) const {
    return Walk(pos, nullptr);
}

void PageScanCursor::ReadTo(std::size_t pos) {
    while (ReadOne(pos)) {
    }
}

bool PageScanCursor::ReadOne(std::size_t limit) {
    while (m_next <= limit) {
        const std::size_t at = NextOpen(m_text, m_next);
        if (at == std::string_view::npos || at > limit) {
            m_next = at == std::string_view::npos ? m_text.size() : at;
            return false;
        }
        if (!BeginsTag(m_text, at)) {
            m_next = at + 1;
            continue;
        }
        m_start = at;
        m_nameEnd = TagNameEnd(m_text, at);
        m_end = WalkFrom(m_nameEnd, nullptr);
        m_next = m_end;
        // The text of a script or style block is no markup up to its end tag.
        const std::string_view name = m_text.substr(at + 1, m_nameEnd - at - 1);
        static constexpr std::string_view kRawText[][2] = {{"script", "</script"},
                                                           {"style", "</style"}};
        for (const auto& [raw, endTag] : kRawText) {
            if (name.size() != raw.size() || !IEquals(name, raw)) continue;
            const std::size_t close = FindNoCase(m_text, endTag, m_end);
            m_next = close == std::string_view::npos ? m_text.size() : close;
        }
        return true;
    }
    return false;
}

bool PageScanCursor::StartsTag(std::size_t pos) {
    ReadTo(pos);
    return m_start == pos;
}

std::optional<PageScanCursor::Range> PageScanCursor::ValueAround(std::size_t first,
                                                                 std::size_t last) {
    ReadTo(first);
    if (m_start == std::string_view::npos || first >= m_end || last >= m_end) return std::nullopt;
    if (m_valuesOf != m_start) {
        m_valuesOf = m_start;
        m_values.clear();
        Walk(m_start, &m_values);
    }
    // The values stand in order: the last one that starts at or before first.
    auto it = std::upper_bound(m_values.begin(), m_values.end(), first,
                               [](std::size_t pos, const Range& r) { return pos < r.first; });
    if (it == m_values.begin() || last >= (it - 1)->second) return std::nullopt;
    return *(it - 1);
}

}  // namespace kov
