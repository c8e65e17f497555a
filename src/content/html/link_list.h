#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kov {

// One resource collected from a page.
struct LinkRecord {
    std::string url;        // absolute, without fragment
    std::string localPath;  // full path of the local file
    std::string fragment;   // "#..." cut off the URL
    std::string finalUrl;   // where the server delivered it after redirects, when elsewhere
    int kind = 0;
    int depth = 0;   // 0 embedded, parent page's depth + 1 for links
    int parent = 0;  // index of the page it was found on
    bool fetch = true;
    bool downloaded = false;
    bool html = false;  // fetched and found to be an HTML page
};

// The records of one rip in order of discovery, looked up by URL and local path through hash
// indexes; where several records match, the first in list order wins.
class LinkList {
public:
    void Clear();
    void Add(LinkRecord record);
    std::size_t Count() const { return m_records.size(); }
    const LinkRecord& At(std::size_t i) const { return m_records[i]; }
    LinkRecord& At(std::size_t i) { return m_records[i]; }

    // -1 when none.
    int FindUrl(const std::string& url) const;  // exact
    // ASCII case ignored: the first record of that URL that accept takes.
    int FindUrlNoCase(std::string_view url, const std::function<bool(std::size_t)>& accept) const;
    int FindLocalPathNoCase(std::string_view path) const;  // ASCII case ignored

private:
    std::vector<LinkRecord> m_records;
    std::unordered_map<std::string, int> m_byUrl;
    std::unordered_map<std::string, std::vector<int>> m_byUrlLower;  // every record, in order
    std::unordered_map<std::string, int> m_byPathLower;
};

}  // namespace kov
