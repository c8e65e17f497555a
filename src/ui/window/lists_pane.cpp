#include "ui/window/lists_pane.h"

#include <QHeaderView>
#include <algorithm>
#include <utility>

#include "core/language/ui_text_ids.h"
#include "model/list_document.h"
#include "ui/app/ui_text.h"

namespace kov {

ListsPane::ListsPane(ListDocument& document, AppSettings& settings, QWidget* parent)
    : QTreeWidget(parent), m_document(document), m_settings(settings) {
    setColumnCount(1);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    header()->setSectionsClickable(false);
    // At least the width the layout asks for, and never narrower than the pane: a header
    // that stops short looks like a disabled one.
    header()->setStretchLastSection(true);
    header()->setMinimumSectionSize(40);
    setColumnWidth(0, std::max(m_settings.WndSplitCol - 20, 40));
    Retranslate();
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const int row = indexOfTopLevelItem(item);
        if (!m_filling && !m_locked && row >= 0) emit listChosen(static_cast<std::size_t>(row));
    });
    Reload();
}

void ListsPane::Retranslate() {
    setHeaderLabels({UiText(kGuiColumnLists, "Lists")});
}

void ListsPane::Reload() {
    m_filling = true;
    clear();
    for (std::size_t i = 0; i < m_document.ListCount(); ++i) {
        auto* item = new QTreeWidgetItem(this);
        item->setText(0, QString::fromStdString(m_document.GetList(i)->Name));
    }
    const auto current = static_cast<int>(m_document.CurrentIndex());
    if (QTreeWidgetItem* item = topLevelItem(current)) {
        // Bold tells the current list also when the selection is elsewhere.
        QFont bold = font();
        bold.setBold(true);
        item->setFont(0, bold);
        setCurrentItem(item);
        item->setSelected(true);
    }
    m_filling = false;
}

void ListsPane::SetLocked(bool locked) {
    m_locked = locked;
    setSelectionMode(locked ? QAbstractItemView::NoSelection
                            : QAbstractItemView::ExtendedSelection);
}

std::vector<std::size_t> ListsPane::SelectedLists() const {
    std::vector<std::size_t> rows;
    for (QTreeWidgetItem* item : selectedItems())
        rows.push_back(static_cast<std::size_t>(indexOfTopLevelItem(item)));
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool ListsPane::MoveList(std::size_t index, int delta) {
    AppSettings& settings = m_settings;
    auto& lists = settings.lists;
    const long target = static_cast<long>(index) + delta;
    if (index >= lists.size() || target < 0 || target >= static_cast<long>(lists.size()))
        return false;
    const auto to = static_cast<std::size_t>(target);
    std::swap(lists[index], lists[to]);
    if (settings.CurLstNum == static_cast<std::int32_t>(index)) {
        settings.CurLstNum = static_cast<std::int32_t>(to);
    } else if (settings.CurLstNum == static_cast<std::int32_t>(to)) {
        settings.CurLstNum = static_cast<std::int32_t>(index);
    }
    settings.changed = true;
    Reload();
    clearSelection();
    topLevelItem(static_cast<int>(to))->setSelected(true);
    return true;
}

}  // namespace kov
