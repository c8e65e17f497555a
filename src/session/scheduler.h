#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/settings/app_settings.h"
#include "session/session_state.h"

namespace kov {

class EventLog;

// A task due today. Date-times are "YYYYMMDD:HH:MM" texts: they compare correctly as text.
struct ScheduleEntry {
    std::string TaskName;
    std::string ListName;
    std::string start;
    std::string stop;  // "----": no stop time
    std::int32_t SpeedLimited = 0;
};

// What the scheduler asks of the session controller.
struct ScheduledSessions {
    std::function<SessionState()> state;
    // Makes the named list current; false when there is no such list or it cannot be opened.
    std::function<bool(const std::string& listName)> selectList;
    // Starts a session over all rows of the current list with the task's speed-limit override
    // (0 none, 1 on, 2 off).
    std::function<void(std::int32_t speedOverride)> startSession;
    // Stops the running session at once.
    std::function<void()> stopSession;
};

// Starts and stops sessions by the clock: turns the tasks due today into a queue sorted by
// start time and, at each check, stops a scheduled session whose stop time came and starts the
// first entry whose start time came. Local wall-clock texts decide, so a skipped hour of a
// daylight-saving change starts its tasks at the first check after it, and a repeated hour
// never starts a task a second time. Main thread only.
class Scheduler {
public:
    Scheduler(AppSettings& settings, EventLog& log, ScheduledSessions sessions,
              std::function<std::time_t()> now);

    // Rebuilds today's queue from the tasks starting from this minute on; empty while
    // scheduler mode is off. Entries that came due and still wait stay; tasks started today
    // or skipped already are not queued again. Returns the number of entries.
    std::size_t BuildTodayQueue();
    // The periodic check: rebuilds the queue when the date changed, then the stop and start
    // tests.
    void SchedulerCheck();
    // Removes the tasks of a deleted list and rebuilds the queue; returns how many went.
    std::size_t RemoveTasksOfList(const std::string& listName);

    // The session ended, or the user started one: no scheduled stop applies any more.
    void SessionEnded();

    // The queue as shown to the user.
    std::string QueueText() const;
    const std::vector<ScheduleEntry>& Queue() const { return m_queue; }
    bool ScheduledSession() const { return m_scheduledSession; }
    // A due task stopped the running session and waits for it to end.
    bool StartPending() const { return m_startPending; }
    // The first entry's start has come: it starts as soon as no session runs.
    bool EntryDue() const;
    const std::string& CurrentStop() const { return m_currentStop; }

private:
    static constexpr std::time_t kCheckedLately = 60;  // seconds

    // wholeDay: from 00:00 on instead of from this minute on.
    std::size_t BuildQueue(bool wholeDay);
    bool StartFirstEntry();

    AppSettings& m_settings;
    EventLog& m_log;
    ScheduledSessions m_sessions;
    std::function<std::time_t()> m_now;
    std::vector<ScheduleEntry> m_queue;
    std::string m_queueDate;  // YYYYMMDD the queue was built for
    std::string m_currentStop = "-";
    std::time_t m_lastCheck = 0;
    // "start task list" of the entries started or skipped lately; a rebuild does not queue
    // them again.
    std::set<std::string> m_started;
    bool m_scheduledSession = false;
    bool m_startPending = false;
};

}  // namespace kov
