#include "ui/window/list_table_model.h"

#include <algorithm>
#include <ctime>

#include "ui/app/app_icons.h"
#include "ui/app/ui_text.h"
#include "ui/window/row_cells.h"

namespace kov {

namespace {
constexpr int kFirstColumnTitle = 23560;
constexpr const char* kColumnTitles[kColumnCount] = {
    "Name", "URL", "Save to", "Download", "Time passed", "Time rest", "Speed"};
}  // namespace

ListTableModel::ListTableModel(ListModel& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows) {
    m_repaint.setSingleShot(true);
    m_repaint.setInterval(kRepaintPeriod);
    connect(&m_repaint, &QTimer::timeout, this, &ListTableModel::Flush);
    Retranslate();
    m_rows.AddListener(this);
}

ListTableModel::~ListTableModel() {
    m_rows.RemoveListener(this);
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.Count());
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = m_rows.At(static_cast<std::size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
            return RowCell(row, index.column(), std::time(nullptr));
        case Qt::DecorationRole:
            return index.column() == kColumnName ? AppIcons::Row(row.image) : QVariant();
        case Qt::ToolTipRole:
            return index.column() == kColumnUrl ? QString::fromStdString(row.item.Url) : QVariant();
        case kRowIdRole:
            return QVariant::fromValue<qulonglong>(row.id);
        case kProgressRole:
            if (row.runState != RunState::Running || row.fileSize == 0) return -1;
            return static_cast<int>(std::min<std::uint64_t>(row.filePos, row.fileSize) * 100 /
                                    row.fileSize);
        default:
            return {};
    }
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return m_titles[static_cast<std::size_t>(section)];
}

void ListTableModel::Retranslate() {
    m_titles.clear();
    for (int i = 0; i < kColumnCount; ++i)
        m_titles.push_back(UiText(kFirstColumnTitle + i, kColumnTitles[i]));
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

RowId ListTableModel::IdAt(int row) const {
    if (row < 0 || row >= rowCount()) return 0;
    return m_rows.At(static_cast<std::size_t>(row)).id;
}

int ListTableModel::RowOf(RowId id) const {
    return static_cast<int>(m_rows.IndexOf(id));
}

void ListTableModel::RowChanged(RowId id) {
    m_dirty.insert(id);
    if (!m_repaint.isActive()) m_repaint.start();
}

void ListTableModel::Flush() {
    m_repaint.stop();
    for (const RowId id : m_dirty) {
        const long row = m_rows.IndexOf(id);
        if (row < 0) continue;  // deleted meanwhile
        const int r = static_cast<int>(row);
        emit dataChanged(index(r, 0), index(r, kColumnCount - 1));
    }
    m_dirty.clear();
}

// The list model tells after the change; the views need only the pair of signals.
void ListTableModel::RowsInserted(std::size_t first, std::size_t count) {
    const int f = static_cast<int>(first);
    beginInsertRows({}, f, f + static_cast<int>(count) - 1);
    endInsertRows();
}

void ListTableModel::RowsRemoved(std::size_t first, std::size_t count) {
    const int f = static_cast<int>(first);
    beginRemoveRows({}, f, f + static_cast<int>(count) - 1);
    endRemoveRows();
}

void ListTableModel::RowsReset() {
    beginResetModel();
    m_dirty.clear();
    endResetModel();
}

}  // namespace kov
