// The last pass of a rip: links between fetched pages point at their local copies.

#include "content/html/html_ripper.h"
#include "content/html/html_tag.h"
#include "content/html/link_kind.h"
#include "content/html/page_file.h"
#include "content/html/split_path.h"
#include "content/html/url_resolver.h"
#include "core/text/text_util.h"
#include "model/url_parts.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr std::size_t kCrossRefCapacity = 510;
// Links a cross-reference worker remembers across pages before it starts anew.
constexpr std::size_t kSharedCrossRefs = 100000;

// target relative to folder (both absolute, folder ending in '/').
std::string RelativePath(const std::string& target, const std::string& folder) {
    std::size_t common = 0;
    for (std::size_t i = 0; i < target.size() && i < folder.size() && target[i] == folder[i]; ++i) {
        if (folder[i] == '/') common = i + 1;
    }
    std::string out;
    for (std::size_t i = common; i < folder.size(); ++i) {
        if (folder[i] == '/') out += "../";
    }
    return out + target.substr(common);
}

bool IsRelativeReference(std::string_view href) {
    if (href.empty() || href.front() == '#' || href.starts_with("//")) return false;
    const std::size_t colon = href.find(':');
    const std::size_t slash = href.find('/');
    return colon == std::string_view::npos || (slash != std::string_view::npos && slash < colon);
}

}  // namespace

// Asked once per record: pages link to the same pages again and again.
bool HtmlRipper::LocalCopyExists(std::size_t i) {
    const LinkRecord& record = m_links.At(i);
    if (record.downloaded) return true;
    if (m_exists.size() < m_links.Count()) m_exists.resize(m_links.Count(), -1);
    if (m_exists[i] < 0) m_exists[i] = FileExists(record.localPath) ? 1 : 0;
    return m_exists[i] == 1;
}

std::optional<std::string> HtmlRipper::CrossRefFor(const std::string& href, std::size_t i,
                                                   const std::string& pageUrl) {
    const std::string& base = m_modern && !m_baseUrl.empty() ? m_baseUrl : pageUrl;
    const bool plain = href.find('&') == std::string::npos;
    // A place on the page itself: every such link leads to the same record, and when that is
    // the page, stays a plain fragment (see CrossRefNew).
    if (m_modern && plain && href.front() == '#' && ResolvedDirectly(base, href)) {
        if (m_selfTarget == kNotWorkedOut) {
            std::optional<std::string> here = ResolveUrl(base, "#");
            m_selfTarget = -1;
            if (here && here->ends_with('#')) {
                here->pop_back();
                m_selfTarget = m_links.FindUrlNoCase(
                    *here, [this](std::size_t r) { return LocalCopyExists(r); });
            }
        }
        if (m_selfTarget == static_cast<int>(i)) return std::nullopt;
    }
    // "&amp;" in a fragment would be read as "&" and the fragment not appended as it stands.
    const std::size_t hash = plain ? FragmentAppends(base, href) : std::string::npos;
    const auto make = [&] { return CrossRefNew(href, i, base); };
    // Other pages in the same folders have the same links, which then come to the same.
    std::string_view folder;
    if (m_sharedCrossRefs && href.front() != '#' && href.front() != '?') {
        if (!m_baseFolderKnown) m_baseFolder = std::string(ReferenceFolder(base));
        m_baseFolderKnown = true;
        folder = m_baseFolder;
    }
    if (!folder.empty()) {
        if (m_folderWholeCrossRefs.size() + m_folderCrossRefs.size() > kSharedCrossRefs) {
            m_folderWholeCrossRefs.clear();
            m_folderCrossRefs.clear();
        }
        // The key is made in a buffer of the worker's: a link seen before needs no new memory.
        std::string& key = m_crossRefKey;
        key.assign(m_pageFolder).append(1, '\n').append(folder).append(1, '\n');
        key.append(href, 0, hash);
        if (hash != std::string::npos) {
            return Memoized(m_folderCrossRefs, key, base, href, hash,
                            std::string_view(href).substr(hash), kCrossRefCapacity, make);
        }
        const auto known = m_folderWholeCrossRefs.find(std::string_view(key));
        if (known != m_folderWholeCrossRefs.end()) return known->second;
        std::optional<std::string> result = make();
        m_folderWholeCrossRefs.emplace(key, result);
        return result;
    }
    if (hash == std::string::npos) return make();
    const std::string_view fragment = std::string_view(href).substr(hash);
    return Memoized(m_knownCrossRefs, href.substr(0, hash), base, href, hash, fragment,
                    kCrossRefCapacity, make);
}

std::optional<std::string> HtmlRipper::CrossRefNew(const std::string& href, std::size_t i,
                                                   const std::string& base) {
    std::optional<std::string> resolved = ResolveUrl(base, m_modern ? AddressOfValue(href) : href);
    if (!resolved || resolved->size() > kCrossRefCapacity) return std::nullopt;
    std::string fragment;
    const std::size_t hash = resolved->find('#');
    if (hash != std::string::npos) {
        fragment = resolved->substr(hash);
        resolved->erase(hash);
    }
    // Addresses that differ in case only are several records; the one that arrived counts.
    const int target =
        m_links.FindUrlNoCase(*resolved, [this](std::size_t r) { return LocalCopyExists(r); });
    std::string replacement;
    if (target >= 0) {
        const std::string& local = m_links.At(target).localPath;
        replacement = m_modern ? RelativePath(local, m_pageFolder) : local;
        // A link within the page itself stays a plain fragment.
        if (m_modern && static_cast<std::size_t>(target) == i && !fragment.empty() &&
            href.front() == '#') {
            return std::nullopt;
        }
    } else if (m_modern && IsRelativeReference(href)) {
        // A page that was not fetched is reached on the web, also from the local copy.
        UrlParts parts;
        if (!SplitUrl(*resolved, parts, false) || parts.scheme.starts_with("file")) {
            return std::nullopt;
        }
        replacement = *resolved;
    } else {
        return std::nullopt;
    }
    replacement += fragment;
    if (replacement == href) return std::nullopt;
    return replacement;
}

std::unique_ptr<HtmlRipper> HtmlRipper::CrossRefWorker() {
    for (std::size_t i = 0; i < m_links.Count(); ++i)
        LocalCopyExists(i);
    auto worker = std::make_unique<HtmlRipper>();
    worker->m_links = m_links;
    worker->m_exists = m_exists;
    worker->m_kinds = m_kinds;
    worker->m_cancel = m_cancel;
    worker->m_modern = m_modern;
    worker->m_https = m_https;
    worker->m_pageHost = m_pageHost;
    worker->m_pagePort = m_pagePort;
    worker->m_holdLimit = m_holdLimit;
    worker->m_sharedCrossRefs = true;
    return worker;
}

void HtmlRipper::HandOver(const std::string& path, HtmlRipper& to) {
    const auto it = m_held.find(path);
    if (it == m_held.end()) return;
    m_heldBytes -= it->second.Bytes();
    to.m_heldBytes += it->second.Bytes();
    to.m_held.insert_or_assign(path, std::move(it->second));
    m_held.erase(it);
}

int HtmlRipper::AdjustCrossRefs(std::size_t i) {
    if (i >= m_links.Count()) return 0;
    const LinkRecord page = m_links.At(i);
    if (page.kind != kKindPage || !page.downloaded || !page.html) return 0;
    PageFile file;
    const bool held = m_held.count(page.localPath) != 0;
    if (!TakePage(page.localPath, file) || file.text.empty()) return 0;
    const std::string& pageUrl = page.finalUrl.empty() ? page.url : page.finalUrl;
    LoadPage(page.localPath, pageUrl);
    m_text = std::move(file.text);
    ++m_version;
    m_changed = false;
    if (m_modern) TakeBase();
    m_selfTarget = kNotWorkedOut;
    m_baseFolderKnown = false;
    int changed = 0;
    const auto rewrite = [&](HtmlTag& tag) {
        const int index = tag.FindAttribute("href");
        if (index < 0 || tag.attributes[index].value.empty()) return false;
        if (tag.name == "link" && LinkCollected(tag)) return false;
        std::string& href = tag.attributes[index].value;
        std::optional<std::string> replacement = CrossRefFor(href, i, pageUrl);
        if (!replacement) return false;
        href = std::move(*replacement);
        ++changed;
        return true;
    };
    ScanTags("a", rewrite);
    // The page now lies in another folder than on the server: a <link> the rip did not fetch
    // (next, index, search, ...) would lead nowhere with its old relative address.
    if (m_modern) ScanTags("link", rewrite);
    // The last pass over the page: written now.
    if (m_changed || held) {
        file.text = std::move(m_text);
        PutPage(page.localPath, std::move(file), true);
    }
    m_text.clear();
    return changed;
}

}  // namespace kov
