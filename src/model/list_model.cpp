#include "model/list_model.h"

#include <algorithm>
#include <unordered_set>

namespace kov {

Row* ListModel::Find(RowId id) {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

const Row* ListModel::Find(RowId id) const {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

void ListModel::Reindex() const {
    if (m_indexValid) return;
    m_index.clear();
    m_index.reserve(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_index[m_rows[i]->id] = i;
    m_indexValid = true;
}

long ListModel::IndexOf(RowId id) const {
    Reindex();
    auto it = m_index.find(id);
    return it == m_index.end() ? -1 : static_cast<long>(it->second);
}

std::vector<RowId> ListModel::Ids() const {
    std::vector<RowId> ids;
    ids.reserve(m_rows.size());
    for (const auto& row : m_rows)
        ids.push_back(row->id);
    return ids;
}

void ListModel::RefreshTexts(Row& row) {
    row.columns[kColumnName] = row.item.Name;
    row.columns[kColumnUrl] = row.item.Url;
    row.columns[kColumnDest] = row.item.Dest;
    row.image = row.item.Disabled       ? kImageDisabled
                : row.item.CEType == 10 ? kImageFromEmail
                                        : kImageOrdinary;
}

std::unique_ptr<Row> ListModel::MakeRow(UrlItem item) {
    auto row = std::make_unique<Row>();
    row->id = m_nextId++;
    row->item = std::move(item);
    RefreshTexts(*row);
    m_byId[row->id] = row.get();
    return row;
}

RowId ListModel::Append(UrlItem item) {
    return Insert(m_rows.size(), std::move(item));
}

RowId ListModel::Insert(std::size_t index, UrlItem item) {
    m_owner.Check("ListModel::Insert");
    index = std::min(index, m_rows.size());
    auto row = MakeRow(std::move(item));
    const RowId id = row->id;
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
    if (index + 1 == m_rows.size() && m_indexValid) {
        m_index[id] = index;
    } else {
        m_indexValid = false;
    }
    for (auto* l : m_listeners)
        l->RowsInserted(index, 1);
    return id;
}

std::size_t ListModel::Remove(const std::vector<RowId>& ids) {
    m_owner.Check("ListModel::Remove");
    std::size_t removed = 0;
    // From the bottom up, so that each notification's index is still right when it is sent.
    std::vector<long> indexes;
    for (RowId id : ids) {
        const long i = IndexOf(id);
        if (i >= 0) indexes.push_back(i);
    }
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        const auto i = static_cast<std::size_t>(*it);
        m_byId.erase(m_rows[i]->id);
        m_rows.erase(m_rows.begin() + *it);
        m_indexValid = false;
        ++removed;
        for (auto* l : m_listeners)
            l->RowsRemoved(i, 1);
    }
    return removed;
}

bool ListModel::MoveUp(const std::vector<RowId>& ids) {
    return MoveRows(ids, true);
}

bool ListModel::MoveDown(const std::vector<RowId>& ids) {
    return MoveRows(ids, false);
}

bool ListModel::MoveRows(const std::vector<RowId>& ids, bool up) {
    m_owner.Check("ListModel::MoveRows");
    std::unordered_set<RowId> moving(ids.begin(), ids.end());
    bool moved = false;
    const std::size_t n = m_rows.size();
    // Walked from the edge the rows move to, so that a row blocked there blocks the next one.
    for (std::size_t k = 1; k < n; ++k) {
        const std::size_t i = up ? k : n - k;  // rows i - 1 and i trade places
        const std::size_t from = up ? i : i - 1;
        const std::size_t to = up ? i - 1 : i;
        if (!moving.count(m_rows[from]->id) || moving.count(m_rows[to]->id)) continue;
        std::swap(m_rows[i], m_rows[i - 1]);
        moving.erase(m_rows[to]->id);  // moves one place only
        moved = true;
        for (auto* l : m_listeners) {
            l->RowChanged(m_rows[i - 1]->id);
            l->RowChanged(m_rows[i]->id);
        }
    }
    if (moved) m_indexValid = false;
    return moved;
}

void ListModel::Clear() {
    Reset({});
}

void ListModel::Reset(std::vector<UrlItem> items) {
    m_owner.Check("ListModel::Reset");
    m_rows.clear();
    m_byId.clear();
    m_rows.reserve(items.size());
    for (auto& item : items)
        m_rows.push_back(MakeRow(std::move(item)));
    m_indexValid = false;
    for (auto* l : m_listeners)
        l->RowsReset();
}

void ListModel::NotifyChanged(RowId id) {
    m_owner.Check("ListModel::NotifyChanged");
    if (!Find(id)) return;
    for (auto* l : m_listeners)
        l->RowChanged(id);
}

void ListModel::AddListener(ListModelListener* listener) {
    m_listeners.push_back(listener);
}

void ListModel::RemoveListener(ListModelListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener),
                      m_listeners.end());
}

}  // namespace kov
