#pragma once

// A message as the mail layer composes and judges it. The transport turns it into its wire
// form (headers, CRLF line ends, dot-stuffing) and fills it from a fetched message.

#include <string>

namespace kov {

struct MailText {
    std::string from;  // sender address, or the From header value of a fetched message
    std::string to;    // recipient address
    std::string subject;
    std::string body;       // lines separated by '\n'
    std::string messageId;  // the Message-ID header value of a fetched message; may be empty
    std::string mailer;     // X-Mailer name of a composed message
    // Why the body of a fetched message could not be decoded; "" when body is its text.
    std::string bodyProblem;
};

}  // namespace kov
