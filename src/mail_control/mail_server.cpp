#include "mail_control/mail_server.h"

#include "core/language/message_table.h"

namespace kov {

MailServer::MailServer(const AppSettings& settings, MainLoop& loop, Hooks hooks)
    : m_settings(settings), m_loop(loop), m_hooks(std::move(hooks)) {}

MailServer::~MailServer() {
    *m_alive = false;
    if (m_timerRunning) m_loop.StopTimer(kPollTimer);
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

std::optional<std::chrono::milliseconds> MailServer::PollPeriod(const EmailSettings& email) {
    if (email.ActAsHost == 0 || email.PollInterval <= 0 || email.MailBox.empty() ||
        email.MailBoxPsw.empty() || email.Pop3Server.empty())
        return std::nullopt;
    return std::chrono::milliseconds(static_cast<std::int64_t>(email.PollInterval) * 60000);
}

void MailServer::RestartPollTimer() {
    m_loop.StopTimer(kPollTimer);
    m_timerRunning = false;
    const auto period = PollPeriod(m_settings.email);
    if (!period) return;
    m_loop.StartTimer(kPollTimer, *period, [this] { CheckQueriesFromEmail(); });
    m_timerRunning = true;
}

void MailServer::Log(const std::string& text, bool error) const {
    if (m_hooks.log) m_hooks.log(text, error);
}

void MailServer::CheckQueriesFromEmail() {
    PollState idle = PollState::Idle;
    if (!m_state.compare_exchange_strong(idle, PollState::Starting)) return;
    m_poll = {m_settings.email, m_settings.LogDetail};
    if (!m_hooks.requestLine) {
        StartThread();
        return;
    }
    m_hooks.requestLine([this, alive = m_alive](bool ready) {
        if (!*alive) return;
        if (m_poll.logDetail > 1)
            // In the dial-up layer's own numbers: 2 connected, 0 failed.
            Log("CheckQueriesFromEmail: QueryForConnect return " + std::to_string(ready ? 2 : 0));
        if (ready && m_state.load() == PollState::Starting) {
            StartThread();
            return;
        }
        // Without a line the next tick (or the user) tries again.
        if (!ready) Log(GetString(EventCode::ConnectingError), true);
        m_state = PollState::Idle;
    });
}

void MailServer::StartThread() {
    // The previous poll's thread has finished its work once the state is back to idle.
    if (m_thread.joinable()) m_thread.join();
    m_thread = std::thread([this, settings = m_poll] { ThreadProc(settings); });
}

void MailServer::ThreadProc(const PollSettings& settings) {
    const int detail = settings.logDetail;
    if (detail > 1) Log("starting mail checking...");
    if (!m_loop.Alive()) {
        m_state = PollState::Idle;
        return;
    }
    m_state = PollState::Polling;
    if (detail > 2) Log("Deb: GetIncomingRequests started");
    const int result = m_hooks.poll ? m_hooks.poll(settings, [this] { return m_stop.load(); }) : 0;
    m_state = PollState::Idle;
    m_loop.Post([this, alive = m_alive, result] {
        if (!*alive) return;
        if (m_hooks.releaseLine) m_hooks.releaseLine();
        if (m_hooks.finished) m_hooks.finished(result);
    });
    if (detail > 2) Log("Deb: GetIncomingRequests finished");
}

}  // namespace kov
