#include "web_control/session_routes.h"

#include <optional>
#include <vector>

#include "model/list_document.h"
#include "net/transfer/traffic_meter.h"
#include "session/session_controller.h"
#include "web_control/api_reply.h"
#include "web_control/item_watch.h"

namespace kov {

namespace {

ApiResponse SessionAnswer(const ApiScope& scope) {
    return Reply(202, nlohmann::json{{"session", SessionStateName(scope.session.State())}});
}

// "YYYYMMDD:HH:MM" as "YYYY-MM-DDTHH:MM"; "----" (no stop time) as null.
nlohmann::json QueueTime(const std::string& t) {
    if (t.size() != 14 || t[8] != ':') return nullptr;
    return t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + "T" + t.substr(9);
}

nlohmann::json Jobs(const ListDocument& document, const SessionController& session,
                    const ItemWatch& watch, nlohmann::json& totals) {
    nlohmann::json jobs = nlohmann::json::array();
    std::size_t done = 0, failed = 0, queued = 0, running = 0;
    const ListModel& rows = document.Rows();
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const Row& row = rows.At(i);
        const std::string state = watch.StateOf(row);
        done += state == "done";
        failed += state == "error";
        queued += state == "queued";
        if (state != "running") continue;
        ++running;
        const std::uint64_t speed = watch.SpeedOf(row.id);
        nlohmann::json eta = nullptr;
        if (row.fileSize > row.filePos && speed > 0) eta = (row.fileSize - row.filePos) / speed;
        jobs.push_back({{"id", row.id},
                        {"name", row.item.Name},
                        {"bytes", row.filePos},
                        {"total", row.fileSize ? nlohmann::json(row.fileSize) : nullptr},
                        {"speed", speed},
                        {"eta", eta}});
    }
    totals = {{"done", done},
              {"failed", failed},
              {"queued", queued},
              {"running", running},
              {"bytes", static_cast<std::uint64_t>(session.Stats().sessionBytes)}};
    return jobs;
}

}  // namespace

const char* SessionStateName(SessionState state) {
    switch (state) {
        case SessionState::Idle:
            return "idle";
        case SessionState::Connecting:
        case SessionState::ConnectFailed:
            return "connecting";
        case SessionState::Downloading:
            return "running";
        case SessionState::Stopping:
        case SessionState::Finishing:
            return "stopping";
    }
    return "idle";
}

ApiResponse StartSession(ApiScope& scope) {
    std::vector<RowId> ids;
    if (const auto given = scope.body.find("ids"); given != scope.body.end() && !given->is_null()) {
        if (!given->is_array()) return Refuse(400, "bad request", "ids: a list of item ids");
        for (const nlohmann::json& id : *given) {
            if (!id.is_number_unsigned() || !scope.document.Rows().Find(id.get<RowId>()))
                return Refuse(404, "no such item", "ids: no item has the id " + id.dump());
            ids.push_back(id.get<RowId>());
        }
    }
    scope.session.StartRequest(!ids.empty(), ids);
    return SessionAnswer(scope);
}

// As AbortMode says, unless the caller says: "now" true stops at once, false after the
// current files.
ApiResponse StopSession(ApiScope& scope) {
    std::optional<bool> now;
    if (const auto given = scope.body.find("now"); given != scope.body.end() && !given->is_null()) {
        if (!given->is_boolean()) return Refuse(400, "bad request", "now: true or false");
        now = given->get<bool>();
    }
    if (scope.session.State() == SessionState::Idle) return SessionAnswer(scope);
    if (now == false)
        scope.session.StopAfterCurrentFiles();
    else
        scope.session.OnStop(now.value_or(false));
    return SessionAnswer(scope);
}

std::string StatusText(const AppSettings& settings, const ListDocument& document,
                       SessionController& session, const ItemWatch& watch) {
    nlohmann::json totals;
    nlohmann::json jobs = Jobs(document, session, watch, totals);
    nlohmann::json queue = nlohmann::json::array();
    for (const ScheduleEntry& e : session.Schedule().Queue()) {
        queue.push_back({{"task", e.TaskName},
                         {"list", e.ListName},
                         {"start", QueueTime(e.start)},
                         {"stop", QueueTime(e.stop)}});
    }
    const std::uint64_t limit = ParseTrafficLimit(settings.LimitSum);
    nlohmann::json status;
    status["session"] = SessionStateName(session.State());
    status["list"] = document.CurrentIndex() + 1;
    status["jobs"] = std::move(jobs);
    status["totals"] = std::move(totals);
    status["traffic"] = {{"counter", GlobalTrafficMeter().TrafficCount()},
                         {"limit", limit ? nlohmann::json(limit) : nullptr}};
    status["queue"] = std::move(queue);
    return JsonText(status);
}

}  // namespace kov
