#pragma once

#include <Qt>
#include <functional>
#include <vector>

#include "model/list_model.h"
#include "ui/item_editor/item_editor.h"

namespace kov {

class ListDocument;
class MainWindow;
class RecentPaths;
struct AppSettings;

// What the item commands work with.
struct ItemEditorContext {
    MainWindow* window = nullptr;
    ListDocument* document = nullptr;
    AppSettings* settings = nullptr;
    RecentPaths* recent = nullptr;  // none: no recent paths are offered or kept
    ItemEditorHooks hooks;          // the test, distributed and query dialogs
    // Shows the editor and returns its result; exec() when empty. Tests drive the editor here.
    std::function<int(ItemEditor&)> run;
};

// Connects "New URL" and "Edit URL" of the window's URL list to the item editor.
void InstallItemEditor(ItemEditorContext context);

// The edit command: with Ctrl held it switches Disabled of every selected row and opens no
// dialog; otherwise it edits the selected rows (several at once when more than one is).
void EditSelectedItems(const ItemEditorContext& context, Qt::KeyboardModifiers modifiers);
// Opens the editor on a new item of the current list; OK appends it.
void EditNewItem(const ItemEditorContext& context);

}  // namespace kov
