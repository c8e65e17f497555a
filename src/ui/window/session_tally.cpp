#include "ui/window/session_tally.h"

namespace kov {

SessionTally::SessionTally(ListModel& rows) : m_rows(rows) {
    m_rows.AddListener(this);
}

SessionTally::~SessionTally() {
    m_rows.RemoveListener(this);
}

void SessionTally::Start(int errorCount) {
    m_files.clear();
    m_lastDL.clear();
    m_errorsAtStart = errorCount;
    m_errors = 0;
    m_counting = true;
}

void SessionTally::Stop(int errorCount) {
    m_counting = false;
    m_errors = errorCount - m_errorsAtStart;
}

void SessionTally::RowChanged(RowId id) {
    if (!m_counting) return;
    const Row* row = m_rows.Find(id);
    if (!row) return;
    // A failed job finishes as well: only a job that fetched its file (or found it up to date)
    // moves the time of the last download.
    if (row->runState == RunState::Running) {
        m_lastDL.try_emplace(id, row->item.lastDL);
    } else if (row->runState == RunState::Finished) {
        const auto it = m_lastDL.find(id);
        if (it != m_lastDL.end() && row->item.lastDL != it->second) m_files.insert(id);
    }
}

}  // namespace kov
