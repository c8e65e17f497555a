#include "session/mail_check.h"

#include <condition_variable>
#include <ctime>

#include "mail_control/query_destination.h"
#include "model/list_document.h"
#include "net/dialup/dialup_link.h"
#include "session/event_log.h"
#include "session/session_controller.h"
#include "session/session_state.h"

namespace kov {

// One hand-over of a poll's items: either the main loop saves them (and the poll waits for
// its answer) or the poll gives up first, and then the main loop leaves them alone.
struct MailCheck::Handoff {
    enum class Stage { Pending, Abandoned, Done };
    std::mutex mutex;
    std::condition_variable done;
    Stage stage = Stage::Pending;
    bool saved = false;
};

MailCheck::MailCheck(AppSettings& settings, const std::string& programFolder,
                     ListDocument& document, SessionController& session, MainLoop& loop,
                     EventLog& log)
    : m_settings(settings),
      m_document(document),
      m_session(session),
      m_loop(loop),
      m_log(log),
      m_seen(programFolder + kSeenMessagesFile),
      m_pending(programFolder + kPendingQueriesFile) {
    if (!m_seen.Load())
        m_log.AddLine(programFolder + kSeenMessagesFile + " cannot be read", 1, kLogError);
    else
        RecoverPending();
    MailServer::Hooks hooks;
    hooks.requestLine = [this](std::function<void(bool)> ready) {
        // The poll's folder as the settings and the list say now.
        m_baseFolder = QueryBaseFolder(m_settings.email.SaveFolder, m_document.DefaultFolder());
        m_session.DialUp().RequestLine(kRequesterMail, std::move(ready));
    };
    hooks.releaseLine = [this] { m_session.DialUp().ReleaseLine(kRequesterMail); };
    hooks.poll = [this](const MailServer::PollSettings& settings, const MailStop& stop) {
        IncomingHooks incoming;
        incoming.log = [this](const std::string& text, bool error) {
            m_session.PostLogLine(text, error ? kLogError : kLogMail);
        };
        incoming.stop = stop;
        incoming.save = [this, stop](IncomingQueries& queries) {
            return SaveOnMainLoop(queries, stop);
        };
        incoming.seenBefore = [this](const std::string& key) { return m_seen.Contains(key); };
        return GetIncomingRequests(settings.email, m_baseFolder, incoming, std::time(nullptr));
    };
    hooks.log = [this](const std::string& text, bool error) {
        m_session.PostLogLine(text, error ? kLogError : kLogInfo);
    };
    hooks.finished = [this](int result) { Finished(result); };
    m_server = std::make_unique<MailServer>(m_settings, m_loop, std::move(hooks));
}

MailCheck::~MailCheck() {
    *m_alive = false;
    m_session.DialUp().CancelRequest(kRequesterMail);
    m_server.reset();
}

bool MailCheck::SaveOnMainLoop(IncomingQueries& queries, const MailStop& stop) {
    auto handoff = std::make_shared<Handoff>();
    m_loop.Post([this, alive = m_alive, handoff, &queries] {
        std::lock_guard lock(handoff->mutex);
        if (handoff->stage != Handoff::Stage::Pending) return;
        handoff->saved = *alive && AddAndSave(queries);
        handoff->stage = Handoff::Stage::Done;
        handoff->done.notify_all();
    });
    std::unique_lock lock(handoff->mutex);
    const auto deadline = std::chrono::steady_clock::now() + kSaveWait;
    while (handoff->stage == Handoff::Stage::Pending) {
        if ((stop && stop()) || std::chrono::steady_clock::now() >= deadline) {
            handoff->stage = Handoff::Stage::Abandoned;
            return false;
        }
        handoff->done.wait_for(lock, std::chrono::milliseconds(100));
    }
    return handoff->saved;
}

void MailCheck::RecoverPending() {
    const std::vector<std::string> keys = m_pending.Recover(m_document.Rows());
    for (const std::string& key : keys)
        m_seen.Add(key);
    if (keys.empty() || m_seen.Save()) m_pending.Clear();
}

bool MailCheck::AddAndSave(IncomingQueries& queries) {
    // A crash between the list's save and the seen keys' save must not let the next poll take
    // the same messages again: the pending file bridges it.
    if (!m_pending.Write(queries)) {
        m_log.AddLine(std::string(kPendingQueriesFile) + " not saved", 1, kLogError);
        return false;
    }
    std::vector<RowId> rows;
    for (UrlItem& item : queries.items)
        rows.push_back(m_document.AddItem(std::move(item)));
    if (m_document.SaveList(true, false) != 0) {
        // Unsaved rows would come a second time with the next poll.
        m_document.Rows().Remove(rows);
        m_pending.Clear();
        return false;
    }
    for (const std::string& key : queries.keys)
        m_seen.Add(key);
    if (m_seen.Save())
        m_pending.Clear();
    else
        m_log.AddLine(std::string(kSeenMessagesFile) + " not saved", 1, kLogError);
    m_added.insert(m_added.end(), rows.begin(), rows.end());
    return true;
}

void MailCheck::Finished(int result) {
    std::vector<RowId> rows;
    rows.swap(m_added);
    if (!rows.empty() && m_session.State() == SessionState::Idle)
        m_session.StartRequest(true, rows);
    if (m_finished) m_finished(result, rows);
}

}  // namespace kov
