#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "model/list_model.h"
#include "session/session_observer.h"
#include "web_control/item_json.h"

namespace kov {

class EventHub;
class ListDocument;
class MainLoop;
class SessionController;

// Follows the rows of the current list for the remote API, on the main loop's thread: the
// state each row is in for a caller (idle, queued, running, done, error), the last failure's
// text and cause, the speed, and the events it hands to the hub: an item whose state changed,
// its progress at most every kTick, a session's start and end, and a change of the list (rows
// added or removed, another list made current) once for each burst of them, kListDelay after
// its first. The outcome of a row outlives the session's end, which sets the rows back to idle
// for the window.
class ItemWatch : public ListModelListener, public SessionObserver {
public:
    static constexpr int kTimer = 69900;
    static constexpr std::chrono::milliseconds kTick{250};
    static constexpr int kListTimer = 69903;
    static constexpr std::chrono::milliseconds kListDelay{50};

    ItemWatch(ListDocument& document, SessionController& session, MainLoop& loop, EventHub& hub);
    ~ItemWatch() override;
    ItemWatch(const ItemWatch&) = delete;
    ItemWatch& operator=(const ItemWatch&) = delete;

    std::string StateOf(const Row& row) const;
    const ItemFailure* FailureOf(RowId id) const;
    std::uint64_t SpeedOf(RowId id) const;
    // The item as the API shows it, with its list and place in it, as JSON text.
    void AppendJson(std::string& out, const Row& row) const;
    std::string Json(const Row& row) const;

    // Called on the session's start and end and on a change of the list before the stream is
    // told, so that a reader who heard of it reads the outcome.
    void SetBeforeEvent(std::function<void()> hook) { m_beforeEvent = std::move(hook); }

    void RowChanged(RowId id) override;
    void RowsInserted(std::size_t first, std::size_t count) override;
    void RowsRemoved(std::size_t first, std::size_t count) override;
    void RowsReset() override;
    void SessionStarted() override;
    void SessionEnded() override;
    void RowFailed(RowId id, const std::string& text, const std::string& cause) override;

private:
    struct Progress {
        std::uint64_t bytes = 0;
        std::uint64_t speed = 0;  // B/s over the last tick
        std::chrono::steady_clock::time_point at{};
    };

    void Tick();
    void PublishItem(const Row& row);
    void ListChanged();
    void PublishList();

    ListDocument& m_document;
    SessionController& m_session;
    MainLoop& m_loop;
    EventHub& m_hub;
    std::unordered_map<RowId, std::string> m_outcome;    // done or error, kept past the session
    std::unordered_map<RowId, ItemFailure> m_failures;   // the last failure of a row
    std::unordered_map<RowId, std::string> m_published;  // the state the stream last told
    std::unordered_map<RowId, Progress> m_progress;      // running rows
    std::function<void()> m_beforeEvent;
    bool m_listPending = false;
};

}  // namespace kov
