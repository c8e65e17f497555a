#include "web_control/remote_api.h"

#include <charconv>
#include <string_view>

#include "core/main_loop.h"
#include "model/list_document.h"
#include "web_control/api_reply.h"
#include "web_control/api_scope.h"
#include "web_control/items_routes.h"
#include "web_control/session_routes.h"

namespace kov {

namespace {

constexpr std::string_view kPrefix = "/api/v1/";

struct RouteEntry {
    std::string_view method;
    std::string_view path;  // '#': an item id
    ApiResponse (*run)(ApiScope& scope, RowId id);
};

const RouteEntry kRoutes[] = {
    {"GET", "lists", [](ApiScope& s, RowId) { return GetLists(s); }},
    {"POST", "lists/current", [](ApiScope& s, RowId) { return SelectList(s); }},
    {"GET", "items", [](ApiScope& s, RowId) { return GetItems(s); }},
    {"POST", "items", [](ApiScope& s, RowId) { return AddItems(s); }},
    {"GET", "items/#", GetItem},
    {"PATCH", "items/#", PatchItem},
    {"DELETE", "items/#", DeleteItem},
    {"POST", "session/start", [](ApiScope& s, RowId) { return StartSession(s); }},
    {"POST", "session/stop", [](ApiScope& s, RowId) { return StopSession(s); }},
    {"GET", "status", [](ApiScope& s, RowId) { return GetStatus(s); }},
};

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
      m_call(targets.loop) {}

RemoteApi::~RemoteApi() {
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
    nlohmann::json body;
    if (request.method == "POST" || request.method == "PATCH") {
        body = request.body.empty() ? nlohmann::json::object()
                                    : nlohmann::json::parse(request.body, nullptr, false);
        if (body.is_discarded()) return Refuse(400, "bad JSON", "the body is not JSON");
        if (!body.is_object()) return Refuse(400, "bad JSON", "the body must be an object");
    }
    // A copy: a wait that gave up must not leave the task reading a request that is gone.
    return m_call.Run(
        [this, request, body = std::move(body)]() mutable {
            return Route(request, std::move(body));
        },
        request.stopping);
}

ApiResponse RemoteApi::Route(const ApiRequest& request, nlohmann::json body) {
    std::string_view path = request.path;
    path.remove_prefix(kPrefix.size());
    bool known = false;
    for (const RouteEntry& route : kRoutes) {
        RowId id = 0;
        if (!Matches(route.path, path, id)) continue;
        known = true;
        if (route.method != request.method) continue;
        ApiScope scope{m_targets.settings, m_targets.document, m_targets.session, m_watch, request,
                       std::move(body)};
        ApiResponse response = route.run(scope, id);
        if (scope.listChanged) ListChanged();
        return response;
    }
    if (known) return Refuse(405, "method not allowed", request.method + " " + request.path);
    return Refuse(404, "not found", "no such path: " + request.path);
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
