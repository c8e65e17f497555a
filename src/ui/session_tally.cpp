#include "ui/session_tally.h"

namespace kov {

SessionTally::SessionTally(ListModel& rows) : m_rows(rows) {
    m_rows.AddListener(this);
}

SessionTally::~SessionTally() {
    m_rows.RemoveListener(this);
}

void SessionTally::Start() {
    m_files.clear();
    m_errors.clear();
    m_counting = true;
}

void SessionTally::RowChanged(RowId id) {
    if (!m_counting) return;
    const Row* row = m_rows.Find(id);
    if (!row) return;
    // A row retried after an error and then finished counts as a file only.
    if (row->runState == RunState::Finished) {
        m_files.insert(id);
        m_errors.erase(id);
    } else if (row->image == kImageError && !m_files.count(id)) {
        m_errors.insert(id);
    }
}

}  // namespace kov
