#include "web_control/items_text.h"

#include <algorithm>

#include "web_control/item_json.h"

namespace kov {

// An assembled text: the blocks, each but the first opened by the comma before its first row,
// and the pieces to send ("[", the blocks, "]").
struct ItemsText::Last::Made {
    std::size_t list = 0;
    std::shared_ptr<const Rows> rows;
    std::vector<std::shared_ptr<const std::string>> blocks;
    Pieces pieces;
};

namespace {

bool SameRow(const ItemsText::RowText& a, const ItemsText::RowText& b) {
    return a.id == b.id && a.tail == b.tail;
}

}  // namespace

ItemsText::ItemsText(std::size_t list, Rows rows, std::string tag, std::shared_ptr<Last> last)
    : m_list(list),
      m_rows(std::make_shared<const Rows>(std::move(rows))),
      m_tag(std::move(tag)),
      m_last(std::move(last)) {}

bool ItemsText::Same(std::size_t list, const Rows& rows) const {
    if (list != m_list || rows.size() != m_rows->size()) return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!SameRow(rows[i], (*m_rows)[i])) return false;
    }
    return true;
}

std::shared_ptr<const ItemsText::Pieces> ItemsText::Text() const {
    std::call_once(m_assembled, [this] {
        std::shared_ptr<const Last::Made> base;
        {
            std::lock_guard<std::mutex> hold(m_last->m_lock);
            base = m_last->m_made;
        }
        if (base && base->list != m_list) base.reset();
        const Rows& rows = *m_rows;
        const std::size_t baseRows = base ? base->rows->size() : 0;
        auto made = std::make_shared<Last::Made>();
        made->list = m_list;
        made->rows = m_rows;
        made->blocks.reserve((rows.size() + kBlock - 1) / kBlock);
        for (std::size_t first = 0; first < rows.size(); first += kBlock) {
            const std::size_t end = std::min(first + kBlock, rows.size());
            // The base's block holds the same rows in the same places: its text is this one's.
            bool same = base && std::min(first + kBlock, baseRows) == end;
            for (std::size_t i = first; same && i < end; ++i)
                same = SameRow(rows[i], (*base->rows)[i]);
            if (same) {
                made->blocks.push_back(base->blocks[first / kBlock]);
                continue;
            }
            auto block = std::make_shared<std::string>();
            block->reserve((end - first) * (49 + rows[first].tail->size()));
            for (std::size_t i = first; i < end; ++i) {
                if (i) *block += ',';
                AppendItemHead(*block, rows[i].id, m_list, i + 1);
                *block += *rows[i].tail;
            }
            made->blocks.push_back(std::move(block));
        }
        made->pieces.reserve(made->blocks.size() + 2);
        made->pieces.push_back("[");
        for (const auto& block : made->blocks)
            made->pieces.push_back(*block);
        made->pieces.push_back("]");
        m_made = made;
        std::lock_guard<std::mutex> hold(m_last->m_lock);
        m_last->m_made = std::move(made);
    });
    return {m_made, &m_made->pieces};
}

std::optional<std::string> ItemsText::Item(RowId id) const {
    const Rows& rows = *m_rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].id != id) continue;
        std::string text;
        AppendItemHead(text, id, m_list, i + 1);
        text += *rows[i].tail;
        return text;
    }
    return std::nullopt;
}

}  // namespace kov
