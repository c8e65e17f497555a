#pragma once

#include <QStyledItemDelegate>

namespace kov {

// Draws the Download column of a running row as a progress bar with the column's text on it.
class ProgressDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

}  // namespace kov
