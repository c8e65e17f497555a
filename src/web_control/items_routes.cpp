#include "web_control/items_routes.h"

#include <string>
#include <vector>

#include "core/text/text_util.h"
#include "mail_control/query_destination.h"
#include "model/item_fields.h"
#include "model/list_document.h"
#include "platform/clock.h"
#include "session/item_edits.h"
#include "session/session_controller.h"
#include "web_control/api_reply.h"
#include "web_control/item_watch.h"
#include "web_control/list_copies.h"

namespace kov {

namespace {

constexpr std::size_t kMaxUrls = 10000;

ApiResponse BadRequest(const std::string& cause) {
    return Refuse(400, "bad request", cause);
}

ApiResponse NoSuchItem(RowId id) {
    if (ListCopies::IsCopyId(id))
        return Refuse(404, "not in the current list",
                      "item " + std::to_string(id) +
                          " is of another list, read only: make that list current first");
    return Refuse(404, "no such item", "no item has the id " + std::to_string(id));
}

// A list's number (from 1) as a caller gives it; its index, or the refusal.
std::optional<std::size_t> ListIndex(const ListDocument& doc, const nlohmann::json& number,
                                     ApiResponse& refusal) {
    if (!number.is_number_integer()) {
        refusal = BadRequest("list: a list number is needed");
        return std::nullopt;
    }
    const auto n = number.get<long long>();
    if (n < 1 || static_cast<std::size_t>(n) > doc.ListCount()) {
        refusal = Refuse(404, "no such list", "list " + number.dump() + " is not registered");
        return std::nullopt;
    }
    return static_cast<std::size_t>(n - 1);
}

bool SessionIdle(const ApiScope& scope) {
    return scope.session.State() == SessionState::Idle;
}

// A folder of the current list's folder: what an item from another machine may write to.
std::string ConfinedDest(const ListDocument& doc, const std::string& dest) {
    std::string folder = doc.DefaultFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    std::string_view named = dest;
    while (!named.empty() && named.back() == '/')  // a folder's last part, not the empty name
        named.remove_suffix(1);
    const std::string part = SafeLastPart(named);
    return part.empty() ? folder : folder + part + "/";
}

bool IsCommandKey(const std::string& key) {
    for (const char* k :
         {"Cmd", "Upload", "UploadServer", "UploadFolder", "UploadLogin", "UploadPassword"}) {
        if (IEquals(key, k)) return true;
    }
    return false;
}

bool IsFileUrl(const std::string& url) {
    return url.size() >= 7 && IEquals(std::string_view(url).substr(0, 7), "file://");
}

ApiResponse NotFromAfar(const std::string& what) {
    return Refuse(403, "not allowed from another machine",
                  what + " ([Remote] AllowCommands=1 allows it)");
}

// A PATCH value as the list file writes it.
bool ValueText(const nlohmann::json& value, std::string& text) {
    if (value.is_string()) {
        text = value.get<std::string>();
    } else if (value.is_number_integer()) {
        text = value.dump();
    } else if (value.is_boolean()) {
        text = value.get<bool>() ? "1" : "0";
    } else {
        return false;
    }
    return true;
}

// The request's URLs, name, folder and template flag; a refusal when they are not usable.
std::optional<ApiResponse> ReadAddRequest(const ApiScope& scope, NewItemsRequest& request) {
    const nlohmann::json& body = scope.body;
    const auto urls = body.find("urls");
    if (urls == body.end() || !urls->is_array() || urls->empty())
        return BadRequest("urls: a list of one or more URLs is needed");
    if (urls->size() > kMaxUrls)
        return BadRequest("urls: at most " + std::to_string(kMaxUrls) + " at a time");
    for (const nlohmann::json& url : *urls) {
        if (!url.is_string()) return BadRequest("urls: each URL is a string");
        request.urls.push_back(url.get<std::string>());
        if (scope.Confined() && IsFileUrl(request.urls.back()))
            return NotFromAfar("file: " + request.urls.back());
    }
    for (auto [key, field] : {std::pair{"name", &request.name}, {"dest", &request.dest}}) {
        const auto value = body.find(key);
        if (value == body.end() || value->is_null()) continue;
        if (!value->is_string()) return BadRequest(std::string(key) + ": a string is needed");
        *field = value->get<std::string>();
    }
    if (const auto t = body.find("template"); t != body.end() && !t->is_null()) {
        if (!t->is_boolean()) return BadRequest("template: true or false");
        request.asTemplate = t->get<bool>();
    }
    std::string& dest = request.dest;
    if (!dest.empty() && !scope.Confined()) {
        if (dest[0] != '/' && dest[0] != '{')
            return BadRequest("dest: " + dest + ": not a full path");
        if (dest.back() != '/') dest += '/';
    }
    return std::nullopt;
}

// Sets one key of a PATCH on the copy; a refusal names the key.
std::optional<ApiResponse> PatchKey(const ApiScope& scope, UrlItem& item, const std::string& key,
                                    const nlohmann::json& value) {
    if (key == "enabled") {
        if (!value.is_boolean()) return BadRequest("enabled: true or false");
        item.Disabled = value.get<bool>() ? 0 : 1;
        return std::nullopt;
    }
    std::string text;
    if (!ValueText(value, text)) return BadRequest(key + ": a string or a number is needed");
    if (scope.Confined()) {
        if (IsCommandKey(key)) return NotFromAfar(key + ": commands and uploads");
        if (IEquals(key, "Url") && IsFileUrl(text)) return NotFromAfar("Url: " + text);
        if (IEquals(key, "Dest")) text = ConfinedDest(scope.document, text);
    }
    std::string e = SetCheckedKey(item, key, text, scope.settings.EnableHttps != 0);
    if (!e.empty()) return BadRequest(key + "=" + text + ": " + e);
    return std::nullopt;
}

// A row that a running job works on is not changed under it.
std::optional<ApiResponse> Busy(const Row& row, bool queuedToo) {
    if (row.runState == RunState::Running || (queuedToo && row.runState == RunState::Queued)) {
        return Refuse(409, "item busy", "the session is downloading this item");
    }
    return std::nullopt;
}

}  // namespace

std::optional<ApiResponse> UseList(ApiScope& scope, const nlohmann::json& number) {
    ListDocument& doc = scope.document;
    ApiResponse refusal;
    const std::optional<std::size_t> index = ListIndex(doc, number, refusal);
    if (!index) return refusal;
    if (*index == doc.CurrentIndex()) return std::nullopt;
    if (!SessionIdle(scope))
        return Refuse(409, "session running", "the current list cannot change during a session");
    if (doc.SwitchList(*index, false) != ListDocument::SwitchResult::Switched ||
        !doc.LastError().empty())
        return Refuse(500, "list not switched", doc.LastError());
    return std::nullopt;
}

std::string ListsText(const ListDocument& doc) {
    nlohmann::json lists = nlohmann::json::array();
    for (std::size_t i = 0; i < doc.ListCount(); ++i) {
        lists.push_back({{"index", i + 1},
                         {"name", doc.GetList(i)->Name},
                         {"current", i == doc.CurrentIndex()}});
    }
    return JsonText(lists);
}

ApiResponse SelectList(ApiScope& scope) {
    const auto list = scope.body.find("list");
    if (list == scope.body.end()) return BadRequest("list: a list number is needed");
    if (auto refused = UseList(scope, *list)) return *refused;
    return {200, ListsText(scope.document)};
}

ApiResponse GetItems(ApiScope& scope) {
    const ListDocument& doc = scope.document;
    std::size_t index = doc.CurrentIndex();
    const auto& query = scope.request.query;
    if (const auto list = query.find("list"); list != query.end()) {
        ApiResponse refusal;
        const auto asked =
            ListIndex(doc, nlohmann::json::parse(list->second, nullptr, false), refusal);
        if (!asked) return refusal;
        index = *asked;
    }
    if (index != doc.CurrentIndex()) return scope.copies.Items(doc, index);
    // Written as text: a document of ten thousand items would hold the main loop too long.
    const ListModel& rows = doc.Rows();
    std::string items = "[";
    items.reserve(rows.Count() * 256);
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        if (i) items += ',';
        scope.watch.AppendJson(items, rows.At(i));
    }
    items += ']';
    return {200, std::move(items)};
}

ApiResponse AddItems(ApiScope& scope) {
    NewItemsRequest request;
    if (auto refused = ReadAddRequest(scope, request)) return *refused;
    if (const ItemRefusal r = CheckNewItems(request, scope.settings.EnableHttps != 0); r.Refused())
        return BadRequest(r.field + ": " + r.value + ": " + r.reason);
    // The list is switched last: a refused request changes nothing.
    if (const auto list = scope.body.find("list"); list != scope.body.end() && !list->is_null()) {
        if (auto refused = UseList(scope, *list)) return *refused;
    }
    ListDocument& doc = scope.document;
    if (scope.Confined() && !request.dest.empty()) {
        request.dest = ConfinedDest(doc, request.dest);
        if (const ItemRefusal r = CheckNewItems(request, true); r.Refused())
            return BadRequest(r.field + ": " + r.value + ": " + r.reason);
    }
    nlohmann::json ids = nlohmann::json::array();
    nlohmann::json notes = nlohmann::json::array();
    for (const std::string& url : request.urls) {
        std::string note;
        UrlItem item =
            MakeRequestedItem(doc, url, request, scope.settings, SystemClock().Now(), note);
        if (scope.Confined()) {
            item.Cmd.clear();
            item.Upload = 0;
        }
        if (!note.empty()) notes.push_back(url + note);
        ids.push_back(doc.AddItem(std::move(item)));
    }
    scope.listChanged = true;
    nlohmann::json answer{{"ids", ids}};
    if (!notes.empty()) answer["notes"] = notes;
    return Reply(201, answer);
}

ApiResponse GetItem(ApiScope& scope, RowId id) {
    const Row* row = scope.document.Rows().Find(id);
    return row ? ApiResponse{200, scope.watch.Json(*row)} : NoSuchItem(id);
}

ApiResponse PatchItem(ApiScope& scope, RowId id) {
    ListModel& rows = scope.document.Rows();
    Row* row = rows.Find(id);
    if (!row) return NoSuchItem(id);
    if (auto busy = Busy(*row, false)) return *busy;
    UrlItem item = row->item;
    for (const auto& [key, value] : scope.body.items()) {
        if (auto refused = PatchKey(scope, item, key, value)) return *refused;
    }
    if (const std::string e = CheckItemFields(item); !e.empty()) return BadRequest(e);
    // A row waiting in the queue downloads the edit.
    if (row->runState == RunState::Queued) scope.session.ReplaceQueuedItem(id, item);
    row->item = std::move(item);
    ListModel::RefreshTexts(*row);
    rows.SetModified(true);
    rows.NotifyChanged(id);
    scope.listChanged = true;
    return {200, scope.watch.Json(*row)};
}

ApiResponse DeleteItem(ApiScope& scope, RowId id) {
    ListModel& rows = scope.document.Rows();
    const Row* row = rows.Find(id);
    if (!row) return NoSuchItem(id);
    if (auto busy = Busy(*row, true)) return *busy;
    rows.Remove({id});
    rows.SetModified(true);
    scope.listChanged = true;
    return {204, ""};
}

}  // namespace kov
