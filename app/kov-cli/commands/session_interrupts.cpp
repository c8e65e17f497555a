#include "commands/session_interrupts.h"

#include <atomic>
#include <chrono>
#include <csignal>

#include "core/event_loop.h"
#include "output/log_printer.h"
#include "session/session_controller.h"

namespace kov::cli {

namespace {

constexpr int kWatchTimer = 1;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> g_interrupts{0};

extern "C" void OnSessionInterrupt(int) {
    g_interrupts.fetch_add(1);
}

}  // namespace

SessionInterrupts::SessionInterrupts(EventLoop& loop, LogPrinter& printer,
                                     SessionController& session, std::function<void()> whenIdle)
    : m_loop(loop) {
    g_interrupts = 0;
    struct sigaction action {};
    action.sa_handler = OnSessionInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int sig : kSignals)
        sigaction(sig, &action, nullptr);
    auto handled = std::make_shared<int>(0);
    auto saidNow = std::make_shared<bool>(false);
    loop.StartTimer(
        kWatchTimer, std::chrono::milliseconds(100),
        [&printer, &session, whenIdle = std::move(whenIdle), handled, saidNow] {
            const int seen = g_interrupts.load();
            if (seen == *handled) return;
            if (whenIdle && session.State() == SessionState::Idle) {
                *handled = seen;
                printer.Note("stopping now");
                whenIdle();
                return;
            }
            // The first press must say what it does (AbortMode decides) and how
            // to stop at once; "now" is said once.
            const bool now = seen >= 2 || !session.StopsAfterCurrentFiles();
            if (*handled == 0 && !now)
                printer.Note("stopping after the current files; Ctrl+C again stops now");
            else if (!*saidNow)
                printer.Note("stopping now");
            *saidNow = now;
            *handled = seen;
            session.OnStop(seen >= 2, false);
        });
}

SessionInterrupts::~SessionInterrupts() {
    m_loop.StopTimer(kWatchTimer);
    for (const int sig : kSignals)
        std::signal(sig, SIG_DFL);
}

bool SessionInterrupts::Raised() const {
    return g_interrupts.load() > 0;
}

}  // namespace kov::cli
