#pragma once

#include <string>

#include "core/settings/app_settings.h"
#include "interrupt_flag.h"
#include "mail_control/query_sender.h"
#include "net/dialup/dialup_link.h"

namespace kov::cli {

// The line for a command that sends mail and ends: the dial-up connection opened first when
// the settings use one (and hung up afterwards when they say so), and Ctrl+C or SIGTERM
// turned into the stop of the sends. One at a time.
class MailLine {
public:
    MailLine() = default;
    ~MailLine();
    MailLine(const MailLine&) = delete;
    MailLine& operator=(const MailLine&) = delete;

    // True when the line is up (always without dial-up); error tells why not.
    bool Open(const AppSettings& settings, std::string& error);
    MailStop Stop() const;
    bool Interrupted() const;

private:
    InterruptFlag m_interrupt;  // first made, last gone: the signals stay caught until hang-up
    DialUpLink m_link;
    bool m_dialled = false;
    bool m_hangup = false;
};

}  // namespace kov::cli
