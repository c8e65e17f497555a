#include "web_control/list_copies.h"

#include <system_error>
#include <unordered_set>

#include "core/prompter.h"
#include "model/list_document.h"
#include "model/list_file.h"
#include "web_control/api_reply.h"
#include "web_control/item_json.h"

namespace kov {

namespace {

// A read for a caller asks nobody anything; a failure is the answer.
class QuietPrompter : public Prompter {
public:
    void Inform(const std::string&) override {}
    bool Ask(const std::string&, bool defaultAnswer) override { return defaultAnswer; }
};

}  // namespace

ApiResponse ListCopies::Items(const ListDocument& document, std::size_t index) {
    const std::string path = document.ListFilePath(index);
    Copy& copy = m_copies[path];
    std::error_code e1, e2;
    const auto time = std::filesystem::last_write_time(path, e1);
    const auto size = std::filesystem::file_size(path, e2);
    if (e1 || e2) {
        // No file is an empty list (as opening it would make it), whatever was kept.
        if (!std::filesystem::exists(path, e1) && !e1) return {200, "[]"};
        return Refuse(500, "list not read", path + ": " + (e1 ? e1 : e2).message());
    }
    if (!copy.read || copy.time != time || copy.size != size) {
        if (std::string error = Read(path, index + 1, copy); !error.empty())
            return Refuse(500, "list not read", error);
        copy.time = time;
        copy.size = size;
        copy.read = true;
    }
    return {200, copy.text};
}

std::string ListCopies::Read(const std::string& path, std::size_t list, Copy& copy) {
    QuietPrompter quiet;
    ListFileContent content = ReadListFile(path, 0, quiet);
    if (!content.error.empty()) return content.error;
    copy.text = "[";
    const ItemFacts idle{"idle", 0, nullptr};
    std::unordered_set<RowId> used;  // an ID key copied by hand into two items: two ids
    for (std::size_t i = 0; i < content.items.size(); ++i) {
        Row row;
        row.item = std::move(content.items[i]);
        auto [known, fresh] = copy.ids.try_emplace(row.item.ID, m_nextId);
        row.id = used.insert(known->second).second ? known->second : m_nextId;
        if (fresh || row.id == m_nextId) ++m_nextId;
        if (i) copy.text += ',';
        AppendItemJson(copy.text, row, list, i + 1, idle);
    }
    copy.text += ']';
    return "";
}

}  // namespace kov
