#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <chrono>
#include <unordered_set>
#include <vector>

#include "model/list_model.h"

namespace kov {

// The rows of the current list for the URL list view. Rows are found by their stable id; the
// list model's notifications become Qt's model signals. Changes of a row are gathered and
// repainted together, so that a row repaints at most ten times a second however often its
// progress changes.
class ListTableModel : public QAbstractTableModel, public ListModelListener {
    Q_OBJECT
public:
    static constexpr int kProgressRole = Qt::UserRole + 1;  // percent of the file, -1 unknown
    static constexpr int kRowIdRole = Qt::UserRole + 2;
    static constexpr std::chrono::milliseconds kRepaintPeriod{100};

    explicit ListTableModel(ListModel& rows, QObject* parent = nullptr);
    ~ListTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    RowId IdAt(int row) const;
    int RowOf(RowId id) const;
    // The column titles in the current language.
    void Retranslate();
    // Repaints the gathered changes now.
    void Flush();

    void RowChanged(RowId id) override;
    void RowsInserted(std::size_t first, std::size_t count) override;
    void RowsRemoved(std::size_t first, std::size_t count) override;
    void RowsReset() override;

private:
    ListModel& m_rows;
    std::unordered_set<RowId> m_dirty;
    QTimer m_repaint;
    std::vector<QString> m_titles;
};

}  // namespace kov
