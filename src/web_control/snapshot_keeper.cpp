#include "web_control/snapshot_keeper.h"

#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "core/main_loop.h"
#include "model/list_document.h"
#include "session/session_controller.h"
#include "web_control/item_watch.h"
#include "web_control/items_routes.h"
#include "web_control/session_routes.h"

namespace kov {

namespace {

std::string FailureText(const ItemFailure* failure) {
    return failure ? failure->text + '\n' + failure->cause : std::string();
}

std::string RunMark() {
    std::random_device random;
    char text[20];
    std::snprintf(text, sizeof text, "%08x%08x", random(), random());
    return text;
}

// The entity tag of a rows' text: "<this run's mark>-<count of texts made>".
std::string ItemsTag(const std::string& mark, std::uint64_t version) {
    return '"' + mark + '-' + std::to_string(version) + '"';
}

}  // namespace

SnapshotKeeper::SnapshotKeeper(AppSettings& settings, ListDocument& document,
                               SessionController& session, const ItemWatch& watch, MainLoop& loop)
    : m_settings(settings),
      m_document(document),
      m_session(session),
      m_watch(watch),
      m_loop(loop),
      m_mark(RunMark()) {
    m_document.Rows().AddListener(this);
    Refresh();
    m_loop.StartTimer(kTimer, kPeriod, [this] { Tick(); });
}

SnapshotKeeper::~SnapshotKeeper() {
    m_loop.StopTimer(kTimer);
    m_document.Rows().RemoveListener(this);
}

std::shared_ptr<const ReadSnapshot> SnapshotKeeper::Current() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_current;
}

void SnapshotKeeper::Refresh() {
    const ListModel& rows = m_document.Rows();
    ItemsText::Rows texts;
    texts.reserve(rows.Count());
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const Row& row = rows.At(i);
        texts.push_back({row.id, TailOf(row)});
    }
    if (m_kept.size() > 2 * rows.Count() + 64) DropGoneRows();
    const std::size_t list = m_document.CurrentIndex() + 1;
    if (!m_items || !m_items->Same(list, texts)) {
        m_items = std::make_shared<const ItemsText>(list, std::move(texts),
                                                    ItemsTag(m_mark, ++m_itemsMade), m_lastItems);
    }
    auto made = std::make_shared<const ReadSnapshot>(
        StatusText(m_settings, m_document, m_session, m_watch), ListsText(m_document), m_items);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_current.swap(made);
    }
    // The old snapshot goes here, outside the lock, unless a reader still holds it.
    m_dirty = false;
    m_madeAt = std::chrono::steady_clock::now();
}

void SnapshotKeeper::RowChanged(RowId id) {
    m_kept.erase(id);
    m_dirty = true;
}

void SnapshotKeeper::RowsInserted(std::size_t, std::size_t) {
    m_dirty = true;
}

void SnapshotKeeper::RowsRemoved(std::size_t, std::size_t) {
    m_dirty = true;
}

void SnapshotKeeper::RowsReset() {
    m_kept.clear();
    m_dirty = true;
}

void SnapshotKeeper::Tick() {
    // A running session moves bytes and speeds without telling the rows' listeners.
    if (m_dirty || m_session.State() != SessionState::Idle ||
        std::chrono::steady_clock::now() - m_madeAt >= kQuietPeriod)
        Refresh();
}

std::shared_ptr<const std::string> SnapshotKeeper::TailOf(const Row& row) {
    const ItemFacts facts{m_watch.StateOf(row), m_watch.SpeedOf(row.id), m_watch.FailureOf(row.id)};
    std::string failure = FailureText(facts.failure);
    Kept& kept = m_kept[row.id];
    if (kept.tail && kept.state == facts.state && kept.speed == facts.speed &&
        kept.bytes == row.filePos && kept.total == row.fileSize && kept.failure == failure)
        return kept.tail;
    auto tail = std::make_shared<std::string>();
    AppendItemTail(*tail, row, facts);
    kept = Kept{facts.state, facts.speed, row.filePos, row.fileSize, std::move(failure), tail};
    return tail;
}

void SnapshotKeeper::DropGoneRows() {
    const ListModel& rows = m_document.Rows();
    std::unordered_map<RowId, Kept> kept;
    kept.reserve(rows.Count());
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const auto it = m_kept.find(rows.At(i).id);
        if (it != m_kept.end()) kept.insert(std::move(*it));
    }
    m_kept.swap(kept);
}

}  // namespace kov
