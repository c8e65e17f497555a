#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/list_model.h"

namespace kov {

// The rows of the current list at one moment as GET /items and GET /items/ID answer them.
// Made on the main loop from each row's kept text and never changed after; the whole list's
// text is assembled by the first reader that asks, off the main loop, and shared by the others.
// The text is held in blocks of kBlock rows, sent one after the other without being joined; an
// assembly starts from the last one made for the same keeper and takes over each block whose
// rows are where they were and did not change, so a session that changes a few hundred rows of
// ten thousand neither writes nor allocates the text of all of them each time.
class ItemsText {
public:
    // A row's id and its JSON text from "name" on (shared with later texts while the row does
    // not change).
    struct RowText {
        RowId id = 0;
        std::shared_ptr<const std::string> tail;
    };
    using Rows = std::vector<RowText>;
    using Pieces = std::vector<std::string_view>;
    static constexpr std::size_t kBlock = 64;

    // The last assembled text of one keeper; any thread.
    class Last {
    public:
        Last() = default;
        Last(const Last&) = delete;
        Last& operator=(const Last&) = delete;

    private:
        friend class ItemsText;
        struct Made;
        std::mutex m_lock;
        std::shared_ptr<const Made> m_made;
    };

    // tag: the entity tag GET /items answers with, different for every text of a keeper.
    ItemsText(std::size_t list, Rows rows, std::string tag, std::shared_ptr<Last> last);

    // The list's number (from 1).
    std::size_t List() const { return m_list; }
    std::size_t Count() const { return m_rows->size(); }
    const std::string& Tag() const { return m_tag; }
    // Whether these are the same rows, in the same order, with the same texts.
    bool Same(std::size_t list, const Rows& rows) const;
    // The JSON array of all rows in pieces to be sent in order (kept alive by the pointer).
    std::shared_ptr<const Pieces> Text() const;
    // One row's JSON object; nothing when the list has no row of that id.
    std::optional<std::string> Item(RowId id) const;

private:
    const std::size_t m_list;
    const std::shared_ptr<const Rows> m_rows;
    const std::string m_tag;
    const std::shared_ptr<Last> m_last;
    mutable std::once_flag m_assembled;
    mutable std::shared_ptr<const Last::Made> m_made;
};

}  // namespace kov
