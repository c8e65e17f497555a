#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/thread_owner.h"
#include "model/url_item.h"

namespace kov {

using RowId = std::uint64_t;

// What the current session does with a row's item.
enum class RunState : int { None = 0, Queued, Running, Finished, Aborted, Cancelled };

// Row images of the URL list.
enum RowImage : int {
    kImageNotDue = 0,
    kImageOrdinary = 1,
    kImageDisabled = 2,
    kImageFinished = 3,
    kImageRunning = 4,
    kImageQueued = 5,
    kImageAborted = 6,
    kImageStopRequested = 7,
    kImageError = 8,
    kImageFromEmail = 9,
    kImageLocalJob = 10,
};

// Columns of the URL list.
enum RowColumn : int {
    kColumnName = 0,
    kColumnUrl,
    kColumnDest,
    kColumnStatus,
    kColumnTimePassed,
    kColumnTimeRest,
    kColumnSpeed,
    kColumnCount
};

// One row of the current list: the item and what the session keeps beside it (never stored).
struct Row {
    RowId id = 0;
    UrlItem item;
    // The stop flag of the session's job for this row; empty when the row has no job.
    std::shared_ptr<std::atomic<int>> job;
    RunState runState = RunState::None;
    std::uint64_t filePos = 0;   // bytes of the current file present
    std::uint64_t fileSize = 0;  // expected size of the current file, 0 unknown
    std::uint64_t jobBytes = 0;  // bytes received since the job started
    int linkIndex = 0;
    int linkCount = 0;
    std::time_t jobStart = 0;
    int image = kImageOrdinary;
    std::array<std::string, kColumnCount> columns;
};

// Told about every change of the rows; views and the CLI printer listen.
class ListModelListener {
public:
    virtual ~ListModelListener() = default;
    virtual void RowChanged(RowId /*id*/) {}
    virtual void RowsInserted(std::size_t /*first*/, std::size_t /*count*/) {}
    virtual void RowsRemoved(std::size_t /*first*/, std::size_t /*count*/) {}
    virtual void RowsReset() {}  // everything changed (a list was opened)
};

// The ordered rows of the current list. Rows are addressed by a stable id, so an event for a
// row that was deleted meanwhile finds nothing. Used on the main thread only.
class ListModel {
public:
    std::size_t Count() const { return m_rows.size(); }
    const Row& At(std::size_t index) const { return *m_rows[index]; }
    Row& At(std::size_t index) { return *m_rows[index]; }
    Row* Find(RowId id);
    const Row* Find(RowId id) const;
    // The index of a row, or -1.
    long IndexOf(RowId id) const;
    std::vector<RowId> Ids() const;

    RowId Append(UrlItem item);
    RowId Insert(std::size_t index, UrlItem item);
    // Removes the rows that exist among ids; returns how many went.
    std::size_t Remove(const std::vector<RowId>& ids);
    // Moves each of the rows one place up (down); a row at the edge, or blocked by another
    // moving row at the edge, stays. Returns whether anything moved.
    bool MoveUp(const std::vector<RowId>& ids);
    bool MoveDown(const std::vector<RowId>& ids);
    void Clear();
    // Replaces all rows (a list was opened).
    void Reset(std::vector<UrlItem> items);

    // Tells the listeners that a row's fields changed.
    void NotifyChanged(RowId id);
    // Sets the name, URL and destination columns and the image from the item.
    static void RefreshTexts(Row& row);

    bool Modified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    void AddListener(ListModelListener* listener);
    void RemoveListener(ListModelListener* listener);

private:
    std::unique_ptr<Row> MakeRow(UrlItem item);
    bool MoveRows(const std::vector<RowId>& ids, bool up);
    void Reindex() const;

    std::vector<std::unique_ptr<Row>> m_rows;
    std::unordered_map<RowId, Row*> m_byId;
    mutable std::unordered_map<RowId, std::size_t> m_index;
    mutable bool m_indexValid = true;
    RowId m_nextId = 1;
    bool m_modified = false;
    std::vector<ListModelListener*> m_listeners;
    ThreadOwner m_owner;  // the rows change on the main loop only
};

}  // namespace kov
