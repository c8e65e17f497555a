#pragma once

#include <memory>

#include "web_control/api_message.h"
#include "web_control/item_watch.h"
#include "web_control/list_copies.h"
#include "web_control/log_feed.h"
#include "web_control/main_loop_call.h"
#include "web_control/snapshot_keeper.h"

namespace kov {

struct AppSettings;
class EventHub;
class EventLog;
class ListDocument;
class MainLoop;
class SessionController;

// What the API steers: one program's settings, lists, session, log and main loop.
struct RemoteTargets {
    AppSettings& settings;
    ListDocument& document;
    SessionController& session;
    EventLog& log;
    MainLoop& loop;
};

// The routes of /api/v1/ (the server has checked the token, Host, Origin and size):
//   GET    lists                    [{"index","name","current"}]
//   POST   lists/current            {"list": N} → the lists
//   GET    items[?list=N]           [item...] of the current list, or of list N (read only)
//   POST   items                    {"urls","name"?,"dest"?,"template"?,"list"?} → 201 {"ids"}
//   GET|PATCH|DELETE items/ID       the item; PATCH keys as the list file names them
//   POST   session/start            {"ids"?} → 202 {"session"}
//   POST   session/stop             {"now"?} → 202 {"session"}
//   GET    status                   session, list, jobs, totals, traffic, queue
//   GET    log?after=N              {"lines": [{"seq","time","text","kind"}], "next"}
// Handle runs on the server's threads. The status, the lists, the current list's items and the
// log are answered there from what the main loop keeps for them, so a read does not wait while
// a session keeps the main loop busy; everything else runs as a task of the main loop and the
// thread waits for it. A route that changes something renews the kept reads before it answers.
// Built, closed and destroyed on the main loop's thread.
class RemoteApi {
public:
    static constexpr int kSaveTimer = 69901;
    // A change is written to the list file this long after the last one.
    static constexpr std::chrono::milliseconds kSaveDelay{1000};

    RemoteApi(RemoteTargets targets, EventHub& hub);
    ~RemoteApi();
    RemoteApi(const RemoteApi&) = delete;
    RemoteApi& operator=(const RemoteApi&) = delete;

    ApiResponse Handle(const ApiRequest& request);
    // Requests waiting or still to come are answered 503; a pending change is saved.
    void Close();

    struct RouteEntry;

private:
    ApiResponse Route(const RouteEntry& route, RowId id, const ApiRequest& request,
                      nlohmann::json body);
    void ListChanged();
    void SaveNow();

    RemoteTargets m_targets;
    EventHub& m_hub;
    ItemWatch m_watch;
    LogFeed m_feed;
    SnapshotKeeper m_snapshots;
    ListCopies m_copies;
    MainLoopCall m_call;
    bool m_savePending = false;
};

}  // namespace kov
