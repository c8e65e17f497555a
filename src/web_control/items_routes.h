#pragma once

#include "model/list_model.h"
#include "web_control/api_scope.h"

namespace kov {

// The routes of lists and items; each runs on the main loop's thread.
// GET /lists → [{"index","name","current"}]
ApiResponse GetLists(ApiScope& scope);
// POST /lists/current {"list": N} → the lists after the switch.
ApiResponse SelectList(ApiScope& scope);
// GET /items[?list=N] → [item...] of the current list (list=N switches to it first).
ApiResponse GetItems(ApiScope& scope);
// POST /items {"urls": [...], "name"?, "dest"?, "template"?, "list"?} → 201 {"ids": [...]}.
ApiResponse AddItems(ApiScope& scope);
// GET, PATCH (list-file keys and "enabled", all or nothing), DELETE /items/ID.
ApiResponse GetItem(ApiScope& scope, RowId id);
ApiResponse PatchItem(ApiScope& scope, RowId id);
ApiResponse DeleteItem(ApiScope& scope, RowId id);

}  // namespace kov
