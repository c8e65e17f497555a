#include "session/scheduler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "core/language/message_table.h"
#include "platform/clock.h"
#include "session/event_log.h"

namespace kov {

namespace {

using Date = std::chrono::year_month_day;

Date DateOf(const CalendarTime& c) {
    return Date{std::chrono::year{c.year}, std::chrono::month{static_cast<unsigned>(c.month)},
                std::chrono::day{static_cast<unsigned>(c.day)}};
}

// Calendar days, so that the day of a daylight-saving change counts as one day.
Date AddDays(const Date& d, int days) {
    return Date{std::chrono::sys_days{d} + std::chrono::days{days}};
}

std::string DateText(const Date& d) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(d.year()),
                  static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return text;
}

std::string HourMinute(int hour, int minute) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", hour, minute);
    return text;
}

// "HH:MM" (or "H:MM") of a task as the zero-padded text the comparisons need; nothing for a
// text that is no time of day, which would otherwise compare as some arbitrary time.
std::optional<std::string> ReadTime(const std::string& text) {
    const std::string t = text.substr(0, 5);
    const auto colon = t.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || t.size() - colon != 3) {
        return std::nullopt;
    }
    int parts[2] = {0, 0};
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (i == colon) continue;
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
        int& part = parts[i < colon ? 0 : 1];
        part = part * 10 + (t[i] - '0');
    }
    if (parts[0] > 23 || parts[1] > 59) return std::nullopt;
    return HourMinute(parts[0], parts[1]);
}

// Begins with the start, so that keys of past days sort before a date.
std::string StartedKey(const ScheduleEntry& e) {
    return e.start + '\n' + e.TaskName + '\n' + e.ListName;
}

}  // namespace

Scheduler::Scheduler(AppSettings& settings, EventLog& log, ScheduledSessions sessions,
                     std::function<std::time_t()> now)
    : m_settings(settings), m_log(log), m_sessions(std::move(sessions)), m_now(std::move(now)) {}

std::size_t Scheduler::BuildTodayQueue() {
    return BuildQueue(false);
}

std::size_t Scheduler::BuildQueue(bool wholeDay) {
    // Entries already due that wait for a running session stay, whatever the time now.
    std::set<std::string> waiting;
    for (const ScheduleEntry& e : m_queue)
        waiting.insert(StartedKey(e));
    m_queue.clear();
    if (!m_settings.schedule.Enabled) return 0;
    const CalendarTime now = LocalTime(m_now());
    const Date today = DateOf(now);
    m_queueDate = DateText(today);
    const std::string tomorrow = DateText(AddDays(today, 1));
    const std::string yesterday = DateText(AddDays(today, -1));
    std::erase_if(m_started, [&](const std::string& key) { return key < yesterday; });
    const std::string nowHM = wholeDay ? "00:00" : HourMinute(now.hour, now.minute);
    const std::int32_t mask = 1 << ((now.dayOfWeek + 6) % 7);  // bit 0 Monday .. bit 6 Sunday

    for (const ScheduleTask& task : m_settings.schedule.tasks) {
        if (!task.Enabled || !(task.Days & mask)) continue;
        const auto start = ReadTime(task.StartTime);
        // An empty stop time, like "00:00", is no stop time.
        const auto stop = ReadTime(task.StopTime.empty() ? "00:00" : task.StopTime);
        if (!start || !stop) {
            m_log.AddLine("[" + task.TaskName +
                              "] - scheduled task skipped, start or stop time \"" + task.StartTime +
                              "\", \"" + task.StopTime + "\" is not HH:MM",
                          1, kLogError);
            continue;
        }
        ScheduleEntry entry{task.TaskName, task.ListName, m_queueDate + ":" + *start, "----",
                            task.SpeedLimited};
        // A stop before the start is on the next day.
        if (*stop != "00:00") entry.stop = (*start > *stop ? tomorrow : m_queueDate) + ":" + *stop;
        const std::string key = StartedKey(entry);
        if (m_started.count(key) || (*start < nowHM && !waiting.count(key))) continue;
        m_queue.push_back(std::move(entry));
    }
    // Equal starts keep the order of the tasks.
    std::stable_sort(
        m_queue.begin(), m_queue.end(),
        [](const ScheduleEntry& a, const ScheduleEntry& b) { return a.start < b.start; });
    return m_queue.size();
}

void Scheduler::SchedulerCheck() {
    const std::time_t t = m_now();
    const CalendarTime c = LocalTime(t);
    const std::string now = DateText(DateOf(c)) + ":" + HourMinute(c.hour, c.minute);
    if (now.compare(0, 8, m_queueDate) != 0) {
        // Checked moments ago, so nothing of the new day has passed unseen, even where a
        // daylight-saving change skips its first hour.
        const bool wholeDay = m_lastCheck != 0 && t - m_lastCheck <= kCheckedLately;
        if (BuildQueue(wholeDay) > 0) {
            m_log.AddLine(GetString(EventCode::QueueRebuilt), 0, kLogSuccess);
        }
    }
    m_lastCheck = t;

    if (m_sessions.state() == SessionState::Downloading && m_scheduledSession &&
        m_currentStop[0] != '-' && now >= m_currentStop) {
        m_log.AddLine(GetString(EventCode::ScheduledStopping), 1, kLogStopped);
        m_currentStop = "-";
        m_sessions.stopSession();
        return;
    }

    while (!m_queue.empty() && now >= m_queue.front().start) {
        const SessionState state = m_sessions.state();
        if (state == SessionState::Idle) {
            // An entry whose list is gone is dropped, so that the later ones still run.
            if (StartFirstEntry()) return;
            continue;
        }
        if (state == SessionState::Downloading && m_settings.schedule.NewTaskStopsCurrent) {
            m_log.AddLine(GetString(EventCode::ScheduledStopping), 1, kLogStopped);
            m_startPending = true;
            m_sessions.stopSession();
        }
        return;
    }
}

bool Scheduler::StartFirstEntry() {
    const ScheduleEntry entry = std::move(m_queue.front());
    m_queue.erase(m_queue.begin());
    m_started.insert(StartedKey(entry));
    if (!m_sessions.selectList(entry.ListName)) {
        m_log.AddLine(
            "[" + entry.TaskName + "] - scheduled task skipped, no list \"" + entry.ListName + "\"",
            1, kLogError);
        return false;
    }
    m_log.AddLine(entry.TaskName + "," + GetString(EventCode::ScheduledStarting) + " " + entry.stop,
                  1, kLogSessionStart);
    m_currentStop = entry.stop;
    m_scheduledSession = true;
    m_startPending = false;
    m_sessions.startSession(entry.SpeedLimited);
    return true;
}

std::size_t Scheduler::RemoveTasksOfList(const std::string& listName) {
    const auto removed = std::erase_if(
        m_settings.schedule.tasks, [&](const ScheduleTask& t) { return t.ListName == listName; });
    if (removed > 0) {
        m_settings.changed = true;
        BuildTodayQueue();
    }
    return removed;
}

bool Scheduler::EntryDue() const {
    if (m_queue.empty()) return false;
    const CalendarTime c = LocalTime(m_now());
    return DateText(DateOf(c)) + ":" + HourMinute(c.hour, c.minute) >= m_queue.front().start;
}

void Scheduler::SessionEnded() {
    m_scheduledSession = false;
    m_currentStop = "-";
}

std::string Scheduler::QueueText() const {
    if (m_queue.empty()) return GetString(EventCode::SchedQueueEmpty);
    std::string text = GetString(EventCode::SchedQueueList) + " :\n";
    for (const ScheduleEntry& e : m_queue) {
        text += GetString(EventCode::SchedStartTime) + " : " + e.start.substr(9);
        if (e.stop[0] != '-')
            text += ", " + GetString(EventCode::SchedStopTime) + " : " + e.stop.substr(9);
        text += ", " + GetString(EventCode::SchedListName) + " : " + e.ListName + "\n";
    }
    return text;
}

}  // namespace kov
