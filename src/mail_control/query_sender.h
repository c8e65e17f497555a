#pragma once

// Sending mail through the configured SMTP server: queries to other installations and any
// other composed message (the job result).

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "core/settings/app_settings.h"
#include "mail_control/mail_text.h"

namespace kov {

using MailStop = std::function<bool()>;

// "host[:port]" split at the last ':'; defaultPort when none (or a bad one) is given.
struct ServerAddress {
    std::string host;
    int port = 0;
};
ServerAddress SplitServer(std::string_view text, int defaultPort);

// Sends mail through SmtpServer (port 25 by default) with the settings' security, login and CA
// file. True only when the server accepted the message; error (when given) tells why not.
bool SendMailText(const EmailSettings& email, const MailText& mail, const MailStop& stop,
                  std::string* error = nullptr);

// queryText (an exchange block) as a query to host hostIndex of the host table.
bool SendQuery(const EmailSettings& email, std::size_t hostIndex, std::string_view queryText,
               const MailStop& stop, std::string* error = nullptr);

// The settings page's SMTP test: "SMTP: Connection to Server OK", or the connection error.
bool TestSmtp(const EmailSettings& email, std::string& text);

// The settings page's POP3 test: "<server> - Connection to Server OK, messages: <n>", or the
// "no server" text and the connection's error.
bool TestPop3(const EmailSettings& email, std::string& text);

}  // namespace kov
