#pragma once

#include <QTreeWidget>
#include <vector>

namespace kov {

class ListDocument;
struct AppSettings;

// The lists pane: one row per registered list, the current one selected. A click on another
// row asks for a switch (listChosen); the window decides.
class ListsPane : public QTreeWidget {
    Q_OBJECT
public:
    ListsPane(ListDocument& document, AppSettings& settings, QWidget* parent = nullptr);

    // Fills the rows from the catalogue and selects the current list.
    void Reload();
    void Retranslate();
    // The selected rows, in order.
    std::vector<std::size_t> SelectedLists() const;
    // Moves the list at index one place (delta -1 or +1) in the catalogue; the current list
    // moves with it. False at an edge.
    bool MoveList(std::size_t index, int delta);
    // While a session runs the current list cannot change: the pane stays readable (nothing
    // greyed) but takes no new selection and asks for no switch.
    void SetLocked(bool locked);
    bool Locked() const { return m_locked; }

signals:
    void listChosen(std::size_t index);

private:
    ListDocument& m_document;
    AppSettings& m_settings;
    bool m_filling = false;
    bool m_locked = false;
};

}  // namespace kov
