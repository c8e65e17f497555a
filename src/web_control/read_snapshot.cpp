#include "web_control/read_snapshot.h"

#include "web_control/item_json.h"

namespace kov {

ReadSnapshot::ReadSnapshot(std::string status, std::string lists, std::size_t list,
                           std::vector<RowText> rows)
    : m_status(std::move(status)),
      m_lists(std::move(lists)),
      m_list(list),
      m_rows(std::move(rows)) {}

const std::string& ReadSnapshot::Items() const {
    std::call_once(m_assembled, [this] {
        constexpr std::size_t kHead = 48;  // {"id":…,"list":…,"index":…,
        std::size_t size = 2;
        for (const RowText& row : m_rows)
            size += kHead + row.tail->size();
        m_items.reserve(size);
        m_items += '[';
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (i) m_items += ',';
            AppendItemHead(m_items, m_rows[i].id, m_list, i + 1);
            m_items += *m_rows[i].tail;
        }
        m_items += ']';
    });
    return m_items;
}

}  // namespace kov
