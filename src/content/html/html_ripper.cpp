#include "content/html/html_ripper.h"

#include <algorithm>

#include "content/html/html_tag.h"
#include "content/html/link_kind.h"
#include "content/html/link_memo.h"
#include "content/html/page_file.h"
#include "content/html/split_path.h"
#include "content/html/url_resolver.h"
#include "core/text/text_util.h"
#include "model/url_parts.h"

namespace kov {

namespace {

constexpr std::size_t kUrlCapacity = 511;
constexpr std::size_t kFragmentCapacity = 127;

bool HasWord(std::string_view list, std::string_view word) {
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && IsTagSpace(list[i]))
            ++i;
        std::size_t end = i;
        while (end < list.size() && !IsTagSpace(list[end]))
            ++end;
        if (end > i && IEquals(list.substr(i, end - i), word)) return true;
        i = end;
    }
    return false;
}

// Only what a transfer can fetch is collected; mailto:, javascript:, data: and the like stay.
bool Fetchable(std::string_view scheme, bool https) {
    return scheme == "http" || (https && scheme == "https");
}

// A port is part of the site; the scheme's own port counts as none, so that with https on
// http://h/ and https://h/ stay one site.
int SitePort(const UrlParts& parts) {
    return parts.port == DefaultPort(parts.scheme) ? 0 : parts.port;
}

}  // namespace

HtmlRipper::~HtmlRipper() {
    WriteHeldPages();
}

bool HtmlRipper::WriteHeldPages() {
    bool ok = true;
    for (auto& [path, held] : m_held)
        ok = held.file.Save(held.file.text) && ok;
    m_held.clear();
    m_heldBytes = 0;
    return ok;
}

void HtmlRipper::HoldPage(const std::string& path, PageFile page, PageTags tags) {
    HeldPage held{std::move(page), std::move(tags)};
    if (m_heldBytes + held.Bytes() > m_holdLimit || m_held.count(path) != 0) return;
    TrackText(path, m_text, true);
    m_heldBytes += held.Bytes();
    m_held.emplace(path, std::move(held));
}

bool HtmlRipper::TakePage(const std::string& path, PageFile& page) {
    m_tags.Clear();
    const auto it = m_held.find(path);
    if (it == m_held.end()) {
        TrackText(path, m_text, m_wrote.count(path) == 0);
        return page.Load(path);
    }
    TrackText(path, m_text, false);
    m_heldBytes -= it->second.Bytes();
    page = std::move(it->second.file);
    m_tags = std::move(it->second.tags);
    m_held.erase(it);
    return true;
}

void HtmlRipper::PutPage(const std::string& path, PageFile page, bool final) {
    if (m_trackRewrites) m_wrote.insert(path);
    HeldPage held{std::move(page), std::move(m_tags)};
    m_tags.Clear();
    if (final || m_heldBytes + held.Bytes() > m_holdLimit) {
        held.file.Save(held.file.text);
        return;
    }
    m_heldBytes += held.Bytes();
    m_held.insert_or_assign(path, std::move(held));
}

void HtmlRipper::SetDetectUrlTypes(bool on, TypeQuery query) {
    m_detectTypes = on;
    m_typeQuery = std::move(query);
}

void HtmlRipper::SetPageHost(const std::string& url) {
    UrlParts parts;
    const bool split = SplitUrl(url, parts, false);
    m_pageHost = split ? parts.host : std::string();
    m_pagePort = split ? SitePort(parts) : 0;
}

void HtmlRipper::ResetLinks(const std::string& localPath, const std::string& url) {
    WriteHeldPages();
    m_links.Clear();
    m_exists.clear();
    m_nextNumber.clear();
    m_rewrites.clear();
    m_wrote.clear();
    // On its own a ripper starts each rip afresh; names shared with a job's other passes stay.
    if (m_names == &m_ownNames) m_ownNames.urlByPath.clear();
    LinkRecord main;
    main.url = url.substr(0, url.find('#'));
    main.localPath = localPath;
    main.kind = kKindPage;
    main.fetch = false;
    main.downloaded = true;
    main.html = true;
    AddRecord(std::move(main));
}

void HtmlRipper::RestoreLinks(const std::vector<LinkRecord>& earlier) {
    for (std::size_t i = 1; i < earlier.size(); ++i) {
        LinkRecord record = earlier[i];
        record.downloaded = false;
        AddRecord(std::move(record));
    }
}

void HtmlRipper::AddRecord(LinkRecord record) {
    // emplace: the first address to take a path keeps it.
    m_names->urlByPath.emplace(ToLowerAscii(record.localPath), record.url);
    m_links.Add(std::move(record));
}

bool HtmlRipper::PathTaken(const std::string& path, const std::string& url) const {
    if (m_links.FindLocalPathNoCase(path) >= 0) return true;
    const auto it = m_names->urlByPath.find(ToLowerAscii(path));
    return it != m_names->urlByPath.end() && it->second != url;
}

bool HtmlRipper::SameSite(const UrlParts& parts) const {
    return IEquals(parts.host, m_pageHost) && SitePort(parts) == m_pagePort;
}

bool HtmlRipper::PassesHostTest(std::string_view url) const {
    UrlParts parts;
    return SplitUrl(url, parts, false) && OnSite(parts);
}

bool HtmlRipper::OnSite(const UrlParts& parts) const {
    if (!SameSite(parts)) return false;
    return parts.scheme == "http" || (m_modern && m_https && parts.scheme == "https");
}

void HtmlRipper::LoadPage(const std::string& path, const std::string& url) {
    m_knownLinks.clear();
    m_knownCrossRefs.clear();
    m_pageUrl = CapText(url, kUrlCapacity);
    m_pageFolder = SplitPath(path, "1");
    m_pageBase = SplitPath(path, "2");
}

void HtmlRipper::TakeBase() {
    // What links came to holds for one base.
    m_knownLinks.clear();
    m_knownCrossRefs.clear();
    m_baseUrl.clear();
    if (m_tags.Absent(PageTags::kBaseTag)) return;
    const std::size_t at = FindInPage("<base");
    if (at == std::string::npos || m_text.find('>', at) == std::string::npos) return;
    HtmlTag tag;
    if (tag.Read(m_text, at, "base") == 0) return;
    m_baseUrl = std::string(tag.Value("href"));
}

std::string HtmlRipper::ReferenceTo(const std::string& localPath) const {
    return SplitPath(localPath, "23");
}

std::optional<std::string> HtmlRipper::Collect(std::string_view raw, int kind, int depth,
                                               bool sameHost, bool byExtension) {
    raw = TrimBlanks(raw);
    if (raw.empty() || raw.front() == '#' || raw.find('+') != std::string_view::npos ||
        raw.find('"') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view base = m_baseUrl.empty() ? m_pageUrl : m_baseUrl;
    const std::size_t hash = FragmentAppends(base, raw);
    const auto make = [&] { return CollectNew(raw, kind, depth, sameHost, byExtension); };
    if (hash == std::string_view::npos) return make();
    std::string key = std::string(raw.substr(0, hash)) + ' ' + std::to_string(kind) + ' ' +
                      std::to_string(depth) + (sameHost ? "s" : "") + (byExtension ? "e" : "");
    return Memoized(m_knownLinks, std::move(key), base, raw, hash,
                    CapText(raw.substr(hash), kFragmentCapacity), kUrlCapacity, make);
}

std::optional<std::string> HtmlRipper::CollectNew(std::string_view raw, int kind, int depth,
                                                  bool sameHost, bool byExtension) {
    if (sameHost) {
        UrlParts parts;
        if (SplitUrl(raw, parts, false) && !SameSite(parts)) return std::nullopt;
    }
    std::optional<std::string> resolved =
        ResolveUrl(m_baseUrl.empty() ? m_pageUrl : m_baseUrl, raw);
    if (!resolved || resolved->size() > kUrlCapacity) return std::nullopt;
    LinkRecord record;
    const std::size_t hash = resolved->find('#');
    if (hash != std::string::npos) {
        record.fragment = CapText(std::string_view(*resolved).substr(hash), kFragmentCapacity);
        resolved->erase(hash);
    }
    record.url = std::move(*resolved);
    UrlParts parts;
    if (!SplitUrl(record.url, parts, false) || !Fetchable(parts.scheme, m_https)) {
        return std::nullopt;
    }
    // A link that the site test will refuse keeps its address instead of pointing at a
    // file that is never fetched.
    if (sameHost && !OnSite(parts)) return std::nullopt;
    if (byExtension) {
        const int byName =
            KindFromExtension(SplitPath(record.url.substr(0, record.url.find('?')), "23"));
        if (byName != -1) kind = byName;
    }
    record.kind = kind;
    record.depth = depth;
    record.parent = m_parent;
    std::string fragment = record.fragment;
    if (!MakeLocalName(record)) {
        ++m_added;
        std::string path = record.localPath;
        AddRecord(std::move(record));
        return ReferenceTo(path) + fragment;
    }
    return ReferenceTo(record.localPath) + fragment;
}

std::optional<std::string> HtmlRipper::CollectSrcset(std::string_view value, int kind) {
    // A candidate's address runs to white space and may hold commas (data: addresses do);
    // its descriptors run to the next comma.
    std::string out;
    bool changed = false;
    std::size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && (IsTagSpace(value[i]) || value[i] == ','))
            ++i;
        if (i >= value.size()) break;
        std::size_t next = i;
        while (next < value.size() && !IsTagSpace(value[next]))
            ++next;
        std::string_view url = value.substr(i, next - i);
        std::string_view descriptors;
        if (url.ends_with(',')) {
            while (url.ends_with(','))
                url.remove_suffix(1);
        } else {
            const std::size_t comma = std::min(value.find(',', next), value.size());
            descriptors = value.substr(next, comma - next);
            while (!descriptors.empty() && IsTagSpace(descriptors.front()))
                descriptors.remove_prefix(1);
            while (!descriptors.empty() && IsTagSpace(descriptors.back()))
                descriptors.remove_suffix(1);
            next = comma;
        }
        const std::optional<std::string> local = Collect(url, kind, 0, false);
        if (!out.empty()) out += ", ";
        out += local ? *local : std::string(url);
        if (!descriptors.empty()) {
            out += ' ';
            out += descriptors;
        }
        changed = changed || local.has_value();
        i = next;
    }
    if (!changed) return std::nullopt;
    return out;
}

bool HtmlRipper::RowAccepts(const ScanRow& row, const HtmlTag& tag) const {
    switch (row.match) {
        case Match::None:
            return true;
        case Match::Equals:
            return tag.FindAttribute(row.condAttribute) >= 0 &&
                   IEquals(tag.Value(row.condAttribute), row.condValue);
        case Match::HasWord:
            return HasWord(tag.Value(row.condAttribute), row.condValue);
        case Match::StyleLink:
            return IEquals(tag.Value("type"), "text/css") ||
                   (m_modern && HasWord(tag.Value("rel"), "stylesheet"));
    }
    return false;
}

bool HtmlRipper::LinkCollected(const HtmlTag& tag) const {
    static constexpr ScanRow kStyle{kKindStyle, kKindStyle, "link",          "href",
                                    {},         {},         Match::StyleLink};
    return ((m_kinds & kKindStyle) != 0 && RowAccepts(kStyle, tag)) ||
           (m_modern && (m_kinds & kKindPicture) != 0 && HasWord(tag.Value("rel"), "icon"));
}

void HtmlRipper::FinishRewrite(std::string& text, std::string& out, std::size_t copied) {
    if (copied != 0) {  // something was replaced
        out.append(text, copied);
        text.swap(out);
        m_changed = true;
        ++m_version;
    }
    EndPass(text, out);
}

void HtmlRipper::TrackText(const std::string& path, const std::string& text, bool fresh) {
    if (!m_trackRewrites) return;
    m_trackedPath = path;
    m_trackedText = &text;
    if (fresh) m_rewrites[path].Clear();
}

void HtmlRipper::EndPass(const std::string& text, std::string_view old) {
    if (&text == &m_text && !m_pass.empty()) {
        if (m_tagsAstray) {
            m_tags.Clear();
        } else {
            m_tags.Shift(m_pass);
            m_tags.KeepAbsent(text, m_pass);
        }
        if (!MoveScripts(old)) m_tags.DropMarks();
    }
    m_tagsAstray = false;
    if (m_trackRewrites && &text == m_trackedText && !m_pass.empty())
        m_rewrites[m_trackedPath].AddPass(std::move(m_pass));
    m_pass.clear();
}

std::vector<RewrittenRange> HtmlRipper::RewrittenRanges(const std::string& path) const {
    const auto it = m_rewrites.find(path);
    return it == m_rewrites.end() ? std::vector<RewrittenRange>() : it->second.Ranges();
}

int HtmlRipper::GrabEmbedded(const ScanRow& row, int depth, bool sameHost, bool rewrite) {
    const int before = m_added;
    ScanTags(row.tag, [&](HtmlTag& tag) {
        const int index = tag.FindAttribute(row.attribute);
        if (index < 0 || tag.attributes[index].valueless || tag.attributes[index].value.empty() ||
            !RowAccepts(row, tag)) {
            return false;
        }
        std::string& value = tag.attributes[index].value;
        // Today's pages write "&" in addresses as "&amp;", as HTML asks.
        if (m_modern) value = AddressOfValue(value);
        const std::optional<std::string> local =
            row.srcset ? CollectSrcset(value, row.recordKind)
                       : Collect(value, row.recordKind, depth, sameHost, row.byExtension);
        if (!local || !rewrite) return false;
        value = *local;
        return true;
    });
    return m_added - before;
}

int HtmlRipper::ParseHtmlFile(const std::string& path, const std::string& url, bool noFrames) {
    PageFile page;
    const bool held = m_held.count(path) != 0;
    if (!TakePage(path, page) || page.text.empty()) return 0;
    LoadPage(path, url);
    m_text = std::move(page.text);
    ++m_version;
    m_changed = false;
    TakeBase();
    m_parent = 0;
    const int found = m_links.FindUrl(url.substr(0, url.find('#')));
    if (found >= 0) m_parent = found;

    static constexpr ScanRow kFrames[] = {
        {kKindPage, kKindPage, "frame", "src", {}, {}},
        {kKindPage, kKindPage, "iframe", "src", {}, {}},
    };
    static constexpr ScanRow kFirst[] = {
        {kKindScript, kKindScript, "script", "src", {}, {}},
        {kKindStyle, kKindStyle, "link", "href", {}, {}, Match::StyleLink},
        {kKindPicture, kKindPicture, "body", "background", {}, {}},
        {kKindPicture, kKindPicture, "table", "background", {}, {}},
        {kKindPicture, kKindPicture, "tr", "background", {}, {}},
        {kKindPicture, kKindPicture, "td", "background", {}, {}},
        {kKindPicture, kKindPicture, "img", "src", {}, {}},
    };
    static constexpr ScanRow kSecond[] = {
        {kKindSound, kKindSound, "bgsound", "src", {}, {}},
        {kKindSound, kKindSound, "object", "data", "type", "audio", Match::Equals},
        {kKindFlash, kKindFlash, "param", "value", "name", "movie", Match::Equals},
        {kKindJava, kKindJava, "applet", "archive", {}, {}},
        {kKindJava, kKindJava, "object", "classid", "codetype", "application/java", Match::Equals},
        {kKindJava, kKindPicture, "param", "value", "name", "image", Match::Equals},
        {kKindVideo, kKindVideo, "object", "data", "type", "video", Match::Equals},
    };
    static constexpr ScanRow kModern[] = {
        {kKindPicture, kKindPicture, "img", "srcset", {}, {}, Match::None, false, true},
        {kKindPicture, kKindPicture, "source", "srcset", {}, {}, Match::None, false, true},
        {kKindSound | kKindVideo, kKindVideo, "source", "src", {}, {}, Match::None, true},
        {kKindVideo, kKindVideo, "video", "src", {}, {}},
        {kKindVideo, kKindVideo, "video", "poster", {}, {}},
        {kKindSound, kKindSound, "audio", "src", {}, {}},
        {kKindPicture, kKindPicture, "link", "href", "rel", "icon", Match::HasWord},
    };
    auto run = [&](const ScanRow& row) {
        if ((m_kinds & row.kind) != 0 && !Cancelled()) GrabEmbedded(row, 0, false, true);
    };
    if (!noFrames) {
        for (const ScanRow& row : kFrames)
            run(row);
    }
    for (const ScanRow& row : kFirst)
        run(row);
    if ((m_kinds & kKindPicture) != 0 && !Cancelled()) GrabStyleUrls(m_text, false);
    for (const ScanRow& row : kSecond)
        run(row);
    if (m_modern) {
        for (const ScanRow& row : kModern)
            run(row);
        if ((m_kinds & (kKindPicture | kKindStyle)) != 0 && !Cancelled()) GrabStyleBlocks();
    }
    if (m_kinds != 0 && !Cancelled()) {
        GrabEmbedded({kKindAll, kKindAll, "embed", "src", {}, {}, Match::None, true}, 0, false,
                     true);
    }
    // What was rewritten before a cancel is kept too.
    if (m_changed || held) {
        page.text = std::move(m_text);
        PutPage(path, std::move(page), false);
    }
    m_text.clear();
    return static_cast<int>(m_links.Count());
}

int HtmlRipper::GrabHtmlLinks(const std::string& path, const std::string& url, int depth,
                              int parent) {
    PageFile page;
    const bool held = m_held.count(path) != 0;
    if (!TakePage(path, page) || page.text.empty()) return 0;
    LoadPage(path, url);
    m_text = std::move(page.text);
    ++m_version;
    TakeBase();
    m_parent = parent;
    m_changed = false;
    const int before = m_added;
    // Cross references are rewritten at the end, once it is known which pages arrived.
    const bool rewrite = !m_modern;
    GrabEmbedded({kKindPage, kKindPage, "a", "href", {}, {}}, depth + 1, true, rewrite);
    if (m_changed || held) {
        page.text = std::move(m_text);
        PutPage(path, std::move(page), false);
    }
    m_text.clear();
    return m_added - before;
}

}  // namespace kov
