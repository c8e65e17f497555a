#pragma once

// Server mode wired into the program: the poll timer, the line for the mail check, the items
// of accepted queries added to the current list and saved before their messages leave the
// mailbox, and a session started for them.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/settings/app_settings.h"
#include "mail_control/incoming_requests.h"
#include "mail_control/mail_server.h"
#include "mail_control/seen_messages.h"
#include "model/list_model.h"
#include "session/pending_queries.h"

namespace kov {

class EventLog;
class ListDocument;
class MainLoop;
class SessionController;

class MailCheck {
public:
    // How long a poll waits for the main loop to save what it took; after that its messages
    // stay in the mailbox for the next poll.
    static constexpr auto kSaveWait = std::chrono::seconds(60);

    // programFolder (with its trailing '/') holds the remembered message keys.
    MailCheck(AppSettings& settings, const std::string& programFolder, ListDocument& document,
              SessionController& session, MainLoop& loop, EventLog& log);
    ~MailCheck();
    MailCheck(const MailCheck&) = delete;
    MailCheck& operator=(const MailCheck&) = delete;

    void RestartPollTimer() { m_server->RestartPollTimer(); }
    void CheckQueriesFromEmail() { m_server->CheckQueriesFromEmail(); }
    MailServer& Server() { return *m_server; }

    // After each poll, on the main loop: its result (items taken, or -1) and the rows it
    // added. A session for those rows has been asked for already when one could start.
    void SetFinished(std::function<void(int result, const std::vector<RowId>& rows)> finished) {
        m_finished = std::move(finished);
    }

private:
    struct Handoff;
    // Poll thread: hands the items to the main loop and waits for the answer.
    bool SaveOnMainLoop(IncomingQueries& queries, const MailStop& stop);
    // Main loop: adds, saves, remembers; on a failed save the rows go again.
    bool AddAndSave(IncomingQueries& queries);
    // At start: the keys of a poll that crashed after saving its items count as seen.
    void RecoverPending();
    void Finished(int result);

    AppSettings& m_settings;
    ListDocument& m_document;
    SessionController& m_session;
    MainLoop& m_loop;
    EventLog& m_log;
    SeenMessages m_seen;
    PendingQueries m_pending;
    // Taken on the main loop when a poll starts; read by its thread.
    std::string m_baseFolder;
    std::vector<RowId> m_added;
    std::function<void(int, const std::vector<RowId>&)> m_finished;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<MailServer> m_server;
};

}  // namespace kov
