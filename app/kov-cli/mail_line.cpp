#include "mail_line.h"

namespace kov::cli {

MailLine::~MailLine() {
    if (m_dialled && m_hangup) m_link.ReleaseConnection(kRequesterMail);
}

bool MailLine::Open(const AppSettings& settings, std::string& error) {
    m_hangup = settings.Hangup != 0;
    m_link.Init(settings.UseDialUp != 0, settings.DialupItem, false);
    if (m_link.QueryForConnect(kRequesterMail, &m_interrupt.Flag(), &m_dialled) == 2) return true;
    error = m_interrupt.Raised() ? "interrupted" : "the dial-up line could not be opened";
    if (!m_interrupt.Raised() && !m_link.LastErrorText().empty())
        error += ": " + m_link.LastErrorText();
    return false;
}

MailStop MailLine::Stop() const {
    const InterruptFlag* interrupt = &m_interrupt;
    return [interrupt] { return interrupt->Raised(); };
}

bool MailLine::Interrupted() const {
    return m_interrupt.Raised();
}

}  // namespace kov::cli
