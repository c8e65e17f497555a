#pragma once

#include <set>

#include "model/list_model.h"

namespace kov {

// Counts, while a session runs, the rows that finished and the rows that failed, for the
// notification at its end (the rows' images are reset when it ends).
class SessionTally : public ListModelListener {
public:
    explicit SessionTally(ListModel& rows);
    ~SessionTally() override;
    SessionTally(const SessionTally&) = delete;
    SessionTally& operator=(const SessionTally&) = delete;

    void Start();
    void Stop() { m_counting = false; }
    int Files() const { return static_cast<int>(m_files.size()); }
    int Errors() const { return static_cast<int>(m_errors.size()); }

    void RowChanged(RowId id) override;

private:
    ListModel& m_rows;
    bool m_counting = false;
    std::set<RowId> m_files;
    std::set<RowId> m_errors;
};

}  // namespace kov
