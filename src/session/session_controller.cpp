#include "session/session_controller.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "core/main_loop.h"
#include "core/message_table.h"
#include "core/prompter.h"
#include "engine/worker_pool.h"
#include "model/list_document.h"
#include "net/inet.h"
#include "net/shared_connections.h"
#include "net/traffic_meter.h"
#include "platform/clock.h"
#include "session/event_log.h"
#include "session/job_event_handler.h"

namespace kov {

namespace {
constexpr std::time_t kDay = 86400;
}

SessionController::SessionController(AppSettings& settings, ListDocument& document, MainLoop& loop,
                                     WorkerPool& pool, EventLog& log, Prompter& prompter,
                                     std::shared_ptr<JobEnvironment> jobEnvironment,
                                     SessionHooks hooks)
    : m_settings(settings),
      m_document(document),
      m_loop(loop),
      m_pool(pool),
      m_log(log),
      m_prompter(prompter),
      m_jobEnv(std::move(jobEnvironment)),
      m_hooks(std::move(hooks)) {
    m_context.rows = &m_document.Rows();
    m_context.log = &m_log;
    m_context.settings = &m_settings;
    m_context.stats = &m_stats;
    m_context.limitCounter = &GlobalLimitCounter();
    m_context.playSound = m_hooks.playSound;
    m_context.now = m_hooks.now;
    m_speedLimitOn = m_settings.SpeedLimited != 0;
}

SessionController::~SessionController() {
    if (m_connectThread.joinable()) m_connectThread.join();
}

void SessionController::SetAutoMode(bool autoMode, bool shutdownAfter) {
    m_autoMode = autoMode;
    m_shutdownAfter = autoMode && shutdownAfter;
}

std::time_t SessionController::Now() const {
    return m_hooks.now ? m_hooks.now() : SystemClock().Now();
}

std::time_t SessionController::DayStart() const {
    CalendarTime c = LocalTime(Now());
    c.hour = 0;
    c.minute = 0;
    c.second = 4;
    return MakeTime(c);
}

void SessionController::Activate() {
    m_loop.StartTimer(kMonitorTimer, std::chrono::milliseconds(1000), [this] { MonitorTick(); });
}

void SessionController::Post(JobEvent event) {
    if (event.code == kEventBlock) {
        std::lock_guard<std::mutex> guard(m_progressLock);
        auto [pending, fresh] = m_pendingProgress.try_emplace(event.jobId, event);
        if (!fresh) {
            pending->second.param1 += event.param1;
            pending->second.param2 = event.param2;
            return;
        }
        const std::uint64_t id = event.jobId;
        m_loop.Post([this, id] {
            JobEvent merged;
            {
                std::lock_guard<std::mutex> guard(m_progressLock);
                auto it = m_pendingProgress.find(id);
                if (it == m_pendingProgress.end()) return;
                merged = std::move(it->second);
                m_pendingProgress.erase(it);
            }
            OnJobEvent(merged);
        });
        return;
    }
    m_loop.Post([this, e = std::move(event)] { OnJobEvent(e); });
}

void SessionController::StartRequest(bool selectedOnly, const std::vector<RowId>& selection) {
    if (m_state == SessionState::Idle) {
        m_limitValue = ParseTrafficLimit(m_settings.LimitSum);
        m_selectedOnly = selectedOnly;
        m_selection = selection;
        StartSession();
    } else if (m_state == SessionState::Downloading) {
        // The session keeps its own choice of rows; a selected-only one takes the new selection.
        if (m_selectedOnly) m_selection = selection;
        FillQueue();
    }
}

void SessionController::StartSession() {
    m_userStopped = false;
    m_stats = SessionStats{};
    if (m_settings.LogDetail > 0) {
        m_log.AddLine(GetString(EventCode::StartingSession), 1, kLogSessionStart);
    }
    ApplySpeedLimit(m_speedLimitOn);
    TrafficMeter& meter = m_jobEnv->meter ? *m_jobEnv->meter : GlobalTrafficMeter();
    meter.Reset();
    m_runningCount = 0;
    m_queuedCount = 0;
    m_endingGuard = false;

    // Jobs of this session see the current list's folders and this controller as their sink.
    auto env = std::make_shared<JobEnvironment>(*m_jobEnv);
    env->settings = &m_settings;
    env->sink = this;
    env->macros = m_document.Macros();
    env->connections = SharedConnections::Create();  // the jobs reuse each other's connections
    // The limit was read from LimitSum at the start request; jobs ask for every block.
    env->limitReached = [trace = m_settings.LimitTrace != 0, limit = m_limitValue] {
        return trace && limit != 0 && limit <= GlobalLimitCounter().load();
    };
    m_jobEnv = env;

    if (m_connectThread.joinable()) m_connectThread.join();
    m_connectTicks = 0;
    m_state = SessionState::Connecting;
    // The connection step: nothing to dial, so the line is ready at once.
    m_connectThread = std::thread([this] { m_loop.Post([this] { ConnectionReady(); }); });
}

void SessionController::ConnectionReady() {
    if (m_state == SessionState::Connecting) FillQueue();
}

bool SessionController::IsDue(const UrlItem& item, std::time_t dayStart) const {
    if (item.Disabled || item.CEType == 1) return false;
    if (item.interval != 0 &&
        dayStart < item.lastDL + static_cast<std::time_t>(item.interval) * kDay) {
        return false;
    }
    return true;
}

void SessionController::FillQueue() {
    const std::time_t dayStart = DayStart();
    const bool wasDownloading = m_state == SessionState::Downloading;
    if (!wasDownloading) {
        SetConnectedState(true);
        if (m_hooks.playSound) m_hooks.playSound(kSoundStart);
        m_loop.StartTimer(kProgressTimer, std::chrono::milliseconds(250),
                          [this] { ProgressTick(); });
        m_pool.SetMaxThreads(std::clamp(m_settings.MaxThreads, 1, 32));
        m_state = SessionState::Downloading;
    }
    ListModel& rows = m_document.Rows();
    std::unordered_set<RowId> selected(m_selection.begin(), m_selection.end());
    int added = 0;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        Row& row = rows.At(i);
        if (m_selectedOnly && !selected.count(row.id)) continue;
        if (row.job) continue;
        if (!m_selectedOnly && !IsDue(row.item, dayStart)) continue;
        const UrlItem& item = row.item;
        if (item.NumBased && item.StopNumber > 0 && item.CurrentNum > item.StopNumber) continue;
        AddJob(row, static_cast<long>(i));
        ++added;
    }
    if (added == 0 && !wasDownloading) {
        m_log.AddLine(GetString(EventCode::NoJobsToRun), 1, kLogError);
        EndSession(false);
    }
}

void SessionController::AddJob(Row& row, long index) {
    auto job = std::make_unique<DownloadJob>(row.item, row.id, static_cast<int>(index), m_jobEnv);
    row.job = job->StopFlag();
    row.runState = RunState::Queued;
    // Announced before the job can run, so that "added to queue" never follows its own events.
    JobEvent added;
    added.code = 500;
    added.ownerKey = row.id;
    Post(std::move(added));
    m_pool.Enqueue(std::move(job));
}

void SessionController::OnJobEvent(const JobEvent& event) {
    // Errors are what the log shows as errors: not skips, stubs, stops or the traffic limit.
    if (event.code == kEventFileResult) {
        const auto r = event.param1;
        if (r != kResultOk && r != kResultSkipped && r != kResultStub && r != kResultStopped &&
            r != kResultLimit) {
            ++m_errorResults;
        }
    }
    if (event.code == kEventConnectionError || event.code == kEventMkDirError ||
        (event.code >= 2082 && event.code <= 2084)) {
        ++m_errorResults;
    }
    if (HandleJobEvent(event, m_context) == EventOutcome::Recount) RecountAndCheckEnd();
}

void SessionController::RecountAndCheckEnd() {
    ListModel& rows = m_document.Rows();
    m_runningCount = 0;
    m_queuedCount = 0;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        if (rows.At(i).runState == RunState::Running) ++m_runningCount;
        if (rows.At(i).runState == RunState::Queued) ++m_queuedCount;
    }
    if (m_state != SessionState::Idle && m_runningCount + m_queuedCount < 1) EndSession(false);
}

void SessionController::OnStop(bool shiftHeld, bool ctrlHeld, const std::vector<RowId>& selection) {
    if (m_state == SessionState::Connecting) {
        EndSession(false);
        return;
    }
    if (m_state == SessionState::Idle) return;
    const std::int32_t abortMode = m_settings.AbortMode;
    if (shiftHeld) m_settings.AbortMode = 0;
    if (ctrlHeld) {
        StopRunningThreads(true, selection);
    } else {
        m_state = SessionState::Stopping;
        StopRunningThreads(false);
    }
    m_settings.AbortMode = abortMode;
}

void SessionController::StopRunningThreads(bool selectedOnly, const std::vector<RowId>& selection) {
    if (!selectedOnly) m_userStopped = true;
    ListModel& rows = m_document.Rows();
    std::unordered_set<RowId> selected(selection.begin(), selection.end());
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        Row& row = rows.At(i);
        if (selectedOnly && !selected.count(row.id)) continue;
        if (row.runState != RunState::Queued && row.runState != RunState::Running) continue;
        if (row.job) {
            *row.job = m_settings.AbortMode < 1 ? 2 : 1;
            row.image = kImageStopRequested;
            rows.NotifyChanged(row.id);
        } else {
            m_log.AddLine(
                "[" + row.item.Name + "] - StopRunningThreads:cancelling job error - pJob is NULL",
                1, kLogInternalError);
        }
    }
}

void SessionController::EndSession(bool halted) {
    m_runningCount = 0;
    if (m_endingGuard) return;
    m_endingGuard = true;
    m_state = SessionState::Finishing;
    m_loop.StopTimer(kProgressTimer);

    if (m_settings.LimitTrace && m_hooks.saveLimitCounter) m_hooks.saveLimitCounter();
    if (m_speedLimitOn != (m_settings.SpeedLimited != 0)) {
        m_speedLimitOn = m_settings.SpeedLimited != 0;
        ApplySpeedLimit(m_speedLimitOn);
    }

    const std::time_t dayStart = DayStart();
    ListModel& rows = m_document.Rows();
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        Row& row = rows.At(i);
        const UrlItem& item = row.item;
        row.image = item.CEType > 0 ? kImageFromEmail : kImageOrdinary;
        if (item.Disabled) {
            row.image = kImageDisabled;
        } else if (item.interval != 0 &&
                   dayStart < item.lastDL + static_cast<std::time_t>(item.interval) * kDay) {
            row.image = kImageNotDue;
        }
        row.job.reset();
        row.runState = RunState::None;
        rows.NotifyChanged(row.id);
    }

    if (halted) {
        m_log.AddLine(GetString(EventCode::RAS_ConnectTimeout), 1, kLogConnectionClosed);
        m_log.AddLine(GetString(EventCode::SessionHalted), 1, kLogHalt);
    } else {
        if (m_stats.sessionSeconds < 1.0 && m_stats.averageSpeed == 0) {
            m_stats.averageSpeed = static_cast<std::uint32_t>(m_stats.sessionBytes);
        }
        const bool kilo = m_stats.averageSpeed > 2048;
        char line[512];
        std::snprintf(
            line, sizeof line, "%s: %lu %s: %lu %s", GetString(EventCode::SessionSummary1).c_str(),
            static_cast<unsigned long>(m_stats.sessionBytes / 1024),
            GetString(EventCode::SessionSummary2).c_str(),
            static_cast<unsigned long>(kilo ? m_stats.averageSpeed / 1024 : m_stats.averageSpeed),
            kilo ? "KB/sec" : "Bytes/sec");
        m_log.AddLine(line, 1, kLogStopped);
    }
    m_log.CloseFile();
    if (m_hooks.playSound) m_hooks.playSound(kSoundEnd);
    m_state = SessionState::Idle;

    if (m_autoMode && m_hooks.endOfSessionAction) m_hooks.endOfSessionAction(m_shutdownAfter);
}

void SessionController::ProgressTick() {
    m_stats.sessionSeconds += 0.25;
    m_stats.averageSpeed =
        static_cast<std::uint32_t>(m_stats.sessionBytes / std::max(m_stats.sessionSeconds, 0.25));
}

void SessionController::MonitorTick() {
    if (m_state == SessionState::Downloading) {
        TrafficMeter& meter = m_jobEnv->meter ? *m_jobEnv->meter : GlobalTrafficMeter();
        const auto period = meter.TakePeriod();
        m_stats.currentSpeed = static_cast<std::uint32_t>(period.internet + period.local);
    }
    m_monitorTicks = (m_monitorTicks + 1) % 5;
    if (m_monitorTicks == 0) SchedulerCheck();
    if (m_state == SessionState::Connecting && ++m_connectTicks > 180) {
        char line[64];
        std::snprintf(line, sizeof line, "%d >= %d - connect timeout...", m_connectTicks, 180);
        m_log.AddLine(line, 1, kLogInfo);
        EndSession(true);
    }
    UpdateCheck();
}

void SessionController::SchedulerCheck() {
    // Starts and stops scheduled sessions once the scheduler exists.
}

void SessionController::UpdateCheck() {
    // Looks for a newer program once the update check exists.
}

void SessionController::ApplySpeedLimit(bool on) {
    TrafficMeter& meter = m_jobEnv->meter ? *m_jobEnv->meter : GlobalTrafficMeter();
    meter.SetLimits(m_settings.SpeedLimitInet, m_settings.SpeedLimitLoc, on);
}

void SessionController::SpeedLimitOn() {
    if (!m_settings.SpeedLimited && (m_settings.SpeedLimitInet || m_settings.SpeedLimitLoc)) {
        m_settings.SpeedLimited = 1;
        m_settings.changed = true;
    }
    m_speedLimitOn = m_settings.SpeedLimited != 0;
    ApplySpeedLimit(m_speedLimitOn);
}

void SessionController::SpeedLimitOff() {
    if (m_settings.SpeedLimited) m_settings.changed = true;
    m_settings.SpeedLimited = 0;
    m_speedLimitOn = false;
    ApplySpeedLimit(false);
}

}  // namespace kov
