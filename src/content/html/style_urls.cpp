// Style sheets: url(...) references in tags, in style sheets and in style blocks, and
// @import rules.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "content/html/html_ripper.h"
#include "content/html/html_tag.h"
#include "content/html/link_kind.h"
#include "content/html/needle_search.h"
#include "content/html/page_file.h"
#include "content/html/page_scan_cursor.h"
#include "content/html/split_path.h"
#include "core/text/text_util.h"

namespace kov {

namespace {

constexpr std::size_t kStyleUrlCapacity = 399;

std::string_view Unquoted(std::string_view value) {
    value = TrimBlanks(value);
    while (!value.empty() && IsTagSpace(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && IsTagSpace(value.back()))
        value.remove_suffix(1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// The next "url(" (any case) from pos.
std::size_t FindUrlOpen(std::string_view text, std::size_t pos) {
    return FindNeedleNoCase(text, "url(", pos);
}

// The next a or b from pos (npos when none), 16 bytes at a time where find_first_of would ask
// memchr about every byte.
std::size_t FindEither(std::string_view text, char a, char b, std::size_t pos) {
    const char* data = text.data();
    const std::size_t n = text.size();
#if defined(__SSE2__)
    const __m128i as = _mm_set1_epi8(a);
    const __m128i bs = _mm_set1_epi8(b);
    for (; pos <= n && n - pos >= 16; pos += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, as), _mm_cmpeq_epi8(block, bs))));
        if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    for (; pos < n; ++pos) {
        if (data[pos] == a || data[pos] == b) return pos;
    }
    return std::string_view::npos;
}

// The address of an @import "..." rule at or after pos: the range inside its quotes, through
// the closing one. first is npos when there is none; second is npos when the quote never
// closes.
std::pair<std::size_t, std::size_t> NextImportString(std::string_view text, std::size_t pos) {
    for (std::size_t at = FindNoCase(text, "@import", pos); at != std::string_view::npos;
         at = FindNoCase(text, "@import", at + 7)) {
        std::size_t q = at + 7;
        while (q < text.size() && IsTagSpace(text[q]))
            ++q;
        // url(...) forms are taken with the other references.
        if (q < text.size() && (text[q] == '"' || text[q] == '\''))
            return {q, text.find(text[q], q + 1)};
    }
    return {std::string_view::npos, 0};
}

// A reference written into a place that no quote may end: an attribute value or a string.
// White space, quotes, parentheses and angle brackets are written as %XX, which a browser
// reads back as the same file name.
std::string Escaped(std::string_view local, std::string_view special) {
    std::string out;
    out.reserve(local.size());
    for (const char c : local) {
        if (special.find(c) == std::string_view::npos) {
            out += c;
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += '%';
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

constexpr std::string_view kInTagSpecial = " \t\n\r\f'\"()<>\\";

}  // namespace

int HtmlRipper::GrabStyleUrls(std::string& text, bool sheetMode) {
    if (&text == &m_text && m_tags.Absent(PageTags::kStyleUrl)) return 0;
    const char open = sheetMode ? '{' : '<';
    const char close = sheetMode ? '}' : '>';
    const int before = m_added;
    std::string out;
    std::size_t copied = 0;
    std::size_t pos = 0;
    // The marks around each reference are found moving forward only, so that a sheet of
    // many references and few marks is still read in one pass.
    std::size_t end = text.find(')');
    std::size_t blockEnd = text.find(close);
    std::size_t last = std::string::npos;
    std::size_t nextMark = FindEither(text, open, close, 0);
    // A reference is rewritten only where its new text changes nothing around it: in a page
    // inside one attribute value of a tag, in a sheet apart from the addresses of @import.
    PageScanCursor cursor(text);
    auto import = sheetMode ? NextImportString(text, 0)
                            : std::pair<std::size_t, std::size_t>(std::string::npos, 0);
    const auto apart = [&](std::size_t at) {
        if (!sheetMode) return cursor.ValueAround(at, end).has_value();
        while (import.first != std::string::npos && import.second < at)
            import = NextImportString(text, import.second + 1);
        return import.first == std::string::npos || import.first > end;
    };
    while (!Cancelled()) {
        const std::size_t at = FindUrlOpen(text, pos);
        if (at == std::string::npos) break;
        pos = at + 4;
        if (end != std::string::npos && end < pos) end = text.find(')', pos);
        if (end == std::string::npos) break;
        // Only inside a block; in today's style sheets @import url(...) stands outside one.
        while (nextMark != std::string::npos && nextMark < at) {
            last = nextMark;
            nextMark = FindEither(text, open, close, nextMark + 1);
        }
        const bool inBlock = last != std::string::npos && text[last] == open;
        if (!inBlock && !(sheetMode && m_modern)) continue;
        if (blockEnd != std::string::npos && blockEnd < at) blockEnd = text.find(close, at);
        if (inBlock && blockEnd != std::string::npos && blockEnd < end) continue;
        if (!apart(at)) continue;
        const std::string_view raw = Unquoted(std::string_view(text).substr(pos, end - pos));
        // A '(' means the reference ends at a later ')': it is left as the page wrote it.
        if (raw.size() > kStyleUrlCapacity || raw.find('(') != std::string_view::npos) continue;
        const std::optional<std::string> local = Collect(raw, kKindPicture, 0, false);
        if (!local) continue;
        out.append(text, copied, at - copied);
        const std::size_t written = out.size();
        // A name with blanks, quotes or parentheses is valid in a style sheet only quoted; in
        // a tag, quotes would end the attribute value.
        if (!sheetMode)
            out += "url(" + Escaped(*local, kInTagSpecial) + ")";
        else if (local->find_first_of(" \t'()") == std::string::npos)
            out += "url(" + *local + ")";
        else
            out += "url(\"" + *local + "\")";
        NoteRewrite(at, end + 1, out.size() - written);
        copied = pos = end + 1;
    }
    FinishRewrite(text, out, copied);
    return m_added - before;
}

int HtmlRipper::GrabImports(std::string& text) {
    const int before = m_added;
    std::string out;
    std::size_t copied = 0;
    std::size_t pos = 0;
    while (!Cancelled()) {
        const auto [q, end] = NextImportString(text, pos);
        if (q == std::string::npos || end == std::string::npos) break;
        // On past the whole address, taken or not: an @import inside it is part of it.
        pos = end + 1;
        const std::optional<std::string> local =
            Collect(std::string_view(text).substr(q + 1, end - q - 1), kKindStyle, 0, false);
        if (!local) continue;
        out.append(text, copied, q + 1 - copied);
        const std::size_t written = out.size();
        out += Escaped(*local, std::string_view(&text[q], 1));
        NoteRewrite(q + 1, end, out.size() - written);
        copied = end;
    }
    FinishRewrite(text, out, copied);
    return m_added - before;
}

int HtmlRipper::GrabStyleBlocks() {
    const int before = m_added;
    std::string out;
    std::size_t copied = 0;
    std::size_t pos = 0;
    PageScanCursor cursor(m_text);
    std::vector<RewrittenRange> blocks;  // the rewrites of this pass, each block whole
    while (!Cancelled()) {
        const std::size_t at = FindInPage("<style", pos);
        if (at == std::string::npos) break;
        pos = at + 1;
        // Only a style tag of its own, not one inside another tag's value.
        const char next = at + 6 < m_text.size() ? m_text[at + 6] : '\0';
        if (!(IsTagSpace(next) || next == '>' || next == '/') || !cursor.StartsTag(at)) continue;
        const std::size_t start = cursor.TagEnd(at);
        if (start >= m_text.size()) break;
        const std::size_t end = FindInPage("</style", start);
        if (end == std::string::npos) break;
        pos = end;
        std::string css = m_text.substr(start, end - start);
        const bool wasChanged = m_changed;
        m_changed = false;
        if ((m_kinds & kKindPicture) != 0) GrabStyleUrls(css, true);
        if ((m_kinds & kKindStyle) != 0) GrabImports(css);
        if (m_changed) {
            out.append(m_text, copied, start - copied);
            out += css;
            blocks.push_back({start, end, css.size()});
            // The block must still end where it ended for the page to read as before.
            if (FindNeedleNoCase(css, "</style") != std::string::npos) m_tagsAstray = true;
            copied = end;
        }
        m_changed = wasChanged || m_changed;
    }
    if (copied > 0) {
        out.append(m_text, copied);
        m_text.swap(out);
        ++m_version;
    }
    m_pass = std::move(blocks);
    EndPass(m_text, out);
    return m_added - before;
}

int HtmlRipper::ParseCssFile(const std::string& path, const std::string& url) {
    PageFile sheet;
    TrackText(path, sheet.text, true);
    if (!sheet.Load(path) || sheet.text.empty()) return 0;
    LoadPage(path, url);
    m_baseUrl.clear();
    const int found = m_links.FindUrl(url);
    m_parent = found >= 0 ? found : 0;
    m_changed = false;
    const int before = m_added;
    GrabStyleUrls(sheet.text, true);
    if (m_modern) GrabImports(sheet.text);
    // Written back whenever a reference changed, also one to a resource already listed.
    if (m_changed) sheet.Save(sheet.text);
    return m_added - before;
}

}  // namespace kov
