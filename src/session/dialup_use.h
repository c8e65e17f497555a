#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "net/dialup/dialup_link.h"

namespace kov {

class EventLog;
class MainLoop;
struct AppSettings;

// How the program uses the dial-up line: the connection step of a session or a mail check,
// the hang-up at a session's end, the poll of the line on the monitor tick, the minute-by-minute
// line check that redials, the two keyboard commands and the status text. Dialling, polling and
// redialling run on threads of their own and report on the main loop, so a slow or hanging
// nmcli never holds the main loop up; the hang-up at a session's end waits (bounded) so that
// its log line comes before the session's summary. Main thread, except where noted.
class DialupUse {
public:
    static constexpr int kLineCheckTimer = 28186;
    static constexpr auto kLineCheckPeriod = std::chrono::seconds(60);

    DialupUse(DialUpLink& link, const AppSettings& settings, MainLoop& loop, EventLog& log);
    ~DialupUse();
    DialupUse(const DialupUse&) = delete;
    DialupUse& operator=(const DialupUse&) = delete;

    // Takes UseDialUp, DialupItem and RasMonitoring over: at the first activation (notify on)
    // and each time the preferences are accepted. Starts or stops the line check.
    void Configure(bool notify);

    // Asks for the line on behalf of a party (kRequesterSession, kRequesterMail). ready runs
    // on the main loop: true once the line is up (at once when dial-up is not in use or not
    // available), false when it cannot be had. A party waits for a dial that another party
    // started. A new request of the same party replaces its earlier one.
    void RequestLine(int requester, std::function<void(bool ready)> ready);
    // Drops the party's request: a dial it started stops, and its ready never runs.
    void CancelRequest(int requester);
    // Lets the party's hold on the line go: 0 failed, 1 another party still holds it,
    // 2 released (hung up, or nothing to do).
    int ReleaseLine(int requester);

    // The session's end: hangs up when the session asked for that (Hangup on, RasMonitoring
    // off) unless a scheduled session is about to start, and logs the outcome.
    void SessionLineReady() { m_hangUpAtEnd = InUse() && m_hangup && !m_monitoring; }
    void SessionEnded(bool nextSessionPending);

    // The monitor tick: polls the line now and then; a line that went down is reported.
    void MonitorTick();
    // Called on the main loop when the line went down (the session stops its jobs).
    void SetLineDropped(std::function<void()> dropped) { m_lineDropped = std::move(dropped); }
    // Ticks between two polls of the line (the poll starts a program).
    void SetPollEveryTicks(int ticks) { m_pollEvery = ticks < 1 ? 1 : ticks; }

    // "Open RAS/xDSL connection": hangs up when connected, else dials for the session.
    void ToggleConnection();
    // Ctrl+H: lets the session's hold go.
    void ReleaseSessionLine();

    // Dial-up is on and the link is usable.
    bool InUse() const { return m_useDialUp && m_link.Enabled(); }
    // For the update check: the line is known to be up, or dial-up is not in use.
    bool LineUp() const { return !InUse() || m_link.IsConnected(); }
    // The status pane's text ("" when nothing to show).
    const std::string& Status() const { return m_status; }
    DialUpLink& Link() { return m_link; }

private:
    struct Request {
        int requester = 0;
        std::function<void(bool)> ready;
        std::shared_ptr<std::atomic<bool>> cancel;
        bool waiting = false;  // for a dial another party started
    };
    void OnQueryResult(int requester, const std::shared_ptr<std::atomic<bool>>& cancel, int result,
                       bool dialled);
    void DialFinished(bool connected);
    void Resolve(Request request, bool ready);
    void RunOnLineThread(std::function<void()> work);
    void RunDetached(std::function<void()> work);
    void LineCheck();
    void Log(const std::string& text, int image, int minDetail = 0);

    DialUpLink& m_link;
    const AppSettings& m_settings;
    MainLoop& m_loop;
    EventLog& m_log;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::function<void()> m_lineDropped;

    bool m_useDialUp = false;
    bool m_hangup = false;
    bool m_monitoring = false;
    bool m_hangUpAtEnd = false;
    int m_pollEvery = 5;
    int m_ticks = 0;
    std::string m_status;
    std::list<Request> m_requests;

    // Polls and redials, one at a time.
    std::thread m_lineThread;
    std::atomic<bool> m_lineBusy{false};
    std::atomic<bool> m_stop{false};
    // Dials of requests; each ends when its dial does (or is cancelled).
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> m_workers;
};

}  // namespace kov
