#pragma once

// Server mode: the mailbox is polled at the configured interval on a thread of its own, one
// poll at a time; what a poll takes is handed to the main loop.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/main_loop.h"
#include "core/settings/app_settings.h"
#include "mail_control/query_sender.h"

namespace kov {

class MailServer {
public:
    static constexpr int kPollTimer = 38501;
    enum class PollState { Idle, Starting, Polling };

    // The settings a poll works with, taken on the main loop when it starts: the preferences
    // and a reload replace the live ones while the poll's thread runs.
    struct PollSettings {
        EmailSettings email;
        int logDetail = 0;
    };

    struct Hooks {
        // Asks for the line; ready runs on the main loop, true once the line is up. Empty: the
        // line is always up.
        std::function<void(std::function<void(bool ready)> ready)> requestLine;
        std::function<void()> releaseLine;  // on the main loop, after each poll
        // The poll, on the mail thread: the number of items taken, or -1 on a failure.
        std::function<int(const PollSettings& settings, const MailStop& stop)> poll;
        // A log line; any thread.
        std::function<void(const std::string& text, bool error)> log;
        // On the main loop when a poll has ended, with its result.
        std::function<void(int result)> finished;
    };

    // settings is read (on the main loop) at each restart and when each poll starts; it must
    // outlive the server.
    MailServer(const AppSettings& settings, MainLoop& loop, Hooks hooks);
    // Stops a poll under way (its waits watch the stop) and waits for its thread.
    ~MailServer();
    MailServer(const MailServer&) = delete;
    MailServer& operator=(const MailServer&) = delete;

    // The timer's period when server mode is configured: ActAsHost on, PollInterval above 0,
    // and the mailbox, its password and the POP3 server set.
    static std::optional<std::chrono::milliseconds> PollPeriod(const EmailSettings& email);

    // Stops the poll timer and starts it again when server mode is configured. Main loop.
    void RestartPollTimer();
    bool TimerRunning() const { return m_timerRunning; }
    // The timer's tick and the user's "check mail": a poll unless one is under way. Main loop.
    void CheckQueriesFromEmail();
    PollState State() const { return m_state.load(); }

private:
    void StartThread();
    void ThreadProc(const PollSettings& settings);
    void Log(const std::string& text, bool error = false) const;

    const AppSettings& m_settings;
    MainLoop& m_loop;
    Hooks m_hooks;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::atomic<PollState> m_state{PollState::Idle};
    std::atomic<bool> m_stop{false};
    bool m_timerRunning = false;
    PollSettings m_poll;  // of the poll being started; main loop only
    std::thread m_thread;
};

}  // namespace kov
