#include "content/html/link_list.h"

#include "core/text/text_util.h"

namespace kov {

namespace {

int Lookup(const std::unordered_map<std::string, int>& index, const std::string& key) {
    const auto it = index.find(key);
    return it == index.end() ? -1 : it->second;
}

}  // namespace

void LinkList::Clear() {
    m_records.clear();
    m_byUrl.clear();
    m_byUrlLower.clear();
    m_byPathLower.clear();
}

void LinkList::Add(LinkRecord record) {
    const int index = static_cast<int>(m_records.size());
    // emplace keeps an earlier record under the same key.
    m_byUrl.emplace(record.url, index);
    m_byUrlLower[ToLowerAscii(record.url)].push_back(index);
    m_byPathLower.emplace(ToLowerAscii(record.localPath), index);
    m_records.push_back(std::move(record));
}

int LinkList::FindUrl(const std::string& url) const {
    return Lookup(m_byUrl, url);
}

int LinkList::FindUrlNoCase(std::string_view url,
                            const std::function<bool(std::size_t)>& accept) const {
    const auto it = m_byUrlLower.find(ToLowerAscii(url));
    if (it == m_byUrlLower.end()) return -1;
    for (int index : it->second) {
        if (accept(static_cast<std::size_t>(index))) return index;
    }
    return -1;
}

int LinkList::FindLocalPathNoCase(std::string_view path) const {
    return Lookup(m_byPathLower, ToLowerAscii(path));
}

}  // namespace kov
