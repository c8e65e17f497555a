// Walking the tags of the page being worked on: the lower-case copy searched for them, the
// script blocks they are skipped in, and the rewrite of the tags a pass changes.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <span>
#include <vector>

#include "content/html/html_ripper.h"
#include "content/html/html_tag.h"
#include "content/html/needle_search.h"
#include "content/html/page_file.h"
#include "content/html/page_scan_cursor.h"
#include "content/html/page_tags.h"
#include "core/text/text_util.h"

namespace kov {

void HtmlRipper::FindScripts() {
    // Rewrites that make or break a script mark have them found again.
    if (!m_tags.MarksReady()) m_tags.FindMarks(m_text);
}

std::size_t HtmlRipper::FindInPage(std::string_view lowerNeedle, std::size_t from) {
    return FindNeedleNoCase(m_text, lowerNeedle, from);
}

namespace {

// The names of the tags the passes look for; the tags of a page are walked once for them all.
constexpr std::string_view kScannedNames[] = {
    "a",    "applet", "audio", "bgsound", "body",   "embed", "frame", "iframe", "img",
    "link", "object", "param", "script",  "source", "table", "td",    "tr",     "video",
};

const std::vector<std::uint64_t>& ScannedKeys() {
    static const std::vector<std::uint64_t> keys = [] {
        std::vector<std::uint64_t> out;
        for (const std::string_view name : kScannedNames)
            out.push_back(PageTags::Key(name));
        return out;
    }();
    return keys;
}

}  // namespace

PageTags HtmlRipper::TagsOf(std::string_view text) {
    PageTags tags;
    tags.Read(text, ScannedKeys());
    tags.FindMarks(text);
    tags.FindAbsent(text);
    return tags;
}

namespace {

char Folded(char c) {
    return static_cast<char>(c + (static_cast<unsigned char>(c - 'A') < 26 ? 32 : 0));
}

// A script mark ("<script", "</script>") may begin in [from, to) of text: a '<' there is
// followed by "sc" or "/sc" in any case.
bool MarkMayBegin(std::string_view text, std::size_t from, std::size_t to) {
    to = std::min(to, text.size());
    const char* data = text.data();
    while (from < to) {
        const void* found = std::memchr(data + from, '<', to - from);
        if (found == nullptr) return false;
        std::size_t i = static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1;
        if (i < text.size() && data[i] == '/') ++i;
        if (i + 1 < text.size() && Folded(data[i]) == 's' && Folded(data[i + 1]) == 'c')
            return true;
        from = static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1;
    }
    return false;
}

bool OpensAt(std::string_view text, std::size_t at) {
    constexpr std::string_view kOpen = "<script";
    if (text.size() - std::min(at, text.size()) < kOpen.size()) return false;
    for (std::size_t i = 0; i < kOpen.size(); ++i) {
        if (Folded(text[at + i]) != kOpen[i]) return false;
    }
    return true;
}

}  // namespace

bool HtmlRipper::MoveScripts(std::string_view old) {
    // A mark that overlaps a rewrite begins at most 8 bytes before it; when none may begin there
    // before nor after the rewrite, the marks are those of the text before, moved.
    if (!m_tags.MarksReady()) return false;
    const std::string_view text = m_text;
    std::ptrdiff_t delta = 0;
    for (const RewrittenRange& r : m_pass) {
        const std::size_t begin =
            static_cast<std::size_t>(static_cast<std::ptrdiff_t>(r.begin) + delta);
        // A script tag rewritten is one mark before and after, where it begins.
        const std::size_t same = OpensAt(old, r.begin) && OpensAt(text, begin) ? 1 : 0;
        if (MarkMayBegin(old, r.begin > 8 ? r.begin - 8 : 0, r.begin) ||
            MarkMayBegin(old, r.begin + same, r.end) ||
            MarkMayBegin(text, begin > 8 ? begin - 8 : 0, begin) ||
            MarkMayBegin(text, begin + same, begin + r.length))
            return false;
        delta +=
            static_cast<std::ptrdiff_t>(r.length) - static_cast<std::ptrdiff_t>(r.end - r.begin);
    }
    m_tags.ShiftMarks(m_pass);
    return true;
}

// A tag lies inside a script when the last script start before it comes after the last
// script end before it.
bool HtmlRipper::InsideScript(std::size_t pos) const {
    const std::vector<std::size_t>& opens = m_tags.Opens();
    const std::vector<std::size_t>& closes = m_tags.Closes();
    auto open = std::lower_bound(opens.begin(), opens.end(), pos);
    if (open == opens.begin()) return false;
    const std::size_t lastOpen = *(open - 1);
    auto close = std::lower_bound(closes.begin(), closes.end(), pos);
    return close == closes.begin() || *(close - 1) < lastOpen;
}

void HtmlRipper::ScanTags(std::string_view name, const TagVisit& visit) {
    const std::uint64_t key = PageTags::Key(name);
    const std::vector<std::uint64_t>& keys = ScannedKeys();
    // A name the walk does not take is looked for on its own.
    PageTags own;
    const bool listed = std::find(keys.begin(), keys.end(), key) != keys.end();
    if (listed && !m_tags.Ready()) m_tags.Read(m_text, keys);
    if (!listed) own.Read(m_text, std::span(&key, 1));
    const std::vector<PageTags::Tag>& tags = listed ? m_tags.All() : own.All();
    FindScripts();
    // The buffer of an earlier rewrite, room made at the first rewrite: most scans change
    // nothing, and a page rewritten row after row does not ask for new memory each time.
    std::string out = std::move(m_scratch);
    out.clear();
    std::size_t copied = 0;
    HtmlTag tag;
    for (const PageTags::Tag& found : tags) {
        if (found.key != key) continue;
        if (Cancelled()) break;
        const std::size_t at = found.pos;
        if (InsideScript(at)) continue;
        const std::size_t length = tag.Read(m_text, at, name);
        if (length == 0) continue;
        const std::size_t pos = at + length;
        if (!visit(tag)) continue;
        if (copied == 0 && out.capacity() < m_text.size() + m_text.size() / 16 + 512)
            out.reserve(PageRoom(m_text.size()));
        out.append(m_text, copied, at - copied);
        const std::size_t before = out.size();
        tag.WriteTo(out);
        const std::string_view written = std::string_view(out).substr(before);
        // The tag as written must read as the same tag to its end, or the tags after it are
        // walked again.
        if (found.end != pos || PageScanCursor(written).TagEnd(0) != written.size() ||
            written.size() <= name.size() + 1 || !IsTagSpace(written[name.size() + 1]))
            m_tagsAstray = true;
        NoteRewrite(at, pos, written.size());
        copied = pos;
    }
    FinishRewrite(m_text, out, copied);
    m_scratch = std::move(out);
}

}  // namespace kov
