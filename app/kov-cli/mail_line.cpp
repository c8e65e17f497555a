#include "mail_line.h"

#include <csignal>

namespace kov::cli {

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnMailInterrupt(int) {
    g_stop = true;
}

}  // namespace

MailLine::MailLine() {
    g_stop = false;
    struct sigaction action {};
    action.sa_handler = OnMailInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGINT, SIGTERM})
        sigaction(sig, &action, nullptr);
}

MailLine::~MailLine() {
    if (m_dialled && m_hangup) m_link.ReleaseConnection(kRequesterMail);
    for (const int sig : {SIGINT, SIGTERM})
        std::signal(sig, SIG_DFL);
}

bool MailLine::Open(const AppSettings& settings, std::string& error) {
    m_hangup = settings.Hangup != 0;
    m_link.Init(settings.UseDialUp != 0, settings.DialupItem, false);
    if (m_link.QueryForConnect(kRequesterMail, &g_stop, &m_dialled) == 2) return true;
    error = g_stop ? "interrupted" : "the dial-up line could not be opened";
    if (!g_stop && !m_link.LastErrorText().empty()) error += ": " + m_link.LastErrorText();
    return false;
}

MailStop MailLine::Stop() const {
    return [] { return g_stop.load(); };
}

bool MailLine::Interrupted() const {
    return g_stop.load();
}

}  // namespace kov::cli
