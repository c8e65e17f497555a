#include "web_control/remote_api.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "core/main_loop.h"
#include "model/list_document.h"
#include "web_control/api_reply.h"
#include "web_control/api_scope.h"
#include "web_control/items_routes.h"
#include "web_control/session_routes.h"

namespace kov {

// A route: run on the main loop, or read (when it can) from the kept snapshot off it.
struct RemoteApi::RouteEntry {
    std::string_view method;
    std::string_view path;  // '#': an item id
    ApiResponse (*run)(ApiScope& scope, RowId id);
    std::optional<ApiResponse> (*read)(const std::shared_ptr<const ReadSnapshot>& snapshot,
                                       const ApiRequest& request, RowId id);
};

namespace {

using RouteEntry = RemoteApi::RouteEntry;

// Whether a caller's If-None-Match names tag ("*" names any).
bool HasTag(std::string_view given, std::string_view tag) {
    while (!given.empty()) {
        const std::size_t comma = given.find(',');
        std::string_view one = given.substr(0, comma);
        given = comma == std::string_view::npos ? std::string_view() : given.substr(comma + 1);
        while (!one.empty() && (one.front() == ' ' || one.front() == '\t'))
            one.remove_prefix(1);
        while (!one.empty() && (one.back() == ' ' || one.back() == '\t'))
            one.remove_suffix(1);
        if (one.substr(0, 2) == "W/") one.remove_prefix(2);
        if (one == tag || one == "*") return true;
    }
    return false;
}

// The current list's items; another list's are read on the main loop.
// The text of ten thousand rows is sent from the snapshot itself, which the answer keeps alive:
// a copy per request cost more than the rest of the request together. A caller that has this
// text already (its tag) gets 304 and no body.
std::optional<ApiResponse> ReadItems(const std::shared_ptr<const ReadSnapshot>& snapshot,
                                     const ApiRequest& request, RowId) {
    const ItemsText& items = snapshot->Items();
    const auto list = request.query.find("list");
    if (list != request.query.end() && list->second != std::to_string(items.List()))
        return std::nullopt;
    ApiResponse answer;
    answer.etag = items.Tag();
    if (HasTag(request.ifNoneMatch, items.Tag())) {
        answer.status = 304;
        return answer;
    }
    answer.pieces = items.Text();
    return answer;
}

// An item of the current list; the main loop tells why there is none.
std::optional<ApiResponse> ReadItem(const std::shared_ptr<const ReadSnapshot>& snapshot,
                                    const ApiRequest&, RowId id) {
    auto text = snapshot->Items().Item(id);
    if (!text) return std::nullopt;
    return ApiResponse{200, std::move(*text)};
}

const RouteEntry kRoutes[] = {
    {"GET", "lists", nullptr,
     [](const std::shared_ptr<const ReadSnapshot>& s, const ApiRequest&, RowId) {
         return std::optional(ApiResponse{200, s->Lists()});
     }},
    {"POST", "lists/current", [](ApiScope& s, RowId) { return SelectList(s); }, nullptr},
    {"GET", "items", [](ApiScope& s, RowId) { return GetItems(s); }, ReadItems},
    {"POST", "items", [](ApiScope& s, RowId) { return AddItems(s); }, nullptr},
    {"GET", "items/#", GetItem, ReadItem},
    {"PATCH", "items/#", PatchItem, nullptr},
    {"DELETE", "items/#", DeleteItem, nullptr},
    {"POST", "session/start", [](ApiScope& s, RowId) { return StartSession(s); }, nullptr},
    {"POST", "session/stop", [](ApiScope& s, RowId) { return StopSession(s); }, nullptr},
    {"GET", "status", nullptr,
     [](const std::shared_ptr<const ReadSnapshot>& s, const ApiRequest&, RowId) {
         return std::optional(ApiResponse{200, s->Status()});
     }},
};

constexpr std::string_view kPrefix = "/api/v1/";

bool ParseNumber(std::string_view text, std::uint64_t& number) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, number);
    return !text.empty() && ec == std::errc() && ptr == end;
}

// Whether path fits pattern; id gets the number where the pattern has '#'.
bool Matches(std::string_view pattern, std::string_view path, RowId& id) {
    const std::size_t hash = pattern.find('#');
    if (hash == std::string_view::npos) return pattern == path;
    return path.size() > hash && path.substr(0, hash) == pattern.substr(0, hash) &&
           ParseNumber(path.substr(hash), id);
}

ApiResponse ReadLog(const LogFeed& feed, const ApiRequest& request) {
    std::uint64_t after = 0;
    const auto given = request.query.find("after");
    if (given != request.query.end() && !ParseNumber(given->second, after))
        return Refuse(400, "bad request", "after: a line number is needed");
    return Reply(200, feed.After(after));
}

}  // namespace

RemoteApi::RemoteApi(RemoteTargets targets, EventHub& hub)
    : m_targets(targets),
      m_hub(hub),
      m_watch(targets.document, targets.session, targets.loop, hub),
      m_feed(targets.log, hub),
      m_snapshots(targets.settings, targets.document, targets.session, m_watch, targets.loop),
      m_call(targets.loop) {
    m_watch.SetBeforeEvent([this] { m_snapshots.Refresh(); });
}

RemoteApi::~RemoteApi() {
    m_watch.SetBeforeEvent(nullptr);
    Close();
}

ApiResponse RemoteApi::Handle(const ApiRequest& request) {
    std::string_view path = request.path;
    if (path.substr(0, kPrefix.size()) != kPrefix)
        return Refuse(404, "not found", "the API lives under /api/v1/");
    path.remove_prefix(kPrefix.size());
    if (path == "log") {
        if (request.method != "GET") return Refuse(405, "method not allowed", "log: GET");
        return m_call.Closed() ? Refuse(503, "unavailable", "the program is shutting down")
                               : ReadLog(m_feed, request);
    }
    const RouteEntry* route = nullptr;
    RowId id = 0;
    bool known = false;
    for (const RouteEntry& entry : kRoutes) {
        if (!Matches(entry.path, path, id)) continue;
        known = true;
        if (entry.method != request.method) continue;
        route = &entry;
        break;
    }
    if (!route) {
        if (known) return Refuse(405, "method not allowed", request.method + " " + request.path);
        return Refuse(404, "not found", "no such path: " + request.path);
    }
    if (route->read) {
        if (m_call.Closed()) return Refuse(503, "unavailable", "the program is shutting down");
        if (auto answer = route->read(m_snapshots.Current(), request, id))
            return std::move(*answer);
    }
    nlohmann::json body;
    if (request.method == "POST" || request.method == "PATCH") {
        body = request.body.empty() ? nlohmann::json::object()
                                    : nlohmann::json::parse(request.body, nullptr, false);
        if (body.is_discarded()) return Refuse(400, "bad JSON", "the body is not JSON");
        if (!body.is_object()) return Refuse(400, "bad JSON", "the body must be an object");
    }
    // A copy: a wait that gave up must not leave the task reading a request that is gone.
    return m_call.Run(
        [this, route, id, request, body = std::move(body)]() mutable {
            return Route(*route, id, request, std::move(body));
        },
        request.stopping);
}

ApiResponse RemoteApi::Route(const RouteEntry& route, RowId id, const ApiRequest& request,
                             nlohmann::json body) {
    ApiScope scope{
        m_targets.settings, m_targets.document, m_targets.session, m_watch, m_copies, request,
        std::move(body)};
    ApiResponse response = route.run(scope, id);
    if (scope.listChanged) ListChanged();
    // The caller's next read sees what this one changed.
    if (request.method != "GET") m_snapshots.Refresh();
    return response;
}

void RemoteApi::ListChanged() {
    if (m_savePending) return;
    m_savePending = true;
    m_targets.loop.StartTimer(kSaveTimer, kSaveDelay, [this] { SaveNow(); });
}

void RemoteApi::SaveNow() {
    m_targets.loop.StopTimer(kSaveTimer);
    if (!m_savePending) return;
    m_savePending = false;
    ListDocument& doc = m_targets.document;
    // A failed save is told by the document and keeps the list modified for the next one.
    if (doc.Rows().Modified()) (void)doc.SaveList(true, false);
}

void RemoteApi::Close() {
    m_call.Close();
    SaveNow();
}

}  // namespace kov
