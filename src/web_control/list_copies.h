#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>

#include "model/list_model.h"
#include "web_control/api_message.h"

namespace kov {

class ListDocument;

// The items of a list that is not the current one, read from its file without opening it:
// GET /items?list=N must not switch lists (a session may run). A copy of each list's answer is
// kept while its file stays the same. The ids are the API's own for such items, stable for a
// list while the program runs (an item is known by its ID key), and far above any row id, so
// that /items/ID never mistakes one for an item of the current list. Main loop's thread.
class ListCopies {
public:
    static constexpr RowId kFirstId = RowId{1} << 40;

    // GET /items?list=N for list index (from 0) of the document, which is not the current one.
    ApiResponse Items(const ListDocument& document, std::size_t index);

    static bool IsCopyId(RowId id) { return id >= kFirstId; }

private:
    struct Copy {
        std::filesystem::file_time_type time{};
        std::uintmax_t size = 0;
        bool read = false;
        std::string text;
        std::unordered_map<std::string, RowId> ids;  // by the item's ID key
    };

    // Reads the file into the copy's text; the error ("path: cause") or "".
    std::string Read(const std::string& path, std::size_t list, Copy& copy);

    std::map<std::string, Copy> m_copies;  // by list file
    RowId m_nextId = kFirstId;
};

}  // namespace kov
