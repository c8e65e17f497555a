#include "ui/app/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace kov {

namespace {

// The write end of the live object's pipe, for the handler.
volatile std::sig_atomic_t g_writeEnd = -1;
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnQuitSignal(int) {
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe loses nothing that matters.
    [[maybe_unused]] const ssize_t n = write(g_writeEnd, &byte, 1);
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_readEnd.Reset(ends[0]);
    m_writeEnd.Reset(ends[1]);
    g_writeEnd = ends[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd.Get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (read(m_readEnd.Get(), buffer, sizeof buffer) > 0) {
        }
        if (m_onSignal) m_onSignal();
    });
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : kSignals)
        sigaction(sig, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    for (const int sig : kSignals)
        std::signal(sig, SIG_DFL);
    g_writeEnd = -1;
    m_notifier.reset();
    // The pipe's ends close with their owners.
}

}  // namespace kov
