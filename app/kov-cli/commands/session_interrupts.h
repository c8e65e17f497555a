#pragma once

#include <functional>

namespace kov {
class EventLoop;
class SessionController;
}  // namespace kov

namespace kov::cli {

class LogPrinter;

// Ctrl+C during a run with a session: the first is the Stop command (the files under way
// end), a second stops at once. SIGTERM and a closed terminal (SIGHUP) stop the same way, so
// that the list is still saved. The flag is looked at on the loop every 100 ms; the signals
// take their default action again when this goes. One at a time.
class SessionInterrupts {
public:
    // whenIdle runs instead of the stop while the session is idle (a mail poll under way).
    SessionInterrupts(EventLoop& loop, LogPrinter& printer, SessionController& session,
                      std::function<void()> whenIdle = {});
    ~SessionInterrupts();
    SessionInterrupts(const SessionInterrupts&) = delete;
    SessionInterrupts& operator=(const SessionInterrupts&) = delete;

    // Whether any of the signals came.
    bool Raised() const;

private:
    EventLoop& m_loop;
};

}  // namespace kov::cli
