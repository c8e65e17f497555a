#include "interrupt_flag.h"

#include <atomic>
#include <csignal>

namespace kov::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};
std::atomic<bool> g_raised{false};

extern "C" void OnInterruptSignal(int) {
    g_raised = true;
}

}  // namespace

InterruptFlag::InterruptFlag() {
    g_raised = false;
    // Installed even where the signal was ignored: a command started in the background of a
    // script inherits an ignored SIGINT, and would then not stop on Ctrl+C.
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : kSignals)
        sigaction(sig, &action, nullptr);
}

InterruptFlag::~InterruptFlag() {
    for (const int sig : kSignals)
        std::signal(sig, SIG_DFL);
}

bool InterruptFlag::Raised() const {
    return g_raised.load();
}

const std::atomic<bool>& InterruptFlag::Flag() const {
    return g_raised;
}

}  // namespace kov::cli
