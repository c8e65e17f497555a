#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "model/list_model.h"
#include "web_control/item_json.h"
#include "web_control/read_snapshot.h"

namespace kov {

struct AppSettings;
class ItemWatch;
class ListDocument;
class MainLoop;
class SessionController;

// Keeps the API's read snapshot up to date on the main loop: a changed row, list or session is
// in the next one, made at most every kPeriod; nothing changed and no session running, every
// kQuietPeriod (for the traffic counter and the scheduler's queue). Each row's text is kept and
// made again only when the row or what the API tells of it changed, so a new snapshot of ten
// thousand rows costs the main loop little, and while no row changed the snapshots share the
// rows' text and its tag. The routes that write call Refresh before they
// answer, so the caller's next read sees the change.
class SnapshotKeeper : public ListModelListener {
public:
    static constexpr int kTimer = 69902;
    static constexpr std::chrono::milliseconds kPeriod{100};
    static constexpr std::chrono::milliseconds kQuietPeriod{1000};

    SnapshotKeeper(AppSettings& settings, ListDocument& document, SessionController& session,
                   const ItemWatch& watch, MainLoop& loop);
    ~SnapshotKeeper() override;
    SnapshotKeeper(const SnapshotKeeper&) = delete;
    SnapshotKeeper& operator=(const SnapshotKeeper&) = delete;

    // Any thread.
    std::shared_ptr<const ReadSnapshot> Current() const;
    // Main loop's thread: a new snapshot now.
    void Refresh();

private:
    // What changed in the rows: their kept texts go, a new snapshot is due.
    void RowChanged(RowId id) override;
    void RowsInserted(std::size_t first, std::size_t count) override;
    void RowsRemoved(std::size_t first, std::size_t count) override;
    void RowsReset() override;

    // A row's kept text and what it was made from beside the item's own fields (a change of
    // those is told by RowChanged).
    struct Kept {
        std::string state;
        std::uint64_t speed = 0, bytes = 0, total = 0;
        std::string failure;  // text and cause, "" when none
        std::shared_ptr<const std::string> tail;
    };

    void Tick();
    std::shared_ptr<const std::string> TailOf(const Row& row);
    void DropGoneRows();

    AppSettings& m_settings;
    ListDocument& m_document;
    SessionController& m_session;
    const ItemWatch& m_watch;
    MainLoop& m_loop;
    std::unordered_map<RowId, Kept> m_kept;
    // The rows' text, kept while no row changes; each new one gets a new tag.
    std::shared_ptr<const ItemsText> m_items;
    std::shared_ptr<ItemsText::Last> m_lastItems = std::make_shared<ItemsText::Last>();
    std::uint64_t m_itemsMade = 0;
    const std::string m_mark;  // tells this run's tags from another's
    bool m_dirty = false;
    std::chrono::steady_clock::time_point m_madeAt{};

    mutable std::mutex m_lock;
    std::shared_ptr<const ReadSnapshot> m_current;  // under m_lock
};

}  // namespace kov
