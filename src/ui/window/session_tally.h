#pragma once

#include <ctime>
#include <map>
#include <set>

#include "model/list_model.h"

namespace kov {

// Counts, while a session runs, the rows that fetched their file and the failed transfers, for
// the notification at its end (the rows' images are reset when it ends).
class SessionTally : public ListModelListener {
public:
    explicit SessionTally(ListModel& rows);
    ~SessionTally() override;
    SessionTally(const SessionTally&) = delete;
    SessionTally& operator=(const SessionTally&) = delete;

    // errorCount: the session's running count of failed transfers.
    void Start(int errorCount);
    void Stop(int errorCount);
    int Files() const { return static_cast<int>(m_files.size()); }
    int Errors() const { return m_errors; }

    void RowChanged(RowId id) override;

private:
    ListModel& m_rows;
    bool m_counting = false;
    int m_errorsAtStart = 0;
    int m_errors = 0;
    std::map<RowId, std::time_t> m_lastDL;  // each started row's time of its last download
    std::set<RowId> m_files;
};

}  // namespace kov
