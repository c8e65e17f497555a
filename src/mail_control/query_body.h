#pragma once

// The text of a fetched query: a mail program may send the list base64 or quoted-printable
// encoded, or as one part of a multipart message. What cannot be read says why, so that a
// query is never dropped without a word.

#include <string>
#include <string_view>

#include "net/mail/pop3_message.h"

namespace kov {

struct QueryBody {
    std::string text;     // the decoded body (of the part that holds the list)
    std::string problem;  // why it cannot be read; "" when text is good
};

// Decodes message's body by its Content-Transfer-Encoding; of a multipart message, the first
// text part that holds "<URLIST" (parts nested at most a few levels deep).
QueryBody DecodeQueryBody(const Pop3Message& message);

// RFC 2045 decoders; characters outside the alphabet (line breaks) are skipped. False for
// text that is not of the encoding.
bool DecodeBase64(std::string_view text, std::string& out);
std::string DecodeQuotedPrintable(std::string_view text);

}  // namespace kov
