// Walking the tags of the page being worked on: the lower-case copy searched for them, the
// script blocks they are skipped in, and the rewrite of the tags a pass changes.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "content/html/html_ripper.h"
#include "content/html/html_tag.h"
#include "content/html/needle_search.h"
#include "content/html/page_scan_cursor.h"
#include "core/text/text_util.h"

namespace kov {

void HtmlRipper::FindScripts() {
    // Rewrites outside scripts move them, so the positions are found again only after one.
    if (m_scriptsVersion == m_version) return;
    m_scriptsVersion = m_version;
    m_scriptOpens.clear();
    m_scriptCloses.clear();
    for (std::size_t at = FindInPage("<script"); at != std::string::npos;
         at = FindInPage("<script", at + 1)) {
        m_scriptOpens.push_back(at);
    }
    for (std::size_t at = FindInPage("</script>"); at != std::string::npos;
         at = FindInPage("</script>", at + 1)) {
        m_scriptCloses.push_back(at);
    }
}

std::size_t HtmlRipper::FindInPage(std::string_view lowerNeedle, std::size_t from) {
    // Searched in a lower-case copy, made once per version of the page.
    if (m_lowerVersion != m_version) {
        m_lowerVersion = m_version;
        m_lower.resize(m_text.size());
        // Plain pointers and no branch, so that the compiler can do it many bytes at a time.
        const char* text = m_text.data();
        char* to = m_lower.data();
        const std::size_t size = m_text.size();
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            to[i] = static_cast<char>(c + (static_cast<unsigned char>(c - 'A') < 26 ? 32 : 0));
        }
    }
    if (from >= m_lower.size()) return std::string::npos;
    return FindNeedle(m_lower, lowerNeedle, from);
}

// The names of the tags a page holds, so that the scans for the others are skipped.
void HtmlRipper::FindTagNames() {
    m_tagNames.clear();
    const std::string_view text = m_text;
    for (std::size_t at = text.find('<'); at != std::string_view::npos;
         at = text.find('<', at + 1)) {
        std::size_t end = at + 1;
        while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end])))
            ++end;
        if (end > at + 1) m_tagNames.insert(ToLowerAscii(text.substr(at + 1, end - at - 1)));
    }
}

// A tag lies inside a script when the last script start before it comes after the last
// script end before it.
bool HtmlRipper::InsideScript(std::size_t pos) const {
    auto open = std::lower_bound(m_scriptOpens.begin(), m_scriptOpens.end(), pos);
    if (open == m_scriptOpens.begin()) return false;
    const std::size_t lastOpen = *(open - 1);
    auto close = std::lower_bound(m_scriptCloses.begin(), m_scriptCloses.end(), pos);
    return close == m_scriptCloses.begin() || *(close - 1) < lastOpen;
}

void HtmlRipper::ScanTags(std::string_view name, const TagVisit& visit) {
    const std::string pattern = "<" + std::string(name);
    FindScripts();
    // The buffer of an earlier rewrite, room made at the first rewrite: most scans change
    // nothing, and a page rewritten row after row does not ask for new memory each time.
    std::string out = std::move(m_scratch);
    out.clear();
    std::size_t pos = 0;
    std::size_t copied = 0;
    HtmlTag tag;
    PageScanCursor cursor(m_text);
    // The next '>' is looked for again only once passed: a page of unclosed tags would
    // otherwise be searched to its end for each of them.
    std::size_t close = std::string::npos;
    while (m_text.size() - pos >= pattern.size() && !Cancelled()) {
        const std::size_t at = FindInPage(pattern, pos);
        if (at == std::string::npos) break;
        if (close == std::string::npos || close < at) close = m_text.find('>', at);
        if (close == std::string::npos) break;
        if (InsideScript(at)) {
            const std::size_t end = FindInPage("</script>", at);
            pos = end == std::string::npos ? m_text.size() : end + 9;
            continue;
        }
        // Inside another tag, a name is text of that tag, not a tag of its own.
        const std::size_t length = cursor.StartsTag(at) ? tag.Read(m_text, at, name) : 0;
        if (length == 0) {
            pos = at + 1;
            continue;
        }
        pos = at + length;
        if (!visit(tag)) continue;
        if (copied == 0) out.reserve(m_text.size() + m_text.size() / 8 + 1024);
        out.append(m_text, copied, at - copied);
        const std::size_t before = out.size();
        out += tag.Write();
        NoteRewrite(at, pos, out.size() - before);
        copied = pos;
    }
    FinishRewrite(m_text, out, copied);
    m_scratch = std::move(out);
}

}  // namespace kov
