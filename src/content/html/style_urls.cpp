// Style sheets: url(...) references in tags, in style sheets and in style blocks, and
// @import rules.

#include "content/html/html_ripper.h"
#include "content/html/html_tag.h"
#include "content/html/link_kind.h"
#include "content/html/page_file.h"
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

// The next "url(" (any case) from pos: found by its '(' (memchr), which pages have fewer of.
std::size_t FindUrlOpen(std::string_view text, std::size_t pos) {
    for (std::size_t paren = text.find('(', pos + 3); paren != std::string_view::npos;
         paren = text.find('(', paren + 1)) {
        if (IEquals(text.substr(paren - 3, 3), "url")) return paren - 3;
    }
    return std::string_view::npos;
}

}  // namespace

int HtmlRipper::GrabStyleUrls(std::string& text, bool sheetMode) {
    const char open = sheetMode ? '{' : '<';
    const char close = sheetMode ? '}' : '>';
    const char both[] = {open, close, '\0'};
    const int before = m_added;
    std::string out;
    std::size_t copied = 0;
    std::size_t pos = 0;
    // The marks around each reference are found moving forward only, so that a sheet of
    // many references and few marks is still read in one pass.
    std::size_t end = text.find(')');
    std::size_t blockEnd = text.find(close);
    std::size_t last = std::string::npos;
    std::size_t nextMark = text.find_first_of(both);
    while (!Cancelled()) {
        const std::size_t at = FindUrlOpen(text, pos);
        if (at == std::string::npos) break;
        pos = at + 4;
        if (end != std::string::npos && end < pos) end = text.find(')', pos);
        if (end == std::string::npos) break;
        // Only inside a block; in today's style sheets @import url(...) stands outside one.
        while (nextMark != std::string::npos && nextMark < at) {
            last = nextMark;
            nextMark = text.find_first_of(both, nextMark + 1);
        }
        const bool inBlock = last != std::string::npos && text[last] == open;
        if (!inBlock && !(sheetMode && m_modern)) continue;
        if (blockEnd != std::string::npos && blockEnd < at) blockEnd = text.find(close, at);
        if (inBlock && blockEnd != std::string::npos && blockEnd < end) continue;
        const std::string_view raw = Unquoted(std::string_view(text).substr(pos, end - pos));
        // A '(' means the reference ends at a later ')': it is left as the page wrote it.
        if (raw.size() > kStyleUrlCapacity || raw.find('(') != std::string_view::npos) continue;
        const std::optional<std::string> local = Collect(raw, kKindPicture, 0, false);
        if (!local) continue;
        out.append(text, copied, at - copied);
        // A name with blanks, quotes or parentheses is valid in a style sheet only quoted.
        if (local->find_first_of(" \t'()") == std::string::npos)
            out += "url(" + *local + ")";
        else
            out += "url(\"" + *local + "\")";
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
        const std::size_t at = FindNoCase(text, "@import", pos);
        if (at == std::string::npos) break;
        pos = at + 7;
        std::size_t q = pos;
        while (q < text.size() && IsTagSpace(text[q]))
            ++q;
        // url(...) forms were taken with the other references.
        if (q >= text.size() || (text[q] != '"' && text[q] != '\'')) continue;
        const std::size_t end = text.find(text[q], q + 1);
        if (end == std::string::npos) break;
        const std::optional<std::string> local =
            Collect(std::string_view(text).substr(q + 1, end - q - 1), kKindStyle, 0, false);
        if (!local) continue;
        out.append(text, copied, q + 1 - copied);
        out += *local;
        copied = pos = end;
    }
    FinishRewrite(text, out, copied);
    return m_added - before;
}

int HtmlRipper::GrabStyleBlocks() {
    const int before = m_added;
    std::string out;
    std::size_t copied = 0;
    std::size_t pos = 0;
    HtmlTag tag;
    while (!Cancelled()) {
        const std::size_t at = FindInPage("<style", pos);
        if (at == std::string::npos) break;
        const std::size_t start = m_text.find('>', at);
        if (start == std::string::npos) break;
        const std::size_t end = FindInPage("</style", start);
        if (end == std::string::npos) break;
        pos = end;
        std::string css = m_text.substr(start + 1, end - start - 1);
        const bool wasChanged = m_changed;
        m_changed = false;
        if ((m_kinds & kKindPicture) != 0) GrabStyleUrls(css, true);
        if ((m_kinds & kKindStyle) != 0) GrabImports(css);
        if (m_changed) {
            out.append(m_text, copied, start + 1 - copied);
            out += css;
            copied = end;
        }
        m_changed = wasChanged || m_changed;
    }
    if (copied > 0) {
        out.append(m_text, copied);
        m_text.swap(out);
        ++m_version;
    }
    return m_added - before;
}

int HtmlRipper::ParseCssFile(const std::string& path, const std::string& url) {
    PageFile sheet;
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
