#include "session/pending_queries.h"

#include <unistd.h>

#include <set>
#include <sstream>
#include <utility>

#include "platform/file_util.h"

namespace kov {

namespace {

// An item is known by its URL and its destination: a query's destination folder is new for
// each poll, so an item of an earlier poll does not pass for one of this.
std::string ItemLine(const UrlItem& item) {
    return item.Url + "\t" + item.Dest;
}

}  // namespace

bool PendingQueries::Write(const IncomingQueries& queries) const {
    std::string text;
    for (const std::string& key : queries.keys)
        text += "key " + key + "\n";
    for (const UrlItem& item : queries.items)
        text += "item " + ItemLine(item) + "\n";
    return WriteFileAtomic(m_path, text);
}

void PendingQueries::Clear() const {
    ::unlink(m_path.c_str());
}

std::vector<std::string> PendingQueries::Recover(const ListModel& rows) const {
    const auto text = ReadFile(m_path);
    if (!text) return {};
    std::vector<std::string> keys;
    std::set<std::string> items;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("key ", 0) == 0) keys.push_back(line.substr(4));
        if (line.rfind("item ", 0) == 0) items.insert(line.substr(5));
    }
    // The list is saved whole or not at all: one of the items there means all of them are.
    for (std::size_t i = 0; i < rows.Count(); ++i)
        if (items.count(ItemLine(rows.At(i).item))) return keys;
    return {};
}

}  // namespace kov
