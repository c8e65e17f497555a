#include "session/dialup_use.h"

#include <algorithm>
#include <cstdio>

#include "core/language/message_table.h"
#include "core/main_loop.h"
#include "core/settings/app_settings.h"
#include "session/event_log.h"
#include "session/session_state.h"

namespace kov {

namespace {
// "connection established" has always carried this picture.
constexpr int kLogLineUp = kLogInternalError;
}  // namespace

DialupUse::DialupUse(DialUpLink& link, const AppSettings& settings, MainLoop& loop, EventLog& log)
    : m_link(link), m_settings(settings), m_loop(loop), m_log(log) {}

DialupUse::~DialupUse() {
    *m_alive = false;
    m_stop = true;
    m_loop.StopTimer(kLineCheckTimer);
    for (Request& r : m_requests)
        *r.cancel = true;
    if (m_lineThread.joinable()) m_lineThread.join();
    for (Worker& w : m_workers)
        w.thread.join();
}

void DialupUse::Configure(bool notify) {
    m_useDialUp = m_settings.UseDialUp != 0;
    m_hangup = m_settings.Hangup != 0;
    m_monitoring = m_settings.RasMonitoring != 0;
    m_link.Init(m_useDialUp, m_settings.DialupItem, notify);
    if (m_useDialUp && m_monitoring) {
        m_loop.StartTimer(kLineCheckTimer, kLineCheckPeriod, [this] { LineCheck(); });
    } else {
        m_loop.StopTimer(kLineCheckTimer);
    }
}

void DialupUse::Log(const std::string& text, int image, int minDetail) {
    if (m_settings.LogDetail >= minDetail) m_log.AddLine(text, 1, image);
}

void DialupUse::RunDetached(std::function<void()> work) {
    // Dials that ended leave their threads to be joined here.
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (*it->done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_workers.push_back({std::thread([work = std::move(work), done] {
                             work();
                             *done = true;
                         }),
                         done});
}

void DialupUse::RunOnLineThread(std::function<void()> work) {
    if (m_lineBusy) return;  // the next tick tries again
    if (m_lineThread.joinable()) m_lineThread.join();
    m_lineBusy = true;
    m_lineThread = std::thread([this, work = std::move(work)] {
        work();
        m_lineBusy = false;
    });
}

void DialupUse::RequestLine(int requester, std::function<void(bool ready)> ready) {
    CancelRequest(requester);
    if (!InUse()) {
        m_loop.Post([alive = m_alive, ready = std::move(ready)] {
            if (*alive) ready(true);
        });
        return;
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_requests.push_back({requester, std::move(ready), cancel, false});
    m_status = GetString(EventCode::RAS_connecting);
    RunDetached([this, alive = m_alive, requester, cancel] {
        // Without nmcli or without any profile the line counts as up.
        bool dialled = false;
        const int result =
            m_link.IsAvailable() ? m_link.QueryForConnect(requester, cancel.get(), &dialled) : 2;
        m_loop.Post([this, alive, requester, cancel, result, dialled] {
            if (*alive) OnQueryResult(requester, cancel, result, dialled);
        });
    });
}

void DialupUse::CancelRequest(int requester) {
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        if (it->requester == requester) {
            *it->cancel = true;
            it = m_requests.erase(it);
        } else {
            ++it;
        }
    }
    if (m_requests.empty() && m_status == GetString(EventCode::RAS_connecting)) m_status.clear();
}

void DialupUse::OnQueryResult(int requester, const std::shared_ptr<std::atomic<bool>>& cancel,
                              int result, bool dialled) {
    auto it = std::find_if(m_requests.begin(), m_requests.end(),
                           [&](const Request& r) { return r.cancel == cancel; });
    if (it == m_requests.end()) {
        // The party gave up while its dial went on: the line it brought up is nobody's.
        if (result == 2 && dialled) {
            RunDetached([this, requester] { m_link.ReleaseConnection(requester); });
        }
        return;
    }
    if (result == 1) {
        if (m_link.Dialling()) {
            it->waiting = true;
            return;
        }
        // The other party's dial ended before this answer arrived.
        result = m_link.IsConnected() ? 2 : 0;
    }
    Request request = std::move(*it);
    m_requests.erase(it);
    if (result == 2 && dialled) Log(GetString(EventCode::RAS_ConnectionEstablished), kLogLineUp, 1);
    Resolve(std::move(request), result == 2);
    if (!m_link.Dialling()) DialFinished(result == 2);
}

void DialupUse::DialFinished(bool connected) {
    std::list<Request> waiting;
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        if (it->waiting) {
            waiting.push_back(std::move(*it));
            it = m_requests.erase(it);
        } else {
            ++it;
        }
    }
    if (m_requests.empty()) m_status.clear();
    for (Request& r : waiting)
        Resolve(std::move(r), connected);
}

void DialupUse::Resolve(Request request, bool ready) {
    if (m_requests.empty()) m_status.clear();
    if (request.ready) request.ready(ready);
}

int DialupUse::ReleaseLine(int requester) {
    CancelRequest(requester);
    return m_link.ReleaseConnection(requester);
}

void DialupUse::SessionEnded(bool nextSessionPending) {
    CancelRequest(kRequesterSession);
    // The line stays up for the session that is about to start.
    const bool hangUp = m_hangUpAtEnd && !nextSessionPending;
    m_hangUpAtEnd = false;
    if (!hangUp) return;
    const int result = ReleaseLine(kRequesterSession);
    if (result == 2) {
        m_log.AddLine(GetString(EventCode::RAS_Disconnected), 1, kLogConnectionClosed);
    } else if (result == 0) {
        const std::string why = m_link.LastErrorText();
        m_log.AddLine(GetString(EventCode::RAS_DisconnectError) + (why.empty() ? "" : ": " + why),
                      1, kLogHalt);
    }
}

void DialupUse::MonitorTick() {
    if (!InUse() || m_link.Dialling()) return;
    if (++m_ticks < m_pollEvery) return;
    m_ticks = 0;
    const bool wasUp = m_link.IsConnected();
    RunOnLineThread([this, alive = m_alive, wasUp] {
        const bool up = m_link.Poll();
        m_loop.Post([this, alive, wasUp, up] {
            if (!*alive || !wasUp || up || m_link.Dialling()) return;
            m_status = GetString(EventCode::RAS_Disconnected);
            Log(m_status, kLogInfo, 1);
            if (m_lineDropped) m_lineDropped();
        });
    });
}

void DialupUse::LineCheck() {
    if (!InUse() || m_link.Dialling()) return;
    RunOnLineThread([this, alive = m_alive] {
        const int result = m_link.CheckAndRedial(&m_stop);
        m_loop.Post([this, alive, result] {
            if (!*alive || result == 1) return;
            if (result == 2) {
                m_log.AddLine(GetString(EventCode::RAS_ConnectionEstablished), 1, kLogLineUp);
            } else {
                m_log.AddLine(GetString(EventCode::RAS_NoConnectionEstablished), 1, kLogHalt);
            }
            DialFinished(result == 2);
        });
    });
}

void DialupUse::ToggleConnection() {
    if (InUse() && m_link.IsConnected()) {
        m_link.Hangup();
        return;
    }
    // A session waiting for its line keeps its request.
    if (std::any_of(m_requests.begin(), m_requests.end(),
                    [](const Request& r) { return r.requester == kRequesterSession; })) {
        return;
    }
    RequestLine(kRequesterSession, [this](bool ready) {
        char line[64];
        std::snprintf(line, sizeof line, "%d - ras.QueryForConnect exit code", ready ? 2 : 0);
        if (m_settings.LogDetail > 1) m_log.AddLine(line, 0, kLogInfo);
    });
}

void DialupUse::ReleaseSessionLine() {
    const int result = ReleaseLine(kRequesterSession);
    char line[64];
    std::snprintf(line, sizeof line, "%d - ras.ReleaseConnection returns", result);
    if (m_settings.LogDetail > 1) m_log.AddLine(line, 0, kLogInfo);
}

}  // namespace kov
