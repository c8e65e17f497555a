#include "ui/dialogs/url_test_commands.h"

#include <optional>

#include "model/list_document.h"
#include "session/session_controller.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/dialogs/list_properties_dialog.h"
#include "ui/dialogs/url_test_dialog.h"
#include "ui/window/command_table.h"
#include "ui/window/lists_pane.h"
#include "ui/window/main_window.h"

namespace kov {

namespace {

void EditList(MainWindow& window, ListDocument& document, std::optional<std::size_t> index) {
    ListPropertiesDialog dialog(document, index, &window);
    if (index && *index == document.CurrentIndex() &&
        window.Session().State() != SessionState::Idle) {
        dialog.LockFile();
    }
    if (dialog.exec() == QDialog::Accepted && window.Lists()) window.Lists()->Reload();
}

}  // namespace

void ConnectUrlTestCommands(MainWindow& window, AppSettings& settings, ListDocument& document) {
    window.SetCommandHandler(kCmdUrlInfo, [&window, &settings, &document] {
        const std::vector<RowId> rows = window.SelectedRows();
        if (rows.empty()) return;
        const Row* row = document.Rows().Find(rows.front());
        if (!row) return;
        // A copy: the row may change or go while the dialog is open.
        const UrlItem item = row->item;
        ShowUrlTest(&window, item, settings, document.Macros());
    });
    window.SetCommandHandler(kCmdListProperties, [&window, &document] {
        std::optional<std::size_t> index = document.CurrentIndex();
        if (window.Lists()) {
            const std::vector<std::size_t> selected = window.Lists()->SelectedLists();
            if (!selected.empty()) index = selected.front();
        }
        EditList(window, document, index);
    });
    window.SetCommandHandler(kCmdAddListDefinition,
                             [&window, &document] { EditList(window, document, std::nullopt); });
    window.SetCommandHandler(kCmdAbout, [&window] {
        AboutDialog dialog(&window);
        dialog.exec();
    });
}

}  // namespace kov
