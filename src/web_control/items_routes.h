#pragma once

#include <string>

#include "model/list_model.h"
#include "web_control/api_scope.h"

namespace kov {

// The routes of lists and items; each runs on the main loop's thread.
// What GET /lists answers: [{"index","name","current"}].
std::string ListsText(const ListDocument& doc);
// POST /lists/current {"list": N} → the lists after the switch.
ApiResponse SelectList(ApiScope& scope);
// GET /items[?list=N] → [item...] of the current list or, read from its file, of list N.
ApiResponse GetItems(ApiScope& scope);
// POST /items {"urls": [...], "name"?, "dest"?, "template"?, "list"?} → 201 {"ids": [...]}.
ApiResponse AddItems(ApiScope& scope);
// GET, PATCH (list-file keys and "enabled", all or nothing), DELETE /items/ID.
ApiResponse GetItem(ApiScope& scope, RowId id);
ApiResponse PatchItem(ApiScope& scope, RowId id);
ApiResponse DeleteItem(ApiScope& scope, RowId id);

}  // namespace kov
