#include "session/session_controller.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "content/rules/page_rules.h"
#include "core/file_result_class.h"
#include "core/language/message_table.h"
#include "core/main_loop.h"
#include "core/prompter.h"
#include "engine/site_page_processor.h"
#include "engine/worker_pool.h"
#include "model/list_document.h"
#include "net/http/inet.h"
#include "net/http/shared_connections.h"
#include "net/transfer/traffic_meter.h"
#include "platform/clock.h"
#include "session/end_of_session.h"
#include "session/event_log.h"
#include "session/job_event_handler.h"
#include "session/mail_result_mailer.h"
#include "session/session_event_sink.h"
#include "session/session_summary.h"

namespace kov {

namespace {
constexpr std::time_t kDay = 86400;
constexpr auto kJobWaitStep = std::chrono::milliseconds(10);
// How long the destructor waits for the jobs it told to stop.
constexpr auto kJobStopWait = std::chrono::seconds(3);

void ShowTitle(const SessionHooks& hooks, const std::string& title) {
    if (hooks.showTitle) hooks.showTitle(title);
}

std::string RunningTitle() {
    return std::string(kProductName) + ", " + GetString(EventCode::Running);
}
}  // namespace

// The jobs of one session share this; it owns their event sink, so the sink lives as long as
// any job that may still post to it.
struct SessionController::SessionEnvironment : JobEnvironment {
    SessionEnvironment(const JobEnvironment& base, MainLoop& loop,
                       SessionEventSink::Handler handler)
        : JobEnvironment(base), events(loop, std::move(handler)) {
        sink = &events;
        // The banned words keep URLs from being fetched; the rules stay alive with the jobs.
        if (rules && !banned) {
            banned = [r = rules](std::string_view url) { return r->IsBannedUrl(url); };
        }
    }
    SessionEventSink events;
};

SessionController::SessionController(AppSettings& settings, ListDocument& document, MainLoop& loop,
                                     WorkerPool& pool, EventLog& log, Prompter& prompter,
                                     std::shared_ptr<const JobEnvironment> jobEnvironment,
                                     SessionHooks hooks)
    : m_settings(settings),
      m_document(document),
      m_loop(loop),
      m_pool(pool),
      m_log(log),
      m_prompter(prompter),
      m_baseEnv(jobEnvironment ? std::move(jobEnvironment)
                               : std::make_shared<const JobEnvironment>()),
      m_hooks(std::move(hooks)),
      m_scheduler(settings, log,
                  ScheduledSessions{
                      .state = [this] { return m_state; },
                      .selectList = [this](const std::string& name) { return SelectList(name); },
                      .startSession =
                          [this](std::int32_t speedOverride) {
                              // The settings' own choice comes back at the session's end.
                              if (speedOverride == 1) m_speedLimitOn = true;
                              if (speedOverride == 2) m_speedLimitOn = false;
                              Request(false, {});
                          },
                      .stopSession = [this] { OnStop(true, false); },
                  },
                  [this] { return Now(); }),
      m_ownLink(m_hooks.dialUpLink ? nullptr : std::make_unique<DialUpLink>()),
      m_dialup(m_hooks.dialUpLink ? *m_hooks.dialUpLink : *m_ownLink, settings, loop, log),
      m_updates(settings, document, log, prompter, loop,
                UpdateCheck::Environment{
                    .programFolder = document.Macros().appFolder,
                    .sessionRunning = [this] { return m_state != SessionState::Idle; },
                    .lineUp = [this] { return m_dialup.LineUp(); },
                    .now = [this] { return Now(); },
                }) {
    m_context.rows = &m_document.Rows();
    m_context.log = &m_log;
    m_context.settings = &m_settings;
    m_context.stats = &m_stats;
    m_context.playSound = m_hooks.playSound;
    m_context.now = m_hooks.now;
    m_context.rowFailed = [this](RowId id, const std::string& text, const std::string& cause) {
        if (m_observer) m_observer->RowFailed(id, text, cause);
    };
    m_speedLimitOn = m_settings.SpeedLimited != 0;
    m_document.SetSessionRunning([this] { return m_state != SessionState::Idle; });
    m_document.SetQueueHook([this](RowId id) { JoinQueue(id); });
    m_document.SetScheduleHook([this] { m_scheduler.BuildTodayQueue(); });
    // The outcome of a result mail comes from the mailer's thread; it may end the session.
    m_resultMailer = std::make_unique<SmtpResultMailer>([this, alive = m_alive](JobEvent event) {
        m_loop.Post([this, alive, event = std::move(event)] {
            if (!*alive) return;
            OnJobEvent(event);
            RecountAndCheckEnd();
        });
    });
    // A lost line cancels the session's jobs: they could only fail one by one.
    m_dialup.SetLineDropped([this] {
        if (m_state != SessionState::Downloading) return;
        LineFailed();
        m_state = SessionState::Stopping;
        StopRunningThreads(false, {}, kStopNow);
    });
}

SessionController::~SessionController() {
    *m_alive = false;
    m_loop.StopTimer(kProgressTimer);
    m_loop.StopTimer(kMonitorTimer);
    m_document.SetSessionRunning({});
    m_document.SetQueueHook({});
    m_document.SetScheduleHook({});
    if (m_sessionEnv) m_sessionEnv->events.Disconnect();
    ListModel& rows = m_document.Rows();
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        Row& row = rows.At(i);
        if (row.job) *row.job = kStopNow;
        row.job.reset();
        row.runState = RunState::None;
    }
    // The jobs still hold their environment; once none does, none can run any more. Told to
    // stop now, each ends within a second; one stuck in a step that does not look at its flag
    // is let go after a while: every session's sink is disconnected by now (at its end, or
    // above), so its events are dropped and it cannot reach this controller or its loop.
    m_sessionEnv.reset();
    const auto deadline = std::chrono::steady_clock::now() + kJobStopWait;
    for (const auto& env : m_jobEnvironments) {
        while (!env.expired() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kJobWaitStep);
    }
}

void SessionController::SetAutoMode(bool autoMode, bool shutdownAfter) {
    m_autoMode = autoMode;
    m_shutdownAfter = autoMode && shutdownAfter;
}

TrafficMeter& SessionController::Meter() const {
    return m_baseEnv->meter ? *m_baseEnv->meter : GlobalTrafficMeter();
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
    ArmMonitorTimer();
    m_dialup.Configure(true);
    if (!m_autoMode) m_scheduler.BuildTodayQueue();
}

void SessionController::PostLogLine(std::string text, int image) {
    m_loop.Post([this, alive = m_alive, text = std::move(text), image] {
        if (*alive) m_log.AddLine(text, 1, image);
    });
}

void SessionController::StartRequest(bool selectedOnly, const std::vector<RowId>& selection) {
    m_owner.Check("SessionController::StartRequest");
    m_scheduler.SessionEnded();
    Request(selectedOnly, selection);
}

void SessionController::Request(bool selectedOnly, const std::vector<RowId>& selection) {
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
    m_lineFailed = false;
    m_stats = SessionStats{};
    m_stats.started = std::chrono::steady_clock::now();
    if (m_settings.LogDetail > 0) {
        m_log.AddLine(GetString(EventCode::StartingSession), 1, kLogSessionStart);
    }
    // Words past the capacity ban nothing: the user must learn that some are not in force.
    if (m_baseEnv->rules && m_baseEnv->rules->banner.wordsCut) {
        m_log.AddLine(GetString(EventCode::BannedWordsCut), 1, kLogError);
    }
    ApplySpeedLimit(m_speedLimitOn);
    TrafficMeter& meter = Meter();
    meter.Reset();
    meter.TraceTraffic(m_settings.LimitTrace != 0);
    m_endingGuard = false;
    ShowTitle(m_hooks, RunningTitle());
    if (m_hooks.sessionRunning) m_hooks.sessionRunning(true);
    if (m_observer) m_observer->SessionStarted();

    // The session's jobs read this snapshot, never the settings the user may edit meanwhile.
    m_snapshot = std::make_shared<const AppSettings>(m_settings);
    m_context.settings = m_snapshot.get();
    m_sessionEnv = std::make_shared<SessionEnvironment>(
        *m_baseEnv, m_loop, [this](const JobEvent& event) { OnJobEvent(event); });
    m_sessionEnv->settings = m_snapshot;
    // Jobs of e-mail queries mail their results back.
    if (!m_sessionEnv->mailer) m_sessionEnv->mailer = m_resultMailer.get();
    m_sessionEnv->macros = m_document.Macros();
    // The jobs of a session share DNS answers and TLS sessions; each worker reuses its own
    // connections for its next files.
    m_sessionEnv->connections = SharedConnections::Create();
    // Delivered pages are ripped as their items ask, unless the caller processes them itself.
    if (!m_sessionEnv->pages) m_sessionEnv->pages = &SitePageProcessor::Shared();
    // The limit was read from LimitSum at the start request; jobs ask before every block.
    m_sessionEnv->limitReached = [&meter, trace = m_settings.LimitTrace != 0,
                                  limit = m_limitValue] {
        return trace && limit != 0 && limit <= meter.TrafficCount();
    };
    std::erase_if(m_jobEnvironments, [](const auto& env) { return env.expired(); });
    m_jobEnvironments.push_back(m_sessionEnv);

    m_connectTicks = 0;
    m_state = SessionState::Connecting;
    if (m_idleSleeping) ArmMonitorTimer();  // the connect time-out counts seconds
    // The connection step: dials when the session needs the line, else ready at once.
    m_dialup.RequestLine(kRequesterSession,
                         [this](bool ready) { ready ? ConnectionReady() : ConnectionFailed(); });
}

void SessionController::ConnectionReady() {
    m_dialup.SessionLineReady();
    if (m_state == SessionState::Connecting) FillQueue();
}

void SessionController::ConnectionFailed() {
    if (m_state != SessionState::Connecting) return;
    const std::string why = m_dialup.Link().LastErrorText();
    m_log.AddLine(
        GetString(EventCode::RAS_NoConnectionEstablished) + (why.empty() ? "" : " (" + why + ")"),
        1, kLogHalt);
    if (m_hooks.playSound) m_hooks.playSound(kSoundError1);
    LineFailed();
    m_state = SessionState::ConnectFailed;
    EndSession(false);
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
        SetMaxThreads(m_snapshot->MaxThreads);
        m_state = SessionState::Downloading;
    }
    ListModel& rows = m_document.Rows();
    std::unordered_set<RowId> selected(m_selection.begin(), m_selection.end());
    // Handed to the pool in two goes: a thousand single hand-overs would each wake its manager
    // while the window waits, and a single one at the end would keep the workers waiting
    // while the rest of a long list is made into jobs. The first go fills every worker.
    std::vector<std::unique_ptr<Job>> jobs;
    const std::size_t firstGo = static_cast<std::size_t>(std::max(m_pool.MaxThreads(), 1));
    bool added = false;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        Row& row = rows.At(i);
        if (m_selectedOnly && !selected.count(row.id)) continue;
        if (row.job) continue;
        if (!m_selectedOnly && !IsDue(row.item, dayStart)) continue;
        const UrlItem& item = row.item;
        if (item.NumBased && item.StopNumber > 0 && item.CurrentNum > item.StopNumber) continue;
        jobs.push_back(MakeJob(row, static_cast<long>(i)));
        if (!added && jobs.size() == firstGo) {
            m_pool.EnqueueAll(std::move(jobs));
            jobs.clear();
            added = true;
        }
    }
    added = added || !jobs.empty();
    m_pool.EnqueueAll(std::move(jobs));
    if (!added && !wasDownloading) {
        m_log.AddLine(GetString(EventCode::NoJobsToRun), 1, kLogError);
        EndSession(false);
    }
}

void SessionController::JoinQueue(RowId id) {
    if (m_state != SessionState::Downloading) return;
    const long index = m_document.Rows().IndexOf(id);
    if (index < 0) return;
    Row& row = m_document.Rows().At(static_cast<std::size_t>(index));
    if (!row.job) m_pool.Enqueue(MakeJob(row, index));
}

std::unique_ptr<Job> SessionController::MakeJob(Row& row, long index) {
    auto job = std::make_unique<DownloadJob>(row.item, row.id, static_cast<int>(index),
                                             std::shared_ptr<const JobEnvironment>(m_sessionEnv));
    row.job = job->StopFlag();
    row.runState = RunState::Queued;
    auto slot = std::make_shared<QueuedItem>();
    job->SetQueuedItem(slot);
    m_queuedItems[row.id] = std::move(slot);
    // Announced before the job can run, so that "added to queue" never follows its own events.
    JobEvent added;
    added.code = kEventAddedToQueue;
    added.ownerKey = row.id;
    added.jobId = job->jobId;
    m_sessionEnv->events.Post(std::move(added));
    return job;
}

bool SessionController::ReplaceQueuedItem(RowId id, const UrlItem& item) {
    m_owner.Check("SessionController::ReplaceQueuedItem");
    const Row* row = m_document.Rows().Find(id);
    const auto it = m_queuedItems.find(id);
    if (!row || row->runState != RunState::Queued || it == m_queuedItems.end()) return false;
    return it->second->Offer(item);
}

void SessionController::OnJobEvent(const JobEvent& event) {
    CountErrorResult(event);
    if (HandleJobEvent(event, m_context) == EventOutcome::Recount) RecountAndCheckEnd();
}

// Errors are what the log shows as errors: not skips, stubs, stops, the traffic limit or an
// expected outcome.
void SessionController::CountErrorResult(const JobEvent& event) {
    if (event.code == kEventFileResult) {
        const auto r = event.param1;
        const Row* row = m_document.Rows().Find(event.ownerKey);
        const bool series = row != nullptr && row->item.NumBased != 0;
        if (ClassifyFileResult(r, event.param2, series) == ResultClass::Failure) ++m_errorResults;
        if (r == kResultWriteError || r == kResultDiskFull || r == kResultLocalFolder)
            ++m_saveFailures;
    }
    if (event.code == kEventMkDirError) ++m_saveFailures;
    if (event.code == kEventConnectionError || event.code == kEventMkDirError ||
        (event.code >= kEventFtpNoFolder && event.code <= kEventFtpNotRetrieved)) {
        ++m_errorResults;
    }
}

void SessionController::RecountAndCheckEnd() {
    if (m_state == SessionState::Idle) return;
    const ListModel& rows = m_document.Rows();
    bool busy = false;
    if (m_hooks.showTitle) {
        int running = 0;
        int queued = 0;
        for (std::size_t i = 0; i < rows.Count(); ++i) {
            if (rows.At(i).runState == RunState::Running) ++running;
            if (rows.At(i).runState == RunState::Queued) ++queued;
        }
        ShowTitle(m_hooks, RunningTitle() + "; " + GetString(EventCode::RunningActive) + ": " +
                               std::to_string(running) + ", " +
                               GetString(EventCode::RunningInQueue) + ": " +
                               std::to_string(queued));
        busy = running + queued > 0;
    } else {
        // Without a title to show, only whether a row still runs or waits matters. Rows finish
        // roughly in list order, so the search from the end finds one at once while a long
        // list is under way.
        for (std::size_t i = rows.Count(); i-- > 0 && !busy;) {
            const RunState state = rows.At(i).runState;
            busy = state == RunState::Running || state == RunState::Queued;
        }
    }
    // The results mailed back are part of the session's work, unless the user stops it.
    if (!busy && (m_state == SessionState::Stopping || m_resultMailer->Pending() == 0))
        EndSession(false);
}

void SessionController::OnStop(bool shiftHeld, bool ctrlHeld, const std::vector<RowId>& selection) {
    m_owner.Check("SessionController::OnStop");
    if (m_state == SessionState::Connecting) {
        // Still a stop: it must not lead to the end-of-session action.
        m_userStopped = true;
        EndSession(false);
        return;
    }
    if (m_state == SessionState::Idle || m_state == SessionState::Finishing) return;
    const int level = shiftHeld || !StopsAfterCurrentFiles() ? kStopNow : kStopAfterFile;
    if (ctrlHeld) {
        StopRunningThreads(true, selection, level);
    } else {
        StopSession(level);
    }
}

void SessionController::StopAfterCurrentFiles() {
    m_owner.Check("SessionController::StopAfterCurrentFiles");
    if (m_state == SessionState::Connecting) {
        OnStop();
    } else if (m_state != SessionState::Idle && m_state != SessionState::Finishing) {
        StopSession(kStopAfterFile);
    }
}

void SessionController::StopSession(int level) {
    if (m_state == SessionState::Stopping) {
        HaltJobs();
        return;
    }
    m_state = SessionState::Stopping;
    StopRunningThreads(false, {}, level);
    RecountAndCheckEnd();  // a session that only waits for its result mails ends now
}

bool SessionController::StopsAfterCurrentFiles() const {
    return m_settings.AbortMode >= 1;
}

void SessionController::StopRunningThreads(bool selectedOnly, const std::vector<RowId>& selection,
                                           int stopLevel) {
    m_owner.Check("SessionController::StopRunningThreads");
    if (!selectedOnly) m_userStopped = true;
    ListModel& rows = m_document.Rows();
    std::unordered_set<RowId> selected(selection.begin(), selection.end());
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        Row& row = rows.At(i);
        if (selectedOnly && !selected.count(row.id)) continue;
        if (row.runState != RunState::Queued && row.runState != RunState::Running) continue;
        if (row.job) {
            *row.job = stopLevel;
            row.image = kImageStopRequested;
            rows.NotifyChanged(row.id);
        } else {
            m_log.AddLine(
                "[" + row.item.Name + "] - StopRunningThreads:cancelling job error - pJob is NULL",
                1, kLogInternalError);
        }
    }
}

// Ends the session without waiting for its jobs: each is told to stop now, and whatever it
// posts from here on is dropped, so a job that hangs or never reports cannot hold the session.
void SessionController::HaltJobs() {
    m_sessionEnv->events.Disconnect();
    ListModel& rows = m_document.Rows();
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        Row& row = rows.At(i);
        if (row.job) *row.job = kStopNow;
        if (row.runState != RunState::Queued && row.runState != RunState::Running) continue;
        row.runState = RunState::Aborted;
        row.columns[kColumnStatus] = GetString(EventCode::JobAborted);
        m_log.AddLine("[" + row.item.Name + "] - " + GetString(EventCode::JobAborted), 1,
                      kLogStopped);
    }
    m_log.AddLine(GetString(EventCode::SessionHalted), 1, kLogHalt);
    EndSession(false);
}

void SessionController::EndSession(bool halted) {
    ShowTitle(m_hooks, kProductName);
    if (m_endingGuard) return;
    m_endingGuard = true;
    // A dial still running for this session stops.
    if (m_state == SessionState::Connecting) m_dialup.CancelRequest(kRequesterSession);
    m_state = SessionState::Finishing;
    m_loop.StopTimer(kProgressTimer);
    // Every job has reported (or was let go): nothing it still posts belongs to a session.
    if (m_sessionEnv) m_sessionEnv->events.Disconnect();

    if (m_settings.LimitTrace && m_hooks.saveLimitCounter) m_hooks.saveLimitCounter();
    if (m_speedLimitOn != (m_settings.SpeedLimited != 0)) {
        m_speedLimitOn = m_settings.SpeedLimited != 0;
        ApplySpeedLimit(m_speedLimitOn);
    }
    ResetRowsToIdle();
    m_queuedItems.clear();
    // The line stays for a scheduled task that waits to start.
    m_dialup.SessionEnded(m_scheduler.StartPending() || m_scheduler.EntryDue());
    LogSummary(halted);
    m_log.CloseFile();
    if (m_hooks.playSound) m_hooks.playSound(kSoundEnd);
    m_state = SessionState::Idle;
    m_scheduler.SessionEnded();
    m_context.settings = &m_settings;
    if (m_hooks.sessionRunning) m_hooks.sessionRunning(false);
    if (m_observer) m_observer->SessionEnded();

    // A list switch asked for during the session is carried out now.
    if (const auto pending = m_document.TakePendingSwitch()) {
        // A failed save keeps the current list; the document has told the user why.
        if (m_document.SwitchList(*pending, false) == ListDocument::SwitchResult::Failed) {
            m_log.AddLine(m_document.LastError(), 1, kLogError);
        }
    }
    const EndChoice end = ChooseEndAction({.autoMode = m_autoMode,
                                           .shutdownAfter = m_shutdownAfter,
                                           .onEndSession = m_settings.OnEndSession,
                                           .userStopped = m_userStopped,
                                           .lineFailed = m_lineFailed,
                                           .tasksRemain = !m_scheduler.Queue().empty()});
    if (end.action == EndAction::None || !m_hooks.endOfSessionAction) return;
    const bool shutdown = end.action == EndAction::Shutdown;
    if (end.askFirst && !(m_hooks.confirmEndAction ? m_hooks.confirmEndAction(shutdown)
                                                   : ConfirmEndAction(end.action, m_prompter))) {
        return;
    }
    m_hooks.endOfSessionAction(shutdown);
}

void SessionController::LineFailed() {
    if (!m_lineFailed) ++m_lineFailures;
    m_lineFailed = true;
}

void SessionController::ResetRowsToIdle() {
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
}

void SessionController::LogSummary(bool halted) {
    if (halted) {
        m_log.AddLine(GetString(EventCode::RAS_ConnectTimeout), 1, kLogConnectionClosed);
        m_log.AddLine(GetString(EventCode::SessionHalted), 1, kLogHalt);
        return;
    }
    m_stats.averageSpeed =
        AverageSpeed(m_stats.sessionBytes, std::chrono::steady_clock::now() - m_stats.started);
    m_log.AddLine(SessionSummaryLine(m_stats.sessionBytes, m_stats.averageSpeed), 1, kLogStopped);
}

void SessionController::ProgressTick() {
    m_stats.sessionSeconds += 0.25;
    m_stats.averageSpeed =
        AverageSpeed(m_stats.sessionBytes, std::chrono::steady_clock::now() - m_stats.started);
}

void SessionController::MonitorTick() {
    // Stopping too: a job that finishes its file under a speed limit waits for the next period.
    if (m_state == SessionState::Downloading || m_state == SessionState::Stopping) {
        const auto period = Meter().TakePeriod();
        m_stats.currentSpeed = static_cast<std::uint32_t>(period.internet + period.local);
    }
    m_dialup.MonitorTick();
    m_monitorTicks = (m_monitorTicks + 1) % 5;
    if (m_monitorTicks == 0 || m_idleSleeping) SchedulerCheck();
    if (m_state == SessionState::Connecting && ++m_connectTicks > kConnectTimeoutTicks) {
        char line[64];
        std::snprintf(line, sizeof line, "%d >= %d - connect timeout...", m_connectTicks,
                      kConnectTimeoutTicks);
        m_log.AddLine(line, 1, kLogInfo);
        LineFailed();
        EndSession(true);
    }
    m_updates.MonitorTick();
    if (m_sleepWhenIdle) ArmMonitorTimer();
}

void SessionController::ArmMonitorTimer() {
    m_idleSleeping = m_sleepWhenIdle && m_state == SessionState::Idle && m_settings.UseDialUp == 0;
    // Whole seconds of the clock: the tick comes at the half minute or just after it, never
    // before.
    const std::chrono::seconds period(m_idleSleeping ? 30 - Now() % 30 : 1);
    m_loop.StartTimer(kMonitorTimer, period, [this] { MonitorTick(); });
}

void SessionController::SchedulerCheck() {
    // Auto mode runs one session and closes: the scheduler stays off for the run.
    if (m_settings.schedule.Enabled && !m_autoMode) m_scheduler.SchedulerCheck();
}

bool SessionController::SelectList(const std::string& name) {
    for (std::size_t i = 0; i < m_document.ListCount(); ++i) {
        if (m_document.GetList(i)->Name != name) continue;
        return i == m_document.CurrentIndex() ||
               m_document.SwitchList(i, false) == ListDocument::SwitchResult::Switched;
    }
    return false;
}

void SessionController::ToggleSchedulerMode() {
    m_owner.Check("SessionController::ToggleSchedulerMode");
    m_settings.schedule.Enabled = m_settings.schedule.Enabled ? 0 : 1;
    m_settings.changed = true;
    m_scheduler.BuildTodayQueue();
}

void SessionController::ShowScheduleQueue() {
    m_prompter.Inform(m_scheduler.QueueText());
}

void SessionController::ApplySpeedLimit(bool on) {
    // The settings hold KB/sec, as the preferences show them; the meter counts bytes.
    Meter().SetLimits(std::int64_t{m_settings.SpeedLimitInet} * 1024,
                      std::int64_t{m_settings.SpeedLimitLoc} * 1024, on);
}

void SessionController::SpeedLimitOn() {
    m_owner.Check("SessionController::SpeedLimitOn");
    if (!m_settings.SpeedLimited && (m_settings.SpeedLimitInet || m_settings.SpeedLimitLoc)) {
        m_settings.SpeedLimited = 1;
        m_settings.changed = true;
    }
    m_speedLimitOn = m_settings.SpeedLimited != 0;
    ApplySpeedLimit(m_speedLimitOn);
}

void SessionController::SpeedLimitOff() {
    m_owner.Check("SessionController::SpeedLimitOff");
    if (m_settings.SpeedLimited) m_settings.changed = true;
    m_settings.SpeedLimited = 0;
    m_speedLimitOn = false;
    ApplySpeedLimit(false);
}

void SessionController::SetMaxThreads(int maxThreads) {
    m_owner.Check("SessionController::SetMaxThreads");
    m_pool.SetMaxThreads(std::clamp(maxThreads, WorkerPool::kMinThreads, WorkerPool::kMaxThreads));
}

}  // namespace kov
