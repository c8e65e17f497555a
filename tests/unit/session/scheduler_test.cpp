#include "session/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/language/message_table.h"
#include "platform/clock.h"
#include "session/event_log.h"
#include "support/env_guard.h"

namespace kov {
namespace {

constexpr std::int32_t kEveryDay = 0x7F;
constexpr std::int32_t kMonday = 0x01;
constexpr std::int32_t kSunday = 0x40;

ScheduleTask Task(std::string name, std::string list, std::string start, std::string stop,
                  std::int32_t days = kEveryDay, std::int32_t speed = 0) {
    return ScheduleTask{
        std::move(name), std::move(list), std::move(start), std::move(stop), days, 1, speed};
}

// Drives a scheduler with its own clock and a session that only records what it is asked.
class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest() {
        settings.schedule.Enabled = 1;
        Fresh();
    }

    // The queue as "start>stop list" texts.
    std::vector<std::string> QueueTexts() const {
        std::vector<std::string> out;
        for (const ScheduleEntry& e : scheduler->Queue())
            out.push_back(e.start + ">" + e.stop + " " + e.ListName);
        return out;
    }
    bool Logged(const std::string& part) const {
        const auto lines = log.Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) {
            return l.text.find(part) != std::string::npos;
        });
    }
    std::string LocalHM() const {
        const CalendarTime c = LocalTime(now);
        char text[8];
        std::snprintf(text, sizeof text, "%02d:%02d", c.hour, c.minute);
        return text;
    }

    // Checks every five seconds for the given minutes. A started session ends by itself after
    // sessionMinutes (0: never); a stopped one at the next check. rebuild: before every check
    // the queue is rebuilt, as a change of the preferences would.
    void Run(int minutes, int sessionMinutes, bool rebuild) {
        const std::time_t end = now + minutes * 60;
        for (; now < end; now += 5) {
            if (state == SessionState::Stopping ||
                (state == SessionState::Downloading && sessionEnd != 0 && now >= sessionEnd)) {
                state = SessionState::Idle;
                scheduler->SessionEnded();
            }
            if (rebuild) scheduler->BuildTodayQueue();
            scheduler->SchedulerCheck();
            if (state == SessionState::Downloading && sessionEnd == 0 && sessionMinutes > 0)
                sessionEnd = now + sessionMinutes * 60;
        }
    }

    AppSettings settings;
    EventLog log{settings, "", [this] { return now; }};
    std::time_t now = 0;
    SessionState state = SessionState::Idle;
    std::time_t sessionEnd = 0;
    std::vector<std::string> lists{"Main", "News"};
    std::string current = "Main";
    std::vector<std::string> calls;  // "HH:MM start List override" and "HH:MM stop"
    std::optional<Scheduler> scheduler;

    // A scheduler that has started nothing yet.
    void Fresh() {
        ScheduledSessions sessions;
        sessions.state = [this] { return state; };
        sessions.selectList = [this](const std::string& name) {
            current = name;
            return std::count(lists.begin(), lists.end(), name) > 0;
        };
        sessions.startSession = [this](std::int32_t speed) {
            calls.push_back(LocalHM() + " start " + current + " " + std::to_string(speed));
            state = SessionState::Downloading;
            sessionEnd = 0;
        };
        sessions.stopSession = [this] {
            calls.push_back(LocalHM() + " stop");
            state = SessionState::Stopping;
        };
        scheduler.emplace(settings, log, sessions, [this] { return now; });
    }
};

TEST_F(SchedulerTest, TodayQueueTakesTheTasksOfTheWeekDayFromThisMinuteOn) {
    test::TimeZone tz("UTC");
    settings.schedule.tasks = {
        Task("Workdays", "Main", "10:15", "11:00", 0x1F),
        Task("Night", "News", "23:00", "01:00"),
        Task("Weekend", "Main", "21:00", "22:00", 0x60),
        Task("Sunday", "News", "10:14", "00:00", kSunday),
        Task("Never", "Main", "10:15", "00:00", 0),
        Task("Early", "Main", "7:30", "", kMonday),
        Task("Broken", "Main", "25:00", "00:00"),
    };
    settings.schedule.tasks.push_back(Task("Off", "Main", "12:00", "00:00"));
    settings.schedule.tasks.back().Enabled = 0;
    const struct {
        CalendarTime at;
        std::vector<std::string> queue;
    } cases[] = {
        // clang-format off
        // Saturday, New Year's Eve: the night task stops in the new year.
        {{2005, 12, 31, 10, 15}, {"20051231:21:00>20051231:22:00 Main",
                                  "20051231:23:00>20060101:01:00 News"}},
        {{2026, 12, 6, 10, 14}, {"20261206:10:14>---- News", "20261206:21:00>20261206:22:00 Main",
                                 "20261206:23:00>20261207:01:00 News"}},
        {{2026, 12, 6, 10, 15}, {"20261206:21:00>20261206:22:00 Main",
                                 "20261206:23:00>20261207:01:00 News"}},
        {{2026, 12, 7, 7, 0}, {"20261207:07:30>---- Main", "20261207:10:15>20261207:11:00 Main",
                               "20261207:23:00>20261208:01:00 News"}},
        {{2026, 12, 7, 10, 16}, {"20261207:23:00>20261208:01:00 News"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        now = MakeTime(c.at) + 30;
        Fresh();
        scheduler->BuildTodayQueue();
        EXPECT_EQ(QueueTexts(), c.queue) << c.at.day << " " << c.at.hour << ":" << c.at.minute;
    }
    EXPECT_TRUE(Logged("[Broken] - scheduled task skipped"));

    settings.schedule.Enabled = 0;
    EXPECT_EQ(scheduler->BuildTodayQueue(), 0u);
}

TEST_F(SchedulerTest, ChecksStartAndStopSessionsByTheClock) {
    const struct {
        const char* what;
        const char* tz;
        CalendarTime fromUtc;
        int minutes;
        std::vector<ScheduleTask> tasks;
        bool newTaskStops;
        int sessionMinutes;
        bool rebuild;
        std::vector<std::string> calls;
    } cases[] = {
        // clang-format off
        {"due this very minute, stopped at its stop time, started once", "UTC",
         {2026, 12, 7, 10, 15, 0}, 5, {Task("T", "Main", "10:15", "10:17")}, false, 0, true,
         {"10:15 start Main 0", "10:17 stop"}},
        {"no stop time: runs until it ends by itself", "UTC",
         {2026, 12, 7, 9, 59}, 60, {Task("T", "News", "10:00", "00:00", kEveryDay, 2)}, false, 0,
         false, {"10:00 start News 2"}},
        {"a stop before the start is on the next day, across the midnight rebuild", "UTC",
         {2026, 12, 6, 22, 59}, 200, {Task("T", "News", "23:00", "02:00", kSunday, 1)}, false, 0,
         false, {"23:00 start News 1", "02:00 stop"}},
        {"equal starts wait for the running session", "UTC",
         {2026, 12, 7, 9, 59}, 40, {Task("A", "Main", "10:00", "00:00"),
         Task("B", "News", "10:00", "00:00")}, false, 30, false,
         {"10:00 start Main 0", "10:30 start News 0"}},
        {"equal starts: the second stops the first", "UTC",
         {2026, 12, 7, 9, 59}, 40, {Task("A", "Main", "10:00", "00:00"),
         Task("B", "News", "10:00", "00:00")}, true, 30, false,
         {"10:00 start Main 0", "10:00 stop", "10:00 start News 0"}},
        {"the queue of the new day is built after midnight", "UTC",
         {2026, 12, 6, 23, 58}, 12, {Task("T", "Main", "00:05", "00:00", kMonday)}, false, 0,
         false, {"00:05 start Main 0"}},
        // 00:55 CET on Sunday 29 March; the waiting entry survives the rebuilds after the gap.
        {"a start and stop in the skipped hour come at its end", "Europe/Berlin",
         {2026, 3, 28, 23, 55}, 120, {Task("T", "Main", "02:30", "03:30")}, false, 0, true,
         {"03:00 start Main 0", "03:30 stop"}},
        // 23:55 EET on Saturday 28 March; the clocks go from midnight to 01:00.
        {"tasks of a first hour that is skipped run after it", "Asia/Beirut",
         {2026, 3, 28, 21, 55}, 20, {Task("T", "Main", "00:30", "00:00")}, false, 0, false,
         {"01:00 start Main 0"}},
        // 02:20 CEST on Sunday 25 October.
        {"the repeated hour starts and stops a task once", "Europe/Berlin",
         {2026, 10, 25, 0, 20}, 120, {Task("T", "Main", "02:30", "02:45")}, false, 0, true,
         {"02:30 start Main 0", "02:45 stop"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TimeZone tz(c.tz);
        settings.schedule.tasks = c.tasks;
        settings.schedule.NewTaskStopsCurrent = c.newTaskStops;
        state = SessionState::Idle;
        calls.clear();
        now = MakeUtcTime(c.fromUtc);
        Fresh();
        scheduler->BuildTodayQueue();
        Run(c.minutes, c.sessionMinutes, c.rebuild);
        EXPECT_EQ(calls, c.calls);
    }
    EXPECT_TRUE(Logged(GetString(EventCode::QueueRebuilt)));
    EXPECT_TRUE(Logged("T," + GetString(EventCode::ScheduledStarting) + " 20261207:02:00"));
}

TEST_F(SchedulerTest, RemovingTheTasksOfAListRebuildsTheQueueShownToTheUser) {
    test::TimeZone tz("UTC");
    settings.schedule.tasks = {Task("A", "Main", "10:00", "10:30"),
                               Task("B", "Main", "11:00", "00:00"),
                               Task("C", "News", "12:00", "00:00")};
    now = MakeTime(CalendarTime{2026, 12, 7, 9, 0});
    scheduler->BuildTodayQueue();
    EXPECT_EQ(scheduler->RemoveTasksOfList("Other"), 0u);
    EXPECT_FALSE(settings.changed);
    EXPECT_EQ(scheduler->RemoveTasksOfList("News"), 1u);
    EXPECT_TRUE(settings.changed);
    EXPECT_EQ(scheduler->QueueText(),
              "Scheduled Tasks (today) :\n"
              "Start time : 10:00, Stop time : 10:30, List Name : Main\n"
              "Start time : 11:00, List Name : Main\n");
    EXPECT_EQ(scheduler->RemoveTasksOfList("Main"), 2u);
    EXPECT_EQ(scheduler->QueueText(), "Scheduled tasks queue is EMPTY !");
}

}  // namespace
}  // namespace kov
