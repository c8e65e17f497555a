#include "ui/item_editor/item_editor_commands.h"

#include "core/command_ids.h"
#include "core/settings/app_settings.h"
#include "core/settings/user_store.h"
#include "model/list_document.h"
#include "ui/window/main_window.h"

namespace kov {

namespace {

ItemEditorSetup MakeSetup(const ItemEditorContext& c, UrlItem item) {
    ItemEditorSetup setup;
    setup.item = std::move(item);
    setup.listFolder = c.document->DefaultFolder();
    if (c.recent) setup.recentPaths = c.recent->Paths();
    setup.macros = c.document->Macros();
    setup.defaultStopNumber = c.settings->newUrl.StopNumber;
    setup.fileMasks = c.settings->SrFileMasks;
    return setup;
}

ItemEditorHooks WithRecent(const ItemEditorContext& c) {
    ItemEditorHooks hooks = c.hooks;
    if (RecentPaths* recent = c.recent)
        hooks.useRecentPath = [recent](const std::string& path) { recent->Use(path); };
    return hooks;
}

int Run(const ItemEditorContext& c, ItemEditor& editor) {
    return c.run ? c.run(editor) : editor.exec();
}

// Shows a row's new fields. A row with a job keeps the image of its session state.
void Redraw(ListModel& rows, Row& row) {
    const int image = row.image;
    ListModel::RefreshTexts(row);
    if (row.job) row.image = image;
    rows.NotifyChanged(row.id);
}

// While the editor is open on a row, the session's changes of that row reach the dialog: an
// advanced series number, a once-only item that finished and was disabled.
class RowWatch : public ListModelListener {
public:
    RowWatch(ListModel& rows, RowId id, ItemEditor& editor)
        : m_rows(rows), m_id(id), m_editor(editor) {
        const Row* row = rows.Find(id);
        m_number = row->item.CurrentNum;
        m_disabled = row->item.Disabled;
        rows.AddListener(this);
    }
    ~RowWatch() override { m_rows.RemoveListener(this); }
    void RowChanged(RowId id) override {
        const Row* row = id == m_id ? m_rows.Find(id) : nullptr;
        if (!row) return;
        if (row->item.CurrentNum != m_number) m_editor.ShowCurrentNum(row->item.CurrentNum);
        if (row->item.Disabled && !m_disabled) m_editor.TickDisabled();
        m_number = row->item.CurrentNum;
        m_disabled = row->item.Disabled;
    }

private:
    ListModel& m_rows;
    RowId m_id;
    ItemEditor& m_editor;
    std::int32_t m_number;
    std::int32_t m_disabled;
};

}  // namespace

void EditSelectedItems(const ItemEditorContext& c, Qt::KeyboardModifiers modifiers) {
    ListModel& rows = c.document->Rows();
    const std::vector<RowId> selected = c.window->SelectedRows();
    if (selected.empty()) return;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        for (const RowId id : selected) {
            if (Row* row = rows.Find(id)) {
                row->item.Disabled = row->item.Disabled ? 0 : 1;
                Redraw(rows, *row);
            }
        }
        rows.SetModified(true);
        return;
    }
    const Row* first = rows.Find(selected.front());
    if (!first) return;
    ItemEditorSetup setup = MakeSetup(c, first->item);
    setup.multiple = selected.size() > 1;
    ItemEditor editor(std::move(setup), WithRecent(c), c.window);
    int result = QDialog::Rejected;
    {
        const RowWatch watch(rows, selected.front(), editor);
        result = Run(c, editor);
    }
    if (result != QDialog::Accepted) return;
    for (const RowId id : selected) {
        Row* row = rows.Find(id);  // a row may have gone while the dialog was open
        if (!row) continue;
        editor.ApplyTo(row->item);
        // A job still waiting downloads the edit; a running one goes on with what it has.
        if (row->runState == RunState::Queued) c.window->Session().ReplaceQueuedItem(id, row->item);
        Redraw(rows, *row);
    }
    rows.SetModified(true);
}

void EditNewItem(const ItemEditorContext& c) {
    ItemEditorSetup setup = MakeSetup(c, c.document->MakeNewItem(""));
    setup.isNew = true;
    const ListDocument* document = c.document;
    setup.newItemFor = [document](const std::string& url) { return document->MakeNewItem(url); };
    ItemEditor editor(std::move(setup), WithRecent(c), c.window);
    if (Run(c, editor) != QDialog::Accepted) return;
    const RowId id = c.document->AddItem(editor.Item());
    c.document->Rows().SetModified(true);
    c.window->SelectRows({id});
}

void InstallItemEditor(ItemEditorContext context) {
    MainWindow* window = context.window;
    auto shared = std::make_shared<ItemEditorContext>(std::move(context));
    window->SetCommandHandler(
        kCmdEditUrl, [shared] { EditSelectedItems(*shared, shared->window->CommandModifiers()); });
    window->SetCommandHandler(kCmdNewUrl, [shared] { EditNewItem(*shared); });
}

}  // namespace kov
