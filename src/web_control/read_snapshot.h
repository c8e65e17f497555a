#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/list_model.h"

namespace kov {

// What the API's reads answer without waiting for the main loop: the status, the lists and the
// rows of the current list as they were at one moment. Made on the main loop and never changed
// after, so any number of server threads read it while the main loop makes the next one; a
// reader sees one whole moment or the next, never a mix.
class ReadSnapshot {
public:
    // A row's id and its JSON text from "name" on (the tail is shared with later snapshots
    // while the row does not change).
    struct RowText {
        RowId id = 0;
        std::shared_ptr<const std::string> tail;
    };

    ReadSnapshot(std::string status, std::string lists, std::size_t list,
                 std::vector<RowText> rows);

    const std::string& Status() const { return m_status; }
    const std::string& Lists() const { return m_lists; }
    // The current list's number (from 1).
    std::size_t List() const { return m_list; }
    std::size_t RowCount() const { return m_rows.size(); }
    // The rows as GET /items answers them: assembled by the first reader that asks, off the
    // main loop, and shared by the others.
    const std::string& Items() const;

private:
    const std::string m_status;
    const std::string m_lists;
    const std::size_t m_list;
    const std::vector<RowText> m_rows;
    mutable std::once_flag m_assembled;
    mutable std::string m_items;
};

}  // namespace kov
