// The clipboard and drag and drop of the main window: the URL list's rows as our own data,
// and whatever a paste or a drop offers taken into the current list or another list.
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTableView>
#include <ctime>

#include "core/prompter.h"
#include "model/list_document.h"
#include "ui/window/item_mime.h"
#include "ui/window/lists_pane.h"
#include "ui/window/main_window.h"

namespace kov {

QMimeData* MainWindow::SelectionMime() const {
    const std::vector<RowId> ids = SelectedRows();
    return ids.empty() ? nullptr : ItemMime::Make(m_document.Rows(), ids);
}

void MainWindow::CopySelection(bool cut) {
    const std::vector<RowId> ids = SelectedRows();
    QMimeData* data = SelectionMime();
    if (!data) return;
    QGuiApplication::clipboard()->setMimeData(data);
    if (cut && m_document.Rows().Remove(ids) > 0) m_document.Rows().SetModified(true);
}

bool MainWindow::PasteMime(const QMimeData& data) {
    const ItemMime mime(data);
    if (mime.kind() == ItemMime::Kind::Refused) {
        m_prompter.Inform(mime.Refused());
        return false;
    }
    const bool taken = mime.PasteInto(m_document, std::time(nullptr)) > 0;
    UpdateCommands();
    return taken;
}

bool MainWindow::DropMime(const QMimeData& data, bool fromOwnList) {
    // Rows dropped back where they came from would only be doubled.
    if (fromOwnList) return false;
    const ItemMime mime(data);
    if (mime.kind() == ItemMime::Kind::Refused) {
        m_prompter.Inform(mime.Refused());
        return false;
    }
    // Items from another Kov window are taken as a paste takes them, not merely reported.
    const bool taken = mime.kind() == ItemMime::Kind::Items
                           ? mime.PasteInto(m_document, std::time(nullptr)) > 0
                           : mime.DropOnUrlList(m_document, std::time(nullptr));
    UpdateCommands();
    return taken;
}

bool MainWindow::DropMimeOnList(const QMimeData& data, std::size_t list,
                                Qt::KeyboardModifiers modifiers,
                                const std::vector<RowId>& dragged) {
    const ItemMime mime(data);
    if (mime.kind() == ItemMime::Kind::Refused) {
        m_prompter.Inform(mime.Refused());
        return false;
    }
    const bool taken =
        mime.DropOnListsPane(m_document, list, modifiers, dragged, std::time(nullptr));
    UpdateCommands();
    return taken;
}

void MainWindow::StartDrag() {
    QMimeData* data = SelectionMime();
    if (!data) return;
    m_dragged = SelectedRows();
    auto* drag = new QDrag(m_urlView);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    m_dragged.clear();
}

bool MainWindow::HandleDrag(QObject* watched, QEvent* event) {
    const bool urls = watched == m_urlView->viewport();
    const bool lists = watched == m_listsPane->viewport();
    if (!urls && !lists) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (urls && mouse->button() == Qt::LeftButton)
                m_dragStart = mouse->position().toPoint();
            return false;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!urls || !(mouse->buttons() & Qt::LeftButton) || m_dragStart.isNull()) return false;
            if ((mouse->position().toPoint() - m_dragStart).manhattanLength() <
                QApplication::startDragDistance())
                return false;
            const QModelIndex at = m_urlView->indexAt(m_dragStart);
            m_dragStart = {};
            if (!at.isValid() || !m_urlView->selectionModel()->isRowSelected(at.row()))
                return false;
            StartDrag();
            return true;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            // The entry is taken anywhere in the pane, or the moves to a row would never come.
            const bool onList = !lists || event->type() == QEvent::DragEnter ||
                                m_listsPane->itemAt(drag->position().toPoint()) != nullptr;
            if (drag->mimeData() && ItemMime::CanAccept(*drag->mimeData()) && onList) {
                drag->acceptProposedAction();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const bool own = drop->source() == m_urlView;
            if (!drop->mimeData()) return true;
            if (urls) {
                DropMime(*drop->mimeData(), own);
            } else if (QTreeWidgetItem* item = m_listsPane->itemAt(drop->position().toPoint())) {
                const int list = m_listsPane->indexOfTopLevelItem(item);
                if (list >= 0)
                    DropMimeOnList(*drop->mimeData(), static_cast<std::size_t>(list),
                                   drop->modifiers(), own ? m_dragged : std::vector<RowId>{});
            }
            drop->acceptProposedAction();
            return true;
        }
        default:
            return false;
    }
}

}  // namespace kov
