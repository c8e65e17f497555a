#include "web_control/item_watch.h"

#include "core/main_loop.h"
#include "model/list_document.h"
#include "session/session_controller.h"
#include "web_control/api_reply.h"
#include "web_control/event_hub.h"

namespace kov {

ItemWatch::ItemWatch(ListDocument& document, SessionController& session, MainLoop& loop,
                     EventHub& hub)
    : m_document(document), m_session(session), m_loop(loop), m_hub(hub) {
    m_document.Rows().AddListener(this);
    m_session.SetObserver(this);
    if (m_session.State() != SessionState::Idle) SessionStarted();
}

ItemWatch::~ItemWatch() {
    m_loop.StopTimer(kTimer);
    m_loop.StopTimer(kListTimer);
    m_session.SetObserver(nullptr);
    m_document.Rows().RemoveListener(this);
}

std::string ItemWatch::StateOf(const Row& row) const {
    const bool failed = row.image == kImageError;
    switch (row.runState) {
        case RunState::Queued:
            return "queued";
        case RunState::Running:
            return "running";
        case RunState::Finished:
            return failed ? "error" : "done";
        case RunState::Aborted:
        case RunState::Cancelled:
            return failed ? "error" : "idle";
        case RunState::None:
            break;
    }
    const auto kept = m_outcome.find(row.id);
    return kept == m_outcome.end() ? "idle" : kept->second;
}

const ItemFailure* ItemWatch::FailureOf(RowId id) const {
    const auto it = m_failures.find(id);
    return it == m_failures.end() ? nullptr : &it->second;
}

std::uint64_t ItemWatch::SpeedOf(RowId id) const {
    const auto it = m_progress.find(id);
    return it == m_progress.end() ? 0 : it->second.speed;
}

void ItemWatch::AppendJson(std::string& out, const Row& row) const {
    const ListModel& rows = m_document.Rows();
    const ItemFacts facts{StateOf(row), SpeedOf(row.id), FailureOf(row.id)};
    AppendItemJson(out, row, m_document.CurrentIndex() + 1,
                   static_cast<std::size_t>(rows.IndexOf(row.id) + 1), facts);
}

std::string ItemWatch::Json(const Row& row) const {
    std::string text;
    AppendJson(text, row);
    return text;
}

void ItemWatch::RowChanged(RowId id) {
    const Row* row = m_document.Rows().Find(id);
    if (!row) return;
    if (row->runState == RunState::Queued) {
        // A new run: what the last one ended with no longer holds.
        m_outcome.erase(id);
        m_failures.erase(id);
    }
    const std::string state = StateOf(*row);
    if (state == "done" || state == "error") m_outcome[id] = state;
    if (state == "done") m_failures.erase(id);
    const auto told = m_published.find(id);
    if (told != m_published.end() && told->second == state) return;
    m_published[id] = state;
    PublishItem(*row);
}

void ItemWatch::RowsInserted(std::size_t, std::size_t) {
    ListChanged();
}

void ItemWatch::RowsRemoved(std::size_t, std::size_t) {
    // Ids are never used again; what the gone rows left behind is dropped on the next reset.
    ListChanged();
}

void ItemWatch::RowsReset() {
    m_outcome.clear();
    m_failures.clear();
    m_published.clear();
    m_progress.clear();
    ListChanged();
}

void ItemWatch::ListChanged() {
    if (m_listPending) return;
    m_listPending = true;
    m_loop.StartTimer(kListTimer, kListDelay, [this] { PublishList(); });
}

void ItemWatch::PublishList() {
    m_loop.StopTimer(kListTimer);
    m_listPending = false;
    if (m_beforeEvent) m_beforeEvent();
    m_hub.Publish("list", nlohmann::json{{"list", m_document.CurrentIndex() + 1},
                                         {"count", m_document.Rows().Count()}}
                              .dump());
}

void ItemWatch::SessionStarted() {
    if (m_beforeEvent) m_beforeEvent();
    m_hub.Publish("session", nlohmann::json{{"state", "started"}}.dump());
    m_loop.StartTimer(kTimer, kTick, [this] { Tick(); });
}

void ItemWatch::SessionEnded() {
    Tick();  // the last bytes
    m_loop.StopTimer(kTimer);
    m_progress.clear();
    if (m_beforeEvent) m_beforeEvent();
    const SessionStats& stats = m_session.Stats();
    m_hub.Publish("session",
                  nlohmann::json{{"state", "ended"},
                                 {"bytes", static_cast<std::uint64_t>(stats.sessionBytes)},
                                 {"speed", stats.averageSpeed}}
                      .dump());
}

void ItemWatch::RowFailed(RowId id, const std::string& text, const std::string& cause) {
    m_failures[id] = ItemFailure{text, cause};
}

void ItemWatch::Tick() {
    const auto now = std::chrono::steady_clock::now();
    const ListModel& rows = m_document.Rows();
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const Row& row = rows.At(i);
        if (row.runState != RunState::Running) {
            m_progress.erase(row.id);
            continue;
        }
        auto [it, fresh] = m_progress.try_emplace(row.id, Progress{0, 0, now});
        Progress& p = it->second;
        if (!fresh && p.bytes == row.filePos) {
            // A stalled transfer shows no speed once a second has gone by without bytes.
            if (p.speed == 0 || now - p.at < std::chrono::seconds(1)) continue;
            p.speed = 0;
            m_hub.Publish("progress", JsonText(ProgressJson(row, 0)));
            continue;
        }
        const double seconds = std::chrono::duration<double>(now - p.at).count();
        if (!fresh && seconds > 0 && row.filePos > p.bytes)
            p.speed = static_cast<std::uint64_t>((row.filePos - p.bytes) / seconds);
        p.bytes = row.filePos;
        p.at = now;
        m_hub.Publish("progress", JsonText(ProgressJson(row, p.speed)));
    }
}

void ItemWatch::PublishItem(const Row& row) {
    m_hub.Publish("item", Json(row));
}

}  // namespace kov
